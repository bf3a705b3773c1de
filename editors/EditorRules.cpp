#include "EditorRules.h"

#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <string_view>

#include "conversions/Capabilities.h"
#include "conversions/Conventions.h"
#include "conversions/Derived.h"
#include "conversions/Gains.h"
#include "conversions/Io.h"
#include "conversions/Names.h"
#include "options/LoopOptions.h"

namespace dcdrive {
namespace {

using namespace names;

// A code or flag of the setup; an absent one reads 0 without a message (the
// drive variants differ in what they have).
int Flag(const CKX_Setup& setup, const char* name) { return CodeOr(setup, name, 0); }

// ---- the gain write-back table: registers written in order, then the gain re-read

struct GainWriteBack {
    const char* gain;
    std::initializer_list<Converter> writes;
    Converter read;
};

const GainWriteBack kGainWriteBacks[] = {
    {kKp_C_scl,
     {WriteMantissaOf<kCurrentProportionalGain>, WriteShiftOf<kCurrentProportionalGain>},
     ReadGainOf<kCurrentProportionalGain>},
    {kKi_C_scl,
     {WriteMantissaOf<kCurrentIntegralGain>, WriteShiftOf<kCurrentIntegralGain>},
     ReadGainOf<kCurrentIntegralGain>},
    {kKi_P_scl,
     {WriteShiftOf<kPositionIntegralGain>, WriteMantissaOf<kPositionIntegralGain>},
     ReadGainOf<kPositionIntegralGain>},
    {kKp_P_scl,
     {WriteShiftOf<kPositionProportionalGain>, WriteMantissaOf<kPositionProportionalGain>},
     ReadGainOf<kPositionProportionalGain>},
    {kKd_P_scl,
     {WriteShiftOf<kPositionDerivativeGain>, WriteMantissaOf<kPositionDerivativeGain>},
     ReadGainOf<kPositionDerivativeGain>},
    {kKi_S_scl,
     {WriteShiftOf<kSpeedIntegralGain>, WriteMantissaOf<kSpeedIntegralGain>},
     ReadGainOf<kSpeedIntegralGain>},
    {kKp_S_scl,
     {WriteShiftOf<kSpeedProportionalGain>, WriteMantissaOf<kSpeedProportionalGain>},
     ReadGainOf<kSpeedProportionalGain>},
    {kKFFA_scl,
     {WriteAccelerationFeedforwardExtraShift, WriteAccelerationFeedforwardMantissa,
      WriteAccelerationFeedforwardShift},
     ReadAccelerationFeedforward},
    {kKFFS_scl,
     {WriteShiftOf<kSpeedFeedforwardGain>, WriteMantissaOf<kSpeedFeedforwardGain>},
     ReadGainOf<kSpeedFeedforwardGain>},
};

// Control lists of the drive setup editor.
const std::vector<unsigned> kSpeedFeedforward{3187, 3183, 3394, 3188, 3395};
const std::vector<unsigned> kPositionFeedforward{3204, 3197, 3196, 3206, 3205};

std::vector<unsigned> Range(unsigned first, unsigned last) {
    std::vector<unsigned> ids;
    for (unsigned id = first; id <= last; ++id) ids.push_back(id);
    return ids;
}

std::vector<unsigned> Join(std::initializer_list<std::vector<unsigned>> parts) {
    std::vector<unsigned> ids;
    for (const auto& part : parts) ids.insert(ids.end(), part.begin(), part.end());
    return ids;
}

ControlRule Enable(std::vector<unsigned> ids, bool on) {
    return {ControlRule::Action::Enable, std::move(ids), on, {}};
}
ControlRule Show(std::vector<unsigned> ids, bool on) {
    return {ControlRule::Action::Show, std::move(ids), on, {}};
}

// A tachogenerator alone gives no position.
bool PositionAllowed(const CKX_Setup& setup) {
    return !(CodeAs<SensorType>(ValueOr(setup, kMotorSensorType, 0.0)) == SensorType::Tachogenerator &&
             CodeAs<SensorType>(ValueOr(setup, kLoadSensorType, 0.0)) == SensorType::None);
}

ControlMode Mode(const CKX_Setup& setup) { return CodeAs<ControlMode>(ValueOr(setup, kControlMode, 0.0)); }

}  // namespace

bool WriteBackGain(CKX_Setup& setup, const char* name) {
    for (const GainWriteBack& row : kGainWriteBacks) {
        if (!NamesEqual(row.gain, name)) continue;
        for (Converter write : row.writes) write(setup);
        row.read(setup);
        return true;
    }
    return false;
}

std::vector<ControlRule> DriveSetupDisplayRules(const CKX_Setup& setup) {
    const ControlMode mode = Mode(setup);
    const int pct = Flag(setup, kPositionControlType);
    const int fastLoop = Flag(setup, kPosSpd_in_FastLoop);
    const bool position = mode == ControlMode::Position, speed = mode == ControlMode::Speed,
               torque = mode == ControlMode::Torque;
    const bool speedClosed = speed || (position && pct == 1);
    const bool positionAllowed = PositionAllowed(setup);
    std::vector<ControlRule> rules;
    // 1. A tachogenerator alone cannot give position.
    rules.push_back(Enable({1059}, positionAllowed));
    // 2 to 4: the controller groups.
    rules.push_back(Enable({3172, 3174, 3175, 3173, 3176, 3137}, true));
    rules.push_back(
        Enable({3177, 3184, 3185, 3186, 3187, 3179, 3180, 3181, 3183, 3182, 3188, 3178}, speedClosed));
    rules.push_back(
        Enable(Join({{3189, 3199}, Range(3200, 3204), {3205, 3206}, Range(3190, 3194), {3196, 3195, 3198}}),
               position));
    // 5. The load speed limit.
    rules.push_back(Enable({1101, 1043, 1044}, !torque));
    rules.push_back(Show({1101, 1043, 1044}, speedClosed));
    rules.push_back(Enable({3197}, speedClosed));
    // 6. The feedforward lists.
    if (!HasSpeedForward(setup)) {
        rules.push_back(Show({3394, 3395}, false));
    } else if (fastLoop == 0) {
        if (speed) {
            rules.push_back(Show(kSpeedFeedforward, true));
            rules.push_back(Enable(kSpeedFeedforward, true));
            rules.push_back(Show(kPositionFeedforward, false));
        } else if (position) {
            rules.push_back(Show(kSpeedFeedforward, false));
            rules.push_back(Show(kPositionFeedforward, true));
            rules.push_back(Enable(kPositionFeedforward, true));
        } else {
            rules.push_back(Show(kSpeedFeedforward, false));
            rules.push_back(Show(kPositionFeedforward, false));
        }
    } else {
        rules.push_back(Show(kSpeedFeedforward, false));
        rules.push_back(Show(kPositionFeedforward, false));
    }
    // 7. Motor over temperature needs the motor's sensor.
    rules.push_back(Enable({3232}, setup.GetIntOption(kDisableMotorTemperature) == 0 &&
                                       Flag(setup, kisMotorTemperatureSensor) == 1));
    // 8. The brake resistor's level.
    const bool brakeOffered = setup.GetIntOption(kOptDisableBrake) != 1;
    rules.push_back(Enable({3246, 3244, 3245}, Flag(setup, kisBrakeResistor) == 1 && brakeOffered));
    // 9. The enable input's polarity.
    rules.push_back(Show({3248, 1046, 1047}, setup.GetIntOption(kOptHideEnablePolarity) != 1));
    // 10. Software limits.
    const bool swlsAllowed = Exists(setup, kisSWLS) && positionAllowed;
    rules.push_back(Enable({3276, 3354}, swlsAllowed));
    rules.push_back(Enable(Range(3270, 3275), swlsAllowed && Flag(setup, kisSWLS) == 1));
    // 11. Position range.
    const bool hasRange = Exists(setup, kPOSRANGEDEF);
    rules.push_back(Enable({3278, 3352}, hasRange));
    rules.push_back(Enable(Range(3279, 3284), hasRange && Flag(setup, kisPosRange) == 1));
    // 12. The external reference's set-up.
    rules.push_back(Enable({3208, 3116}, Flag(setup, kExternalReference) == 1));
    // 13. Over current and I2t values.
    rules.push_back(Enable(Join({{3234, 3235}, Range(3214, 3217)}), Flag(setup, kisOverCurrent) == 1));
    rules.push_back(Enable(Join({{3240, 3241}, Range(3226, 3229)}), Flag(setup, kisMotorI2t) != 0));
    // 14. Control errors: position in position mode, speed in speed mode.
    rules.push_back(Enable({3230}, position));
    rules.push_back(
        Enable({3236, 3218, 3219, 3237, 3220, 3221}, position && Flag(setup, kisPositionControlError) != 0));
    rules.push_back(Enable({3231}, speed));
    rules.push_back(
        Enable({3238, 3222, 3223, 3239, 3224, 3225}, speed && Flag(setup, kisSpeedControlError) != 0));
    // 15. What the drive saves of its CAN identity.
    if (Exists(setup, ksave_CAN_baudrate) && Exists(setup, ksave_axis_id)) {
        rules.push_back(Enable({10023, 10021}, Flag(setup, ksave_CAN_baudrate) == 1));
        rules.push_back(Enable({3277, 3136}, Flag(setup, ksave_axis_id) == 1));
    } else {
        rules.push_back(Show({3378, 3379}, false));
    }
    // 16. The digital reference kind.
    rules.push_back({ControlRule::Action::Text, {3318}, false, DigitalReferenceCaption(setup)});
    // 17. Motion-complete settings in position mode.
    rules.push_back(
        Show({3285, 3563, 3564, 3565, 3566, 3559, 3554, 3555, 3560, 3556, 3557},
             HasMotionCompleteSettings(setup) && Flag(setup, kMotionCompleteType) == 0 && position));
    return rules;
}

InputTypeDisplay DriveSetupInputType(const CKX_Setup& setup) {
    InputTypeDisplay shown;
    const bool hasType = Exists(setup, kInputsPolarityType);
    const int programmable = setup.GetOptionNoError(kOptIsInputsTypeProgrammable).empty()
                                 ? -1
                                 : setup.GetIntOption(kOptIsInputsTypeProgrammable);
    shown.radiosEnabled = hasType && programmable == 1;
    if (programmable == -1) {
        shown.setsRadios = true;
        shown.sink = setup.GetDescription().find("QZ") != std::string::npos;
    } else if (!hasType) {
        shown.setsRadios = true;
        shown.sink = BitOf(ValueOr(setup, kASR, 0.0), 2) == 0;
    } else {
        shown.sink = Flag(setup, kInputsPolarityType) == 1;
    }
    shown.captions = shown.sink ? kSinkCaptions : kSourceCaptions;
    return shown;
}

const char* DigitalReferenceCaption(const CKX_Setup& setup) {
    return Flag(setup, kDigitalReferenceType) == 0 ? "Pulse && Direction" : "Incremental Encoder";
}

std::vector<std::string> AxisIdItems() {
    std::vector<std::string> items;
    for (int id = 1; id <= 255; ++id) items.push_back(std::to_string(id));
    items.emplace_back("H/W");
    return items;
}

int AxisIdItemIndex(double value) {
    const int id = TruncateToInt32(value);
    if (id == 0) return 255;
    return id >= 1 && id <= 255 ? id - 1 : -1;
}

int AxisIdFromText(const std::string& text) { return std::atoi(text.c_str()); }

bool AxisIdNeedsCANopenWarning(int itemIndex) { return itemIndex >= 127 && itemIndex <= 254; }

bool ApplyTachogeneratorRule(CKX_Setup& setup) {
    const kx::QuietLookup quiet;
    const CKX_Parameter* motor = setup.FindParameter(kMotorSensorType);
    const CKX_Parameter* load = setup.FindParameter(kLoadSensorType);
    CKX_Parameter* type = setup.FindParameter(kPositionControlType);
    if (!motor || !load || !type) return false;
    if (CodeAs<SensorType>(motor->GetValueInInternalUnit()) == SensorType::Tachogenerator &&
        CodeAs<SensorType>(load->GetValueInInternalUnit()) == SensorType::IncrementalEncoder &&
        Mode(setup) == ControlMode::Position && Flag(setup, kPositionControlType) == 0) {
        return WriteBase(*type, 1.0) == 1;
    }
    return false;
}

DriveSetupChange ApplyDriveSetupChange(CKX_Setup& setup, const char* name) {
    DriveSetupChange change;
    const std::string_view changed = name ? name : "";
    if (NamesEqual(changed, kControlMode)) {
        if (HasSpeedForward(setup)) UpdateSpeedForward(setup);
        if (Mode(setup) != ControlMode::Position) {
            WriteBase(setup, kGEARMASTER, 1.0);
            WriteBase(setup, kGEARSLAVE, 1.0);
            WriteBase(setup, kisAnalogueReference, 1.0);
            change.refreshAll = true;
            if (Flag(setup, kisFreezeControl) == 1) WriteBase(setup, kisFreezeControl, 0.0);
        }
    } else if (NamesEqual(changed, kExternalReference)) {
        if (Flag(setup, kExternalReference) == 0 && Exists(setup, kisAutoActivatedAfterPowerOn)) {
            WriteBase(setup, kisAutoActivatedAfterPowerOn, 0.0);
            change.refresh.push_back(kisAutoActivatedAfterPowerOn);
        }
    } else if (NamesEqual(changed, kNegative_SWLS)) {
        const double positive = ValueOr(setup, kPositive_SWLS, 0.0);
        if (ValueOr(setup, kNegative_SWLS, 0.0) > positive) WriteBase(setup, kNegative_SWLS, positive);
    } else if (NamesEqual(changed, kPositive_SWLS)) {
        const double negative = ValueOr(setup, kNegative_SWLS, 0.0);
        if (negative > ValueOr(setup, kPositive_SWLS, 0.0)) WriteBase(setup, kPositive_SWLS, negative);
    } else if (NamesEqual(changed, kMotionCompleteSettleBand) ||
               NamesEqual(changed, kMotionCompleteStabilizeTime)) {
        if (Exists(setup, kMotionCompleteDefaultSettings))
            WriteBase(setup, kMotionCompleteDefaultSettings, 0.0);
    }
    return change;
}

void InvertInputPolarities(CKX_Setup& setup) {
    for (const char* name : {kEnablePolarity, kLSNPolarity, kLSPPolarity}) {
        CKX_Parameter* polarity = Probe(setup, name);
        if (polarity) WriteBase(*polarity, Flag(setup, name) == 0 ? 1.0 : 0.0);
    }
}

bool WidenPositionRange(CKX_Setup& setup) {
    CKX_Parameter* minimum = Probe(setup, kPosRange_Minimum);
    CKX_Parameter* maximum = Probe(setup, kPosRange_Maximum);
    if (!minimum || !maximum) return false;
    const double s = std::fabs(PositionScale(setup));
    if (!(s > 0.0) || !std::isfinite(s)) return false;
    double lo = s * minimum->GetValueInBaseUnit();
    double hi = s * maximum->GetValueInBaseUnit();
    if (lo > hi) std::swap(lo, hi);
    if (hi - lo <= 2.0) {
        if (hi == 0.0)
            lo -= 3.0 - (hi - lo);
        else
            hi += 3.0 - (hi - lo);
    }
    bool written = false;
    if (lo / s != minimum->GetValueInBaseUnit()) written |= WriteBase(*minimum, lo / s) == 1;
    if (hi / s != maximum->GetValueInBaseUnit()) written |= WriteBase(*maximum, hi / s) == 1;
    return written;
}

std::vector<ControlRule> DriveInfoDisplayRules(const CKX_Setup& setup, bool editMode) {
    const auto on = [&](const char* flag) { return Flag(setup, flag) == 1; };
    const bool sensor = on(kisDriveTemperatureSensor);
    const bool overVoltage = on(kisOverVoltage);
    const bool underVoltage = on(kisUnderVoltage);
    const bool i2t = on(kisDriveI2t);
    const bool overTemp = on(kisDriveOverTemp);
    return {
        Enable(
            {3087, 3089, 3092, 3094, 1159, 1161, 3097, 1179, 1163, 3103, 3105, 3107, 3275, 3276, 3277, 3278},
            editMode),
        Enable({1165, 1167, 3325}, editMode && sensor),
        Enable({1169}, editMode && overVoltage),
        Enable({1171}, editMode && underVoltage),
        Enable({1173, 1175}, editMode && i2t),
        Enable({1177}, editMode && overTemp),
        Enable({1166, 1168, 3098, 3101}, sensor),
        Enable({1170, 3104}, overVoltage),
        Enable({1172, 3106}, underVoltage),
        Enable({1174, 3108, 1176, 3109}, i2t),
        Enable({1178, 3326}, overTemp),
        Enable({3114}, true),
    };
}

bool ApplyDriveTemperatureRule(CKX_Setup& setup) {
    if (Flag(setup, kisDriveTemperatureSensor) == 0 && Flag(setup, kisDriveOverTemp) == 1)
        return WriteBase(setup, kisDriveOverTemp, 0.0) == 1;
    return false;
}

bool E2ROMWordsFromText(const std::string& text, unsigned& words) {
    const long kwords = std::atol(text.c_str());
    if (kwords < 0 || kwords > 63) return false;
    words = static_cast<unsigned>(kwords) << 10;
    return true;
}

bool ApplyInertiaChoice(CKX_Setup& setup, int selection) {
    if (selection == 1) return WriteBase(setup, kJt, ValueOr(setup, kJm, 0.0) * 1.01) == 1;
    if (selection == 2) return WriteBase(setup, kisMotorInertiaUnknown, 1.0) == 1;
    return false;
}

}  // namespace dcdrive
