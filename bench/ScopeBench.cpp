// The oscilloscope path in real time: the virtual drive streams frames of
// four channels while a speed profile repeats; a 1 ms poll hands them to the
// scope logger and the scope window draws each point as it arrives, as the
// tuning dialogs do. Reports frames handled and redraws per second of wall
// time, and the share of one core the process used.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <ctime>
#include <memory>

#include "DefaultSetup.h"
#include "drive/VirtualDrive.h"
#include "kx/Setup.h"
#include "kx/VirtualDriveLink.h"
#include "kx/gui/Scope.h"

namespace {

CKX_ScopeLogger* g_logger = nullptr;
CScopeWindow* g_window = nullptr;
long g_frames = 0;

void OnFrame(const std::uint16_t* message) {
    if (message[kx::kMessageCodeWord] != kx::kScopeFrameCode) return;
    if (g_logger->OnFrameReceive(message[kx::kMessageLengthWord] * 2, message + kx::kMessagePayloadWord) < 1)
        return;
    ++g_frames;
    int first = 0, count = 0;
    g_logger->GetPointsToBeDrawn(first, count);
    for (int i = 0; i < count; ++i) {
        g_window->DrawPoint(first);
        first = (first + 1) % g_logger->GetPointsNo();
        if (first == 0) g_window->UpdateWindow();
    }
}

void BM_ScopeRealTime(benchmark::State& state) {
    int argc = 1;
    char name[] = "scope_bench";
    char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    (void)app;

    vdrive::Plant plant;
    std::string error;
    vdrive::ParsePlant(dcdrive::DefaultPlantJson(), plant, error);
    vdrive::VirtualDrive drive(plant);
    kx::VirtualDriveLink link(drive);
    QElapsedTimer wall;
    wall.start();
    link.SetTimeSource([&wall] { return static_cast<double>(wall.nsecsElapsed()) * 1e-9; });
    CKX_Comm::SetActiveLink(&link);

    CKX_Setup setup;
    setup.AddVariable(std::make_unique<CKX_Variable>("Speed_Reference", "", KX_TYPE_FIXED, 612));
    setup.AddVariable(std::make_unique<CKX_Variable>("Load_Speed", "", KX_TYPE_FIXED, 608));
    setup.AddVariable(std::make_unique<CKX_Variable>("Current_Reference", "", KX_TYPE_INT16, 646));
    setup.AddVariable(std::make_unique<CKX_Variable>("Motor_Current", "", KX_TYPE_INT16, 647));
    CKX_ScopeLogger logger(setup, nullptr);
    int colour = 2;
    for (const char* v : {"Speed_Reference", "Load_Speed", "Current_Reference", "Motor_Current"}) {
        logger.AddVariable(v, 1);
        logger.GetGraphDocument()->GetAt(0)->AddCurve(CXYCurve(1, 0, colour, 2, RGB16(colour + 1)));
        ++colour;
    }
    logger.ChangeSettings(state.range(0) / 1000.0, KX_SCOPE_FREE_RUN, KX_SCOPE_RISING, nullptr, 0, 0);
    logger.LocateItems();
    QWidget top;
    top.resize(900, 500);
    CScopeWindow window(4, 0);
    window.Create(&top, logger.GetGraphDocument()->GetAt(0));
    top.show();
    g_logger = &logger;
    g_window = &window;

    for (auto _ : state) {
        g_frames = 0;
        const long repaints0 = window.GetRepaintCount();
        logger.ArmDrive(link, error);
        vdrive::Motion motion;
        motion.mode = vdrive::LoopMode::Speed;
        motion.segments = {{100, 65536 / 5}, {300, 0}, {100, -65536 / 5}, {100, 0}};
        motion.repeat = true;
        drive.StartMotion(motion);
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [] { CKX_Comm::CheckForUnrequestedMessages(&OnFrame); });
        poll.start(1);
        const std::clock_t cpu0 = std::clock();
        const qint64 t0 = wall.nsecsElapsed();
        const double seconds = 3.0;
        QTimer::singleShot(static_cast<int>(seconds * 1000), app, &QCoreApplication::quit);
        QApplication::exec();
        poll.stop();
        const double elapsed = static_cast<double>(wall.nsecsElapsed() - t0) * 1e-9;
        const double cpu = static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC;
        drive.Stop();
        logger.EndUploadData();
        state.counters["frames_per_s"] = static_cast<double>(g_frames) / elapsed;
        state.counters["redraws_per_s"] = static_cast<double>(window.GetRepaintCount() - repaints0) / elapsed;
        state.counters["cpu_share"] = cpu / elapsed;
        state.counters["record_points"] = logger.GetPointsNo();
        state.counters["lost_frames"] = logger.GetFramesLost();
    }
    CKX_Comm::SetActiveLink(nullptr);
}
BENCHMARK(BM_ScopeRealTime)->Arg(200)->Arg(1000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
