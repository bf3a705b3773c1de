#include "Timing.h"

#include "Capabilities.h"
#include "Conventions.h"
#include "Names.h"

namespace dcdrive {

using namespace names;

namespace {

// 2 · loops · "PWMPER" / "DSP_freq": a period counted in PWM periods, in seconds.
int ReadLoopPeriod(CKX_Setup& setup, const char* divider, const char* target) {
    const auto p = Require(setup, divider, kPWMPER, kDSP_freq, target);
    if (!p) return 0;
    const auto [loops, pwmper, clock, period] = *p;
    return WriteBase(*period, 2.0 * loops->GetValueInBaseUnit() * pwmper->GetValueInBaseUnit() /
                                  clock->GetValueInBaseUnit());
}

// A flag parameter in [0, 1] holding one bit of "UPGRADE".
int ReadUpgradeFlag(CKX_Parameter& upgrade, CKX_Parameter& flag, int bit) {
    return WriteRangeAndValue(flag, 0.0, 1.0, BitOf(upgrade.GetValueInBaseUnit(), bit));
}

// "target" := "SATPWM", when both exist. The drive variants that lack the
// per-axis saturations simply have no target.
int CopyPWMSaturation(CKX_Setup& setup, const char* target) {
    const CKX_Parameter* source = Probe(setup, kSATPWM);
    CKX_Parameter* copy = Probe(setup, target);
    if (!source || !copy) return 0;
    return WriteBase(*copy, source->GetValueInBaseUnit());
}

}  // namespace

int ReadPWMFrequency(CKX_Setup& setup) {
    const auto p = Require(setup, kDSP_freq, kPWMPER, kPWM_freq);
    if (!p) return 0;
    const auto [clock, pwmper, frequency] = *p;
    return WriteBase(*frequency, clock->GetValueInBaseUnit() * 0.5 / pwmper->GetValueInBaseUnit());
}

int ReadPWMPeriod(CKX_Setup& setup) {
    const auto p = Require(setup, kPWMPER, kDSP_freq, kPWMperiod);
    if (!p) return 0;
    const auto [pwmper, clock, period] = *p;
    return WriteBase(*period, 2.0 * pwmper->GetValueInBaseUnit() / clock->GetValueInBaseUnit());
}

int ReadCurrentLoopPeriod(CKX_Setup& setup) { return ReadLoopPeriod(setup, kCLPER, kTs_C); }

int ReadSpeedLoopPeriod(CKX_Setup& setup) { return ReadLoopPeriod(setup, kSLPER, kTs_S); }

int ReadFastLoopFlag(CKX_Setup& setup) {
    // Only some drive variants can run the position and speed loops in the
    // fast loop; the others have no such parameter and nothing to do.
    CKX_Parameter* flag = Probe(setup, kPosSpd_in_FastLoop);
    if (!flag) return 1;
    CKX_Parameter* upgrade = setup.FindParameter(kUPGRADE);
    if (!upgrade) return 0;
    return ReadUpgradeFlag(*upgrade, *flag, kUpgradeFastLoopBit);
}

int ReadLimitMaximumFlag(CKX_Setup& setup) {
    const auto p = Require(setup, kUPGRADE, kisLimitMaximum);
    if (!p) return 0;
    const auto [upgrade, flag] = *p;
    return ReadUpgradeFlag(*upgrade, *flag, kUpgradeLimitMaximumBit);
}

int ReadMotionCompleteType(CKX_Setup& setup) {
    const auto p = Require(setup, kUPGRADE, kMotionCompleteType);
    if (!p) return 0;
    const auto [upgrade, type] = *p;
    return WriteBase(*type, 1 - BitOf(upgrade->GetValueInBaseUnit(), kUpgradeMotionCompleteBit));
}

int WritePWMPeriodRegister(CKX_Setup& setup) {
    const auto p = Require(setup, kPWMPER, kDSP_freq, kPWM_freq);
    if (!p) return 0;
    const auto [pwmper, clock, frequency] = *p;
    return WriteBase(*pwmper, clock->GetValueInBaseUnit() * 0.5 / frequency->GetValueInBaseUnit());
}

int WritePWMSaturation(CKX_Setup& setup) {
    const auto p = Require(setup, kSATPWM, kCurrentMeasurementType, kPWM_freq);
    if (!p) return 0;
    const auto [saturation, measurement, frequency] = *p;
    const double value =
        measurement->GetValueInBaseUnit() == 0.0 ? 0.0 : frequency->GetValueInBaseUnit() * 0.13107;
    return WriteBase(*saturation, value);
}

int CopyPWMSaturationToD(CKX_Setup& setup) { return CopyPWMSaturation(setup, kSATID); }

int CopyPWMSaturationToQ(CKX_Setup& setup) { return CopyPWMSaturation(setup, kSATIQ); }

int WriteUpgradeWord(CKX_Setup& setup) {
    CKX_Parameter* upgrade = setup.FindParameter(kUPGRADE);
    if (!upgrade) return 0;
    CKX_Parameter* limitMaximum = setup.FindParameter(kisLimitMaximum);
    if (!limitMaximum) return 0;
    const CKX_Parameter* fastLoop = Probe(setup, kPosSpd_in_FastLoop);
    const auto p = Require(setup, kMotorSensorType, kLoadSensorType);
    if (!p) return 0;
    const auto [motorSensor, loadSensor] = *p;

    // Bit 15 is never written back.
    std::int32_t word = TruncateToInt32(upgrade->GetValueInBaseUnit()) & 0x7FFF;
    word = WithBit(word, kUpgradeLimitMaximumBit, limitMaximum->GetValueInBaseUnit() == 1.0);
    // The loops run in the fast loop only with an incremental motor encoder alone.
    const bool fast = fastLoop && fastLoop->GetValueInBaseUnit() == 1.0 &&
                      CodeAs<SensorType>(*motorSensor) == SensorType::IncrementalEncoder &&
                      CodeAs<SensorType>(*loadSensor) == SensorType::None;
    word = WithBit(word, kUpgradeFastLoopBit, fast);
    if (HasMotionCompleteSettings(setup)) {
        const CKX_Parameter* type = setup.FindParameter(kMotionCompleteType);
        if (!type) return 0;
        word = WithBit(word, kUpgradeMotionCompleteBit, TruncateToInt32(type->GetValueInBaseUnit()) == 0);
    }
    return WriteBase(*upgrade, static_cast<double>(word));
}

}  // namespace dcdrive
