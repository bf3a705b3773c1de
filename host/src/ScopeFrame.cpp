#include "kx/ScopeFrame.h"

#include "kx/Setup.h"

namespace kx {
namespace {

bool Wide(int type) { return type == KX_TYPE_INT32 || type == KX_TYPE_UINT32 || type == KX_TYPE_FIXED; }

// A value of a storage type from its words, sign-extended where the type is signed.
std::int64_t Value(int type, std::uint32_t bits) {
    switch (type) {
        case KX_TYPE_INT16:
            return static_cast<std::int16_t>(bits & 0xFFFFu);
        case KX_TYPE_UINT16:
            return bits & 0xFFFFu;
        case KX_TYPE_UINT32:
            return bits;
        default:
            return static_cast<std::int32_t>(bits);
    }
}

}  // namespace

bool DecodeScopeFrame(const std::uint16_t* payload, std::size_t words, const std::vector<int>& types,
                      ScopeFrame& frame, std::string& error) {
    if (!payload || words < static_cast<std::size_t>(kScopeHeaderWords)) {
        error = "An oscilloscope frame shorter than its header.";
        return false;
    }
    frame.sequence = payload[kScopeSequence];
    frame.record = payload[kScopeRecord];
    frame.first = payload[kScopeFirstPoint];
    frame.count = payload[kScopePointCount];
    frame.recordPoints = payload[kScopeRecordPoints];
    frame.triggerPoint = payload[kScopeTriggerPoint];
    frame.recordEnd = (payload[kScopeFlags] & kScopeRecordEnd) != 0;
    frame.stopped = (payload[kScopeFlags] & kScopeStopped) != 0;
    const std::uint32_t ns =
        payload[kScopePeriodLow] | (static_cast<std::uint32_t>(payload[kScopePeriodHigh]) << 16);
    frame.period = ns * 1e-9;
    if (payload[kScopeChannels] != types.size()) {
        error = "An oscilloscope frame of " + std::to_string(payload[kScopeChannels]) +
                " channels, expected " + std::to_string(types.size()) + ".";
        return false;
    }
    if (frame.count > 0 &&
        (frame.first + frame.count > frame.recordPoints || frame.triggerPoint >= frame.recordPoints)) {
        error = "An oscilloscope frame with points beyond its record.";
        return false;
    }
    std::size_t perPoint = 0;
    for (int type : types) perPoint += Wide(type) ? 2 : 1;
    if (words != kScopeHeaderWords + perPoint * static_cast<std::size_t>(frame.count)) {
        error = "An oscilloscope frame whose length does not match its points.";
        return false;
    }
    frame.raw.clear();
    frame.raw.reserve(types.size() * static_cast<std::size_t>(frame.count));
    const std::uint16_t* p = payload + kScopeHeaderWords;
    for (int k = 0; k < frame.count; ++k) {
        for (int type : types) {
            std::uint32_t bits = *p++;
            if (Wide(type)) bits |= static_cast<std::uint32_t>(*p++) << 16;
            frame.raw.push_back(Value(type, bits));
        }
    }
    return true;
}

}  // namespace kx
