#include <cmath>
#include <numbers>

#include "DriveTestSupport.h"
#include "conversions/Gains.h"
#include "drive/Firmware.h"
#include "filters/Biquad.h"

using namespace vdrive::fw;
using drivetest::kQ16;

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

Gain Encoded(double x) {
    const dcdrive::FixedPointGain g = dcdrive::EncodeGain(x);
    return {static_cast<std::int32_t>(std::lround(g.mantissa)), g.shift};
}

// The PI on a constant error e gives Kp·e + n·Ki·e after n samples, the discrete form of Kp + Ki/(T s). The
// PID on a ramp e[n] = n·c gives Kp·e + Ki·Σe + Kd·d, d the difference c from the second sample on passed
// through "KDFP" q: c (1 − (1 − q/32767)^(n−1)), 32767 leaving it as it is. The gains as the registers hold
// them (mantissa·2^shift/32767), above 1 (a shift) and below it (no shift).
TEST(Firmware, PiAndPidFollowTheirLaws) {
    struct Case {
        double kp, ki, kd;  // kd < 0: the PI
        std::int32_t filter;
        double e0, slope;  // e[n] = e0 + n·slope
    };
    for (const Case c : {Case{40.0, 0.0862, -1, 0, -20, 0}, Case{0.75, 0.05, 6.0, 32767, 0, 40},
                         Case{0.75, 0.05, 6.0, 8192, 0, 40}}) {
        const double kd = std::max(c.kd, 0.0);
        const PidLaw law{{Encoded(c.kp), Encoded(c.ki), kFullScale, kFullScale}, Encoded(kd), c.filter};
        PiState pi;
        PidState pid;
        double sum = 0.0;
        for (int n = 1; n <= 40; ++n) {
            const double e = c.e0 + n * c.slope;
            sum += e;
            const double d = n == 1 ? 0.0 : c.slope * (1.0 - std::pow(1.0 - c.filter / 32767.0, n - 1));
            const double expected = c.kp * e + c.ki * sum + kd * d;
            const auto x = static_cast<std::int64_t>(e);
            const std::int64_t u = c.kd < 0 ? RunPi(law.pi, pi, x) : RunPid(law, pid, x);
            // Two counts of rounding plus the 32767/32768 of the firmware's division.
            ASSERT_NEAR(static_cast<double>(u), expected, 2.0 + std::fabs(expected) * 1e-4)
                << "Kd " << c.kd << " KDFP " << c.filter << " sample " << n;
        }
    }
}

// The output stays within its saturation and the integral within its own, so that the integral does not wind
// up beyond what the output may use.
TEST(Firmware, PiSaturations) {
    const PiLaw law{Encoded(0.5), Encoded(0.25), 3000, 1000};
    PiState state;
    std::int64_t u = 0;
    for (int n = 0; n < 100; ++n) u = RunPi(law, state, 4000);
    EXPECT_EQ(u, 3000);
    EXPECT_EQ(state.integral >> kGainFractionBits, 1000);
    // Reversing the error leaves the saturation at once: no wound-up integral.
    EXPECT_EQ(RunPi(law, state, -1000), 1000 - 250 - 500);
    for (int n = 0; n < 100; ++n) u = RunPi(law, state, -4000);
    EXPECT_EQ(u, -3000);
}

// "FILTERQ" q: y[n] = 1 − (1 − q/32767)^n for a unit step; 32767 passes it.
TEST(Firmware, OutputFilterStepResponse) {
    for (const std::int32_t q : {32767, 3000}) {
        OutputFilter filter;
        filter.q = q;
        for (int n = 1; n <= 30; ++n) {
            const double expected = 10000.0 * (1.0 - std::pow(1.0 - q / 32767.0, n));
            ASSERT_NEAR(static_cast<double>(filter.Run(10000)), expected, 1.0) << "q " << q << " n " << n;
        }
    }
}

// A slot run in fixed point against the difference equation of the coefficients it holds, in double
// precision: a low pass and a notch as the filter design quantizes them, and a cleared slot.
TEST(Firmware, BiquadSlotFollowsItsDifferenceEquation) {
    // What, filter type, normalized frequency, quality factor.
    for (const auto& [what, type, f1, q] :
         {std::tuple{"low pass", int{dcdrive::kBiquadLowPass2}, 0.05, 0.707},
          {"notch", dcdrive::kBiquadNotch, 0.02, 2.0},
          {"cleared slot", -1, 0.0, 0.0}}) {
        BiquadSlot slot;
        dcdrive::BiquadCoefficients h;  // what the slot holds, as values
        if (type >= 0) {
            const auto design = dcdrive::DesignBiquad(type, f1, q, 0.0);
            ASSERT_TRUE(design) << what;
            const dcdrive::HeldBiquad held = dcdrive::QuantizeBiquad(*design);
            slot = {std::llround(held.words.b0), std::llround(held.words.b1), std::llround(held.words.b2),
                    std::llround(held.words.a1), std::llround(held.words.a2), std::llround(held.scaleFactor)};
            h = dcdrive::HeldValues(held);
        } else {
            h.b0 = 1.0;  // a cleared slot passes the signal through
        }
        BiquadState state;
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0, worst = 0.0;
        for (int n = 0; n < 2000; ++n) {
            // A step of 300 counts with a sine at the notch's frequency on top.
            const double x = (n >= 10 ? 300.0 : 0.0) + 50.0 * std::sin(kTwoPi * 0.02 * n);
            const auto xq = static_cast<std::int64_t>(std::llround(x * kQ16));
            const double xd = static_cast<double>(xq) / kQ16;
            const double y = h.b0 * xd + h.b1 * x1 + h.b2 * x2 - h.a1 * y1 - h.a2 * y2;
            x2 = x1, x1 = xd, y2 = y1, y1 = y;
            const double fixed = static_cast<double>(RunBiquad(slot, state, xq)) / kQ16;
            worst = std::max(worst, std::fabs(fixed - y));
        }
        EXPECT_LT(worst, 1e-3) << what;  // counts
    }
}

}  // namespace
