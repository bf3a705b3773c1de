// The loops on the virtual drive beyond their designed responses, which the tuning dialogs' tests check.
#include <cmath>
#include <numbers>

#include "DriveTestSupport.h"

using namespace vdrive;
using namespace drivetest;

namespace {

// A fine encoder: the speed counted per slow-loop sample resolves the responses to a few parts in 1000.
constexpr int kFineLines = 10000;

void Fine(Plant& plant) { plant.encoder.lines = kFineLines; }

// A ramp followed with a feed-forward at its ideal gain (acceleration: J/K; speed: 1) takes what the ramp
// needs from it: the error before the integral has caught up shrinks to a fraction of the controllers'.
TEST(Loops, FeedforwardsTakeTheRampOffTheError) {
    const struct {
        LoopMode mode;
        const char* gain;
        std::int64_t slope;  // Q16 per sample
        const char *actual, *reference;
    } cases[] = {
        {LoopMode::Speed, "KFFA_scl", kQ16, "Motor_Speed", "Speed_Reference"},
        {LoopMode::PositionOverSpeed, "KFFS_scl", 20 * kQ16, "Load_Position", "Target_Position"},
    };
    for (const auto& c : cases) {
        double worst[2] = {0.0, 0.0};  // counts of error without and with the feed-forward
        for (const bool on : {false, true}) {
            auto setup = TunedSetup({.lines = kFineLines, .speedBand = 100, .positionBand = 20});
            // J/K in current counts per (speed count per sample) per sample.
            const double jOverK = setup->GetParameterValueInBaseUnit("Jt") /
                                  setup->GetParameterValueInBaseUnit("K") * dcdrive::CurrentScale(*setup) /
                                  std::fabs(dcdrive::AccelerationScale(*setup));
            SetValue(*setup, c.gain, on ? (c.mode == LoopMode::Speed ? jOverK : 1.0) : 0.0);
            dcdrive::ParametersToRegisters(*setup);
            auto drive = DriveFor(*setup, Fine);
            const double scale = c.mode == LoopMode::Speed ? kQ16 : 1.0;
            for (const LoggedPoint& p :
                 RunMotion(*drive, {.mode = c.mode, .segments = {{200, c.slope}, {50, 0}}}, 200,
                           {c.actual, c.reference}))
                worst[on] =
                    std::max(worst[on], std::fabs(static_cast<double>(p.values[1] - p.values[0])) / scale);
        }
        EXPECT_GT(worst[0], 2.0) << c.gain;
        // What is left with the feed-forward is mostly the lag of the measurement (half a sample) and of the
        // current loop.
        EXPECT_LT(worst[1], 0.5 * worst[0]) << c.gain;
    }
}

// A speed step far beyond what the current limit allows: the current reference holds exactly at "SATS"'s
// limit while the speed rises, and the motor current follows it there.
TEST(Loops, SaturationHoldsTheCurrentAtTheLimit) {
    const double limitAmps = 4.0;
    const auto setup = TunedSetup({.lines = kFineLines, .speedBand = 300, .before = {{"IlimPS", limitAmps}}});
    auto drive = DriveFor(*setup, Fine);
    const std::int64_t limit = 32767 - drive->Register("SATS");
    ASSERT_NEAR(static_cast<double>(limit), limitAmps * dcdrive::CurrentScale(*setup), 1.0);
    const auto logged =
        RunMotion(*drive, {.mode = LoopMode::Speed, .segments = {{1, 2000 * kQ16}, {1000, 0}}}, 20,
                  {"Current_Reference", "Motor_Current", "Motor_Speed"});
    for (std::size_t k = 0; k < logged.size(); ++k) EXPECT_EQ(logged[k].values[0], limit) << "sample " << k;
    for (std::size_t k = 2; k < logged.size(); ++k)
        EXPECT_NEAR(static_cast<double>(logged[k].values[1]), limit, 0.03 * limit) << "sample " << k;
    EXPECT_GT(logged.back().values[2], logged[5].values[2]) << "the motor accelerates";
}

// With a load encoder alone (no motor sensor) the position loop closes on the load's counts: a move of a
// quarter of the load's turn ends there.
TEST(Loops, PositionLoopClosesOnALoadEncoderAlone) {
    const auto setup =
        TunedSetup({.positionBand = 30,
                    .positionControlType = 0,
                    .before = {{"MotorSensorType", 0}, {"LoadSensorType", 1}, {"No_encoder_lines_LD", 500}}});
    auto drive = DriveFor(*setup, [](Plant& p) { p.encoder.loadLines = 500; });
    const Motion motion{.mode = LoopMode::PositionOverCurrent, .segments = {{100, 5 * kQ16}, {400, 0}}};
    const auto logged = RunMotion(*drive, motion, 500, {"Target_Position", "Load_Position"});
    ASSERT_EQ(logged.size(), 500u);
    EXPECT_EQ(logged.back().values[0], 500);
    EXPECT_NEAR(static_cast<double>(logged.back().values[1]), 500.0, 1.0);
    EXPECT_NEAR(drive->GetStatus().loadAngle, std::numbers::pi / 2, 0.01);
}

// With the shaft blocked, an error beyond "ERRMAXL" (position) or "SERRMAX" (speed) for longer than its time
// trips a control error: "MER" bit 3 and the axis off, after the time and not before; an error within the
// limit, or a check switched off, never trips.
TEST(Loops, ControlErrorTripsAfterItsTime) {
    struct Case {
        const char* what;
        LoopMode mode;
        double stepFactor;  // of the error limit
        bool checkOn, trips;
    } const cases[] = {
        {"position beyond", LoopMode::PositionOverCurrent, 1.5, true, true},
        {"position within", LoopMode::PositionOverCurrent, 0.5, true, false},
        {"speed beyond", LoopMode::Speed, 1.5, true, true},
        {"speed check off", LoopMode::Speed, 1.5, false, false},
    };
    for (const Case& c : cases) {
        const auto setup = TunedSetup(
            {.before = {{"isPositionControlError", c.checkOn}, {"isSpeedControlError", c.checkOn}}});
        auto drive = DriveFor(*setup, [](Plant& p) { p.shaftBlocked = true; });
        const bool position = c.mode == LoopMode::PositionOverCurrent;
        const std::int64_t limit = drive->Register(position ? "ERRMAXL" : "SERRMAX");
        const std::int64_t time = drive->Register(position ? "TERRMAX" : "TSERRMAX");
        const double ts = dcdrive::SpeedLoopPeriod(*setup);
        ASSERT_GT(limit, 0);
        const auto step = static_cast<std::int64_t>(c.stepFactor * static_cast<double>(limit)) * kQ16;
        ASSERT_TRUE(drive->StartMotion({.mode = c.mode, .segments = {{1, step}, {100000, 0}}}))
            << drive->LastError();
        const std::int64_t trip = c.checkOn ? time : 100;
        drive->AdvanceTo((trip - 1) * ts);
        EXPECT_TRUE(drive->AxisOn()) << c.what << ": tripped early";
        EXPECT_EQ(drive->GetStatus().mer & 8, 0) << c.what;
        drive->AdvanceTo((2 * trip + 10) * ts);
        EXPECT_EQ(drive->AxisOn(), !c.trips) << c.what;
        EXPECT_EQ((drive->GetStatus().mer & 8) != 0, c.trips) << c.what;
        EXPECT_TRUE(!c.trips || drive->GetStatus().current == 0.0) << c.what << ": the current has died out";
    }
}

// The same registers, plant and motion give the same logged data, bit for bit, with the speed and position
// loops closed and the converter noise on; another noise seed gives other data.
TEST(Loops, MotionIsDeterministic) {
    const auto setup = TunedSetup({.lines = kFineLines, .speedBand = 150, .positionBand = 30});
    auto run = [&setup](std::uint32_t seed) {
        auto drive = DriveFor(*setup, [seed](Plant& p) {
            Fine(p);
            p.converter = {.noise = 40.0, .seed = seed};
        });
        const Motion motion{.segments = {{100, 40 * kQ16}, {100, 0}, {100, -40 * kQ16}, {50, 0}}};
        std::vector<std::int64_t> data;
        for (const LoggedPoint& p :
             RunMotion(*drive, motion, 300,
                       {"Load_Position", "Motor_Speed", "Current_Reference", "Motor_Current"})) {
            data.insert(data.end(), p.values.begin(), p.values.end());
            data.push_back(std::llround(p.time * 1e9));
        }
        return data;
    };
    const auto a = run(7);
    ASSERT_EQ(a.size(), 300u * 5);
    EXPECT_NE(a[150 * 5], 0) << "the load moved";
    EXPECT_EQ(run(7), a);
    EXPECT_NE(run(8), a);
}

}  // namespace
