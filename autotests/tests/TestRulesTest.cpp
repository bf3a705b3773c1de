// What the commissioning tests decide without widgets, beyond what their dialog tests read.
#include <numbers>
#include <tuple>

#include "EditorTest.h"
#include "conversions/Derived.h"
#include "tests/AnalogueRefRules.h"
#include "tests/EncoderTestRules.h"
#include "tests/InertiaRules.h"
#include "tests/TestRules.h"

namespace {

using namespace dcdrive;

constexpr double kPi = std::numbers::pi;

// Every message once: the first watched bit in the register's order wins; a test's mask drops the others.
TEST(TestRules, MotionErrorsReportTheFirstWatchedBit) {
    const struct {
        std::uint16_t mer, mask;
        const char* message;  // null: passes
    } cases[] = {
        {0x000A, kMaskAll, "Drive / Motor shortcircuit protection triggered."},   // before the control error
        {0x0028, kMaskAll, "Drive / Motor control error protection triggered."},  // before the feedback error
        {0x80C0, kMaskAll, "Drive / Motor stopped due to positive limit switch input triggered."},
        {0x00A0, kMaskAllButFeedback, "Drive / Motor stopped due to negative limit switch input triggered."},
        {0x8008, kMaskCurrentTest, "Drive / Motor ENABLE input is in DISABLED state."},
        {0x0028, kMaskSerialEncoderTest, "Feedback error."},
        {0x8000, kMaskShortCircuit, nullptr},
        {0x7F15, kMaskAll, nullptr},  // bits that have no message
    };
    for (const auto& c : cases) {
        const char* message = MotionErrorMessage(c.mer, c.mask);
        EXPECT_EQ(message ? std::string(message) : "", c.message ? c.message : "")
            << std::hex << c.mer << " & " << c.mask;
    }
    EXPECT_EQ(MotionErrorWord(32770.0), 0x8002);  // as the drive variable reads it
    EXPECT_EQ(MotionErrorWord(2.9), 0x0002);
}

TEST(TestRules, TheEndOfARunAndTheInputs) {
    EXPECT_EQ(ReadTestFlag(1.0), TestFlag::Completed);
    EXPECT_EQ(ReadTestFlag(0.0), TestFlag::ProtectionTripped);
    EXPECT_EQ(ReadTestFlag(std::nan("")), TestFlag::ProtectionTripped);
    EXPECT_EQ(ReadTestFlag(1.2345e100), TestFlag::Unset);

    EXPECT_EQ(SignedWordInput(-1.9), -1.0);
    EXPECT_EQ(SignedWordInput(40000.0), 40000.0 - 65536.0);  // a word taken as signed
    EXPECT_EQ(GainSliderRange(10, 0, 100), std::make_pair(5.0, 15.0));
    EXPECT_EQ(GainSliderRange(10, 7, 12), std::make_pair(7.0, 12.0));  // the limits cut both ends
    // The current test's tabs check the limit; without a protection nothing is refused.
    auto bare = dctest::Variant({{"TestCurrent", 9}, {"TestProtectionCurrent", dctest::kGone}});
    EXPECT_EQ(ValidateCurrentTest(*bare), nullptr);
}

TEST(TestRules, SupplyAndTheQuestionOnClose) {
    EXPECT_FALSE(std::isfinite(SupplyFromCounts(2150.0, 0.0, 80.0))) << "no converter scale";
    EXPECT_EQ(SupplyChangeQuestion(48.0, 48.0000001), "") << "the same with %G";
    EXPECT_EQ(
        SupplyChangeQuestion(48.0, 42.0195),
        "A different value than specified has been detected for the following parameter(s):\r\n\r\n"
        "Power supply:\tOld = 48\tNew = 42.0195\r\n\r\nDo you want to save the new value(s)? (Recommended)");
    EXPECT_EQ(FormatG(1.5e-7), "1.5E-07");
}

TEST(AnalogueRefRules, InputSpansReadingsAndBars) {
    const auto ends = [](const Span& span) { return std::pair(span.minimum, span.maximum); };
    EXPECT_EQ(ends(AnalogueInputSpan(5)), std::pair(0.0, 5.0));
    EXPECT_EQ(ends(AnalogueInputSpan(10)), std::pair(0.0, 3.3));  // any other range
    EXPECT_FALSE(AnalogueTestSpansOf(*dctest::Variant({{"ControlMode", 3}})).command.has_value());
    // Span, counts, reading: rounded to 2 decimals; the converter's full scale is 0xFFC0.
    const std::tuple<Span, double, double> readings[] = {
        {{-10, 10}, 65535, 10.02},      // a reading above the full scale is not clipped
        {{0, 5}, 6547, 0.5},            // 0.49999 rounds up
        {{6000, -6000}, 65472, -6000},  // a range given the other way round maps as given
    };
    for (const auto& [span, counts, reading] : readings)
        EXPECT_DOUBLE_EQ(ValueAtCounts(span, counts), reading) << counts;
    // A bar is drawn from 0 unless the span lies on one side of it.
    const std::pair<Span, double> bars[] = {
        {{-10, 10}, 0}, {{0, 5}, 0}, {{1, 5}, 1}, {{-5, -1}, -5}, {{-5, 0}, 0}};
    for (const auto& [span, reference] : bars) EXPECT_EQ(BarReference(span), reference) << span.minimum;
}

// Readings of one counter from tick to tick; the first reading of a run says where the counter starts.
TEST(EncoderTestRules, OnlyANewNonZeroPhaseIsAPulse) {
    const struct {
        const char* what;
        std::vector<std::int64_t> readings;  // of a 500-line encoder
        int moves;                           // ticks at which the picture moves
        bool pulses;
    } cases[] = {
        {"whole revolutions both ways, 4 x lines", {0, -4000, 6000}, 0, false},
        {"standing off zero, left by an earlier run", {1234, 1234, 3234}, 1, false},
        {"from off zero back to exactly 0", {1234, 0, 2000}, 2, false},
        {"a count backward, then back to 0", {0, -1, 0}, 2, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PhaseWatch watch;
        watch.Restart();
        int moves = 0;
        for (std::int64_t p : c.readings) moves += watch.Take(IncrementalPhase(p, 500));
        EXPECT_EQ(moves, c.moves);
        EXPECT_EQ(watch.PulsesSeen(), c.pulses);
        // A new run forgets what the last one saw.
        watch.Restart();
        EXPECT_FALSE(watch.PulsesSeen());
        EXPECT_EQ(watch.Phase(), 0u);
    }
}

TEST(EncoderTestRules, ShaftAngleMakesOneTurnPer4NCounts) {
    // Encoder, position, angle.
    const std::tuple<EncoderSide, double, double> cases[] = {
        {{SensorType::IncrementalEncoder, 500, 0}, -500, -kPi / 2},
        {{SensorType::SineCosineEncoder, 1000, 6}, 128000, kPi},
        {{SensorType::IncrementalEncoder, 0, 0}, 100, 0},  // no lines: no angle rather than infinity
    };
    for (const auto& [side, position, angle] : cases)
        EXPECT_NEAR(EncoderShaftAngle(position, side), angle, 1e-12);
    EXPECT_NEAR(SerialShaftAngle(-2048, SerialEncoderRange(13)), -kPi / 2, 1e-12);
    EXPECT_EQ(CounterPhase(-1, 8192), 8191u);
    EXPECT_EQ(SerialEncoderRange(40), std::int64_t{1} << 31);
}

// The interpolation bits count only for a sine/cosine encoder. The serial encoder test reads the motor's
// counter when the motor has a serial encoder.
TEST(EncoderTestRules, EncodersOfTheSetup) {
    auto setup = dctest::VariantOf(
        "MotorSensorType=1 No_encoder_lines=1024 SINCOS_fract=4 LoadSensorType=3 No_encoder_lines_LD=250.7 "
        "SINCOS_fract_LD=5");
    const auto side = [](const EncoderSide& s) { return std::tuple(s.sensor, s.lines, s.interpolationBits); };
    EXPECT_EQ(side(MotorEncoderOf(*setup)), std::tuple(SensorType::IncrementalEncoder, 1024, 0));
    EXPECT_EQ(side(LoadEncoderOf(*setup)), std::tuple(SensorType::SineCosineEncoder, 250, 5));

    const char* const ssi = kSsiEncoderTestPurpose;
    const struct {
        const char* sensors;
        const char* counter;
        int bits;
        const char* purpose;
    } cases[] = {
        {"MotorSensorType=4 LoadSensorType=0 SSITYPE=1", "APOS_MT", 13, ssi},
        {"MotorSensorType=1 LoadSensorType=5 SSITYPE=2", "APOS_LD", 17, kBissEncoderTestPurpose},
        // Serial on both: the motor's counter with its own resolution.
        {"MotorSensorType=5 LoadSensorType=4 SSITYPE=0", "APOS_MT", 13, ssi},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sensors);
        setup = dctest::VariantOf(std::string("SSI_No_Bits_Revolution=13 SSI_No_Bits_Revolution_LD=17 ") +
                                  c.sensors);
        const SerialEncoderSource source = SerialEncoderSourceOf(*setup);
        EXPECT_STREQ(source.counter, c.counter);
        EXPECT_EQ(source.bits, c.bits);
        EXPECT_STREQ(SerialEncoderPurpose(*setup), c.purpose);
    }
}

// The texts by their place in the test's table; the dialog test reads them where they show.
TEST(InertiaRules, FailureCodesAndTheirTexts) {
    const double nan = std::nan("");
    const struct {
        double flag, deltaTime;
        InertiaRun run;
        int text;  // in kInertiaTestTexts; -1: measured
    } cases[] = {
        {0, 120, InertiaRun::ProtectionTripped, 5}, {nan, 120, InertiaRun::ProtectionTripped, 5},
        {1, -1, InertiaRun::WrongSpeedSign, 6},     {1, -2, InertiaRun::NoSpeed, 7},
        {1, 0, InertiaRun::SpeedNotReached, 8},     {1, nan, InertiaRun::SpeedNotReached, 8},
        {0.5, 1, InertiaRun::Measured, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "test_flag " << c.flag << ", delta_time " << c.deltaTime);
        const InertiaRun run = ClassifyInertiaRun(c.flag, c.deltaTime);
        EXPECT_EQ(run, c.run);
        EXPECT_STREQ(InertiaRunText(run), c.text < 0 ? nullptr : kInertiaTestTexts[c.text]);
    }
}

// A plant of inertia J accelerated by K * I gains (K I / J) * t rad/s in t; the program reports t in
// speed-loop periods and the speed in its counts, with a tachogenerator 4096 counts for 20 V. The dialog test
// identifies the plant's inertia through an encoder.
TEST(InertiaRules, InertiaOfAKnownPlantWithATachogenerator) {
    auto setup = dctest::Variant({{"MotorSensorType", 2}});
    const InertiaScales scales = InertiaScalesOf(*setup);
    const double ts = SpeedLoopPeriod(*setup), inertia = 5e-5, periods = 200;
    EXPECT_DOUBLE_EQ(scales.speed, 4096 * dctest::Value(*setup, "Tacho_gain") / 20);
    const double testCurrent = std::trunc(2.0 * scales.current);  // 2 A as written into "In1"
    const double gained = 0.06 * testCurrent / scales.current / inertia * periods * ts;  // rad/s
    EXPECT_NEAR(TotalInertia(scales, periods, gained * scales.speed, testCurrent), inertia, 1e-12 * inertia);
}

TEST(InertiaRules, QuestionOnCloseAndTheMotorInertia) {
    EXPECT_EQ(InertiaChangeQuestion(2.8e-5, 2.8000001e-5), "") << "\"%g\" keeps six digits";
    EXPECT_EQ(InertiaChangeQuestion(0.00012, -4e-5),
              "A different value than specified has been detected for the following parameter(s):\r\n\r\n"
              "Total inertia:\tOld = 0.00012\tNew = -4e-05\r\n\r\n"
              "Do you want to save the new value(s)? (Recommended)");

    const struct {
        double jm, jt, unknown;
        bool below;
    } cases[] = {{2e-5, 1e-5, 0, true}, {2e-5, 2e-5, 0, false}, {2e-5, 1e-5, 1, false}};
    for (const auto& c : cases) {
        auto setup = dctest::Variant({{"Jm", c.jm}, {"Jt", c.jt}, {"isMotorInertiaUnknown", c.unknown}});
        EXPECT_EQ(TotalBelowMotorInertia(*setup), c.below) << c.jm << " " << c.jt << " " << c.unknown;
    }
}

}  // namespace
