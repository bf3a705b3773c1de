#include "Loops.h"

#include <algorithm>
#include <utility>

namespace vdrive::fw {

namespace {

constexpr int kQ = kReferenceFractionBits;
constexpr std::int64_t kLargestPositionError = std::int64_t{1} << (28 + kQ);

// Q16 -> whole counts, rounded to nearest (ties up).
std::int64_t Whole(std::int64_t q16) { return (q16 + (std::int64_t{1} << (kQ - 1))) >> kQ; }

// A gain times a Q16 signal, still Q16.
std::int64_t Times(Gain gain, std::int64_t q16) { return FromQ15(ScaledQ15(gain, q16)); }

}  // namespace

// ---- reference -------------------------------------------------------------

void Reference::Start(std::vector<Segment> segments, bool repeat, std::int64_t start) {
    m_segments = std::move(segments);
    m_index = 0;
    m_done = 0;
    m_repeat = repeat;
    m_cycles = 0;
    m_value = start;
    m_ended = false;
    // Skip empty segments; a profile without samples ends at once.
    while (m_index < m_segments.size() && m_segments[m_index].samples == 0) ++m_index;
    if (m_index == m_segments.size()) m_ended = true;
}

std::int64_t Reference::Next() {
    if (m_ended) return m_value;
    const Segment& segment = m_segments[m_index];
    m_value += segment.increment;
    if (++m_done < segment.samples) return m_value;
    m_done = 0;
    do {
        if (++m_index == m_segments.size()) {
            ++m_cycles;
            if (!m_repeat) {
                m_ended = true;
                return m_value;
            }
            m_index = 0;
        }
    } while (m_segments[m_index].samples == 0);
    return m_value;
}

// ---- loops -----------------------------------------------------------------

void Loops::Start(ControlMode mode, std::int64_t start) {
    m_mode = mode;
    m_reference.Start({}, false, start);
    // The target starts at the position: the error before the first sample
    // is 0, so that a step of the reference reaches the derivative at once.
    m_position = {};
    m_position.primed = true;
    m_speed = {};
    for (auto& chain : m_filters) chain.clear();
    m_lastVelocity = 0;
    m_target = mode == ControlMode::PositionOverSpeed || mode == ControlMode::PositionOverCurrent ? start : 0;
    m_positionError = m_speedReference = m_filteredSpeed = m_currentReference = 0;
    m_positionErrorSamples = m_speedErrorSamples = 0;
    m_controlError = false;
}

std::int64_t Loops::RunChain(const Config& config, int location, std::int64_t x) {
    const auto& slots = config.biquads[static_cast<std::size_t>(location)];
    auto& states = m_filters[static_cast<std::size_t>(location)];
    // Registers downloaded during a run may change the chain's length; the
    // slots that stay keep their state.
    if (states.size() != slots.size()) states.resize(slots.size());
    for (std::size_t i = 0; i < slots.size(); ++i) x = RunBiquad(slots[i], states[i], x);
    return x;
}

// "SATS" holds the current limit whatever the mode; position control over
// the current loop limits its output by "SATP" instead.
std::int64_t Loops::CurrentLimit(const Config& config) const {
    std::int64_t limit = m_mode == ControlMode::PositionOverCurrent ? config.position.pi.outputLimit
                                                                    : config.speed.outputLimit;
    if (m_testCurrentLimit > 0) limit = std::min(limit, m_testCurrentLimit);
    return limit;
}

bool Loops::Check(const ErrorCheck& check, std::int64_t errorQ16, std::int64_t& samples) const {
    if (!check.On()) return false;
    const std::int64_t magnitude = Whole(errorQ16 < 0 ? -errorQ16 : errorQ16);
    samples = magnitude > check.limit ? samples + 1 : 0;
    return samples > check.samples;
}

std::int64_t Loops::Run(const Config& config, const Feedback& feedback) {
    const std::int64_t previous = m_reference.Value();
    const std::int64_t reference = m_reference.Next();
    const bool positionMode =
        m_mode == ControlMode::PositionOverSpeed || m_mode == ControlMode::PositionOverCurrent;
    // The reference's speed and acceleration per sample, for the
    // feed-forwards: a position reference's change per sample is its speed,
    // a speed reference is its own.
    const std::int64_t velocity = positionMode ? reference - previous : reference;
    const std::int64_t acceleration = velocity - (positionMode ? m_lastVelocity : previous);
    m_lastVelocity = velocity;

    m_filteredSpeed = RunChain(config, kSpeedFeedbackFilters, feedback.speed);
    const bool speedLoop = m_mode == ControlMode::Speed || m_mode == ControlMode::PositionOverSpeed;

    std::int64_t current = 0;  // Q16
    if (positionMode) {
        m_target = reference;
        // Held within 2^28 counts, far beyond any limit, so that the
        // controller's arithmetic cannot overflow.
        m_positionError = Clamp(reference - (feedback.position << kQ), kLargestPositionError);
        const std::int64_t u = RunPid(config.position, m_position, m_positionError, kQ);
        if (m_mode == ControlMode::PositionOverSpeed) {
            m_speedReference = u;
            if (!config.speedFeedforwardToCurrent)
                m_speedReference += Times(config.speedFeedforward, velocity);
        } else {
            current = u;
        }
    } else if (m_mode == ControlMode::Speed) {
        m_speedReference = reference;
    } else {
        current = reference;
    }

    if (speedLoop) {
        // "SATP" limits the speed reference in speed control and in position
        // control over the speed loop.
        std::int64_t speedLimit = config.position.pi.outputLimit;
        if (m_testSpeedLimit > 0) speedLimit = std::min(speedLimit, m_testSpeedLimit);
        m_speedReference = Clamp(m_speedReference, speedLimit << kQ);
        m_speedReference = RunChain(config, kSpeedReferenceFilters, m_speedReference);
        current = RunPi(config.speed, m_speed, m_speedReference - m_filteredSpeed, kQ);
    }

    const std::int64_t limit = CurrentLimit(config);
    if (m_mode != ControlMode::Current) {
        current += Times(config.accelerationFeedforward, acceleration);
        if (config.speedFeedforwardToCurrent) current += Times(config.speedFeedforward, velocity);
        current = Clamp(current, limit << kQ);
        current = RunChain(config, kCurrentReferenceFilters, current);
    }
    m_currentReference = Clamp(Whole(current), limit);

    if (positionMode && Check(config.positionError, m_positionError, m_positionErrorSamples))
        m_controlError = true;
    if (speedLoop && Check(config.speedError, m_speedReference - m_filteredSpeed, m_speedErrorSamples))
        m_controlError = true;
    return m_currentReference;
}

}  // namespace vdrive::fw
