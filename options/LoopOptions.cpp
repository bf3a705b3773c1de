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

// Sensor types as "MotorSensorType" and "LoadSensorType" hold them.
constexpr int kNoSensor = 0;
constexpr int kTachogenerator = 2;

double Value(const CKX_Setup& setup, const char* name) { return setup.GetParameterValueInBaseUnit(name); }
int Code(const CKX_Setup& setup, const char* name) { return TruncateToInt32(Value(setup, name)); }

// Which loops the drive closes, by control mode.
struct ClosedLoops {
    const char* position;
    const char* speed;
    const char* current;
};

// False for a control mode (or position control type) that the drive does
// not know; the setup's options must then stay as they are.
bool ClosedLoopsOf(const CKX_Setup& setup, ClosedLoops& loops) {
    switch (Code(setup, kControlMode)) {
        case 0:  // position
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
        case 1:  // speed
            loops = {kNo, kYes, kYes};
            return true;
        case 2:  // torque (current)
            loops = {kNo, kNo, kYes};
            return true;
        default:
            return false;
    }
}

// "<sensor> on <connector>" in the host's names.
std::string Describe(const CKX_Setup& setup, int sensorType, int connector) {
    return setup.GetSensorName(sensorType) + " on " + setup.GetFeedbackName(connector);
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
    const int motor = TruncateToInt32(motorType);
    const int load = TruncateToInt32(loadType);
    const int motorConnector = Code(setup, kMotorSensorConnector);
    const int loadConnector = Code(setup, kLoadSensorConnector);

    setup.SetOption(kLoadPosition, load == kNoSensor ? "" : Describe(setup, load, loadConnector).c_str());
    const std::string motorSensor = motor == kNoSensor ? "" : Describe(setup, motor, motorConnector);
    const bool measuresSpeedOnly = motor == kTachogenerator;
    setup.SetOption(kMotorPosition, measuresSpeedOnly ? "" : motorSensor.c_str());
    setup.SetOption(kMotorSpeed, measuresSpeedOnly ? motorSensor.c_str() : "");

    setup.SetOption(kisPositionFeedbackOnLoad, loadType == 0.0 ? kNo : kYes);
    // The sensor types are compared as numbers here: a fractional code
    // describes no sensor the drive knows and leaves both flags alone.
    const char* positionOnMotor = nullptr;
    const char* speedFeedback = nullptr;
    if (motorType == 2.0) {
        positionOnMotor = kNo;
        speedFeedback = kYes;
    } else if (motorType == 1.0 || motorType == 3.0 || motorType == 4.0 || motorType == 5.0) {
        positionOnMotor = kYes;  // any encoder on the motor measures its position
        speedFeedback = kNo;
    } else if (motorType == 0.0) {
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
    if (mode->GetValueInBaseUnit() == 0.0 && positionType->GetValueInBaseUnit() == 1.0) return 1;
    WriteInternal(*speedForward, 1.0);
    WriteBase(*acr, WithBit(TruncateToInt32(acr->GetValueInBaseUnit()), kAcrSpeedForwardBit, true));
    return 1;
}

void SelectDigitalReferenceConnector(CKX_Setup& setup, CKX_ListControl* list, int& noneAvailable) {
    const std::vector<std::string> lines = setup.GetDLSensorsArray();
    const int motor = Code(setup, kMotorSensorType);
    const int load = Code(setup, kLoadSensorType);
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
    const bool motorTakesConnector = motor != kNoSensor && motor != kTachogenerator;
    const bool loadTakesConnector = load != kNoSensor;
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
