// The advanced settings on real widgets, opened from the drive setup editor
// as a user opens them: its handlers rerun the loop period rules as typed,
// and OK is refused below the minimum periods.
#include "EditorTest.h"
#include "GuiTest.h"
#include "conversions/Drivers.h"
#include "editors/AdvancedRules.h"
#include "editors/DriveSetupDlg.h"
#include "kx/gui/ValueText.h"

namespace {

using dctest::Value;

class AdvancedDialog : public ::testing::Test {
protected:
    void SetUp() override { dcdrive::ParametersToRegisters(*setup); }

    dctest::ScriptRun Run(const std::string& advanced) {
        CDriveSetupDlg editor(*setup, nullptr);
        return dctest::RunScript(dctest::kCloseMotorSetup + "click 3158\nexpect \"Advanced\"\n" + advanced +
                                     "expect \"Drive Setup\"\nclick 1\n",
                                 [&] { return editor.DoModal(); });
    }

    std::unique_ptr<CKX_Setup> setup = dcdrive::LoadDefaultSetup();
};

// The doubled PWM frequency keeps both loop periods; the slow loop then
// follows the fast loop set above it.
TEST_F(AdvancedDialog, PeriodsFollowWhatIsTyped) {
    const double clper = Value(*setup, "CLPER"), slper = Value(*setup, "SLPER");
    const double tsc = Value(*setup, "Ts_C"), tss = Value(*setup, "Ts_S");
    const std::string pwm =
        kx::FormatDisplayNumber(2 * setup->FindParameter("PWM_freq")->GetValueInDisplayUnit(),
                                setup->FindParameter("PWM_freq")->GetPrecision())
            .toStdString();
    const int above = int(2 * slper) + 2;
    EXPECT_HELD(Run("shot advanced\nset 1129 \"" + pwm + "\"\nassert 1132 value " +
                    std::to_string(2 * clper) + "\nassert 1135 value " + std::to_string(2 * slper) +
                    "\nclick 1\nclick 3158\n" + "expect \"Advanced\"\nset 1132 " + std::to_string(above) +
                    "\nassert 1135 value " + std::to_string(double(above)) + "\nclick 1\n"));
    EXPECT_EQ(Value(*setup, "SLPER"), above);
    EXPECT_EQ(Value(*setup, "CLPER"), above);
    EXPECT_NEAR(Value(*setup, "Ts_C") * 2 * clper, tsc * above, 1e-12);
    EXPECT_NEAR(Value(*setup, "Ts_S") * 2 * slper, tss * above, 1e-12);
}

TEST_F(AdvancedDialog, OKIsRefusedBelowTheMinimumPeriod) {
    // A fast loop period of one PWM period, below a minimum of two.
    dctest::Set(*setup, "Ts_C_min", 2 * Value(*setup, "Ts_C"));
    std::string message = dcdrive::AdvancedOKMessages(*setup).at(0);
    message.replace(message.find('\n'), 1, "\\n");
    EXPECT_HELD(
        Run("click 1\nmessage \"" + message + "\"\nclick ok\nexpect \"Advanced\"\nset 1132 2\nclick 1\n"));
    EXPECT_EQ(Value(*setup, "CLPER"), 2);
}

}  // namespace
