// The loops' gain registers as drive variables: a write during a run changes
// the response from the next loop sample on and not before, and a read gives
// the register the loops run with.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "DriveTestSupport.h"
#include "conversions/Derived.h"
#include "drive/Memory.h"

using namespace vdrive;

namespace {

constexpr std::int64_t kQ16 = 65536;

enum class RunKind { CurrentTest, SpeedRamp, PositionRamp };

using drivetest::Variable;

std::int64_t ReadVariable(const VirtualDrive& drive, const char* name) {
    return drivetest::Get(drive, Variable(name));
}

struct GainWrite {
    const char* name;
    std::int64_t value;
    std::size_t afterPoints;  // written once the logger holds this many points
};

// One run of `points` logged samples of `column`, with the register written
// between two samples when asked.
std::vector<LoggedPoint> RunWith(VirtualDrive& drive, const CKX_Setup& setup, RunKind run, const char* column,
                                 std::size_t points, const std::optional<GainWrite>& write) {
    drivetest::ArmLogger(drive, {Variable(column)}, static_cast<int>(points), run == RunKind::CurrentTest);
    if (run == RunKind::CurrentTest) {
        const double counts = dcdrive::CurrentScale(setup);
        drive.SetBlocked(true);
        drivetest::Set(drive, Variable("In1"), static_cast<std::int64_t>(1.6 * counts));
        drivetest::Set(drive, Variable("Imax_Prot_Test"), static_cast<std::int64_t>(9.0 * counts));
        EXPECT_TRUE(drive.StartProgram("Current_Controller_Tuning_Test")) << drive.LastError();
    } else {
        Motion motion;
        motion.mode = run == RunKind::SpeedRamp ? LoopMode::Speed : LoopMode::PositionOverSpeed;
        // Slopes of a fraction of a count, so that the error of the counted
        // feedback is not 0 in the samples where the write lands.
        const std::int64_t slope = run == RunKind::SpeedRamp ? kQ16 * 137 / 100 : kQ16 * 2037 / 100;
        motion.segments = {{static_cast<std::uint32_t>(points) + 10, slope}};
        EXPECT_TRUE(drive.StartMotion(motion)) << drive.LastError();
    }
    const double pwm = 2.0 * static_cast<double>(drive.Register("PWMPER")) / drive.GetPlant().drive.clock;
    if (write) {
        while (drive.Logged().size() < write->afterPoints) drive.AdvanceTo(drive.Now() + pwm);
        drivetest::Set(drive, Variable(write->name), write->value);
    }
    while (drive.Logged().size() < points && drive.Now() < 1.0) drive.AdvanceTo(drive.Now() + pwm);
    return drive.Logged();
}

// Two drives run alike; one has a gain register written mid-run. Their
// records agree up to the write and part from the very next sample, and the
// register reads back as written while the other still holds the setup's.
TEST(GainRegisters, WriteDuringARunActsFromTheNextSample) {
    struct Case {
        RunKind kind;
        const char* column;  // a signal the gain acts on within the same sample
        const char* name;
    };
    const Case cases[] = {
        {RunKind::CurrentTest, "Voltage_Reference", "KPI"},
        {RunKind::CurrentTest, "Voltage_Reference", "KII"},
        {RunKind::CurrentTest, "Voltage_Reference", "SFTKPI"},
        {RunKind::SpeedRamp, "Current_Reference", "KPS"},
        {RunKind::SpeedRamp, "Current_Reference", "KIS"},
        {RunKind::SpeedRamp, "Current_Reference", "KFFA"},
        {RunKind::PositionRamp, "Current_Reference", "KPP"},
    };
    const auto setup = drivetest::TunedDefaultSetup(5000, 0.7);
    const auto image = drivetest::RegisterImage(*setup);
    constexpr std::size_t kPoints = 40, kWriteAfter = 6;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::int64_t before = image.at(c.name);
        // A shift two more; a mantissa halved or doubled, whichever stays
        // within the word, or half the word for a gain that was off.
        const bool shift = std::string_view(c.name).starts_with("SFT");
        const std::int64_t after =
            shift ? before + 2 : (before >= 16384 ? before / 2 : (before != 0 ? before * 2 : 16384));
        ASSERT_NE(after, before);
        VirtualDrive kept(drivetest::DefaultPlant()), changed(drivetest::DefaultPlant());
        kept.Download(image);
        changed.Download(image);
        EXPECT_EQ(ReadVariable(changed, c.name), before) << "the live register is the downloaded one";

        const auto a = RunWith(kept, *setup, c.kind, c.column, kPoints, std::nullopt);
        const auto b =
            RunWith(changed, *setup, c.kind, c.column, kPoints, GainWrite{c.name, after, kWriteAfter});
        ASSERT_EQ(a.size(), kPoints);
        ASSERT_EQ(b.size(), kPoints);
        std::size_t first = kPoints;
        for (std::size_t i = 0; i < kPoints && first == kPoints; ++i)
            if (a[i].values[0] != b[i].values[0]) first = i;
        EXPECT_EQ(first, kWriteAfter) << "the first sample that differs";

        EXPECT_EQ(ReadVariable(changed, c.name), after);
        EXPECT_EQ(changed.Register(c.name), after);
        EXPECT_EQ(ReadVariable(kept, c.name), before);
    }
}

// Every gain register has its word of drive memory, clear of the signals and
// of the programs' variables, and a value written there wraps as the 16-bit
// word it is.
TEST(GainRegisters, EachRegisterIsAWordOfItsOwn) {
    VirtualDrive drive(drivetest::DefaultPlant());
    for (int v = mem::kFirstGain; v <= mem::kLastGain; ++v) {
        const mem::Cell& cell = mem::kCells[static_cast<std::size_t>(v)];
        SCOPED_TRACE(cell.name);
        EXPECT_LT(cell.address, mem::kProgramRegion);
        EXPECT_EQ(mem::CellAt(cell.address), &cell) << "no other variable shares the address";
        ASSERT_TRUE(drive.Write(cell.address, Type::Int32, 0x12345 + v));
        std::int64_t raw = 0;
        ASSERT_TRUE(drive.Read(cell.address, Type::Int16, raw));
        EXPECT_EQ(raw, mem::Wrap(Type::Int16, 0x12345 + v));
        EXPECT_EQ(drive.Register(cell.name), raw);
    }
}

}  // namespace
