// The external reference setup on real widgets, answered by dialog scripts:
// what it shows by control mode and reference kind, the gear ratio, the
// range limits and units as typed, and its opening from the drive setup.
#include <filesystem>

#include "DefaultSetup.h"
#include "GuiTest.h"
#include "conversions/Drivers.h"
#include "editors/AnalogReferenceDlg.h"
#include "editors/DriveSetupDlg.h"
#include "editors/SubDialogs.h"
#include "kx/Setup.h"
#include "kx/gui/ValueText.h"

namespace {

// The plug-in's resources are registered by the template audit's file of this program.

// DCDRIVE_SCREENSHOTS names the screenshots after the scale they were taken at.
std::string Shot(const std::string& name) {
    const char* scale = std::getenv("QT_SCALE_FACTOR");
    return "shot " + name + (scale && std::string(scale) != "1" ? "-x" + std::string(scale) : "") + "\n";
}

class ExternalReference : public ::testing::Test {
protected:
    std::unique_ptr<CKX_Setup> setup = dcdrive::LoadDefaultSetup();

    void Set(const char* name, double value) {
        CKX_Parameter* p = setup->FindParameter(name);
        ASSERT_NE(p, nullptr) << name;
        p->SetMinInBaseUnit(std::min(p->GetMinInBaseUnit(), value));
        p->SetMaxInBaseUnit(std::max(p->GetMaxInBaseUnit(), value));
        p->SetValueInBaseUnit(value);
    }
    double Value(const char* name) const { return setup->GetParameterValueInBaseUnit(name); }

    dctest::ScriptRun Run(const std::string& script) {
        CAnalogReferenceDlg dialog(*setup, nullptr);
        return dctest::RunScript("expect \"External Reference Setup\"\n" + script,
                                 [&] { return dialog.DoModal(); });
    }
};

TEST_F(ExternalReference, WhatEachModeShows) {
    const struct {
        const char* what;
        int mode;
        int analogue;
        const char* script;
    } cases[] = {
        {"position, digital", 0, 0,
         "assert 1007 text \"Maximum Position\"\nassert 3289 enabled\nassert 3291 enabled\n"
         "assert 3291 text \"Pulse & Direction\"\nassert 1006 disabled\nassert 3328 disabled\n"
         "assert 3116 text \"Limit maximum speed at\"\nassert 3304 hidden\nclick 3116\n"
         "assert 3304 shown\nassert 3302 hidden\nclick 3292\n"},
        {"position, analogue", 0, 1,
         "assert 3291 disabled\nassert 3399 disabled\nassert 1006 enabled\nassert 3328 text \"-10\"\n"
         "assert 3328 enabled\nassert 1000 disabled\nassert 1003 hidden\nclick 1001\nassert 1003 shown\n"
         "click 3116\nassert 3302 shown\nassert 3116 text \"Limit maximum speed at\"\n"},
        {"speed, analogue", 1, 1,
         "assert 1009 text \"Minimum Speed\"\nassert 3289 disabled\nassert 3291 disabled\n"
         "assert 3116 text \"Limit maximum acceleration at\"\nclick 3116\nassert 3302 shown\n"},
        {"current, analogue", 2, 1,
         "assert 1007 text \"Maximum Current\"\nassert 3116 hidden\nassert 3302 hidden\nassert 3136 hidden\n"
         "assert 3291 disabled\nassert 3289 disabled\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        setup = dcdrive::LoadDefaultSetup();
        Set("ControlMode", c.mode);
        Set("isAnalogueReference", c.analogue);
        const std::string name =
            "external-reference-mode" + std::to_string(c.mode) + "-" + (c.analogue ? "analogue" : "digital");
        EXPECT_HELD(Run(std::string(c.script) + Shot(name) + "click 1\n"));
        if (c.mode == 0 && c.analogue == 0) {
            EXPECT_EQ(Value("isLimitMaximum"), 1);
            EXPECT_EQ(Value("DigitalReferenceType"), 1);
        }
        if (c.mode == 0 && c.analogue == 1) {
            EXPECT_EQ(Value("UseFilter"), 1);
        }
    }
}

TEST_F(ExternalReference, SwitchingToAnalogueEnablesItsFields) {
    Set("ControlMode", 0);
    Set("isAnalogueReference", 0);
    Set("isLimitMaximum", 1);
    EXPECT_HELD(
        Run("assert 3304 shown\nclick 3290\nassert 1006 enabled\nassert 3291 disabled\n"
            "assert 3116 text \"Limit maximum speed at\"\nassert 3302 shown\nassert 3304 hidden\n"
            "click 3289\nassert 3116 text \"Limit maximum acceleration at\"\nclick 2\n"));
}

TEST_F(ExternalReference, WithoutAnalogueInput) {
    setup->RemoveParameter("CADIN");
    Set("AnalogueInputsRange", 7);
    EXPECT_HELD(Run("assert 3290 disabled\nassert 3327 text \"3.3\"\nassert 3328 text \"0\"\nclick 2\n"));
}

TEST_F(ExternalReference, GearRatio) {
    const struct {
        double master;
        const char* slaveTyped;
        double masterAfter, slaveAfter;
    } cases[] = {
        {-2, "-3", 2, 3},
        {0, "5", 1, 5},
        {-2, "3", -2, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.slaveTyped);
        setup = dcdrive::LoadDefaultSetup();
        Set("ControlMode", 0);
        Set("isAnalogueReference", 0);
        Set("GEARMASTER", c.master);
        Set("GEARSLAVE", -5);
        const std::string shown = kx::FormatDisplayNumber(c.masterAfter, 0).toStdString();
        EXPECT_HELD(
            Run("set 3295 " + std::string(c.slaveTyped) + "\nassert 3296 value " + shown + "\nclick 1\n"));
        EXPECT_EQ(Value("GEARMASTER"), c.masterAfter);
        EXPECT_EQ(Value("GEARSLAVE"), c.slaveAfter);
    }
}

TEST_F(ExternalReference, RangeEndsLimitEachOtherAndShareTheUnit) {
    Set("ControlMode", 1);
    Set("isAnalogueReference", 1);
    EXPECT_HELD(Run("set 1006 300\nset 1008 -200\nunit 1015 rot/s\nclick 1\n"));
    const CKX_Parameter* max = setup->FindParameter("SPD_max");
    const CKX_Parameter* min = setup->FindParameter("SPD_min");
    EXPECT_NEAR(max->GetValueInBaseUnit(), 300 * 2 * 3.141592653589793 / 60, 1e-9);
    EXPECT_DOUBLE_EQ(min->GetMaxInBaseUnit(), max->GetValueInBaseUnit());
    EXPECT_DOUBLE_EQ(max->GetMinInBaseUnit(), min->GetValueInBaseUnit());
    EXPECT_EQ(max->GetUnitName(), "rot/s");
    EXPECT_EQ(min->GetUnitName(), "rot/s");

    // A minimum above the maximum is refused and the stored minimum shown again.
    setup = dcdrive::LoadDefaultSetup();
    Set("ControlMode", 2);
    Set("isAnalogueReference", 1);
    EXPECT_HELD(Run("set 1006 1\nset 1008 2\nclick ok\nunit 1016 mV\nclick 1\n"));
    EXPECT_EQ(setup->FindParameter("CRT_min")->GetMaxInBaseUnit(), 1);
    EXPECT_LT(Value("CRT_min"), 1);
    EXPECT_EQ(setup->FindParameter("DeadBand_Range")->GetUnitName(), "mV");
}

TEST_F(ExternalReference, HelpOpensItsTopic) {
    if (!std::filesystem::exists(std::string(DCDRIVE_GUI_DIRECTORY) + "dcdrive.qhc"))
        GTEST_FAIL() << "the help collection was not built";
    setenv("KX_GUI_DIRECTORY", DCDRIVE_GUI_DIRECTORY, 1);
    EXPECT_HELD(Run("click 10024\nexpect-help 0x40101\nclick 2\n"));
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
    const auto run = dctest::RunScript(
        "expect \"Drive Setup\"\nclick 1064\nclick 3208\nexpect \"External Reference Setup\"\n" +
            Shot("external-reference-from-drive-setup") +
            "click 3292\nclick 1\nexpect \"Drive Setup\"\nclick 1\n",
        [&] { return dialog.DoModal(); });
    EXPECT_HELD(run);
    EXPECT_EQ(Value("ExternalReference"), 1);
    EXPECT_EQ(Value("DigitalReferenceType"), 1);
}

}  // namespace
