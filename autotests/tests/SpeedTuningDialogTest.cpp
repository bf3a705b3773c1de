// The speed controller tuning test on real widgets, answered by dialog
// scripts in virtual time, against the virtual drive: the tuned speed loop
// against its design, gains that reach the drive during a run, the faults'
// messages, the profile's overflow texts, the inertia checks and the
// oscilloscope; and what both tuning tests open.
#include <map>

#include "DialogTestSupport.h"
#include "conversions/Derived.h"
#include "tests/TestPositionTuning.h"
#include "tests/TestSpeedTuning.h"

namespace {

class SpeedTuningDialog : public dctest::DialogTest {
protected:
    void ExpectLiveGains(std::initializer_list<const char*> names) {
        for (const char* name : names) EXPECT_EQ(m_drive->Register(name), std::llround(Base(name))) << name;
    }
};

// Tuned from the drive setup editor at a pass band, the logged load speed
// follows the designed loop driven by the logged speed reference: the
// drive's PI (its gains as the setup holds them) gives the motor current,
// the torque accelerates the plant's inertia. Unit-free: both sides scale
// alike.
TEST_F(SpeedTuningDialog, TunedSpeedLoopFollowsItsDesign) {
    InstallDrive();
    EXPECT_HELD(RunDriveSetup(
        "click 3178\nexpect \"Speed Controller Tuning Test\"\nshot speed-test-parameters\nclick 3528\n"
        "tab 1\nunit 1380 rad/s\nset 1379 300\nclick 1390\nclick 10000\nwait 3\nassert 10004 text \"Test "
        "passed\"\n"
        "shot speed-test-result\nclick 1372\nclick 1\nexpect \"Drive Setup\"\nclick 2\n"));
    EXPECT_DOUBLE_EQ(Base("PB_S"), 300);

    const double scale = dcdrive::CurrentScale(*m_setup) / std::fabs(dcdrive::MotorSpeedScale(*m_setup));
    const double ts = dcdrive::SpeedLoopPeriod(*m_setup);
    const double kp = Base("Kp_S_scl") / scale, ki = Base("Ki_S_scl") / (scale * ts);
    const double gain = PlantTorqueConstant() / PlantInertia();
    const auto design = [=](const std::vector<double>& x, double r, double, std::vector<double>& dx) {
        dx = {gain * (kp * (r - x[0]) + ki * x[1]), r - x[0]};
    };
    const kx::PlotRecord record = Saved("SpeedTuning");
    const auto& reference = dctest::Column(record, "Speed_Reference");
    const auto& speed = dctest::Column(record, "Load_Speed");
    ASSERT_GT(speed.size(), 200u);
    const double nrms = dctest::NrmsToDesign(2, design, dctest::Column(record, "Time"), reference, speed);
    std::printf("speed test: pass band 300 rad/s: NRMS %.2f %%\n", 100 * nrms);
    EXPECT_LT(nrms, 0.10);
    EXPECT_TRUE(dctest::Summarised(record, "Cycle 1, move 1 Rise time")) << "the figures are saved";
    // OK gave the test's limits to the drive's.
    EXPECT_DOUBLE_EQ(Base("Imax_Prot"), Base("TestProtectionCurrent"));
    EXPECT_DOUBLE_EQ(Base("IlimPS"), Base("TestLimitCurrent"));
}

// Entering the Test tab with a current limit above the protection is
// refused; a total inertia below the motor's is questioned when the dialog
// opens and, typed in, switches the motor inertia to unknown once.
TEST_F(SpeedTuningDialog, LimitsAndInertia) {
    InstallDrive();
    EXPECT_HELD(Run<CTestSpeedTuning>(
        "set 3281 5\nset 3284 6\ntab 1\nmessage \"Over current protection must be greater than Drive current "
        "limit. Recommended value for Drive current limit is maximum 90% of Over current protection.\"\n"
        "click ok\nassert 3284 shown\nset 3284 5\ntab 1\nassert 10000 shown\nunit 3288 kgcm^2\nset 3270 0.1\n"
        "message \"You have chosen a value for the total inertia that is lower than the value of the motor "
        "inertia.\\nThe application will assume the motor inertia is unknown.\"\n"
        "click ok\nassert 1385 disabled\nset 3270 0.05\nassert 1385 disabled\nclick 2\n"));
    EXPECT_EQ(Base("isMotorInertiaUnknown"), 1.0);

    m_setup = dctest::Variant({{"Jt", 0.5 * Base("Jm")}});
    EXPECT_HELD(Run<CTestSpeedTuning>(
        "expect \"Motor inertia\"\nclick 3333\nclick 1\nexpect \"Speed Controller Tuning Test\"\nclick 2\n"));
}

// On-line with the drive's oscilloscope: a single cycle is drawn from its
// frames and passes; its record is saved. After the run the wheel over a
// channel's legend entry changes that channel's scale through the dialog,
// the window's menu exports the picture and the record, and OK keeps the
// user's settings with the new scale; once closed, no dialog receives
// frames.
TEST_F(SpeedTuningDialog, OnlineWithTheOscilloscope) {
    InstallDrive();
    ASSERT_EQ(m_setup->GetIntOption("hasOscilloscope"), 1);
    EXPECT_HELD(Run<CTestSpeedTuning>(
        "assert 1369 text \"Scope\"\ntab 1\nclick 1369\nassert 1362 shown\nassert 1361 hidden\nclick 10000\n"
        "wait 3\nassert 10004 text \"Test passed\"\nassert 1361 hidden\nassert 1395 hidden\n"
        "shot speed-test-scope\nclick 1372\nwheel 1362 \"Load_Speed\" 1\nwheel 1362 \"Motor_Current\" -2\n"
        "shot speed-test-scope-scaled\nmenu 1362 \"Save as Vector Picture\"\nmenu 1362 \"Export as Text\"\n"
        "click 1\n"));
    EXPECT_EQ(g_pSpeedTuningDlg, nullptr) << "no dialog receives frames any more";
    const auto& speed = dctest::Column(Saved("SpeedTuning"), "Load_Speed");
    ASSERT_FALSE(speed.empty());
    EXPECT_NEAR(*std::ranges::max_element(speed), 1500.0, 150.0) << "the load reaches the test speed (rpm)";
    EXPECT_TRUE(dctest::fs::exists(m_plots / "SpeedTuning.pdf"));

    // Defaults: 500 rpm/div for a test speed of 1500 rpm, 5 A/div for a
    // current limit of 8 A.
    const auto settings = nlohmann::json::parse(m_setup->GetOption("SpeedTuningOscSettings"));
    std::map<std::string, double> steps;
    for (const auto& channel : settings.at("channels")) steps[channel.at("name")] = channel.at("step");
    EXPECT_EQ(steps.at("Speed_Reference"), 500.0);
    EXPECT_EQ(steps.at("Load_Speed"), 200.0) << "one notch away: one step finer";
    EXPECT_EQ(steps.at("Current_Reference"), 5.0);
    EXPECT_EQ(steps.at("Motor_Current"), 20.0) << "two notches back: two steps coarser";

    // Opened again with them, "Reset to Defaults" gives the defaults back and
    // OK leaves no settings of the user's in the setup.
    EXPECT_HELD(Run<CTestSpeedTuning>("tab 1\nclick 1369\nmenu 1362 \"Reset to Defaults\"\nclick 1\n"));
    EXPECT_FALSE(m_setup->HasOption("SpeedTuningOscSettings"));
}

// On-line live values without an oscilloscope: a multi-cycle run lasts
// until Stop, pauses and continues, and a Kp typed in during the run
// reaches the drive's live registers at once (the program is not started
// again).
TEST_F(SpeedTuningDialog, OnlineLiveValues) {
    m_setup->SetOption("hasOscilloscope", "0");
    InstallDrive();
    const double openingKps = Base("KPS");
    EXPECT_HELD(Run<CTestSpeedTuning>(
        "tab 1\nassert 1369 disabled\ntab 0\nclick 1332\ntab 1\nclick 1369\nclick 10000\nwait 1\n"
        "assert 10000 text \"Stop\"\nassert 1364 shown\nshot speed-test-live-values\nassert 10016 enabled\n"
        "click 10016\nassert 10017 enabled\nclick 10017\nset 1335 2500\nwait 1\nclick 10000\nwait 1\n"
        "assert 10004 text \"Test passed\"\nclick 1\n"));
    EXPECT_NE(Base("KPS"), openingKps);
    ExpectLiveGains({"SFTKPS", "KPS"});
}

// Both tuning tests: "Identify" opens the total inertia test; "Filters"
// opens the filters editor, read-only while a run goes on.
TEST_F(SpeedTuningDialog, IdentifyAndFilters) {
    const struct {
        std::string title;
        const char* identify;
        dctest::ScriptRun (dctest::DialogTest::*run)(const std::string&);
    } dialogs[] = {
        {"Speed Controller Tuning Test", "3271", &SpeedTuningDialog::Run<CTestSpeedTuning>},
        {"Position Controller Tuning Test", "3305", &SpeedTuningDialog::Run<CTestPositionTuning>},
    };
    for (const auto& d : dialogs) {
        SCOPED_TRACE(d.title);
        InstallDrive();
        const std::string back = "expect \"" + d.title + "\"\n";
        EXPECT_HELD((this->*d.run)(
            "tab 1\nclick " + std::string(d.identify) + "\nexpect \"Total inertia test\"\nclick 2\n" + back +
            "click 3138\nexpect \"Filters\"\nassert 3485 enabled\nclick 2\n" + back +
            "click 10000\nclick 3138\nexpect \"Filters\"\nassert 3485 disabled\nclick 2\n" + back +
            "wait 3\nassert 10004 text \"Test passed\"\nclick 2\n"));
    }
}

}  // namespace
