// The position controller tuning test on real widgets, answered by dialog
// scripts in virtual time, against the virtual drive: the tuned position
// loop over the speed loop and over the current loop against their design,
// the faults' messages, a multi-cycle run and the plot's commands.
#include "DialogTestSupport.h"
#include "conversions/Derived.h"
#include "tests/TestPositionTuning.h"
#include "tests/TestRules.h"

namespace {

class PositionTuningDialog : public dctest::DialogTest {
protected:
    // The designed cascade on the plant's inertia, with the gains the setup
    // holds: over the speed loop a PI gives the speed reference of the speed
    // PI; over the current loop a PID (derivative of the error) gives the
    // current. The logged load position follows it, driven by the logged
    // target position.
    void ExpectFollowsDesign(bool overSpeedLoop) {
        const double ts = dcdrive::SpeedLoopPeriod(*m_setup), gain = PlantTorqueConstant() / PlantInertia();
        const double position = std::fabs(dcdrive::MotorPositionScale(*m_setup));
        const double speed = std::fabs(dcdrive::MotorSpeedScale(*m_setup));
        const double current = dcdrive::CurrentScale(*m_setup);
        dctest::Loop design;
        if (overSpeedLoop) {
            const double s = current / speed, p = speed / position;
            const double kps = Base("Kp_S_scl") / s, kis = Base("Ki_S_scl") / (s * ts);
            const double kpp = Base("Kp_P_scl") / p, kip = Base("Ki_P_scl") / (p * ts);
            // x: position, speed, integral of the position error, of the speed error.
            design = [=](const std::vector<double>& x, double r, double, std::vector<double>& dx) {
                const double e = kpp * (r - x[0]) + kip * x[2] - x[1];
                dx = {x[1], gain * (kps * e + kis * x[3]), r - x[0], e};
            };
        } else {
            const double c = current / position;
            const double kp = Base("Kp_P_scl") / c, ki = Base("Ki_P_scl") / (c * ts),
                         kd = Base("Kd_P_scl") * ts / c;
            // x: position, speed, integral of the position error.
            design = [=](const std::vector<double>& x, double r, double dr, std::vector<double>& dx) {
                dx = {x[1], gain * (kp * (r - x[0]) + ki * x[2] + kd * (dr - x[1])), r - x[0]};
            };
        }
        const kx::PlotRecord record = Saved("PositionTuning");
        const auto& reference = dctest::Column(record, "Target_Position");
        const auto& measured = dctest::Column(record, "Load_Position");
        ASSERT_GT(measured.size(), 200u);
        // The inner loop's signal is logged beside the positions.
        EXPECT_NO_THROW(dctest::Column(record, overSpeedLoop ? "Load_Speed" : "Motor_Current"));
        const double nrms = dctest::NrmsToDesign(overSpeedLoop ? 4 : 3, design,
                                                 dctest::Column(record, "Time"), reference, measured);
        std::printf("position test over the %s loop: NRMS %.2f %%\n", overSpeedLoop ? "speed" : "current",
                    100 * nrms);
        EXPECT_LT(nrms, 0.10);
    }
};

// Over the speed loop, opened from the drive setup editor and tuned at a
// pass band.
TEST_F(PositionTuningDialog, TunedOverTheSpeedLoopFollowsItsDesign) {
    InstallDrive();
    EXPECT_HELD(RunDriveSetup(
        "click 3198\nexpect \"Position Controller Tuning Test\"\nshot position-test-parameters\n"
        "tab 1\nunit 1380 rad/s\nset 1379 40\nclick 1390\nclick 10000\nwait 3\nassert 10004 text \"Test "
        "passed\"\n"
        "shot position-test-result\nclick 1372\nclick 1\nexpect \"Drive Setup\"\nclick 2\n"));
    EXPECT_DOUBLE_EQ(Base("PB_P"), 40.0);
    ExpectFollowsDesign(true);
}

// Directly over the current loop (a PID on the inertia); the test's current
// limit goes into the setup.
TEST_F(PositionTuningDialog, TunedOverTheCurrentLoopFollowsItsDesign) {
    // One turn: the following error of the ramps stays inside the drive's
    // position error limit.
    m_setup = dctest::Variant({{"PositionControlType", 0}, {"filter_D", 1}, {"TestPosition", 2 * M_PI}});
    // The registers follow, as the drive setup editor makes them follow
    // before it opens the test.
    dcdrive::RunBothDrivers(*m_setup);
    InstallDrive();
    EXPECT_HELD(Run<CTestPositionTuning>(
        "click 3528\ntab 1\nunit 1380 rad/s\nset 1379 30\nclick 1390\nclick 10000\nwait 3\n"
        "assert 10004 text \"Test passed\"\nclick 1372\nclick 1\n"));
    ExpectFollowsDesign(false);
    EXPECT_DOUBLE_EQ(Base("IlimPS"), Base("TestLimitCurrent"));
}

// A multi-cycle run goes on until Stop; the test's current limit goes into
// the setup at Start and stays although the dialog is cancelled. After the
// run the plot's menu saves the picture as a vector file and the drawn data
// as text, in the plot folder under the test's name.
TEST_F(PositionTuningDialog, MultiCycleRunAndThePlotsCommands) {
    m_setup = dctest::Variant({{"TestLimitCurrent", 6.5}});
    ASSERT_NE(Base("IlimPS"), 6.5);
    InstallDrive();
    EXPECT_HELD(Run<CTestPositionTuning>(
        "click 1332\ntab 1\nclick 10000\nwait 4\nassert 10000 text \"Stop\"\nclick 10000\n"
        "wait 2\nassert 10004 text \"Test passed\"\nmenu 1361 \"Save as Vector Picture\"\n"
        "menu 1361 \"Export as Text\"\nclick 2\n"));
    EXPECT_DOUBLE_EQ(Base("IlimPS"), 6.5);
    EXPECT_TRUE(dctest::fs::exists(m_plots / "PositionTuning.pdf"));
    EXPECT_GT(dctest::Column(Saved("PositionTuning"), "Load_Position").size(), 200u);
}

}  // namespace
