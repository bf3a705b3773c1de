#include "options/LoopOptions.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "conversions/Conventions.h"
#include "conversions/Names.h"
#include "kx/ListControl.h"

namespace dcdrive {

using namespace names;

namespace {

constexpr int kAcrSpeedForwardBit = 14;

constexpr const char* kYes = "1";
constexpr const char* kNo = "0";

// Which loops the drive closes, by control mode.
struct ClosedLoops {
    const char* position;
    const char* speed;
    const char* current;
};

// False for a control mode (or position control type) that the drive does
// not know; the setup's options must then stay as they are.
bool ClosedLoopsOf(const CKX_Setup& setup, ClosedLoops& loops) {
    switch (ControlModeOf(setup)) {
        case ControlMode::Position:
            switch (Code(setup, kPositionControlType)) {
                case 0:  // directly over the current loop
                    loops = {kYes, kNo, kYes};
                    return true;
                case 1:  // over the speed loop
                    loops = {kYes, kYes, kYes};
                    return true;
                default:
                    return false;
            }
        case ControlMode::Speed:
            loops = {kNo, kYes, kYes};
            return true;
        case ControlMode::Torque:
            loops = {kNo, kNo, kYes};
            return true;
        default:
            return false;
    }
}

// "<sensor> on <connector>" in the host's names.
std::string Describe(const CKX_Setup& setup, SensorType sensor, int connector) {
    return setup.GetSensorName(ToInt(sensor)) + " on " + setup.GetFeedbackName(connector);
}

// A line of the drive's sensor list: the connector's display name, then
// attribute tokens. The connector can take a digital reference when a token
// "N,..." has N = 1.
bool ReadSensorLine(const std::string& line, std::string& displayName) {
    std::size_t pos = 0;
    if (!ReadEscapedStringFromConfigLine(line, pos, displayName)) return false;
    bool capable = false;
    std::string token;
    while (ReadEscapedStringFromConfigLine(line, pos, token)) {
        const std::size_t comma = token.find(',');
        // strtol rather than atoi: the same reading, with no overflow.
        if (comma != std::string::npos && std::strtol(token.substr(0, comma).c_str(), nullptr, 10) == 1)
            capable = true;
    }
    return capable;
}

}  // namespace

int ComputeLoopOptions(CKX_Setup& setup) {
    ClosedLoops loops{};
    if (!ClosedLoopsOf(setup, loops)) return 0;
    setup.SetOption(kIsClosedPosition, loops.position);
    setup.SetOption(kIsClosedSpeed, loops.speed);
    setup.SetOption(kIsClosedCurrent, loops.current);

    const double motorType = Value(setup, kMotorSensorType);
    const double loadType = Value(setup, kLoadSensorType);
    const auto motor = CodeAs<SensorType>(motorType);
    const auto load = CodeAs<SensorType>(loadType);
    const int motorConnector = Code(setup, kMotorSensorConnector);
    const int loadConnector = Code(setup, kLoadSensorConnector);

    setup.SetOption(kLoadPosition,
                    load == SensorType::None ? "" : Describe(setup, load, loadConnector).c_str());
    const std::string motorSensor = motor == SensorType::None ? "" : Describe(setup, motor, motorConnector);
    const bool measuresSpeedOnly = motor == SensorType::Tachogenerator;
    setup.SetOption(kMotorPosition, measuresSpeedOnly ? "" : motorSensor.c_str());
    setup.SetOption(kMotorSpeed, measuresSpeedOnly ? motorSensor.c_str() : "");

    setup.SetOption(kisPositionFeedbackOnLoad, IsExactly(loadType, SensorType::None) ? kNo : kYes);
    // The sensor types are compared as numbers here: a fractional code
    // describes no sensor the drive knows and leaves both flags alone.
    const char* positionOnMotor = nullptr;
    const char* speedFeedback = nullptr;
    const auto motorIs = [motorType](SensorType type) { return IsExactly(motorType, type); };
    if (motorIs(SensorType::Tachogenerator)) {
        positionOnMotor = kNo;
        speedFeedback = kYes;
    } else if (motorIs(SensorType::IncrementalEncoder) || motorIs(SensorType::SineCosineEncoder) ||
               motorIs(SensorType::SsiEncoder) || motorIs(SensorType::BissEncoder)) {
        positionOnMotor = kYes;  // any encoder on the motor measures its position
        speedFeedback = kNo;
    } else if (motorIs(SensorType::None)) {
        positionOnMotor = kNo;
        speedFeedback = kNo;
    }
    if (positionOnMotor) {
        setup.SetOption(kisPositionFeedbackOnMotor, positionOnMotor);
        setup.SetOption(kisSpeedFeedback, speedFeedback);
    }
    return 1;
}

int UpdateSpeedForward(CKX_Setup& setup) {
    const auto p = Require(setup, kSpeedForward, kControlMode, kPositionControlType, kACR);
    if (!p) return 0;
    const auto [speedForward, mode, positionType, acr] = *p;
    // A position loop over the speed loop feeds the speed loop itself.
    if (IsExactly(mode->GetValueInBaseUnit(), ControlMode::Position) &&
        positionType->GetValueInBaseUnit() == 1.0)
        return 1;
    WriteInternal(*speedForward, 1.0);
    WriteBase(*acr, WithBit(TruncateToInt32(acr->GetValueInBaseUnit()), kAcrSpeedForwardBit, true));
    return 1;
}

void SelectDigitalReferenceConnector(CKX_Setup& setup, CKX_ListControl* list, int& noneAvailable) {
    const std::vector<std::string> lines = setup.GetDLSensorsArray();
    const SensorType motor = MotorSensorOf(setup);
    const SensorType load = LoadSensorOf(setup);
    const int motorConnector = Code(setup, kMotorSensorConnector);
    const int loadConnector = Code(setup, kLoadSensorConnector);
    const int current = Code(setup, kDigitalReferenceConnector);
    const int analogue = Code(setup, kisAnalogueReference);
    noneAvailable = 1;
    int candidates = 0;
    bool currentFound = false;
    int lastCandidate = -1;

    // A tachogenerator is read through an analogue input and leaves its
    // connector free; any sensor on the load takes its connector, whatever
    // the motor has.
    const bool motorTakesConnector = motor != SensorType::None && motor != SensorType::Tachogenerator;
    const bool loadTakesConnector = load != SensorType::None;
    std::string name;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const int i = static_cast<int>(n);
        const bool taken =
            (motorTakesConnector && motorConnector == i) || (loadTakesConnector && loadConnector == i);
        if (taken || !ReadSensorLine(lines[n], name)) continue;
        ++candidates;
        if (list) {
            lastCandidate = list->AddItem(name.c_str());
            if (lastCandidate >= 0) {
                list->SetItemData(lastCandidate, i);
                if (i == current) list->SelectItem(lastCandidate);
            }
        } else {
            lastCandidate = i;
        }
        // The present connector qualifies and stays, also when the list
        // could not show it.
        if (i == current) currentFound = true;
    }

    if (candidates > 0) {
        noneAvailable = 0;
        if (!currentFound && lastCandidate >= 0) {
            int chosen = lastCandidate;
            if (list) {
                list->SelectItem(lastCandidate);
                chosen = list->GetItemData(lastCandidate);
            }
            if (CKX_Parameter* connector = Probe(setup, kDigitalReferenceConnector))
                WriteBase(*connector, chosen);
        }
    }
    // With no digital input left, the reference can only be analogue.
    if (noneAvailable == 1 && analogue == 0) {
        if (CKX_Parameter* flag = Probe(setup, kisAnalogueReference)) WriteBase(*flag, 1.0);
    }
}

}  // namespace dcdrive
