// The oscilloscope's frames as the drive sends them (the payload of an
// unsolicited message with code kScopeFrameCode): a header, then the points,
// each point the raw values of the channels in channel order, one word for a
// 16-bit storage type and two (low word first) for a 32-bit one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "kx/Kernel.h"

namespace kx {

// The header words of a frame's payload.
enum ScopeFrameWord : int {
    kScopeSequence = 0,  // frame number since the oscilloscope was armed
    kScopeRecord,        // record number since armed
    kScopeFirstPoint,    // index in the record of the first point carried
    kScopePointCount,    // points carried
    kScopeRecordPoints,  // points of a whole record
    kScopeTriggerPoint,  // index in the record of the trigger point
    kScopeFlags,         // kScopeRecordEnd | kScopeStopped
    kScopeChannels,      // channels per point
    kScopePeriodLow,     // sampling period in ns, low word
    kScopePeriodHigh,    // … high word
    kScopeHeaderWords
};
inline constexpr std::uint16_t kScopeRecordEnd = 0x1;  // the record's last point is in this frame
inline constexpr std::uint16_t kScopeStopped = 0x2;    // no frame follows until armed again

struct ScopeFrame {
    std::uint16_t sequence = 0;
    std::uint16_t record = 0;
    int first = 0;
    int count = 0;
    int recordPoints = 0;
    int triggerPoint = 0;
    bool recordEnd = false;
    bool stopped = false;
    double period = 0.0;            // s between points
    std::vector<std::int64_t> raw;  // count × channels, point after point, in the channels' types
};

// Decodes a frame's payload of `words` words for channels of the given
// storage types (KX_TYPE_…). False, with the reason in `error`, for a frame
// that does not fit them: too short, another channel count, points beyond
// the record.
KX_API bool DecodeScopeFrame(const std::uint16_t* payload, std::size_t words, const std::vector<int>& types,
                             ScopeFrame& frame, std::string& error);

}  // namespace kx
