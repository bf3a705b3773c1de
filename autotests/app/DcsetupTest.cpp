// dcsetup end to end: the built program run with arguments, its exit code,
// standard output and standard error checked.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "Commands.h"
#include "Dcsetup.h"
#include "conversions/Gains.h"
#include "kx/SetupFile.h"
#include "options/Tuning.h"
#include "setups/DefaultSetup.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct Result {
    int exitCode = -1;  // -1 when killed by a signal
    int signal = 0;
    std::string out, err;
};

// How the program is started.
struct Launch {
    rlim_t fileSizeLimit = RLIM_INFINITY;
    bool ignoreFileSizeSignal = false;  // then a write past the limit fails instead of killing
    std::string stdoutPath;             // default: a file in the test's folder
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

    // Runs the program in the environment of the test (its locale too); "@"
    // at the start of an argument stands for the test's folder.
    Result Run(std::vector<std::string> args, const Launch& launch = {}) const {
        std::vector<std::string> full{DCSETUP_PROGRAM};
        for (auto& arg : args) full.push_back(arg.starts_with('@') ? m_dir.string() + arg.substr(1) : arg);
        std::vector<char*> argv;
        for (auto& arg : full) argv.push_back(arg.data());
        argv.push_back(nullptr);

        const std::string outPath = launch.stdoutPath.empty() ? Path("stdout.txt") : launch.stdoutPath;
        const std::string errPath = Path("stderr.txt");
        const pid_t pid = fork();
        if (pid == 0) {
            const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const rlimit limit{launch.fileSizeLimit, launch.fileSizeLimit};
            if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
                setrlimit(RLIMIT_FSIZE, &limit) != 0 ||
                signal(SIGXFSZ, launch.ignoreFileSizeSignal ? SIG_IGN : SIG_DFL) == SIG_ERR)
                _exit(127);
            execv(argv[0], argv.data());
            _exit(127);
        }
        Result result;
        if (pid < 0) {
            ADD_FAILURE() << "cannot start " << argv[0];
            return result;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        if (launch.stdoutPath.empty()) result.out = ReadFile(outPath);
        result.err = ReadFile(errPath);
        return result;
    }

    // What the test's folder holds besides the program's output: each entry
    // with the bytes of a regular file.
    std::map<std::string, std::string> Listing() const {
        std::map<std::string, std::string> entries;
        for (const auto& entry : fs::directory_iterator(m_dir)) {
            const std::string name = entry.path().filename().string();
            if (name == "stdout.txt" || name == "stderr.txt") continue;
            entries[name] = entry.is_regular_file() ? ReadFile(entry.path()) : "(not a file)";
        }
        return entries;
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
    // Many cases save to an existing file as well: none may change it or
    // leave anything beside it.
    std::vector<Case> cases = {
        {"unknown command", {"frobnicate", "--out", "@/kept.json"}, 2, "unknown command \"frobnicate\""},
        {"no command", {"--set", "PWM_freq=1000"}, 2, "no command given"},
        {"unknown option", {"--frobnicate", "show"}, 2, "--frobnicate"},
        {"unknown --set name",
         {"--set", "NoSuchParameter=1", "show", "--out", "@/kept.json"},
         2,
         "no parameter \"NoSuchParameter\""},
        {"--set not a number",
         {"--set", "PWM_freq=abc", "show", "--out", "@/kept.json"},
         2,
         "--set PWM_freq=abc: \"abc\" is not a number"},
        {"--set trailing text", {"--set", "PWM_freq=20000Hz", "show"}, 2, "\"20000Hz\" is not a number"},
        {"--set decimal comma", {"--set", "PWM_freq=1,5", "show"}, 2, "\"1,5\" is not a number"},
        {"--set empty value", {"--set", "PWM_freq=", "show"}, 2, "\"\" is not a number"},
        {"--set NaN",
         {"--set", "PWM_freq=NaN", "export", "--out", "@/kept.json"},
         2,
         "\"NaN\" is not a finite number"},
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
        {"missing setup file",
         {"--setup", "@/missing.json", "show", "--out", "@/kept.json"},
         2,
         "missing.json: cannot open the file"},
        {"setup file that is a folder", {"--setup", "@/folder", "show"}, 2, "folder: cannot read a folder"},
        // Root reads any file: an I/O error stands for an unreadable file
        // here, and it is the system's failure, not bad input.
        {"setup file that fails to read",
         {"--setup", "/proc/self/mem", "show", "--out", "@/kept.json"},
         1,
         "/proc/self/mem: cannot read the file"},
        {"empty setup file", {"--setup", "@/empty.json", "show"}, 2, "empty.json: the file is empty"},
        {"endless setup file",
         {"--setup", "/dev/zero", "show"},
         2,
         "/dev/zero: the file is larger than 64 MiB"},
        {"truncated setup file",
         {"--setup", "@/truncated.json", "export", "--out", "@/kept.json"},
         2,
         "truncated.json: line 1, column 47: not valid JSON"},
        {"setup file not JSON",
         {"--setup", "@/text.json", "show"},
         2,
         "text.json: line 1, column 1: not valid JSON"},
        {"setup file of another schema",
         {"--setup", "@/schema.json", "show", "--out", "@/kept.json"},
         2,
         "schema.json: parameters[0] (\"PWM_freq\").value: expected a number, found string"},
        {"empty setup file name", {"--setup", "", "show"}, 2, "--setup: expected a file name"},
        {"plug-in not a library", {"--plugin", "@/notalib.so", "show"}, 1, "notalib.so"},
        {"plug-in without entry points",
         {"--plugin", KXKERNEL_LIBRARY, "show"},
         1,
         "does not export ComputeAllOptions"},
        {"export --json with nowhere to write", {"export", "--json"}, 2, "--out FILE"},
        {"save into a missing folder",
         {"show", "--out", "@/no/such/folder/setup.json"},
         2,
         "setup.json: cannot create a file in the folder \"" + Path("no/such/folder") + "\""},
        // sysfs takes no new files, whoever asks.
        {"save into a read-only folder",
         {"show", "--out", "/sys/dcsetup-test.json"},
         2,
         "/sys/dcsetup-test.json: cannot create a file in the folder \"/sys\""},
        {"save over a folder", {"export", "--out", "@/folder"}, 2, "folder: is a folder, not a file"},
        {"save over a pipe", {"export", "--out", "@/fifo"}, 2, "fifo: is not a regular file"},
        {"empty --out", {"export", "--out", ""}, 2, "--out: expected a file name"},
        {"tune unknown loop", {"tune", "frobnicate"}, 2, "tune: unknown loop \"frobnicate\""},
        {"tune without loop", {"tune"}, 2, "LOOP"},
        {"tune without R",
         {"--unset", "R", "tune", "current", "--out", "@/kept.json"},
         1,
         "tune current: no parameter \"R\""},
        {"tune without a gain", {"--unset", "Kd_P_scl", "tune", "position"}, 1, "no parameter \"Kd_P_scl\""},
        {"tune with a zero divisor",
         {"--set", "SLPER=0", "--set", "PositionControlType=0", "tune", "position"},
         1,
         "tune position: \"SLPER\" is 0"},
    };
    WriteFile(Path("kept.json"), "the previous setup\n");
    WriteFile(Path("empty.json"), "");
    WriteFile(Path("truncated.json"), "{\"parameters\": [{\"name\": \"PWM_freq\", \"value\": ");
    WriteFile(Path("text.json"), "PWM_freq = 20000\n");
    WriteFile(Path("schema.json"), R"({"parameters": [{"name": "PWM_freq", "value": "20 kHz"}]})");
    WriteFile(Path("notalib.so"), "not a shared library\n");
    ASSERT_TRUE(fs::create_directory(Path("folder")));
    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0644), 0);
    if (geteuid() != 0) {  // root reads and writes past the permissions
        WriteFile(Path("unreadable.json"), "{\"parameters\": []}");
        fs::permissions(Path("unreadable.json"), fs::perms::none);
        cases.push_back({"setup file without read permission",
                         {"--setup", "@/unreadable.json", "show"},
                         2,
                         "unreadable.json: cannot open the file"});
        ASSERT_TRUE(fs::create_directory(Path("readonly")));
        fs::permissions(Path("readonly"), fs::perms::owner_read | fs::perms::owner_exec);
        cases.push_back({"save into a folder without write permission",
                         {"show", "--out", "@/readonly/setup.json"},
                         2,
                         "cannot create a file in the folder"});
    }
    const auto files = Listing();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Result result = Run(c.args);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_TRUE(result.err.starts_with("dcsetup: ")) << result.err;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(Listing(), files);
    }
}

TEST_F(Dcsetup, FailedWriteLeavesThePreviousFileAsItWas) {
    ASSERT_EQ(Run({"--set", "PWM_freq=12000", "export", "--out", "@/kept.json"}).exitCode, 0);
    const auto files = Listing();
    const std::string previous = files.at("kept.json");
    // The program may write this much to any file: the new setup file stops
    // halfway, as on a full disk.
    const rlim_t limit = previous.size() / 2;
    struct Case {
        const char* what;
        bool ignoreSignal;
        int signal, exitCode;
    };
    const Case cases[] = {
        {"killed while writing", false, SIGXFSZ, -1},
        {"write fails", true, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Result result = Run({"--set", "PWM_freq=15000", "show", "--out", "@/kept.json"},
                                  Launch{limit, c.ignoreSignal, ""});
        EXPECT_EQ(result.signal, c.signal);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(ReadFile(Path("kept.json")), previous);
        if (c.signal) {
            // Only a kill leaves the temporary file; clear it for the next case.
            for (const auto& entry : fs::directory_iterator(m_dir)) {
                if (entry.path().filename().string().starts_with("kept.json.tmp.")) fs::remove(entry.path());
            }
        } else {
            EXPECT_TRUE(result.err.starts_with("dcsetup: " + Path("kept.json") + ": cannot write the file"))
                << result.err;
            EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        }
        EXPECT_EQ(Listing(), files);
    }
    // Output that cannot be written is a failure too.
    const Result full = Run({"show"}, Launch{RLIM_INFINITY, false, "/dev/full"});
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_TRUE(full.err.starts_with("dcsetup: cannot write the output")) << full.err;
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
            args.insert(args.end(), {"--set", name + "=" + dcsetup::FormatNumber(value)});
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

// Fractions on the command line, in the file and in the message are read and
// written with a point in any locale.
TEST_F(Dcsetup, SetOutsideTheLimitsIsClampedWithAWarning) {
    WriteFile(Path("small.json"), R"({"parameters": [
        {"name": "Gain_x", "value": 1, "min": 0, "max": 10.25},
        {"name": "Free_x", "value": 2}]})");
    const Result result = Run({"--setup", "@/small.json", "--set", "Gain_x=50.5", "show", "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(
        result.err.find("warning: --set Gain_x=50.5: Gain_x asked 50.5, stored 10.25 (limits [0, 10.25])"),
        std::string::npos)
        << result.err;
    const json setup = json::parse(result.out);
    EXPECT_EQ(setup["parameters"]["Gain_x"]["value"], 10.25);
    EXPECT_EQ(setup["parameters"]["Gain_x"]["max"], 10.25);
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
