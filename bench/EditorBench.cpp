// How long a commissioning engineer waits for the drive setup editor: the
// editor built from its template, loaded from the default setup and shown
// (offscreen), the motor setup opened over it, and whole dcsetup processes: one that opens the editor and
// presses OK, beside one that runs ComputeAllOptions and nothing else.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "drive/VirtualDrive.h"
#include "editors/DriveSetupDlg.h"
#include "editors/Templates.h"
#include "kx/Script.h"
#include "kx/gui/Clock.h"
#include "kx/gui/DriveHost.h"
#include "kx/gui/ScriptPlayer.h"
#include "plugin/Scaling.h"
#include "setups/DefaultSetup.h"
#include "tests/TestCurrent.h"
#include "tests/TestDialogs.h"
#include "tests/TestSpeedTuning.h"

extern char** environ;

namespace {

const kx::ModuleRegistration g_plugin(dcdrive::PluginResources());
const kx::ModuleRegistration g_tests(dcdrive::TestResources());

void OpenDriveSetupEditor(benchmark::State& state) {
    auto setup = dcdrive::LoadDefaultSetup();
    for (auto _ : state) {
        CDriveSetupDlg dialog(*setup, nullptr);
        // Closed as soon as the event loop runs, that is once it is shown.
        QTimer::singleShot(0, [&] { dialog.GetWindow()->reject(); });
        benchmark::DoNotOptimize(dialog.DoModal());
    }
}
BENCHMARK(OpenDriveSetupEditor)->Unit(benchmark::kMillisecond);

// The motor setup as a commissioning engineer first sees it: the drive setup
// editor shown, the motor setup opened on top of it by the editor's show
// timer, both closed. Host time is virtual, so that the show timer fires when
// the benchmark lets it (main sets virtual time).
void OpenMotorSetupOverDriveSetup(benchmark::State& state) {
    kx::HostClock& clock = kx::HostClock::Instance();
    auto setup = dcdrive::LoadDefaultSetup();
    for (auto _ : state) {
        CDriveSetupDlg dialog(*setup, nullptr);
        bool opened = false;
        QTimer::singleShot(0, [&] {
            // Closed as soon as its own event loop runs.
            QTimer::singleShot(0, [&] {
                if (auto* motor = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                    motor && motor != dialog.GetWindow()) {
                    opened = true;
                    motor->reject();
                }
            });
            clock.AdvanceTo(clock.NextDue());
            dialog.GetWindow()->reject();
        });
        benchmark::DoNotOptimize(dialog.DoModal());
        if (!opened) {
            state.SkipWithError("the motor setup did not open");
            break;
        }
    }
}
BENCHMARK(OpenMotorSetupOverDriveSetup)->Unit(benchmark::kMillisecond);

// A commissioning test on the virtual drive of the default plant, answered
// by a script in virtual host time: opened and closed, and opened, run from
// Start to its result (logged, uploaded, drawn) and closed. The difference of
// the two is the run.
template <class Dialog>
void TestRun(benchmark::State& state, const char* script) {
    vdrive::Plant plant;
    std::string error;
    if (!vdrive::ParsePlant(dcdrive::DefaultPlantJson(), plant, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    vdrive::VirtualDrive drive(plant);
    const kx::VirtualDriveScope installed(drive);
    const dcdrive::ScopedHostScaling scaling;
    auto setup = dcdrive::LoadDefaultSetup();
    for (auto _ : state) {
        Dialog dialog(*setup, 1, nullptr);
        kx::ScriptPlayer player(kx::ParseScript(script), {});
        player.Start();
        benchmark::DoNotOptimize(dialog.DoModal());
        if (!player.Finish()) {
            state.SkipWithError(player.FailureMessage().c_str());
            break;
        }
    }
}
void OpenCurrentTest(benchmark::State& state) {
    TestRun<CTestCurrent>(state, "expect \"Current Controller Tuning Test\"\nclick 2\n");
}
BENCHMARK(OpenCurrentTest)->Unit(benchmark::kMillisecond);
void RunCurrentTest(benchmark::State& state) {
    TestRun<CTestCurrent>(state,
                          "expect \"Current Controller Tuning Test\"\ntab 1\nclick 10000\nwait\n"
                          "assert 10004 text \"Test passed\"\nclick 2\n");
}
BENCHMARK(RunCurrentTest)->Unit(benchmark::kMillisecond);

// The speed test with the data logger: holds of 1000 ms make a cycle of
// 2.2 s, which fills the logger's 2000 points at the 1 ms speed loop.
constexpr const char* kSpeedTestOpened =
    "expect \"Speed Controller Tuning Test\"\nset 1314 1000\nset 1317 1000\n";
void OpenSpeedTest(benchmark::State& state) {
    TestRun<CTestSpeedTuning>(state, (std::string(kSpeedTestOpened) + "click 2\n").c_str());
}
BENCHMARK(OpenSpeedTest)->Unit(benchmark::kMillisecond);
void RunSpeedTest(benchmark::State& state) {
    TestRun<CTestSpeedTuning>(state,
                              (std::string(kSpeedTestOpened) +
                               "tab 1\nclick 10000\nwait\nassert 10004 text \"Test passed\"\nclick 2\n")
                                  .c_str());
}
BENCHMARK(RunSpeedTest)->Unit(benchmark::kMillisecond);

// Runs the program to its end; the exit status must be 0.
void RunProgram(benchmark::State& state, std::vector<std::string> args) {
    args.insert(args.begin(), DCSETUP_PROGRAM);
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    for (auto _ : state) {
        pid_t pid = 0;
        int status = 0;
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0 ||
            waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("dcsetup failed");
            break;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
}

void DcsetupCompute(benchmark::State& state) { RunProgram(state, {"compute"}); }
BENCHMARK(DcsetupCompute)->Unit(benchmark::kMillisecond)->UseRealTime();

void DcsetupEditPressOK(benchmark::State& state) {
    const auto folder = std::filesystem::temp_directory_path();
    const std::string script = (folder / "dcdrive-bench-ok.txt").string();
    std::ofstream(script) << "expect \"DC Motor Setup\"\nclick 1\nexpect \"Drive Setup\"\nclick 1\n";
    RunProgram(state, {"edit", "--script", script, "--out", (folder / "dcdrive-bench-edited.json").string()});
}
BENCHMARK(DcsetupEditPressOK)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    // Window timers fire only when a benchmark moves host time: the drive
    // setup editor's show timer does not open the motor setup by itself.
    kx::HostClock::Instance().SetMode(kx::HostClock::Mode::Virtual);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
