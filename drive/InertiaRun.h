// The total inertia measurement of the drive's inertia test program, one
// slow-loop sample at a time. The test current accelerates the motor up to
// the speed limit; the same current reversed then brings it back to rest.
// The times taken to cross one speed band (a fifth to four fifths of the
// limit) on the way up and on the way down give the acceleration that the
// current alone produces: friction slows the rise and hastens the fall by as
// much, so it drops out of their mean.
#pragma once

#include <array>
#include <cstdint>

namespace vdrive::prog {

class InertiaRun {
public:
    // What "delta_time" holds when the measurement fails.
    static constexpr std::int64_t kWrongSign = -1;   // the speed grows the other way
    static constexpr std::int64_t kNoSpeed = -2;     // the motor does not move
    static constexpr std::int64_t kNotReached = -3;  // the speed stalls below the limit

    // `limit`: the speed to reach (Q16 counts per sample); `patience`: the
    // samples the speed may go without growing before the run gives up.
    void Start(std::int64_t limit, std::int64_t patience);
    // One sample of the measured speed (Q16 counts per sample). Returns the
    // sign of the test current for the next sample, or 0 when the run is over.
    int Step(std::int64_t speed);
    bool Over() const { return m_phase == Phase::Over; }
    // Slow-loop samples of the measurement, or a failure code.
    std::int64_t DeltaTime() const { return m_deltaTime; }
    // The speed (Q16 counts per sample) the test current alone gives over
    // DeltaTime samples; 0 after a failure.
    std::int64_t DeltaSpeed() const { return m_deltaSpeed; }

private:
    enum class Phase { Rise, Fall, Brake, Over };
    static constexpr int kWindow = 8;  // samples the speed is averaged over

    int Fail(std::int64_t code);
    int Finish();

    Phase m_phase = Phase::Over;
    double m_limit = 0.0;
    std::int64_t m_patience = 0;
    std::array<std::int64_t, kWindow> m_history{};
    std::int64_t m_sample = 0;
    double m_last = 0.0;  // the averaged speed of the previous sample
    double m_best = 0.0;
    std::int64_t m_bestSample = 0;
    std::int64_t m_fallStart = 0;
    // Crossing times (samples) of the band's edges: up low, up high, down high, down low.
    std::array<double, 4> m_cross{-1.0, -1.0, -1.0, -1.0};
    std::int64_t m_deltaTime = 0;
    std::int64_t m_deltaSpeed = 0;
};

}  // namespace vdrive::prog
