#include "TuningProfile.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "kx/Kernel.h"

namespace dcdrive {

namespace {

constexpr double kLimit = 32767.0;  // longest segment, largest increment per sample
constexpr std::uint32_t kNoCount = std::numeric_limits<std::uint32_t>::max();

// An increment of x internal units per sample, in 1/65536 units.
double Increment(double x) { return std::floor(x * kIncrementUnit + 0.5); }

// What a segment moves the reference, in 1/65536 units.
double Moved(const ProfileSegment& s) { return s.increment * static_cast<double>(s.length); }

// The length of a ramp of `count` samples: one sample is left to the
// correction sample that follows it.
std::uint32_t RampLength(std::uint32_t count, RampCount ramps) {
    if (ramps == RampCount::KeepShortRamps && count <= 1) return count;
    return count - 1;  // 0 wraps: the length check refuses it
}

// A ramp of `count` samples to `to`, then the sample that lands on `to`
// exactly whatever the fixed-point increment lost.
void Ramp(ProfileSegment& ramp, ProfileSegment& landing, double to, std::uint32_t count, RampCount ramps) {
    ramp.increment = Increment(to / static_cast<double>(count));
    ramp.length = RampLength(count, ramps);
    landing.length = 1;
    landing.increment = Increment(to - Moved(ramp) / kIncrementUnit);
}

}  // namespace

const char* const kProfileLengthText =
    "Distances between consecutive points on X axis must be greater than 0 and below 32768.";
const char* const kProfileSlopeText =
    "Reference variation between two consecutive points is too big (slope overflow).";

ReferenceType ReferenceTypeOf(double code) {
    const double t = std::trunc(code);
    if (t == 1.0) return ReferenceType::Negative;
    if (t == 2.0) return ReferenceType::Bidirectional;
    return ReferenceType::Positive;
}

std::uint32_t SampleCount(double samples) {
    const double n = TG_FRound(samples);
    if (!(n >= 0.0) || n > static_cast<double>(kNoCount)) return kNoCount;
    return static_cast<std::uint32_t>(n);
}

Profile ComputeProfile(double target, double ts, const ProfileTimes& times, ReferenceType type,
                       RampCount ramps) {
    Profile p{};
    const std::uint32_t na = SampleCount(times.tap / ts);
    const std::uint32_t nd = SampleCount(times.tan / ts);
    const double w = target;
    switch (type) {
        case ReferenceType::Bidirectional: {
            // Up to W, hold, down to -W over twice the ramp time, hold, back
            // up to 0; the last sample cancels whatever the increments left.
            p[0].increment = Increment(w / static_cast<double>(na));
            p[0].length = na;
            p[1].length = SampleCount(times.tp / ts);
            p[2].length = SampleCount(2.0 * times.tan / ts);
            p[2].increment =
                Increment(-(w + Moved(p[0]) / kIncrementUnit) / static_cast<double>(p[2].length));
            p[3].length = SampleCount(times.tn / ts);
            const std::uint32_t m = nd;
            if (m == 1) {
                p[4].length = 1;
            } else {
                p[4].length = m - 1;
                p[4].increment = Increment(w / static_cast<double>(p[4].length));
            }
            p[5].length = 1;
            p[5].increment = std::trunc(-(Moved(p[0]) + Moved(p[2]) + Moved(p[4])));
            break;
        }
        case ReferenceType::Negative:
        case ReferenceType::Positive:
        default: {
            const double to = type == ReferenceType::Negative ? -w : w;
            Ramp(p[0], p[1], to, na, ramps);
            p[2].length = SampleCount(times.tp / ts);
            Ramp(p[3], p[4], -to, nd, ramps);  // back to 0
            p[5].length = SampleCount(times.tn / ts);
            break;
        }
    }
    return p;
}

const char* SegmentError(const ProfileSegment& segment) {
    if (segment.length > kLimit) return kProfileLengthText;
    // A ramp of no sample has no finite increment: an overflow as well.
    if (!(std::fabs(TG_FRound(segment.increment / kIncrementUnit)) <= kLimit)) return kProfileSlopeText;
    return nullptr;
}

std::optional<ProfileError> CheckProfile(const Profile& profile) {
    for (int i = 0; i < kProfileSegments; ++i)
        if (const char* text = SegmentError(profile[static_cast<std::size_t>(i)]))
            return ProfileError{i, text};
    return std::nullopt;
}

const char* SegmentLengthVariable(int segment) {
    static constexpr const char* kNames[kProfileSegments] = {"a0", "a1", "a2", "a3", "a4", "a5"};
    return segment >= 0 && segment < kProfileSegments ? kNames[segment] : nullptr;
}

const char* SegmentIncrementVariable(int segment) {
    static constexpr const char* kNames[kProfileSegments] = {"b0", "b1", "b2", "b3", "b4", "b5"};
    return segment >= 0 && segment < kProfileSegments ? kNames[segment] : nullptr;
}

double SegmentIncrementValue(const ProfileSegment& segment) { return segment.increment / kIncrementUnit; }

std::array<double, kProfileSegments + 1> ProfileLevels(const Profile& profile) {
    std::array<double, kProfileSegments + 1> levels{};
    double sum = 0.0;
    for (std::size_t i = 0; i < profile.size(); ++i) {
        levels[i] = sum / kIncrementUnit;
        sum += Moved(profile[i]);
    }
    levels[profile.size()] = sum / kIncrementUnit;
    return levels;
}

std::uint64_t ProfileSamples(const Profile& profile) {
    std::uint64_t n = 0;
    for (const ProfileSegment& s : profile) n += s.length;
    return n;
}

double NiceStep(double q) {
    if (!(q > 0.0)) return 0.2;
    const double p = std::pow(10.0, std::ceil(std::log10(q)));
    if (p / 5.0 >= q) return p / 5.0;
    if (p / 2.0 >= q) return p / 2.0;
    return p;
}

ChannelScale ReferenceChannelScale(double displayed, std::string unit) {
    const double s = NiceStep(std::fabs(0.25 * displayed));
    return {std::move(unit), s, displayed >= 0.0 ? 0.0 : -4.0 * s};
}

ChannelScale CurrentChannelScale(double displayed, std::string unit) {
    const double s = NiceStep(displayed / 3.0);
    return {std::move(unit), s, 2.0 * s};
}

double ScopeTimeBase(const ProfileTimes& t, ReferenceType type) {
    if (type == ReferenceType::Bidirectional) return ProfileCycleTime(t, type);
    return t.tap + t.tp + t.tan + std::min(t.tap, t.tan);
}

double ProfileCycleTime(const ProfileTimes& t, ReferenceType type) {
    if (type == ReferenceType::Bidirectional) return 2.0 * t.tap + t.tp + 2.0 * t.tan + t.tn;
    return t.tap + t.tp + t.tan + t.tn;
}

double ScopePreTrigger(const ProfileTimes& times, double timeBase) {
    return std::ceil(100.0 * times.tap / timeBase);
}

}  // namespace dcdrive
