// The external reference setup on real widgets.
#include "EditorTest.h"
#include "GuiTest.h"
#include "editors/AnalogReferenceDlg.h"
#include "editors/SubDialogs.h"

namespace {

using namespace dctest;

// The plug-in's resources are registered by the template audit's file of this program.

ScriptRun Play(CKX_Setup& setup, const std::string& script) {
    CAnalogReferenceDlg dialog(setup, nullptr);
    return RunScript("expect \"External Reference Setup\"\n" + script, [&] { return dialog.DoModal(); });
}

// The test runs with no parent. A minimum above the maximum is refused and the stored minimum shown again;
// the maximum's unit goes to the minimum.
TEST(ExternalReference, AppliesItsRulesAndHandlersOnTheWidgets) {
    int opened = 0;
    CWnd* parent = reinterpret_cast<CWnd*>(1);
    const dcdrive::SubDialogOverride test(dcdrive::SubDialog::AnalogueReferenceTest,
                                          [&](CKX_Setup&, CWnd* p) {
                                              ++opened;
                                              parent = p;
                                              return IDOK;
                                          });
    auto setup = VariantOf("ControlMode=0 ExternalReference=1 isAnalogueReference=0 GEARMASTER=-2");
    EXPECT_HELD(
        Play(*setup,
             "assert 1007 text \"Maximum Position\"\nassert 1006 disabled\nassert 3304 hidden\nclick 3116\n"
             "assert 3304 shown\nset 3295 -3\nassert 3296 value 2\nclick 3290\nassert 1006 enabled\n"
             "assert 3116 text \"Limit maximum speed at\"\nshot external-reference\nclick 1000\nclick 1\n"));
    ExpectValues(*setup, "isAnalogueReference=1 isLimitMaximum=1 GEARMASTER=2 GEARSLAVE=3");
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(parent, nullptr);

    setup = VariantOf("ControlMode=1 isAnalogueReference=1");
    EXPECT_HELD(Play(*setup, "set 1006 300\nset 1008 400\nclick ok\nunit 1015 rot/s\nclick 1\n"));
    const CKX_Parameter* max = setup->FindParameter("SPD_max");
    const CKX_Parameter* min = setup->FindParameter("SPD_min");
    EXPECT_NEAR(max->GetValueInBaseUnit(), 300 * 2 * 3.141592653589793 / 60, 1e-9);
    EXPECT_DOUBLE_EQ(min->GetMaxInBaseUnit(), max->GetValueInBaseUnit());
    EXPECT_LT(min->GetValueInBaseUnit(), max->GetValueInBaseUnit());
    EXPECT_EQ(max->GetUnitName(), "rot/s");
    EXPECT_EQ(min->GetUnitName(), "rot/s");
}

}  // namespace
