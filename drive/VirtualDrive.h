// The virtual drive: a brushed DC motor with its load, supply and sensors,
// driven by the drive's own fixed-point current, speed and position loops as
// the downloaded register image configures them, with its protections, the
// motion error register, the drive-resident test programs and the data
// logger. No Qt and no host headers: the host adapts it behind its drive link.
//
// Time is the drive's own: it starts at 0 after Reset and moves only when
// AdvanceTo is called, so the same plant, registers and inputs give the same
// results bit for bit.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "drive/Scope.h"

namespace vdrive {

// ---- the plant -------------------------------------------------------------

// Physical data of the axis, SI units. A plant file is JSON with these keys
// (dotted names are nested objects); see ParsePlant.
struct Plant {
    double supplyVoltage = 48.0;  // "supplyVoltage": true DC bus voltage, V
    struct Motor {
        double resistance = 1.16;      // "motor.resistance", ohm
        double inductance = 0.00033;   // "motor.inductance", H
        double torqueConstant = 0.06;  // "motor.torqueConstant", N·m/A = V·s/rad
        double inertia = 1.4e-5;       // "motor.inertia", kg·m²
    } motor;
    struct Load {
        double inertia = 1.4e-5;       // "load.inertia", kg·m² seen at the motor shaft
        double viscousFriction = 0.0;  // "load.viscousFriction", N·m·s/rad
        double coulombFriction = 0.0;  // "load.coulombFriction", N·m
        double torque = 0.0;           // "load.torque", N·m, constant
        double ratio = 1.0;            // "load.ratio": motor radians per load radian
    } load;
    bool shaftBlocked = false;  // "shaftBlocked": the motor shaft is clamped
    struct Converter {
        double offset = 0.0;     // "converter.offset": current converter offset, counts
        double noise = 0.0;      // "converter.noise": standard deviation, counts (0: off)
        std::uint32_t seed = 1;  // "converter.seed"
    } converter;
    struct Encoder {
        int lines = 500;            // "encoder.lines": motor encoder lines per revolution
        bool reversed = false;      // "encoder.reversed": A and B swapped in the wiring
        int loadLines = 500;        // "encoder.loadLines": load encoder lines per revolution
        bool loadReversed = false;  // "encoder.loadReversed"
        int ssiBits = 13;           // "encoder.ssiBits": absolute encoder bits per revolution
    } encoder;
    double tachoGain = 0.0;          // "tachoGain": V per rad/s (0: no tachogenerator)
    double analogueReference = 0.0;  // "analogueReference": V at the reference input
    struct Hardware {
        double clock = 60e6;             // "drive.clock": controller clock, Hz
        double currentRange = 10.0;      // "drive.currentRange": A at half the converter span
        double vdcMaxMeasurable = 80.0;  // "drive.vdcMaxMeasurable": V at full scale
        int adcBits = 12;                // "drive.adcBits"
        double analogueSpan = 20.0;      // "drive.analogueSpan": V over the reference input
        double shortCircuitCurrent = 0;  // "drive.shortCircuitCurrent": A (0: 2 x currentRange)
    } drive;
};

// Reads a plant file's text. Keys that are absent keep the defaults above,
// except the fixed keys supplyVoltage, motor.*, load.inertia,
// load.viscousFriction, load.coulombFriction, load.torque, shaftBlocked and
// encoder.lines, which must be present. On a missing, non-numeric or
// non-physical value (or a key it does not know) returns false and sets
// `error` to "KEY: what is wrong". A zero load inertia is physical (no load);
// a zero motor inertia, resistance or torque constant is not.
bool ParsePlant(std::string_view json, Plant& plant, std::string& error);
// The plant as a plant file (every key).
std::string PlantToJson(const Plant& plant);

// ---- faults that can be switched on and off -------------------------------

enum class Fault {
    ShortCircuit,   // MER bit 1
    ControlError,   // MER bit 3
    FeedbackError,  // MER bit 5
    LimitPositive,  // MER bit 6
    LimitNegative,  // MER bit 7
    EnableOff,      // MER bit 15: the ENABLE input reads DISABLED
    OverCurrent,    // the current converter reads beyond the protection level
    CommDown,       // every access through the link fails (the link checks it)
    NoProgram,      // the program files are missing (the host checks it)
};
// "short-circuit", "control-error", … as the dialog scripts name them.
const char* FaultName(Fault fault);
bool FaultFromName(std::string_view name, Fault& fault);

// ---- storage types of drive memory (the host's type codes) ----------------

enum class Type : int { Int16 = 1, UInt16 = 2, Int32 = 3, UInt32 = 4, Fixed = 5 };

// One symbol of a drive-resident program: the variables a test writes before
// the start and reads during and after the run.
struct Symbol {
    std::string name;
    int address = 0;
    Type type = Type::Int16;
};

// The names of the drive-resident programs and their symbol tables.
std::vector<std::string> ProgramNames();
// Empty for an unknown program.
std::vector<Symbol> ProgramSymbols(std::string_view program);

// ---- what the host and the panel see --------------------------------------

struct Status {
    double time = 0.0;        // s since reset
    double motorAngle = 0.0;  // rad
    double loadAngle = 0.0;   // rad
    double motorSpeed = 0.0;  // rad/s
    double current = 0.0;     // A
    double supply = 0.0;      // V
    bool axisOn = false;      // the power stage is switched on
    std::string program;      // running program, empty when none
    std::uint16_t mer = 0;    // motion error register
};

// What the data logger records: `points` samples, taken every `every`-th
// period of the fast (current) or slow (speed/position) loop, of the
// variables at the given addresses.
struct LoggerSettings {
    int points = 0;
    bool fastLoop = true;
    int every = 1;
    std::vector<Symbol> columns;
};

struct LoggedPoint {
    double time = 0.0;                 // s since the logger started
    std::vector<std::int64_t> values;  // raw, one per column
};

// ---- motion: the loops along a reference ----------------------------------

// What the loops control during a motion: the control mode of "ACR", or one
// a test asks for whatever the setup's mode.
enum class LoopMode { Registers, Current, Speed, PositionOverSpeed, PositionOverCurrent };

// One piece of a piecewise-linear reference: for `samples` slow-loop samples
// the reference grows by `increment` per sample, in the drive's internal
// unit of the controlled quantity (current counts, speed counts per
// slow-loop sample, position counts) with 16 fraction bits, as the drive's
// 16.16 variables hold it.
struct ReferenceSegment {
    std::uint32_t samples = 0;
    std::int64_t increment = 0;
};

struct Motion {
    LoopMode mode = LoopMode::Registers;
    // From the present position in the position modes, else from 0.
    std::vector<ReferenceSegment> segments;
    // Start the segments over when the last has ended, until Stop; else the
    // motion ends (axis off) after the last segment.
    bool repeat = false;
    // Limits of the test below those of the registers, in counts (0: the
    // registers' limits "SATS"/"SATP" alone).
    std::int64_t currentLimit = 0;
    std::int64_t speedLimit = 0;
};

class VirtualDrive {
public:
    explicit VirtualDrive(const Plant& plant);
    ~VirtualDrive();
    VirtualDrive(const VirtualDrive&) = delete;
    VirtualDrive& operator=(const VirtualDrive&) = delete;

    const Plant& GetPlant() const;

    // Power-on reset: time 0, axis off, program stopped, registers kept.
    void Reset();
    // The register image by register name (the setup's upper-case
    // parameters, whole numbers). Unknown names are kept and ignored.
    void Download(const std::map<std::string, std::int64_t>& registers);
    std::int64_t Register(std::string_view name) const;

    // Starts a drive-resident program by name (and the armed logger); false
    // (and LastError) for an unknown one or a logger column at an unknown
    // address. An active fault does not refuse the start: a program that
    // needs the power stage then ends at once with "STARTED" 1, "test_flag" 0
    // and the fault's bit in "MER", as a drive reports it. Whenever a program
    // ends, by a trip before its motion or by completing, "STARTED" is
    // nonzero.
    bool StartProgram(std::string_view name);
    // Switches the power stage on and runs the speed and position loops along
    // the reference (and the logger armed before), as the motion test
    // programs do. False (and LastError) when a fault keeps the power stage
    // off. A control error ends it with "MER" bit 3 and the axis off.
    bool StartMotion(const Motion& motion);
    // Stops any program and switches the power stage off.
    void Stop();
    bool AxisOn() const;

    // Drive memory by address (the setup's variables and the programs'
    // symbols); raw values in the storage type. False for an unknown address.
    // The loops' gain registers ("KPI", "SFTKPI", … "KFFA") are the register
    // image: a read gives the value the loops run with, a write changes it
    // (as Register then shows) and takes effect from the next loop sample.
    bool Read(int address, Type type, std::int64_t& raw) const;
    bool Write(int address, Type type, std::int64_t raw);

    // Runs the drive and the plant up to time t (s since reset); a t in the
    // past does nothing.
    void AdvanceTo(double t);
    double Now() const;

    // The data logger, armed for the next program start.
    void ArmLogger(const LoggerSettings& settings);
    // Points recorded so far (all of them once the run has ended).
    const std::vector<LoggedPoint>& Logged() const;

    // The oscilloscope, armed for the next program start. While it runs it
    // sends its frames as unsolicited messages (code kScopeFrameCode); it
    // stops at Stop, or after its record in single-shot mode.
    void ArmScope(const ScopeSettings& settings);
    bool ScopeRunning() const;
    // The unsolicited messages sent since the last call, oldest first.
    std::vector<std::vector<std::uint16_t>> TakeMessages();

    // Hands on the axis. A turn moves the shaft by the angle at a constant
    // rate over the time (at once for 0 s), whatever the motor does: the hand
    // holds the shaft, so with the power stage on the turn is a position
    // disturbance that the loops see. Turns queue; a blocked shaft does not
    // turn. Turning the load turns the motor by the angle × "load.ratio".
    void TurnShaft(bool load, double radians, double seconds);
    void SetAnalogueInput(double volts);
    void SetSupply(double volts);
    void SetBlocked(bool blocked);
    void SetFault(Fault fault, bool on);
    bool FaultOn(Fault fault) const;

    Status GetStatus() const;
    std::string LastError() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace vdrive
