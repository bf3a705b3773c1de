// The position controller tuning test on real widgets, answered by dialog
// scripts in virtual time, against the virtual drive: the tuned position
// loop over the speed loop and over the current loop against their design,
// the program and signals by the control structure, the faults' messages
// and the profile's edge cases.
#include "TuningDialogTestSupport.h"
#include "conversions/Derived.h"
#include "conversions/Drivers.h"
#include "tests/TestPositionTuning.h"

namespace {

using dctest::Quoted;

class PositionTuningDialog : public dctest::TuningDialogTest {
protected:
    // The designed cascade on the plant's true inertia, with the gains the
    // setup holds: over the speed loop a PI gives the speed reference of
    // the speed PI; over the current loop a PID (derivative of the error)
    // gives the current. Unit-free, as the speed loop's model.
    dctest::LoopModel DesignedPositionLoop(bool overSpeedLoop) const {
        const double ts = dcdrive::SpeedLoopPeriod(*m_setup);
        const double gain = TrueTorqueConstant() / TrueInertia();
        const double positionScale = std::fabs(dcdrive::MotorPositionScale(*m_setup));
        const double speedScale = std::fabs(dcdrive::MotorSpeedScale(*m_setup));
        const double currentScale = dcdrive::CurrentScale(*m_setup);
        if (overSpeedLoop) {
            const double s = currentScale / speedScale, p = speedScale / positionScale;
            const double kps = Base("Kp_S_scl") / s, kis = Base("Ki_S_scl") / (s * ts);
            const double kpp = Base("Kp_P_scl") / p, kip = Base("Ki_P_scl") / (p * ts);
            // x: position, speed, integral of the position error, of the speed error.
            return {4,
                    [=](const std::vector<double>& x, double r, double, std::vector<double>& dx) {
                        const double speedReference = kpp * (r - x[0]) + kip * x[2];
                        const double e = speedReference - x[1];
                        dx[0] = x[1];
                        dx[1] = gain * (kps * e + kis * x[3]);
                        dx[2] = r - x[0];
                        dx[3] = e;
                    },
                    [](const std::vector<double>& x) { return x[0]; }};
        }
        const double c = currentScale / positionScale;
        const double kp = Base("Kp_P_scl") / c, ki = Base("Ki_P_scl") / (c * ts),
                     kd = Base("Kd_P_scl") * ts / c;
        // x: position, speed, integral of the position error.
        return {3,
                [=](const std::vector<double>& x, double r, double dr, std::vector<double>& dx) {
                    dx[0] = x[1];
                    dx[1] = gain * (kp * (r - x[0]) + ki * x[2] + kd * (dr - x[1]));
                    dx[2] = r - x[0];
                },
                [](const std::vector<double>& x) { return x[0]; }};
    }

    void ExpectFollowsDesign(bool overSpeedLoop, const char* what) {
        const dctest::TuningRecord record = dctest::ReadTuningCsv(m_plots / "PositionTuning.csv");
        const auto& time = record.Column("Time");
        const auto& reference = record.Column("Target_Position");
        const auto& position = record.Column("Load_Position");
        ASSERT_GT(position.size(), 200u);
        // The inner loop's signals are logged beside the positions.
        EXPECT_NO_THROW(record.Column(overSpeedLoop ? "Load_Speed" : "Motor_Current"));
        const std::vector<double> designed =
            dctest::SimulateLoop(DesignedPositionLoop(overSpeedLoop), time, reference,
                                 std::vector<double>(overSpeedLoop ? 4 : 3, 0.0));
        const double nrms = dctest::NormalizedRms(position, designed, reference);
        std::printf("position test %s: NRMS %.2f %%\n", what, 100 * nrms);
        EXPECT_LT(nrms, 0.10);
    }
};

// Over the speed loop, opened from the drive setup editor: tuned at a pass
// band, the logged load position follows the designed cascade.
TEST_F(PositionTuningDialog, TunedOverTheSpeedLoopFollowsItsDesign) {
    InstallDrive();
    const dctest::ScriptRun run = RunDriveSetup(
        "click 3198\n"
        "expect \"Position Controller Tuning Test\"\n"
        "shot position-test-parameters\n"
        "tab 1\n"
        "unit 1380 rad/s\n"
        "set 1379 40\n"
        "click 1390\n"
        "click 10000\n"
        "wait 3\n"
        "assert 10004 text \"Test passed\"\n"
        "shot position-test-result\n"
        "click 1372\n"
        "click 1\n"
        "expect \"Drive Setup\"\n"
        "click 2\n");
    EXPECT_HELD(run);
    EXPECT_DOUBLE_EQ(Base("PB_P"), 40.0);
    ExpectFollowsDesign(true, "over the speed loop, 40 rad/s");
}

// Directly over the current loop (a PID on the inertia), for two pass
// bands and the bidirectional profile.
TEST_F(PositionTuningDialog, TunedOverTheCurrentLoopFollowsItsDesign) {
    const struct {
        double band;
        int type;
    } cases[] = {{30, 3528}, {60, 3530}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.band);
        m_setup = dcdrive::LoadDefaultSetup();
        dctest::Set(*m_setup, "PositionControlType", 0);
        dctest::Set(*m_setup, "filter_D", 1);
        // One turn: the following error of the ramps stays inside the
        // drive's position error limit.
        dctest::Set(*m_setup, "TestPosition", 2 * M_PI);
        // The registers follow, as the drive setup editor makes them follow
        // before it opens the test.
        dcdrive::RunBothDrivers(*m_setup);
        InstallDrive();
        const dctest::ScriptRun run = Run<CTestPositionTuning>("click " + std::to_string(c.type) +
                                                               "\n"
                                                               "tab 1\n"
                                                               "unit 1380 rad/s\n"
                                                               "set 1379 " +
                                                               std::to_string(c.band) +
                                                               "\n"
                                                               "click 1390\n"
                                                               "click 10000\n"
                                                               "wait 3\n"
                                                               "assert 10004 text \"Test passed\"\n"
                                                               "click 1372\n"
                                                               "click 1\n");
        EXPECT_HELD(run);
        ExpectFollowsDesign(false, ("over the current loop, " + std::to_string(c.band) + " rad/s").c_str());
        // The current limit of the test went into the setup.
        EXPECT_DOUBLE_EQ(Base("IlimPS"), Base("TestLimitCurrent"));
    }
}

// The faults give their messages; a ramp of no sample cannot be run; a
// multi-cycle run goes on until Stop.
TEST_F(PositionTuningDialog, FaultsProfileAndMultiCycle) {
    const struct {
        const char* what;
        std::map<std::string, double> setup;
        std::string fault;
        std::string message;
    } cases[] = {
        {"short circuit", {}, "+short-circuit", "Drive / Motor shortcircuit protection triggered."},
        {"current protection",
         {},
         "+over-current",
         "Test failed!\nCurrent protection triggered during test!"},
        {"ramp of no sample",
         {{"TaPP", 1e-6}},
         "",
         "Distances between consecutive points on X axis must be greater than 0 and below 32768."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_setup = dcdrive::LoadDefaultSetup();
        for (const auto& [name, value] : c.setup) dctest::Set(*m_setup, name, value);
        InstallDrive();
        std::string start = "click 10000\n";
        if (!c.fault.empty()) start += "wait 0.05\nfault " + c.fault.substr(1) + " on\n";
        EXPECT_HELD(Run<CTestPositionTuning>("tab 1\n" + start +
                                             "wait 3\n"
                                             "assert 10004 text \"Test failed\"\n"
                                             "click 10003\n"
                                             "message " +
                                             Quoted(c.message) + "\nclick ok\nclick 2\n"));
        EXPECT_FALSE(m_drive->AxisOn());
    }

    m_setup = dcdrive::LoadDefaultSetup();
    dctest::Set(*m_setup, "TestLimitCurrent", 6.5);
    ASSERT_NE(Base("IlimPS"), 6.5);
    InstallDrive();
    EXPECT_HELD(
        Run<CTestPositionTuning>("click 1332\ntab 1\nclick 10000\nwait 4\nassert 10000 text \"Stop\"\n"
                                 "click 10000\nwait 2\nassert 10004 text \"Test passed\"\nclick 2\n"));
    // Over the speed loop the test's current limit went into the setup at
    // Start, and stays although the dialog was cancelled.
    EXPECT_DOUBLE_EQ(Base("IlimPS"), 6.5);
}

}  // namespace

namespace {

// The plot's commands after a run: the picture as a vector file and the
// drawn data as text, in the plot folder under the test's name.
TEST_F(PositionTuningDialog, PictureAndTextOfThePlot) {
    struct Probe : CTestPositionTuning {
        using CTestPositionTuning::CTestPositionTuning;
        using CTuningTestDlg::OnCreatePicture;
        using CTuningTestDlg::OnExportText;
    };
    InstallDrive();
    Probe dialog(*m_setup, 1, nullptr);
    EXPECT_HELD(dctest::RunScript("tab 1\nclick 10000\nwait 3\nassert 10004 text \"Test passed\"\nclick 1\n",
                                  [&] { return dialog.DoModal(); }));
    dialog.OnCreatePicture();
    dialog.OnExportText();
    EXPECT_TRUE(dctest::fs::exists(m_plots / "PositionTuning.pdf"));
    const dctest::TuningRecord record = dctest::ReadTuningCsv(m_plots / "PositionTuning.csv");
    EXPECT_GT(record.Column("Load_Position").size(), 200u);
}

}  // namespace
