// dcsetup end to end: the built program run with arguments, its exit code,
// standard output and standard error checked.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
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

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Standard error holds one line, a message of the program that holds the text.
void ExpectErrorLine(const std::string& err, const std::string& text) {
    EXPECT_TRUE(err.starts_with("dcsetup: ")) << err;
    EXPECT_NE(err.find(text), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

class Dcsetup : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "dcsetup-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string Path(const std::string& name) const { return (m_dir / name).string(); }

    // Runs the program in the environment of the test (its locale too); "@"
    // at the start of an argument stands for the test's folder. The program
    // may write at most sizeLimit bytes to any file; ignoring SIGXFSZ makes a
    // write past it fail instead of killing the program.
    Result Run(std::vector<std::string> args, rlim_t sizeLimit = RLIM_INFINITY, bool ignoreSizeSignal = false,
               const std::string& stdoutPath = "",
               const std::vector<const char*>& unsetEnvironment = {}) const {
        args.insert(args.begin(), DCSETUP_PROGRAM);
        std::vector<char*> argv;
        for (auto& arg : args) {
            if (arg.starts_with('@')) arg = m_dir.string() + arg.substr(1);
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        const std::string outPath = stdoutPath.empty() ? Path("stdout.txt") : stdoutPath;
        const std::string errPath = Path("stderr.txt");
        const pid_t pid = fork();
        if (pid == 0) {
            for (const char* variable : unsetEnvironment) unsetenv(variable);
            const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const rlimit limit{sizeLimit, sizeLimit};
            if (out >= 0 && err >= 0 && dup2(out, 1) >= 0 && dup2(err, 2) >= 0 &&
                setrlimit(RLIMIT_FSIZE, &limit) == 0 &&
                signal(SIGXFSZ, ignoreSizeSignal ? SIG_IGN : SIG_DFL) != SIG_ERR)
                execv(argv[0], argv.data());
            _exit(127);
        }
        Result result;
        int status = 0;
        if (pid < 0 || waitpid(pid, &status, 0) != pid) {
            ADD_FAILURE() << "cannot run " << argv[0];
            return result;
        }
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        if (stdoutPath.empty()) result.out = ReadFile(outPath);
        result.err = ReadFile(errPath);
        return result;
    }

    // What the test's folder holds besides the program's output: each entry
    // with the bytes of a regular file.
    std::map<std::string, std::string> Listing() const {
        std::map<std::string, std::string> entries;
        for (const auto& entry : fs::directory_iterator(m_dir)) {
            const std::string name = entry.path().filename().string();
            if (name != "stdout.txt" && name != "stderr.txt")
                entries[name] = entry.is_regular_file() ? ReadFile(entry.path()) : "(not a file)";
        }
        return entries;
    }

    // Runs a command that must succeed and print JSON.
    json RunJson(const std::vector<std::string>& args) const {
        const Result result = Run(args);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return json::parse(result.out, nullptr,
                           false);  // not JSON: a "discarded" value that fails the checks
    }

    fs::path m_dir;
};

TEST_F(Dcsetup, BadInputGetsOneLineAndItsExitCode) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string message;  // part of the error line
    };
    // Many cases save to an existing file as well: none may change it or
    // leave anything beside it.
    const std::string kept = "@/kept.json";
    std::vector<Case> cases = {
        {{"frobnicate", "--out", kept}, 2, "unknown command \"frobnicate\""},
        {{"--set", "PWM_freq=1000"}, 2, "no command given"},
        {{"--frobnicate", "show"}, 2, "--frobnicate"},
        {{"--set", "NoSuchParameter=1", "show", "--out", kept}, 2, "no parameter \"NoSuchParameter\""},
        {{"--set", "PWM_freq=abc", "show", "--out", kept}, 2, "--set PWM_freq=abc: \"abc\" is not a number"},
        {{"--set", "PWM_freq=1,5", "show"}, 2, "\"1,5\" is not a number"},
        {{"--set", "PWM_freq=NaN", "export", "--out", kept}, 2, "\"NaN\" is not a finite number"},
        {{"--set", "PWM_freq=1e999", "show"}, 2, "\"1e999\" is out of the range"},
        {{"--set", "PWM_freq", "show"}, 2, "expected NAME=VALUE"},
        {{"--option", "Note", "show"}, 2, "expected NAME=TEXT"},
        {{"--setup", "@/missing.json", "show", "--out", kept}, 2, "missing.json: cannot open the file"},
        {{"--setup", "@/folder", "show"}, 2, "folder: cannot read a folder"},
        // Root reads any file: an I/O error stands for an unreadable file
        // here, and it is the system's failure, not bad input.
        {{"--setup", "/proc/self/mem", "show", "--out", kept}, 1, "/proc/self/mem: cannot read the file"},
        {{"--setup", "@/empty.json", "show"}, 2, "empty.json: the file is empty"},
        {{"--setup", "/dev/zero", "show"}, 2, "/dev/zero: the file is larger than 64 MiB"},
        {{"--setup", "@/truncated.json", "export", "--out", kept}, 2, "line 1, column 47: not valid JSON"},
        {{"--plugin", "@/notalib.so", "show"}, 1, "notalib.so"},
        {{"--plugin", KXKERNEL_LIBRARY, "show"}, 1, "does not export ComputeAllOptions"},
        {{"export", "--json"}, 2, "--out FILE"},
        {{"show", "--out", "@/no/such/folder/setup.json"},
         2,
         "setup.json: cannot create a file in the folder \"" + Path("no/such/folder") + "\""},
        {{"export", "--out", "@/folder"}, 2, "folder: is a folder, not a file"},
        {{"export", "--out", "@/fifo"}, 2, "fifo: is not a regular file"},
        {{"export", "--out", ""}, 2, "--out: expected a file name"},
        {{"tune", "frobnicate"}, 2, "tune: unknown loop \"frobnicate\""},
        {{"--unset", "R", "tune", "current", "--out", kept}, 1, "tune current: no parameter \"R\""},
        {{"--set", "SLPER=0", "tune", "position"}, 1, "\"SLPER\" is 0"},
    };
    WriteFile(Path("kept.json"), "the previous setup\n");
    WriteFile(Path("empty.json"), "  \n");  // blanks only
    WriteFile(Path("truncated.json"), "{\"parameters\": [{\"name\": \"PWM_freq\", \"value\": ");
    WriteFile(Path("notalib.so"), "not a shared library\n");
    ASSERT_TRUE(fs::create_directory(Path("folder")));
    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0644), 0);
    if (geteuid() != 0) {  // root reads and writes past the permissions
        WriteFile(Path("unreadable.json"), "{\"parameters\": []}");
        fs::permissions(Path("unreadable.json"), fs::perms::none);
        cases.push_back(
            {{"--setup", "@/unreadable.json", "show"}, 2, "unreadable.json: cannot open the file"});
        ASSERT_TRUE(fs::create_directory(Path("readonly")));
        fs::permissions(Path("readonly"), fs::perms::owner_read | fs::perms::owner_exec);
        cases.push_back(
            {{"show", "--out", "@/readonly/setup.json"}, 2, "cannot create a file in the folder"});
    }
    const auto files = Listing();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const Result result = Run(c.args);
        EXPECT_EQ(result.exitCode, c.exitCode);
        ExpectErrorLine(result.err, c.message);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(Listing(), files);
    }
}

TEST_F(Dcsetup, FailedWriteLeavesThePreviousFileAsItWas) {
    ASSERT_EQ(Run({"--set", "PWM_freq=12000", "export", "--out", "@/kept.json"}).exitCode, 0);
    const auto files = Listing();
    // The new setup file stops halfway, as on a full disk.
    const rlim_t limit = files.at("kept.json").size() / 2;
    for (const bool ignoreSignal : {false, true}) {  // killed while writing, or the write fails
        SCOPED_TRACE(ignoreSignal);
        const Result result =
            Run({"--set", "PWM_freq=15000", "show", "--out", "@/kept.json"}, limit, ignoreSignal);
        EXPECT_EQ(result.out, "");
        if (ignoreSignal) {
            EXPECT_EQ(result.exitCode, 1);
            ExpectErrorLine(result.err, Path("kept.json") + ": cannot write the file");
        } else {
            EXPECT_EQ(result.signal, SIGXFSZ);
            // Only a kill leaves the temporary file; clear it.
            for (const auto& entry : fs::directory_iterator(m_dir))
                if (entry.path().filename().string().starts_with("kept.json.tmp.")) fs::remove(entry.path());
        }
        EXPECT_EQ(Listing(), files);
    }
    // Output that cannot be written is a failure too.
    const Result full = Run({"show"}, RLIM_INFINITY, false, "/dev/full");
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_TRUE(full.err.starts_with("dcsetup: cannot write the output")) << full.err;
}

TEST_F(Dcsetup, DriversConvertBetweenRegistersAndParameters) {
    const struct {
        const char *set, *command, *name;
        double expected;
    } cases[] = {{"PWM_freq=10000", "apply", "PWMPER", 3000},
                 {"PWMPER=3000", "read", "PWM_freq", 10000},
                 {"PWMPER=1500", "compute", "PWM_freq", 20000}};
    for (const auto& c : cases) {
        const json setup = RunJson({"--set", c.set, c.command, "--json"});
        EXPECT_DOUBLE_EQ(setup["parameters"][c.name]["value"].get<double>(), c.expected) << c.command;
    }
    // apply also refreshes the loop options from the control mode.
    const json options = RunJson({"--set", "ControlMode=1", "apply", "--json"})["options"];
    EXPECT_EQ(options["IsClosedPosition"], "0");
    EXPECT_EQ(options["IsClosedSpeed"], "1");
}

TEST_F(Dcsetup, TuneWritesTheComputedGainsAndTheirRegisters) {
    using namespace dcdrive;
    const struct {
        const char *loop, *name;
        double value;
        int (*tune)(CKX_Setup&);
        std::vector<GainRegisters> gains;
    } cases[] = {
        {"current", "PB_C", 2000, TuneCurrentController, {kCurrentProportionalGain, kCurrentIntegralGain}},
        {"position",
         "PositionControlType",
         0,
         TunePositionController,
         {kPositionProportionalGain, kPositionIntegralGain, kPositionDerivativeGain}},
    };
    for (const auto& c : cases) {
        const auto unchanged = LoadDefaultSetup();
        auto expected = LoadDefaultSetup();
        expected->FindParameter(c.name)->SetValueInBaseUnit(c.value);
        ASSERT_EQ(c.tune(*expected), 1);
        json tuned =
            RunJson({"--set", c.name + ("=" + dcsetup::FormatNumber(c.value)), "tune", c.loop, "--json"});
        auto shown = [&tuned](const char* name) { return tuned["parameters"][name]["value"].get<double>(); };
        for (const GainRegisters& gain : c.gains) {
            const double want = expected->FindParameter(gain.gain)->GetValueInBaseUnit();
            // Else the case would not tell a tuning from none.
            EXPECT_NE(want, unchanged->FindParameter(gain.gain)->GetValueInBaseUnit()) << gain.gain;
            // The gain shows what its registers hold: the computed gain up to
            // the mantissa's last count.
            const double shift = shown(gain.shift), held = DecodeGain(shown(gain.mantissa), shift);
            EXPECT_NEAR(shown(gain.gain), held, 1e-12 * held) << gain.gain;
            EXPECT_EQ(shift, EncodeGain(want).shift) << gain.shift;
            EXPECT_NEAR(held, want, std::exp2(shift) / 32767.0) << gain.mantissa;
        }
    }
}

TEST_F(Dcsetup, EditsApplyInTheOrderGiven) {
    const struct {
        std::vector<std::string> edits;
        json pwmFreq, note;  // null: removed or not set
    } cases[] = {
        {{"--set", "PWM_freq=10000", "--set", "PWM_freq=12000"}, 12000, nullptr},
        {{"--set", "pwm_freq=11000"}, 11000, nullptr},
        {{"--set", "PWM_freq=+9000.5"}, 9000.5, nullptr},
        {{"--set", "PWM_freq=10000", "--unset", "PWM_freq"}, nullptr, nullptr},
        {{"--option", "Note=a", "--set", "PWM_freq=10000", "--option", "Note="}, 10000, nullptr},
        {{"--option", "Note=", "--option", "Note=x=y", "--set", "PWM_freq=10000"}, 10000, "x=y"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.edits));
        std::vector<std::string> args = c.edits;
        args.insert(args.end(), {"show", "--json"});
        json setup = RunJson(args);
        EXPECT_EQ(setup["parameters"]["PWM_freq"]["value"], c.pwmFreq);
        EXPECT_EQ(setup["options"]["Note"], c.note);
    }
}

TEST_F(Dcsetup, SetupFilesRoundTrip) {
    ASSERT_EQ(
        Run({"--set", "PWM_freq=12000", "--option", "Note=hello", "show", "--out", "@/first.json"}).exitCode,
        0);
    ASSERT_EQ(Run({"--setup", "@/first.json", "export", "--out", "@/second.json"}).exitCode, 0);
    EXPECT_EQ(ReadFile(Path("first.json")), ReadFile(Path("second.json")));
    json first = RunJson({"--setup", "@/second.json", "show", "--json"});
    json& pwm = first["parameters"]["PWM_freq"];
    EXPECT_EQ(pwm["value"], 12000.0);
    EXPECT_TRUE(pwm["internal"].is_number() && pwm["unit"] == "Hz") << pwm;
    EXPECT_EQ(first["options"]["Note"], "hello");
    // One parameter shown by its name, in any case.
    EXPECT_EQ(RunJson({"--setup", "@/second.json", "show", "pwm_freq", "--json"})["parameters"],
              json({{"PWM_freq", pwm}}));

    // Without --out the setup is written back to the file it came from.
    ASSERT_EQ(Run({"--setup", "@/first.json", "--set", "PWM_freq=15000", "export"}).exitCode, 0);
    EXPECT_EQ(RunJson({"--setup", "@/first.json", "show", "--json"})["parameters"]["PWM_freq"]["value"],
              15000.0);

    // Without a setup file the default setup is printed as setup file text.
    const Result printed = Run({"export"});
    ASSERT_EQ(printed.exitCode, 0) << printed.err;
    EXPECT_EQ(kx::LoadSetupFromText(printed.out, "export")->GetParameterCount(),
              RunJson({"show", "--json"})["parameters"].size());
}

// A value beyond a limit is clamped with a warning; fractions on the command
// line, in the file and in the message with a point in any locale.
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
    EXPECT_TRUE(setup["parameters"]["Free_x"]["min"].is_null() &&
                setup["parameters"]["Free_x"]["max"].is_null());
}

// The program's core writes to the streams it is given.
TEST(DcsetupInProcess, RunsLikeTheProgram) {
    std::vector<std::string> args = {"dcsetup", "--plugin", DCDRIVE_LIBRARY, "scale", "RPM", "x"};
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    std::ostringstream out, err;
    EXPECT_EQ(dcsetup::RunDcsetup(static_cast<int>(argv.size()), argv.data(), out, err), dcsetup::kExitOk);
    EXPECT_EQ(out.str(), "factor 1\noffset 0\n");
    EXPECT_EQ(err.str(), "");
}

// ---- the virtual drive's plant

TEST_F(Dcsetup, PlantPrintsTheBuiltInPlantAndAPlantFileWithEveryKey) {
    const Result builtIn = Run({"plant"});
    EXPECT_EQ(builtIn.exitCode, 0) << builtIn.err;
    EXPECT_EQ(builtIn.out, dcdrive::DefaultPlantJson());
    json plant = json::parse(builtIn.out);
    plant["supplyVoltage"] = 36.0;
    plant.erase("tachoGain");  // an optional key keeps its default
    WriteFile(Path("plant.json"), plant.dump());
    const Result own = Run({"--drive", "@/plant.json", "plant"});
    EXPECT_EQ(own.exitCode, 0) << own.err;
    const json read = json::parse(own.out);
    EXPECT_EQ(read["supplyVoltage"], 36.0);
    EXPECT_EQ(read["tachoGain"], 0.0);
}

// The refusals themselves: autotests/drive/PlantFileTest.cpp.
TEST_F(Dcsetup, ARefusedPlantFileNamesTheFileAndTheKey) {
    json plant = json::parse(dcdrive::DefaultPlantJson());
    plant["motor"].erase("inductance");
    WriteFile(Path("bad.json"), plant.dump());
    for (const std::string file : {"bad.json", "missing.json"})
        for (const char* command : {"plant", "show"}) {
            const Result result = Run({"--drive", "@/" + file, command});
            EXPECT_EQ(result.exitCode, 2);
            ExpectErrorLine(result.err,
                            Path(file) + (file == "bad.json" ? ": motor.inductance: " : ": no such file"));
            EXPECT_EQ(result.out, "");
        }
}

// ---- edit: the drive setup editor, answered by dialog scripts

TEST_F(Dcsetup, EditSavesOnOKOnly) {
    WriteFile(Path("ok.txt"),
              "expect \"DC Motor Setup\"\nclick 1\nexpect \"Drive Setup\"\nset 3163 36\nclick 1\n");
    const Result ok = Run({"edit", "--script", "@/ok.txt", "--out", "@/edited.json"});
    EXPECT_EQ(ok.exitCode, 0) << ok.err;
    EXPECT_EQ(ok.out, "setup written to " + Path("edited.json") + "\n");
    // The setup file itself when no --out is given.
    ASSERT_EQ(Run({"export", "--out", "@/own.json"}).exitCode, 0);
    EXPECT_EQ(Run({"--setup", "@/own.json", "edit", "--script", "@/ok.txt"}).exitCode, 0);
    for (const char* file : {"@/edited.json", "@/own.json"})
        EXPECT_EQ(RunJson({"--setup", file, "show", "Vdc", "--json"})["parameters"]["Vdc"]["value"], 36.0);

    WriteFile(Path("cancel.txt"), "expect \"DC Motor Setup\"\nclick 1\nset 3163 36\nclick 2\n");
    const Result cancel = Run({"edit", "--script", "@/cancel.txt", "--out", "@/cancelled.json"});
    EXPECT_EQ(cancel.exitCode, 3);
    EXPECT_EQ(cancel.out, "closed with Cancel: nothing saved\n");
    EXPECT_FALSE(fs::exists(Path("cancelled.json")));
}

TEST_F(Dcsetup, EditStepThatDoesNotHoldSavesNothingAndLeavesAPicture) {
    WriteFile(
        Path("script.txt"),
        "expect \"DC Motor Setup\"\nclick 1\nexpect \"Drive Setup\"\nassert 3163 text \"12\"\nclick 1\n");
    const Result result =
        Run({"edit", "--script", "@/script.txt", "--screenshots", "@/shots", "--out", "@/never.json"});
    EXPECT_EQ(result.exitCode, 5);
    ExpectErrorLine(result.err,
                    "line 4: assert 3163 text \"12\": did not hold: the window on top is \"Drive Setup\" "
                    "(template 106); control 3163 is {\"id\":3163,\"class\":\"QLineEdit\"");
    EXPECT_FALSE(fs::exists(Path("never.json")));
    EXPECT_TRUE(fs::exists(Path("shots/failed-line-4.png")));
}

TEST_F(Dcsetup, EditRefusesToStartWithoutWhatItNeeds) {
    WriteFile(Path("bad.txt"), "expect \"Drive Setup\"\nclick\n");
    const struct {
        std::vector<std::string> args;
        std::vector<const char*> unset;
        const char* says;
    } cases[] = {
        {{"edit", "--script", "@/bad.txt"}, {}, "give --out FILE or --setup FILE"},
        {{"edit", "--script", "@/bad.txt", "--out", "@/x.json"}, {}, "line 2: click takes 1 argument, not 0"},
        {{"edit", "--script", "@/missing.txt", "--out", "@/x.json"}, {}, "no such file"},
        {{"edit", "--out", "@/x.json"}, {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}, "no display"},
    };
    for (const auto& c : cases) {
        const Result result = Run(c.args, RLIM_INFINITY, false, "", c.unset);
        EXPECT_EQ(result.exitCode, 2) << c.says;
        ExpectErrorLine(result.err, c.says);
        EXPECT_EQ(result.out, "");
        EXPECT_FALSE(fs::exists(Path("x.json")));
    }
}

// The steps for the drive hold only with the virtual drive behind the
// dialogs (else exit 5); "dump" prints each window on top as a JSON line.
TEST_F(Dcsetup, EditPutsTheVirtualDriveBehindTheDialogsAndDumpsAndShootsThem) {
    WriteFile(
        Path("hands.txt"),
        "expect \"DC Motor Setup\"\nturn motor 6.2832 0.2\nturn load 1\nanalogue 2.5\nsupply 36\n"
        "block on\nfault comm-down on\nfault comm-down off\nclick 1\ndump\nshot editor\nclick 3159\ndump\n"
        "click 2\nclick 2\n");
    const Result result =
        Run({"edit", "--panel", "--script", "@/hands.txt", "--screenshots", "@/shots", "--out", "@/x.json"});
    EXPECT_EQ(result.exitCode, 3) << result.err;
    EXPECT_EQ(result.err, "");
    std::istringstream lines(result.out);
    std::string first, second;
    ASSERT_TRUE(std::getline(lines, first) && std::getline(lines, second)) << result.out;
    EXPECT_EQ(json::parse(first)["template"], 106);
    EXPECT_EQ(json::parse(second)["title"], "Drive info");
    EXPECT_EQ(ReadFile(Path("shots/editor.png")).substr(1, 3), "PNG");
}

}  // namespace
