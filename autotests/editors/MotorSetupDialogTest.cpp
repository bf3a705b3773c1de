// The motor setup editor on real widgets.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "EditorTest.h"
#include "GuiTest.h"
#include "conversions/Drivers.h"
#include "editors/MotorSetupDialog.h"
#include "kx/MotorDatabase.h"
#include "kx/SetupFile.h"

namespace fs = std::filesystem;

namespace {

using namespace dctest;

// A text as a script's quoted word.
std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text)
        quoted += c == '\n' ? "\\n" : c == '"' || c == '\\' ? std::string{'\\', c} : std::string{c};
    return quoted + "\"";
}

// Each test works with a USER motor database of its own.
class MotorSetup : public ::testing::Test {
protected:
    void SetUp() override {
        fs::remove_all(m_dir);
        setenv("XDG_DATA_HOME", m_dir.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("XDG_DATA_HOME");
        fs::remove_all(m_dir);
    }

    ScriptRun Run(CKX_Setup& setup, const std::string& script) {
        dcdrive::ParametersToRegisters(setup);
        CMotorSetupDialog dialog(setup, nullptr);
        return RunScript(script, [&] { return dialog.DoModal(); });
    }

    const fs::path m_dir = fs::temp_directory_path() / ("dcdrive-motor-setup-" + std::to_string(::getpid()));
    const fs::path m_userFile = m_dir / "dcdrive" / "motors.json";
};

TEST_F(MotorSetup, HandlersKeepTheSetupConsistent) {
    const struct {
        const char *what, *before, *after;
        std::string script;  // each closes with OK
    } cases[] = {
        {"SSI: its controls shown, the encoder filter cleared, a clock in kHz kept in Hz", "isFilterEnc_MT=1",
         "MotorSensorType=4 isFilterEnc_MT=0 SSI_freq=2.5e6",
         "assert 1179 shown\nassert 3433 hidden\nassert 3360 checked\nselect 1201 4\nassert 1179 hidden\n"
         "assert 3433 shown\nassert 3360 unchecked\nassert 3446 selected 2000\nselect 3446 2500\n"},
        {"an SSI load sensor switches a linear transmission back to rotary",
         "LoadSensorType=1 LoadSensorConnector=1 TransmissionType=1 SSI_Resolution_LD=gone",
         "TransmissionType=0 LoadSensorType=4",
         "assert 3337 checked\nselect 1216 4\nassert 3336 checked\nassert 3337 disabled\n"},
        {"the brake switched on, then another output", "isMotorBrake=0 MotorBrake_output=1",
         "isMotorBrake=1 MotorBrake_output=2",
         "assert 3390 disabled\nclick 3381\nassert 3390 enabled\nselect 3382 2\nassert 3386 text " +
             Quoted(std::string(dcdrive::kBrakeTextHead) + dcdrive::kBrakeSinkText) + "\n"},
        {"a sine/cosine encoder counts its interpolation", "No_encoder_lines=500", "SINCOS_fract=6",
         "select 1201 3\nselect 1200 \"64\"\nassert 3353 value 32000\n"
         "set 1179 1000\nassert 3353 value 64000\n"},
        {"BiSS without a valid clock: the message once, no clock", "MotorSensorType=5 SSI_freq=2.6e6:2.9e6",
         "", "message " + Quoted(dcdrive::kNoMotorFrequencyMessage) + "\nclick ok\nassert 3446 text \"\"\n"},
        {"a negative transmission warns of the limit switches", "@hasNegTransmission=0",
         "Load_transmission=-6.283185307179586",
         "assert 3414 hidden\nset 3340 -1\nassert 3414 shown\nclick 3414\nmessage " +
             Quoted(dcdrive::kLimitSwitchMessage) + "\nclick ok\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto setup = VariantOf(c.before);
        const auto run = Run(*setup, c.script + "click 10018\n");
        EXPECT_HELD(run);
        EXPECT_EQ(run.result, IDOK);
        ExpectValues(*setup, c.after);
    }
    // The nominal current can be typed up to the peak current only.
    auto bounded = dcdrive::LoadDefaultSetup();
    EXPECT_HELD(Run(*bounded, "set 1161 2.5\nclick 10018\n"));
    EXPECT_EQ(bounded->FindParameter("In")->GetMaxInBaseUnit(), 2.5);
    // A drive without a brake output offers no brake.
    auto noBrake = kx::LoadSetupFile(std::string(DCDRIVE_SOURCE_DIR) + "/setups/variants/no-brake.json");
    EXPECT_HELD(Run(*noBrake, "assert 3380 disabled\nassert 3381 disabled\nassert 3382 disabled\nclick 2\n"));
}

// The standard motors, and the USER database: a file that cannot be read is reported once and refuses saving
// while the standard database works on; once it is gone motors are saved and deleted.
TEST_F(MotorSetup, ChoosesSavesAndDeletesDatabaseMotors) {
    fs::create_directories(m_userFile.parent_path());
    std::ofstream(m_userFile) << "{\"motors\": [{\"name\": \"Mine\", \"In\": \"three\"}]}";
    kx::MotorDatabase probe("{\"motors\": []}", m_userFile.string());
    const std::vector<std::string> reports = probe.TakeReports();
    ASSERT_EQ(reports.size(), 1u);
    const std::string refused = probe.AddUserMotor({"Mine", 1, 2, 0.1, 1, 1e-3, 1e-5}).message;

    // A standard motor: its data reach the controls; it cannot be deleted.
    auto setup = dcdrive::LoadDefaultSetup();
    EXPECT_HELD(Run(*setup, "message " + Quoted(reports[0]) +
                                "\nclick ok\nselect 10011 \"Generic DC 24 V 60 W\"\nassert 1159 value 3\n"
                                "assert 10013 disabled\nclick 10012\nexpect \"Save to User Database\"\n"
                                "set 10041 Mine\nclick 1\nmessage " +
                                Quoted(refused) +
                                "\nclick ok\nexpect \"Save to User Database\"\nclick 2\nclick 10018\n"));
    ExpectValues(*setup, "ImaxM=15 In=3 Jm=1.4e-5");
    EXPECT_HELD(Run(*setup, "select 10010 1\nclick 10018\n"));  // opened again: no second report
    fs::remove(m_userFile);  // that it is never overwritten is checked with the database itself

    // Saved under a name: an empty or taken name is refused and asked again.
    const std::string taken =
        "A motor named \"Generic DC 24 V 60 W\" is already in the standard database. "
        "Please choose another name.";
    EXPECT_HELD(Run(*setup,
                    "set 1168 0.7\nclick 10012\nexpect \"Save to User Database\"\nclick 1\n"
                    "message \"Please enter a name for the motor.\"\nclick ok\n"
                    "set 10041 \"Generic DC 24 V 60 W\"\nclick 1\nmessage " +
                        Quoted(taken) +
                        "\nclick ok\nset 10041 \"Axis 3 motor\"\nclick 1\nexpect \"DC Motor Setup\"\n"
                        "assert 10010 selected 1\nassert 10011 text \"Axis 3 motor\"\nassert 10013 enabled\n"
                        "click 10018\n"));
    kx::MotorDatabase saved("{\"motors\": []}", m_userFile.string());
    ASSERT_NE(saved.Find("Axis 3 motor"), nullptr);
    EXPECT_DOUBLE_EQ(saved.Find("Axis 3 motor")->motor.R, 0.7);

    // Deleted after a question; No keeps it.
    const std::string question = "Delete the motor \"Axis 3 motor\" from the USER database?";
    EXPECT_HELD(Run(*setup, "select 10010 1\nselect 10011 \"Axis 3 motor\"\nclick 10013\nmessage " +
                                Quoted(question) + "\nclick no\nclick 10013\nmessage " + Quoted(question) +
                                "\nclick yes\nassert 10013 disabled\nclick 2\n"));
    EXPECT_EQ(kx::MotorDatabase("{\"motors\": []}", m_userFile.string()).Find("Axis 3 motor"), nullptr);
}

}  // namespace
