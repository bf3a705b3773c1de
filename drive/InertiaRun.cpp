#include "InertiaRun.h"

#include <algorithm>
#include <cmath>

namespace vdrive::prog {

namespace {

constexpr double kLowEdge = 0.2, kHighEdge = 0.8;
// The speed must grow by this share of the limit within the patience.
constexpr double kProgress = 0.01;
// Below this share of the limit the motor counts as not moving.
constexpr double kStandstill = 0.05;

}  // namespace

void InertiaRun::Start(std::int64_t limit, std::int64_t patience) {
    *this = InertiaRun{};
    m_phase = Phase::Rise;
    m_limit = static_cast<double>(limit);
    m_patience = std::max<std::int64_t>(patience, 1);
}

int InertiaRun::Fail(std::int64_t code) {
    m_deltaTime = code;
    m_deltaSpeed = 0;
    m_phase = Phase::Over;
    return 0;
}

int InertiaRun::Finish() {
    m_phase = Phase::Over;
    const double up = m_cross[1] - m_cross[0], down = m_cross[3] - m_cross[2];
    if (m_cross[3] < 0.0 || up <= 0.0 || down <= 0.0) return Fail(kNotReached);
    // The mean of the rise's and the fall's accelerations over the band.
    const double band = (kHighEdge - kLowEdge) * m_limit;
    const double acceleration = 0.5 * band * (1.0 / up + 1.0 / down);
    m_deltaTime = std::max<std::int64_t>(std::llround(up + down), 1);
    m_deltaSpeed = std::llround(acceleration * static_cast<double>(m_deltaTime));
    return 0;
}

int InertiaRun::Step(std::int64_t speed) {
    if (m_phase == Phase::Over) return 0;
    if (m_limit < 1.0) return Fail(kNotReached);
    m_history[static_cast<std::size_t>(m_sample % kWindow)] = speed;
    ++m_sample;
    const std::int64_t n = std::min<std::int64_t>(m_sample, kWindow);
    std::int64_t sum = 0;
    for (std::int64_t i = 0; i < n; ++i) sum += m_history[static_cast<std::size_t>(i)];
    const double s = static_cast<double>(sum) / static_cast<double>(n);
    const double previous = m_last;
    m_last = s;
    const double k = static_cast<double>(m_sample);
    // The sample time at which the averaged speed passed `level`.
    auto crossing = [&](double level) { return k - 1.0 + (level - previous) / (s - previous); };
    const double low = kLowEdge * m_limit, high = kHighEdge * m_limit;

    switch (m_phase) {
        case Phase::Rise:
            if (s < -low) return Fail(kWrongSign);
            if (s > m_best + kProgress * m_limit) {
                m_best = s;
                m_bestSample = m_sample;
            }
            if (m_sample - m_bestSample >= m_patience)
                return Fail(m_best < kStandstill * m_limit ? kNoSpeed : kNotReached);
            if (m_cross[0] < 0.0 && s >= low) m_cross[0] = crossing(low);
            if (m_cross[1] < 0.0 && s >= high) m_cross[1] = crossing(high);
            if (s < m_limit) return 1;
            m_phase = Phase::Fall;
            m_fallStart = m_sample;
            return -1;
        case Phase::Fall:
            if (m_cross[2] < 0.0 && s <= high) m_cross[2] = crossing(high);
            if (m_cross[2] >= 0.0 && s <= low) {
                m_cross[3] = crossing(low);
                m_phase = Phase::Brake;
            }
            // The fall takes no longer than the rise did, friction helping it.
            if (m_phase == Phase::Fall && m_sample - m_fallStart > m_fallStart + m_patience)
                return Fail(kNotReached);
            return -1;
        case Phase::Brake:
            // The reversed current down to rest, then the result.
            if (speed > 0 && m_sample - m_fallStart <= 2 * m_fallStart + m_patience) return -1;
            return Finish();
        case Phase::Over:
            break;
    }
    return 0;
}

}  // namespace vdrive::prog
