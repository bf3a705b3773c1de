// The loops' gain registers: the laws run with the gains they hold, a write during a run changes the response
// from the next loop sample on and not before, and a read gives the register the loops run with.
#include <cmath>

#include "DriveTestSupport.h"

using namespace vdrive;
using namespace drivetest;

namespace {

constexpr std::size_t kPoints = 40, kWriteAfter = 6;

// Starts the current test with the shaft blocked: a step of about 1.5 A.
void StartCurrentTest(VirtualDrive& drive) {
    drive.SetBlocked(true);
    Set(drive, Variable("In1"), 5000);
    Set(drive, Variable("Imax_Prot_Test"), 30000);
    EXPECT_TRUE(drive.StartProgram("Current_Controller_Tuning_Test")) << drive.LastError();
}

// The loops run their laws with the gains the registers hold (mantissa · 2^shift / 32767): the logged output
// against u = Kp·e + Ki·Σe + Kd·(e − e₋₁) in double precision, e the logged reference less the logged
// feedback. The current PI in the current test (fast loop), the speed PI along a speed ramp, the position PID
// along a position ramp over either loop.
TEST(GainRegisters, LoopsRunTheirLawsWithTheRegistersGains) {
    const auto setup = TunedSetup({.speedBand = 150, .positionBand = 30, .positionControlType = 0});
    using enum LoopMode;
    const struct {
        LoopMode mode;                                             // Current: the current test
        const char *reference, *feedback, *output, *kp, *ki, *kd;  // kd null: a PI
    } cases[] = {
        {Current, "Current_Reference", "Motor_Current", "Voltage_Reference", "KPI", "KII", nullptr},
        {Speed, "Speed_Reference", "Motor_Speed", "Current_Reference", "KPS", "KIS", nullptr},
        {PositionOverCurrent, "Target_Position", "Load_Position", "Current_Reference", "KPP", "KIP", "KDP"},
        {PositionOverSpeed, "Target_Position", "Load_Position", "Speed_Reference", "KPP", "KIP", "KDP"},
    };
    // Words per count: 65536 in the 16.16 variables.
    auto words = [](const char* name) { return Variable(name).type == Type::Fixed ? 65536.0 : 1.0; };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        auto drive = DriveFor(*setup);
        auto gain = [&drive](const char* name) {  // mantissa · 2^shift / 32767; 0 when not given
            if (!name) return 0.0;
            const auto shift = static_cast<int>(drive->Register("SFT" + std::string(name)));
            return std::ldexp(static_cast<double>(drive->Register(name)), shift) / 32767.0;
        };
        std::vector<LoggedPoint> logged;
        if (c.mode == Current) {
            drive->ArmLogger(
                {.points = 60, .columns = {Variable(c.reference), Variable(c.feedback), Variable(c.output)}});
            StartCurrentTest(*drive);
            drive->AdvanceTo(0.01);
            logged = drive->Logged();
        } else {
            const Motion motion{.mode = c.mode, .segments = {{50, 2 * 65536}, {50, 0}}};
            logged = RunMotion(*drive, motion, 100, {c.reference, c.feedback, c.output});
        }
        double sum = 0.0, last = 0.0, worst = 0.0, largest = 0.0;
        for (const LoggedPoint& p : logged) {
            const double e = static_cast<double>(p.values[0] - p.values[1]) / words(c.reference);
            sum += e;
            const double u = (gain(c.kp) * e + gain(c.ki) * sum + gain(c.kd) * (e - last)) * words(c.output);
            last = e;
            worst = std::max(worst, std::fabs(static_cast<double>(p.values[2]) - u) - 1e-4 * std::fabs(u));
            largest = std::max(largest, std::fabs(u) / words(c.output));
        }
        EXPECT_LT(worst, 1.0) << "words of the output beyond its rounding";
        EXPECT_GT(largest, 300.0) << "counts of an output that shows the gains";
    }
}

// kPoints logged samples of the current test's voltage reference (fast loop; LoopMode::Current) or of a
// ramp's current reference in the mode (slow loop), with `name` written to `value` once kWriteAfter points
// are logged when a name is given.
std::vector<LoggedPoint> RunWith(VirtualDrive& drive, LoopMode mode, const char* name, std::int64_t value) {
    const bool currentTest = mode == LoopMode::Current;
    drive.ArmLogger({.points = static_cast<int>(kPoints),
                     .fastLoop = currentTest,
                     .columns = {Variable(currentTest ? "Voltage_Reference" : "Current_Reference")}});
    if (currentTest) {
        StartCurrentTest(drive);
    } else {
        // A slope of a fraction of a count, so that the error of the counted feedback is not 0 in the samples
        // where the write lands.
        EXPECT_TRUE(drive.StartMotion({.mode = mode, .segments = {{kPoints + 10, 65536 * 137 / 100}}}));
    }
    const double pwm = 2.0 * static_cast<double>(drive.Register("PWMPER")) / drive.GetPlant().drive.clock;
    while (name && drive.Logged().size() < kWriteAfter) drive.AdvanceTo(drive.Now() + pwm);
    if (name) Set(drive, Variable(name), value);
    while (drive.Logged().size() < kPoints && drive.Now() < 1.0) drive.AdvanceTo(drive.Now() + pwm);
    return drive.Logged();
}

// Two drives run alike; one has a gain register written mid-run. Their records agree up to the write and part
// from the very next sample, and the register reads back as written while the other still holds the setup's.
// A gain of each loop and a feed-forward.
TEST(GainRegisters, WriteDuringARunActsFromTheNextSample) {
    const auto setup = TunedSetup({});
    const auto image = kx::RegisterImage(*setup);  // as the host downloads it
    for (const auto& [mode, name] :
         {std::pair{LoopMode::Current, "KPI"}, std::pair{LoopMode::Speed, "KIS"},
          std::pair{LoopMode::PositionOverSpeed, "KPP"}, std::pair{LoopMode::Speed, "KFFA"}}) {
        SCOPED_TRACE(name);
        const std::int64_t before = image.at(name);
        // A mantissa halved or doubled, whichever stays within the word, or half the word for a gain that was
        // off.
        const std::int64_t after = before >= 16384 ? before / 2 : (before != 0 ? before * 2 : 16384);
        auto kept = DriveFor(*setup), changed = DriveFor(*setup);
        EXPECT_EQ(Get(*changed, Variable(name)), before) << "the live register is the downloaded one";
        const auto a = RunWith(*kept, mode, nullptr, 0);
        const auto b = RunWith(*changed, mode, name, after);
        ASSERT_EQ(a.size(), kPoints);
        ASSERT_EQ(b.size(), kPoints);
        std::size_t first = kPoints;
        for (std::size_t i = 0; i < kPoints && first == kPoints; ++i)
            if (a[i].values[0] != b[i].values[0]) first = i;
        EXPECT_EQ(first, kWriteAfter) << "the first sample that differs";
        EXPECT_EQ(Get(*changed, Variable(name)), after);
        EXPECT_EQ(changed->Register(name), after);
        EXPECT_EQ(Get(*kept, Variable(name)), before);
    }
}

}  // namespace
