// The virtual drive's speed: drive time per wall-clock time with the current
// loop closed at 20 kHz (alone, and under the speed loop), and a whole current
// test run (start to a full logger) as the current test dialog asks for it.
#include <benchmark/benchmark.h>

#include "autotests/drive/DriveTestSupport.h"
#include "conversions/Derived.h"

namespace {

constexpr const char* kCurrentTest = "Current_Controller_Tuning_Test";

vdrive::Symbol SymbolOf(const char* name) {
    for (const vdrive::Symbol& s : vdrive::ProgramSymbols(kCurrentTest))
        if (s.name == name) return s;
    return {};
}

void StartCurrentTest(vdrive::VirtualDrive& drive, const CKX_Setup& setup, int points, int every) {
    vdrive::LoggerSettings logger;
    logger.points = points;
    logger.every = every;
    for (const char* name : {"Current_Reference", "Motor_Current", "Voltage_Reference"})
        logger.columns.push_back(SymbolOf(name));
    drive.ArmLogger(logger);
    const double scale = dcdrive::CurrentScale(setup);
    const vdrive::Symbol in1 = SymbolOf("In1"), protection = SymbolOf("Imax_Prot_Test");
    drive.Write(in1.address, in1.type, static_cast<std::int64_t>(1.6 * scale));
    drive.Write(protection.address, protection.type, static_cast<std::int64_t>(9.0 * scale));
    drive.SetBlocked(true);
    drive.StartProgram(kCurrentTest);
}

// Multiples of real time ("x_real_time"): the current test held running
// (the longest logger the host can ask for) with the loop closed every PWM
// period of 50 µs.
void BM_DriveSpeedWithCurrentLoopClosed(benchmark::State& state) {
    const auto setup = drivetest::TunedSetup({});
    vdrive::VirtualDrive drive(drivetest::DefaultPlant());
    drive.Download(kx::RegisterImage(*setup));
    StartCurrentTest(drive, *setup, 65535, 65535);
    const double slice = 0.01;  // s of drive time per iteration
    for (auto _ : state) {
        drive.AdvanceTo(drive.Now() + slice);
        benchmark::DoNotOptimize(drive.GetStatus().current);
    }
    if (!drive.AxisOn()) state.SkipWithError("the current loop did not stay closed");
    state.counters["x_real_time"] =
        benchmark::Counter(slice * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DriveSpeedWithCurrentLoopClosed)->Unit(benchmark::kMillisecond);

// The same with the speed loop closed as well: a repeating speed profile
// (ramps up and down between 0 and 60 rad/s with holds) followed in speed
// control at the slow loop of 1 ms, the current loop closed every 50 µs.
void BM_DriveSpeedWithSpeedLoopClosed(benchmark::State& state) {
    auto setup = dcdrive::LoadDefaultSetup();
    drivetest::SetValue(*setup, "PB_C", 5000);
    drivetest::SetValue(*setup, "PB_S", 150);
    dcdrive::TuneLoop(*setup, dcdrive::Loop::Current);
    dcdrive::TuneLoop(*setup, dcdrive::Loop::Speed);
    dcdrive::ParametersToRegisters(*setup);
    vdrive::VirtualDrive drive(drivetest::DefaultPlant());
    drive.Download(kx::RegisterImage(*setup));
    vdrive::Motion motion;
    motion.mode = vdrive::LoopMode::Speed;
    constexpr std::int64_t kRamp = 65536 / 5;  // 0.2 counts per sample per sample
    motion.segments = {{100, kRamp}, {400, 0}, {100, -kRamp}, {400, 0}};
    motion.repeat = true;
    if (!drive.StartMotion(motion)) state.SkipWithError("the motion did not start");
    const double slice = 0.01;
    for (auto _ : state) {
        drive.AdvanceTo(drive.Now() + slice);
        benchmark::DoNotOptimize(drive.GetStatus().motorSpeed);
    }
    if (!drive.AxisOn()) state.SkipWithError("the speed loop did not stay closed");
    state.counters["x_real_time"] =
        benchmark::Counter(slice * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DriveSpeedWithSpeedLoopClosed)->Unit(benchmark::kMillisecond);

// A whole current test run: download, arm the logger (100 points, fast loop,
// every sample), start, and advance in the dialog's 20 ms ticks until the
// program has ended; "drive_s" is the drive time it took.
void BM_CurrentTestRun(benchmark::State& state) {
    const auto setup = drivetest::TunedSetup({});
    const auto image = kx::RegisterImage(*setup);
    const vdrive::Plant plant = drivetest::DefaultPlant();
    double driveTime = 0.0;
    for (auto _ : state) {
        vdrive::VirtualDrive drive(plant);
        drive.Download(image);
        StartCurrentTest(drive, *setup, 100, 1);
        while (!drive.GetStatus().program.empty()) drive.AdvanceTo(drive.Now() + 0.02);
        driveTime = drive.Now();
        benchmark::DoNotOptimize(drive.Logged().size());
    }
    state.counters["drive_s"] = driveTime;
}
BENCHMARK(BM_CurrentTestRun)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
