// The drive's readings with no loop closed: the reference input's converter, the counters of a hand turn.
#include <numbers>

#include "DriveTestSupport.h"

using namespace vdrive;
using namespace drivetest;

namespace {

// "AD5" reads the reference input clipped to the converter's words: 0xFFC0 above the 20 V input, 0 below.
TEST(Drive, AnalogueReferenceIsClippedAtTheEndsOfItsInput) {
    auto drive = DriveFor(*dcdrive::LoadDefaultSetup());
    ASSERT_TRUE(drive->StartProgram("Analogue_Reference_Test"));
    for (const auto& [volts, ad5] : {std::pair{12.0, 65472}, std::pair{-12.0, 0}}) {
        drive->SetAnalogueInput(volts);
        drive->AdvanceTo(drive->Now() + 0.02);
        EXPECT_EQ(Get(*drive, SymbolOf("Analogue_Reference_Test", "AD5")), ad5) << volts;
    }
}

// A hand turn of one revolution counts 4 × lines for an incremental encoder (its sign by the wiring and the
// counting direction) and 2^bits for an absolute one; writing 1 to "var_i2" ends the connection test. The
// logger of the slow loop, every second period, records the turn: points 2 × "SLPER" PWM periods apart.
TEST(Drive, EncoderCountsOfAHandTurn) {
    // Motor sensor type, counting reversed, wiring reversed, counts.
    const std::tuple<int, int, bool, int> cases[] = {
        {1, 1, false, -2000}, {1, 0, true, -2000}, {1, 1, true, 2000},
        {4, 0, false, 8192},  {5, 0, false, 8192},
    };
    for (const auto& [sensor, countingReversed, wiringReversed, counts] : cases) {
        SCOPED_TRACE(testing::Message() << sensor << " " << countingReversed << " " << wiringReversed);
        const char* program = sensor == 1 ? "Encoder_Connection_Test" : "SSI_Encoder_Connection_Test";
        const auto setup =
            TunedSetup({.before = {{"MotorSensorType", sensor}, {"ReverseCounting_MT", countingReversed}}});
        auto drive = DriveFor(*setup, [&](Plant& p) { p.encoder.reversed = wiringReversed; });
        const vdrive::Symbol apos = SymbolOf(program, "APOS_MT");
        drive->Reset();
        drive->ArmLogger({.points = 10, .fastLoop = false, .every = 2, .columns = {apos}});
        ASSERT_TRUE(drive->StartProgram(program));
        drive->TurnShaft(false, 2.0 * std::numbers::pi, 0.1);
        drive->AdvanceTo(0.05);
        EXPECT_NEAR(static_cast<double>(Get(*drive, apos)), counts / 2.0, 2.0);
        drive->AdvanceTo(0.2);
        EXPECT_EQ(Get(*drive, apos), counts);
        EXPECT_EQ(drive->GetStatus().program, program);
        const auto& points = drive->Logged();
        ASSERT_EQ(points.size(), 10u);
        for (std::size_t i = 0; i < points.size(); ++i)
            EXPECT_NEAR(points[i].time, 2.0 * dcdrive::SpeedLoopPeriod(*setup) * i, 1e-12);
        EXPECT_EQ(points.back().values[0] > points.front().values[0], counts > 0);
        Set(*drive, SymbolOf(program, "var_i2"), 1);
        drive->AdvanceTo(0.21);
        EXPECT_TRUE(drive->GetStatus().program.empty());
        EXPECT_FALSE(drive->AxisOn());
    }
}

}  // namespace
