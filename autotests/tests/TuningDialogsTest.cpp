// The speed and position controller tuning tests and the total inertia test on real widgets, answered by
// dialog scripts in virtual time, against the virtual drive.
#include <map>

#include "DialogTestSupport.h"
#include "conversions/Derived.h"
#include "tests/TestPositionTuning.h"
#include "tests/TestSpeedTuning.h"
#include "tests/TotalInertiaTest.h"

namespace {

using dctest::kPassed;

class TuningDialogs : public dctest::DialogTest {};

// Entering the Test tab with a current limit above the protection is refused; a total inertia below the
// motor's is questioned when the dialog opens and, typed in, switches the motor inertia to unknown once.
TEST_F(TuningDialogs, SpeedLimitsAndInertia) {
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

// On-line with the drive's oscilloscope: a single cycle is drawn from its frames, passes and is saved. The
// wheel over a legend entry then changes that channel's scale, the menu exports, and OK keeps the user's
// scales; once closed, no dialog receives frames.
TEST_F(TuningDialogs, SpeedOnlineWithTheOscilloscope) {
    InstallDrive();
    ASSERT_EQ(m_setup->GetIntOption("hasOscilloscope"), 1);
    EXPECT_HELD(Run<CTestSpeedTuning>(
        "assert 1369 text \"Scope\"\ntab 1\nclick 1369\nassert 1362 shown\nassert 1361 hidden\nclick 10000\n"
        "wait 3\nassert 10004 text \"Test passed\"\nassert 1361 hidden\nassert 1395 hidden\n"
        "shot speed-test-scope\nclick 1372\nwheel 1362 \"Load_Speed\" 1\nwheel 1362 \"Motor_Current\" -2\n"
        "shot speed-test-scope-scaled\nmenu 1362 \"Save as Vector Picture\"\nmenu 1362 \"Export as Text\"\n"
        "click 1\n"));
    EXPECT_EQ(g_pSpeedTuningDlg, nullptr) << "no dialog receives frames any more";
    const std::vector<double> speed = dctest::Column(Saved("SpeedTuning"), "Load_Speed");
    ASSERT_FALSE(speed.empty());
    EXPECT_NEAR(*std::ranges::max_element(speed), 1500.0, 150.0) << "the load reaches the test speed (rpm)";
    EXPECT_TRUE(dctest::fs::exists(m_plots / "SpeedTuning.pdf"));

    // Defaults: 500 rpm/div for a test speed of 1500 rpm, 5 A/div for a current limit of 8 A; the load speed
    // one notch away, one step finer, the motor current two notches back, two steps coarser.
    const auto settings = nlohmann::json::parse(m_setup->GetOption("SpeedTuningOscSettings"));
    std::map<std::string, double> steps;
    for (const auto& channel : settings.at("channels")) steps[channel.at("name")] = channel.at("step");
    const std::map<std::string, double> expected = {
        {"Speed_Reference", 500}, {"Load_Speed", 200}, {"Current_Reference", 5}, {"Motor_Current", 20}};
    EXPECT_EQ(steps, expected);

    // Opened again with them, "Reset to Defaults" gives the defaults back and OK leaves no settings of the
    // user's in the setup.
    EXPECT_HELD(Run<CTestSpeedTuning>("tab 1\nclick 1369\nmenu 1362 \"Reset to Defaults\"\nclick 1\n"));
    EXPECT_FALSE(m_setup->HasOption("SpeedTuningOscSettings"));
}

// Tuned from the drive setup editor at a pass band, the logged response follows the designed loop (the
// setup's gains on the plant's inertia) driven by the logged reference: the speed PI; a position PI over it;
// a position PID over the current loop, on one turn so that the ramps' following error stays inside the
// drive's limit. OK gave the test's limits to the drive's.
TEST_F(TuningDialogs, TunedLoopsFollowTheirDesign) {
    enum Loop { Speed, PositionOverSpeed, PositionOverCurrent };
    const struct {
        Loop loop;
        std::vector<dctest::Change> changes;
        int band;  // rad/s
    } cases[] = {
        {Speed, {}, 300},
        {PositionOverSpeed, {}, 40},
        {PositionOverCurrent, {{"PositionControlType", 0}, {"filter_D", 1}, {"TestPosition", 2 * M_PI}}, 30},
    };
    for (const auto& [loop, changes, band] : cases) {
        SCOPED_TRACE(loop);
        m_setup = dctest::Variant(changes);
        InstallDrive();
        const bool speedTest = loop == Speed;
        const std::string record = speedTest ? "SpeedTuning" : "PositionTuning";
        const std::string shot = speedTest ? "shot speed-test" : "shot position-test-" + std::to_string(band);
        EXPECT_HELD(
            RunDriveSetup((speedTest ? "click 3178\nexpect \"Speed" : "click 3198\nexpect \"Position") +
                          std::string(" Controller Tuning Test\"\n") + shot +
                          "-parameters\nclick 3528\ntab 1\nunit 1380 rad/s\nset 1379 " +
                          std::to_string(band) + "\nclick 1390\nclick 10000\nwait 3\n" + kPassed + shot +
                          "-result\nclick 1372\nclick 1\nexpect \"Drive Setup\"\nclick 2\n"));
        EXPECT_DOUBLE_EQ(Base(speedTest ? "PB_S" : "PB_P"), band);
        EXPECT_DOUBLE_EQ(Base("Imax_Prot"), Base("TestProtectionCurrent"));
        EXPECT_DOUBLE_EQ(Base("IlimPS"), Base("TestLimitCurrent"));
        const kx::PlotRecord saved = Saved(record);
        EXPECT_TRUE(dctest::Summarised(saved, "Cycle 1, move 1 Rise time")) << "figures saved";
        EXPECT_NO_THROW(dctest::Column(saved, loop == PositionOverCurrent ? "Motor_Current" : "Load_Speed"));

        const double ts = dcdrive::SpeedLoopPeriod(*m_setup);
        const double gain = m_plant["motor"]["torqueConstant"].get<double>() / PlantInertia();
        // Current counts per speed count and speed counts per position count.
        const double s = dcdrive::CurrentScale(*m_setup) / std::fabs(dcdrive::MotorSpeedScale(*m_setup)),
                     p = std::fabs(dcdrive::MotorSpeedScale(*m_setup) /
                                   dcdrive::MotorPositionScale(*m_setup));
        const double kps = Base("Kp_S_scl") / s, kis = Base("Ki_S_scl") / (s * ts);
        if (loop == Speed) {
            // x: speed, integral of the speed error.
            ExpectFollows(record, "Speed_Reference", "Load_Speed", 2,
                          [=](const auto& x, double r, double, auto& dx) {
                              dx = {gain * (kps * (r - x[0]) + kis * x[1]), r - x[0]};
                          });
        } else if (loop == PositionOverSpeed) {
            const double kpp = Base("Kp_P_scl") / p, kip = Base("Ki_P_scl") / (p * ts);
            // x: position, speed, integral of the position error, of the speed error.
            ExpectFollows(record, "Target_Position", "Load_Position", 4,
                          [=](const auto& x, double r, double, auto& dx) {
                              const double e = kpp * (r - x[0]) + kip * x[2] - x[1];
                              dx = {x[1], gain * (kps * e + kis * x[3]), r - x[0], e};
                          });
        } else {
            const double kp = Base("Kp_P_scl") / (s * p), ki = Base("Ki_P_scl") / (s * p * ts),
                         kd = Base("Kd_P_scl") * ts / (s * p);
            // x: position, speed, integral of the position error.
            ExpectFollows(record, "Target_Position", "Load_Position", 3,
                          [=](const auto& x, double r, double dr, auto& dx) {
                              dx = {x[1], gain * (kp * (r - x[0]) + ki * x[2] + kd * (dr - x[1])), r - x[0]};
                          });
        }
    }
}

// A multi-cycle run goes on until Stop; the test's current limit goes into the setup at Start and stays
// although the dialog is cancelled. "Identify" opens the inertia test; "Filters" the filters editor,
// read-only during a run. The plot's menu saves the picture and the data under the test's name.
TEST_F(TuningDialogs, PositionMultiCycleRunFiltersAndThePlotsCommands) {
    m_setup = dctest::Variant({{"TestLimitCurrent", 6.5}});
    ASSERT_NE(Base("IlimPS"), 6.5);
    InstallDrive();
    const std::string back = "expect \"Position Controller Tuning Test\"\n";
    const std::string filters = "click 3138\nexpect \"Filters\"\nassert 3485 ";
    EXPECT_HELD(Run<CTestPositionTuning>(
        "click 1332\ntab 1\nclick 3305\nexpect \"Total inertia test\"\nclick 2\n" + back + filters +
        "enabled\nclick 1\n" + back + "click 10000\n" + filters + "disabled\nclick 2\n" + back +
        "wait 4\nassert 10000 text \"Stop\"\nclick 10000\nwait 2\n" + kPassed + filters +
        "enabled\nclick 2\n" + back +
        "menu 1361 \"Save as Vector Picture\"\nmenu 1361 \"Export as Text\"\nclick 2\n"));
    EXPECT_DOUBLE_EQ(Base("IlimPS"), 6.5);
    EXPECT_TRUE(dctest::fs::exists(m_plots / "PositionTuning.pdf"));
    EXPECT_GT(dctest::Column(Saved("PositionTuning"), "Load_Position").size(), 200u);
}

// Opened by the speed tuning test's "Identify", the test finds the plant's inertia with friction (a few per
// cent of the test torque of 1.6 A · 0.06 N·m/A; without it, the test below). Yes gives it and the load ratio
// to the tuning test; No leaves the tuning test's values.
TEST_F(TuningDialogs, InertiaTestIdentifiesThePlantsInertiaForTheSpeedTuningTest) {
    const struct {
        const char* what;
        nlohmann::json plant;
        const char* answer;
        double tolerance;
    } cases[] = {
        // clang-format off
        {"heavy load, typical friction", {{"load", {{"inertia", 8e-5}, {"viscousFriction", 3e-5}, {"coulombFriction", 0.006}}}}, "yes", 0.05},
        {"not kept", {{"load", {{"inertia", 3 * 1.4e-5}}}}, "no", 0},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_setup = dcdrive::LoadDefaultSetup();
        const double openingJt = Base("Jt"), openingRatio = Base("Jload_over_J");
        InstallDrive(c.plant);
        EXPECT_HELD(Run<CTestSpeedTuning>(
            "tab 1\nclick 3271\nexpect \"Total inertia test\"\nassert 3263 text \"\"\nset 1005 1.6\n"
            "set 3267 800\nclick 10000\nassert 1 disabled\nassert 1005 disabled\nwait\n" +
            kPassed + "click 2\nclick " + c.answer + "\nexpect \"Speed Controller Tuning Test\"\nclick 1\n"));
        if (c.tolerance == 0) {
            EXPECT_EQ(Base("Jt"), openingJt);
            EXPECT_EQ(Base("Jload_over_J"), openingRatio);
            continue;
        }
        const double truth = PlantInertia(), identified = Base("Jt");
        std::printf("inertia test, %s: plant %.4g kg m2, identified %.4g kg m2, error %+.2f %%\n", c.what,
                    truth, identified, 100.0 * (identified / truth - 1.0));
        EXPECT_NEAR(identified / truth, 1.0, c.tolerance);
        EXPECT_NEAR((1.0 + Base("Jload_over_J")) * Base("Jm") / truth, 1.0, c.tolerance);
    }
}

// After a run that passed, Close asks whether to keep the identified value: Yes keeps it, No restores the
// opening one, Cancel stays. OK keeps it without asking and hands the test's protection level to the drive's.
TEST_F(TuningDialogs, InertiaTestCloseOffersTheIdentifiedInertia) {
    const std::string question = "click 2\ndump\n", ok = "set 3265 8.5\nclick 1\n";
    const struct {
        const char* what;
        std::string answers;
        int result;  // IDOK: the identified value kept
    } cases[] = {
        {"no", question + "click no\n", IDCANCEL},
        {"cancel, then yes",
         question + "shot inertia-question\nclick cancel\n" + kPassed + "click 2\nclick yes\n", IDOK},
        {"ok", ok, IDOK},
    };
    const double opening = 5e-5;  // far from the plant's 2.8e-5 kg·m²
    const std::string run =
        "expect \"Total inertia test\"\nshot inertia-test\nset 1005 0.5\nset 3267 800\n"
        "click 10000\nwait\nassert 10004 text \"Test passed\"\nshot inertia-result\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_setup = dctest::Variant({{"Jt", opening}});
        const double protection = Base("Imax_Prot");
        InstallDrive();
        const dctest::ScriptRun closed = Run<CTotalInertiaTest>(run + c.answers);
        EXPECT_HELD(closed);
        EXPECT_EQ(closed.result, c.result);
        EXPECT_NEAR(Base("Jt"), c.result == IDOK ? PlantInertia() : opening, 0.02 * PlantInertia());
        EXPECT_EQ(Base("Imax_Prot"), c.answers == ok ? 8.5 : protection) << "only OK hands the level on";
        if (c.answers == ok) continue;
        // The dump escapes the tabs.
        EXPECT_NE(closed.dumped.find("Total inertia:\\tOld = 5e-05\\tNew = "), std::string::npos)
            << closed.dumped;
        EXPECT_NE(closed.dumped.find("(Recommended)"), std::string::npos) << closed.dumped;
    }
}

}  // namespace
