// The external reference setup on real widgets, answered by dialog scripts:
// its rules reaching the controls, the range limits and units as typed, its
// test and its opening from the drive setup (the logic is in
// AnalogReferenceRulesTest.cpp).
#include "EditorTest.h"
#include "GuiTest.h"
#include "conversions/Drivers.h"
#include "editors/AnalogReferenceDlg.h"
#include "editors/DriveSetupDlg.h"
#include "editors/SubDialogs.h"

namespace {

// The plug-in's resources are registered by the template audit's file of this program.

class ExternalReference : public ::testing::Test {
protected:
    std::unique_ptr<CKX_Setup> setup = dcdrive::LoadDefaultSetup();

    void Set(const char* name, double value) { dctest::Set(*setup, name, value); }
    double Value(const char* name) const { return dctest::Value(*setup, name); }

    dctest::ScriptRun Run(const std::string& script) {
        CAnalogReferenceDlg dialog(*setup, nullptr);
        return dctest::RunScript("expect \"External Reference Setup\"\n" + script,
                                 [&] { return dialog.DoModal(); });
    }
};

// The rules reach the widgets on opening and rerun on each change; the gear
// ratio handler reaches the setup.
TEST_F(ExternalReference, AppliesItsRulesOnOpeningAndOnEachChange) {
    Set("ControlMode", 0);
    Set("isAnalogueReference", 0);
    Set("GEARMASTER", -2);
    EXPECT_HELD(
        Run("assert 1007 text \"Maximum Position\"\nassert 1006 disabled\nassert 3304 hidden\nclick 3116\n"
            "assert 3304 shown\nset 3295 -3\nassert 3296 value 2\nclick 3290\nassert 1006 enabled\n"
            "assert 3116 text \"Limit maximum speed at\"\nshot external-reference\nclick 1\n"));
    EXPECT_EQ(Value("isAnalogueReference"), 1);
    EXPECT_EQ(Value("isLimitMaximum"), 1);
    EXPECT_EQ(Value("GEARMASTER"), 2);
    EXPECT_EQ(Value("GEARSLAVE"), 3);
}

// A minimum above the maximum is refused and the stored minimum shown again;
// the maximum's unit goes to the minimum.
TEST_F(ExternalReference, RangeEndsLimitEachOtherAndShareTheUnit) {
    Set("ControlMode", 1);
    Set("isAnalogueReference", 1);
    EXPECT_HELD(Run("set 1006 300\nset 1008 400\nclick ok\nunit 1015 rot/s\nclick 1\n"));
    const CKX_Parameter* max = setup->FindParameter("SPD_max");
    const CKX_Parameter* min = setup->FindParameter("SPD_min");
    EXPECT_NEAR(max->GetValueInBaseUnit(), 300 * 2 * 3.141592653589793 / 60, 1e-9);
    EXPECT_DOUBLE_EQ(min->GetMaxInBaseUnit(), max->GetValueInBaseUnit());
    EXPECT_LT(min->GetValueInBaseUnit(), max->GetValueInBaseUnit());
    EXPECT_EQ(max->GetUnitName(), "rot/s");
    EXPECT_EQ(min->GetUnitName(), "rot/s");
}

TEST_F(ExternalReference, TestRunsBetweenTheDrivers) {
    Set("isAnalogueReference", 1);
    int opened = 0;
    CWnd* parent = reinterpret_cast<CWnd*>(1);
    const dcdrive::SubDialogOverride override(dcdrive::SubDialog::AnalogueReferenceTest,
                                              [&](CKX_Setup&, CWnd* p) {
                                                  ++opened;
                                                  parent = p;
                                                  return IDOK;
                                              });
    EXPECT_HELD(Run("assert 1000 enabled\nclick 1000\nclick 2\n"));
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(parent, nullptr);
}

TEST_F(ExternalReference, OpensFromTheDriveSetup) {
    Set("ControlMode", 0);
    Set("ExternalReference", 0);
    dcdrive::ParametersToRegisters(*setup);
    CDriveSetupDlg dialog(*setup, nullptr);
    EXPECT_HELD(dctest::RunScript(
        dctest::kCloseMotorSetup +
            "expect \"Drive Setup\"\nclick 1064\nclick 3208\nexpect \"External Reference Setup\"\n"
            "shot external-reference-from-drive-setup\nclick 3292\nclick 1\nexpect \"Drive Setup\"\nclick "
            "1\n",
        [&] { return dialog.DoModal(); }));
    EXPECT_EQ(Value("ExternalReference"), 1);
    EXPECT_EQ(Value("DigitalReferenceType"), 1);
}

}  // namespace
