// The motor setup editor on real widgets, answered by dialog scripts: what it
// shows for the sample drive variants, its handlers as the user changes
// sensors, bits, clocks and transmissions, what OK writes, the motor
// databases, and its place over the drive setup editor.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "EditorTest.h"
#include "GuiTest.h"
#include "conversions/Drivers.h"
#include "editors/DriveSetupDlg.h"
#include "editors/MotorSetupDialog.h"
#include "kx/MotorDatabase.h"
#include "kx/SetupFile.h"

namespace fs = std::filesystem;

namespace {

using dctest::Change;
using dctest::kGone;
using dctest::Value;

// A text as a script's quoted word.
std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return quoted + "\"";
}

// Each test works with a USER motor database of its own.
class MotorSetup : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = fs::temp_directory_path() /
                ("dcdrive-motor-setup-" + std::to_string(::getpid()) + "-" + info->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        setenv("XDG_DATA_HOME", m_dir.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("XDG_DATA_HOME");
        fs::remove_all(m_dir);
    }

    fs::path UserFile() const { return m_dir / "dcdrive" / "motors.json"; }

    dctest::ScriptRun Run(CKX_Setup& setup, const std::string& script) {
        dcdrive::ParametersToRegisters(setup);
        CMotorSetupDialog dialog(setup, nullptr);
        return dctest::RunScript(script, [&] { return dialog.DoModal(); });
    }

    fs::path m_dir;
};

std::unique_ptr<CKX_Setup> Sample(const std::string& name) {
    return kx::LoadSetupFile(std::string(DCDRIVE_SOURCE_DIR) + "/setups/variants/" + name + ".json");
}

// What the editor shows for the drives and sensors that its rules tell
// apart, and how it follows a sensor the user chooses.
TEST_F(MotorSetup, ShowsWhatTheDriveAndItsSensorsHave) {
    const struct {
        const char* what;
        const char* sample;  // a file of setups/variants/, or null for the default setup
        std::vector<Change> changes;
        std::string script;
    } cases[] = {
        {"incremental encoder; SSI chosen, then a tachogenerator",
         nullptr,
         {},
         "assert 1179 shown\nassert 3433 hidden\nassert 1187 disabled\nassert 3359 disabled\n"
         "select 1201 4\nassert 1179 hidden\nassert 3433 shown\nassert 3446 selected 2000\nassert 3452 "
         "disabled\n"
         "select 1201 2\nassert 3004 shown\nassert 3433 hidden\nassert 3358 hidden\n"},
        {"no brake output",
         "no-brake",
         {},
         "assert 3380 disabled\nassert 3381 disabled\nassert 3382 disabled\n"},
        {"no encoder filters",
         "no-encoder-filters",
         {},
         "assert 3360 hidden\nassert 3359 hidden\nassert 3272 hidden\n"},
        {"SSI on the motor, BiSS on the load",
         "ssi-biss",
         {},
         "assert 3433 shown\nassert 3453 shown\nassert 3466 shown\nassert 3473 hidden\nassert 1202 shown\n"},
        {"an absolute linear scale on the load",
         "linear-absolute",
         {},
         "assert 3473 shown\nassert 3477 shown\nassert 3453 hidden\nassert 3337 enabled\nassert 3337 "
         "checked\n"},
        {"the brake switched on, then another output",
         nullptr,
         {{"isMotorBrake", 0}, {"MotorBrake_output", 1}},
         "assert 3390 disabled\nclick 3381\nassert 3390 enabled\nassert 3382 enabled\n"
         "assert 3386 text \"Motor brake is applied when PNP (source) output is connected to +Vlog.\"\n"
         "select 3382 2\nassert 3386 text \"Motor brake is applied when NPN (sink) output is connected to "
         "GND.\"\n"},
        {"a sine/cosine encoder counts its interpolation",
         nullptr,
         {{"No_encoder_lines", 500}},
         "select 1201 3\nassert 1200 shown\nselect 1200 \"64\"\nassert 3353 value 32000\n"
         "set 1179 1000\nassert 3353 value 64000\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto setup = c.sample ? Sample(c.sample) : dcdrive::LoadDefaultSetup();
        for (const Change& change : c.changes) dctest::Set(*setup, change.name, change.value);
        EXPECT_HELD(Run(*setup, c.script + "click 2\n"));
    }
}

TEST_F(MotorSetup, HandlersKeepTheSetupConsistent) {
    const std::string noFrequency = dcdrive::kNoMotorFrequencyMessage;
    const struct {
        const char* what;
        std::vector<Change> changes;
        std::string script;
        std::vector<Change> after;
        std::function<void(CKX_Setup&)> prepare = [](CKX_Setup&) {};
    } cases[] = {
        {"20 revolution bits and 16 turns become 20 and 11",
         {{"MotorSensorType", 4}, {"SSI_No_Bits_Turns", 16}},
         "set 3435 20\nassert 3438 value 11\nclick 10018\n",
         {{"SSI_No_Bits_Revolution", 20}, {"SSI_No_Bits_Turns", 11}}},
        {"an SSI load sensor switches a linear transmission back to rotary",
         {{"LoadSensorType", 1},
          {"LoadSensorConnector", 1},
          {"TransmissionType", 1},
          {"SSI_Resolution_LD", kGone}},
         "assert 3337 checked\nselect 1216 4\nassert 3336 checked\nassert 3337 disabled\nclick 10018\n",
         {{"TransmissionType", 0}, {"LoadSensorType", 4}}},
        {"a new motor sensor type clears its encoder filter",
         {{"isFilterEnc_MT", 1}},
         "assert 3360 checked\nassert 3359 enabled\nselect 1201 3\nassert 3360 unchecked\nclick 10018\n",
         {{"isFilterEnc_MT", 0}, {"MotorSensorType", 3}}},
        {"a zero motor displacement is one revolution",
         {},
         "set 3338 0\nassert 3338 value 1\nclick 10018\n",
         {{"Motor_transmission", 6.283185307179586}}},
        {"a clock chosen in kHz is kept in Hz",
         {{"MotorSensorType", 4}},
         "select 3446 2500\nclick 10018\n",
         {{"SSI_freq", 2.5e6}}},
        {"a BiSS encoder without a valid clock: the message once, no clock offered",
         {{"MotorSensorType", 5}},
         "message " + Quoted(noFrequency) + "\nclick ok\nassert 3446 text \"\"\nclick 10018\n",
         {},
         [](CKX_Setup& s) {
             s.FindParameter("SSI_freq")->SetMinInBaseUnit(2.6e6);
             s.FindParameter("SSI_freq")->SetMaxInBaseUnit(2.9e6);
         }},
        {"a negative transmission warns of the limit switches",
         {},
         "assert 3414 hidden\nset 3340 -1\nassert 3414 shown\nclick 3414\nmessage " +
             Quoted(dcdrive::kLimitSwitchMessage) + "\nclick ok\nclick 10018\n",
         {{"Load_transmission", -6.283185307179586}},
         [](CKX_Setup& s) { s.SetOption("hasNegTransmission", "0"); }},
        {"a load sensor added: position over the speed loop",
         {{"LoadSensorType", 0}, {"PositionControlType", 0}},
         "select 1216 1\nclick 1\n",
         {{"PositionControlType", 1}, {"LoadSensorType", 1}, {"LoadSensorConnector", 1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto setup = dctest::Variant(c.changes);
        c.prepare(*setup);
        const auto run = Run(*setup, c.script);
        EXPECT_HELD(run);
        EXPECT_EQ(run.result, IDOK);
        for (const Change& a : c.after) EXPECT_NEAR(Value(*setup, a.name), a.value, 1e-9) << a.name;
    }
    // The nominal current can be typed up to the peak current only.
    auto bounded = dcdrive::LoadDefaultSetup();
    EXPECT_HELD(Run(*bounded, "set 1161 2.5\nclick 10018\n"));
    EXPECT_EQ(bounded->FindParameter("In")->GetMaxInBaseUnit(), 2.5);
    // Serial clock lists of unequal length offer nothing and say nothing.
    auto setup = dctest::Variant({{"MotorSensorType", 5}});
    setup->Drive().biss.modes.pop_back();
    EXPECT_HELD(Run(*setup, "assert 3446 text \"\"\nclick 10018\n"));
}

TEST_F(MotorSetup, ChoosesSavesAndDeletesDatabaseMotors) {
    auto setup = dcdrive::LoadDefaultSetup();
    // A standard motor: its data reach the controls; it cannot be deleted.
    EXPECT_HELD(Run(*setup,
                    "select 10011 \"Generic DC 24 V 60 W\"\nassert 1159 value 3\nassert 1161 value 15\n"
                    "assert 1166 value 0.037\nassert 1168 value 0.61\nassert 1170 value 0.12\n"
                    "assert 1172 value 0.14\nassert 10013 disabled\nclick 10018\n"));
    EXPECT_DOUBLE_EQ(Value(*setup, "ImaxM"), 15);
    EXPECT_DOUBLE_EQ(Value(*setup, "In"), 3);
    EXPECT_DOUBLE_EQ(Value(*setup, "Jm"), 1.4e-5);

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
    kx::MotorDatabase saved("{\"motors\": []}", UserFile().string());
    ASSERT_NE(saved.Find("Axis 3 motor"), nullptr);
    EXPECT_DOUBLE_EQ(saved.Find("Axis 3 motor")->motor.R, 0.7);

    // Deleted after a question; No keeps it.
    const std::string question = "Delete the motor \"Axis 3 motor\" from the USER database?";
    EXPECT_HELD(Run(*setup, "select 10010 1\nselect 10011 \"Axis 3 motor\"\nclick 10013\nmessage " +
                                Quoted(question) + "\nclick no\nclick 10013\nmessage " + Quoted(question) +
                                "\nclick yes\nassert 10013 disabled\nclick 2\n"));
    EXPECT_EQ(kx::MotorDatabase("{\"motors\": []}", UserFile().string()).Find("Axis 3 motor"), nullptr);
}

// A USER file that cannot be read is reported once, never overwritten, and
// the standard database works on.
TEST_F(MotorSetup, AnUnreadableUserDatabaseIsReportedOnceAndKept) {
    fs::create_directories(UserFile().parent_path());
    const std::string corrupt = "{\"motors\": [{\"name\": \"Mine\", \"In\": \"three\"}]}";
    std::ofstream(UserFile()) << corrupt;
    kx::MotorDatabase probe("{\"motors\": []}", UserFile().string());
    const std::vector<std::string> reports = probe.TakeReports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find(UserFile().string()), std::string::npos);
    const std::string refused = probe.AddUserMotor({"Mine", 1, 2, 0.1, 1, 1e-3, 1e-5}).message;

    auto setup = dcdrive::LoadDefaultSetup();
    EXPECT_HELD(
        Run(*setup, "message " + Quoted(reports[0]) +
                        "\nclick ok\nselect 10011 \"Generic DC 12 V 10 W\"\nassert 1159 value 1\n"
                        "click 10012\nexpect \"Save to User Database\"\nset 10041 Mine\nclick 1\nmessage " +
                        Quoted(refused) +
                        "\nclick ok\nexpect \"Save to User Database\"\nclick 2\nclick 10018\n"));
    // Opened again: no second report.
    EXPECT_HELD(Run(*setup, "select 10010 1\nclick 10018\n"));
    std::ifstream in(UserFile());
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), corrupt);
}

TEST_F(MotorSetup, OpensOverTheDriveSetupAndFromItsButton) {
    auto setup = dcdrive::LoadDefaultSetup();
    CDriveSetupDlg editor(*setup, nullptr);
    EXPECT_HELD(
        dctest::RunScript("expect \"DC Motor Setup\"\nset 1159 2.5\nclick 1\nexpect \"Drive Setup\"\n"
                          "click 10019\nexpect \"DC Motor Setup\"\nassert 1159 value 2.5\nset 1170 0.5\n"
                          "click 2\nexpect \"Drive Setup\"\nclick 1\n",
                          [&] { return editor.DoModal(); }));
    EXPECT_DOUBLE_EQ(Value(*setup, "In"), 2.5);
    EXPECT_DOUBLE_EQ(Value(*setup, "L"), 0.5e-3);  // what was typed stays after Cancel
}

}  // namespace
