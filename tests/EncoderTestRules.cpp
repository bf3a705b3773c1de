#include "EncoderTestRules.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "conversions/Conventions.h"
#include "conversions/Names.h"

namespace dcdrive {

using namespace names;

namespace {

EncoderSide SideOf(const CKX_Setup& setup, SensorType sensor, const char* lines, const char* fract) {
    EncoderSide side;
    side.sensor = sensor;
    side.lines = CodeOr(setup, lines, 0);
    if (sensor == SensorType::SineCosineEncoder) side.interpolationBits = CodeOr(setup, fract, 0);
    return side;
}

}  // namespace

EncoderSide MotorEncoderOf(const CKX_Setup& setup) {
    return SideOf(setup, MotorSensorOf(setup), kNo_encoder_lines, kSINCOS_fract);
}

EncoderSide LoadEncoderOf(const CKX_Setup& setup) {
    return SideOf(setup, LoadSensorOf(setup), kNo_encoder_lines_LD, kSINCOS_fract_LD);
}

std::uint32_t CounterPhase(std::int64_t position, std::int64_t modulus) {
    if (modulus == 0) return 0;
    if (modulus < 0) modulus = -modulus;
    const std::int64_t r = position % modulus;
    return static_cast<std::uint32_t>(r < 0 ? r + modulus : r);
}

std::uint32_t IncrementalPhase(std::int64_t position, int lines) {
    return CounterPhase(position, 4 * static_cast<std::int64_t>(lines));
}

double EncoderShaftAngle(double position, const EncoderSide& side) {
    const int bits = std::clamp(side.interpolationBits, 0, 30);
    const double n = static_cast<double>(side.lines) * std::ldexp(1.0, bits);
    if (!IsDivisor(n)) return 0.0;
    return position * std::numbers::pi / n * 0.5;
}

void PhaseWatch::Restart() {
    m_phase = 0;
    m_started = false;
    m_pulses = false;
}

bool PhaseWatch::Take(std::uint32_t phase) {
    const bool first = !m_started;
    m_started = true;
    if (phase == m_phase) return false;
    m_phase = phase;
    if (phase != 0 && !first) m_pulses = true;
    return true;
}

SerialEncoderSource SerialEncoderSourceOf(const CKX_Setup& setup) {
    const bool motorSerial = IsSerialEncoder(MotorSensorOf(setup));
    const bool loadSerial = IsSerialEncoder(LoadSensorOf(setup));
    SerialEncoderSource source;
    source.load = !motorSerial;
    source.counter = motorSerial ? kAPOS_MT : kAPOS_LD;
    // A load encoder's own resolution scales its counter; with serial
    // encoders on both sides the motor's counter is read, with the motor's.
    const bool loadBits = loadSerial && !motorSerial;
    source.bits = CodeOr(setup, loadBits ? kSSI_No_Bits_Revolution_LD : kSSI_No_Bits_Revolution, 0);
    return source;
}

std::int64_t SerialEncoderRange(int bits) { return std::int64_t{1} << std::clamp(bits, 0, 31); }

double SerialShaftAngle(double position, std::int64_t range) {
    return 2.0 * position * std::numbers::pi / static_cast<double>(range);
}

const char* SerialEncoderPurpose(const CKX_Setup& setup) {
    return CodeOr(setup, kSSITYPE, 1) == 2 ? kBissEncoderTestPurpose : kSsiEncoderTestPurpose;
}

}  // namespace dcdrive
