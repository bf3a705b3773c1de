#include <gtest/gtest.h>

#include <cmath>

#include "DriveTestSupport.h"
#include "conversions/Derived.h"

using namespace vdrive;

namespace {

constexpr const char* kCurrentTest = "Current_Controller_Tuning_Test";

using drivetest::DriveFor;
using drivetest::Get;
using drivetest::Set;
using drivetest::SymbolOf;

// The current test as the dialog runs it: the logger armed with 100 points
// of the fast loop, every sample, the test and protection currents in counts.
void RunCurrentTest(VirtualDrive& drive, const CKX_Setup& setup, double amps, double protection) {
    const double scale = dcdrive::CurrentScale(setup);
    drivetest::ArmLogger(
        drive,
        {SymbolOf(kCurrentTest, "Current_Reference"), SymbolOf(kCurrentTest, "Motor_Current"),
         SymbolOf(kCurrentTest, "Voltage_Reference")},
        100, true);
    Set(drive, SymbolOf(kCurrentTest, "In1"), static_cast<std::int16_t>(amps * scale));
    Set(drive, SymbolOf(kCurrentTest, "Imax_Prot_Test"), static_cast<std::int16_t>(protection * scale));
    drive.SetBlocked(true);
    ASSERT_TRUE(drive.StartProgram(kCurrentTest)) << drive.LastError();
    drive.AdvanceTo(drive.Now() + 0.05);
}

// End to end: the current loop tuned at a pass band and damping, the current
// test run with the logger, and the logged motor current against the
// designed continuous loop of R, L and the tuned PI gains, zero included.
TEST(Drive, CurrentTestFollowsTheDesignedLoop) {
    struct Case {
        double band, damping;
    };
    for (const Case c : {Case{2000, 0.5}, Case{8000, 0.8}}) {
        const auto setup = drivetest::TunedSetup({.currentBand = c.band, .currentDamping = c.damping});
        auto drive = DriveFor(*setup);
        const double amps = 1.6;
        RunCurrentTest(*drive, *setup, amps, 9.0);

        EXPECT_FALSE(drive->AxisOn());
        EXPECT_TRUE(drive->GetStatus().program.empty());
        EXPECT_EQ(Get(*drive, SymbolOf(kCurrentTest, "test_flag")), 1);
        EXPECT_EQ(Get(*drive, SymbolOf(kCurrentTest, "STARTED")), 1);
        const auto& points = drive->Logged();
        ASSERT_EQ(points.size(), 100u);

        const double r = setup->GetParameterValueInBaseUnit("R");
        const double l = setup->GetParameterValueInBaseUnit("L");
        const double tc = dcdrive::CurrentLoopPeriod(*setup);
        const double scale = dcdrive::VoltageCommandScale(*setup) / dcdrive::CurrentScale(*setup);
        const double kp = setup->GetParameterValueInBaseUnit("Kp_C_scl") / scale;
        const double ki = setup->GetParameterValueInBaseUnit("Ki_C_scl") / scale / tc;
        // The closed loop (Kp s + Ki) / (L s² + (R + Kp) s + Ki) from the first
        // sample of the step on, one fast-loop period per point.
        const auto unit = drivetest::Respond({kp / l, ki / l}, {1.0, (r + kp) / l, ki / l},
                                             std::vector<double>(points.size(), 1.0), tc);
        const double step = static_cast<double>(points.back().values[0]);
        double stepTime = -1.0;
        std::vector<double> current, designed;
        for (const LoggedPoint& p : points) {
            if (stepTime < 0.0 && p.values[0] != 0) stepTime = p.time;
            current.push_back(static_cast<double>(p.values[1]));
            designed.push_back(
                stepTime < 0.0
                    ? 0.0
                    : step * unit[static_cast<std::size_t>(std::llround((p.time - stepTime) / tc))]);
        }
        ASSERT_GT(stepTime, 0.0) << "the step comes after the logger started";
        const double rms = drivetest::Nrms(current, designed, step);
        EXPECT_LT(rms, 0.10) << "band " << c.band << " damping " << c.damping;
        EXPECT_NEAR(static_cast<double>(points.back().values[1]), step, 0.02 * step);
    }
}

// The supply detection finds the true supply within one converter count,
// whatever the setup's "Vdc" says, and ends with the axis off.
TEST(Drive, VdcDetectionMeasuresTheTrueSupply) {
    const auto setup = dcdrive::LoadDefaultSetup();
    for (const double supply : {24.3, 61.7}) {
        Plant plant = drivetest::DefaultPlant();
        plant.supplyVoltage = supply;
        auto drive = DriveFor(*setup, plant);
        ASSERT_TRUE(drive->StartProgram("VDC_Detection_Test"));
        drive->AdvanceTo(0.002);
        EXPECT_EQ(Get(*drive, SymbolOf("VDC_Detection_Test", "STARTED")), 1);
        EXPECT_TRUE(drive->AxisOn());
        drive->AdvanceTo(0.2);
        EXPECT_FALSE(drive->AxisOn());
        const double expected = supply * dcdrive::AdcMax(*setup) / 80.0;
        const auto measured = static_cast<double>(Get(*drive, SymbolOf("VDC_Detection_Test", "var_u2")));
        EXPECT_NEAR(measured, expected, 1.0) << supply;
    }
}

// "AD5" reads the reference input: the top of the 20 V input at 0xFFC0,
// beyond the bottom clipped to 0.
TEST(Drive, AnalogueReferenceReading) {
    const auto setup = dcdrive::LoadDefaultSetup();
    auto drive = DriveFor(*setup);
    ASSERT_TRUE(drive->StartProgram("Analogue_Reference_Test"));
    struct Case {
        double volts;
        std::int64_t ad5;
    };
    double t = 0.0;
    for (const Case c : {Case{10.0, 65472}, Case{-12.0, 0}}) {
        drive->SetAnalogueInput(c.volts);
        drive->AdvanceTo(t += 0.02);
        EXPECT_EQ(Get(*drive, SymbolOf("Analogue_Reference_Test", "AD5")), c.ad5) << c.volts;
    }
    EXPECT_EQ(drive->GetStatus().program, "Analogue_Reference_Test") << "runs until stopped";
    drive->Stop();
    EXPECT_TRUE(drive->GetStatus().program.empty());
}

// A hand turn of one revolution counts 4 × lines for an incremental encoder
// (its sign by the wiring and the counting direction) and 2^bits for an
// absolute one; writing 1 to "var_i2" ends the connection test. The logger
// of the slow loop, every second period, records the turn: points 2 × "SLPER"
// PWM periods apart.
TEST(Drive, EncoderCountsOfAHandTurn) {
    struct Case {
        int motorSensor;
        int countingReversed;
        bool wiringReversed;
        const char* program;
        std::int64_t counts;
    };
    const Case cases[] = {
        {1, 1, false, "Encoder_Connection_Test", -2000},
        {1, 0, true, "Encoder_Connection_Test", -2000},
        {1, 1, true, "Encoder_Connection_Test", 2000},
        {4, 0, false, "SSI_Encoder_Connection_Test", 8192},
        {5, 0, false, "SSI_Encoder_Connection_Test", 8192},
    };
    for (const Case& c : cases) {
        auto setup = dcdrive::LoadDefaultSetup();
        drivetest::SetValue(*setup, "MotorSensorType", c.motorSensor);
        drivetest::SetValue(*setup, "ReverseCounting_MT", c.countingReversed);
        dcdrive::ParametersToRegisters(*setup);
        Plant plant = drivetest::DefaultPlant();
        plant.encoder.reversed = c.wiringReversed;
        auto drive = DriveFor(*setup, plant);
        drive->Reset();
        drive->ArmLogger(
            {.points = 10, .fastLoop = false, .every = 2, .columns = {SymbolOf(c.program, "APOS_MT")}});
        ASSERT_TRUE(drive->StartProgram(c.program));
        drive->TurnShaft(false, 2.0 * std::numbers::pi, 0.1);
        drive->AdvanceTo(0.05);
        const std::int64_t half = Get(*drive, SymbolOf(c.program, "APOS_MT"));
        EXPECT_NEAR(static_cast<double>(half), c.counts / 2.0, 2.0) << c.motorSensor;
        drive->AdvanceTo(0.2);
        EXPECT_EQ(Get(*drive, SymbolOf(c.program, "APOS_MT")), c.counts)
            << c.motorSensor << " " << c.countingReversed;
        EXPECT_EQ(drive->GetStatus().program, c.program);
        const auto& points = drive->Logged();
        ASSERT_EQ(points.size(), 10u);
        for (std::size_t i = 0; i < points.size(); ++i)
            EXPECT_NEAR(points[i].time, 2.0 * dcdrive::SpeedLoopPeriod(*setup) * i, 1e-12);
        EXPECT_EQ(points.back().values[0] > points.front().values[0], c.counts > 0);
        Set(*drive, SymbolOf(c.program, "var_i2"), 1);
        drive->AdvanceTo(0.21);
        EXPECT_TRUE(drive->GetStatus().program.empty());
        EXPECT_FALSE(drive->AxisOn());
    }
}

}  // namespace
