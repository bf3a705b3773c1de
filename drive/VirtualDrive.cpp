// The virtual drive: one PWM period per step. At the start of a period the
// firmware samples its converters and, every "CLPER" periods, runs the fast
// loop (protections, the running program, the current controller, the
// logger); every "SLPER" periods the slow loop measures the speeds. The
// power stage then holds the commanded duty × the true supply across the
// motor for the period, over which the RL circuit is integrated exactly
// (constant voltage and back-EMF) and the mechanics semi-implicitly.
#include "VirtualDrive.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <utility>

#include "Axis.h"
#include "Firmware.h"
#include "InertiaRun.h"
#include "Loops.h"
#include "Memory.h"

namespace vdrive {

namespace {

using mem::Var;

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Motion: the loops along a reference set through StartMotion.
enum class Program {
    None,
    CurrentTest,
    VdcTest,
    AnalogueTest,
    EncoderTest,
    SsiEncoderTest,
    SpeedTest,
    PositionOverSpeedTest,
    PositionOverCurrentTest,
    InertiaTest,
    Motion
};

struct ProgramName {
    Program program;
    const char* name;
};
constexpr ProgramName kPrograms[] = {
    {Program::CurrentTest, "Current_Controller_Tuning_Test"},
    {Program::VdcTest, "VDC_Detection_Test"},
    {Program::AnalogueTest, "Analogue_Reference_Test"},
    {Program::EncoderTest, "Encoder_Connection_Test"},
    {Program::SsiEncoderTest, "SSI_Encoder_Connection_Test"},
    {Program::SpeedTest, "Speed_Controller_Tuning_Test"},
    {Program::PositionOverSpeedTest, "Position_Controller_Tuning_Test_with_SpdCtrl"},
    {Program::PositionOverCurrentTest, "Position_Controller_Tuning_Test_without_SpdCtrl"},
    {Program::InertiaTest, "Total_Inertia_Identification_Test"},
};

// The programs that run the loops along a reference profile.
constexpr bool FollowsReference(Program p) {
    return p == Program::Motion || p == Program::SpeedTest || p == Program::PositionOverSpeedTest ||
           p == Program::PositionOverCurrentTest;
}

// The programs that switch the power stage on, and end when a protection
// switches it off.
constexpr bool DrivesTheMotor(Program p) {
    return FollowsReference(p) || p == Program::CurrentTest || p == Program::VdcTest ||
           p == Program::InertiaTest;
}

// Each phase of the inertia test may go this long (s) without the speed
// growing before it gives up.
constexpr double kInertiaPatience = 0.5;

// The current test applies its step this many fast-loop samples after its
// start, so that the logger holds the level before the step.
constexpr std::int64_t kStepSample = 3;
// Without an armed logger the current test runs this many samples.
constexpr std::int64_t kCurrentTestSamples = 100;
// The supply measurement averages this many converter readings.
constexpr std::int64_t kVdcSamples = 1024;
// Motion error register bits of the faults that switch the power stage off.
constexpr std::uint16_t kMerShortCircuit = 1u << 1;
constexpr std::uint16_t kMerControlError = 1u << 3;

std::uint16_t MerBit(Fault fault) {
    switch (fault) {
        case Fault::ShortCircuit:
            return kMerShortCircuit;
        case Fault::ControlError:
            return kMerControlError;
        case Fault::FeedbackError:
            return 1u << 5;
        case Fault::LimitPositive:
            return 1u << 6;
        case Fault::LimitNegative:
            return 1u << 7;
        case Fault::EnableOff:
            return 1u << 15;
        default:
            return 0;
    }
}

constexpr int kFaultCount = static_cast<int>(Fault::NoProgram) + 1;

// Deterministic noise: splitmix64 and Box-Muller, the same on every platform.
struct Noise {
    std::uint64_t state = 1;
    double Uniform() {  // [0, 1)
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return static_cast<double>(z >> 11) * (1.0 / 9007199254740992.0);
    }
    double Gaussian() {
        const double u = 1.0 - Uniform();
        const double v = Uniform();
        return std::sqrt(-2.0 * std::log(u)) * std::cos(kTwoPi * v);
    }
};

// Counts per revolution of a sensor that counts position: a sine/cosine
// period is interpolated into 4 · 2^bits counts.
double CountsPerRevolution(fw::Sensor sensor, int lines, int ssiBits, int interpolationBits) {
    switch (sensor) {
        case fw::Sensor::Incremental:
            return 4.0 * lines;
        case fw::Sensor::SineCosine:
            return std::ldexp(4.0 * lines, interpolationBits);
        case fw::Sensor::Ssi:
        case fw::Sensor::Biss:
            return std::ldexp(1.0, ssiBits);
        default:
            return 0.0;
    }
}

}  // namespace

struct VirtualDrive::Impl {
    Plant plant;
    std::map<std::string, std::int64_t, std::less<>> registers;
    fw::Config cfg;
    std::string lastError;

    // time
    double period = 5e-5;  // PWM period, s
    double time = 0.0;
    std::int64_t fastCountdown = 0;
    std::int64_t slowCountdown = 0;
    bool slowDue = false;  // a slow-loop sample is due in the next fast-loop sample

    Axis axis{plant};

    // power stage and firmware
    bool powerOn = false;
    std::int64_t voltageCommand = 0;  // counts of 32767 = full duty
    std::int64_t currentReference = 0;
    fw::PiState currentPi;
    fw::OutputFilter outputFilter;
    fw::Loops loops;
    bool loopsRunning = false;   // the slow loop runs the speed and position loops
    double currentCounts = 0.0;  // counts per A of the current converter
    double busCounts = 0.0;      // counts per V of the supply converter
    double shortCircuitLimit = 20.0;
    Noise noise;
    Noise busRipple;

    // encoders
    double motorCpr = 2000.0, loadCpr = 0.0;
    std::int64_t motorOffset = 0, loadOffset = 0;
    std::int64_t lastMotorCount = 0, lastLoadCount = 0;

    std::array<std::int64_t, mem::kVarCount> values{};
    std::array<bool, kFaultCount> faults{};
    std::uint16_t activeMerBits = 0;

    // running program
    Program program = Program::None;
    std::int64_t programSample = 0;
    double busSum = 0.0;
    prog::InertiaRun inertia;
    // The inertia test's current: its sign, and the trim (1/64 counts) that
    // holds the measured current at the test current while the back-EMF
    // ramps, which the current controller alone follows with a lag.
    std::int64_t inertiaSign = 0;
    std::int64_t inertiaTrim = 0;

    // logger
    LoggerSettings armed;
    bool loggerArmed = false;
    bool referenceEnded = false;  // the reference has ended: end after logging
    bool logging = false;
    LoggerSettings logSettings;
    std::vector<Var> logVars;
    std::vector<LoggedPoint> logged;
    std::int64_t logCountdown = 0;
    std::int64_t logSamples = 0;

    // oscilloscope
    Scope scope;
    std::vector<Var> scopeVars;
    Var scopeTrigger = mem::kMer;
    std::vector<std::int64_t> scopeValues;

    explicit Impl(const Plant& p) : plant(p), axis(plant) {
        Configure();
        ResetState();
    }

    // ---- configuration -------------------------------------------------

    void Configure() {
        cfg = fw::ConfigFromRegisters(registers);
        period = 2.0 * static_cast<double>(cfg.pwmPeriod) / plant.drive.clock;
        axis.Configure(period);
        const double adcMax =
            static_cast<double>(((1u << plant.drive.adcBits) - 1u) << (16 - plant.drive.adcBits));
        currentCounts = adcMax / (2.0 * plant.drive.currentRange);
        busCounts = adcMax / plant.drive.vdcMaxMeasurable;
        shortCircuitLimit = plant.drive.shortCircuitCurrent > 0.0 ? plant.drive.shortCircuitCurrent
                                                                  : 2.0 * plant.drive.currentRange;
        motorCpr = CountsPerRevolution(cfg.motorSensor, plant.encoder.lines, plant.encoder.ssiBits,
                                       cfg.interpolationBits);
        loadCpr = CountsPerRevolution(cfg.loadSensor, plant.encoder.loadLines, plant.encoder.ssiBits,
                                      cfg.interpolationBits);
        outputFilter.q = cfg.outputFilter;
        fastCountdown = std::min(fastCountdown, cfg.fastDivider - 1);
        slowCountdown = std::min(slowCountdown, cfg.slowDivider - 1);
    }

    // A gain register written while the drive runs: the laws follow it from
    // the next loop sample on, with the state they have built up (the
    // integrals) kept; the sampling and the sensors stay as they are.
    void RetuneLoops() {
        const fw::Config fresh = fw::ConfigFromRegisters(registers);
        cfg.current = fresh.current;
        cfg.speed = fresh.speed;
        cfg.position = fresh.position;
        cfg.speedFeedforward = fresh.speedFeedforward;
        cfg.accelerationFeedforward = fresh.accelerationFeedforward;
    }

    // A variable's live value: a gain register from the register image (0
    // when it was never downloaded), anything else from the value table.
    std::int64_t ValueOf(Var var) const {
        if (!mem::IsGainRegister(var)) return values[var];
        const auto it = registers.find(std::string_view(mem::kCells[var].name));
        return it == registers.end() ? 0 : it->second;
    }

    void ResetState() {
        time = 0.0;
        fastCountdown = 0;
        slowCountdown = 0;
        slowDue = false;
        powerOn = false;
        loopsRunning = false;
        voltageCommand = 0;
        currentReference = 0;
        currentPi = {};
        outputFilter.yQ15 = 0;
        program = Program::None;
        logging = false;
        noise.state = plant.converter.seed;
        busRipple.state = plant.converter.seed ^ 0x5bd1e995u;
        values.fill(0);
        // Incremental counters restart at 0; an absolute encoder keeps its
        // position within the turn.
        motorOffset = ZeroOffset(RawMotorCount(), cfg.motorSensor, motorCpr);
        loadOffset = ZeroOffset(RawLoadCount(), cfg.loadSensor, loadCpr);
        lastMotorCount = Counter(RawMotorCount(), motorOffset, cfg.motorReversed != plant.encoder.reversed);
        lastLoadCount = Counter(RawLoadCount(), loadOffset, cfg.loadReversed != plant.encoder.loadReversed);
        UpdateCounters();
    }

    static std::int64_t ZeroOffset(std::int64_t raw, fw::Sensor sensor, double cpr) {
        if ((sensor == fw::Sensor::Ssi || sensor == fw::Sensor::Biss) && cpr > 0.0) {
            const auto range = static_cast<std::int64_t>(cpr);
            return raw - ((raw % range) + range) % range;
        }
        return raw;
    }

    // ---- sensors ---------------------------------------------------------

    // The counts of a shaft angle: whole revolutions exactly, and an angle
    // meant to end on an edge (a rounding error short of it) on that edge.
    static std::int64_t CountOf(double radians, double cpr) {
        return static_cast<std::int64_t>(std::floor(radians / kTwoPi * cpr + 1e-9));
    }
    std::int64_t RawMotorCount() const { return CountOf(axis.angle, motorCpr); }
    std::int64_t RawLoadCount() const { return CountOf(axis.angle / plant.load.ratio, loadCpr); }
    static std::int64_t Counter(std::int64_t raw, std::int64_t offset, bool reversed) {
        return reversed ? offset - raw : raw - offset;
    }

    void UpdateCounters() {
        const std::int64_t mt =
            Counter(RawMotorCount(), motorOffset, cfg.motorReversed != plant.encoder.reversed);
        std::int64_t ld = mt;
        if (cfg.loadSensor != fw::Sensor::None)
            ld = Counter(RawLoadCount(), loadOffset, cfg.loadReversed != plant.encoder.loadReversed);
        values[mem::kAposMt] = mem::Wrap(Type::Int32, mt);
        values[mem::kMotorPosition] = values[mem::kAposMt];
        values[mem::kAposLd] = mem::Wrap(Type::Int32, ld);
        values[mem::kLoadPosition] = values[mem::kAposLd];
        values[mem::kApos] = values[mem::kAposLd];
    }

    // A left-aligned converter word of `bits` bits for x counts of 65536.
    std::int64_t Quantize(double x) const {
        const int drop = 16 - plant.drive.adcBits;
        const double step = std::ldexp(1.0, drop);
        return static_cast<std::int64_t>(std::llround(x / step)) << drop;
    }

    std::int64_t MeasureCurrent() {
        if (faults[static_cast<int>(Fault::OverCurrent)]) return Quantize(32767.0 - 8.0);
        double x = axis.current * currentCounts + plant.converter.offset;
        if (plant.converter.noise > 0.0) x += plant.converter.noise * noise.Gaussian();
        x = std::clamp(x, -32768.0, 32767.0);
        return std::clamp<std::int64_t>(Quantize(x), -32768, 32767);
    }

    // A bipolar input of `span` volts read as a left-aligned word; the ends
    // of the span read 0 and 0xFFC0.
    std::int64_t ReadBipolar(double volts, double span) const {
        const double top = 65472.0;
        const double x = std::clamp((volts / span + 0.5) * top, 0.0, top);
        return std::min<std::int64_t>(Quantize(x), static_cast<std::int64_t>(top));
    }

    double MeasureBus() {
        const double step = std::ldexp(1.0, 16 - plant.drive.adcBits);
        // The bus carries a ripple of about one converter step.
        const double x = plant.supplyVoltage * busCounts + (busRipple.Uniform() - 0.5) * step;
        return static_cast<double>(std::clamp<std::int64_t>(Quantize(x), 0, 65535));
    }

    // ---- one PWM period --------------------------------------------------

    // The slow loop is due every "SLPER" PWM periods and runs in the fast-loop
    // sample that starts with or after it.
    void Step() {
        if (slowCountdown == 0) {
            slowCountdown = cfg.slowDivider;
            slowDue = true;
        }
        --slowCountdown;
        if (fastCountdown == 0) {
            fastCountdown = cfg.fastDivider;
            FastLoop();
        }
        --fastCountdown;
        PlantStep();
        time += period;
    }

    void SlowLoop() {
        const std::int64_t mt = values[mem::kAposMt];
        const std::int64_t ld = values[mem::kAposLd];
        const std::int64_t mtSpeed = mem::Wrap(Type::Fixed, (mt - lastMotorCount) * 65536);
        const std::int64_t ldSpeed = mem::Wrap(Type::Fixed, (ld - lastLoadCount) * 65536);
        lastMotorCount = mt;
        lastLoadCount = ld;
        values[mem::kAspdMt] = values[mem::kMotorSpeed] = mtSpeed;
        values[mem::kAspdLd] = values[mem::kLoadSpeed] = values[mem::kAspd] = ldSpeed;
        values[mem::kAd5] = ReadBipolar(plant.analogueReference, plant.drive.analogueSpan);
        values[mem::kAd2] = ReadBipolar(plant.tachoGain * axis.speed, plant.drive.analogueSpan);
        if (powerOn && loopsRunning) RunLoops();
        if (program == Program::InertiaTest) RunInertiaTest();
        if (logging && !logSettings.fastLoop) Log();
        if (scope.Running() && !scope.FastLoop()) ScopeSample();
        if (std::exchange(referenceEnded, false)) EndProgram(1);
    }

    void FastLoop() {
        const std::int64_t measured = MeasureCurrent();
        values[mem::kMotorCurrent] = measured;
        Protect();
        if (slowDue) {
            slowDue = false;
            SlowLoop();
        }
        RunProgram(measured);
        if (powerOn) {
            const std::int64_t offset =
                (static_cast<std::int64_t>(cfg.gravityOffset) * cfg.gravityGain) >> 15;
            const std::int64_t u = fw::RunPi(cfg.current, currentPi, currentReference + offset - measured);
            voltageCommand = outputFilter.Run(u);
        } else {
            voltageCommand = 0;
            currentPi = {};
            outputFilter.yQ15 = 0;
        }
        values[mem::kCurrentReference] = mem::Wrap(Type::Int16, currentReference);
        values[mem::kVoltageReference] = mem::Wrap(Type::Int16, voltageCommand);
        if (logging && logSettings.fastLoop) Log();
        if (scope.Running() && scope.FastLoop()) ScopeSample();
        EndOfSample();
    }

    // The faults that are on, and the drive's own short-circuit detection,
    // latch their bits in "MER" and switch the power stage off.
    void Protect() {
        std::uint16_t bits = activeMerBits;
        if (std::fabs(axis.current) > shortCircuitLimit) bits |= kMerShortCircuit;
        if (!bits) return;
        values[mem::kMer] |= bits;
        if (powerOn) {
            PowerOff();
            if (DrivesTheMotor(program)) EndProgram(0);
        }
    }

    void PowerOff() {
        powerOn = false;
        loopsRunning = false;
        currentReference = 0;
    }

    // ---- speed and position loops ----------------------------------------

    // The speed the speed loop measures (Q16 counts per slow-loop sample):
    // a tachogenerator through its converter, else the motor sensor's
    // counts, else the load sensor's.
    std::int64_t MeasuredSpeed() const {
        if (cfg.motorSensor == fw::Sensor::Tacho) {
            const std::int64_t zero = 32736;  // the middle of the bipolar input's words
            return ((values[mem::kAd2] - zero) >> (16 - plant.drive.adcBits)) << fw::kReferenceFractionBits;
        }
        return cfg.motorSensor == fw::Sensor::None ? values[mem::kAspdLd] : values[mem::kAspdMt];
    }

    void BeginLoops(fw::ControlMode mode) {
        const bool position =
            mode == fw::ControlMode::PositionOverSpeed || mode == fw::ControlMode::PositionOverCurrent;
        loops.Start(mode, position ? values[mem::kAposLd] << fw::kReferenceFractionBits : 0);
        loops.SetCurrentLimit(0);
        loops.SetSpeedLimit(0);
        loopsRunning = true;
        UpdateLoopValues();
    }

    void UpdateLoopValues() {
        values[mem::kTargetPosition] =
            mem::Wrap(Type::Int32, (loops.TargetPosition() + (1 << 15)) >> fw::kReferenceFractionBits);
        values[mem::kPositionError] =
            mem::Wrap(Type::Int32, (loops.PositionError() + (1 << 15)) >> fw::kReferenceFractionBits);
        values[mem::kSpeedReference] = mem::Wrap(Type::Fixed, loops.SpeedReference());
    }

    // One slow-loop sample of the speed and position loops: the current
    // reference for the fast loop, and a control error switching the power
    // stage off.
    void RunLoops() {
        fw::Feedback feedback;
        feedback.position = values[mem::kAposLd];
        feedback.speed = MeasuredSpeed();
        currentReference = loops.Run(cfg, feedback);
        values[mem::kCurrentReference] = mem::Wrap(Type::Int16, currentReference);
        UpdateLoopValues();
        if (loops.ControlError()) {
            values[mem::kMer] |= kMerControlError;
            EndProgram(0);
            return;
        }
        // The program ends once this sample is logged, so that a record
        // holds the cycle's last sample.
        if (FollowsReference(program) && loops.Ref().Ended()) referenceEnded = true;
    }

    bool MayPowerOn() const { return activeMerBits == 0 && (values[mem::kMer] & kMerShortCircuit) == 0; }

    // ---- test programs ---------------------------------------------------

    void BeginProgram(Program p) {
        program = p;
        referenceEnded = false;
        programSample = 0;
        busSum = 0.0;
        values[mem::kMer] = activeMerBits;
        values[mem::kStarted] = 0;
        values[mem::kTestFlag] = 0;
        currentReference = 0;
        switch (p) {
            case Program::CurrentTest:
            case Program::VdcTest:
                if (!MayPowerOn()) {
                    // The power stage cannot be switched on: the program
                    // ends at once and "MER" says why.
                    EndProgram(0);
                    return;
                }
                powerOn = true;
                currentPi = {};
                outputFilter.yQ15 = 0;
                if (p == Program::VdcTest) values[mem::kStarted] = 1;
                break;
            case Program::AnalogueTest:
                values[mem::kStarted] = 1;
                break;
            case Program::EncoderTest:
            case Program::SsiEncoderTest:
                values[mem::kVarI2] = 0;
                values[mem::kStarted] = 1;
                break;
            case Program::SpeedTest:
            case Program::PositionOverSpeedTest:
            case Program::PositionOverCurrentTest:
                BeginProfileTest(p);
                break;
            case Program::InertiaTest:
                BeginInertiaTest();
                break;
            case Program::Motion:
            case Program::None:
                break;
        }
    }

    // The speed and position tests: the loops along the profile of "a0" to
    // "a5" (samples) and "b0" to "b5" (increments per sample, 16.16), once or
    // until Stop ("MultiC"), the current within the test's limit: "LimitSpeed"
    // (the speed controller's output limit) over the speed loop, else
    // "IlimPS_Test".
    void BeginProfileTest(Program p) {
        std::vector<fw::Segment> segments;
        for (std::size_t i = 0; i < 6; ++i)
            segments.push_back({static_cast<std::uint32_t>(values[mem::kA0 + i]), values[mem::kB0 + i]});
        fw::ControlMode mode = fw::ControlMode::Speed;
        std::int64_t currentLimit = values[mem::kIlimPSTest];
        if (p == Program::PositionOverSpeedTest) {
            mode = fw::ControlMode::PositionOverSpeed;
            currentLimit = values[mem::kLimitSpeed];
        } else if (p == Program::PositionOverCurrentTest) {
            mode = fw::ControlMode::PositionOverCurrent;
        }
        if (!BeginMotion(mode, std::move(segments), values[mem::kMultiC] != 0,
                         std::max<std::int64_t>(currentLimit, 0))) {
            EndProgram(0);
            return;
        }
        // A slow-loop record begins with the axis at rest, before the
        // reference's first step.
        if (logging && !logSettings.fastLoop) Log();
        values[mem::kStarted] = 1;
        // The flag says how the run goes while it runs: positive until a
        // protection ends it.
        values[mem::kTestFlag] = 1;
    }

    // The inertia test: the test current "In1" up to the speed "LimitSpeedMax"
    // and reversed back to rest; "delta_time" and "delta_speed" at the end.
    void BeginInertiaTest() {
        values[mem::kDeltaTime] = 0;
        values[mem::kDeltaSpeed] = 0;
        if (!MayPowerOn()) {
            EndProgram(0);
            return;
        }
        powerOn = true;
        loopsRunning = false;
        currentPi = {};
        outputFilter.yQ15 = 0;
        const double slowPeriod = period * static_cast<double>(cfg.slowDivider);
        inertia.Start(values[mem::kLimitSpeedMax] * (std::int64_t{1} << fw::kReferenceFractionBits),
                      std::llround(kInertiaPatience / slowPeriod));
        inertiaSign = 1;
        inertiaTrim = 0;
        currentReference = values[mem::kIn1];
        values[mem::kStarted] = 1;
    }

    void RunInertiaTest() {
        const int sign = inertia.Step(MeasuredSpeed());
        if (sign != 0) {
            // Reversed, the back-EMF ramps the other way.
            if (sign != inertiaSign) inertiaTrim = -inertiaTrim;
            inertiaSign = sign;
            return;
        }
        values[mem::kDeltaTime] = mem::Wrap(Type::Int32, inertia.DeltaTime());
        values[mem::kDeltaSpeed] = mem::Wrap(Type::Fixed, inertia.DeltaSpeed());
        EndProgram(1);
    }

    // Switches the power stage on and runs the loops in `mode` along a
    // piecewise-linear reference: what a motion test program does once it
    // has read its variables. False when a fault keeps the power stage off
    // ("MER" says which).
    bool BeginMotion(fw::ControlMode mode, std::vector<fw::Segment> segments, bool repeat,
                     std::int64_t currentLimit = 0, std::int64_t speedLimit = 0) {
        values[mem::kMer] = activeMerBits;
        if (!MayPowerOn()) return false;
        powerOn = true;
        currentPi = {};
        outputFilter.yQ15 = 0;
        currentReference = 0;
        BeginLoops(mode);
        loops.Ref().Start(std::move(segments), repeat, loops.Ref().Value());
        loops.SetCurrentLimit(currentLimit);
        loops.SetSpeedLimit(speedLimit);
        return true;
    }

    // However it ends (completed, or tripped before its motion began), a
    // program has said it started, so that a host waiting for "STARTED"
    // goes on to find the axis off and read "test_flag".
    void EndProgram(std::int64_t flag) {
        if (values[mem::kStarted] == 0) values[mem::kStarted] = 1;
        values[mem::kTestFlag] = flag;
        PowerOff();
        program = Program::None;
        logging = false;
    }

    void RunProgram(std::int64_t measured) {
        switch (program) {
            case Program::CurrentTest: {
                ++programSample;
                if (programSample == kStepSample) {
                    currentReference = values[mem::kIn1];
                    values[mem::kStarted] = 1;
                }
                const std::int64_t limit = values[mem::kImaxProtTest];
                if (measured > limit || measured < -limit) EndProgram(-1);
                break;
            }
            case Program::VdcTest:
                busSum += MeasureBus();
                if (++programSample >= kVdcSamples) {
                    values[mem::kVarU2] = std::llround(busSum / static_cast<double>(kVdcSamples));
                    EndProgram(1);
                }
                break;
            case Program::EncoderTest:
            case Program::SsiEncoderTest:
                if (values[mem::kVarI2] == 1) EndProgram(1);
                break;
            case Program::SpeedTest:
            case Program::PositionOverSpeedTest:
            case Program::PositionOverCurrentTest:
            case Program::InertiaTest: {
                // The test's over-current protection.
                const std::int64_t limit = values[mem::kImaxProtTest];
                if (measured > limit || measured < -limit) {
                    EndProgram(-1);
                    break;
                }
                if (program == Program::InertiaTest) {
                    const std::int64_t target = inertiaSign * values[mem::kIn1];
                    // At most a quarter of the test current, should the supply run out.
                    const std::int64_t bound = std::abs(values[mem::kIn1]) * 16;
                    inertiaTrim = std::clamp(inertiaTrim + target - measured, -bound, bound);
                    currentReference = target + inertiaTrim / 64;
                }
                break;
            }
            default:
                break;
        }
    }

    // After the sample has been logged: a full logger ends the current test.
    void EndOfSample() {
        if (program != Program::CurrentTest) return;
        const bool full = logSettings.points > 0 && logSamples >= logSettings.points;
        const bool withoutLogger =
            logSettings.points <= 0 && programSample >= kStepSample + kCurrentTestSamples;
        if (full || withoutLogger) EndProgram(1);
    }

    // ---- logger ----------------------------------------------------------

    // Every column of the armed logger names a variable the drive has.
    bool LoggerColumnsKnown() {
        if (!ScopeChannelsKnown()) return false;
        if (!loggerArmed) return true;
        for (const Symbol& column : armed.columns) {
            if (!mem::CellAt(column.address)) {
                lastError = "the logger's column " + column.name + " is at an unknown address " +
                            std::to_string(column.address);
                return false;
            }
        }
        return true;
    }

    void StartLogger() {
        StartScope();
        logged.clear();
        logSamples = 0;
        logSettings = {};
        logging = false;
        if (!loggerArmed) return;
        loggerArmed = false;
        logSettings = armed;
        logVars.clear();
        for (const Symbol& column : logSettings.columns) logVars.push_back(mem::CellAt(column.address)->var);
        logged.reserve(static_cast<std::size_t>(std::max(0, logSettings.points)));
        logCountdown = 0;
        logging = logSettings.points > 0;
    }

    void Log() {
        if (logCountdown-- > 0) return;
        logCountdown = std::max(1, logSettings.every) - 1;
        const double samplePeriod =
            period * static_cast<double>(logSettings.fastLoop ? cfg.fastDivider : cfg.slowDivider);
        LoggedPoint point;
        point.time = static_cast<double>(logSamples) * std::max(1, logSettings.every) * samplePeriod;
        point.values.reserve(logVars.size());
        for (std::size_t i = 0; i < logVars.size(); ++i)
            point.values.push_back(mem::Wrap(logSettings.columns[i].type, ValueOf(logVars[i])));
        logged.push_back(std::move(point));
        if (++logSamples >= logSettings.points) logging = false;
    }

    // ---- oscilloscope ----------------------------------------------------

    bool ScopeChannelsKnown() {
        const ScopeSettings* armedScope = scope.Armed();
        if (!armedScope) return true;
        std::vector<ScopeChannel> used = armedScope->channels;
        if (armedScope->triggered) used.push_back(armedScope->trigger);
        for (const ScopeChannel& channel : used) {
            if (!mem::CellAt(channel.address)) {
                lastError = "the oscilloscope's channel at address " + std::to_string(channel.address) +
                            " names no variable";
                return false;
            }
        }
        return true;
    }

    void StartScope() {
        if (!scope.Armed()) return;
        const ScopeSettings& next = *scope.Armed();
        scopeVars.clear();
        for (const ScopeChannel& channel : next.channels)
            scopeVars.push_back(mem::CellAt(channel.address)->var);
        scopeTrigger = next.triggered ? mem::CellAt(next.trigger.address)->var : mem::kMer;
        scope.Start(period * static_cast<double>(cfg.fastDivider),
                    period * static_cast<double>(cfg.slowDivider));
        scopeVars.resize(std::min(scopeVars.size(), scope.Settings().channels.size()));
        scopeValues.assign(scopeVars.size(), 0);
    }

    void ScopeSample() {
        const ScopeSettings& s = scope.Settings();
        for (std::size_t i = 0; i < scopeVars.size(); ++i)
            scopeValues[i] = mem::Wrap(static_cast<Type>(s.channels[i].type), ValueOf(scopeVars[i]));
        const std::int64_t trigger =
            s.triggered ? mem::Wrap(static_cast<Type>(s.trigger.type), ValueOf(scopeTrigger)) : 0;
        scope.Sample(scopeValues.data(), trigger);
    }

    void PlantStep() {
        axis.Step(powerOn, static_cast<double>(voltageCommand) / fw::kFullScale);
        UpdateCounters();
    }
};

// ---- VirtualDrive ----------------------------------------------------------

VirtualDrive::VirtualDrive(const Plant& plant) : m_impl(std::make_unique<Impl>(plant)) {}
VirtualDrive::~VirtualDrive() = default;

const Plant& VirtualDrive::GetPlant() const { return m_impl->plant; }

void VirtualDrive::Reset() { m_impl->ResetState(); }

void VirtualDrive::Download(const std::map<std::string, std::int64_t>& registers) {
    for (const auto& [name, value] : registers) m_impl->registers[name] = value;
    m_impl->Configure();
}

std::int64_t VirtualDrive::Register(std::string_view name) const {
    const auto it = m_impl->registers.find(name);
    return it == m_impl->registers.end() ? 0 : it->second;
}

bool VirtualDrive::StartProgram(std::string_view name) {
    Impl& d = *m_impl;
    for (const ProgramName& p : kPrograms) {
        if (name != p.name) continue;
        if (!d.LoggerColumnsKnown()) return false;
        if (d.program != Program::None) d.EndProgram(0);
        d.StartLogger();
        d.BeginProgram(p.program);
        return true;
    }
    d.lastError = "no program named " + std::string(name);
    return false;
}

bool VirtualDrive::StartMotion(const Motion& motion) {
    Impl& d = *m_impl;
    if (!d.LoggerColumnsKnown()) return false;
    if (d.program != Program::None) d.EndProgram(0);
    d.StartLogger();
    d.program = Program::Motion;
    d.programSample = 0;
    d.values[mem::kStarted] = 0;
    d.values[mem::kTestFlag] = 0;
    fw::ControlMode mode = d.cfg.Mode();
    switch (motion.mode) {
        case LoopMode::Registers:
            break;
        case LoopMode::Current:
            mode = fw::ControlMode::Current;
            break;
        case LoopMode::Speed:
            mode = fw::ControlMode::Speed;
            break;
        case LoopMode::PositionOverSpeed:
            mode = fw::ControlMode::PositionOverSpeed;
            break;
        case LoopMode::PositionOverCurrent:
            mode = fw::ControlMode::PositionOverCurrent;
            break;
    }
    std::vector<fw::Segment> segments;
    segments.reserve(motion.segments.size());
    for (const ReferenceSegment& s : motion.segments) segments.push_back({s.samples, s.increment});
    if (!d.BeginMotion(mode, std::move(segments), motion.repeat, motion.currentLimit, motion.speedLimit)) {
        d.lastError = "the power stage cannot be switched on: MER " + std::to_string(d.values[mem::kMer]);
        d.EndProgram(0);
        return false;
    }
    d.values[mem::kStarted] = 1;
    return true;
}

void VirtualDrive::Stop() {
    Impl& d = *m_impl;
    d.program = Program::None;
    d.logging = false;
    d.scope.Stop();
    d.PowerOff();
}

bool VirtualDrive::AxisOn() const { return m_impl->powerOn; }

bool VirtualDrive::Read(int address, Type type, std::int64_t& raw) const {
    const mem::Cell* cell = mem::CellAt(address);
    if (!cell) {
        m_impl->lastError = "no drive variable at address " + std::to_string(address);
        return false;
    }
    raw = mem::Wrap(type, m_impl->ValueOf(cell->var));
    return true;
}

bool VirtualDrive::Write(int address, Type type, std::int64_t raw) {
    Impl& d = *m_impl;
    const mem::Cell* cell = mem::CellAt(address);
    if (!cell) {
        d.lastError = "no drive variable at address " + std::to_string(address);
        return false;
    }
    if (!cell->writable) {
        d.lastError = std::string(cell->name) + " is read-only";
        return false;
    }
    const std::int64_t value = mem::Wrap(cell->type, mem::Wrap(type, raw));
    if (mem::IsGainRegister(cell->var)) {
        d.registers[cell->name] = value;
        d.RetuneLoops();
        return true;
    }
    switch (cell->var) {
        case mem::kAposMt: {
            // Sets the counter: the next counts go on from the new value.
            const bool reversed = d.cfg.motorReversed != d.plant.encoder.reversed;
            const std::int64_t rawCount = d.RawMotorCount();
            d.motorOffset = reversed ? rawCount + value : rawCount - value;
            d.lastMotorCount = value;
            d.UpdateCounters();
            return true;
        }
        case mem::kAposLd:
        case mem::kApos: {
            const bool reversed = d.cfg.loadReversed != d.plant.encoder.loadReversed;
            const std::int64_t rawCount = d.RawLoadCount();
            d.loadOffset = reversed ? rawCount + value : rawCount - value;
            d.lastLoadCount = value;
            d.UpdateCounters();
            return true;
        }
        case mem::kMer:
            // Writing clears the bits of the faults that are gone.
            d.values[mem::kMer] = value | d.activeMerBits;
            return true;
        default:
            d.values[cell->var] = value;
            return true;
    }
}

void VirtualDrive::AdvanceTo(double t) {
    Impl& d = *m_impl;
    // A step is taken when it ends no later than t (within a rounding error).
    const double slack = d.period * 1e-6;
    while (d.time + d.period <= t + slack) d.Step();
}

double VirtualDrive::Now() const { return m_impl->time; }

void VirtualDrive::ArmLogger(const LoggerSettings& settings) {
    m_impl->armed = settings;
    m_impl->loggerArmed = true;
}

const std::vector<LoggedPoint>& VirtualDrive::Logged() const { return m_impl->logged; }

void VirtualDrive::ArmScope(const ScopeSettings& settings) { m_impl->scope.Arm(settings); }

bool VirtualDrive::ScopeRunning() const { return m_impl->scope.Running(); }

std::vector<std::vector<std::uint16_t>> VirtualDrive::TakeMessages() { return m_impl->scope.Take(); }

void VirtualDrive::TurnShaft(bool load, double radians, double seconds) {
    Impl& d = *m_impl;
    if (d.plant.shaftBlocked) {
        d.lastError = "the shaft is blocked";
        return;
    }
    const double motorRadians = load ? radians * d.plant.load.ratio : radians;
    if (!std::isfinite(motorRadians) || !std::isfinite(seconds)) return;
    d.axis.Turn(motorRadians, seconds);
    d.UpdateCounters();
}

void VirtualDrive::SetAnalogueInput(double volts) { m_impl->plant.analogueReference = volts; }

void VirtualDrive::SetSupply(double volts) {
    if (volts >= 0.0 && std::isfinite(volts)) m_impl->plant.supplyVoltage = volts;
}

void VirtualDrive::SetBlocked(bool blocked) {
    m_impl->plant.shaftBlocked = blocked;
    if (blocked) m_impl->axis.speed = 0.0;
}

void VirtualDrive::SetFault(Fault fault, bool on) {
    Impl& d = *m_impl;
    d.faults[static_cast<int>(fault)] = on;
    d.activeMerBits = 0;
    for (int i = 0; i < kFaultCount; ++i)
        if (d.faults[i]) d.activeMerBits |= MerBit(static_cast<Fault>(i));
    d.values[mem::kMer] |= d.activeMerBits;
}

bool VirtualDrive::FaultOn(Fault fault) const { return m_impl->faults[static_cast<int>(fault)]; }

Status VirtualDrive::GetStatus() const {
    const Impl& d = *m_impl;
    Status s;
    s.time = d.time;
    s.motorAngle = d.axis.angle;
    s.loadAngle = d.axis.angle / d.plant.load.ratio;
    s.motorSpeed = d.axis.speed;
    s.current = d.axis.current;
    s.supply = d.plant.supplyVoltage;
    s.axisOn = d.powerOn;
    for (const ProgramName& p : kPrograms)
        if (p.program == d.program) s.program = p.name;
    s.mer = static_cast<std::uint16_t>(d.values[mem::kMer]);
    return s;
}

std::string VirtualDrive::LastError() const { return m_impl->lastError; }

}  // namespace vdrive
