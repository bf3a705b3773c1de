#include <gtest/gtest.h>

#include <cmath>

#include "DriveTestSupport.h"
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

}  // namespace
