// The drive-resident test programs, run through their variables as a test dialog runs them: the protections
// and drive faults that end them.
#include <cmath>

#include "DriveTestSupport.h"

using namespace vdrive;
using namespace drivetest;

namespace {

constexpr const char* kCurrentTest = "Current_Controller_Tuning_Test";
constexpr const char* kSpeedTest = "Speed_Controller_Tuning_Test";
constexpr const char* kPositionOverSpeed = "Position_Controller_Tuning_Test_with_SpdCtrl";
constexpr const char* kInertiaTest = "Total_Inertia_Identification_Test";

// Runs until the axis is off or the time is up.
void RunUntilOff(VirtualDrive& drive, double seconds) {
    const double end = drive.Now() + seconds;
    while (drive.AxisOn() && drive.Now() < end) drive.AdvanceTo(drive.Now() + 1e-3);
}

// The test's over-current protection (a current beyond it, or the converter's over-current fault), the power
// stage's short-circuit protection or a drive fault ends each program with the axis off, "test_flag" at most
// 0 and "STARTED" set, even when it tripped before its motion, so that the host goes on to read "test_flag".
// A drive fault sets its bit of "MER" and switches the power stage off in a loop period; then a run passes.
TEST(TestPrograms, ProtectionsAndFaultsEndTheRun) {
    // The protection in current counts; the fault that many seconds after the start (0: before it; < 0:
    // none); the short-circuit level (0: the plant's).
    struct Case {
        const char* program;
        std::int64_t protection;
        Fault fault;
        double faultAfter, shortCircuitAmps;
        int mer;
    } const cases[] = {
        {kSpeedTest, 500, Fault::OverCurrent, -1, 0, 0},
        {kPositionOverSpeed, 500, Fault::OverCurrent, -1, 0, 0},
        {kInertiaTest, 500, Fault::OverCurrent, -1, 0, 0},
        {kCurrentTest, 500, Fault::OverCurrent, -1, 0, 0},
        {kInertiaTest, 30000, Fault::OverCurrent, 0.02, 0, 0},
        {kCurrentTest, 30000, Fault::OverCurrent, -1, 1.0, 0x0002},
        {kCurrentTest, 30000, Fault::ShortCircuit, 0, 0, 0x0002},
        {kCurrentTest, 30000, Fault::ControlError, 0.001, 0, 0x0008},
        {kCurrentTest, 30000, Fault::FeedbackError, 0, 0, 0x0020},
        {kCurrentTest, 30000, Fault::LimitPositive, 0.001, 0, 0x0040},
        {kCurrentTest, 30000, Fault::LimitNegative, 0, 0, 0x0080},
        {kCurrentTest, 30000, Fault::EnableOff, 0.001, 0, 0x8000},
    };
    const auto setup = TunedSetup({});
    for (const Case& c : cases) {
        const std::string program = c.program;
        SCOPED_TRACE(program + (c.faultAfter >= 0 ? std::string(" ") + FaultName(c.fault) : "") +
                     (c.shortCircuitAmps > 0 ? " short circuit" : ""));
        auto drive = DriveFor(*setup, [&](Plant& p) {
            if (c.shortCircuitAmps > 0) p.drive.shortCircuitCurrent = c.shortCircuitAmps;
        });
        auto set = [&](const char* name, std::int64_t value) { Set(*drive, SymbolOf(program, name), value); };
        if (program == kInertiaTest || program == kCurrentTest) {
            set("In1", std::llround(1.6 * dcdrive::CurrentScale(*setup)));
            if (program == kInertiaTest) set("LimitSpeedMax", 90);
            drive->SetBlocked(program == kCurrentTest);
        } else {
            // 40 counts per sample: about 1 A to accelerate at 2000 counts a turn.
            const std::int64_t profile[6][2] = {{50, 40 * kQ16},  {1, 0}, {200, 0},
                                                {50, -40 * kQ16}, {1, 0}, {200, 0}};
            for (int i = 0; i < 6; ++i) {
                set(("a" + std::to_string(i)).c_str(), profile[i][0]);
                set(("b" + std::to_string(i)).c_str(), profile[i][1]);
            }
            set("MultiC", 0);
            set(program == kPositionOverSpeed ? "LimitSpeed" : "IlimPS_Test", 26000);
        }
        set("Imax_Prot_Test", c.protection);
        if (c.faultAfter == 0) drive->SetFault(c.fault, true);
        ASSERT_TRUE(drive->StartProgram(program));
        if (c.faultAfter > 0) {
            drive->AdvanceTo(drive->Now() + c.faultAfter);
            ASSERT_TRUE(drive->AxisOn());
            drive->SetFault(c.fault, true);
        }
        const double start = drive->Now();
        RunUntilOff(*drive, 1.0);
        const bool driveFault = c.mer != 0 && c.shortCircuitAmps == 0;
        EXPECT_FALSE(drive->AxisOn());
        // The profiles last 0.5 s.
        EXPECT_LE(drive->Now() - start, driveFault ? 1.001e-3 : 0.3) << "the trip came late";
        EXPECT_LE(Get(*drive, SymbolOf(program, "test_flag")), 0);
        EXPECT_NE(Get(*drive, SymbolOf(program, "STARTED")), 0);
        EXPECT_EQ(drive->GetStatus().mer, c.mer);
        if (!driveFault) continue;
        drive->SetFault(c.fault, false);
        ASSERT_TRUE(drive->StartProgram(program));
        RunUntilOff(*drive, 1.0);
        EXPECT_EQ(drive->GetStatus().mer, 0);
        EXPECT_EQ(Get(*drive, SymbolOf(program, "test_flag")), 1);
    }
}

}  // namespace
