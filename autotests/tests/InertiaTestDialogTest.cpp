// The total inertia test on real widgets against the virtual drive in virtual
// time: the identified inertia against the plant's, the program's failure
// codes and the drive's faults with their texts, the question on Close, OK,
// and the test opened from the tuning tests' "Identify".
#include "DialogTestSupport.h"
#include "tests/InertiaRules.h"
#include "tests/TestSpeedTuning.h"
#include "tests/TotalInertiaTest.h"

namespace {

const std::string kPassed = "assert 10004 text \"Test passed\"\n";

class InertiaTest : public dctest::DialogTest {
protected:
    dctest::ScriptRun RunTest(const std::string& script) {
        return Run<CTotalInertiaTest>("expect \"Total inertia test\"\n" + script);
    }
};

// "Identify" in the speed tuning test opens the test. It finds the plant's
// total inertia, without and with friction (a few per cent of the test
// torque of 1.6 A · 0.06 N·m/A), at the test current given in its field.
// Kept with Yes, the result becomes the tuning test's total inertia and load
// to motor ratio; closed with No, the tuning test keeps what it had.
TEST_F(InertiaTest, IdentifiesThePlantsTotalInertiaForTheSpeedTuningTest) {
    const struct {
        const char* what;
        nlohmann::json plant;
        const char* amperes;
        const char* answer;
        double tolerance;
    } cases[] = {
        // clang-format off
        {"no friction", nlohmann::json::object(), "0.5", "yes", 0.02},
        {"heavy load, typical friction", {{"load", {{"inertia", 8e-5}, {"viscousFriction", 3e-5}, {"coulombFriction", 0.006}}}}, "1.6", "yes", 0.05},
        {"not kept", {{"load", {{"inertia", 3 * 1.4e-5}}}}, "1.6", "no", 0},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_setup = dcdrive::LoadDefaultSetup();
        const double openingJt = Base("Jt"), openingRatio = Base("Jload_over_J");
        InstallDrive(c.plant);
        EXPECT_HELD(Run<CTestSpeedTuning>(
            "tab 1\nclick 3271\nexpect \"Total inertia test\"\nassert 3263 text \"\"\nset 1005 " +
            std::string(c.amperes) +
            "\nset 3267 800\nclick 10000\nassert 1 disabled\nassert 1005 disabled\nwait\n" + kPassed +
            "click 2\nclick " + c.answer + "\nexpect \"Speed Controller Tuning Test\"\nclick 1\n"));
        ExpectDriveIdle();
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

// After a run that passed, Close asks whether to keep the identified value:
// Yes keeps it, No restores the opening one, Cancel stays in the dialog. OK
// keeps it without asking and gives the test's protection level to the
// drive's. Closing without a run, or after one that found the value the
// dialog opened with, asks nothing.
TEST_F(InertiaTest, CloseOffersTheIdentifiedInertia) {
    const std::string question = "click 2\ndump\n", ok = "set 3265 8.5\nclick 1\n";
    const struct {
        const char* what;
        std::string answers;
        int result;
        bool keeps;
    } cases[] = {
        // clang-format off
        {"yes", question + "shot inertia-question\nclick yes\n", IDOK, true},
        {"no", question + "click no\n", IDCANCEL, false},
        {"cancel, then yes", question + "click cancel\nexpect \"Total inertia test\"\n" + kPassed + "click 2\nclick yes\n", IDOK, true},
        {"ok", ok, IDOK, true},
        // clang-format on
    };
    const double opening = 5e-5;  // far from the plant's 2.8e-5 kg·m²
    const std::string run = "shot inertia-test\nset 1005 0.5\nset 3267 800\nclick 10000\nwait\n" + kPassed +
                            "shot inertia-result\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_setup = dcdrive::LoadDefaultSetup();
        dctest::Set(*m_setup, "Jt", opening);
        const double protection = Base("Imax_Prot");
        InstallDrive();
        const dctest::ScriptRun closed = RunTest(run + c.answers);
        EXPECT_HELD(closed);
        EXPECT_EQ(closed.result, c.result);
        EXPECT_NEAR(Base("Jt"), c.keeps ? PlantInertia() : opening, 0.02 * PlantInertia());
        EXPECT_EQ(Base("Imax_Prot"), c.answers == ok ? 8.5 : protection) << "only OK hands the level on";
        if (c.answers.starts_with(question)) {
            // The old and the new value as "%g" prints them.
            const std::string asked =
                nlohmann::json(dcdrive::InertiaChangeQuestion(opening, PlantInertia())).dump();
            EXPECT_NE(closed.dumped.find(asked.substr(1, asked.find("New = ") + 5)), std::string::npos)
                << closed.dumped;
            EXPECT_NE(closed.dumped.find("(Recommended)"), std::string::npos) << closed.dumped;
        }
    }

    m_setup = dcdrive::LoadDefaultSetup();
    InstallDrive();
    EXPECT_HELD(RunTest("click 2\n"));
    EXPECT_HELD(RunTest(run + "click 1\n"));
    const double identified = Base("Jt");
    InstallDrive();
    const dctest::ScriptRun again = RunTest(run + "click 2\n");
    EXPECT_HELD(again);
    EXPECT_EQ(again.result, IDCANCEL);
    EXPECT_EQ(Base("Jt"), identified) << "the same plant gives the same value";
}

}  // namespace
