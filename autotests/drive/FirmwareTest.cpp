#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>

#include "DriveTestSupport.h"
#include "conversions/Derived.h"
#include "conversions/Gains.h"
#include "drive/Firmware.h"

using namespace vdrive::fw;

namespace {

Gain Encoded(double x) {
    const dcdrive::FixedPointGain g = dcdrive::EncodeGain(x);
    return {static_cast<std::int32_t>(std::lround(g.mantissa)), g.shift};
}

// A constant error e gives Kp·e + n·Ki·e after n samples: the discrete form
// of Kp + Ki/(T s), with the gains the registers hold (mantissa·2^shift/32767).
TEST(Firmware, PiFollowsItsLawWithValueAndShiftGains) {
    struct Case {
        double kp, ki;
        std::int64_t error;
    };
    for (const Case c : {Case{0.2396, 0.0862, 1000}, Case{3.7, 0.01, -250}, Case{40.0, 1.5, 20}}) {
        const PiLaw law{Encoded(c.kp), Encoded(c.ki), kFullScale, kFullScale};
        PiState state;
        for (int n = 1; n <= 50; ++n) {
            const std::int64_t u = RunPi(law, state, c.error);
            const double expected = (c.kp + n * c.ki) * static_cast<double>(c.error);
            if (std::fabs(expected) >= kFullScale) break;
            // One count of rounding plus the 32767/32768 of the firmware's division.
            ASSERT_NEAR(static_cast<double>(u), expected, 1.0 + std::fabs(expected) * 1e-4)
                << "Kp " << c.kp << " sample " << n;
        }
    }
}

// The output stays within its saturation and the integral within its own, so
// that the integral does not wind up beyond what the output may use.
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

// The PID on an error ramp e[n] = n·c: Kp·e + Ki·Σe + Kd·c once the
// difference exists, the difference passed through "KDFP" (32767: as it is;
// q: c (1 − (1 − q/32767)^(n−1)) after n samples).
TEST(Firmware, PidFollowsItsLaw) {
    for (const std::int32_t filter : {32767, 8192}) {
        const PidLaw law{{Encoded(0.75), Encoded(0.05), kFullScale, kFullScale}, Encoded(6.0), filter};
        PidState state;
        const double c = 40.0;
        double sum = 0.0;
        for (int n = 1; n <= 20; ++n) {
            const double e = n * c;
            sum += e;
            const double difference = n == 1 ? 0.0 : c * (1.0 - std::pow(1.0 - filter / 32767.0, n - 1));
            const double expected = 0.75 * e + 0.05 * sum + 6.0 * difference;
            ASSERT_NEAR(static_cast<double>(RunPid(law, state, static_cast<std::int64_t>(e))), expected,
                        2.0 + expected * 1e-4)
                << "KDFP " << filter << " sample " << n;
        }
    }
}

// "FILTERQ" q: y[n] = 1 − (1 − q/32767)^n for a unit step; 32767 passes it.
TEST(Firmware, OutputFilterStepResponse) {
    for (const std::int32_t q : {32767, 16384, 3000}) {
        OutputFilter filter;
        filter.q = q;
        for (int n = 1; n <= 30; ++n) {
            const double expected = 10000.0 * (1.0 - std::pow(1.0 - q / 32767.0, n));
            ASSERT_NEAR(static_cast<double>(filter.Run(10000)), expected, 1.0) << "q " << q << " n " << n;
        }
    }
}

// The sensors and counting directions that the feedback registers of a real
// setup configure, after the parameter-to-register driver.
TEST(Firmware, SensorsFromTheFeedbackRegisters) {
    struct Case {
        int motor, load, reverseMotor;
        Sensor motorSensor, loadSensor;
        bool motorReversed;
    };
    const Case cases[] = {
        {1, 0, 0, Sensor::Incremental, Sensor::None, false},
        {1, 0, 1, Sensor::Incremental, Sensor::None, true},
        {4, 0, 0, Sensor::Ssi, Sensor::None, false},
        {5, 0, 0, Sensor::Biss, Sensor::None, false},
        {2, 1, 0, Sensor::Tacho, Sensor::Incremental, false},
        {1, 4, 0, Sensor::Incremental, Sensor::Ssi, false},
    };
    for (const Case& c : cases) {
        auto setup = dcdrive::LoadDefaultSetup();
        drivetest::SetValue(*setup, "MotorSensorType", c.motor);
        drivetest::SetValue(*setup, "LoadSensorType", c.load);
        drivetest::SetValue(*setup, "ReverseCounting_MT", c.reverseMotor);
        dcdrive::ParametersToRegisters(*setup);
        const auto image = drivetest::RegisterImage(*setup);
        const Config config = ConfigFromRegisters({image.begin(), image.end()});
        EXPECT_EQ(config.motorSensor, c.motorSensor) << c.motor << "/" << c.load;
        EXPECT_EQ(config.loadSensor, c.loadSensor) << c.motor << "/" << c.load;
        EXPECT_EQ(config.motorReversed, c.motorReversed) << c.motor << "/" << c.load;
    }
}

// The speed PI with the gains tuned for a pass band and damping, sampled at
// the slow loop over the inertia J/K (the current loop taken as ideal) and
// fed by the speed measured as counts per period, follows the designed
// continuous loop (2ζω s + ω²) / (s² + 2ζω s + ω²).
TEST(Firmware, SpeedLoopFollowsItsContinuousLaw) {
    // Pass bands well below the sampling rate (ω·T up to 0.15).
    for (const double band : {60.0, 150.0}) {
        auto setup = dcdrive::LoadDefaultSetup();
        drivetest::SetValue(*setup, "PB_S", band);
        drivetest::SetValue(*setup, "Dump_S", 0.8);
        // A fine encoder, so that the speed counts per period resolve the step.
        drivetest::SetValue(*setup, "No_encoder_lines", 10000);
        ASSERT_TRUE(dcdrive::TuneLoop(*setup, dcdrive::Loop::Speed).tuned);
        dcdrive::ParametersToRegisters(*setup);
        const auto image = drivetest::RegisterImage(*setup);
        Config config = ConfigFromRegisters({image.begin(), image.end()});
        config.speed.outputLimit = config.speed.integralLimit = kFullScale;

        const double ts = dcdrive::SpeedLoopPeriod(*setup);
        const double currentScale = dcdrive::CurrentScale(*setup);  // counts per A
        const double cpr = 4.0 * setup->GetParameterValueInBaseUnit("No_encoder_lines");
        const double j = setup->GetParameterValueInBaseUnit("Jt");
        const double k = setup->GetParameterValueInBaseUnit("K");
        const double reference = 50.0;  // rad/s, within the current limit
        const double referenceCounts = reference * cpr / (2.0 * std::numbers::pi) * ts;

        PiState state;
        double speed = 0.0, angle = 0.0, sumSquares = 0.0;
        std::int64_t lastCount = 0;
        const int samples = static_cast<int>(8.0 / band / ts);
        for (int n = 0; n < samples; ++n) {
            const auto count = static_cast<std::int64_t>(std::floor(angle * cpr / (2.0 * std::numbers::pi)));
            const std::int64_t measured = count - lastCount;
            lastCount = count;
            const std::int64_t iref = RunPi(config.speed, state, std::llround(referenceCounts) - measured);
            const double torque = k * static_cast<double>(iref) / currentScale;
            for (int m = 0; m < 20; ++m) {  // the mechanics between samples
                speed += torque / j * ts / 20.0;
                angle += speed * ts / 20.0;
            }
            const double designed =
                reference * drivetest::DesignedStep(0.0, 1.0, 2.0 * 0.8 * band, band * band, (n + 1) * ts);
            sumSquares += (speed - designed) * (speed - designed);
        }
        const double rms = std::sqrt(sumSquares / samples) / reference;
        EXPECT_LT(rms, 0.1) << "band " << band;
        std::printf("speed loop %g rad/s: normalized rms %.4f\n", band, rms);
    }
}

}  // namespace
