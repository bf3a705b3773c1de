// The slow loop of the drive's firmware: the position and speed controllers
// in the control mode asked for, their feed-forwards, the biquad chains, the
// current limit and the control-error checks, following a reference that a
// program sets. One Run is one slow-loop sample; its result is the current
// reference that the fast loop regulates until the next sample.
//
// Units are the drive's internal ones: position in counts of the position
// sensor, speed in counts per slow-loop sample, current in converter counts.
// References, speeds and errors carry 16 fraction bits (Q16), as the drive's
// 16.16 variables do.
#pragma once

#include <cstdint>
#include <vector>

#include "Firmware.h"

namespace vdrive::fw {

inline constexpr int kReferenceFractionBits = 16;

// One piece of a piecewise-linear reference: for `samples` slow-loop samples
// the reference grows by `increment` (Q16) per sample.
struct Segment {
    std::uint32_t samples = 0;
    std::int64_t increment = 0;
};

// A piecewise-linear reference, advanced once per slow-loop sample. It
// starts from a value, runs its segments in order and then holds; a
// repeating profile starts its segments over from where it stands, so a
// profile whose increments sum to 0 repeats the same motion.
class Reference {
public:
    void Start(std::vector<Segment> segments, bool repeat, std::int64_t start);
    // The reference of the next sample (Q16).
    std::int64_t Next();
    std::int64_t Value() const { return m_value; }
    // The last segment of a profile that does not repeat is done.
    bool Ended() const { return m_ended; }
    // Whole passes through the segments so far.
    std::int64_t Cycles() const { return m_cycles; }

private:
    std::vector<Segment> m_segments;
    std::size_t m_index = 0;
    std::uint32_t m_done = 0;  // samples of the present segment taken
    bool m_repeat = false;
    bool m_ended = true;
    std::int64_t m_cycles = 0;
    std::int64_t m_value = 0;
};

// What the slow loop measures.
struct Feedback {
    std::int64_t position = 0;  // position sensor counts (the load's when there is one)
    std::int64_t speed = 0;     // the speed loop's sensor, Q16 counts per sample
};

class Loops {
public:
    // Starts the loops in `mode` from rest: controllers, filters and checks
    // cleared, the reference at `start` (Q16: the present position for the
    // position modes, else 0).
    void Start(ControlMode mode, std::int64_t start);
    ControlMode Mode() const { return m_mode; }
    Reference& Ref() { return m_reference; }
    const Reference& Ref() const { return m_reference; }

    // A test's own current limit (counts) below the registers' ("IlimPS_Test"
    // and the like); 0 leaves the registers' limit.
    void SetCurrentLimit(std::int64_t counts) { m_testCurrentLimit = counts; }
    // A test's own limit of the speed reference (speed counts; 0: the
    // registers').
    void SetSpeedLimit(std::int64_t counts) { m_testSpeedLimit = counts; }

    // One slow-loop sample: advances the reference, runs the loops of the
    // mode and returns the current reference in counts.
    std::int64_t Run(const Config& config, const Feedback& feedback);

    // What the last sample computed (Q16 unless said otherwise).
    std::int64_t TargetPosition() const { return m_target; }
    std::int64_t PositionError() const { return m_positionError; }
    std::int64_t SpeedReference() const { return m_speedReference; }
    std::int64_t FilteredSpeed() const { return m_filteredSpeed; }
    std::int64_t CurrentReference() const { return m_currentReference; }  // counts
    // A control error: the position or speed error stayed beyond its limit
    // for longer than its time. Latched until the next Start.
    bool ControlError() const { return m_controlError; }

private:
    std::int64_t RunChain(const Config& config, int location, std::int64_t x);
    std::int64_t CurrentLimit(const Config& config) const;
    bool Check(const ErrorCheck& check, std::int64_t errorQ16, std::int64_t& samples) const;

    ControlMode m_mode = ControlMode::Current;
    Reference m_reference;
    PidState m_position;
    PiState m_speed;
    std::array<std::vector<BiquadState>, kBiquadLocations> m_filters;
    std::int64_t m_lastVelocity = 0;
    std::int64_t m_testCurrentLimit = 0;
    std::int64_t m_testSpeedLimit = 0;
    std::int64_t m_target = 0;
    std::int64_t m_positionError = 0;
    std::int64_t m_speedReference = 0;
    std::int64_t m_filteredSpeed = 0;
    std::int64_t m_currentReference = 0;
    std::int64_t m_positionErrorSamples = 0;
    std::int64_t m_speedErrorSamples = 0;
    bool m_controlError = false;
};

}  // namespace vdrive::fw
