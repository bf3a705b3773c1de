#include "TestSetup.h"
#include "conversions/Conventions.h"
#include "conversions/Io.h"

using namespace dcdrive;
using namespace dctest;

namespace {

constexpr double kAdc12 = 65520.0;  // 12-bit converter, left-aligned in 16 bits

// A linear load whose encoder gives `scale` counts per metre (negative: reversed).
std::unique_ptr<CKX_Setup> ScaledSetup(double scale) {
    return MakeSetup("LoadSensorType=1 TransmissionType=1 Resolution_LD", {1.0 / scale});
}

double Min(const CKX_Setup& setup, const char* name) { return setup.FindParameter(name)->GetMinInBaseUnit(); }
double Max(const CKX_Setup& setup, const char* name) { return setup.FindParameter(name)->GetMaxInBaseUnit(); }

// The software limits and the position range in counts, whatever the counting direction. The range's
// registers exclude one end: writing takes a count off the end of larger magnitude (the upper one on a tie)
// and reading adds it back to the end of larger magnitude, so that a tie comes back a count lower.
TEST(Io, PositionLimitsFollowTheCountingDirection) {
    const char* users = "Negative_SWLS Positive_SWLS PosRange_Minimum PosRange_Maximum";
    const struct {
        double scale, enabled, min, max, negativeLimit, positiveLimit, minRange, maxRange, backMin, backMax;
    } cases[] = {
        {1000, 1, -10, 20, -10000, 20000, -10000, 19999, -10, 20},
        {-1000, 1, -10, 20, -20000, 10000, -19999, 10000, -10, 20},
        {1000, 1, -5, 5, -5000, 5000, -5000, 4999, -5.001, 4.999},
        {1000, 1, -5, -3, -5000, -3000, -4999, -3000, -5, -3},
        {1000, 0, -3, 5, -3000, 5000, 0, 0, 0, 0.001},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.scale << " [" << c.min << ", " << c.max << "]");
        auto setup = ScaledSetup(c.scale);
        Assign(*setup, "SWNEGLS=0 SWPOSLS=0 MINPOSRANGE=7 MAXPOSRANGE=7 isPosRange", {c.enabled});
        Assign(*setup, users, {c.min, c.max, c.min, c.max});
        EXPECT_EQ(RunAll(*setup, {WriteSoftwareLimitRegisters, WritePositionRangeRegisters}), 2);
        ExpectEach(*setup, "SWNEGLS SWPOSLS MINPOSRANGE MAXPOSRANGE",
                   {c.negativeLimit, c.positiveLimit, c.minRange, c.maxRange});
        Assign(*setup, "Negative_SWLS=0 Positive_SWLS=0 PosRange_Minimum=0 PosRange_Maximum=0");
        EXPECT_EQ(RunAll(*setup, {ReadSoftwareLimits, ReadPositionRange}), 2);
        ExpectEach(*setup, users, {c.min, c.max, c.backMin, c.backMax});
        EXPECT_DOUBLE_EQ(Min(*setup, "Positive_SWLS"), -2147483648.0 / 1000);
        EXPECT_DOUBLE_EQ(Max(*setup, "Negative_SWLS"), 2147483647.0 / 1000);
    }
}

// The analogue input's scaling needs the "CADIN" variable as well as the parameter.
TEST(Io, AnalogueReferenceFlagNeedsTheInputScaling) {
    auto setup = MakeSetup("ACR=0x40 isAnalogueReference=0 CADIN=0");
    EXPECT_EQ(ReadAnalogueReferenceFlag(*setup), 1);
    EXPECT_EQ(Max(*setup, "isAnalogueReference"), 0);  // no "CADIN" variable
    EXPECT_EQ(ValueOf(*setup, "isAnalogueReference"), 0);
}

// The older band's widest fits on both sides of the point.
TEST(Io, DeadBandPointAndRange) {
    const struct {
        double range, point, width, level, widthLevel, widest;
    } cases[] = {
        {20, 0, 2, kAdc12 / 2, kAdc12 / 10, 10},  // a bipolar input counts from -10 V
        {20, -10, 0, 0, 0, 0},
        {10, 2, 1, kAdc12 / 5, kAdc12 / 10, 1.3},  // 0 to 3.3 V
        {5, 2.5, 1, kAdc12 / 2, kAdc12 / 5, 2.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.range);
        auto setup = MakeSetup("LEVEL_AD5=1 E_LEVEL_AD5=1 AnalogueInputsRange DeadBand_Point DeadBand_Range",
                               {c.range, c.point, c.width});
        EXPECT_EQ(RunAll(*setup, {WriteDeadBandPoint, WriteDeadBandRange}), 2);
        ExpectEach(*setup, "LEVEL_AD5 E_LEVEL_AD5", {c.level, c.widthLevel});
        Assign(*setup, "DeadBand_Point=1.5 DeadBand_Range=0.5");
        EXPECT_EQ(RunAll(*setup, {ReadDeadBandPoint, ReadDeadBandRange}), 2);
        ExpectEach(*setup, "DeadBand_Point DeadBand_Range", {c.point, c.width}, 1e-12);
        EXPECT_DOUBLE_EQ(Max(*setup, "DeadBand_Range"), c.widest);
    }
}

// Positions in metres, so that their internal unit is the encoder count. The
// limits are refreshed before the value is read.
TEST(Io, AnalogueReferenceScalingRoundTrip) {
    const struct {
        double scale, min, max, gain, shift;
    } cases[] = {
        {1000, -10, 10, 20000 * 32768 / kAdc12, 0},
        {1000, -32.767, 32.767, 65534 * 32768 / kAdc12 / 2, 1},
        {-1000, -32.767, 32.767, -65534 * 32768 / kAdc12 / 2, 1},  // reversed: shifted by the magnitude
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scale);
        PluginScaling internalUnits;
        auto setup = ScaledSetup(c.scale);
        Assign(*setup, "ControlMode=0 CADIN=0 SFTADIN=0 AD5OFF=0");
        setup->AddParameter("POS_min", "m")->SetValueInBaseUnit(c.min);
        setup->AddParameter("POS_max", "m")->SetValueInBaseUnit(c.max);
        EXPECT_EQ(RunAll(*setup, {WriteAnalogueReferenceGain, WriteAnalogueReferenceShift,
                                  WriteAnalogueReferenceOffset}),
                  3);
        ExpectEach(*setup, "CADIN SFTADIN AD5OFF", {c.gain, c.shift, c.min * 1000}, 1e-9);
        Assign(*setup, "POS_min=0 POS_max=0");
        EXPECT_EQ(RunAll(*setup, {ReadPositionReferenceMin, ReadPositionReferenceMax}), 2);
        ExpectEach(*setup, "POS_min POS_max", {c.min, c.max}, 1e-9);
        EXPECT_NEAR(Max(*setup, "POS_max"), 32.767, 1e-12);
        EXPECT_NEAR(Min(*setup, "POS_max"), c.min, 1e-9);
    }
}

}  // namespace
