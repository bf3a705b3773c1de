// What the motor setup editor decides from the setup alone.
#include "EditorTest.h"
#include "editors/MotorSetupRules.h"

namespace {

using namespace dctest;

// One control of each group the rules show or enable together. The limit switch
// warning shows for a negative transmission unless the drive handles one itself.
TEST(MotorSetupRules, WhatEachSensorAndTransmissionShows) {
    const struct {
        const char *changes, *expected;
    } cases[] = {
        {"MotorSensorType=1 LoadSensorType=0",
         "^1202 _1217 ^1179 _1182 _1200 _3433 ^3358 _3361 ^3360 -3359 _1189"},
        {"MotorSensorType=2", "^1202 _1187 ^1182 _3358 _3360"},
        {"MotorSensorType=3", "^1179 ^1200"},
        {"MotorSensorType=4 SSI_isMultiTurn=0", "_1179 ^3433 ^3452 -3438"},
        {"MotorSensorType=5 SSI_isMultiTurn=1", "+3438"},
        {"LoadSensorType=1 TransmissionType=0", "^1217 ^1180 ^1189 _1205 ^3361 ^3366 -3365 ^3365"},
        {"LoadSensorType=1 TransmissionType=1", "_1180 ^1205 ^1189"},
        {"LoadSensorType=3 TransmissionType=0", "^1203 ^3355 _3357"},
        {"LoadSensorType=3 TransmissionType=1", "_3355 ^3357"},
        {"LoadSensorType=4 TransmissionType=0 SSI_isMultiTurn_LD=1", "^3453 ^3466 _3473 +3458 _1189"},
        {"LoadSensorType=5 TransmissionType=1 SSI_isMultiTurn_LD=0", "_3453 ^3466 ^3473 -3458"},
        {"isMotorInertiaUnknown=1 isMotorTemperatureSensor=1 isFilterEnc_MT=1 isMotorBrake=1",
         "-1172 +1184 +3359 ^3359 +3382 +3390"},
        {"isMotorInertiaUnknown=0 isMotorTemperatureSensor=0 isMotorBrake=0", "+1172 -1184 -3382 -3392"},
        {"isFilterEnc_MT=gone ReverseCounting_LD=gone LoadSensorType=1",
         "_3360 -3359 _3359 _3366 -3365 _3365 _3358 _3361"},
        {"@hasNegTransmission=0 Motor_transmission=-1 Load_transmission=-1", "_3414"},
        {"@hasNegTransmission=1 Motor_transmission=-6.28", "_3414"},
        {"@hasNegTransmission= Motor_transmission=-6.28", "^3414"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.changes);
        ExpectStates(Apply(dcdrive::MotorSetupDisplayRules(*VariantOf(c.changes))), c.expected);
    }
}

TEST(MotorSetupRules, BrakeTextFollowsTheOutputStage) {
    // The default drive: ports 0 and 1 source, 2 sink, 3 sink with an inverted level.
    const std::pair<int, const char*> cases[] = {
        {0, dcdrive::kBrakeSourceText}, {2, dcdrive::kBrakeSinkText}, {3, dcdrive::kBrakeSourceText}};
    for (const auto& [port, tail] : cases)
        EXPECT_EQ(dcdrive::BrakeText(*VariantOf("MotorBrake_output=" + std::to_string(port))),
                  std::string(dcdrive::kBrakeTextHead) + tail)
            << port;
}

std::string Texts(const std::vector<kx::ListEntry>& items) {
    std::string texts;
    for (const kx::ListEntry& item : items)
        texts += (texts.empty() ? "" : " ") + item.text + "=" + std::to_string(item.data);
    return texts;
}

// The serial encoder clocks within the limits of their parameter (the default drive offers SSI at 1, 2, 2.5,
// 3, 4, 5 MHz and BiSS up to 10 MHz), and the interpolation levels of a sine/cosine encoder, up to 10 bits
// per electrical period (500 lines need none, 16 lines at least 2^4), and their counts.
TEST(MotorSetupRules, ListsOfClocksAndInterpolationLevelsAndTheirCounts) {
    const struct {
        const char* changes;
        bool load, clocks;
        const char* items;
    } cases[] = {
        {"MotorSensorType=4 SSI_freq=1000001:3e6", false, true, "2000 kHz=2000 2500 kHz=2500 3000 kHz=3000"},
        {"MotorSensorType=5 SSI_freq=5e6:1e7", false, true, "5000 kHz=5000 7500 kHz=7500 10000 kHz=10000"},
        {"LoadSensorType=5 SSI_freq_LD=7.5e6:7.5e6", true, true, "7500 kHz=7500"},
        {"LoadSensorType=4 SSI_freq_LD=6e6:1e7", true, true, ""},
        {"MotorSensorType=3 No_encoder_lines=500", false, false,
         "1=0 2=1 4=2 8=3 16=4 32=5 64=6 128=7 256=8"},
        {"MotorSensorType=3 No_encoder_lines=16", false, false, "16=4 32=5 64=6 128=7 256=8"},
    };
    for (const auto& c : cases) {
        auto setup = VariantOf(c.changes);
        const dcdrive::SerialFrequencyList clocks = dcdrive::SerialFrequencyItems(*setup, c.load);
        EXPECT_TRUE(clocks.complete);
        EXPECT_EQ(Texts(c.clocks ? clocks.items : dcdrive::InterpolationItems(*setup, c.load)), c.items)
            << c.changes;
    }
    // Lists of unequal length offer nothing and say nothing.
    auto setup = VariantOf("MotorSensorType=5");
    setup->Drive().biss.modes.pop_back();
    const dcdrive::SerialFrequencyList broken = dcdrive::SerialFrequencyItems(*setup, false);
    EXPECT_FALSE(broken.complete);
    EXPECT_TRUE(broken.items.empty());
    // The counts derived from the interpolation level (its whole part).
    setup = VariantOf(
        "No_encoder_lines=500 SINCOS_fract=3.7 No_encoder_lines_LD=1024 SINCOS_fract_LD=2 "
        "Resolution_LD=1e-6");
    EXPECT_EQ(dcdrive::EquivCountsPerRev(*setup), 4000);
    EXPECT_EQ(dcdrive::EquivCountsPerRevLoad(*setup), 4096);
    EXPECT_DOUBLE_EQ(dcdrive::ResolutionWithInterpolationLoad(*setup), 0.25e-6);
    EXPECT_TRUE(dcdrive::HasMotorDerivedCounts(*setup));
    setup->RemoveParameter("SINCOS_fract");
    EXPECT_FALSE(dcdrive::HasMotorDerivedCounts(*setup));
}

// One row per handler: "OK" what OK writes ("OK both": both sensors there at opening); "choice" the
// transmission an absolute load encoder without a linear resolution leaves (returned: "Rotary to linear"
// offered, -1: nothing to decide); "bits" revolution plus turns bits within "SSIMaxBits" (else 31), of a
// linear load encoder only the revolution bits; other names zero transmission.
TEST(MotorSetupRules, HandlersKeepTheSetupConsistent) {
    const struct {
        const char *handler, *before;
        int returned;
        const char* after;
    } cases[] = {
        // a tachogenerator alone leaves position control for speed control with an analogue reference
        {"OK", "MotorSensorType=2 LoadSensorType=0 ExternalReference=1 isAnalogueReference=0 isSWLS=1", 0,
         "ControlMode=1 isAnalogueReference=1 isSWLS=0"},
        {"OK", "isMotorTemperatureSensor=0 isMotorOverTemp=1", 0, "isMotorOverTemp=0"},
        {"OK", "ControlMode=1 isFreezeControl=1", 0, "isFreezeControl=0"},
        {"OK", "MotorSensorType=1 LoadSensorType=1 PositionControlType=0", 0, "PositionControlType=1"},
        {"OK both",
         "MotorSensorType=3 LoadSensorType=1 SINCOS_fract=5 SINCOS_fract_LD=2 PositionControlType=0", 0,
         "SINCOS_fract_LD=5 PositionControlType=0"},
        {"choice", "LoadSensorType=5 TransmissionType=0 SSI_Resolution_LD=gone", 0, "TransmissionType=0"},
        {"choice", "LoadSensorType=1 TransmissionType=1 SSI_Resolution_LD=gone", 1, "TransmissionType=1"},
        {"choice", "LoadSensorType=4 TransmissionType=1 SSI_Resolution_LD=1e-6", -1, "TransmissionType=1"},
        {"bits", "SSI_No_Bits_Revolution=20 SSI_No_Bits_Turns=16", 1,
         "SSI_No_Bits_Revolution=20 SSI_No_Bits_Turns=11"},
        {"bits", "@SSIMaxBits= SSI_No_Bits_Revolution=40 SSI_No_Bits_Turns=5", 1,
         "SSI_No_Bits_Revolution=31 SSI_No_Bits_Turns=0"},
        {"bits", "SSI_No_Bits_Revolution=13 SSI_No_Bits_Turns=12", 0,
         "SSI_No_Bits_Revolution=13 SSI_No_Bits_Turns=12"},
        {"bits", "@SSIMaxBits=24 SSI_No_Bits_Revolution=20 SSI_No_Bits_Turns=16", 1,
         "SSI_No_Bits_Revolution=20 SSI_No_Bits_Turns=4"},
        {"load bits", "SSI_No_Bits_Revolution_LD=40 SSI_No_Bits_Turns_LD=5", 1,
         "SSI_No_Bits_Revolution_LD=31 SSI_No_Bits_Turns_LD=0"},
        {"load bits", "TransmissionType=1 SSI_No_Bits_Revolution_LD=40 SSI_No_Bits_Turns_LD=5", 1,
         "SSI_No_Bits_Revolution_LD=31 SSI_No_Bits_Turns_LD=5"},
        {"load bits", "TransmissionType=1 SSI_No_Bits_Revolution_LD=20 SSI_No_Bits_Turns_LD=16", 0,
         "SSI_No_Bits_Revolution_LD=20 SSI_No_Bits_Turns_LD=16"},
        {"motor_TRANSMISSION", "Motor_transmission=0", 1, "Motor_transmission=6.283185307179586"},
        {"Load_transmission", "Load_transmission=0.5", 0, "Load_transmission=0.5"},
        {"In", "", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.handler) + " after " + c.before);
        auto setup = VariantOf(c.before);
        const std::string handler = c.handler;
        int returned = 0;
        if (handler.starts_with("OK"))
            dcdrive::ApplyMotorSetupOK(*setup, handler == "OK both");
        else if (handler == "choice")
            returned = dcdrive::UpdateTransmissionTypeChoice(*setup);
        else if (handler.ends_with("bits"))
            returned = handler == "bits" ? dcdrive::LimitSsiBits(*setup) : dcdrive::LimitLoadSsiBits(*setup);
        else
            returned = dcdrive::ApplyZeroTransmission(*setup, c.handler);
        EXPECT_EQ(returned, c.returned);
        ExpectValues(*setup, c.after, 1e-12);
    }
}

}  // namespace
