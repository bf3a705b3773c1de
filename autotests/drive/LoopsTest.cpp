// The speed and position loops on the virtual drive, tuned by the engine's
// pole placement, against the closed loops that the tuning designs; the
// biquad chain against its difference equation; the current limit, the
// control-error checks and the sine/cosine interpolation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

#include "DriveTestSupport.h"
#include "conversions/Derived.h"
#include "conversions/Gains.h"
#include "drive/Firmware.h"
#include "drive/Loops.h"
#include "drive/Memory.h"
#include "filters/Biquad.h"

using namespace vdrive;

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr std::int64_t kQ16 = 65536;
// A fine encoder, so that the speed counted per slow-loop sample resolves
// the responses to a few parts in a thousand.
constexpr int kFineLines = 10000;

using drivetest::Nrms;
using drivetest::RunMotion;
using drivetest::StepResponse;

Plant FinePlant() {
    Plant plant = drivetest::DefaultPlant();
    plant.encoder.lines = kFineLines;
    return plant;
}

// ---- speed loop --------------------------------------------------------------

// The sampled speed loop in double precision: the PI with the gains the
// registers hold, the current loop ideal, the inertia integrated exactly over
// each sample and the speed counted as the position's change per sample.
// What the sampling alone makes of the designed loop.
std::vector<double> SampledSpeedLoop(const CKX_Setup& setup, double reference, int samples) {
    const auto image = drivetest::RegisterImage(setup);
    const double kp = dcdrive::DecodeGain(image.at("KPS"), image.at("SFTKPS"));
    const double ki = dcdrive::DecodeGain(image.at("KIS"), image.at("SFTKIS"));
    const double ts = dcdrive::SpeedLoopPeriod(setup);
    const double countsPerRadian = 4.0 * kFineLines / kTwoPi;
    const Plant plant = FinePlant();
    const double j = plant.motor.inertia + plant.load.inertia;
    const double perCount = plant.motor.torqueConstant / dcdrive::CurrentScale(setup) / j * countsPerRadian;
    double angle = 0.0, speed = 0.0, integral = 0.0, last = 0.0;
    std::vector<double> measured;
    for (int k = 0; k < samples; ++k) {
        const double m = angle - last;
        last = angle;
        measured.push_back(m);
        const double e = reference - m;
        integral += ki * e;
        const double a = (kp * e + integral) * perCount;  // counts/s²
        angle += speed * ts + 0.5 * a * ts * ts;
        speed += a * ts;
    }
    return measured;
}

// A speed step of 100 counts per sample (15.7 rad/s), within the current
// limit at every band, tuned at a few pass bands: the measured speed against
// the designed loop (2ζω s + ω²) / (s² + 2ζω s + ω²) on the true inertia,
// averaged over each sample as the count difference measures it. Where the
// sampling itself moves the response away from the design (ω·T = 0.3), the
// drive must follow the sampled model instead.
TEST(Loops, SpeedLoopFollowsTheDesignedClosedLoop) {
    struct Case {
        double band, damping;
        bool withinDesign;  // the sampling allows the 10 % of the design
    };
    const Case cases[] = {{60, 0.7, true}, {150, 0.7, true}, {150, 1.0, true}, {300, 0.7, false}};
    const double reference = 100.0;
    for (const Case& c : cases) {
        const auto setup =
            drivetest::TunedSetup({.lines = kFineLines, .speedBand = c.band, .speedDamping = c.damping});
        VirtualDrive drive(FinePlant());
        drive.Download(drivetest::RegisterImage(*setup));
        const double ts = dcdrive::SpeedLoopPeriod(*setup);
        const int samples = static_cast<int>(std::ceil(8.0 / c.band / ts));
        Motion motion;
        motion.mode = LoopMode::Speed;
        motion.segments = {{1, static_cast<std::int64_t>(reference) * kQ16}, {100000, 0}};
        const auto logged = RunMotion(drive, motion, samples, {"Motor_Speed", "Speed_Reference"});
        ASSERT_EQ(logged.size(), static_cast<std::size_t>(samples));

        // The designed speed averaged over each sample: the position's change.
        const double w = c.band, z = c.damping;
        const auto angle = StepResponse({2 * z * w, w * w}, {1, 2 * z * w, w * w, 0}, samples + 1, ts);
        std::vector<double> drive_, designed;
        for (int k = 0; k < samples; ++k) {
            EXPECT_EQ(logged[k].values[1], static_cast<std::int64_t>(reference) * kQ16);
            drive_.push_back(static_cast<double>(logged[k].values[0]) / kQ16);
            designed.push_back(k == 0 ? 0.0 : reference * (angle[k] - angle[k - 1]) / ts);
        }
        const auto sampled = SampledSpeedLoop(*setup, reference, samples);
        const double toDesign = Nrms(drive_, designed, reference);
        const double toSampled = Nrms(drive_, sampled, reference);
        const double sampledToDesign = Nrms(sampled, designed, reference);
        std::printf(
            "speed loop %g rad/s, damping %g (wT %.2f): drive-design %.4f, sampled model-design "
            "%.4f, drive-sampled model %.4f\n",
            c.band, c.damping, c.band * ts, toDesign, sampledToDesign, toSampled);
        EXPECT_LT(toSampled, 0.05) << c.band;
        if (c.withinDesign)
            EXPECT_LT(toDesign, 0.10) << c.band;
        else
            EXPECT_GT(sampledToDesign, 0.08)
                << "the sampling no longer explains the difference at " << c.band;
    }
}

// ---- position loop -----------------------------------------------------------

// A position step against the loop that the position tuning designs: over
// the speed loop a PI on an ideal speed loop, (2ζω s + ω²) / (s² + 2ζω s + ω²);
// over the current loop a PID on the inertia whose poles are at −ω and at
// ω, ζ: (a2 s² + a1 s + a0) / (s³ + a2 s² + a1 s + a0).
TEST(Loops, PositionLoopFollowsTheDesignedClosedLoop) {
    struct Case {
        int type;  // "PositionControlType"
        double band, damping, speedBand;
        std::int64_t step;  // counts
    };
    const Case cases[] = {
        {1, 20, 1.0, 300, 2000},
        {1, 30, 0.8, 300, 2000},
        {0, 30, 1.0, 0, 400},
        {0, 60, 0.8, 0, 400},
    };
    for (const Case& c : cases) {
        const auto setup = drivetest::TunedSetup({.lines = kFineLines,
                                                  .speedBand = c.speedBand,
                                                  .positionBand = c.band,
                                                  .positionDamping = c.damping,
                                                  .positionControlType = c.type});
        VirtualDrive drive(FinePlant());
        drive.Download(drivetest::RegisterImage(*setup));
        const double ts = dcdrive::SpeedLoopPeriod(*setup);
        const int samples = static_cast<int>(std::ceil(10.0 / c.band / ts));
        Motion motion;
        motion.mode = LoopMode::Registers;  // the control mode of "ACR"
        motion.segments = {{1, c.step * kQ16}, {100000, 0}};
        const auto logged = RunMotion(drive, motion, samples, {"Load_Position", "Target_Position"});
        ASSERT_EQ(logged.size(), static_cast<std::size_t>(samples));

        const double w = c.band, z = c.damping, a = 2 * z + 1;
        const auto unit = c.type == 1 ? StepResponse({2 * z * w, w * w}, {1, 2 * z * w, w * w}, samples, ts)
                                      : StepResponse({a * w, a * w * w, w * w * w},
                                                     {1, a * w, a * w * w, w * w * w}, samples, ts);
        std::vector<double> position, designed;
        for (int k = 0; k < samples; ++k) {
            EXPECT_EQ(logged[k].values[1], c.step);
            position.push_back(static_cast<double>(logged[k].values[0]));
            designed.push_back(static_cast<double>(c.step) * unit[k]);
        }
        const double nrms = Nrms(position, designed, static_cast<double>(c.step));
        std::printf("position loop %s %g rad/s, damping %g: normalized rms %.4f\n",
                    c.type == 1 ? "over speed" : "over current", c.band, c.damping, nrms);
        EXPECT_LT(nrms, 0.10) << c.type << " " << c.band;
        EXPECT_TRUE(drive.GetStatus().axisOn);
    }
}

// ---- feed-forwards -------------------------------------------------------------

// A ramp followed with a feed-forward at its ideal gain: the acceleration
// feed-forward at J/K in internal units in speed control, the speed
// feed-forward at 1 in position control over the speed loop. What the ramp
// needs then comes from the feed-forward, so the error at the start of the
// ramp, before the integral has caught up, shrinks to a fraction of what
// the controllers alone leave.
TEST(Loops, FeedforwardsTakeTheRampOffTheError) {
    struct Case {
        const char* what;
        LoopMode mode;
        const char* gain;
        std::int64_t slope;  // Q16 per sample
        const char* actual;
        const char* reference;
    };
    const Case cases[] = {
        {"acceleration", LoopMode::Speed, "KFFA_scl", kQ16, "Motor_Speed", "Speed_Reference"},
        {"speed", LoopMode::PositionOverSpeed, "KFFS_scl", 20 * kQ16, "Load_Position", "Target_Position"},
    };
    for (const Case& c : cases) {
        auto worstError = [&c](bool on) {
            auto setup = drivetest::TunedSetup({.lines = kFineLines, .speedBand = 100, .positionBand = 20});
            // Current counts per (speed count per sample) per sample.
            const double jOverK =
                setup->GetParameterValueInBaseUnit("Jt") / setup->GetParameterValueInBaseUnit("K");
            const double ideal =
                std::string(c.gain) == "KFFS_scl"
                    ? 1.0
                    : jOverK * dcdrive::CurrentScale(*setup) / std::fabs(dcdrive::AccelerationScale(*setup));
            drivetest::SetValue(*setup, c.gain, on ? ideal : 0.0);
            dcdrive::ParametersToRegisters(*setup);
            VirtualDrive drive(FinePlant());
            drive.Download(drivetest::RegisterImage(*setup));
            Motion motion;
            motion.mode = c.mode;
            motion.segments = {{200, c.slope}, {50, 0}};
            const auto logged = RunMotion(drive, motion, 200, {c.actual, c.reference});
            const double scale = c.mode == LoopMode::Speed ? kQ16 : 1.0;
            double worst = 0.0;
            for (const LoggedPoint& p : logged)
                worst = std::max(worst, std::fabs(static_cast<double>(p.values[1] - p.values[0])) / scale);
            return worst;
        };
        const double without = worstError(false);
        const double with = worstError(true);
        std::printf("%s feed-forward: worst ramp error %.2f counts without, %.2f with\n", c.what, without,
                    with);
        EXPECT_GT(without, 2.0) << c.what;
        // What is left with the feed-forward is mostly the lag of the
        // measurement (half a sample) and of the current loop.
        EXPECT_LT(with, 0.5 * without) << c.what;
    }
}

// ---- current limit -------------------------------------------------------------

// A speed step far beyond what the current limit allows: the current
// reference holds exactly at "SATS"'s limit while the speed rises, and the
// motor current follows it there.
TEST(Loops, SaturationHoldsTheCurrentAtTheLimit) {
    for (const double limitAmps : {8.0, 4.0}) {
        const auto setup =
            drivetest::TunedSetup({.lines = kFineLines, .speedBand = 300, .before = {{"IlimPS", limitAmps}}});
        VirtualDrive drive(FinePlant());
        drive.Download(drivetest::RegisterImage(*setup));
        const std::int64_t limit = 32767 - drive.Register("SATS");
        ASSERT_NEAR(static_cast<double>(limit), limitAmps * dcdrive::CurrentScale(*setup), 1.0);
        Motion motion;
        motion.mode = LoopMode::Speed;
        motion.segments = {{1, 2000 * kQ16}, {1000, 0}};
        const auto logged =
            RunMotion(drive, motion, 20, {"Current_Reference", "Motor_Current", "Motor_Speed"});
        for (std::size_t k = 0; k < logged.size(); ++k) {
            EXPECT_EQ(logged[k].values[0], limit) << limitAmps << " A, sample " << k;
            if (k >= 2) {
                EXPECT_NEAR(static_cast<double>(logged[k].values[1]), limit, 0.03 * limit) << k;
            }
        }
        EXPECT_GT(logged.back().values[2], logged[5].values[2]) << "the motor accelerates";
    }
}

// ---- control error -------------------------------------------------------------

// With the shaft blocked, an error beyond "ERRMAXL" (position) or "SERRMAX"
// (speed) for longer than its time trips a control error: "MER" bit 3 and
// the axis off, after the time and not before; an error within the limit,
// or a check switched off, never trips.
TEST(Loops, ControlErrorTripsAfterItsTime) {
    struct Case {
        const char* what;
        LoopMode mode;
        double stepFactor;  // of the error limit
        bool checkOn;
        bool trips;
    };
    const Case cases[] = {
        {"position beyond", LoopMode::PositionOverCurrent, 1.5, true, true},
        {"position within", LoopMode::PositionOverCurrent, 0.5, true, false},
        {"position check off", LoopMode::PositionOverCurrent, 1.5, false, false},
        {"speed beyond", LoopMode::Speed, 1.5, true, true},
        {"speed within", LoopMode::Speed, 0.5, true, false},
        {"speed check off", LoopMode::Speed, 1.5, false, false},
    };
    for (const Case& c : cases) {
        const auto setup = drivetest::TunedSetup(
            {.before = {{"isPositionControlError", c.checkOn}, {"isSpeedControlError", c.checkOn}}});
        const auto image = drivetest::RegisterImage(*setup);
        const bool position = c.mode == LoopMode::PositionOverCurrent;
        const std::int64_t limit = image.at(position ? "ERRMAXL" : "SERRMAX");
        const std::int64_t time = image.at(position ? "TERRMAX" : "TSERRMAX");
        const double ts = dcdrive::SpeedLoopPeriod(*setup);
        ASSERT_GT(limit, 0);

        Plant plant = drivetest::DefaultPlant();
        plant.shaftBlocked = true;
        VirtualDrive drive(plant);
        drive.Download(image);
        Motion motion;
        motion.mode = c.mode;
        motion.segments = {{1, static_cast<std::int64_t>(c.stepFactor * limit) * kQ16}, {100000, 0}};
        ASSERT_TRUE(drive.StartMotion(motion)) << drive.LastError();
        const std::int64_t trip = c.checkOn ? time : 100;
        drive.AdvanceTo((trip - 1) * ts);
        EXPECT_TRUE(drive.AxisOn()) << c.what << ": tripped early";
        EXPECT_EQ(drive.GetStatus().mer & 8, 0) << c.what;
        drive.AdvanceTo((2 * trip + 10) * ts);
        EXPECT_EQ(drive.AxisOn(), !c.trips) << c.what;
        EXPECT_EQ((drive.GetStatus().mer & 8) != 0, c.trips) << c.what;
        if (c.trips) {
            EXPECT_EQ(drive.GetStatus().current, 0.0) << c.what << ": the current has died out";
        }
    }
}

// ---- biquads -------------------------------------------------------------------

// A slot run in fixed point against the difference equation of the
// coefficients it holds, in double precision: a low pass and a notch as the
// filter design quantizes them, and a cleared slot, which passes its input.
TEST(Loops, BiquadSlotFollowsItsDifferenceEquation) {
    struct Case {
        const char* what;
        int type;
        double f1, q;  // normalized frequency, quality factor
    };
    const Case cases[] = {
        {"low pass", dcdrive::kBiquadLowPass2, 0.05, 0.707},
        {"notch", dcdrive::kBiquadNotch, 0.02, 2.0},
        {"lead-lag", dcdrive::kBiquadLeadLag1, 0.01, 0.05},
        {"cleared slot", -1, 0.0, 0.0},
    };
    for (const Case& c : cases) {
        fw::BiquadSlot slot;
        dcdrive::BiquadCoefficients h;  // what the slot holds, as values
        if (c.type >= 0) {
            const auto design = dcdrive::DesignBiquad(c.type, c.f1, c.q, 0.0);
            ASSERT_TRUE(design) << c.what;
            const dcdrive::HeldBiquad held = dcdrive::QuantizeBiquad(*design);
            slot = {std::llround(held.words.b0), std::llround(held.words.b1), std::llround(held.words.b2),
                    std::llround(held.words.a1), std::llround(held.words.a2), std::llround(held.scaleFactor)};
            h = dcdrive::HeldValues(held);
        } else {
            h.b0 = 1.0;  // a cleared slot passes the signal through
        }
        fw::BiquadState state;
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0, worst = 0.0;
        for (int n = 0; n < 2000; ++n) {
            // A step of 300 counts with a sine at the notch's frequency on top.
            const double x = (n >= 10 ? 300.0 : 0.0) + 50.0 * std::sin(kTwoPi * 0.02 * n);
            const auto xq = static_cast<std::int64_t>(std::llround(x * kQ16));
            const double xd = static_cast<double>(xq) / kQ16;
            const double y = h.b0 * xd + h.b1 * x1 + h.b2 * x2 - h.a1 * y1 - h.a2 * y2;
            x2 = x1, x1 = xd, y2 = y1, y1 = y;
            const double fixed = static_cast<double>(fw::RunBiquad(slot, state, xq)) / kQ16;
            worst = std::max(worst, std::fabs(fixed - y));
        }
        EXPECT_LT(worst, 1e-3) << c.what;  // counts
    }
}

// The chain as the registers lay it out: filters written by the filter
// design at the speed controller's output and on the speed feedback land in
// those chains, with the slots' words.
TEST(Loops, BiquadChainsFromTheSlotRegisters) {
    auto setup = dcdrive::LoadDefaultSetup();
    // Filter 1: notch on the speed controller output; filter 2: low pass on
    // the speed feedback; filter 3: low pass on the position controller output.
    const struct {
        int type, location;
        double f1, q;
    } filters[] = {{dcdrive::kBiquadNotch, 1, 60, 2},
                   {dcdrive::kBiquadLowPass2, 2, 80, 0.707},
                   {dcdrive::kBiquadLowPass1, 0, 40, 0.707}};
    for (int i = 0; i < 3; ++i) {
        const std::string n = std::to_string(i + 1);
        drivetest::SetValue(*setup, ("BQFilter" + n).c_str(), 1);
        drivetest::SetValue(*setup, ("BQFilterType" + n).c_str(), filters[i].type);
        drivetest::SetValue(*setup, ("BQFilterLocation" + n).c_str(), filters[i].location);
        drivetest::SetValue(*setup, ("BQFilterF1" + n).c_str(), filters[i].f1);
        drivetest::SetValue(*setup, ("BQFilterQ" + n).c_str(), filters[i].q);
    }
    dcdrive::ParametersToRegisters(*setup);
    const auto image = drivetest::RegisterImage(*setup);
    const fw::Config config = fw::ConfigFromRegisters({image.begin(), image.end()});
    const int filterAt[fw::kBiquadLocations] = {3, 1, 2};
    for (int location = 0; location < fw::kBiquadLocations; ++location) {
        ASSERT_EQ(config.biquads[location].size(), 1u) << location;
        const auto held = dcdrive::DesignHeldBiquad(*setup, filterAt[location], true);
        ASSERT_TRUE(held);
        const fw::BiquadSlot& slot = config.biquads[location][0];
        EXPECT_EQ(slot.b0, std::llround(held->words.b0)) << location;
        EXPECT_EQ(slot.a1, std::llround(held->words.a1)) << location;
        EXPECT_EQ(slot.a2, std::llround(held->words.a2)) << location;
        EXPECT_EQ(slot.scale, std::llround(held->scaleFactor)) << location;
    }
}

// A notch on the speed feedback at a frequency the motion does not excite
// leaves the speed loop's step response as it was; a low pass far inside
// the loop's band slows it.
TEST(Loops, SpeedFeedbackFilterActsInTheLoop) {
    auto responseWith = [](int type, double hz) {
        const auto setup = drivetest::TunedSetup({.lines = kFineLines,
                                                  .speedBand = 60,
                                                  .after = {{"BQFilter1", type >= 0 ? 1 : 0},
                                                            {"BQFilterType1", std::max(type, 0)},
                                                            {"BQFilterLocation1", 2},
                                                            {"BQFilterF11", hz},
                                                            {"BQFilterQ1", 0.707}}});
        VirtualDrive drive(FinePlant());
        drive.Download(drivetest::RegisterImage(*setup));
        Motion motion;
        motion.mode = LoopMode::Speed;
        motion.segments = {{1, 100 * kQ16}, {1000, 0}};
        std::vector<double> speed;
        for (const LoggedPoint& p : RunMotion(drive, motion, 150, {"Motor_Speed"}))
            speed.push_back(static_cast<double>(p.values[0]) / kQ16);
        return speed;
    };
    const auto plain = responseWith(-1, 0);
    const auto notched = responseWith(dcdrive::kBiquadNotch, 400);
    const auto lowPassed = responseWith(dcdrive::kBiquadLowPass2, 15);
    EXPECT_LT(Nrms(notched, plain, 100.0), 0.03);
    EXPECT_GT(Nrms(lowPassed, plain, 100.0), 0.1);
}

// ---- sine/cosine encoders ------------------------------------------------------

// A sine/cosine encoder counts 4 · lines · 2^f per revolution with the
// interpolation the conversions choose for its lines, as many as the
// setup's position scale says.
TEST(Loops, SineCosineInterpolationCounts) {
    for (const int lines : {16, 64, 256, 500}) {
        auto setup = dcdrive::LoadDefaultSetup();
        drivetest::SetValue(*setup, "MotorSensorType", 3);
        drivetest::SetValue(*setup, "No_encoder_lines", lines);
        dcdrive::ParametersToRegisters(*setup);
        const auto image = drivetest::RegisterImage(*setup);
        const std::int64_t bits = image.at("ELRES_FRACT");
        drivetest::SetValue(*setup, "SINCOS_fract", static_cast<double>(bits));
        Plant plant = drivetest::DefaultPlant();
        plant.encoder.lines = lines;
        VirtualDrive drive(plant);
        drive.Download(image);
        const std::int64_t perTurn = std::llround(kTwoPi * dcdrive::MotorPositionScale(*setup));
        EXPECT_EQ(perTurn, (4 * lines) << bits) << lines;
        const Symbol apos = drivetest::Variable("APOS_MT");
        std::int64_t counts = 0;
        drive.TurnShaft(false, kTwoPi, 0.0);
        ASSERT_TRUE(drive.Read(apos.address, apos.type, counts));
        EXPECT_EQ(counts, perTurn) << lines << " lines, " << bits << " bits";
        drive.TurnShaft(false, 0.3 * kTwoPi, 0.0);
        ASSERT_TRUE(drive.Read(apos.address, apos.type, counts));
        EXPECT_EQ(counts, perTurn + static_cast<std::int64_t>(std::floor(0.3 * perTurn))) << lines;
    }
}

// The same registers, plant and motion give the same logged data, bit for
// bit, with the speed and position loops closed and the converter noise on;
// another noise seed gives other data.
TEST(Loops, MotionIsDeterministic) {
    const auto setup = drivetest::TunedSetup({.lines = kFineLines, .speedBand = 150, .positionBand = 30});
    auto run = [&setup](std::uint32_t seed) {
        Plant plant = FinePlant();
        plant.converter.noise = 40.0;
        plant.converter.seed = seed;
        VirtualDrive drive(plant);
        drive.Download(drivetest::RegisterImage(*setup));
        Motion motion;
        motion.segments = {{100, 40 * kQ16}, {100, 0}, {100, -40 * kQ16}, {50, 0}};
        std::vector<std::int64_t> data;
        for (const LoggedPoint& p :
             RunMotion(drive, motion, 300,
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
