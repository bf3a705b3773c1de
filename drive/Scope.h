// The drive's oscilloscope: it samples up to four variables at the slow or
// the fast loop, waits for its trigger, and streams each record to the host
// as unsolicited messages while a run goes on.
//
// A message is an array of 16-bit words: word 0 the payload length in words,
// word 1 the axis (0), word 2 the message code kScopeFrameCode, then the
// payload. A frame's payload starts with kFrameHeaderWords header words (see
// FrameWord), then the points it carries, oldest first, each point the raw
// values of the channels in channel order: one word for a 16-bit storage
// type, two (low word first) for a 32-bit one.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

namespace vdrive {

inline constexpr std::uint16_t kScopeFrameCode = 0xE900;
inline constexpr int kMessageHeaderWords = 3;
inline constexpr int kMaxScopeChannels = 4;
// The payload of one frame stays within this many words.
inline constexpr int kMaxFramePayloadWords = 256;
// Messages the drive holds for the host; the oldest go when it holds more
// (the host sees the gap in the sequence numbers).
inline constexpr std::size_t kMaxPendingMessages = 4096;

// The header words of a frame's payload.
enum FrameWord : int {
    kFrameSequence = 0,  // frame number since the scope was armed, wraps at 65536
    kFrameRecord,        // record number since armed, wraps
    kFrameFirstPoint,    // index in the record of the first point carried
    kFramePointCount,    // points carried
    kFrameRecordPoints,  // points of a whole record
    kFrameTriggerPoint,  // index in the record of the trigger point
    kFrameFlags,         // kFrameRecordEnd | kFrameScopeStopped
    kFrameChannels,      // channels per point
    kFramePeriodLow,     // sampling period in ns, low word
    kFramePeriodHigh,    // … high word
    kFrameHeaderWords
};
inline constexpr std::uint16_t kFrameRecordEnd = 0x1;     // the record's last point is in this frame
inline constexpr std::uint16_t kFrameScopeStopped = 0x2;  // no frame follows until armed again

// When a record starts: at once and again after each record (free run), at
// every trigger (repeating), or at the first trigger only (single shot).
enum class ScopeMode { FreeRun, Repeating, SingleShot };

struct ScopeChannel {
    int address = 0;
    int type = 1;  // the drive's storage type code (Type)
};

struct ScopeSettings {
    double timeBase = 0.1;  // s, the length of a record
    int maxPoints = 1000;   // points a record holds at most
    ScopeMode mode = ScopeMode::FreeRun;
    bool triggered = false;  // a trigger variable is given (else records start at once)
    ScopeChannel trigger;
    std::int64_t level = 0;  // raw, in the trigger variable's storage type
    bool rising = true;
    int pretrigger = 0;  // % of the record before the trigger point
    std::vector<ScopeChannel> channels;
};

// The record layout chosen for a time base: which loop is sampled, every
// how many of its periods, and how many points a record has.
struct ScopeTiming {
    bool fastLoop = false;
    int every = 1;
    int points = 0;
    double period = 0.0;  // s between points
};
// The slow loop unless it gives too few points for the time base; the
// fast loop then (every `every`-th period, so that a record fits).
ScopeTiming ChooseScopeTiming(double timeBase, int maxPoints, double fastPeriod, double slowPeriod);

// The words of one raw value of a storage type (1 or 2).
int ScopeWords(int type);

class Scope {
public:
    // Takes effect at the next Start.
    void Arm(const ScopeSettings& settings) {
        m_armed = settings;
        m_isArmed = true;
    }
    // Begins sampling with the armed settings (a program starts). False
    // when nothing is armed.
    bool Start(double fastPeriod, double slowPeriod);
    // Ends sampling; a frame with kFrameScopeStopped tells the host.
    void Stop();
    bool Running() const { return m_running; }
    // The settings the next Start takes, or null when none are armed.
    const ScopeSettings* Armed() const { return m_isArmed ? &m_armed : nullptr; }
    bool FastLoop() const { return m_timing.fastLoop; }
    const ScopeSettings& Settings() const { return m_settings; }
    const ScopeTiming& Timing() const { return m_timing; }

    // One period of the sampled loop: `values` are the channels' raw values
    // (already in their storage types), `trigger` the trigger variable's.
    void Sample(const std::int64_t* values, std::int64_t trigger);

    // The messages not yet taken, oldest first.
    std::vector<std::vector<std::uint16_t>> Take();
    std::size_t Pending() const { return m_messages.size(); }

private:
    bool Crossed(std::int64_t trigger) const;
    void BeginRecord(int pretriggerPoints);
    void Emit(bool recordEnd, bool stopped);
    void Append(std::vector<std::uint16_t>& out, const std::int64_t* point) const;

    ScopeSettings m_armed, m_settings;
    bool m_isArmed = false;
    bool m_running = false;
    ScopeTiming m_timing;
    int m_countdown = 0;
    int m_wordsPerPoint = 0;
    int m_pointsPerFrame = 1;
    int m_preWanted = 0;  // pre-trigger points a record should have

    // waiting for the trigger: the latest points, oldest first
    std::deque<std::vector<std::int64_t>> m_history;
    bool m_havePrevious = false;
    std::int64_t m_previous = 0;

    // recording
    bool m_recording = false;
    int m_recordPoints = 0;              // points in the current record so far
    int m_triggerPoint = 0;              // index of the trigger point in the record
    int m_frameFirst = 0;                // index of the first point not yet sent
    std::vector<std::int64_t> m_unsent;  // points recorded and not yet sent, flat
    std::uint16_t m_sequence = 0;
    std::uint16_t m_record = 0;
    std::deque<std::vector<std::uint16_t>> m_messages;
};

}  // namespace vdrive
