#include "TestSetup.h"
#include "conversions/Derived.h"
#include "conversions/Drivers.h"
#include "conversions/Feedback.h"

using namespace dcdrive;
using namespace dctest;

namespace {

// The sensor word with the temperature sensors, the digital reference's connector and the older drives' mark
// of an estimated speed (0x30); the newer drives keep the estimator in "ASR". Read back, the word gives the
// sensors and the connector of each one present, except that no sensor is coded as a motor tachogenerator and
// a load tachogenerator has no code.
TEST(Feedback, SensorWordGoldenValuesReadBack) {
    const struct {
        double motor, load, mc, lc, temperatures, reference, newEstimator, estimator, asr, word,
            estimatorBack, motorBack, loadBack;
    } cases[] = {
        {0, 0, 0, 0, 0, 0, 0, 0, 0, 0x1007, 0, 2, 0},      {3, 4, 1, 1, 0, 0, 0, 0, 0, 0x1C53, 0, 3, 4},
        {1, 0, 1, 0, 1, 1, 0, 0, 0, 0x9580, 0, 1, 0},      {0, 5, 0, 1, 0, 0, 0, 0, 0, 0x1405, 0, 0, 5},
        {5, 2, 0, 0, 0.9, 1.5, 0, 0, 0, 0x9068, 0, 5, 1},  {1, 0, 0, 0, 0, 0, 0, 1, 0, 0x1030, 1, 1, 0},
        {1, 3, 0, 0, 0, 0, 0, 1, 0, 0x1042, 0, 1, 3},      {3, 0, 0, 0, 0, 0, 0, 1, 0, 0x1002, 0, 3, 0},
        {1, 0, 0, 0, 0, 0, 1, 1, 0x8000, 0x1000, 1, 1, 0}, {1, 0, 0, 0, 0, 0, 1, 1, 0, 0x1000, 0, 1, 0},
        {2, 0, 0, 0, 0, 0, 1, 1, 0x8000, 0x100F, 0, 2, 0}, {0, 2, 0, 1, 0, 0, 0, 0, 0, 0x140F, 0, 2, 0},
        {4, 1, 1, 0, 0, 0, 0, 0, 0, 0x1858, 0, 4, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.motor << "/" << c.load);
        auto s = MakeSetup(
            "SCR=0xFFFF OSR isMotorTemperatureSensor isDriveTemperatureSensor DigitalReferenceConnector "
            "MotorSensorType LoadSensorType MotorSensorConnector LoadSensorConnector isSpeedEstimator ASR",
            {c.load != 0 ? 4096.0 : 0.0, c.temperatures, c.temperatures, c.reference, c.motor, c.load, c.mc,
             c.lc, c.estimator, c.asr});
        s->SetOption("newSpeedEstimator", c.newEstimator != 0 ? "1" : "0");
        EXPECT_EQ(WriteSensorConfiguration(*s), 1);
        EXPECT_EQ(ValueOf(*s, "SCR"), c.word);
        Assign(*s, "MotorSensorType=9 LoadSensorType=9 MotorSensorConnector=9 LoadSensorConnector=9");
        EXPECT_EQ(RunAll(*s, {ReadSensorTypes, ReadMotorSensorConnector, ReadLoadSensorConnector,
                              ReadDigitalReferenceConnector, ReadSpeedEstimatorFlag}),
                  5);
        ExpectEach(*s, "MotorSensorType LoadSensorType DigitalReferenceConnector isSpeedEstimator",
                   {c.motorBack, c.loadBack, std::trunc(c.reference) == 1 ? 1.0 : 0.0, c.estimatorBack});
        EXPECT_TRUE(c.motor == 0 || ValueOf(*s, "MotorSensorConnector") == c.mc);
        EXPECT_TRUE(c.load == 0 || ValueOf(*s, "LoadSensorConnector") == c.lc);
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
        SCOPED_TRACE(::testing::Message() << c.type << "/" << c.lines);
        auto s = MakeSetup(
            "LoadSensorType=0 Resolution=1e-6 SINCOS_fract=0 SINCOS_fract_LD=0 ELRES_FRACT=5 MECRESL=0 "
            "ENC2THL=0 MotorSensorType No_encoder_lines TransmissionType SSI_No_Bits_Revolution",
            {c.type, c.lines, c.transmission, c.bits});
        EXPECT_EQ(RunAll(*s, {WriteSinCosFraction, WriteEncoderResolution, WriteEncoderTurnScale}), 3);
        ExpectEach(*s, "ELRES_FRACT MECRESL ENC2THL", {c.fraction, c.mecresl, c.enc2thl});
        Assign(*s, "No_encoder_lines=7");
        EXPECT_EQ(ReadEncoderLines(*s), 1);
        EXPECT_EQ(ValueOf(*s, "No_encoder_lines"), c.linesBack);
        if (c.type != 3) continue;
        for (const char* n : {"SINCOS_fract", "SINCOS_fract_LD"})
            EXPECT_EQ(s->FindParameter(n)->GetMinInBaseUnit(), c.fraction) << n;
    }
}

// Every encoder's direction goes to its channel (connector 0: channel A, "COUNTINGDIR_MT"; connector 1:
// channel B, "COUNTINGDIR_LD") and reads back, unless both encoders share one channel: that channel counts
// forward and nothing reads back. A tachogenerator has no channel.
TEST(Feedback, CountingDirections) {
    const struct {
        double motor, load, mc, lc, reverseMT, reverseLD, channelA, channelB, backMT, backLD;
    } cases[] = {{1, 3, 1, 0, 1, 0, 0, 1, 1, 0},  // the motor on channel B
                 {1, 3, 0, 0, 1, 1, 0, 0, 0, 0},  // both on channel A
                 {2, 1, 0, 0, 1, 1, 1, 0, 0, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.motor << "/" << c.load);
        auto s = MakeSetup(
            "COUNTINGDIR_MT=5 COUNTINGDIR_LD=5 ReverseCounting_MT ReverseCounting_LD MotorSensorConnector "
            "LoadSensorConnector MotorSensorType LoadSensorType",
            {c.reverseMT, c.reverseLD, c.mc, c.lc, c.motor, c.load});
        ASSERT_EQ(RunAll(*s, {WriteMotorCountingDirection, WriteLoadCountingDirection}), 2);
        ExpectEach(*s, "COUNTINGDIR_MT COUNTINGDIR_LD", {c.channelA, c.channelB});
        ASSERT_EQ(RunAll(*s, {ReadMotorReverseCounting, ReadLoadReverseCounting}), 2);
        ExpectEach(*s, "ReverseCounting_MT ReverseCounting_LD", {c.backMT, c.backLD});
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
        SCOPED_TRACE(c.levelMT);
        auto s = MakeSetup(
            "QUAL=0 QUAL_ACT=0xFFFFFFFF QUAL_AQ2=0xFFFFFFFF QUAL_BCT=0x12 QUAL_BQ2=0x80000001 "
            "MotorSensorConnector LoadSensorConnector LoadSensorType isFilterEnc_MT FilterEncValue_MT "
            "isFilterEnc_LD FilterEncValue_LD",
            {c.mc, c.lc, c.loadType, c.onMT, c.levelMT, c.onLD, c.levelLD});
        EXPECT_EQ(WriteEncoderFilters(*s), 1);
        const auto word = [](unsigned w) { return static_cast<double>(w); };  // other bits kept
        ExpectEach(*s, "QUAL QUAL_ACT QUAL_AQ2 QUAL_BCT QUAL_BQ2",
                   {3, word(0xFF00FFFFu | (c.prescalerA << 16)), word((0xFFFFFFFFu & ~0xCF00u) | c.samplesA),
                    word(0x12u | (c.prescalerB << 16)), word(0x80000001u | c.samplesB)});
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
        SCOPED_TRACE(c.scr);
        auto s = MakeSetup(
            "isFilterEnc_MT=5 isFilterEnc_LD=5 QUAL_AQ2 QUAL_BQ2 SCR MotorSensorType LoadSensorType",
            {c.aq2, c.bq2, c.scr, c.motor, c.load});
        EXPECT_EQ(RunAll(*s, {ReadMotorEncoderFilterFlag, ReadLoadEncoderFilterFlag}), 2);
        ExpectEach(*s, "isFilterEnc_MT isFilterEnc_LD", {c.flagMT, c.flagLD});
    }
}

// A controller clock of 9 MHz makes the divided clocks exact: 9 MHz / (SSIBR + 1).
std::unique_ptr<CKX_Setup> SerialSetup(double readTime) {
    auto s = MakeSetup(
        "DSP2_freq=9e6 DSP_freq=6e7 CLPER=1 PWMPER=1500 AEI_TransferTime=0 AEI_GuardTime=0 AEI_ComputeTime=0 "
        "SSIBR=0 MotorSensorType=4 LoadSensorType=0 SPICLKMODE=9 SSI_freq_LD=0 AEI_ReadTime1Mhz",
        {readTime});
    s->AddParameter("SSI_freq", {}, KX_TYPE_UINT16);
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
        SCOPED_TRACE(::testing::Message() << c.motor << " SSIBR " << c.ssibr);
        auto s = SerialSetup(c.readTime);
        Assign(*s, "MotorSensorType LoadSensorType SSIBR", {c.motor, c.load, c.ssibr});
        EXPECT_EQ((c.load == 4 ? ReadLoadSerialFrequency : ReadSerialFrequency)(*s), 1);
        const double expected = c.frequency != 0 ? c.frequency : SerialMinimumFrequency(*s);
        EXPECT_GT(expected, c.frequency != 0 ? 0 : 2e6);  // the minimum lies above the nearest entry
        EXPECT_EQ(ValueOf(*s, c.load == 4 ? "SSI_freq_LD" : "SSI_freq"), std::round(expected));
        EXPECT_EQ(WriteSerialClockMode(*s), 1);
        EXPECT_EQ(ValueOf(*s, "SPICLKMODE"), c.mode);
    }
    auto s = SerialSetup(0);
    EXPECT_EQ(ReadSerialFrequency(*s), 1);
    EXPECT_EQ(s->FindParameter("SSI_freq")->GetType(), KX_TYPE_UINT32);  // one word cannot hold hertz
    s->Drive().ssi.modes.pop_back();
    EXPECT_EQ(ReadSerialFrequency(*s), 0);  // lists that do not pair up
}

// The serial read-out timing as the forward driver writes it, read in the current loop or in the speed loop.
TEST(Feedback, SerialRegistersThroughTheDrivers) {
    const struct {
        const char* onSpeedLoop;
        double pwmper, divider, period, compare;
    } cases[] = {{"@ReadSSIonSL=0", 1500, 0, 2999, 1500}, {"@ReadSSIonSL=1", 3000, 1, 59999, 59250}};
    for (const auto& c : cases) {
        // The forward driver writes "PWMPER" from the frequency.
        auto s = DefaultWith(
            std::string(c.onSpeedLoop) +
                " SSIBR=0 AEI_CLKDIV=0 AEI_PER=0 AEI_CMPTIME=0 SSIREV=0 SSI_isReverseCounting=1 PWM_freq",
            {3e7 / c.pwmper});
        ParametersToRegisters(*s);
        ExpectEach(*s, "SSIBR AEI_CLKDIV AEI_PER SSISENSE SSIREV", {29, c.divider, c.period, -1, 13});
        EXPECT_NEAR(ValueOf(*s, "AEI_CMPTIME"), c.compare, 1e-6);
    }
}

}  // namespace
