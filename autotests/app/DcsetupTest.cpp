// dcsetup end to end: the built program run with arguments, its exit code,
// standard output and standard error checked.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "Dcsetup.h"
#include "conversions/Gains.h"
#include "kx/SetupFile.h"
#include "options/Tuning.h"
#include "setups/DefaultSetup.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct Result {
    int exitCode = -1;
    std::string out, err;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class Dcsetup : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "dcsetup-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // Path in the test's folder.
    std::string Path(const std::string& name) const { return (m_dir / name).string(); }

    // Runs the program; "@" at the start of an argument stands for the test's folder.
    Result Run(std::vector<std::string> args) const {
        std::vector<std::string> full{DCSETUP_PROGRAM};
        for (auto& arg : args) full.push_back(arg.starts_with('@') ? m_dir.string() + arg.substr(1) : arg);
        std::vector<char*> argv;
        for (auto& arg : full) argv.push_back(arg.data());
        argv.push_back(nullptr);

        const std::string outPath = Path("stdout.txt"), errPath = Path("stderr.txt");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = 0;
        const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        Result result;
        if (spawned != 0) {
            ADD_FAILURE() << "cannot start " << argv[0];
            return result;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = ReadFile(outPath);
        result.err = ReadFile(errPath);
        return result;
    }

    // Runs a command that must succeed and print JSON.
    json RunJson(const std::vector<std::string>& args) const {
        const Result result = Run(args);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        try {
            return json::parse(result.out);
        } catch (const json::exception& error) {
            ADD_FAILURE() << error.what() << " in: " << result.out;
            return json::object();
        }
    }

    fs::path m_dir;
};

TEST_F(Dcsetup, BadInputGetsOneLineAndItsExitCode) {
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int exitCode;
        std::string message;  // part of the error line
    };
    const std::vector<Case> cases = {
        {"unknown command", {"frobnicate"}, 2, "unknown command \"frobnicate\""},
        {"no command", {"--set", "PWM_freq=1000"}, 2, "no command given"},
        {"unknown option", {"--frobnicate", "show"}, 2, "--frobnicate"},
        {"unknown --set name", {"--set", "NoSuchParameter=1", "show"}, 2, "no parameter \"NoSuchParameter\""},
        {"--set not a number",
         {"--set", "PWM_freq=abc", "show"},
         2,
         "--set PWM_freq=abc: \"abc\" is not a number"},
        {"--set trailing text", {"--set", "PWM_freq=20000Hz", "show"}, 2, "\"20000Hz\" is not a number"},
        {"--set decimal comma", {"--set", "PWM_freq=1,5", "show"}, 2, "\"1,5\" is not a number"},
        {"--set empty value", {"--set", "PWM_freq=", "show"}, 2, "\"\" is not a number"},
        {"--set NaN", {"--set", "PWM_freq=nan", "show"}, 2, "\"nan\" is not a finite number"},
        {"--set infinity", {"--set", "PWM_freq=-inf", "show"}, 2, "\"-inf\" is not a finite number"},
        {"--set overflow", {"--set", "PWM_freq=1e999", "show"}, 2, "\"1e999\" is out of the range"},
        {"--set without value", {"--set", "PWM_freq", "show"}, 2, "expected NAME=VALUE"},
        {"--unset unknown",
         {"--unset", "NoSuchParameter", "show"},
         2,
         "--unset NoSuchParameter: no parameter"},
        {"--set after --unset",
         {"--unset", "PWM_freq", "--set", "PWM_freq=1", "show"},
         2,
         "no parameter \"PWM_freq\""},
        {"--option without text", {"--option", "Note", "show"}, 2, "expected NAME=TEXT"},
        {"show unknown name", {"show", "NoSuchParameter"}, 2, "no parameter \"NoSuchParameter\""},
        {"scale without variable", {"scale", "rpm"}, 2, "VARIABLE"},
        {"scale extra argument", {"scale", "rpm", "X", "Y"}, 2, "unexpected argument \"Y\""},
        {"missing setup file", {"--setup", "@/missing.json", "show"}, 2, "missing.json"},
        {"malformed setup file", {"--setup", "@/malformed.json", "show"}, 2, "malformed.json"},
        {"plug-in not a library", {"--plugin", "@/notalib.so", "show"}, 1, "notalib.so"},
        {"plug-in without entry points",
         {"--plugin", KXKERNEL_LIBRARY, "show"},
         1,
         "does not export ComputeAllOptions"},
        {"export --json with nowhere to write", {"export", "--json"}, 2, "--out FILE"},
        {"save into a missing folder", {"show", "--out", "@/no/such/folder/setup.json"}, 1, "setup.json"},
        {"tune unknown loop", {"tune", "frobnicate"}, 2, "tune: unknown loop \"frobnicate\""},
        {"tune without loop", {"tune"}, 2, "LOOP"},
        {"tune without R", {"--unset", "R", "tune", "current"}, 1, "tune current: no parameter \"R\""},
        {"tune without a gain", {"--unset", "Kd_P_scl", "tune", "position"}, 1, "no parameter \"Kd_P_scl\""},
        {"tune with a zero divisor",
         {"--set", "SLPER=0", "--set", "PositionControlType=0", "tune", "position"},
         1,
         "tune position: \"SLPER\" is 0"},
    };
    WriteFile(Path("malformed.json"), "{\"parameters\": [{\"name\": \"PWM_freq\", \"value\": ");
    WriteFile(Path("notalib.so"), "not a shared library\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Result result = Run(c.args);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_TRUE(result.err.starts_with("dcsetup: ")) << result.err;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_EQ(result.out, "");
    }
}

TEST_F(Dcsetup, UnknownUnitScalesByOneThroughTheExports) {
    const Result text = Run({"scale", "rpm", "X"});
    EXPECT_EQ(text.exitCode, 0) << text.err;
    EXPECT_EQ(text.out, "factor 1\noffset 0\n");
    EXPECT_EQ(RunJson({"scale", "rpm", "X", "--json"}), json::parse(R"({"factor": 1, "offset": 0})"));
}

TEST_F(Dcsetup, ShowJsonListsParametersAndOptions) {
    const json all = RunJson({"show", "--json"});
    ASSERT_TRUE(all["parameters"].contains("PWM_freq")) << all.dump();
    const json& pwm = all["parameters"]["PWM_freq"];
    EXPECT_TRUE(pwm["value"].is_number());
    EXPECT_TRUE(pwm["internal"].is_number());
    EXPECT_EQ(pwm["unit"], "Hz");
    EXPECT_TRUE(all["options"].is_object());

    const json one = RunJson({"show", "pwm_freq", "--json"});
    EXPECT_EQ(one["parameters"].size(), 1u);
    EXPECT_EQ(one["parameters"]["PWM_freq"], pwm);
}

TEST_F(Dcsetup, DriversConvertBetweenRegistersAndParameters) {
    struct Case {
        std::vector<std::string> args;
        std::string name;
        double expected;
    };
    const std::vector<Case> cases = {
        {{"--set", "PWM_freq=10000", "apply", "--json"}, "PWMPER", 3000.0},
        {{"--set", "PWMPER=3000", "read", "--json"}, "PWM_freq", 10000.0},
        {{"--set", "PWMPER=1500", "compute", "--json"}, "PWM_freq", 20000.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.args[1] + " " + c.args[2]);
        const json setup = RunJson(c.args);
        EXPECT_DOUBLE_EQ(setup["parameters"][c.name]["value"].get<double>(), c.expected);
    }
    // apply also refreshes the loop options from the control mode.
    const json speed = RunJson({"--set", "ControlMode=1", "apply", "--json"});
    EXPECT_EQ(speed["options"]["IsClosedPosition"], "0");
    EXPECT_EQ(speed["options"]["IsClosedSpeed"], "1");
}

TEST_F(Dcsetup, TuneWritesTheComputedGainsAndTheirRegisters) {
    struct Case {
        std::string loop;
        std::vector<std::pair<std::string, double>> changes;
        int (*tune)(CKX_Setup&);
        std::vector<dcdrive::GainRegisters> gains;
    };
    const std::vector<dcdrive::GainRegisters> position = {
        dcdrive::kPositionProportionalGain, dcdrive::kPositionIntegralGain, dcdrive::kPositionDerivativeGain};
    const std::vector<Case> cases = {
        {"current",
         {{"PB_C", 2000}},
         dcdrive::TuneCurrentController,
         {dcdrive::kCurrentProportionalGain, dcdrive::kCurrentIntegralGain}},
        {"speed",
         {{"PB_S", 150}, {"Dump_S", 1}},
         dcdrive::TuneSpeedController,
         {dcdrive::kSpeedProportionalGain, dcdrive::kSpeedIntegralGain}},
        {"position", {{"PB_P", 60}}, dcdrive::TunePositionController, position},
        {"position", {{"PositionControlType", 0}}, dcdrive::TunePositionController, position},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.loop + " " + c.changes.front().first);
        const auto unchanged = dcdrive::LoadDefaultSetup();
        auto expected = dcdrive::LoadDefaultSetup();
        std::vector<std::string> args;
        for (const auto& [name, value] : c.changes) {
            expected->FindParameter(name)->SetValueInBaseUnit(value);
            args.insert(args.end(), {"--set", name + "=" + std::to_string(value)});
        }
        ASSERT_EQ(c.tune(*expected), 1);
        args.insert(args.end(), {"tune", c.loop, "--json"});
        const json tuned = RunJson(args)["parameters"];
        bool changed = false;  // else the case would not tell a tuning from none
        for (const dcdrive::GainRegisters& gain : c.gains) {
            const double want = expected->FindParameter(gain.gain)->GetValueInBaseUnit();
            changed = changed || want != unchanged->FindParameter(gain.gain)->GetValueInBaseUnit();
            // The gain shows what its registers hold: the computed gain up to
            // the mantissa's last count.
            const double shift = tuned[gain.shift]["value"].get<double>();
            const double held = dcdrive::DecodeGain(tuned[gain.mantissa]["value"].get<double>(), shift);
            EXPECT_NEAR(tuned[gain.gain]["value"].get<double>(), held, 1e-12 * held) << gain.gain;
            EXPECT_EQ(shift, dcdrive::EncodeGain(want).shift) << gain.shift;
            EXPECT_NEAR(held, want, std::exp2(shift) / 32767.0) << gain.mantissa;
        }
        EXPECT_TRUE(changed);
    }
}

TEST_F(Dcsetup, ComputeSummaryShowsScalesInPhysicalUnits) {
    const Result result = Run({"compute"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    for (const char* text :
         {"PWM frequency", "current loop period", "speed loop period", "VoltageCommandScale",
          "VoltageMeasureScale", "CurrentScale", "counts/A", "MotorPositionScale", "PositionScale",
          "SpeedScale", "MotorSpeedScale", "AccelerationScale", "ControlMode"}) {
        EXPECT_NE(result.out.find(text), std::string::npos) << text << " missing in:\n" << result.out;
    }
}

TEST_F(Dcsetup, EditsApplyInTheOrderGiven) {
    struct Case {
        std::vector<std::string> edits;
        std::optional<double> pwmFreq;    // nullopt: removed
        std::optional<std::string> note;  // nullopt: not set
    };
    const std::vector<Case> cases = {
        {{"--set", "PWM_freq=10000", "--set", "PWM_freq=12000"}, 12000.0, {}},
        {{"--set", "pwm_freq=11000"}, 11000.0, {}},
        {{"--set", "PWM_freq=+9000.5"}, 9000.5, {}},
        {{"--set", "PWM_freq=10000", "--unset", "PWM_freq"}, {}, {}},
        {{"--option", "Note=a", "--set", "PWM_freq=10000", "--option", "Note=b"}, 10000.0, "b"},
        {{"--option", "Note=a", "--set", "PWM_freq=10000", "--option", "Note="}, 10000.0, {}},
        {{"--option", "Note=", "--option", "Note=x=y", "--set", "PWM_freq=10000"}, 10000.0, "x=y"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.edits));
        std::vector<std::string> args = c.edits;
        args.insert(args.end(), {"show", "--json"});
        const json setup = RunJson(args);
        const json& parameters = setup["parameters"];
        ASSERT_EQ(parameters.contains("PWM_freq"), c.pwmFreq.has_value());
        if (c.pwmFreq) {
            EXPECT_DOUBLE_EQ(parameters["PWM_freq"]["value"].get<double>(), *c.pwmFreq);
        }
        ASSERT_EQ(setup["options"].contains("Note"), c.note.has_value());
        if (c.note) {
            EXPECT_EQ(setup["options"]["Note"], *c.note);
        }
    }
}

TEST_F(Dcsetup, SetupFilesRoundTrip) {
    ASSERT_EQ(
        Run({"--set", "PWM_freq=12000", "--option", "Note=hello", "show", "--out", "@/first.json"}).exitCode,
        0);
    const Result copy = Run({"--setup", "@/first.json", "export", "--out", "@/second.json"});
    ASSERT_EQ(copy.exitCode, 0) << copy.err;
    EXPECT_EQ(ReadFile(Path("first.json")), ReadFile(Path("second.json")));

    const json first = RunJson({"--setup", "@/first.json", "show", "--json"});
    EXPECT_EQ(first["parameters"]["PWM_freq"]["value"], 12000.0);
    EXPECT_EQ(first["options"]["Note"], "hello");
    EXPECT_EQ(RunJson({"--setup", "@/second.json", "show", "--json"}), first);

    // Without --out the setup is written back to the file it came from.
    ASSERT_EQ(Run({"--setup", "@/first.json", "--set", "PWM_freq=15000", "export"}).exitCode, 0);
    EXPECT_EQ(RunJson({"--setup", "@/first.json", "show", "--json"})["parameters"]["PWM_freq"]["value"],
              15000.0);

    // Without a setup file the default setup is printed as setup file text.
    const Result printed = Run({"export"});
    ASSERT_EQ(printed.exitCode, 0) << printed.err;
    const auto loaded = kx::LoadSetupFromText(printed.out, "export");
    EXPECT_EQ(loaded->GetParameterCount(), RunJson({"show", "--json"})["parameters"].size());
}

TEST_F(Dcsetup, SetOutsideTheLimitsIsClampedWithAWarning) {
    WriteFile(Path("small.json"), R"({"parameters": [
        {"name": "Gain_x", "value": 1, "min": 0, "max": 10},
        {"name": "Free_x", "value": 2}]})");
    const Result result = Run({"--setup", "@/small.json", "--set", "Gain_x=50", "show", "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.err.find("warning: --set Gain_x=50: Gain_x asked 50, stored 10"), std::string::npos)
        << result.err;
    const json setup = json::parse(result.out);
    EXPECT_EQ(setup["parameters"]["Gain_x"]["value"], 10.0);
    EXPECT_EQ(setup["parameters"]["Gain_x"]["max"], 10.0);
    EXPECT_TRUE(setup["parameters"]["Free_x"]["min"].is_null());
    EXPECT_TRUE(setup["parameters"]["Free_x"]["max"].is_null());
}

TEST(DcsetupInProcess, RunsLikeTheProgram) {
    std::vector<std::string> args{"dcsetup", "--plugin", DCDRIVE_LIBRARY, "scale", "RPM", "x", "--json"};
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    std::ostringstream out, err;
    EXPECT_EQ(dcsetup::RunDcsetup(static_cast<int>(argv.size()), argv.data(), out, err), dcsetup::kExitOk);
    EXPECT_EQ(json::parse(out.str()), json::parse(R"({"factor": 1, "offset": 0})")) << err.str();

    std::vector<std::string> bad{"dcsetup", "frobnicate"};
    std::vector<char*> badArgv{bad[0].data(), bad[1].data()};
    std::ostringstream badOut, badErr;
    EXPECT_EQ(dcsetup::RunDcsetup(2, badArgv.data(), badOut, badErr), dcsetup::kExitBadInput);
    EXPECT_EQ(badErr.str(), "dcsetup: unknown command \"frobnicate\"\n");
}

}  // namespace
