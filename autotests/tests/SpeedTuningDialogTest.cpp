// The speed controller tuning test on real widgets, answered by dialog
// scripts in virtual time, against the virtual drive: the tuned speed loop
// against its design, a multi-cycle run that takes a new gain at once, the
// faults' messages, the profile's overflow texts and the inertia checks.
#include <algorithm>

#include "TuningDialogTestSupport.h"
#include "conversions/Derived.h"
#include "tests/TestPositionTuning.h"
#include "tests/TestSpeedTuning.h"

namespace {

using dctest::Quoted;

class SpeedTuningDialog : public dctest::TuningDialogTest {
protected:
    // The designed speed loop on the plant's true inertia: the drive's PI
    // (its gains as the setup holds them) gives the motor current, the
    // torque accelerates the inertia. Unit-free: both sides scale alike.
    dctest::LoopModel DesignedSpeedLoop() const {
        const double scale = dcdrive::CurrentScale(*m_setup) / std::fabs(dcdrive::MotorSpeedScale(*m_setup));
        const double ts = dcdrive::SpeedLoopPeriod(*m_setup);
        const double kp = Base("Kp_S_scl") / scale, ki = Base("Ki_S_scl") / (scale * ts);
        const double gain = TrueTorqueConstant() / TrueInertia();
        return {2,
                [=](const std::vector<double>& x, double r, double, std::vector<double>& dx) {
                    dx[0] = gain * (kp * (r - x[0]) + ki * x[1]);
                    dx[1] = r - x[0];
                },
                [](const std::vector<double>& x) { return x[0]; }};
    }
};

// Tuned from the drive setup editor at a pass band, for each reference
// type, the logged load speed follows the designed loop driven by the
// logged speed reference; the figures of each cycle are saved with it.
TEST_F(SpeedTuningDialog, TunedSpeedLoopFollowsItsDesign) {
    const struct {
        double band;  // rad/s
        int type;     // reference type radio
        double friction;
    } cases[] = {{300, 3528, 0.0}, {150, 3529, 0.0}, {400, 3530, 0.0}, {300, 3528, 2e-5}};
    for (const auto& c : cases) {
        SCOPED_TRACE("pass band " + std::to_string(c.band) + ", type " + std::to_string(c.type));
        m_setup = dcdrive::LoadDefaultSetup();
        InstallDrive({{"load", {{"viscousFriction", c.friction}}}});
        const bool first = &c == &cases[0];
        const dctest::ScriptRun run = RunDriveSetup(
            "click 3178\n"
            "expect \"Speed Controller Tuning Test\"\n" +
            std::string(first ? "shot speed-test-parameters\n" : "") + "click " + std::to_string(c.type) +
            "\n"
            "tab 1\n"
            "unit 1380 rad/s\n"
            "set 1379 " +
            std::to_string(c.band) +
            "\n"
            "click 1390\n"
            "click 10000\n"
            "wait 3\n"
            "assert 10004 text \"Test passed\"\n" +
            std::string(first ? "shot speed-test-result\n" : "") +
            "click 1372\n"
            "click 1\n"
            "expect \"Drive Setup\"\n"
            "click 2\n");
        EXPECT_HELD(run);
        EXPECT_DOUBLE_EQ(Base("PB_S"), c.band);

        const dctest::TuningRecord record = dctest::ReadTuningCsv(m_plots / "SpeedTuning.csv");
        const auto& time = record.Column("Time");
        const auto& reference = record.Column("Speed_Reference");
        const auto& speed = record.Column("Load_Speed");
        ASSERT_GT(speed.size(), 200u);
        const std::vector<double> designed =
            dctest::SimulateLoop(DesignedSpeedLoop(), time, reference, {0.0, 0.0});
        const double nrms = dctest::NormalizedRms(speed, designed, reference);
        std::printf("speed test: pass band %g rad/s, type %d, viscous friction %g: NRMS %.2f %%\n", c.band,
                    c.type - 3528, c.friction, 100 * nrms);
        EXPECT_LT(nrms, 0.10);
        // OK gave the test's limits to the drive's.
        EXPECT_DOUBLE_EQ(Base("Imax_Prot"), Base("TestProtectionCurrent"));
        EXPECT_DOUBLE_EQ(Base("IlimPS"), Base("TestLimitCurrent"));
    }
}

// A multi-cycle run goes on until Stop; a gain tuned during it reaches the
// drive's live registers at once (the program is not started again), and
// the record holds several cycles, each with its figures.
TEST_F(SpeedTuningDialog, MultiCycleRunTakesANewGainAtOnce) {
    InstallDrive();
    const double openingKps = Base("KPS");
    const dctest::ScriptRun run = Run<CTestSpeedTuning>(
        "click 1332\n"
        "tab 1\n"
        "click 10000\n"
        "wait 2\n"
        "assert 10000 text \"Stop\"\n"
        "assert 1 disabled\n"
        "unit 1380 rad/s\n"
        "set 1379 450\n"
        "click 1390\n"
        "wait 2\n"
        "assert 10000 text \"Stop\"\n"
        "click 10000\n"
        "wait 2\n"
        "assert 10004 text \"Test passed\"\n"
        "click 1372\n"
        "click 1\n");
    EXPECT_HELD(run);
    EXPECT_NE(Base("KPS"), openingKps);
    for (const char* name : {"SFTKPS", "KPS", "SFTKIS", "KIS"})
        EXPECT_EQ(m_drive->Register(name), std::llround(Base(name))) << name;
    const dctest::TuningRecord record = dctest::ReadTuningCsv(m_plots / "SpeedTuning.csv");
    EXPECT_TRUE(record.summary.count("Cycle 1, move 1 Rise time"))
        << "the figures of each whole cycle are saved";
}

// Every fault ends the run with its text and leaves the axis off; a profile
// that the program cannot run does not start.
TEST_F(SpeedTuningDialog, FaultsAndProfileErrors) {
    const struct {
        const char* what;
        std::map<std::string, double> setup;  // base units
        std::string fault;                    // before Start, or during the run with '+'
        std::string message;
    } cases[] = {
        {"short circuit", {}, "+short-circuit", "Drive / Motor shortcircuit protection triggered."},
        {"ENABLE off", {}, "+enable-off", "Drive / Motor ENABLE input is in DISABLED state."},
        {"current protection",
         {},
         "+over-current",
         "Test failed!\nCurrent protection triggered during test!"},
        {"link down", {}, "comm-down", kx::kCommDownText},
        // A ramp shorter than half a period: no sample, the slope overflows.
        {"no ramp",
         {{"TaPS", 1e-6}},
         "",
         "Reference variation between two consecutive points is too big (slope overflow)."},
        {"hold too long",
         {{"TPS", 60.0}},
         "",
         "Distances between consecutive points on X axis must be greater than 0 and below 32768."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_setup = dcdrive::LoadDefaultSetup();
        for (const auto& [name, value] : c.setup) dctest::Set(*m_setup, name, value);
        InstallDrive();
        std::string start = "click 10000\n";
        if (!c.fault.empty() && c.fault[0] == '+')
            start += "wait 0.05\nfault " + c.fault.substr(1) + " on\n";
        else if (!c.fault.empty())
            start = "fault " + c.fault + " on\n" + start;
        const dctest::ScriptRun run = Run<CTestSpeedTuning>("tab 1\n" + start +
                                                            "wait 3\n"
                                                            "assert 10004 text \"Test failed\"\n"
                                                            "assert 10000 text \"Start\"\n"
                                                            "assert 1 enabled\n"
                                                            "click 10003\n"
                                                            "message " +
                                                            Quoted(c.message) +
                                                            "\n"
                                                            "click ok\n"
                                                            "click 2\n");
        EXPECT_HELD(run);
        EXPECT_FALSE(m_drive->AxisOn());
    }
}

// Entering the Test tab with a current limit above the protection is
// refused; a total inertia below the motor's is questioned when the dialog
// opens and, typed in, switches the motor inertia to unknown once.
TEST_F(SpeedTuningDialog, LimitsAndInertia) {
    InstallDrive();
    EXPECT_HELD(Run<CTestSpeedTuning>(
        "set 3281 5\n"
        "set 3284 6\n"
        "tab 1\n"
        "message \"Over current protection must be greater than Drive current limit. Recommended value for "
        "Drive "
        "current limit is maximum 90% of Over current protection.\"\n"
        "click ok\n"
        "assert 3284 shown\n"
        "set 3284 5\n"
        "tab 1\n"
        "assert 10000 shown\n"
        "unit 3288 kgcm^2\n"
        "set 3270 0.1\n"
        "message \"You have chosen a value for the total inertia that is lower than the value of the motor "
        "inertia.\\nThe application will assume the motor inertia is unknown.\"\n"
        "click ok\n"
        "assert 1385 disabled\n"
        "set 3270 0.05\n"
        "assert 1385 disabled\n"
        "click 2\n"));
    EXPECT_EQ(Base("isMotorInertiaUnknown"), 1.0);

    m_setup = dcdrive::LoadDefaultSetup();
    dctest::Set(*m_setup, "Jt", 0.5 * Base("Jm"));
    EXPECT_HELD(Run<CTestSpeedTuning>(
        "expect \"Motor inertia\"\nclick 3333\nclick 1\nexpect \"Speed Controller Tuning Test\"\nclick 2\n"));
}

}  // namespace

namespace {

// On-line with the drive's oscilloscope: a single cycle is drawn from its
// frames and passes; its record is saved; once closed, no dialog receives
// frames.
TEST_F(SpeedTuningDialog, OnlineWithTheOscilloscope) {
    InstallDrive();
    ASSERT_EQ(m_setup->GetIntOption("hasOscilloscope"), 1);
    const dctest::ScriptRun run = Run<CTestSpeedTuning>(
        "assert 1369 text \"Scope\"\n"
        "tab 1\n"
        "click 1369\n"
        "assert 1362 shown\n"
        "assert 1361 hidden\n"
        "click 10000\n"
        "wait 3\n"
        "assert 10004 text \"Test passed\"\n"
        "assert 1361 hidden\n"
        "assert 1395 hidden\n"
        "shot speed-test-scope\n"
        "click 1372\n"
        "click 2\n");
    EXPECT_HELD(run);
    EXPECT_EQ(g_pSpeedTuningDlg, nullptr) << "no dialog receives frames any more";
    const dctest::TuningRecord record = dctest::ReadTuningCsv(m_plots / "SpeedTuning.csv");
    const auto& speed = record.Column("Load_Speed");
    ASSERT_FALSE(speed.empty());
    // The record holds the move: the load reaches the test speed.
    const double top = *std::max_element(speed.begin(), speed.end());
    EXPECT_NEAR(top, 1500.0, 150.0) << "rpm";
}

// On-line live values without an oscilloscope: the run lasts until Stop,
// pauses and continues, and a Kp typed in during the run reaches the
// drive's live registers at once.
TEST_F(SpeedTuningDialog, OnlineLiveValues) {
    m_setup->SetOption("hasOscilloscope", "0");
    InstallDrive();
    const double openingKps = Base("KPS");
    const dctest::ScriptRun run = Run<CTestSpeedTuning>(
        "tab 1\n"
        "assert 1369 disabled\n"
        "tab 0\n"
        "click 1332\n"
        "tab 1\n"
        "click 1369\n"
        "click 10000\n"
        "wait 1\n"
        "assert 10000 text \"Stop\"\n"
        "assert 1364 shown\n"
        "shot speed-test-live-values\n"
        "assert 10016 enabled\n"
        "click 10016\n"
        "assert 10017 enabled\n"
        "click 10017\n"
        "set 1335 2500\n"
        "wait 1\n"
        "click 10000\n"
        "wait 1\n"
        "assert 10004 text \"Test passed\"\n"
        "click 1\n");
    EXPECT_HELD(run);
    EXPECT_NE(Base("KPS"), openingKps);
    for (const char* name : {"SFTKPS", "KPS"})
        EXPECT_EQ(m_drive->Register(name), std::llround(Base(name))) << name;
}

}  // namespace

namespace {

// Both tuning tests: their templates hold every control their tables name;
// "Identify" opens the total inertia test; "Filters" opens the filters
// editor, read-only while a run goes on.
TEST_F(SpeedTuningDialog, IdentifyFiltersAndTemplates) {
    const struct {
        const char* title;
        unsigned identify;
        std::function<dctest::ScriptRun(const std::string&, std::vector<std::string>&)> run;
    } dialogs[] = {
        {"Speed Controller Tuning Test", 3271,
         [this](const std::string& script, std::vector<std::string>& audit) {
             CTestSpeedTuning dialog(*m_setup, 1, nullptr);
             auto run = dctest::RunScript(script, [&] { return dialog.DoModal(); });
             audit = dialog.AuditProblems();
             return run;
         }},
        {"Position Controller Tuning Test", 3305,
         [this](const std::string& script, std::vector<std::string>& audit) {
             CTestPositionTuning dialog(*m_setup, 1, nullptr);
             auto run = dctest::RunScript(script, [&] { return dialog.DoModal(); });
             audit = dialog.AuditProblems();
             return run;
         }},
    };
    for (const auto& d : dialogs) {
        SCOPED_TRACE(d.title);
        InstallDrive();
        std::vector<std::string> audit;
        const std::string back = "expect \"" + std::string(d.title) + "\"\n";
        EXPECT_HELD(
            d.run("tab 1\n"
                  "click " +
                      std::to_string(d.identify) +
                      "\n"
                      "expect \"Total inertia test\"\n"
                      "click 2\n" +
                      back +
                      "click 3138\n"
                      "expect \"Filters\"\n"
                      "assert 3485 enabled\n"
                      "click 2\n" +
                      back +
                      "click 10000\n"
                      "click 3138\n"
                      "expect \"Filters\"\n"
                      "assert 3485 disabled\n"
                      "click 2\n" +
                      back +
                      "wait 3\n"
                      "assert 10004 text \"Test passed\"\n"
                      "click 2\n",
                  audit));
        for (const std::string& problem : audit) ADD_FAILURE() << problem;
    }
}

}  // namespace
