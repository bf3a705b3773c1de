// The enumerations that the setup holds as numbers, named once for the
// converters, the options, the command line and the dialogs. The values are
// the ones stored in the parameters; a setup may hold any other number, which
// reads as a value outside the listed ones (every switch over them has a
// default).
#pragma once

#include <array>

namespace dcdrive {

// "ControlMode": the loop that the reference drives.
enum class ControlMode : int { Position = 0, Speed = 1, Torque = 2 };

// "MotorSensorType" and "LoadSensorType".
enum class SensorType : int {
    None = 0,
    IncrementalEncoder = 1,
    Tachogenerator = 2,
    SineCosineEncoder = 3,
    SsiEncoder = 4,
    BissEncoder = 5,
};

// "TransmissionType": the load moves on a circle or along a line.
enum class TransmissionType : int { RotaryToRotary = 0, RotaryToLinear = 1 };

// "BQFilterLocation%d": where a biquad sits in the control cascade. The chain
// holds the filters of the position controller's output first, then the speed
// controller's output, then the speed feedback.
enum class FilterLocation : int {
    PositionControllerOutput = 0,
    SpeedControllerOutput = 1,
    SpeedFeedback = 2
};
inline constexpr std::array<FilterLocation, 3> kFilterLocations = {FilterLocation::PositionControllerOutput,
                                                                   FilterLocation::SpeedControllerOutput,
                                                                   FilterLocation::SpeedFeedback};

// The number the setup stores for a code.
template <class E>
constexpr int ToInt(E code) noexcept {
    return static_cast<int>(code);
}

// Serial absolute encoders (SSI and BiSS) share their parameters.
constexpr bool IsSerialEncoder(SensorType type) noexcept {
    return type == SensorType::SsiEncoder || type == SensorType::BissEncoder;
}

// The encoders whose pulses the encoder channels count.
constexpr bool IsCountedEncoder(SensorType type) noexcept {
    return type == SensorType::IncrementalEncoder || type == SensorType::SineCosineEncoder;
}

}  // namespace dcdrive
