// The plug-in's editors on real widgets, answered by dialog scripts: the
// template audit, the drive setup editor's handlers and sub-dialogs, drive
// info and the motor inertia question.
#include <QLocale>
#include <QWidget>
#include <cmath>
#include <filesystem>
#include <map>

#include "DefaultSetup.h"
#include "GuiTest.h"
#include "editors/AnalogReferenceDlg.h"
#include "conversions/Derived.h"
#include "conversions/Drivers.h"
#include "editors/AdvancedDialog.h"
#include "editors/DriveInfo.h"
#include "editors/DriveSetupDlg.h"
#include "editors/EditorRules.h"
#include "editors/FiltersDialog.h"
#include "editors/InertiaQuestion.h"
#include "editors/SubDialogs.h"
#include "editors/Templates.h"
#include "kx/Setup.h"
#include "kx/gui/ValueText.h"

namespace {

using dcdrive::SubDialog;
using dcdrive::SubDialogOverride;

const kx::ModuleRegistration g_plugin(dcdrive::PluginResources());

double Value(const CKX_Setup& setup, const char* name) { return setup.GetParameterValueInBaseUnit(name); }

void Set(CKX_Setup& setup, const char* name, double value) {
    const kx::QuietLookup quiet;
    CKX_Parameter* p = setup.FindParameter(name);
    if (!p) p = setup.AddParameter(name);
    p->SetMinInBaseUnit(std::min(p->GetMinInBaseUnit(), value));
    p->SetMaxInBaseUnit(std::max(p->GetMaxInBaseUnit(), value));
    p->SetValueInBaseUnit(value);
}

// The dialogs of the plug-in by template, so that every registered template
// is checked against the tables of the dialog built from it.
const std::map<unsigned, std::function<std::unique_ptr<CKX_EditSetupDlg>(CKX_Setup&)>> kDialogs{
    {kDriveSetupTemplate, [](CKX_Setup& s) { return std::make_unique<CDriveSetupDlg>(s, nullptr); }},
    {kDriveInfoTemplate, [](CKX_Setup& s) { return std::make_unique<CDriveInfo>(s, nullptr); }},
    {kInertiaQuestionTemplate, [](CKX_Setup& s) { return std::make_unique<CInertiaQuestion>(s, nullptr); }},
    {kAdvancedTemplate, [](CKX_Setup& s) { return std::make_unique<CAdvancedDialog>(s, nullptr); }},
    {kAnalogReferenceTemplate, [](CKX_Setup& s) { return std::make_unique<CAnalogReferenceDlg>(s, nullptr); }},
    {kFiltersTemplate, [](CKX_Setup& s) { return std::make_unique<CFiltersDialog>(s, 0, nullptr); }},
};

TEST(TemplateAudit, EveryTemplateHoldsWhatItsDialogNames) {
    // Setups that take the rules and conditional bindings down their
    // different branches.
    std::vector<std::unique_ptr<CKX_Setup>> setups;
    setups.push_back(dcdrive::LoadDefaultSetup());
    setups.push_back(dcdrive::LoadDefaultSetup());
    Set(*setups.back(), "ControlMode", 1);
    setups.back()->RemoveParameter("SpeedForward");
    setups.push_back(dcdrive::LoadDefaultSetup());
    Set(*setups.back(), "ControlMode", 2);
    setups.back()->RemoveParameter("save_CAN_baudrate");
    setups.back()->SetOption("DisableBrake", "1");
    const auto ids = kx::ResourceChain::Instance().TemplateIds();
    ASSERT_FALSE(ids.empty());
    for (unsigned id : ids) {
        SCOPED_TRACE("template " + std::to_string(id));
        const auto maker = kDialogs.find(id);
        for (auto& setup : setups) {
            std::unique_ptr<CKX_EditSetupDlg> dialog =
                maker != kDialogs.end()
                    ? maker->second(*setup)
                    : std::make_unique<CKX_EditSetupDlg>(*setup, id, 1, nullptr, nullptr);  // a host template
            ASSERT_NE(dialog->GetWindow(), nullptr);
            const auto run = dctest::RunScript("key escape\n", [&] { return dialog->DoModal(); });
            EXPECT_HELD(run);
            for (const std::string& problem : dialog->AuditProblems()) ADD_FAILURE() << problem;
        }
    }
}

class DriveSetup : public ::testing::Test {
protected:
    std::unique_ptr<CKX_Setup> setup = dcdrive::LoadDefaultSetup();

    // The editor reads the registers back when it opens: what a test set in
    // the parameters goes into the registers first.
    dctest::ScriptRun Run(const std::string& script) {
        dcdrive::ParametersToRegisters(*setup);
        CDriveSetupDlg dialog(*setup, nullptr);
        return dctest::RunScript(script, [&] { return dialog.DoModal(); });
    }
};

TEST_F(DriveSetup, AxisIdListAndItsCANopenMessage) {
    Set(*setup, "Axis_ID_list", 0);
    const auto run =
        Run("expect \"Drive Setup\"\n"
            "assert 3136 text \"H/W\"\n"
            "select 3136 \"130\"\n"
            "message \"" +
            std::string(dcdrive::kAxisIdCANopenMessage) +
            "\"\n"
            "shot axis-id-message\n"
            "click ok\n"
            "select 3136 \"127\"\n"
            "assert 3136 text \"127\"\n"  // no message for a CANopen axis ID
            "select 3136 \"H/W\"\n"
            "click 1\n");
    EXPECT_HELD(run);
    EXPECT_EQ(run.result, IDOK);
    EXPECT_EQ(Value(*setup, "Axis_ID_list"), 0);

    Set(*setup, "Axis_ID_list", 0);
    EXPECT_HELD(Run("select 3136 \"255\"\nclick ok\nclick 1\n"));
    EXPECT_EQ(Value(*setup, "Axis_ID_list"), 255);
}

TEST_F(DriveSetup, SpeedModeResetsGearingReferenceAndFreeze) {
    Set(*setup, "ControlMode", 0);
    Set(*setup, "GEARMASTER", 3);
    Set(*setup, "isAnalogueReference", 0);
    Set(*setup, "isFreezeControl", 1);
    const auto run =
        Run("assert 3189 enabled\n"
            "click 1060\n"
            "assert 3189 disabled\n"
            "assert 3177 enabled\n"
            "assert 3291 checked\n"  // the analogue reference
            "click 2\n");
    EXPECT_HELD(run);
    EXPECT_EQ(run.result, IDCANCEL);
    // Cancel keeps what was edited: the caller decides what to keep.
    EXPECT_EQ(Value(*setup, "ControlMode"), 1);
    EXPECT_EQ(Value(*setup, "GEARMASTER"), 1);
    EXPECT_EQ(Value(*setup, "GEARSLAVE"), 1);
    EXPECT_EQ(Value(*setup, "isFreezeControl"), 0);
}

TEST_F(DriveSetup, TachogeneratorRules) {
    Set(*setup, "MotorSensorType", 2);
    Set(*setup, "LoadSensorType", 0);
    Set(*setup, "ControlMode", 1);
    EXPECT_HELD(Run("assert 1059 disabled\nassert 3354 disabled\nclick 2\n"));

    setup = dcdrive::LoadDefaultSetup();
    Set(*setup, "MotorSensorType", 2);
    Set(*setup, "LoadSensorType", 1);
    Set(*setup, "ControlMode", 0);
    Set(*setup, "PositionControlType", 0);
    EXPECT_HELD(Run("assert 1059 enabled\nclick 3213\nassert 3177 enabled\nclick 1\n"));
    EXPECT_EQ(Value(*setup, "PositionControlType"), 1);
}

TEST_F(DriveSetup, SoftwareLimitsStayInOrder) {
    Set(*setup, "ControlMode", 0);
    Set(*setup, "isSWLS", 1);
    Set(*setup, "Positive_SWLS", 10);
    Set(*setup, "Negative_SWLS", -10);
    CKX_Parameter* negative = setup->FindParameter("Negative_SWLS");
    negative->SetMaxInBaseUnit(1e6);
    const std::string typed =
        kx::FormatDisplayNumber(negative->GetValueInDisplayUnit() * -2, 0).toStdString();
    const auto run = Run("set 3274 \"" + typed + "\"\nclick 1\n");
    EXPECT_HELD(run);
    EXPECT_DOUBLE_EQ(Value(*setup, "Negative_SWLS"), Value(*setup, "Positive_SWLS"));
}

TEST_F(DriveSetup, ATypedGainShowsWhatTheDriveUses) {
    const auto run = Run("set 3173 1.23456789\nclick 1\n");
    EXPECT_HELD(run);
    const double kept = Value(*setup, "Kp_C_scl");
    EXPECT_NEAR(kept, 1.23456789, 1e-3);
    dcdrive::RegistersToParameters(*setup);
    EXPECT_DOUBLE_EQ(Value(*setup, "Kp_C_scl"), kept);
}

TEST_F(DriveSetup, PositionRangeIsWidenedOnOK) {
    Set(*setup, "isPosRange", 1);
    Set(*setup, "PosRange_Minimum", 0);
    Set(*setup, "PosRange_Maximum", 0);
    dcdrive::ParametersToRegisters(*setup);
    EXPECT_HELD(Run("click 1\n"));
    const double s = std::fabs(dcdrive::PositionScale(*setup));
    EXPECT_NEAR(Value(*setup, "PosRange_Minimum") * s, -3.0, 1e-6);
    EXPECT_NEAR(Value(*setup, "PosRange_Maximum") * s, 0.0, 1e-6);
}

TEST_F(DriveSetup, SinkInputsOnAQZDrive) {
    setup->ClearOption("IsInputsTypeProgrammable");
    setup->SetDescription("DC servo drive QZ 48 V / 10 A");
    EXPECT_HELD(
        Run("assert 3407 checked\n"
            "assert 3406 unchecked\n"
            "assert 3407 disabled\n"
            "assert 3404 text \"Active high (Connected to +Vlog)\"\n"
            "assert 3405 text \"Active low (Open/No connection)\"\n"
            "click 2\n"));
}

TEST_F(DriveSetup, EditingMotionCompleteLeavesTheDefaults) {
    Set(*setup, "ControlMode", 0);
    Set(*setup, "MotionCompleteType", 0);
    Set(*setup, "MotionCompleteDefaultSettings", 1);
    // On show the defaults are applied: a band of pi, a time of one slow-loop period.
    CDriveSetupDlg dialog(*setup, nullptr);
    const auto run =
        dctest::RunScript("assert 3554 shown\nset 3554 2\nclick 1\n", [&] { return dialog.DoModal(); });
    EXPECT_HELD(run);
    EXPECT_EQ(Value(*setup, "MotionCompleteDefaultSettings"), 0);
}

TEST_F(DriveSetup, CANBusGroupAndItsSettings) {
    EXPECT_HELD(
        Run("assert 10021 selected 500\n"
            "select 10021 250\n"
            "click 10022\n"
            "expect \"CANopen settings\"\n"
            "shot canopen-settings\n"
            "set 10031 100\n"
            "click 1\n"
            "expect \"Drive Setup\"\n"
            "click 3378\n"
            "assert 10021 disabled\n"  // the baud rate is not saved in the drive: nothing to choose
            "click 1\n"));
    EXPECT_EQ(Value(*setup, "CANbus_baudrate"), 250);
    EXPECT_DOUBLE_EQ(Value(*setup, "CANopen_heartbeat"), 0.1);
    EXPECT_EQ(Value(*setup, "save_CAN_baudrate"), 0);
    // A drive without a CAN bus keeps the group off.
    setup->RemoveParameter("CANbus_baudrate");
    EXPECT_HELD(Run("assert 10020 disabled\nassert 10022 disabled\nclick 2\n"));
}

TEST_F(DriveSetup, ButtonsOfMissingDialogsAreDisabled) {
    Set(*setup, "ControlMode", 1);
    Set(*setup, "ExternalReference", 1);
    EXPECT_HELD(
        Run("assert 3171 disabled\nassert 3178 disabled\nassert 3208 enabled\n"
            "assert 10019 disabled\nassert 3159 enabled\nclick 2\n"));
}

// What the drive setup editor did around a sub-dialog, seen from inside it.
struct Seen {
    int opened = 0;
    double registerAtOpen = 0;
};

// IMAXPROT follows "Imax_Prot" only through the parameter-to-register driver.
double ProtectionRegisterFor(const CKX_Setup& setup, double amperes) {
    CKX_Setup copy(setup);
    copy.FindParameter("Imax_Prot")->SetValueInBaseUnit(amperes);
    dcdrive::ParametersToRegisters(copy);
    return Value(copy, "IMAXPROT");
}

TEST_F(DriveSetup, DriversRunAroundSubDialogs) {
    Set(*setup, "isOverCurrent", 1);
    Set(*setup, "ControlMode", 1);
    const double before = 2.0, inside = 3.0;
    const double registerBefore = ProtectionRegisterFor(*setup, before);
    const double registerInside = ProtectionRegisterFor(*setup, inside);
    ASSERT_NE(registerBefore, registerInside);
    const struct {
        const char* what;
        SubDialog kind;
        unsigned button;
        int result;
        bool driversAfter;
    } cases[] = {
        {"drive info, cancelled: drivers whatever the result", SubDialog::DriveInfo, 3159, IDCANCEL, true},
        {"external reference, OK", SubDialog::ExternalReference, 3208, IDOK, true},
        {"external reference, cancelled", SubDialog::ExternalReference, 3208, IDCANCEL, false},
        {"speed tuning, OK", SubDialog::SpeedTuning, 3178, IDOK, true},
        {"advanced, cancelled", SubDialog::Advanced, 3158, IDCANCEL, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        setup = dcdrive::LoadDefaultSetup();
        Set(*setup, "isOverCurrent", 1);
        Set(*setup, "ControlMode", 1);
        Set(*setup, "ExternalReference", 1);
        Seen seen;
        const SubDialogOverride override(c.kind, [&](CKX_Setup& s, CWnd*) {
            ++seen.opened;
            seen.registerAtOpen = Value(s, "IMAXPROT");
            s.FindParameter("Imax_Prot")->SetValueInBaseUnit(inside);
            return c.result;
        });
        const std::string typed = kx::FormatDisplayNumber(before, 3).toStdString();
        dcdrive::ParametersToRegisters(*setup);
        CDriveSetupDlg dialog(*setup, nullptr);
        const auto run =
            dctest::RunScript("set 3214 \"" + typed + "\"\nclick " + std::to_string(c.button) + "\nclick 2\n",
                              [&] { return dialog.DoModal(); });
        EXPECT_HELD(run);
        EXPECT_EQ(seen.opened, 1);
        EXPECT_EQ(seen.registerAtOpen, registerBefore);  // the registers were written before it opened
        EXPECT_EQ(Value(*setup, "IMAXPROT"), c.driversAfter ? registerInside : registerBefore);
    }
}

TEST_F(DriveSetup, CurrentTuningWarnsThatTheShaftMustBeBlocked) {
    int opened = 0;
    const SubDialogOverride override(SubDialog::CurrentTuning, [&](CKX_Setup&, CWnd*) {
        ++opened;
        return IDCANCEL;
    });
    EXPECT_HELD(Run(
        "click 3137\nmessage \"The test must be performed with motor shaft blocked.\"\nclick ok\nclick 2\n"));
    EXPECT_EQ(opened, 1);
}

TEST_F(DriveSetup, MotorSetupOpensOnShow) {
    int opened = 0;
    std::string over;
    const SubDialogOverride override(SubDialog::MotorSetup, [&](CKX_Setup&, CWnd* parent) {
        ++opened;
        over = parent ? parent->windowTitle().toStdString() : "";
        return IDOK;
    });
    EXPECT_HELD(Run("expect \"Drive Setup\"\nwait 0.01\nassert 10019 enabled\nclick 2\n"));
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(over, "Drive Setup");
}

TEST_F(DriveSetup, HelpOpensItsTopic) {
    if (!std::filesystem::exists(std::string(DCDRIVE_GUI_DIRECTORY) + "dcdrive.qhc"))
        GTEST_FAIL() << "the help collection was not built";
    setenv("KX_GUI_DIRECTORY", DCDRIVE_GUI_DIRECTORY, 1);
    EXPECT_HELD(Run("click 10024\nexpect-help 0x40106\nclick 2\n"));
    setup->SetHelpFile("");
    EXPECT_HELD(
        Run("click 10024\nexpect \"Drive Setup\"\nclick 2\n"));  // no help file: nothing opens, no message
}

TEST(DriveInfoDialog, KeyChordSwitchesToEditing) {
    auto setup = dcdrive::LoadDefaultSetup();
    setup->SetE2ROMSize(16 << 10);
    CDriveInfo dialog(*setup, nullptr);
    const auto run = dctest::RunScript(
        "expect \"Drive info\"\n"
        "assert 3276 text \"16\"\n"
        "assert 3087 disabled\n"
        "assert 3275 disabled\n"
        "assert 3114 enabled\n"
        "key ctrl+alt+shift+k\n"
        "assert 3087 enabled\n"
        "assert 3275 enabled\n"
        "set 3276 abc\n"
        "key ctrl+alt+shift+k\n"
        "assert 3087 disabled\n"
        "click 1\n",
        [&] { return dialog.DoModal(); });
    EXPECT_HELD(run);
    EXPECT_EQ(setup->GetE2ROMSize(), 0u);  // a size that is no number stores 0
}

TEST(DriveInfoDialog, SizesAndIdentities) {
    auto setup = dcdrive::LoadDefaultSetup();
    CDriveInfo dialog(*setup, nullptr);
    const std::string tooLong(65, 'F');
    const auto run = dctest::RunScript(
        "key ctrl+alt+shift+k\n"
        "set 3276 64\n"
        "click 1\n"
        "message \"" +
            std::string(dcdrive::kE2ROMSizeMessage) +
            "\"\n"
            "click ok\n"
            "set 3276 32\n"
            "set 3275 \"My drive\"\n"
            "set 3114 \"Axis 3\"\n"
            "set 3278 \"" +
            tooLong +
            "\"\n"
            "click 1\n"
            "message \"Error setting the firmware ID!\"\n"
            "click ok\n",
        [&] { return dialog.DoModal(); });
    EXPECT_HELD(run);
    EXPECT_EQ(run.result, IDOK);
    EXPECT_EQ(setup->GetE2ROMSize(), 32u << 10);
    EXPECT_EQ(setup->GetDescription(), "My drive");
    EXPECT_EQ(setup->GetUserAppID(), "Axis 3");
    EXPECT_NE(setup->GetFirmwareID(), tooLong);
}

TEST(DriveInfoDialog, NoOverTemperatureProtectionWithoutTheSensor) {
    auto setup = dcdrive::LoadDefaultSetup();
    Set(*setup, "isDriveTemperatureSensor", 1);
    Set(*setup, "isDriveOverTemp", 1);
    CDriveInfo dialog(*setup, nullptr);
    const auto run = dctest::RunScript(
        "key ctrl+alt+shift+k\nclick 3097\nassert 3325 unchecked\nassert 1178 disabled\nclick 1\n",
        [&] { return dialog.DoModal(); });
    EXPECT_HELD(run);
    EXPECT_EQ(Value(*setup, "isDriveOverTemp"), 0);
}

TEST(InertiaQuestionDialog, Choices) {
    for (const bool second : {false, true}) {
        auto setup = dcdrive::LoadDefaultSetup();
        Set(*setup, "Jm", 2e-5);
        Set(*setup, "Jt", 1e-5);
        Set(*setup, "isMotorInertiaUnknown", 0);
        CInertiaQuestion dialog(*setup, nullptr);
        const std::string script =
            second ? "click 3334\nassert 1 enabled\nclick 1\n" : "assert 3333 checked\nclick 1\n";
        const auto run = dctest::RunScript("expect \"Motor inertia\"\nshot motor-inertia\n" + script,
                                           [&] { return dialog.DoModal(); });
        EXPECT_HELD(run);
        EXPECT_EQ(run.result, IDOK);
        EXPECT_DOUBLE_EQ(Value(*setup, "Jt"), second ? 1e-5 : 2e-5 * 1.01);
        EXPECT_EQ(Value(*setup, "isMotorInertiaUnknown"), second ? 1 : 0);
    }
}

}  // namespace
