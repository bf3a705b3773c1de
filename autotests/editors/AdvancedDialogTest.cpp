// The advanced settings on real widgets, opened from the drive setup editor
// as a user opens them: the PWM frequency that keeps both loop periods, the
// slow loop pulled up to the fast one, and OK refused below the minimum
// periods.
#include <cmath>

#include "DefaultSetup.h"
#include "GuiTest.h"
#include "conversions/Drivers.h"
#include "editors/DriveSetupDlg.h"
#include "editors/Templates.h"
#include "kx/Setup.h"
#include "kx/gui/ValueText.h"

namespace {

double Value(const CKX_Setup& setup, const char* name) { return setup.GetParameterValueInBaseUnit(name); }

// A number as the edit field of the parameter shows it.
std::string Typed(const CKX_Setup& setup, const char* name, double displayValue) {
    return kx::FormatDisplayNumber(displayValue, setup.FindParameter(name)->GetPrecision()).toStdString();
}

class AdvancedDialog : public ::testing::Test {
protected:
    void SetUp() override { dcdrive::ParametersToRegisters(*setup); }

    dctest::ScriptRun Run(const std::string& advanced) {
        CDriveSetupDlg editor(*setup, nullptr);
        return dctest::RunScript(
            "click 3158\nexpect \"Advanced\"\n" + advanced + "expect \"Drive Setup\"\nclick 1\n",
            [&] { return editor.DoModal(); });
    }

    std::unique_ptr<CKX_Setup> setup = dcdrive::LoadDefaultSetup();
};

TEST_F(AdvancedDialog, DoubledPwmFrequencyKeepsBothLoopPeriods) {
    const double clper = Value(*setup, "CLPER"), slper = Value(*setup, "SLPER");
    const double tsc = Value(*setup, "Ts_C"), tss = Value(*setup, "Ts_S");
    const double pwm = setup->FindParameter("PWM_freq")->GetValueInDisplayUnit();
    const auto run =
        Run("shot advanced\nset 1129 \"" + Typed(*setup, "PWM_freq", 2 * pwm) + "\"\nassert 1132 value " +
            std::to_string(2 * clper) + "\nassert 1135 value " + std::to_string(2 * slper) + "\nclick 1\n");
    EXPECT_HELD(run);
    EXPECT_EQ(Value(*setup, "CLPER"), 2 * clper);
    EXPECT_EQ(Value(*setup, "SLPER"), 2 * slper);
    EXPECT_NEAR(Value(*setup, "Ts_C"), tsc, 1e-12);
    EXPECT_NEAR(Value(*setup, "Ts_S"), tss, 1e-12);
}

TEST_F(AdvancedDialog, TheSlowLoopIsNeverFasterThanTheFastLoop) {
    const double above = Value(*setup, "SLPER") + 2;
    const auto run = Run("set 1132 " + std::to_string(static_cast<int>(above)) + "\nassert 1135 value " +
                         std::to_string(above) + "\nclick 1\n");
    EXPECT_HELD(run);
    EXPECT_EQ(Value(*setup, "SLPER"), above);
    EXPECT_EQ(Value(*setup, "CLPER"), above);
}

TEST_F(AdvancedDialog, OKIsRefusedBelowTheMinimumPeriod) {
    // A fast loop period of one PWM period, below a minimum of two.
    CKX_Parameter* minimum = setup->FindParameter("Ts_C_min");
    minimum->SetValueInBaseUnit(2 * Value(*setup, "Ts_C"));
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", minimum->GetValueInBaseUnit() * 1000);
    const auto run = Run(
        "click 1\n"
        "message \"The minimum value for Fast loop sampling period is " +
        std::string(text) +
        " ms!\\nPlease adjust the PWM frequency and/or the Fast loop sampling frequency divider until this "
        "condition is fulfilled!\"\n"
        "click ok\n"
        "expect \"Advanced\"\n"
        "set 1132 2\n"
        "click 1\n");
    EXPECT_HELD(run);
    EXPECT_EQ(Value(*setup, "CLPER"), 2);
}

}  // namespace
