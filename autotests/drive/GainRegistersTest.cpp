// The loops' gain registers as drive variables: a write during a run changes
// the response from the next loop sample on and not before, and a read gives
// the register the loops run with.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "DriveTestSupport.h"
#include "conversions/Derived.h"

using namespace vdrive;
using drivetest::Variable;

namespace {

// `points` logged samples of the current test's voltage reference (or, for
// a speed ramp, of the current reference), with `name` written to `value`
// once `writeAfter` points are logged when a name is given.
std::vector<LoggedPoint> RunWith(VirtualDrive& drive, const CKX_Setup& setup, bool currentTest,
                                 std::size_t points, const char* name, std::int64_t value,
                                 std::size_t writeAfter) {
    drivetest::ArmLogger(drive, {Variable(currentTest ? "Voltage_Reference" : "Current_Reference")},
                         static_cast<int>(points), currentTest);
    if (currentTest) {
        const double counts = dcdrive::CurrentScale(setup);
        drive.SetBlocked(true);
        drivetest::Set(drive, Variable("In1"), static_cast<std::int64_t>(1.6 * counts));
        drivetest::Set(drive, Variable("Imax_Prot_Test"), static_cast<std::int64_t>(9.0 * counts));
        EXPECT_TRUE(drive.StartProgram("Current_Controller_Tuning_Test")) << drive.LastError();
    } else {
        // A slope of a fraction of a count, so that the error of the counted
        // feedback is not 0 in the samples where the write lands.
        const Motion motion{.mode = LoopMode::Speed,
                            .segments = {{static_cast<std::uint32_t>(points) + 10, 65536 * 137 / 100}}};
        EXPECT_TRUE(drive.StartMotion(motion)) << drive.LastError();
    }
    const double pwm = 2.0 * static_cast<double>(drive.Register("PWMPER")) / drive.GetPlant().drive.clock;
    while (name && drive.Logged().size() < writeAfter) drive.AdvanceTo(drive.Now() + pwm);
    if (name) drivetest::Set(drive, Variable(name), value);
    while (drive.Logged().size() < points && drive.Now() < 1.0) drive.AdvanceTo(drive.Now() + pwm);
    return drive.Logged();
}

// Two drives run alike; one has a gain register written mid-run. Their
// records agree up to the write and part from the very next sample, and the
// register reads back as written while the other still holds the setup's.
// A current-loop gain, a speed-loop gain and a feed-forward.
TEST(GainRegisters, WriteDuringARunActsFromTheNextSample) {
    const struct {
        bool currentTest;
        const char* name;
    } cases[] = {{true, "KPI"}, {false, "KIS"}, {false, "KFFA"}};
    const auto setup = drivetest::TunedSetup({});
    const auto image = drivetest::RegisterImage(*setup);
    constexpr std::size_t kPoints = 40, kWriteAfter = 6;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::int64_t before = image.at(c.name);
        // A mantissa halved or doubled, whichever stays within the word, or
        // half the word for a gain that was off.
        const std::int64_t after = before >= 16384 ? before / 2 : (before != 0 ? before * 2 : 16384);
        VirtualDrive kept(drivetest::DefaultPlant()), changed(drivetest::DefaultPlant());
        kept.Download(image);
        changed.Download(image);
        EXPECT_EQ(drivetest::Get(changed, Variable(c.name)), before)
            << "the live register is the downloaded one";

        const auto a = RunWith(kept, *setup, c.currentTest, kPoints, nullptr, 0, 0);
        const auto b = RunWith(changed, *setup, c.currentTest, kPoints, c.name, after, kWriteAfter);
        ASSERT_EQ(a.size(), kPoints);
        ASSERT_EQ(b.size(), kPoints);
        std::size_t first = kPoints;
        for (std::size_t i = 0; i < kPoints && first == kPoints; ++i)
            if (a[i].values[0] != b[i].values[0]) first = i;
        EXPECT_EQ(first, kWriteAfter) << "the first sample that differs";
        EXPECT_EQ(drivetest::Get(changed, Variable(c.name)), after);
        EXPECT_EQ(changed.Register(c.name), after);
        EXPECT_EQ(drivetest::Get(kept, Variable(c.name)), before);
    }
}

}  // namespace
