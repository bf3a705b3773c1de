// The drive-resident programs of the speed, position and inertia tests, run
// through their variables as a test dialog runs them: the protections, the
// inertia measured (or the failure code), and the responses after tuning
// against the closed loops the tuning designs, one per loop structure.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "DriveTestSupport.h"
#include "conversions/Derived.h"

using namespace vdrive;

namespace {

constexpr std::int64_t kQ16 = 65536;
constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr const char* kCurrentTest = "Current_Controller_Tuning_Test";
constexpr const char* kSpeedTest = "Speed_Controller_Tuning_Test";
constexpr const char* kPositionOverSpeed = "Position_Controller_Tuning_Test_with_SpdCtrl";
constexpr const char* kPositionOverCurrent = "Position_Controller_Tuning_Test_without_SpdCtrl";
constexpr const char* kInertiaTest = "Total_Inertia_Identification_Test";

using drivetest::Get;
using drivetest::Nrms;
using drivetest::Respond;
using drivetest::Set;
using drivetest::SlowPeriod;
using drivetest::SymbolOf;

std::unique_ptr<CKX_Setup> TunedCurrentLoop() {
    return drivetest::TunedSetup({.currentBand = 3000, .currentDamping = 0.8});
}

struct Profile {
    std::vector<std::uint32_t> lengths;  // six segments
    std::vector<std::int64_t> increments;
    std::uint32_t Samples() const {
        std::uint32_t n = 0;
        for (const std::uint32_t a : lengths) n += a;
        return n;
    }
};

// Writes the profile and the limits of a speed or position test.
void WriteProfile(VirtualDrive& drive, const std::string& program, const Profile& profile,
                  std::int64_t currentLimit, std::int64_t protection) {
    for (int i = 0; i < 6; ++i) {
        Set(drive, SymbolOf(program, "a" + std::to_string(i)), profile.lengths[i]);
        Set(drive, SymbolOf(program, "b" + std::to_string(i)), profile.increments[i]);
    }
    Set(drive, SymbolOf(program, "MultiC"), 0);
    Set(drive, SymbolOf(program, program == kPositionOverSpeed ? "LimitSpeed" : "IlimPS_Test"), currentLimit);
    Set(drive, SymbolOf(program, "Imax_Prot_Test"), protection);
}

// Runs until the axis is off or the time is up.
void RunUntilOff(VirtualDrive& drive, double seconds) {
    const double end = drive.Now() + seconds;
    while (drive.AxisOn() && drive.Now() < end) drive.AdvanceTo(drive.Now() + 1e-3);
}

// The test's over-current protection, the converter's over-current fault,
// the power stage's short-circuit protection or a drive fault ends each
// program with the axis off, "test_flag" at most 0 and "STARTED" set, even
// when it tripped before its motion, so that the host goes on to read
// "test_flag". A drive fault sets its bit of "MER" and switches the power
// stage off within a loop period; once it is gone the next run passes.
TEST(TestPrograms, ProtectionsAndFaultsEndTheRun) {
    struct Case {
        const char* program;
        std::int64_t protection;  // current counts
        Fault fault;
        double faultAfter;        // s after the start; 0: before it; < 0: none
        double shortCircuitAmps;  // 0: the plant's
        int mer;
    };
    const Case cases[] = {
        {kSpeedTest, 500, Fault::OverCurrent, -1, 0, 0},
        {kPositionOverSpeed, 500, Fault::OverCurrent, -1, 0, 0},
        {kInertiaTest, 500, Fault::OverCurrent, -1, 0, 0},
        {kCurrentTest, 500, Fault::OverCurrent, -1, 0, 0},
        {kInertiaTest, 30000, Fault::OverCurrent, 0.02, 0, 0},
        {kCurrentTest, 30000, Fault::OverCurrent, 0, 0, 0},
        {kCurrentTest, 30000, Fault::OverCurrent, -1, 1.0, 0x0002},
        {kCurrentTest, 30000, Fault::ShortCircuit, 0, 0, 0x0002},
        {kCurrentTest, 30000, Fault::ControlError, 0.001, 0, 0x0008},
        {kCurrentTest, 30000, Fault::FeedbackError, 0, 0, 0x0020},
        {kCurrentTest, 30000, Fault::LimitPositive, 0.001, 0, 0x0040},
        {kCurrentTest, 30000, Fault::LimitNegative, 0, 0, 0x0080},
        {kCurrentTest, 30000, Fault::EnableOff, 0.001, 0, 0x8000},
    };
    const auto setup = TunedCurrentLoop();
    // 40 counts per sample: about 1 A to accelerate at 2000 counts a turn.
    const Profile profile{{50, 1, 200, 50, 1, 200}, {40 * kQ16, 0, 0, -40 * kQ16, 0, 0}};
    for (const Case& c : cases) {
        const std::string program = c.program;
        SCOPED_TRACE(program + (c.faultAfter >= 0 ? std::string(" ") + FaultName(c.fault) : "") +
                     (c.shortCircuitAmps > 0 ? " short circuit" : ""));
        Plant plant = drivetest::DefaultPlant();
        if (c.shortCircuitAmps > 0) plant.drive.shortCircuitCurrent = c.shortCircuitAmps;
        VirtualDrive drive(plant);
        drive.Download(drivetest::RegisterImage(*setup));
        if (program == kInertiaTest || program == kCurrentTest) {
            Set(drive, SymbolOf(program, "In1"), std::llround(1.6 * dcdrive::CurrentScale(*setup)));
            if (program == kInertiaTest) Set(drive, SymbolOf(program, "LimitSpeedMax"), 90);
            Set(drive, SymbolOf(program, "Imax_Prot_Test"), c.protection);
            drive.SetBlocked(program == kCurrentTest);
        } else {
            WriteProfile(drive, program, profile, 26000, c.protection);
        }
        if (c.faultAfter == 0) drive.SetFault(c.fault, true);
        ASSERT_TRUE(drive.StartProgram(program));
        if (c.faultAfter > 0) {
            drive.AdvanceTo(drive.Now() + c.faultAfter);
            ASSERT_TRUE(drive.AxisOn());
            drive.SetFault(c.fault, true);
        }
        const double start = drive.Now();
        RunUntilOff(drive, 1.0);
        const bool driveFault = c.mer != 0 && c.shortCircuitAmps == 0;
        EXPECT_FALSE(drive.AxisOn());
        // The profiles last 0.5 s.
        EXPECT_LE(drive.Now() - start, driveFault ? 1.001e-3 : 0.3) << "the trip came late";
        EXPECT_LE(Get(drive, SymbolOf(program, "test_flag")), 0);
        EXPECT_NE(Get(drive, SymbolOf(program, "STARTED")), 0);
        EXPECT_EQ(drive.GetStatus().mer, c.mer);
        if (!driveFault) continue;
        drive.SetFault(c.fault, false);
        ASSERT_TRUE(drive.StartProgram(program));
        RunUntilOff(drive, 1.0);
        EXPECT_EQ(drive.GetStatus().mer, 0);
        EXPECT_EQ(Get(drive, SymbolOf(program, "test_flag")), 1);
    }
}

// The inertia from the program's result: the test torque K·I held for Δt
// gives the speed Δω, so J = K·I·Δt/Δω, with I from the current counts, Δt
// from the samples and Δω from the speed counts per sample. What keeps the
// motor from reaching the speed limit gives the failure code instead.
TEST(TestPrograms, InertiaTestMeasuresTheInertiaOrSaysWhyNot) {
    struct Case {
        const char* name;
        void (*change)(Plant&);
        double amperes, speed;  // SI
        std::int64_t code;      // "delta_time" for a failure; 0: measured
        double tolerance;
    };
    const Case cases[] = {
        {"no friction", [](Plant&) {}, 1.6, 300, 0, 0.02},
        {"strong Coulomb friction",
         [](Plant& p) { p.load = {.inertia = 4e-5, .viscousFriction = 1e-5, .coulombFriction = 0.02}; }, 2.0,
         250, 0, 0.05},
        {"encoder wired the other way", [](Plant& p) { p.encoder.reversed = true; }, 1.6, 300, -1, 0},
        {"blocked shaft", [](Plant& p) { p.shaftBlocked = true; }, 1.6, 300, -2, 0},
        // 48 V over K = 0.06 V·s: the back-EMF stops the motor near 770 rad/s.
        {"speed beyond the supply", [](Plant&) {}, 1.6, 900, -3, 0},
    };
    const auto setup = TunedCurrentLoop();
    for (const Case& c : cases) {
        Plant plant = drivetest::DefaultPlant();
        c.change(plant);
        VirtualDrive drive(plant);
        drive.Download(drivetest::RegisterImage(*setup));
        const double current = dcdrive::CurrentScale(*setup);
        Set(drive, SymbolOf(kInertiaTest, "In1"), std::llround(c.amperes * current));
        Set(drive, SymbolOf(kInertiaTest, "LimitSpeedMax"),
            std::llround(c.speed * dcdrive::MotorSpeedScale(*setup)));
        Set(drive, SymbolOf(kInertiaTest, "Imax_Prot_Test"), std::llround(9.0 * current));
        ASSERT_TRUE(drive.StartProgram(kInertiaTest));
        RunUntilOff(drive, 10.0);
        EXPECT_NE(Get(drive, SymbolOf(kInertiaTest, "STARTED")), 0) << c.name;
        EXPECT_FALSE(drive.AxisOn()) << c.name;
        const std::int64_t flag = Get(drive, SymbolOf(kInertiaTest, "test_flag"));
        const std::int64_t deltaTime = Get(drive, SymbolOf(kInertiaTest, "delta_time"));
        if (c.code < 0) {
            EXPECT_EQ(deltaTime, c.code) << c.name;
            EXPECT_GT(flag, 0) << c.name;
            continue;
        }
        ASSERT_EQ(flag, 1) << c.name;
        ASSERT_GT(deltaTime, 0) << c.name;
        const double amperes = std::llround(c.amperes * current) / current;
        const double dt = static_cast<double>(deltaTime) * dcdrive::SpeedLoopPeriod(*setup);
        const double dw = static_cast<double>(Get(drive, SymbolOf(kInertiaTest, "delta_speed"))) / kQ16 /
                          dcdrive::MotorSpeedScale(*setup);
        const double j = plant.motor.torqueConstant * amperes * dt / dw;
        EXPECT_NEAR(j / (plant.motor.inertia + plant.load.inertia), 1.0, c.tolerance) << c.name;
    }
}

// After Tune, the speed test's load speed follows the designed speed loop
// (2ζω s + ω²)/(s² + 2ζω s + ω²) driven by the logged speed reference, and
// the position tests' load position the designed position loop: over the
// speed loop the same second order, over the current loop
// ((2ζ+1)ω s² + (2ζ+1)ω² s + ω³)/(s³ + (2ζ+1)ω s² + (2ζ+1)ω² s + ω³). The
// load-encoder-only setup closes the position loop on the load encoder.
TEST(TestPrograms, TunedProgramsFollowTheDesignedLoops) {
    struct TunedCase {
        const char* name;
        const char* program;
        int lines;            // encoder lines (motor, or load alone)
        bool loadSensorOnly;  // a load encoder and no motor sensor
        double speedBand, positionBand, damping;
    };
    const TunedCase cases[] = {
        {"speed loop", kSpeedTest, 10000, false, 100, 0, 0.7},
        {"position over the speed loop", kPositionOverSpeed, 10000, false, 300, 30, 1.0},
        {"position over the current loop", kPositionOverCurrent, 10000, false, 0, 40, 1.0},
        {"position over the current loop, load encoder alone", kPositionOverCurrent, 500, true, 0, 30, 1.0},
    };
    for (const TunedCase& c : cases) {
        const auto setup = drivetest::TunedSetup(
            {.lines = c.loadSensorOnly ? 0 : c.lines,
             .loadLinesOnly = c.loadSensorOnly ? c.lines : 0,
             .speedBand = c.speedBand,
             .speedDamping = c.damping,
             .positionBand = c.positionBand,
             .positionDamping = c.damping,
             .positionControlType = c.program == std::string(kPositionOverCurrent) ? 0 : 1});
        Plant plant = drivetest::DefaultPlant();
        plant.encoder.lines = c.lines;
        plant.encoder.loadLines = c.lines;
        VirtualDrive drive(plant);
        const auto image = drivetest::RegisterImage(*setup);
        drive.Download(image);
        const double ts = SlowPeriod(drive);
        const bool position = c.positionBand > 0;
        const double band = position ? c.positionBand : c.speedBand;
        // A ramp of one time constant of the loop to the test's level, so
        // that the response shows the loop's dynamics, a plateau, the ramp
        // back and a plateau.
        const auto ramp = static_cast<std::uint32_t>(std::ceil(1.0 / band / ts));
        const auto hold = static_cast<std::uint32_t>(std::ceil(12.0 / band / ts));
        const double counts = 4.0 * c.lines;                                         // per revolution
        const double level = position ? 0.1 * counts : 20.0 * counts / kTwoPi * ts;  // 1/10 turn; 20 rad/s
        const auto increment = static_cast<std::int64_t>(std::llround(level * kQ16 / ramp));
        const Profile profile{{ramp, 0, hold, ramp, 0, hold}, {increment, 0, 0, -increment, 0, 0}};
        const char* reference = position ? "Target_Position" : "Speed_Reference";
        const char* response = position ? "Load_Position" : "Load_Speed";
        const int points = static_cast<int>(profile.Samples()) - 1;  // the last switches the axis off
        WriteProfile(drive, c.program, profile,
                     c.program == std::string(kPositionOverSpeed) ? 32767 - image.at("SATS") : 26000, 30000);
        drivetest::ArmLogger(drive, {SymbolOf(c.program, reference), SymbolOf(c.program, response)}, points);
        ASSERT_TRUE(drive.StartProgram(c.program)) << drive.LastError();
        RunUntilOff(drive, (points + 10) * ts);
        ASSERT_EQ(drive.Logged().size(), static_cast<std::size_t>(points)) << c.name;
        EXPECT_EQ(Get(drive, SymbolOf(c.program, "test_flag")), 1) << c.name;

        std::vector<double> input, output;
        for (const LoggedPoint& p : drive.Logged()) {
            const double scale = position ? 1.0 : 1.0 / kQ16;
            input.push_back(static_cast<double>(p.values[0]) * scale);
            output.push_back(static_cast<double>(p.values[1]) * scale);
        }
        const double w = band, z = c.damping, a = 2 * z + 1;
        std::vector<double> designed;
        if (!position) {
            // The speed is counted over the sample before: the designed
            // angle's change per sample.
            const auto angle = Respond({2 * z * w, w * w}, {1, 2 * z * w, w * w, 0}, input, ts);
            for (std::size_t k = 0; k < angle.size(); ++k)
                designed.push_back(k == 0 ? 0.0 : (angle[k] - angle[k - 1]) / ts);
        } else if (c.program == std::string(kPositionOverSpeed)) {
            designed = Respond({2 * z * w, w * w}, {1, 2 * z * w, w * w}, input, ts);
        } else {
            designed = Respond({a * w, a * w * w, w * w * w}, {1, a * w, a * w * w, w * w * w}, input, ts);
        }
        const double nrms = Nrms(output, designed, level);
        EXPECT_LT(nrms, 0.10) << c.name;
        // The response shows the designed dynamics, not a stiffer or slacker
        // loop's: it lies far closer to the design than the reference does.
        const double lag = Nrms(input, designed, level);
        EXPECT_LT(nrms, 0.25 * lag) << c.name << ": the reference itself is " << lag << " from the design";
    }
}

}  // namespace
