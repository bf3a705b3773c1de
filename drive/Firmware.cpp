#include "Firmware.h"

#include <algorithm>

namespace vdrive::fw {

namespace {

using Registers = std::map<std::string, std::int64_t, std::less<>>;

std::int64_t Get(const Registers& registers, std::string_view name, std::int64_t absent) {
    const auto it = registers.find(name);
    return it == registers.end() ? absent : it->second;
}

std::int32_t Word(const Registers& registers, std::string_view name, std::int32_t absent) {
    return static_cast<std::int32_t>(Get(registers, name, absent));
}

Gain GainOf(const Registers& registers, std::string_view mantissa, std::string_view shift) {
    return {Word(registers, mantissa, 0), Word(registers, shift, 0)};
}

// "SCR" bits 0..2 (with bit 9): a sensor alone, or the load sensor beside a
// motor sensor.
Sensor LowCodeSensor(std::int64_t code, Sensor otherwise) {
    switch (code) {
        case 0x0:
            return Sensor::Incremental;
        case 0x2:
            return Sensor::SineCosine;
        case 0x3:
            return Sensor::Ssi;
        case 0x5:
            return Sensor::Biss;
        default:
            return otherwise;
    }
}

// "SCR" bits 3..6: the motor sensor beside a load sensor.
Sensor MotorBesideLoad(std::int64_t code) {
    switch (code) {
        case 0x40:
            return Sensor::Incremental;
        case 0x08:
            return Sensor::Tacho;
        case 0x50:
            return Sensor::SineCosine;
        case 0x58:
            return Sensor::Ssi;
        case 0x68:
            return Sensor::Biss;
        default:
            return Sensor::None;
    }
}

bool Counted(Sensor sensor) { return sensor == Sensor::Incremental || sensor == Sensor::SineCosine; }

constexpr int kOsrLoadSensorBit = 12;
constexpr int kScrSecondConnectorBit = 10;
constexpr int kScrMotorConnectorBit = 11;
constexpr std::int64_t kSingleSensorNone = 0x7;

constexpr int kAcrSpeedLoopBit = 9;
constexpr int kAcrPositionBit = 10;
constexpr int kAcrSpeedForwardBit = 14;
// A control-error time register holding this switches its check off.
constexpr std::int64_t kErrorCheckOff = 65535;

ErrorCheck ErrorCheckOf(const Registers& registers, std::int64_t limit, std::string_view time) {
    const std::int64_t samples = Get(registers, time, kErrorCheckOff);
    if (samples == kErrorCheckOff || samples < 0) return {};
    return {limit, samples};
}

// The chains of biquads: the slots from 1 on, as many at each location as
// its counter says, in location order.
void ReadBiquads(const Registers& registers, Config& c) {
    constexpr const char* kCounters[kBiquadLocations] = {"SPDREF_BQ_INI", "IQREF_BQ_INI", "ASPD_BQ_INI"};
    constexpr std::int64_t kMostSlots = 64;
    constexpr std::int64_t kLargestScaleFactor = 4096;
    int slot = 1;
    for (int location = 0; location < kBiquadLocations; ++location) {
        auto& chain = c.biquads[static_cast<std::size_t>(location)];
        chain.clear();
        const std::int64_t count = std::min(Get(registers, kCounters[location], 0), kMostSlots);
        for (std::int64_t i = 0; i < count; ++i, ++slot) {
            const std::string prefix = "BQ" + std::to_string(slot);
            BiquadSlot b;
            b.b0 = Get(registers, prefix + "B0", 0);
            b.b1 = Get(registers, prefix + "B1", 0);
            b.b2 = Get(registers, prefix + "B2", 0);
            b.a1 = Get(registers, prefix + "A1", 0);
            b.a2 = Get(registers, prefix + "A2", 0);
            // The scale factor is a power of two of at least 1; the design
            // never needs more than a few bits of it.
            b.scale = std::clamp<std::int64_t>(Get(registers, prefix + "SF", 1), 1, kLargestScaleFactor);
            chain.push_back(b);
        }
    }
}

}  // namespace

ControlMode ControlModeOfAcr(std::int64_t acr) {
    const bool speedLoop = (acr >> kAcrSpeedLoopBit) & 1;
    if ((acr >> kAcrPositionBit) & 1)
        return speedLoop ? ControlMode::PositionOverSpeed : ControlMode::PositionOverCurrent;
    return speedLoop ? ControlMode::Speed : ControlMode::Current;
}

Config ConfigFromRegisters(const Registers& registers) {
    Config c;
    c.pwmPeriod = Get(registers, "PWMPER", c.pwmPeriod);
    if (c.pwmPeriod < 1) c.pwmPeriod = 1;
    c.fastDivider = Get(registers, "CLPER", c.fastDivider);
    if (c.fastDivider < 1) c.fastDivider = 1;
    c.slowDivider = Get(registers, "SLPER", c.slowDivider);
    if (c.slowDivider < 1) c.slowDivider = 1;

    c.current.kp = GainOf(registers, "KPI", "SFTKPI");
    c.current.ki = GainOf(registers, "KII", "SFTKII");

    c.speed.kp = GainOf(registers, "KPS", "SFTKPS");
    c.speed.ki = GainOf(registers, "KIS", "SFTKIS");
    c.speed.outputLimit = LimitOfSaturation(Get(registers, "SATS", 0));
    c.speed.integralLimit = LimitOfSaturation(Get(registers, "IMAXS", 0));

    c.position.pi.kp = GainOf(registers, "KPP", "SFTKPP");
    c.position.pi.ki = GainOf(registers, "KIP", "SFTKIP");
    c.position.kd = GainOf(registers, "KDP", "SFTKDP");
    c.position.derivativeFilter = Word(registers, "KDFP", kFullScale);
    c.position.pi.outputLimit = LimitOfSaturation(Get(registers, "SATP", 0));
    c.position.pi.integralLimit = LimitOfSaturation(Get(registers, "IMAXP", 0));

    c.outputFilter = Word(registers, "FILTERQ", kFullScale);
    if (c.outputFilter < 0) c.outputFilter = 0;
    c.gravityOffset = Word(registers, "FFL", 0);
    c.gravityGain = Word(registers, "KFFL", kFullScale);
    c.acr = Get(registers, "ACR", 0);

    c.speedFeedforward = GainOf(registers, "KFFS", "SFTSFFW");
    c.speedFeedforwardToCurrent = (c.acr >> kAcrSpeedForwardBit) & 1;
    c.accelerationFeedforward = {Word(registers, "KFFA", 0),
                                 Word(registers, "SFTAFFW", 0) + Word(registers, "SFTKFF", 0)};
    ReadBiquads(registers, c);
    const auto positionLimit = registers.find("ERRMAXL");
    c.positionError = ErrorCheckOf(
        registers, positionLimit != registers.end() ? positionLimit->second : Get(registers, "ERRMAX", 0),
        "TERRMAX");
    c.speedError = ErrorCheckOf(registers, Get(registers, "SERRMAX", 0), "TSERRMAX");
    c.interpolationBits = static_cast<int>(std::clamp<std::int64_t>(Get(registers, "ELRES_FRACT", 0), 0, 16));

    const bool countA = Get(registers, "COUNTINGDIR_MT", 0) == 1;
    const bool countB = Get(registers, "COUNTINGDIR_LD", 0) == 1;
    const auto scr = registers.find("SCR");
    if (scr == registers.end()) {
        c.motorSensor = Sensor::Incremental;
        c.loadSensor = Sensor::None;
        c.motorReversed = countA;
        return c;
    }
    const std::int64_t word = scr->second;
    const bool loadPresent = (Get(registers, "OSR", 0) >> kOsrLoadSensorBit) & 1;
    bool motorOnB = false;
    bool loadOnB = false;
    if (loadPresent) {
        c.motorSensor = MotorBesideLoad(word & 0x78);
        const std::int64_t loadCode = word & 0x207;
        c.loadSensor = loadCode < 8 ? LowCodeSensor(loadCode, Sensor::None) : Sensor::None;
        motorOnB = (word >> kScrMotorConnectorBit) & 1;
        loadOnB = (word >> kScrSecondConnectorBit) & 1;
    } else {
        const std::int64_t code = word & 0x207;
        c.motorSensor = code == kSingleSensorNone ? Sensor::None
                        : code >= 16              ? Sensor::Tacho
                                                  : LowCodeSensor(code, Sensor::Tacho);
        c.loadSensor = Sensor::None;
        motorOnB = (word >> kScrSecondConnectorBit) & 1;
    }
    // Two encoders on one channel count forward.
    const bool shared = Counted(c.motorSensor) && Counted(c.loadSensor) && motorOnB == loadOnB;
    c.motorReversed = !shared && (motorOnB ? countB : countA);
    c.loadReversed = !shared && (loadOnB ? countB : countA);
    return c;
}

}  // namespace vdrive::fw
