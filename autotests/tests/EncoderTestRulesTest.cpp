// What the encoder connection tests decide from the counters and the setup
// alone: which counter readings count as encoder pulses, the shaft angle a
// counter stands for, and which counter and resolution the serial encoder
// test reads, with its purpose text.
#include <gtest/gtest.h>

#include <numbers>
#include <vector>

#include "EditorTest.h"
#include "tests/EncoderTestRules.h"

namespace {

using dcdrive::SensorType;

constexpr double kPi = std::numbers::pi;

// Readings of one counter from tick to tick; the first reading of a run
// says where the counter starts.
TEST(EncoderTestRules, OnlyANewNonZeroPhaseIsAPulse) {
    const struct {
        const char* what;
        std::vector<std::int64_t> readings;  // of a 500-line encoder
        int moves;                           // ticks at which the picture moves
        bool pulses;
    } cases[] = {
        {"standing at 0", {0, 0, 0}, 0, false},
        {"one count backward", {0, -1}, 1, true},
        {"whole revolutions both ways, 4 x lines", {0, -4000, 6000}, 0, false},
        {"standing off zero, left by an earlier run", {1234, 1234, 3234}, 1, false},
        {"from off zero back to exactly 0", {1234, 0, 2000}, 2, false},
        {"a count, then back to 0", {0, 1, 0}, 2, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        dcdrive::PhaseWatch watch;
        watch.Restart();
        int moves = 0;
        for (std::int64_t p : c.readings) moves += watch.Take(dcdrive::IncrementalPhase(p, 500));
        EXPECT_EQ(moves, c.moves);
        EXPECT_EQ(watch.PulsesSeen(), c.pulses);
        // A new run forgets what the last one saw.
        watch.Restart();
        EXPECT_FALSE(watch.PulsesSeen());
        EXPECT_EQ(watch.Phase(), 0u);
    }
}

TEST(EncoderTestRules, ShaftAngleMakesOneTurnPer4NCounts) {
    const struct {
        dcdrive::EncoderSide side;
        double position, angle;
    } cases[] = {
        {{SensorType::IncrementalEncoder, 500, 0}, -500, -kPi / 2},
        {{SensorType::SineCosineEncoder, 1000, 6}, 128000, kPi},
        {{SensorType::IncrementalEncoder, 0, 0}, 100, 0},  // no lines: no angle rather than infinity
    };
    for (const auto& c : cases) EXPECT_NEAR(dcdrive::EncoderShaftAngle(c.position, c.side), c.angle, 1e-12);
    EXPECT_NEAR(dcdrive::SerialShaftAngle(-2048, dcdrive::SerialEncoderRange(13)), -kPi / 2, 1e-12);
    EXPECT_EQ(dcdrive::CounterPhase(-1, 8192), 8191u);
    EXPECT_EQ(dcdrive::SerialEncoderRange(40), std::int64_t{1} << 31);
}

// The interpolation bits count only for a sine/cosine encoder.
TEST(EncoderTestRules, EncodersOfTheSetup) {
    auto setup = dctest::Variant({{"MotorSensorType", 1},
                                  {"No_encoder_lines", 1024},
                                  {"SINCOS_fract", 4},
                                  {"LoadSensorType", 3},
                                  {"No_encoder_lines_LD", 250.7},
                                  {"SINCOS_fract_LD", 5}});
    const dcdrive::EncoderSide motor = dcdrive::MotorEncoderOf(*setup), load = dcdrive::LoadEncoderOf(*setup);
    EXPECT_EQ(motor.sensor, SensorType::IncrementalEncoder);
    EXPECT_EQ(motor.lines, 1024);
    EXPECT_EQ(motor.interpolationBits, 0);
    EXPECT_EQ(load.sensor, SensorType::SineCosineEncoder);
    EXPECT_EQ(load.lines, 250);
    EXPECT_EQ(load.interpolationBits, 5);
}

TEST(EncoderTestRules, SerialEncoderCounterResolutionAndPurpose) {
    const char* const ssi = "Checks position reading from the SSI encoder.";
    const struct {
        const char* what;
        double motor, load, type;
        const char* counter;
        int bits;
        const char* purpose;
    } cases[] = {
        {"SSI on the motor", 4, 0, 1, "APOS_MT", 13, ssi},
        {"BiSS on the load, incremental on the motor", 1, 5, 2, "APOS_LD", 17,
         "Checks position reading from the BiSS encoder."},
        {"serial on both: the motor's counter with its own resolution", 5, 4, 0, "APOS_MT", 13, ssi},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto setup = dctest::Variant({{"MotorSensorType", c.motor},
                                      {"LoadSensorType", c.load},
                                      {"SSITYPE", c.type},
                                      {"SSI_No_Bits_Revolution", 13},
                                      {"SSI_No_Bits_Revolution_LD", 17}});
        const dcdrive::SerialEncoderSource source = dcdrive::SerialEncoderSourceOf(*setup);
        EXPECT_STREQ(source.counter, c.counter);
        EXPECT_EQ(source.bits, c.bits);
        EXPECT_STREQ(dcdrive::SerialEncoderPurpose(*setup), c.purpose);
    }
}

}  // namespace
