// The piecewise-linear reference that the speed and position tuning tests
// give their drive programs as six segments, the checks each segment passes
// before it is written, and the oscilloscope scales and trigger that both
// tests derive from their profile.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace dcdrive {

// "SpeedTestReferenceType" and "PositionTestReferenceType": the shape of the
// profile. A number other than 1 and 2 reads as Positive.
enum class ReferenceType : int { Positive = 0, Negative = 1, Bidirectional = 2 };
ReferenceType ReferenceTypeOf(double code);

inline constexpr int kProfileSegments = 6;
// Increments are counted in 1/65536 of an internal unit per sample.
inline constexpr double kIncrementUnit = 65536.0;

struct ProfileSegment {
    // Samples of the speed/position loop (the program's "a<i>").
    std::uint32_t length = 0;
    // Change of the reference per sample in 1/65536 internal unit: an integer,
    // or not finite for a ramp of no sample. The program's "b<i>" is
    // increment / 65536.
    double increment = 0.0;
};
using Profile = std::array<ProfileSegment, kProfileSegments>;

// The times of the profile in seconds, as the dialogs caption them: tp and
// tn the two holds ("TPS"/"TNS", "TPP"/"TNP"), tap and tan the two ramps
// ("TaPS"/"TaNS", "TaPP"/"TaNP").
struct ProfileTimes {
    double tp = 0.0;
    double tn = 0.0;
    double tap = 0.0;
    double tan = 0.0;
};

// How the ramps of the positive and negative profiles count their samples.
// The speed test keeps a ramp of one sample (or none) at that count; the
// position test always takes one sample less, so that one sample becomes a
// ramp of no sample and a count of 0 wraps to 4294967295.
enum class RampCount { KeepShortRamps, OneLess };

// The six segments of a profile to `target` (internal units, nonzero) with
// the loop period `ts` (s).
Profile ComputeProfile(double target, double ts, const ProfileTimes& times, ReferenceType type,
                       RampCount ramps);

// A sample count as the drive program takes it: the time over the period,
// rounded; a count that an unsigned 32-bit number cannot hold (negative,
// too large, not a number) reads 4294967295.
std::uint32_t SampleCount(double samples);

// The texts of a segment that the program cannot run.
extern const char* const kProfileLengthText;  // a length above 32767
extern const char* const kProfileSlopeText;   // an increment above 32767 units per sample

// The text of the first check that the segment fails, or null.
const char* SegmentError(const ProfileSegment& segment);

// The first segment that fails its checks, with its text. The dialog checks
// and writes the segments in order, so that the ones before have been written.
struct ProfileError {
    int segment = 0;
    const char* text = nullptr;
};
std::optional<ProfileError> CheckProfile(const Profile& profile);

// The program variables of segment i: "a<i>" (length) and "b<i>" (increment).
const char* SegmentLengthVariable(int segment);
const char* SegmentIncrementVariable(int segment);
// The value written into "b<i>": the increment in internal units per sample.
double SegmentIncrementValue(const ProfileSegment& segment);

// The reference at the start of each segment and at the end of the last,
// relative to where the profile starts, in internal units.
std::array<double, kProfileSegments + 1> ProfileLevels(const Profile& profile);
// Samples of one cycle of the profile.
std::uint64_t ProfileSamples(const Profile& profile);

// ---- oscilloscope defaults

// The smallest of p/5, p/2 and p (p the power of ten at or above q) that is
// at least q; 0.2 for a q that is not positive.
double NiceStep(double q);

// The scale of a pair of oscilloscope channels: the unit to show them in,
// the value of one division and the offset.
struct ChannelScale {
    std::string unit;
    double step = 0.0;
    double offset = 0.0;
};
// The channels of a reference and its response, from the test value v in
// its displayed unit: a step from |v / 4|, offset 0 for v >= 0, else four
// steps down.
ChannelScale ReferenceChannelScale(double displayed, std::string unit);
// The current channels, from the current limit in its displayed unit: a
// step from a third of it, offset two steps.
ChannelScale CurrentChannelScale(double displayed, std::string unit);

// The oscilloscope's time base and trigger, as the oscilloscope logger takes
// them. The mode and slope codes are the host's.
inline constexpr int kScopeModeSingleCycle = 4;
inline constexpr int kScopeModeMultiCycle = 2;
inline constexpr int kScopeModeFree = 1;  // no trigger variable
struct ScopeSettings {
    double timeBase = 0.0;  // s
    int mode = kScopeModeFree;
    int slope = 1;
    const char* trigger = nullptr;  // the variable that triggers, null for none
    double level = 0.0;             // base unit of the trigger variable
    double preTrigger = 0.0;        // % of the time base
};

// The time of one cycle that the oscilloscope shows: the first ramp, the
// first hold, the second ramp and the shorter ramp again; for the
// bidirectional profile the whole cycle.
double ScopeTimeBase(const ProfileTimes& times, ReferenceType type);
// The whole cycle: the oscilloscope's time base without a test value.
double ProfileCycleTime(const ProfileTimes& times, ReferenceType type);
// The share of the time base before the trigger: the first ramp, in whole %.
double ScopePreTrigger(const ProfileTimes& times, double timeBase);

}  // namespace dcdrive
