#include "Capabilities.h"

#include <initializer_list>

#include "Conventions.h"
#include "Names.h"

namespace dcdrive {

using namespace names;

namespace {

bool AllExist(const CKX_Setup& setup, std::initializer_list<const char*> parameters) {
    for (const char* name : parameters)
        if (!Exists(setup, name)) return false;
    return true;
}

}  // namespace

bool HasAnalogueReferenceScaling(const CKX_Setup& setup) {
    const kx::QuietLookup quiet;
    return setup.FindVariable(kCADIN, 1) != nullptr && setup.FindParameter(kCADIN) != nullptr;
}

bool HasSoftwareLimits(const CKX_Setup& setup) { return Exists(setup, kisSWLS); }
bool HasSpeedEstimatorParameter(const CKX_Setup& setup) { return Exists(setup, kisSpeedEstimator); }
bool HasCanIdentitySaving(const CKX_Setup& setup) {
    return AllExist(setup, {ksave_CAN_baudrate, ksave_axis_id});
}
bool HasMotorBrake(const CKX_Setup& setup) { return AllExist(setup, {kBRAKECFG, kisMotorBrake}); }
bool HasFreezeControl(const CKX_Setup& setup) { return AllExist(setup, {kPOSOKLIM_FC, kTONPOSOK_FC}); }
bool HasInputsPolarity(const CKX_Setup& setup) { return Exists(setup, kInputsPolarityType); }
bool HasMovementDirection(const CKX_Setup& setup) { return Exists(setup, kIsReverseMovementDirection); }
bool IsNegativeTransmissionAllowed(const CKX_Setup& setup) {
    return OptionIs(setup, kOptHasNegTransmission, 1);
}
bool HasNewSpeedEstimator(const CKX_Setup& setup) { return OptionIs(setup, kOptNewSpeedEstimator, 1); }
bool HasI2tWarningLevels(const CKX_Setup& setup) { return AllExist(setup, {kII2TWARLIM_D, kI2TWARLIM_M}); }
bool IsBrakeResistorAllowed(const CKX_Setup& setup) { return !OptionIs(setup, kOptDisableBrake, 1); }
bool HasSinCosFractionRegister(const CKX_Setup& setup) { return Exists(setup, kELRES_FRACT); }
bool HasEncoderResolutionRegister(const CKX_Setup& setup) { return Exists(setup, kMECRESL); }
bool HasLargePositionError(const CKX_Setup& setup) { return Exists(setup, kERRMAXL); }
bool HasSerialClockMode(const CKX_Setup& setup) { return Exists(setup, kSPICLKMODE); }
bool HasBiquadFilters(const CKX_Setup& setup) { return Exists(setup, kIQREF_BQ_INI); }
bool HasAutoActivationFlag(const CKX_Setup& setup) { return Exists(setup, kisAutoActivatedAfterPowerOn); }
bool HasPositionRange(const CKX_Setup& setup) { return Exists(setup, kPOSRANGEDEF); }
bool HasMotionCompleteSettings(const CKX_Setup& setup) {
    return Exists(setup, kMotionCompleteDefaultSettings);
}
bool HasSpeedForward(const CKX_Setup& setup) { return Exists(setup, kSpeedForward); }
bool HasReverseCounting(const CKX_Setup& setup) {
    return AllExist(setup, {kReverseCounting_MT, kReverseCounting_LD});
}
bool HasEncoderFilters(const CKX_Setup& setup) {
    return AllExist(setup, {kisFilterEnc_MT, kFilterEncValue_MT, kisFilterEnc_LD, kFilterEncValue_LD});
}
bool HasSinCosFractionParameter(const CKX_Setup& setup) { return Exists(setup, kSINCOS_fract); }
bool HasLoadSerialResolution(const CKX_Setup& setup) { return Exists(setup, kSSI_Resolution_LD); }
bool HasSpeedTestReferenceType(const CKX_Setup& setup) { return Exists(setup, kSpeedTestReferenceType); }

bool IsSpeedEstimatorPossible(const CKX_Setup& setup) {
    if (CodeOr(setup, kPosSpd_in_FastLoop, 0) == 1) return false;
    const auto sensor = [&setup](const char* name) {
        return static_cast<SensorType>(CodeOr(setup, name, 0));
    };
    switch (sensor(kMotorSensorType)) {
        case SensorType::IncrementalEncoder:
            return true;
        case SensorType::SineCosineEncoder:
            return CodeOr(setup, kSINCOS_fract, 0) == 1;
        case SensorType::None: {
            const SensorType load = sensor(kLoadSensorType);
            return load == SensorType::IncrementalEncoder ||
                   (load == SensorType::SineCosineEncoder && CodeOr(setup, kSINCOS_fract_LD, 0) == 1);
        }
        default:
            return false;
    }
}

bool HasMotorSerialEncoderReadback(const CKX_Setup& setup) {
    return setup.HasDLMotorSensor(ToInt(SensorType::SsiEncoder), false);
}
bool HasLoadSerialEncoderReadback(const CKX_Setup& setup) {
    return setup.HasDLLoadSensor(ToInt(SensorType::SsiEncoder), false);
}
bool HasMotorSerialEncoder(const CKX_Setup& setup) {
    return setup.HasDLMotorSensor(ToInt(SensorType::SsiEncoder), false) ||
           setup.HasDLMotorSensor(ToInt(SensorType::BissEncoder), false);
}
bool HasSerialEncoderClockMode(const CKX_Setup& setup) {
    return HasMotorSerialEncoder(setup) && HasSerialClockMode(setup);
}

int FilterCount(const CKX_Setup& setup) {
    const CKX_Parameter* fastLoop = Probe(setup, kPosSpd_in_FastLoop);
    if (fastLoop && fastLoop->GetValueInBaseUnit() == 1.0) return 0;
    return OptionSet(setup, kOptMaxFilters) ? setup.GetIntOption(kOptMaxFilters) : 10;
}

int SerialMaxBits(const CKX_Setup& setup) {
    return OptionSet(setup, kOptSSIMaxBits) ? setup.GetIntOption(kOptSSIMaxBits) : 31;
}

int InputsTypeProgrammable(const CKX_Setup& setup) {
    return OptionSet(setup, kOptIsInputsTypeProgrammable) ? setup.GetIntOption(kOptIsInputsTypeProgrammable)
                                                          : -1;
}

double MinimumCurrentLoopPeriod(const CKX_Setup& setup) { return ValueOr(setup, kTs_C_min, 0.0); }
double MinimumSpeedLoopPeriod(const CKX_Setup& setup) { return ValueOr(setup, kTs_S_min, 0.0); }
double LimitSpeedMaxPercent(const CKX_Setup& setup) { return ValueOr(setup, kLimit_Speed_MaxPercent, 100.0); }

bool IsEnablePolarityHidden(const CKX_Setup& setup) { return OptionIs(setup, kOptHideEnablePolarity, 1); }
bool HasNewDeadBand(const CKX_Setup& setup) { return OptionIs(setup, kOptNewDeadBand, 1); }
bool ReadsSerialEncoderOnSpeedLoop(const CKX_Setup& setup) { return OptionIs(setup, kOptReadSSIonSL, 1); }

}  // namespace dcdrive
