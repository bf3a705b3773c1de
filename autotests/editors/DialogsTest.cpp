// The template audit, and the drive setup editor and its sub-dialogs on real widgets.
#include <filesystem>
#include <nlohmann/json.hpp>

#include "EditorTest.h"
#include "GuiTest.h"
#include "conversions/Derived.h"
#include "conversions/Drivers.h"
#include "editors/AdvancedDialog.h"
#include "editors/AnalogReferenceDlg.h"
#include "editors/DriveInfo.h"
#include "editors/DriveSetupDlg.h"
#include "editors/FiltersDialog.h"
#include "editors/InertiaQuestion.h"
#include "editors/MotorSetupDialog.h"
#include "editors/SubDialogs.h"
#include "editors/Templates.h"
#include "kx/SetupFile.h"
#include "kx/gui/ValueText.h"

namespace {

using namespace dctest;
using dcdrive::SubDialog;

const kx::ModuleRegistration g_plugin(dcdrive::PluginResources());

// The dialogs of the plug-in by template, so that every registered template
// is checked against the tables of the dialog built from it.
const std::map<unsigned, std::function<std::unique_ptr<CKX_EditSetupDlg>(CKX_Setup&)>> kDialogs{
    {kDriveSetupTemplate, [](CKX_Setup& s) { return std::make_unique<CDriveSetupDlg>(s, nullptr); }},
    {kDriveInfoTemplate, [](CKX_Setup& s) { return std::make_unique<CDriveInfo>(s, nullptr); }},
    {kInertiaQuestionTemplate, [](CKX_Setup& s) { return std::make_unique<CInertiaQuestion>(s, nullptr); }},
    {kAdvancedTemplate, [](CKX_Setup& s) { return std::make_unique<CAdvancedDialog>(s, nullptr); }},
    {kAnalogReferenceTemplate,
     [](CKX_Setup& s) { return std::make_unique<CAnalogReferenceDlg>(s, nullptr); }},
    {kFiltersTemplate, [](CKX_Setup& s) { return std::make_unique<CFiltersDialog>(s, 0, nullptr); }},
    {kMotorSetupTemplate, [](CKX_Setup& s) { return std::make_unique<CMotorSetupDialog>(s, nullptr); }},
};

TEST(TemplateAudit, EveryTemplateHoldsWhatItsDialogNames) {
    // Setups that take the rules and conditional bindings down their branches,
    std::vector<std::unique_ptr<CKX_Setup>> setups;
    for (const char* changes :
         {"", "ControlMode=1 SpeedForward=gone", "ControlMode=2 save_CAN_baudrate=gone @DisableBrake=1"})
        setups.push_back(VariantOf(changes));
    // and the sample drive variants
    for (const char* sample : {"no-brake", "no-analogue-input", "no-encoder-filters", "tachogenerator",
                               "ssi-biss", "linear-absolute"})
        setups.push_back(
            kx::LoadSetupFile(std::string(DCDRIVE_SOURCE_DIR) + "/setups/variants/" + sample + ".json"));
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
            EXPECT_HELD(RunScript("key escape\n", [&] { return dialog->DoModal(); }));
            for (const std::string& problem : dialog->AuditProblems()) ADD_FAILURE() << problem;
        }
    }
}

class DriveSetup : public ::testing::Test {
protected:
    std::unique_ptr<CKX_Setup> setup = dcdrive::LoadDefaultSetup();

    // The editor reads the registers back when it opens: what a test set goes into them first. The
    // motor setup opens on top of it at once, and the script closes it first as a user would.
    ScriptRun Run(const std::string& script) {
        dcdrive::ParametersToRegisters(*setup);
        CDriveSetupDlg dialog(*setup, nullptr);
        return RunScript(kCloseMotorSetup + script, [&] { return dialog.DoModal(); });
    }
};

// A value as "name=value" takes it to the last digit, whatever the locale.
std::string Exact(double value) {
    char text[32];
    return {text, std::to_chars(text, std::end(text), value).ptr};
}

TEST_F(DriveSetup, AppliesItsRulesAndHandlersOnTheWidgets) {
    const std::string lowest = Exact(-3 / std::fabs(dcdrive::PositionScale(*setup)));
    auto gain = VariantOf("Kp_C_scl=1.23456789");  // a typed gain holds what its registers give back
    ASSERT_TRUE(dcdrive::WriteBackGain(*gain, "Kp_C_scl"));
    const double clper = Value(*setup, "CLPER"), slper = Value(*setup, "SLPER");
    const CKX_Parameter* pwm = setup->FindParameter("PWM_freq");
    const std::string doubled =
        kx::FormatDisplayNumber(2 * pwm->GetValueInDisplayUnit(), pwm->GetPrecision()).toStdString();
    const struct {
        std::string what, before, after, script;  // the script ends with OK (click 1) or Cancel (click 2)
    } cases[] = {
        {"speed mode resets the gearing and the freeze; Cancel keeps what was edited",
         "ControlMode=0 GEARMASTER=3 isAnalogueReference=0 isFreezeControl=1",
         "ControlMode=1 GEARMASTER=1 GEARSLAVE=1 isFreezeControl=0",
         "assert 3189 enabled\nclick 1060\nassert 3189 disabled\nassert 3177 enabled\nassert 3291 checked\n"
         "click 2\n"},
        {"tachogenerator and load encoder: position over the speed loop",
         "MotorSensorType=2 LoadSensorType=1 ControlMode=0 PositionControlType=0", "PositionControlType=1",
         "assert 1059 enabled\nclick 3213\nassert 3177 enabled\nclick 1\n"},
        {"the position range is widened on OK", "isPosRange=1 PosRange_Minimum=0 PosRange_Maximum=0",
         "PosRange_Minimum=" + lowest + " PosRange_Maximum=0", "click 1\n"},
        {"an edited motion complete band leaves the defaults",
         "ControlMode=0 MotionCompleteType=0 MotionCompleteDefaultSettings=1",
         "MotionCompleteDefaultSettings=0", "assert 3554 shown\nset 3554 2\nclick 1\n"},
        {"a typed gain", "", "Kp_C_scl=" + Exact(Value(*gain, "Kp_C_scl")), "set 3173 1.23456789\nclick 1\n"},
        {"CAN bus baud rate and CANopen settings", "",
         "CANbus_baudrate=250 CANopen_heartbeat=0.1 save_CAN_baudrate=0",
         "assert 10021 selected 500\nselect 10021 250\nclick 10022\nexpect \"CANopen settings\"\n"
         "shot canopen-settings\nset 10031 100\nclick 1\nexpect \"Drive Setup\"\n"
         "click 3378\nassert 10021 disabled\nclick 1\n"},  // a baud rate not saved: nothing to choose
        {"buttons of missing dialogs are disabled", "ControlMode=1 ExternalReference=1", "",
         "assert 3171 disabled\nassert 3178 disabled\nassert 3208 enabled\nassert 10019 enabled\n"
         "assert 3159 enabled\nclick 2\n"},
        {"the hardware ID shown, an ID above 127 warned of", "Axis_ID_list=0", "Axis_ID_list=130",
         "expect \"Drive Setup\"\nassert 3136 text \"H/W\"\nselect 3136 \"130\"\nmessage \"" +
             std::string(dcdrive::kAxisIdCANopenMessage) + "\"\nshot axis-id-message\nclick ok\nclick 1\n"},
        {"sink inputs set from the status register without the input type",
         "@IsInputsTypeProgrammable=0 InputsPolarityType=gone ASR=0", "",
         "assert 3407 checked\nassert 3406 unchecked\nassert 3407 disabled\n"
         "assert 3404 text \"Active high (Connected to +Vlog)\"\nclick 2\n"},
        {"advanced: a doubled PWM frequency keeps the loop periods", "",
         "CLPER=" + Exact(2 * clper) + " SLPER=" + Exact(2 * slper),
         "click 3158\nexpect \"Advanced\"\nshot advanced\nset 1129 \"" + doubled + "\"\nassert 1132 value " +
             std::to_string(2 * clper) + "\nassert 1135 value " + std::to_string(2 * slper) +
             "\nclick 1\nexpect \"Drive Setup\"\nclick 1\n"},
        {"advanced: OK refused below the minimum fast loop period, two PWM periods", "Ts_C_min=1e-4",
         "CLPER=2",
         "click 3158\nexpect \"Advanced\"\nclick 1\nmessage \"The minimum value for Fast loop sampling "
         "period is 0.100 ms!\\nPlease adjust the PWM frequency and/or the Fast loop sampling frequency "
         "divider until this condition is fulfilled!\"\nclick ok\nexpect \"Advanced\"\nset 1132 2\n"
         "click 1\nexpect \"Drive Setup\"\nclick 1\n"},
        {"the external reference set up from its button", "ControlMode=0 ExternalReference=0",
         "ExternalReference=1 DigitalReferenceType=1",
         "click 1064\nclick 3208\nexpect \"External Reference Setup\"\n"
         "shot external-reference-from-drive-setup\nclick 3292\nclick 1\nexpect \"Drive Setup\"\nclick 1\n"},
        {"the motor setup from its button, left with OK and with Cancel: both keep what was typed", "",
         "In=2.5 L=0.5e-3",
         "click 10019\nexpect \"DC Motor Setup\"\nset 1159 2.5\nclick 1\nexpect \"Drive Setup\"\n"
         "click 10019\nassert 1159 value 2.5\nset 1170 0.5\nclick 2\nexpect \"Drive Setup\"\nclick 1\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        setup = VariantOf(c.before);
        const auto run = Run(c.script);
        EXPECT_HELD(run);
        EXPECT_EQ(run.result, c.script.ends_with("click 2\n") ? IDCANCEL : IDOK);
        ExpectValues(*setup, c.after);
    }
}

// A dimensionless parameter ("%") keeps its own unit and is offered no "counts" or "bits".
TEST_F(DriveSetup, UnitListsOfferTheUnitsOfTheirQuantity) {
    const auto run = Run("dump\nclick 2\n");
    EXPECT_HELD(run);
    const auto dump = nlohmann::json::parse(run.dumped.substr(0, run.dumped.find('\n')));
    std::map<unsigned, std::vector<std::string>> items;
    for (const auto& control : dump["controls"])
        if (control.contains("items"))
            for (const auto& item : control["items"]) items[control["id"]].push_back(item["text"]);
    EXPECT_EQ(items[3166], (std::vector<std::string>{"V", "mV"}));  // power supply
    EXPECT_EQ(items[3182], (std::vector<std::string>{"%"}));        // speed integral limit
}

// The registers are written before a sub-dialog opens; after it the drivers
// run both ways for drive info whatever it returns and for the external
// reference on OK only. IMAXPROT follows "Imax_Prot" only through them.
TEST_F(DriveSetup, DriversRunAroundSubDialogs) {
    const struct {
        SubDialog kind;
        unsigned button;
        int result;
        bool driversAfter;
        std::string answer = "";  // what is said before it opens
    } cases[] = {
        {SubDialog::DriveInfo, 3159, IDCANCEL, true},
        {SubDialog::ExternalReference, 3208, IDOK, true},
        {SubDialog::ExternalReference, 3208, IDCANCEL, false},
        {SubDialog::Advanced, 3158, IDCANCEL, false},
        {SubDialog::CurrentTuning, 3137, IDCANCEL, false,
         "message \"The test must be performed with motor shaft blocked.\"\nclick ok\n"},
    };
    const auto registerFor = [](double amperes) {
        auto copy =
            VariantOf("isOverCurrent=1 ControlMode=1 ExternalReference=1 Imax_Prot=" + Exact(amperes));
        dcdrive::ParametersToRegisters(*copy);
        return Value(*copy, "IMAXPROT");
    };
    const double before = registerFor(2.0), inside = registerFor(3.0);
    ASSERT_NE(before, inside);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        setup = VariantOf("isOverCurrent=1 ControlMode=1 ExternalReference=1");
        int opened = 0;
        double atOpen = 0;
        const dcdrive::SubDialogOverride override(c.kind, [&](CKX_Setup& s, CWnd*) {
            ++opened;
            atOpen = Value(s, "IMAXPROT");
            s.FindParameter("Imax_Prot")->SetValueInBaseUnit(3.0);
            return c.result;
        });
        EXPECT_HELD(Run("set 3214 \"" + kx::FormatDisplayNumber(2.0, 3).toStdString() + "\"\nclick " +
                        std::to_string(c.button) + "\n" + c.answer + "click 2\n"));
        EXPECT_EQ(opened, 1);
        EXPECT_EQ(atOpen, before);
        EXPECT_EQ(Value(*setup, "IMAXPROT"), c.driversAfter ? inside : before);
    }
}

TEST_F(DriveSetup, HelpOpensItsTopic) {
    if (!std::filesystem::exists(std::string(DCDRIVE_GUI_DIRECTORY) + "dcdrive.qhc"))
        GTEST_FAIL() << "the help collection was not built";
    setenv("KX_GUI_DIRECTORY", DCDRIVE_GUI_DIRECTORY, 1);
    EXPECT_HELD(Run("click 10024\nexpect-help 0x40106\nclick 2\n"));
}

TEST(DriveInfoDialog, KeyChordSwitchesToEditingAndOKChecksTheSizesAndIds) {
    auto setup = VariantOf("isDriveTemperatureSensor=1 isDriveOverTemp=1");
    setup->SetE2ROMSize(16 << 10);
    CDriveInfo dialog(*setup, nullptr);
    const std::string tooLong(65, 'F');
    const auto run = RunScript(
        "expect \"Drive info\"\nassert 3276 text \"16\"\nassert 3087 disabled\nassert 3275 disabled\n"
        "assert 3114 enabled\nkey ctrl+alt+shift+k\nassert 3087 enabled\nkey ctrl+alt+shift+k\n"
        "assert 3087 disabled\nkey ctrl+alt+shift+k\nclick 3097\nassert 3325 unchecked\n"
        "assert 1178 disabled\nset 3276 64\nclick 1\nmessage \"" +
            std::string(dcdrive::kE2ROMSizeMessage) +
            "\"\nclick ok\nset 3276 32\nset 3275 \"My drive\"\nset 3114 \"Axis 3\"\nset 3278 \"" + tooLong +
            "\"\nclick 1\nmessage \"Error setting the firmware ID!\"\nclick ok\n",
        [&] { return dialog.DoModal(); });
    EXPECT_HELD(run);
    EXPECT_EQ(run.result, IDOK);
    EXPECT_EQ(setup->GetE2ROMSize(), 32u << 10);
    EXPECT_EQ(setup->GetDescription(), "My drive");
    EXPECT_EQ(setup->GetUserAppID(), "Axis 3");
    EXPECT_NE(setup->GetFirmwareID(), tooLong);
    EXPECT_EQ(Value(*setup, "isDriveOverTemp"), 0);
}

TEST(InertiaQuestionDialog, DisregardingTheMotorKeepsTheTotal) {
    auto setup = VariantOf("Jm=2e-5 Jt=1e-5 isMotorInertiaUnknown=0");
    CInertiaQuestion dialog(*setup, nullptr);
    const auto run =
        RunScript("expect \"Motor inertia\"\nshot motor-inertia\nassert 3333 checked\nclick 3334\nclick 1\n",
                  [&] { return dialog.DoModal(); });
    EXPECT_HELD(run);
    EXPECT_EQ(run.result, IDOK);
    ExpectValues(*setup, "Jt=1e-5 isMotorInertiaUnknown=1", 0);
}

}  // namespace
