// The analogue reference test on real widgets against the virtual drive in
// virtual time: the voltage and the command it shows at the ends of the
// input in each control mode, the failures with their texts and a usable
// dialog after each, and its opening from the external reference setup.
#include "DialogTestSupport.h"
#include "editors/AnalogReferenceDlg.h"
#include "kx/gui/TestDlg.h"
#include "tests/TestAnalogueRef.h"

namespace {

class AnalogueRefTest : public dctest::DialogTest {
protected:
    dctest::ScriptRun RunTest(const std::string& script) {
        return Run<CTestAnalogueRef>("expect \"Analogue Reference Test\"\n" + script);
    }
};

// A 20 V input read at its ends: 0 and 0xFFC0 of the converter.
TEST_F(AnalogueRefTest, ShowsTheInputAndItsCommandAtBothEnds) {
    const struct {
        int mode;
        std::string label, unit, lowest, highest;  // the command at -10 V and at +10 V
    } cases[] = {
        {0, "Position command", "rot", "-4.10", "4.10"},
        {1, "Speed command", "rpm", "-6000.00", "6000.00"},
        {2, "Current command", "A", "-2.50", "2.50"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        UseSetup(dctest::Variant({{"ControlMode", double(c.mode)}, {"AnalogueInputsRange", 20}}));
        InstallDrive();
        const std::string shot = "shot analogue-test-mode" + std::to_string(c.mode) + "\n";
        EXPECT_HELD(RunTest(
            "assert 1013 text \"" + c.label + "\"\nassert 1016 text \"V\"\nassert 1017 text \"" + c.unit +
            "\"\nassert 1010 text \"\"\nanalogue -10\nclick 10000\nwait 0.1\n"
            "assert 10001 text \"Running test\"\nassert 10000 text \"Stop\"\n"
            "assert 1010 text \"-10.00\"\nassert 1011 text \"" +
            c.lowest +
            "\"\n"
            "analogue 10\nwait 0.1\nassert 1010 text \"10.00\"\nassert 1011 text \"" +
            c.highest + "\"\n" + shot +
            "analogue 0\nwait 0.1\nassert 1010 text \"0.00\"\nassert 1011 text \"0.00\"\n"
            "click 10000\nwait 0.1\nassert 10004 text \"Test passed\"\nassert 10000 text \"Start\"\n"
            "click 2\n"));
        ExpectDriveIdle();
    }
}

// The external reference setup opens the test on what it has edited: the
// maximum position typed there, as the setup holds it after the drivers have
// run, is the command at the top of the input.
TEST_F(AnalogueRefTest, OpensFromTheExternalReferenceSetup) {
    UseSetup(dctest::Variant({{"ControlMode", 0}, {"isAnalogueReference", 1}}));
    InstallDrive();
    CKX_Setup expected(*m_setup);
    expected.FindParameter("POS_max")->SetValueInDisplayUnit(2.0);
    dcdrive::RunBothDrivers(expected);
    char command[32];
    std::snprintf(command, sizeof command, "%.2f",
                  expected.FindParameter("POS_max")->GetValueInDisplayUnit());
    EXPECT_NEAR(std::stod(command), 2.0, 0.1);
    CAnalogReferenceDlg editor(*m_setup, nullptr);
    EXPECT_HELD(dctest::RunScript(
        "expect \"External Reference Setup\"\nset 1006 2\nclick 1000\nexpect \"Analogue Reference Test\"\n"
        "analogue 10\nclick 10000\nwait 0.1\nassert 1010 text \"10.00\"\nassert 1011 text \"" +
            std::string(command) +
            "\"\nclick 10000\nwait 0.1\nassert 10004 text \"Test passed\"\nclick 2\n"
            "expect \"External Reference Setup\"\nclick 2\n",
        [&] { return editor.DoModal(); }));
    ExpectDriveIdle();
}

}  // namespace
