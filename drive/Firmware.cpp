#include "Firmware.h"

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

}  // namespace

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
