// dcsetup end to end: the built program's exit code, standard output and error.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "Dcsetup.h"
#include "kx/SetupFile.h"
#include "options/Tuning.h"
#include "setups/DefaultSetup.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct Result {
    int exitCode = -1;  // 128 + the signal when killed by one
    std::string out, err;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Standard error holds one line of the program holding the text, or nothing.
void ExpectErrorLine(const std::string& err, const std::string& text) {
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), text.empty() ? 0 : 1) << err;
    EXPECT_TRUE(text.empty() ? err.empty()
                             : err.starts_with("dcsetup: ") && err.find(text) != std::string::npos)
        << err;
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

    // Runs the program in the test's environment (its locale too); a leading "@" stands for the test's
    // folder. Files are limited to sizeLimit bytes; ignoring SIGXFSZ makes a write past it fail instead of
    // killing the program.
    Result Run(std::vector<std::string> args, rlim_t sizeLimit = RLIM_INFINITY, bool ignoreSizeSignal = false,
               const std::vector<const char*>& unsetEnvironment = {}) const {
        args.insert(args.begin(), DCSETUP_PROGRAM);
        std::vector<char*> argv;
        for (auto& arg : args) {
            if (arg.starts_with('@')) arg = m_dir.string() + arg.substr(1);
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        const std::string outPath = Path("stdout.txt"), errPath = Path("stderr.txt");
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
        int status = 0;
        if (pid < 0 || waitpid(pid, &status, 0) != pid) {
            ADD_FAILURE() << "cannot run " << argv[0];
            return {};
        }
        return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), ReadFile(outPath),
                ReadFile(errPath)};
    }

    // The test's folder besides the program's output, with each regular file's bytes.
    std::map<std::string, std::string> Listing() const {
        std::map<std::string, std::string> entries;
        for (const auto& entry : fs::directory_iterator(m_dir))
            entries[entry.path().filename()] =
                entry.is_regular_file() ? ReadFile(entry.path()) : "(not a file)";
        for (const char* own : {"stdout.txt", "stderr.txt"}) entries.erase(own);
        return entries;
    }

    // Runs a command that must succeed and print JSON.
    json RunJson(const std::vector<std::string>& args) const {
        const Result result = Run(args);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return json::parse(result.out, nullptr, false);  // not JSON: a "discarded" value
    }

    fs::path m_dir;
};

TEST_F(Dcsetup, BadInputGetsOneLineAndItsExitCode) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string message;                  // part of the error line
        std::vector<const char*> unset = {};  // from the environment
    };
    // Many save to an existing file too: none may change it or leave anything beside it.
    const std::string kept = "@/kept.json";
    const Case cases[] = {
        {{"frobnicate", "--out", kept}, 2, "unknown command \"frobnicate\""},
        {{"--set", "PWM_freq=1000"}, 2, "no command given"},
        {{"--frobnicate", "show"}, 2, "--frobnicate"},
        {{"--set", "NoSuchParameter=1", "show", "--out", kept}, 2, "no parameter \"NoSuchParameter\""},
        {{"--set", "PWM_freq=1,5", "show", "--out", kept}, 2, "--set PWM_freq=1,5: \"1,5\" is not a number"},
        {{"--set", "PWM_freq=NaN", "export", "--out", kept}, 2, "\"NaN\" is not a finite number"},
        {{"--set", "PWM_freq=1e999", "show"}, 2, "\"1e999\" is out of the range"},
        {{"--set", "PWM_freq", "show"}, 2, "expected NAME=VALUE"},
        {{"--setup", "@/missing.json", "show", "--out", kept}, 2, "missing.json: cannot open the file"},
        {{"--setup", "@/folder", "show"}, 2, "folder: cannot read a folder"},
        // An I/O error stands for an unreadable file (root reads any): the system's failure.
        {{"--setup", "/proc/self/mem", "show", "--out", kept}, 1, "/proc/self/mem: cannot read the file"},
        {{"--setup", "@/empty.json", "export", "--out", kept}, 2, "empty.json: the file is empty"},
        {{"--setup", "/dev/zero", "show"}, 2, "/dev/zero: the file is larger than 64 MiB"},
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
        {{"edit", "--script", "@/script.txt"}, 2, "give --out FILE or --setup FILE"},
        {{"edit", "--script", "@/script.txt", "--out", kept}, 2, "line 2: click takes 1 argument, not 0"},
        {{"edit", "--script", "@/missing.txt", "--out", kept}, 2, "missing.txt: no such file"},
        {{"edit", "--out", kept}, 2, "no display", {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}},
        // The plant file's own refusals: autotests/drive/PlantFileTest.cpp.
        {{"--drive", "@/plant.json", "plant"}, 2, Path("plant.json") + ": supplyVoltage: missing"},
        {{"--drive", "@/missing.json", "show"}, 2, Path("missing.json") + ": no such file"},
    };
    WriteFile(Path("kept.json"), "the previous setup\n");
    WriteFile(Path("empty.json"), "  \n");  // blanks only
    WriteFile(Path("notalib.so"), "not a shared library\n");
    WriteFile(Path("script.txt"), "expect \"Drive Setup\"\nclick\n");
    WriteFile(Path("plant.json"), "{}");
    ASSERT_TRUE(fs::create_directory(Path("folder")));
    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0644), 0);
    const auto files = Listing();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const Result result = Run(c.args, RLIM_INFINITY, false, c.unset);
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
        EXPECT_EQ(result.exitCode, ignoreSignal ? 1 : 128 + SIGXFSZ);
        if (ignoreSignal) ExpectErrorLine(result.err, Path("kept.json") + ": cannot write the file");
        for (const auto& entry : fs::directory_iterator(m_dir))  // only a kill leaves the temporary file
            if (!ignoreSignal && entry.path().filename().string().starts_with("kept.json.tmp."))
                fs::remove(entry.path());
        EXPECT_EQ(Listing(), files);
    }
}

// Each command prints the setup it made: edits in their order (any case, a sign, an option cleared by an
// empty text), the drivers, apply refreshing the loop options, tune the gains tuned after the edits.
TEST_F(Dcsetup, CommandsPrintTheSetupTheyMake) {
    // The register `name` after the loop's tuning with `edit`; it must change.
    auto tuned = [](dcdrive::Loop loop, const char* edit, double value, const char* name) {
        auto setup = dcdrive::LoadDefaultSetup();
        const double before = setup->GetParameterValueInBaseUnit(name);
        setup->FindParameter(edit)->SetValueInBaseUnit(value);
        EXPECT_TRUE(dcdrive::TuneLoop(*setup, loop).tuned);
        EXPECT_NE(setup->GetParameterValueInBaseUnit(name), before) << name;
        return json(setup->GetParameterValueInBaseUnit(name));
    };
    using enum dcdrive::Loop;
    const struct {
        std::vector<std::string> args;  // "--json" follows
        const char* name;
        json value;  // null: removed
        const char* option = "Note";
        json text = nullptr;  // null: not set
    } cases[] = {
        {{"--set", "PWM_freq=10000", "--set", "PWM_freq=12000", "show"}, "PWM_freq", 12000},
        {{"--set", "pwm_freq=11000", "show"}, "PWM_freq", 11000},
        {{"--set", "PWM_freq=+9000.5", "show"}, "PWM_freq", 9000.5},
        {{"--set", "PWM_freq=10000", "--unset", "PWM_freq", "show"}, "PWM_freq", nullptr},
        {{"--option", "Note=a", "--set", "PWM_freq=10000", "--option", "Note=", "show"}, "PWM_freq", 10000},
        {{"--option", "Note=", "--option", "Note=x=y", "--set", "R=2", "show"}, "R", 2, "Note", "x=y"},
        {{"--set", "PWM_freq=10000", "apply"}, "PWMPER", 3000},
        {{"--set", "PWMPER=3000", "read"}, "PWM_freq", 10000},
        {{"--set", "PWMPER=1500", "compute"}, "PWM_freq", 20000},
        {{"--set", "ControlMode=1", "apply"}, "ControlMode", 1, "IsClosedPosition", "0"},
        {{"--set", "PB_C=2000", "tune", "current"}, "KII", tuned(Current, "PB_C", 2000, "KII")},
        {{"--set", "PB_S=90", "tune", "speed"}, "KPS", tuned(Speed, "PB_S", 90, "KPS")},
        {{"--set", "PB_P=25", "tune", "position"}, "KPP", tuned(Position, "PB_P", 25, "KPP")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        std::vector<std::string> args = c.args;
        args.push_back("--json");
        json setup = RunJson(args);
        EXPECT_EQ(setup["parameters"][c.name]["value"], c.value);
        EXPECT_EQ(setup["options"][c.option], c.text);
    }
}

// A setup saved with --out loads again with --setup and exports the same file; export writes back to its
// setup file, or prints the setup without one.
TEST_F(Dcsetup, SetupFilesRoundTrip) {
    const json saved = RunJson(
        {"--set", "PWM_freq=12000", "--option", "Note=hello", "show", "--json", "--out", "@/first.json"});
    ASSERT_EQ(Run({"--setup", "@/first.json", "export", "--out", "@/second.json"}).exitCode, 0);
    EXPECT_EQ(ReadFile(Path("first.json")), ReadFile(Path("second.json")));
    const json loaded = RunJson({"--setup", "@/second.json", "show", "--json"});
    EXPECT_EQ(loaded, saved);
    EXPECT_EQ(loaded["options"]["Note"], "hello");
    EXPECT_EQ(loaded["parameters"]["PWM_freq"]["unit"], "Hz");
    // One parameter shown by its name, in any case.
    EXPECT_EQ(RunJson({"--setup", "@/second.json", "show", "pwm_freq", "--json"})["parameters"],
              json({{"PWM_freq", loaded["parameters"]["PWM_freq"]}}));

    ASSERT_EQ(Run({"--setup", "@/first.json", "--set", "PWM_freq=15000", "export"}).exitCode, 0);
    EXPECT_EQ(RunJson({"--setup", "@/first.json", "show", "--json"})["parameters"]["PWM_freq"]["value"],
              15000.0);
    const Result printed = Run({"export"});
    ASSERT_EQ(printed.exitCode, 0) << printed.err;
    EXPECT_EQ(kx::LoadSetupFromText(printed.out, "export")->GetParameterCount(),
              RunJson({"show", "--json"})["parameters"].size());
}

// A value beyond a limit is clamped with a warning; fractions with a point in any locale.
TEST_F(Dcsetup, SetOutsideTheLimitsIsClampedWithAWarning) {
    WriteFile(Path("small.json"), R"({"parameters": [
        {"name": "Gain_x", "value": 1, "min": 0, "max": 10.25},
        {"name": "Free_x", "value": 2}]})");
    const Result result = Run({"--setup", "@/small.json", "--set", "Gain_x=50.5", "show", "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    ExpectErrorLine(result.err,
                    "warning: --set Gain_x=50.5: Gain_x asked 50.5, stored 10.25 (limits [0, 10.25])");
    EXPECT_EQ(json::parse(result.out)["parameters"], json::parse(R"({
        "Gain_x": {"value": 10.25, "internal": 10.25, "min": 0, "max": 10.25, "unit": ""},
        "Free_x": {"value": 2, "internal": 2, "min": null, "max": null, "unit": ""}})"));
}

// The core writes to the streams it is given; output that cannot be written fails.
TEST(DcsetupInProcess, RunsLikeTheProgram) {
    std::vector<std::string> args = {"dcsetup", "--plugin", DCDRIVE_LIBRARY, "scale", "RPM", "x"};
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    for (const bool writable : {true, false}) {
        std::ostringstream out, err;
        if (!writable) out.setstate(std::ios::badbit);
        EXPECT_EQ(dcsetup::RunDcsetup(static_cast<int>(argv.size()), argv.data(), out, err),
                  writable ? dcsetup::kExitOk : dcsetup::kExitFailure);
        EXPECT_EQ(out.str(), writable ? "factor 1\noffset 0\n" : "");
        EXPECT_TRUE(err.str().starts_with(writable ? "" : "dcsetup: cannot write the output")) << err.str();
    }
}

// plant prints the built-in plant file, or a --drive file with every key (one left out at its default).
TEST_F(Dcsetup, PlantPrintsTheBuiltInPlantAndAPlantFileWithEveryKey) {
    const Result builtIn = Run({"plant"});
    EXPECT_EQ(builtIn.exitCode, 0) << builtIn.err;
    EXPECT_EQ(builtIn.out, dcdrive::DefaultPlantJson());
    json plant = json::parse(builtIn.out);
    plant.erase("tachoGain");
    plant.merge_patch(json::parse(R"({"supplyVoltage": 36.5, "shaftBlocked": true, "converter": {"seed": 77},
        "encoder": {"reversed": true, "ssiBits": 17}, "drive": {"adcBits": 14},
        "load": {"coulombFriction": 0.003}, "motor": {"inductance": 0.0021}})"));
    WriteFile(Path("plant.json"), plant.dump());
    plant["tachoGain"] = 0.0;
    EXPECT_EQ(RunJson({"--drive", "@/plant.json", "plant"}), plant);
}

// edit, answered by dialog scripts: OK saves to --out, else to the setup file; Cancel saves nothing; a step
// that does not hold saves nothing, leaves a picture.
TEST_F(Dcsetup, EditSavesOnOKOnly) {
    const std::string opening = "expect \"DC Motor Setup\"\nclick 1\n";
    WriteFile(Path("ok.txt"), opening + "expect \"Drive Setup\"\nset 3163 36\nclick 1\n");
    WriteFile(Path("cancel.txt"), opening + "set 3163 36\nclick 2\n");
    WriteFile(Path("bad.txt"), opening + "expect \"Drive Setup\"\nassert 3163 text \"12\"\nclick 1\n");
    ASSERT_EQ(Run({"export", "--out", "@/own.json"}).exitCode, 0);
    const std::string fails =
        "line 4: assert 3163 text \"12\": did not hold: the window on top is \"Drive Setup\"";
    const std::string cancelled = "closed with Cancel: nothing saved\n";
    const struct {
        std::vector<std::string> args;
        int exitCode;
        const char* saved;               // holds the Vdc set, as the output says; null: "none" is not written
        std::string err = "", out = "";  // err: a part of the one error line; out: when nothing is saved
    } cases[] = {
        {{"edit", "--script", "@/ok.txt", "--out", "@/x.json"}, 0, "x.json"},
        {{"--setup", "@/own.json", "edit", "--script", "@/ok.txt"}, 0, "own.json"},
        {{"edit", "--script", "@/cancel.txt", "--out", "@/none"}, 3, nullptr, "", cancelled},
        {{"edit", "--script", "@/bad.txt", "--screenshots", "@/shots", "--out", "@/none"}, 5, nullptr, fails},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const Result result = Run(c.args);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.out, c.saved ? "setup written to " + Path(c.saved) + "\n" : c.out);
        ExpectErrorLine(result.err, c.err);
        if (c.saved) {
            const json shown = RunJson({"--setup", "@/" + std::string(c.saved), "show", "Vdc", "--json"});
            EXPECT_EQ(shown["parameters"]["Vdc"]["value"], 36.0);
        }
        EXPECT_FALSE(fs::exists(Path("none")));
    }
    EXPECT_TRUE(fs::exists(Path("shots/failed-line-4.png")));
}

// The steps for the drive hold only with the virtual drive behind the dialogs (else exit 5); "dump" prints
// each window on top as a JSON line.
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
