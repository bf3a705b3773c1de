#include <gtest/gtest.h>

#include <cmath>

#include "TestSetup.h"
#include "conversions/Derived.h"
#include "conversions/Drivers.h"
#include "conversions/Feedback.h"
#include "setups/DefaultSetup.h"

using namespace dcdrive;
using dctest::Force;
using dctest::MakeSetup;
using dctest::ValueOf;

namespace {

// A setup holding the named parameters (unbounded) with the values in order.
std::unique_ptr<CKX_Setup> With(std::initializer_list<const char*> names,
                                std::initializer_list<double> values) {
    auto setup = MakeSetup({});
    auto value = values.begin();
    for (const char* name : names) setup->AddParameter(name)->SetValueInBaseUnit(*value++);
    return setup;
}

std::unique_ptr<CKX_Setup> Sensors(double motor, double load, double mc, double lc, double temperatures = 0,
                                   double reference = 0) {
    return With(
        {"SCR", "OSR", "isMotorTemperatureSensor", "isDriveTemperatureSensor", "DigitalReferenceConnector",
         "MotorSensorType", "LoadSensorType", "MotorSensorConnector", "LoadSensorConnector"},
        {0xFFFF, load != 0 ? 4096.0 : 0.0, temperatures, temperatures, reference, motor, load, mc, lc});
}

// The sensor word with the temperature sensors, the digital reference's
// connector and the older drives' mark of an estimated speed (0x30); the
// newer drives keep the estimator in "ASR". Read back, the word gives the
// sensors and the connector of each one present, except that no sensor is
// coded as a motor tachogenerator and a load tachogenerator has no code.
TEST(Feedback, SensorWordGoldenValuesReadBack) {
    const struct {
        double motor, load, mc, lc, temperatures, reference;
        bool newEstimator;
        double estimator, asr, word, estimatorBack, motorBack, loadBack;
    } cases[] = {{0, 0, 0, 0, 0, 0, false, 0, 0, 0x1007, 0, 2, 0},
                 {3, 4, 1, 1, 0, 0, false, 0, 0, 0x1C53, 0, 3, 4},
                 {1, 0, 1, 0, 1, 1, false, 0, 0, 0x9580, 0, 1, 0},
                 {0, 5, 0, 1, 0, 0, false, 0, 0, 0x1405, 0, 0, 5},
                 {5, 2, 0, 0, 0.9, 1.5, false, 0, 0, 0x9068, 0, 5, 1},
                 {1, 0, 0, 0, 0, 0, false, 1, 0, 0x1030, 1, 1, 0},
                 {1, 3, 0, 0, 0, 0, false, 1, 0, 0x1042, 0, 1, 3},
                 {3, 0, 0, 0, 0, 0, false, 1, 0, 0x1002, 0, 3, 0},
                 {1, 0, 0, 0, 0, 0, true, 1, 0x8000, 0x1000, 1, 1, 0},
                 {1, 0, 0, 0, 0, 0, true, 1, 0, 0x1000, 0, 1, 0},
                 {2, 0, 0, 0, 0, 0, true, 1, 0x8000, 0x100F, 0, 2, 0},
                 {0, 2, 0, 1, 0, 0, false, 0, 0, 0x140F, 0, 2, 0},
                 {4, 1, 1, 0, 0, 0, false, 0, 0, 0x1858, 0, 4, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.motor << "/" << c.load);
        auto s = Sensors(c.motor, c.load, c.mc, c.lc, c.temperatures, c.reference);
        dctest::Add(*s, {{"isSpeedEstimator", c.estimator}, {"ASR", c.asr}});
        s->SetOption("newSpeedEstimator", c.newEstimator ? "1" : "0");
        EXPECT_EQ(WriteSensorConfiguration(*s), 1);
        EXPECT_EQ(ValueOf(*s, "SCR"), c.word);
        for (const char* n :
             {"MotorSensorType", "LoadSensorType", "MotorSensorConnector", "LoadSensorConnector"})
            Force(*s, n, 9);
        EXPECT_EQ(ReadSensorTypes(*s) + ReadMotorSensorConnector(*s) + ReadLoadSensorConnector(*s), 3);
        EXPECT_EQ(ReadDigitalReferenceConnector(*s) + ReadSpeedEstimatorFlag(*s), 2);
        EXPECT_EQ(ValueOf(*s, "MotorSensorType"), c.motorBack);
        EXPECT_EQ(ValueOf(*s, "LoadSensorType"), c.loadBack);
        EXPECT_TRUE(c.motor == 0 || ValueOf(*s, "MotorSensorConnector") == c.mc);
        EXPECT_TRUE(c.load == 0 || ValueOf(*s, "LoadSensorConnector") == c.lc);
        EXPECT_EQ(ValueOf(*s, "DigitalReferenceConnector"), std::trunc(c.reference) == 1 ? 1 : 0);
        EXPECT_EQ(ValueOf(*s, "isSpeedEstimator"), c.estimatorBack);
    }
}

TEST(Feedback, ResolutionRegisters) {
    const struct {
        double type, lines, transmission, bits, mecresl, enc2thl, fraction,
            linesBack;  // fraction 5: not written
    } cases[] = {{1, 1000, 0, 13, 4000, std::ldexp(1, 30) / 1000, 5, 1000},
                 {3, 2500, 1, 13, 10000, std::ldexp(1, 30) / 2500, 0, 2500},
                 {3, 100, 0, 13, 400, std::ldexp(1, 30) / 200, 1, 100},
                 {4, 1000, 0, 20, 65536, 65536, 5, 16384},
                 {5, 1000, 0, 13, 8192, std::ldexp(1, 19), 5, 2048},
                 {1, 1000, 2, 13, 1e-6, 1e-6 * std::ldexp(1, 32), 5, 1}};
    for (const auto& c : cases) {
        auto s = With({"MotorSensorType", "LoadSensorType", "No_encoder_lines", "TransmissionType",
                       "SSI_No_Bits_Revolution", "Resolution", "SINCOS_fract", "SINCOS_fract_LD",
                       "ELRES_FRACT", "MECRESL", "ENC2THL"},
                      {c.type, 0, c.lines, c.transmission, c.bits, 1e-6, 0, 0, 5, 0, 0});
        EXPECT_EQ(WriteSinCosFraction(*s) + WriteEncoderResolution(*s) + WriteEncoderTurnScale(*s), 3);
        EXPECT_EQ(ValueOf(*s, "ELRES_FRACT"), c.fraction) << c.type << "/" << c.lines;
        EXPECT_DOUBLE_EQ(ValueOf(*s, "MECRESL"), c.mecresl) << c.type << "/" << c.lines;
        EXPECT_DOUBLE_EQ(ValueOf(*s, "ENC2THL"), c.enc2thl) << c.type << "/" << c.lines;
        Force(*s, "No_encoder_lines", 7);
        EXPECT_EQ(ReadEncoderLines(*s), 1);
        EXPECT_EQ(ValueOf(*s, "No_encoder_lines"), c.linesBack);
        if (c.type != 3) continue;
        for (const char* n : {"SINCOS_fract", "SINCOS_fract_LD"})
            EXPECT_EQ(s->FindParameter(n)->GetMinInBaseUnit(), c.fraction) << n;
    }
    auto zero =
        MakeSetup({{"MotorSensorType", 1}, {"TransmissionType", 0}, {"No_encoder_lines", 0}, {"ENC2THL", 9}});
    EXPECT_EQ(WriteEncoderTurnScale(*zero), 0);
    EXPECT_EQ(ValueOf(*zero, "ENC2THL"), 9);
}

// Every encoder's direction goes to its channel (connector 0: channel A,
// "COUNTINGDIR_MT"; connector 1: channel B, "COUNTINGDIR_LD") and reads back,
// unless both encoders share one channel: that channel counts forward and
// nothing reads back. A tachogenerator has no channel.
TEST(Feedback, CountingDirections) {
    const struct {
        double motor, load, mc, lc, reverseMT, reverseLD, channelA, channelB, backMT, backLD;
    } cases[] = {{1, 3, 1, 0, 1, 0, 0, 1, 1, 0},  // the motor on channel B
                 {1, 3, 0, 0, 1, 1, 0, 0, 0, 0},  // both on channel A
                 {2, 1, 0, 0, 1, 1, 1, 0, 0, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.motor << "/" << c.load);
        auto s = With({"COUNTINGDIR_MT", "COUNTINGDIR_LD", "ReverseCounting_MT", "ReverseCounting_LD",
                       "MotorSensorConnector", "LoadSensorConnector", "MotorSensorType", "LoadSensorType"},
                      {5, 5, c.reverseMT, c.reverseLD, c.mc, c.lc, c.motor, c.load});
        ASSERT_EQ(WriteMotorCountingDirection(*s) + WriteLoadCountingDirection(*s), 2);
        EXPECT_EQ(ValueOf(*s, "COUNTINGDIR_MT"), c.channelA);
        EXPECT_EQ(ValueOf(*s, "COUNTINGDIR_LD"), c.channelB);
        ASSERT_EQ(ReadMotorReverseCounting(*s) + ReadLoadReverseCounting(*s), 2);
        EXPECT_EQ(ValueOf(*s, "ReverseCounting_MT"), c.backMT);
        EXPECT_EQ(ValueOf(*s, "ReverseCounting_LD"), c.backLD);
    }
}

TEST(Feedback, EncoderFilters) {
    const struct {
        double mc, lc, loadType, onMT, levelMT, onLD, levelLD;
        unsigned prescalerA, samplesA, prescalerB, samplesB;
    } cases[] = {{1, 0, 0, 1, 12, 0, 0, 0, 0, 6, 0x2A000}, {1, 0, 0, 1, 13, 0, 0, 0, 0, 0, 0},
                 {0, 1, 0, 1, 0, 0, 0, 0, 0x4500, 0, 0},   {0, 1, 0, 1, 3, 0, 0, 3, 0x4500, 0, 0},
                 {0, 0, 1, 1, 4, 1, 2, 1, 0x8A00, 0, 0},   {0, 1, 1, 1, 4, 1, 11, 2, 0x8A00, 11, 0x15000},
                 {0, 1, 3, 0, 4, 1, 4, 0, 0, 0, 0}};
    for (const auto& c : cases) {
        auto s = With({"QUAL", "isFilterEnc_MT", "isFilterEnc_LD", "FilterEncValue_MT", "FilterEncValue_LD",
                       "QUAL_ACT", "QUAL_AQ2", "QUAL_BCT", "QUAL_BQ2", "MotorSensorConnector",
                       "LoadSensorConnector", "LoadSensorType"},
                      {0, c.onMT, c.onLD, c.levelMT, c.levelLD, 4294967295.0, 4294967295.0, 0x12, 0x80000001,
                       c.mc, c.lc, c.loadType});
        EXPECT_EQ(WriteEncoderFilters(*s), 1);
        EXPECT_EQ(ValueOf(*s, "QUAL"), 3);
        EXPECT_EQ(ValueOf(*s, "QUAL_ACT"), 0xFF00FFFFu | (c.prescalerA << 16)) << c.levelMT;
        EXPECT_EQ(ValueOf(*s, "QUAL_AQ2"), (0xFFFFFFFFu & ~0xCF00u) | c.samplesA) << c.levelMT;
        EXPECT_EQ(ValueOf(*s, "QUAL_BCT"), 0x12u | (c.prescalerB << 16)) << c.levelMT;
        EXPECT_EQ(ValueOf(*s, "QUAL_BQ2"), 0x80000001u | c.samplesB) << c.levelMT;
    }
}

TEST(Feedback, EncoderFilterFlags) {
    const struct {
        double scr, motor, load, aq2, bq2, flagMT, flagLD;
    } cases[] = {{0x400, 1, 0, 0, 0x2A000, 1, 1},
                 {0x800, 1, 1, 0, 0x2A000, 1, 0},
                 {0x400, 1, 1, 0, 0x2A000, 0, 1},
                 {0, 1, 0, 0x4500, 0, 1, 1},
                 {0, 1, 0, 0x3000, 0xC0000, 0, 0}};
    for (const auto& c : cases) {
        auto s = With({"QUAL_AQ2", "QUAL_BQ2", "isFilterEnc_MT", "isFilterEnc_LD", "SCR", "MotorSensorType",
                       "LoadSensorType"},
                      {c.aq2, c.bq2, 5, 5, c.scr, c.motor, c.load});
        EXPECT_EQ(ReadMotorEncoderFilterFlag(*s) + ReadLoadEncoderFilterFlag(*s), 2);
        EXPECT_EQ(ValueOf(*s, "isFilterEnc_MT"), c.flagMT) << c.scr;
        EXPECT_EQ(ValueOf(*s, "isFilterEnc_LD"), c.flagLD) << c.scr;
    }
}

// A controller clock of 9 MHz makes the divided clocks exact: 9 MHz / (SSIBR + 1).
std::unique_ptr<CKX_Setup> SerialSetup(double readTime) {
    auto s = With(
        {"DSP2_freq", "DSP_freq", "CLPER", "PWMPER", "AEI_TransferTime", "AEI_GuardTime", "AEI_ComputeTime",
         "AEI_ReadTime1Mhz", "SSIBR", "MotorSensorType", "LoadSensorType", "SPICLKMODE"},
        {9e6, 6e7, 1, 1500, 0, 0, 0, readTime, 0, 4, 0, 9});
    s->AddParameter("SSI_freq", {}, KX_TYPE_UINT16);
    s->AddParameter("SSI_freq_LD");
    s->Drive().ssi = {{1000, 2000, 2500, 3000, 4000, 5000}, {10, 11, 12, 13, 14, 15}};
    s->Drive().biss = {{1000, 5000}, {20, 21}};
    s->Drive().ssiLD = {{1500}, {30}};
    return s;
}

// The divider reads back as the listed clock nearest to 9 MHz / (SSIBR + 1)
// (the lower on a tie, the first entry outside the list) but never below the
// serial minimum; the clock is written back as its mode code, 2 when unlisted.
TEST(Feedback, SerialClockAndMode) {
    const struct {
        // frequency 0: the serial minimum; a serial load has a single clock, whatever the divider
        double motor, load, ssibr, readTime, frequency, mode;
    } cases[] = {{4, 0, 2, 0, 3e6, 13}, {4, 0, 3, 0, 2e6, 11},  {4, 0, 4, 0, 2e6, 11},
                 {4, 0, 0, 0, 1e6, 10}, {4, 0, 9, 0, 1e6, 10},  {5, 0, 1, 0, 5e6, 21},
                 {4, 0, 4, 1e-4, 0, 2}, {1, 4, 9, 0, 1.5e6, 30}};
    for (const auto& c : cases) {
        auto s = SerialSetup(c.readTime);
        Force(*s, "MotorSensorType", c.motor);
        Force(*s, "LoadSensorType", c.load);
        Force(*s, "SSIBR", c.ssibr);
        const char* frequency = c.load == 4 ? "SSI_freq_LD" : "SSI_freq";
        EXPECT_EQ((c.load == 4 ? ReadLoadSerialFrequency : ReadSerialFrequency)(*s), 1);
        const double expected = c.frequency != 0 ? c.frequency : SerialMinimumFrequency(*s);
        EXPECT_GT(expected, c.frequency != 0 ? 0 : 2e6);  // the minimum lies above the nearest entry
        EXPECT_EQ(ValueOf(*s, frequency), std::round(expected)) << c.motor << " SSIBR " << c.ssibr;
        EXPECT_EQ(WriteSerialClockMode(*s), 1);
        EXPECT_EQ(ValueOf(*s, "SPICLKMODE"), c.mode) << c.motor << " SSIBR " << c.ssibr;
    }
    auto s = SerialSetup(0);
    EXPECT_EQ(ReadSerialFrequency(*s), 1);
    EXPECT_EQ(s->FindParameter("SSI_freq")->GetType(), KX_TYPE_UINT32);  // one word cannot hold hertz
    s->Drive().ssi.modes.pop_back();
    EXPECT_EQ(ReadSerialFrequency(*s), 0);  // lists that do not pair up
}

// The serial read-out timing as the forward driver writes it, read in the
// current loop or in the speed loop.
TEST(Feedback, SerialRegistersThroughTheDrivers) {
    const struct {
        bool onSpeedLoop;
        double pwmper, divider, period, compare;
    } cases[] = {{false, 1500, 0, 2999, 1500}, {true, 3000, 1, 59999, 59250}};
    for (const auto& c : cases) {
        auto s = LoadDefaultSetup();
        s->SetOption("ReadSSIonSL", c.onSpeedLoop ? "1" : "0");
        Force(*s, "PWM_freq", 3e7 / c.pwmper);  // the forward driver writes "PWMPER" from it
        for (const char* n : {"SSIBR", "AEI_CLKDIV", "AEI_PER", "AEI_CMPTIME", "SSIREV"}) Force(*s, n, 0);
        Force(*s, "SSI_isReverseCounting", 1);
        ParametersToRegisters(*s);
        EXPECT_EQ(ValueOf(*s, "SSIBR"), 29);
        EXPECT_EQ(ValueOf(*s, "AEI_CLKDIV"), c.divider);
        EXPECT_DOUBLE_EQ(ValueOf(*s, "AEI_PER"), c.period);
        EXPECT_NEAR(ValueOf(*s, "AEI_CMPTIME"), c.compare, 1e-6);
        EXPECT_EQ(ValueOf(*s, "SSISENSE"), -1);
        EXPECT_EQ(ValueOf(*s, "SSIREV"), 13);
    }
}

}  // namespace
