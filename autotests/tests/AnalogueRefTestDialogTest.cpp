// The analogue reference test on real widgets against the virtual drive in
// virtual time: the voltage and the command it shows at the ends of the
// input in each control mode, Stop as the end of a good run, the failures
// with their texts and a usable dialog after each, the drive stopped when
// the dialog closes during a run, and its opening from the external
// reference setup.
#include "EncoderTestSupport.h"
#include "editors/AnalogReferenceDlg.h"
#include "kx/gui/TestDlg.h"
#include "tests/TestAnalogueRef.h"

namespace {

using dctest::Quoted;

class AnalogueRefTest : public dctest::InputTest {
protected:
    void SetUp() override {
        InputTest::SetUp();
        Install();
    }

    dctest::ScriptRun Run(CKX_Setup& setup, const std::string& script) {
        dcdrive::ParametersToRegisters(setup);
        CTestAnalogueRef dialog(setup, 1, nullptr);
        return dctest::RunScript("expect \"Analogue Reference Test\"\n" + script,
                                 [&] { return dialog.DoModal(); });
    }
};

// A 20 V input read at its ends: 0 and 0xFFC0 of the converter.
TEST_F(AnalogueRefTest, ShowsTheInputAndItsCommandAtBothEnds) {
    const struct {
        int mode;
        const char* label;
        const char* unit;
        const char* lowest;   // the command at -10 V
        const char* highest;  // at +10 V
    } cases[] = {
        {0, "Position command", "rot", "-4.10", "4.10"},
        {1, "Speed command", "rpm", "-6000.00", "6000.00"},
        {2, "Current command", "A", "-2.50", "2.50"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        auto setup = dctest::Variant({{"ControlMode", double(c.mode)}, {"AnalogueInputsRange", 20}});
        const std::string shot = "shot analogue-test-mode" + std::to_string(c.mode) + "\n";
        const auto run =
            Run(*setup, std::string("assert 1013 text \"") + c.label + "\"\nassert 1016 text \"V\"\n" +
                            "assert 1017 text \"" + c.unit + "\"\nassert 1010 text \"\"\n" +
                            "analogue -10\nclick 10000\nwait 0.1\nassert 10001 text \"Running test\"\n"
                            "assert 10000 text \"Stop\"\nassert 1010 text \"-10.00\"\n"
                            "assert 1011 text \"" +
                            c.lowest + "\"\n" +
                            "analogue 10\nwait 0.1\nassert 1010 text \"10.00\"\n"
                            "assert 1011 text \"" +
                            c.highest + "\"\n" + shot +
                            "analogue 0\nwait 0.1\nassert 1010 text \"0.00\"\nassert 1011 text \"0.00\"\n"
                            "click 10000\nwait 0.1\nassert 10004 text \"Test passed\"\n"
                            "assert 10000 text \"Start\"\nclick 2\n");
        EXPECT_HELD(run);
        ExpectDriveIdle();
    }
}

// Each failure ends the run with its text under Details; with the cause
// gone, the next run passes in the same dialog.
TEST_F(AnalogueRefTest, FailuresEndTheRunWithTheirTextAndLeaveTheDialogUsable) {
    const std::string internal = CKX_TestDlg::msc_pszErrInternal;
    const struct {
        const char* fault;
        bool duringRun;
        std::string message;
    } cases[] = {
        {"short-circuit", true, "Drive / Motor shortcircuit protection triggered."},
        {"comm-down", false, internal},
        {"comm-down", true, internal},  // the motion error register cannot be read either
        {"no-program", false, internal},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fault) + (c.duringRun ? " during the run" : " before the start"));
        Install();
        auto setup = dcdrive::LoadDefaultSetup();
        const std::string on = std::string("fault ") + c.fault + " on\n";
        const std::string off = std::string("fault ") + c.fault + " off\n";
        const std::string start = c.duringRun ? "click 10000\nwait 0.1\n" + on : on + "click 10000\n";
        const auto run =
            Run(*setup, start +
                            "wait 0.1\nassert 10004 text \"Test failed\"\nassert 10000 text \"Start\"\n"
                            "click 10003\nmessage " +
                            Quoted(c.message) + "\nclick ok\n" + off +
                            "click 10000\nwait 0.1\nassert 1010 text \"0.00\"\nclick 10000\nwait 0.1\n"
                            "assert 10004 text \"Test passed\"\nclick 2\n");
        EXPECT_HELD(run);
        ExpectDriveIdle();
    }
}

TEST_F(AnalogueRefTest, ClosingDuringARunStopsTheDrive) {
    auto setup = dcdrive::LoadDefaultSetup();
    const auto run = Run(*setup, "click 10000\nwait 0.1\nclick 2\n");
    EXPECT_HELD(run);
    ExpectDriveIdle();
    // The drive takes the next program at once.
    EXPECT_TRUE(Drive().StartProgram("Analogue_Reference_Test"));
    Drive().Stop();
}

// The external reference setup opens the test on what it has edited: the
// maximum position typed there, as the setup holds it after the drivers have
// run, is the command at the top of the input.
TEST_F(AnalogueRefTest, OpensFromTheExternalReferenceSetup) {
    auto setup = dctest::Variant({{"ControlMode", 0}, {"isAnalogueReference", 1}});
    CKX_Setup expected(*setup);
    expected.FindParameter("POS_max")->SetValueInDisplayUnit(2.0);
    dcdrive::RunBothDrivers(expected);
    char command[32];
    std::snprintf(command, sizeof command, "%.2f",
                  expected.FindParameter("POS_max")->GetValueInDisplayUnit());
    CAnalogReferenceDlg editor(*setup, nullptr);
    const auto run = dctest::RunScript(
        "expect \"External Reference Setup\"\nset 1006 2\nclick 1000\nexpect \"Analogue Reference Test\"\n"
        "analogue 10\nclick 10000\nwait 0.1\nassert 1010 text \"10.00\"\nassert 1011 text \"" +
            std::string(command) +
            "\"\nclick 10000\nwait 0.1\nassert 10004 text \"Test passed\"\nclick 2\n"
            "expect \"External Reference Setup\"\nclick 2\n",
        [&] { return editor.DoModal(); });
    EXPECT_HELD(run);
    EXPECT_NEAR(std::stod(command), 2.0, 0.1);
    ExpectDriveIdle();
}

}  // namespace
