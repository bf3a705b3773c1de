// What the motor setup editor decides from the setup alone: what it shows
// and enables for each sensor and transmission, the brake text, its lists,
// the bits of absolute encoders, the transmission a serial load encoder
// allows, and what OK writes.
#include <gtest/gtest.h>

#include "EditorTest.h"
#include "editors/MotorSetupRules.h"

namespace {

using dctest::Apply;
using dctest::Set;
using dctest::Value;

// One control of each group the rules show or enable together.
TEST(MotorSetupRules, WhatEachSensorAndTransmissionShows) {
    const struct {
        const char *what, *changes, *expected;
    } cases[] = {
        {"incremental motor encoder, no load sensor", "MotorSensorType=1 LoadSensorType=0",
         "1202:-/1 1217:-/0 1179:-/1 1182:-/0 1200:-/0 3433:-/0 3358:-/1 3361:-/0 3360:-/1 3359:0/1 "
         "1189:-/0"},
        {"tachogenerator", "MotorSensorType=2", "1202:-/1 1187:-/0 1182:-/1 3358:-/0 3360:-/0"},
        {"sine/cosine motor encoder", "MotorSensorType=3", "1179:-/1 1200:-/1"},
        {"SSI motor encoder, single turn", "MotorSensorType=4 SSI_isMultiTurn=0",
         "1179:-/0 3433:-/1 3452:-/1 3438:0/1"},
        {"BiSS motor encoder, multi turn", "MotorSensorType=5 SSI_isMultiTurn=1", "3438:1/1"},
        {"load encoder, rotary", "LoadSensorType=1 TransmissionType=0",
         "1217:-/1 1180:-/1 1189:-/1 1205:-/0 3361:-/1 3366:-/1 3365:0/1"},
        {"load encoder, linear", "LoadSensorType=1 TransmissionType=1", "1180:-/0 1205:-/1 1189:-/1"},
        {"sine/cosine load encoder, rotary", "LoadSensorType=3 TransmissionType=0",
         "1203:-/1 3355:-/1 3357:-/0"},
        {"sine/cosine load encoder, linear", "LoadSensorType=3 TransmissionType=1", "3355:-/0 3357:-/1"},
        {"SSI load encoder, rotary, multi turn", "LoadSensorType=4 TransmissionType=0 SSI_isMultiTurn_LD=1",
         "3453:-/1 3466:-/1 3473:-/0 3458:1/1 1189:-/0"},
        {"BiSS load encoder, linear", "LoadSensorType=5 TransmissionType=1 SSI_isMultiTurn_LD=0",
         "3453:-/0 3466:-/1 3473:-/1 3458:0/0"},
        {"inertia unknown, temperature sensor, filter on",
         "isMotorInertiaUnknown=1 isMotorTemperatureSensor=1 isFilterEnc_MT=1", "1172:0/- 1184:1/- 3359:1/1"},
        {"inertia known, no temperature sensor", "isMotorInertiaUnknown=0 isMotorTemperatureSensor=0",
         "1172:1/- 1184:0/-"},
        {"a drive without encoder filters", "isFilterEnc_MT=gone LoadSensorType=1",
         "3360:-/0 3359:0/0 3366:-/0 3365:0/0"},
        {"a drive without reverse counting", "ReverseCounting_LD=gone LoadSensorType=1", "3358:-/0 3361:-/0"},
        {"brake on", "isMotorBrake=1", "3382:1/- 3390:1/-"},
        {"brake off", "isMotorBrake=0", "3382:0/- 3392:0/-"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        dctest::ExpectStates(Apply(dcdrive::MotorSetupDisplayRules(*dctest::VariantOf(c.changes))),
                             c.expected);
    }
}

// The limit switch warning shows for a negative transmission, unless the
// drive handles negative transmissions itself.
TEST(MotorSetupRules, LimitSwitchWarning) {
    const struct {
        const char* option;
        double motor, load;
        bool shown;
    } cases[] = {
        {"0", 6.28, -1, true},
        {"0", -1, -1, false},
        {"1", -6.28, 6.28, false},
        {"", -6.28, 6.28, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.option << " " << c.motor << " " << c.load);
        auto setup = dctest::Variant({{"Motor_transmission", c.motor}, {"Load_transmission", c.load}});
        setup->SetOption("hasNegTransmission", c.option);
        EXPECT_EQ(Apply(dcdrive::MotorSetupDisplayRules(*setup)).at(3414).shown, c.shown);
    }
}

TEST(MotorSetupRules, BrakeTextFollowsTheOutputStage) {
    // The default drive: ports 0 and 1 source, 2 sink, 3 sink with an inverted level.
    const struct {
        double port;
        const char* tail;
    } cases[] = {
        {0, dcdrive::kBrakeSourceText},
        {2, dcdrive::kBrakeSinkText},
        {3, dcdrive::kBrakeSourceText},
    };
    for (const auto& c : cases) {
        auto setup = dctest::Variant({{"MotorBrake_output", c.port}});
        EXPECT_EQ(dcdrive::BrakeText(*setup), std::string("Motor brake is applied when ") + c.tail) << c.port;
    }
}

TEST(MotorSetupRules, AbsoluteEncoderBitsWithinTheDrivesMaximum) {
    const struct {
        const char* option;
        double transmission, rev, turns;
        double motorRev, motorTurns, loadRev, loadTurns;
    } cases[] = {
        {"", 0, 20, 16, 20, 11, 20, 11},
        {"", 0, 40, 5, 31, 0, 31, 0},
        {"", 0, 13, 12, 13, 12, 13, 12},
        {"24", 0, 20, 16, 20, 4, 20, 4},
        // a linear load encoder has no turns: only its revolution bits are capped
        {"", 1, 40, 5, 31, 0, 31, 5},
        {"", 1, 20, 16, 20, 11, 20, 16},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "option '" << c.option << "' T " << c.transmission << " " << c.rev
                                        << " + " << c.turns);
        auto setup = dctest::Variant({{"TransmissionType", c.transmission},
                                      {"SSI_No_Bits_Revolution", c.rev},
                                      {"SSI_No_Bits_Turns", c.turns},
                                      {"SSI_No_Bits_Revolution_LD", c.rev},
                                      {"SSI_No_Bits_Turns_LD", c.turns}});
        setup->SetOption("SSIMaxBits", c.option);
        dcdrive::LimitSsiBits(*setup);
        dcdrive::LimitLoadSsiBits(*setup);
        EXPECT_EQ(Value(*setup, "SSI_No_Bits_Revolution"), c.motorRev);
        EXPECT_EQ(Value(*setup, "SSI_No_Bits_Turns"), c.motorTurns);
        EXPECT_EQ(Value(*setup, "SSI_No_Bits_Revolution_LD"), c.loadRev);
        EXPECT_EQ(Value(*setup, "SSI_No_Bits_Turns_LD"), c.loadTurns);
    }
}

std::string Texts(const std::vector<kx::ListEntry>& items) {
    std::string texts;
    for (const kx::ListEntry& item : items)
        texts += (texts.empty() ? "" : " ") + item.text + "=" + std::to_string(item.data);
    return texts;
}

TEST(MotorSetupRules, SerialEncoderClocksWithinTheLimits) {
    // The default drive offers SSI at 1, 2, 2.5, 3, 4, 5 MHz and BiSS up to 10 MHz.
    const struct {
        double type, min, max;
        bool load;
        const char* items;
    } cases[] = {
        {4, 1000001, 3e6, false, "2000 kHz=2000 2500 kHz=2500 3000 kHz=3000"},
        {5, 5e6, 1e7, false, "5000 kHz=5000 7500 kHz=7500 10000 kHz=10000"},
        {5, 2.6e6, 2.9e6, false, ""},
        {5, 7.5e6, 7.5e6, true, "7500 kHz=7500"},
        {4, 6e6, 1e7, true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " [" << c.min << ", " << c.max << "]");
        const char* type = c.load ? "LoadSensorType" : "MotorSensorType";
        const char* f = c.load ? "SSI_freq_LD" : "SSI_freq";
        auto setup = dctest::Variant({{type, c.type}});
        setup->FindParameter(f)->SetMinInBaseUnit(c.min);
        setup->FindParameter(f)->SetMaxInBaseUnit(c.max);
        const dcdrive::SerialFrequencyList list = dcdrive::SerialFrequencyItems(*setup, c.load);
        EXPECT_TRUE(list.complete);
        EXPECT_EQ(Texts(list.items), c.items);
    }
    // Lists of unequal length offer nothing and say nothing.
    auto setup = dctest::Variant({{"MotorSensorType", 5}});
    setup->Drive().biss.modes.pop_back();
    const dcdrive::SerialFrequencyList broken = dcdrive::SerialFrequencyItems(*setup, false);
    EXPECT_FALSE(broken.complete);
    EXPECT_TRUE(broken.items.empty());
}

TEST(MotorSetupRules, InterpolationList) {
    // A sine/cosine encoder is interpolated up to 10 bits per electrical
    // period: 500 lines need none, 16 lines at least 2^4.
    const struct {
        double lines;
        const char* items;
    } cases[] = {
        {500, "1=0 2=1 4=2 8=3 16=4 32=5 64=6 128=7 256=8"},
        {16, "16=4 32=5 64=6 128=7 256=8"},
    };
    for (const auto& c : cases) {
        auto setup = dctest::Variant({{"MotorSensorType", 3}, {"No_encoder_lines", c.lines}});
        EXPECT_EQ(Texts(dcdrive::InterpolationItems(*setup, false)), c.items) << c.lines;
    }
}

TEST(MotorSetupRules, DerivedCounts) {
    auto setup = dctest::Variant({{"No_encoder_lines", 500},
                                  {"SINCOS_fract", 3.7},
                                  {"No_encoder_lines_LD", 1024},
                                  {"SINCOS_fract_LD", 2},
                                  {"Resolution_LD", 1e-6}});
    EXPECT_EQ(dcdrive::EquivCountsPerRev(*setup), 4000);
    EXPECT_EQ(dcdrive::EquivCountsPerRevLoad(*setup), 4096);
    EXPECT_DOUBLE_EQ(dcdrive::ResolutionWithInterpolationLoad(*setup), 0.25e-6);
    EXPECT_TRUE(dcdrive::HasMotorDerivedCounts(*setup));
    setup->RemoveParameter("SINCOS_fract");
    EXPECT_FALSE(dcdrive::HasMotorDerivedCounts(*setup));
}

// Without a linear resolution of its own an absolute load encoder measures
// rotary motion only.
TEST(MotorSetupRules, TransmissionWithAnAbsoluteLoadEncoder) {
    const struct {
        double load, transmission;
        bool linearResolution;
        int offered;
        double transmissionAfter;
    } cases[] = {
        {4, 1, false, 0, 0}, {5, 0, false, 0, 0}, {1, 1, false, 1, 1},
        {0, 1, false, 1, 1}, {4, 1, true, -1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "L " << c.load << " T " << c.transmission);
        auto setup = dctest::Variant({{"LoadSensorType", c.load},
                                      {"TransmissionType", c.transmission},
                                      {"SSI_Resolution_LD", c.linearResolution ? 1e-6 : dctest::kGone}});
        EXPECT_EQ(dcdrive::UpdateTransmissionTypeChoice(*setup), c.offered);
        EXPECT_EQ(Value(*setup, "TransmissionType"), c.transmissionAfter);
    }
}

// One row for each thing OK writes.
TEST(MotorSetupRules, WhatOKWrites) {
    const struct {
        const char *what, *changes;
        bool bothAtStart;
        const char* expected;
    } cases[] = {
        {"a tachogenerator alone leaves position control for speed control with an analogue reference",
         "MotorSensorType=2 LoadSensorType=0 ControlMode=0 ExternalReference=1 isAnalogueReference=0 "
         "isSWLS=1",
         false, "ControlMode=1 isAnalogueReference=1 isSWLS=0"},
        {"no temperature sensor, no over-temperature protection",
         "isMotorTemperatureSensor=0 isMotorOverTemp=1", false, "isMotorOverTemp=0"},
        {"no freeze control outside position control", "ControlMode=1 isFreezeControl=1", false,
         "isFreezeControl=0"},
        {"the motor's interpolation serves the load",
         "MotorSensorType=3 LoadSensorType=1 SINCOS_fract=5 SINCOS_fract_LD=2", true, "SINCOS_fract_LD=5"},
        {"a second sensor puts position over the speed loop",
         "MotorSensorType=1 LoadSensorType=1 PositionControlType=0", false, "PositionControlType=1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto setup = dctest::VariantOf(c.changes);
        dcdrive::ApplyMotorSetupOK(*setup, c.bothAtStart);
        dctest::ExpectValues(*setup, c.expected, 0);
    }
}

TEST(MotorSetupRules, ZeroTransmissionIsOneRevolution) {
    auto setup = dctest::Variant({{"Motor_transmission", 0}, {"Load_transmission", 0.5}});
    EXPECT_TRUE(dcdrive::ApplyZeroTransmission(*setup, "motor_TRANSMISSION"));
    EXPECT_DOUBLE_EQ(Value(*setup, "Motor_transmission"), 6.283185307179586);
    EXPECT_FALSE(dcdrive::ApplyZeroTransmission(*setup, "Load_transmission"));
    EXPECT_EQ(Value(*setup, "Load_transmission"), 0.5);
    EXPECT_FALSE(dcdrive::ApplyZeroTransmission(*setup, "In"));
}

}  // namespace
