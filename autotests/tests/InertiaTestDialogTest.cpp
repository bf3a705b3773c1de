// The total inertia test on real widgets against the virtual drive in virtual
// time: the identified inertia against the plant's, the program's failure
// codes and the drive's faults with their texts, the question on Close, OK,
// and the test opened from the sub-dialog registry as the tuning tests do.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "EncoderTestSupport.h"
#include "editors/SubDialogs.h"
#include "kx/VirtualDriveLink.h"
#include "kx/gui/Graph.h"
#include "kx/gui/TestDlg.h"
#include "plugin/Scaling.h"
#include "tests/InertiaRules.h"
#include "tests/TotalInertiaTest.h"

namespace fs = std::filesystem;

namespace {

using dctest::Quoted;

// A load friction of a few per cent of the default test torque
// (1.6 A · 0.06 N·m/A = 0.096 N·m).
const nlohmann::json kTypicalFriction = {{"load", {{"viscousFriction", 3e-5}, {"coulombFriction", 0.006}}}};

std::string ExpectFailure(const std::string& message) {
    return "assert 10004 text \"Test failed\"\nassert 10000 text \"Start\"\nassert 1 enabled\n"
           "assert 1005 enabled\nclick 10003\nmessage " +
           Quoted(message) + "\nclick ok\n";
}

const std::string kPassed = "assert 10004 text \"Test passed\"\n";

class InertiaTest : public dctest::InputTest {
protected:
    void SetUp() override {
        dctest::InputTest::SetUp();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_plots = fs::temp_directory_path() /
                  ("dcdrive-inertia-" + std::to_string(::getpid()) + "-" + info->name());
        fs::create_directories(m_plots);
        kx::SetPlotFolder(m_plots.string());
        dcdrive::InstallHostScaling();
        m_setup = dcdrive::LoadDefaultSetup();
    }
    void TearDown() override {
        dctest::InputTest::TearDown();
        kx::SetPlotFolder("");
        kx::SetScaleFunctions(nullptr, nullptr);
        fs::remove_all(m_plots);
    }

    // The default plant with `changes` (plant file keys, SI units).
    vdrive::Plant PlantWith(const nlohmann::json& changes) {
        nlohmann::json plant = nlohmann::json::parse(dcdrive::DefaultPlantJson());
        plant.merge_patch(changes);
        vdrive::Plant parsed;
        std::string error;
        EXPECT_TRUE(vdrive::ParsePlant(plant.dump(), parsed, error)) << error;
        return parsed;
    }
    // The plant's total inertia at the motor shaft.
    static double PlantInertia(const vdrive::Plant& plant) {
        return plant.motor.inertia + plant.load.inertia / (plant.load.ratio * plant.load.ratio);
    }

    // Runs the test on m_setup; the template must hold every control the
    // dialog binds or sets.
    dctest::ScriptRun Run(const std::string& script) {
        CTotalInertiaTest dialog(*m_setup, 1, nullptr);
        const dctest::ScriptRun run =
            dctest::RunScript("expect \"Total inertia test\"\n" + script, [&] { return dialog.DoModal(); });
        for (const std::string& problem : dialog.AuditProblems()) ADD_FAILURE() << problem;
        return run;
    }

    double Base(const char* name) const { return m_setup->GetParameterValueInBaseUnit(name); }

    fs::path m_plots;
    std::unique_ptr<CKX_Setup> m_setup;
};

nlohmann::json Merged(nlohmann::json a, const nlohmann::json& b) {
    a.merge_patch(b);
    return a;
}

// Opened as the tuning tests' "Identify" opens it, the test finds the plant's
// total inertia, with and without friction, at the test current and speed
// limit given in its fields; "Jt" holds it once the run has passed.
TEST_F(InertiaTest, IdentifiesThePlantsTotalInertia) {
    const nlohmann::json heavy = {{"load", {{"inertia", 8e-5}}}};
    const struct {
        const char* what;
        nlohmann::json plant;
        const char* amperes;
        const char* rpm;
        double tolerance;
    } cases[] = {
        {"default load, no friction", nlohmann::json::object(), "0.5", "800", 0.02},
        {"heavy load, no friction", heavy, "1.6", "800", 0.02},
        {"light load, small current", {{"load", {{"inertia", 2e-6}}}}, "0.3", "600", 0.02},
        {"default load, typical friction", kTypicalFriction, "0.8", "800", 0.05},
        {"heavy load, typical friction", Merged(heavy, kTypicalFriction), "1.6", "800", 0.05},
    };
    const dcdrive::SubDialogRunner identify = dcdrive::FindSubDialog(dcdrive::SubDialog::TotalInertiaTest);
    ASSERT_TRUE(identify) << "the tuning tests' Identify has nothing to open";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_setup = dcdrive::LoadDefaultSetup();
        const vdrive::Plant plant = PlantWith(c.plant);
        Install(plant);
        const std::string script =
            std::string("expect \"Total inertia test\"\nassert 3263 text \"\"\nset 1005 ") + c.amperes +
            "\nset 3267 " + c.rpm + "\nclick 10000\nassert 1 disabled\nassert 1005 disabled\nwait\n" +
            kPassed + "click 2\nclick yes\n";
        const dctest::ScriptRun run = dctest::RunScript(script, [&] { return identify(*m_setup, nullptr); });
        EXPECT_HELD(run);
        EXPECT_EQ(run.result, IDOK);
        const double truth = PlantInertia(plant), identified = Base("Jt");
        std::printf("inertia test, %s: plant %.4g kg m2, identified %.4g kg m2, error %+.2f %%\n", c.what,
                    truth, identified, 100.0 * (identified / truth - 1.0));
        EXPECT_NEAR(identified / truth, 1.0, c.tolerance);
        ExpectDriveIdle();
    }
}

// The program's failure codes and the drive's faults end the run with their
// texts, "Jt" keeps its value, and the next run passes once the cause is gone.
TEST_F(InertiaTest, FailuresGiveTheirTextsAndLeaveTheDialogUsable) {
    enum When { Opening, BeforeStart, DuringRun };
    const struct {
        const char* what;
        nlohmann::json plant;  // the cause in the plant, lifted by a new plant...
        const char* fault;     // ...or a fault, switched off again
        When when;
        std::string message;
    } cases[] = {
        {"blocked shaft", {{"shaftBlocked", true}}, nullptr, BeforeStart, dcdrive::kInertiaTestTexts[7]},
        // 0.096 N·m against 4.8e-3 N·m·s: at most 20 rad/s, below 266 rpm.
        {"speed limit beyond the friction",
         {{"load", {{"viscousFriction", 4.8e-3}}}},
         nullptr,
         BeforeStart,
         dcdrive::kInertiaTestTexts[8]},
        {"encoder counting the other way",
         {{"encoder", {{"reversed", true}}}},
         nullptr,
         BeforeStart,
         dcdrive::kInertiaTestTexts[6]},
        {"over current", nlohmann::json::object(), "over-current", DuringRun, dcdrive::kInertiaTestTexts[5]},
        {"short circuit", nlohmann::json::object(), "short-circuit", DuringRun,
         "Drive / Motor shortcircuit protection triggered."},
        {"ENABLE input", nlohmann::json::object(), "enable-off", DuringRun,
         "Drive / Motor ENABLE input is in DISABLED state."},
        {"feedback error", nlohmann::json::object(), "feedback-error", DuringRun, "Feedback error."},
        {"communication", nlohmann::json::object(), "comm-down", BeforeStart, kx::kCommDownText},
        {"program file missing", nlohmann::json::object(), "no-program", Opening,
         "Variable \"In1\" not found in the test program."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_setup = dcdrive::LoadDefaultSetup();
        // Far from the plant's: a run that passes is asked about on Close.
        const double opening = 5e-5;
        dctest::Set(*m_setup, "Jt", opening);
        Install(PlantWith(c.plant));
        vdrive::Fault fault{};
        if (c.fault) {
            ASSERT_TRUE(vdrive::FaultFromName(c.fault, fault));
        }
        if (c.fault && c.when == Opening) m_drive->SetFault(fault, true);
        const std::string on = c.fault ? std::string("fault ") + c.fault + " on\n" : "";
        std::string start = "click 10000\n";
        if (c.when == BeforeStart) start = on + start;
        if (c.when == DuringRun) start += on;
        std::string script = start + "wait\n" + ExpectFailure(c.message) + "assert 3263 text \"\"\n";
        if (c.fault) script += std::string("fault ") + c.fault + " off\nclick 10000\nwait\n" + kPassed;
        script += "click 2\n";
        const dctest::ScriptRun run = Run(script + (c.fault ? "click no\n" : ""));
        EXPECT_HELD(run);
        EXPECT_EQ(run.result, IDCANCEL);
        EXPECT_EQ(Base("Jt"), opening);
        ExpectDriveIdle();
    }
}

// After a run that passed, Close asks whether to keep the identified value:
// Yes keeps it, No restores the opening one, Cancel stays in the dialog. OK
// keeps it without asking and gives the test's protection level to the
// drive's. Closing without a passed run, or after one that found the value
// the dialog opened with, asks nothing.
TEST_F(InertiaTest, CloseOffersTheIdentifiedInertia) {
    const std::string question = "click 2\ndump\n";
    const struct {
        const char* what;
        std::string answers;
        int result;
        bool keeps;
    } cases[] = {
        {"yes", question + "shot inertia-question\nclick yes\n", IDOK, true},
        {"no", question + "click no\n", IDCANCEL, false},
        {"cancel, then yes",
         question +
             "click cancel\nexpect \"Total inertia test\"\nassert 10004 text \"Test passed\"\nclick 2\n"
             "click yes\n",
         IDOK, true},
        {"ok", "set 3265 8.5\nclick 1\n", IDOK, true},
    };
    const double opening = 5e-5;  // far from the plant's 2.8e-5 kg·m²
    const double plant = PlantInertia(dctest::DefaultPlant());
    const std::string run = "shot inertia-test\nset 1005 0.5\nset 3267 800\nclick 10000\nwait\n" + kPassed +
                            "shot inertia-result\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_setup = dcdrive::LoadDefaultSetup();
        dctest::Set(*m_setup, "Jt", opening);
        const double protection = Base("Imax_Prot");
        Install();
        const dctest::ScriptRun closed = Run(run + c.answers);
        EXPECT_HELD(closed);
        EXPECT_EQ(closed.result, c.result);
        if (c.keeps) {
            EXPECT_NEAR(Base("Jt"), plant, 0.02 * plant);
        } else {
            EXPECT_EQ(Base("Jt"), opening);
        }
        // Only OK hands the test's protection level on.
        EXPECT_EQ(Base("Imax_Prot"), c.answers == "set 3265 8.5\nclick 1\n" ? 8.5 : protection);
        if (c.answers.rfind(question, 0) == 0) {
            // The old and the new value as "%g" prints them.
            const std::string asked = nlohmann::json(dcdrive::InertiaChangeQuestion(opening, plant)).dump();
            const std::string upToNew = asked.substr(1, asked.find("New = ") + 5);
            EXPECT_NE(closed.dumped.find(upToNew), std::string::npos) << closed.dumped;
            EXPECT_NE(closed.dumped.find("(Recommended)"), std::string::npos) << closed.dumped;
        }
    }

    // Nothing to ask: no run, a run closed before its end (the drive stops),
    // a failed run, or the value it opened with.
    m_setup = dcdrive::LoadDefaultSetup();
    const double defaultJt = Base("Jt");
    Install();
    EXPECT_HELD(Run("click 2\n"));
    const dctest::ScriptRun closedEarly = Run("click 10000\nclick 2\n");
    EXPECT_HELD(closedEarly);
    EXPECT_EQ(closedEarly.result, IDCANCEL);
    ExpectDriveIdle();
    EXPECT_EQ(Base("Jt"), defaultJt);
    Install(PlantWith({{"shaftBlocked", true}}));
    EXPECT_HELD(Run("click 10000\nwait\nassert 10004 text \"Test failed\"\nclick 2\n"));
    Install();
    EXPECT_HELD(Run(run + "click 1\n"));
    const double identified = Base("Jt");
    Install();
    const dctest::ScriptRun again = Run(run + "click 2\n");
    EXPECT_HELD(again);
    EXPECT_EQ(again.result, IDCANCEL);
    EXPECT_EQ(Base("Jt"), identified) << "the same plant gives the same value";
}

// "Identify" in the speed tuning test: the inertia test's result, kept with
// Yes, becomes the tuning test's total inertia and its load to motor ratio;
// closed with No, the tuning test keeps what it had.
TEST_F(InertiaTest, IdentifyFromTheSpeedTuningTest) {
    const dcdrive::SubDialogRunner speedTest = dcdrive::FindSubDialog(dcdrive::SubDialog::SpeedTuning);
    if (!speedTest) GTEST_SKIP() << "the speed tuning test is not registered";
    const struct {
        const char* answer;
        double ratio;  // "Jload_over_J" afterwards
    } cases[] = {{"yes", 3.0}, {"no", 1.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        m_setup = dcdrive::LoadDefaultSetup();
        ASSERT_EQ(Base("Jload_over_J"), 1.0);
        // Three times the motor's inertia on the load.
        Install(PlantWith({{"load", {{"inertia", 3 * Base("Jm")}}}}));
        const dctest::ScriptRun run = dctest::RunScript(
            std::string("expect \"Speed Controller Tuning Test\"\ntab 1\nclick 3271\n"
                        "expect \"Total inertia test\"\nset 3267 800\nclick 10000\nwait\n") +
                kPassed + "click 2\nclick " + c.answer +
                "\nexpect \"Speed Controller Tuning Test\"\nclick 1\n",
            [&] { return speedTest(*m_setup, nullptr); });
        EXPECT_HELD(run);
        EXPECT_NEAR(Base("Jload_over_J"), c.ratio, 0.03 * c.ratio);
        EXPECT_NEAR(Base("Jt"), (1.0 + c.ratio) * Base("Jm"), 0.03 * (1.0 + c.ratio) * Base("Jm"));
        ExpectDriveIdle();
    }
}

// A motor inertia set too high shows up once the total is measured: the
// identified "Jt" lies below "Jm", and the next opening of the tuning test
// asks how to treat it; leaving the total as measured switches the motor
// inertia to unknown, so that the message is not shown again.
TEST_F(InertiaTest, IdentifiedTotalBelowTheMotorInertia) {
    const dcdrive::SubDialogRunner speedTest = dcdrive::FindSubDialog(dcdrive::SubDialog::SpeedTuning);
    if (!speedTest) GTEST_SKIP() << "the speed tuning test is not registered";
    m_setup = dcdrive::LoadDefaultSetup();
    // The plant's motor and load have 1.4e-5 kg·m² each; the setup's motor
    // inertia says 4e-5.
    dctest::Set(*m_setup, "Jm", 4e-5);
    dctest::Set(*m_setup, "Jt", 8e-5);
    Install();
    const std::string identify =
        "expect \"Speed Controller Tuning Test\"\ntab 1\nclick 3271\nexpect \"Total inertia test\"\n"
        "set 3267 800\nclick 10000\nwait\n" +
        kPassed + "click 2\nclick yes\nexpect \"Speed Controller Tuning Test\"\nclick 1\n";
    EXPECT_HELD(dctest::RunScript(identify, [&] { return speedTest(*m_setup, nullptr); }));
    EXPECT_NEAR(Base("Jt"), 2.8e-5, 0.02 * 2.8e-5);
    EXPECT_TRUE(dcdrive::TotalBelowMotorInertia(*m_setup));

    const std::string reopen =
        "expect \"Motor inertia\"\nclick 3334\nclick 1\nexpect \"Speed Controller Tuning Test\"\nclick 1\n";
    EXPECT_HELD(dctest::RunScript(reopen, [&] { return speedTest(*m_setup, nullptr); }));
    EXPECT_EQ(Base("isMotorInertiaUnknown"), 1.0);
    EXPECT_NEAR(Base("Jt"), 2.8e-5, 0.02 * 2.8e-5) << "the total stays as measured";
    EXPECT_FALSE(dcdrive::TotalBelowMotorInertia(*m_setup));
    // Nothing is asked any more.
    EXPECT_HELD(dctest::RunScript("expect \"Speed Controller Tuning Test\"\nclick 2\n",
                                  [&] { return speedTest(*m_setup, nullptr); }));
}

// Help opens the test's topic.
TEST_F(InertiaTest, HelpOpensItsTopic) {
    if (!fs::exists(std::string(DCDRIVE_GUI_DIRECTORY) + "dcdrive.qhc"))
        GTEST_FAIL() << "the help collection was not built";
    setenv("KX_GUI_DIRECTORY", DCDRIVE_GUI_DIRECTORY, 1);
    Install();
    EXPECT_HELD(Run("click 10024\nexpect-help 0x40111\nclick 2\n"));
}

}  // namespace
