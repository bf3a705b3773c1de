#include "MotorSetupRules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <numbers>

#include "conversions/Capabilities.h"
#include "conversions/Codes.h"
#include "conversions/Conventions.h"
#include "conversions/Feedback.h"
#include "conversions/Names.h"
#include "options/LoopOptions.h"

namespace dcdrive {

using namespace names;
using Action = ControlRule::Action;
using Kind = MotorBinding::Kind;

namespace {

constexpr int kTacho = ToInt(SensorType::Tachogenerator);
constexpr int kSinCos = ToInt(SensorType::SineCosineEncoder);
constexpr int kSsi = ToInt(SensorType::SsiEncoder);
constexpr int kBiss = ToInt(SensorType::BissEncoder);
constexpr int kLinear = ToInt(TransmissionType::RotaryToLinear);

bool IsCounted(int type) { return IsCountedEncoder(static_cast<SensorType>(type)); }
bool IsSerial(int type) { return IsSerialEncoder(static_cast<SensorType>(type)); }

// 2^k with k the whole part of the parameter's value.
double PowerOfTwo(const CKX_Setup& setup, const char* name) {
    return std::ldexp(1.0, TruncateToInt32(Value(setup, name)));
}

// Writes a parameter the drive may lack, without a message when it does.
void Write(CKX_Setup& setup, const char* name, double value) {
    if (CKX_Parameter* p = Probe(setup, name)) WriteBase(*p, value);
}

std::vector<unsigned> Ids(std::initializer_list<unsigned> ids) { return ids; }

std::vector<unsigned> Range(unsigned first, unsigned last, std::initializer_list<unsigned> more = {}) {
    std::vector<unsigned> ids;
    for (unsigned id = first; id <= last; ++id) ids.push_back(id);
    ids.insert(ids.end(), more);
    return ids;
}

ControlRule Show(std::vector<unsigned> ids, bool on) { return {Action::Show, std::move(ids), on, {}}; }
ControlRule Enable(std::vector<unsigned> ids, bool on) { return {Action::Enable, std::move(ids), on, {}}; }

// Caps revolution plus turns bits at the drive's maximum.
bool CapBits(CKX_Setup& setup, const char* revolution, const char* turns) {
    const auto p = Require(setup, revolution, turns);
    if (!p) return false;
    const auto [rev, tur] = *p;
    const double max = SerialMaxBits(setup);
    if (!(Value(*rev) + Value(*tur) > max)) return false;
    const double bits = std::min(Value(*rev), max);
    WriteBase(*rev, bits);
    WriteBase(*tur, max - bits);
    return true;
}

}  // namespace

// ---- the drive

bool DriveOffersMotorSensor(const CKX_Setup& setup, int kind) { return setup.HasDLMotorSensor(kind, false); }
bool DriveOffersLoadSensor(const CKX_Setup& setup, int kind) { return setup.HasDLLoadSensor(kind, false); }
bool DriveOffersMotorSerialEncoder(const CKX_Setup& setup) {
    return DriveOffersMotorSensor(setup, kSsi) || DriveOffersMotorSensor(setup, kBiss);
}
bool DriveOffersLoadSerialEncoder(const CKX_Setup& setup) {
    return DriveOffersLoadSensor(setup, kSsi) || DriveOffersLoadSensor(setup, kBiss);
}

// ---- bindings

bool HasMotorDerivedCounts(const CKX_Setup& setup) {
    return DriveOffersMotorSensor(setup, kSinCos) && Exists(setup, kNo_encoder_lines) &&
           Exists(setup, kSINCOS_fract);
}

bool HasLoadDerivedCounts(const CKX_Setup& setup) {
    return DriveOffersLoadSensor(setup, kSinCos) && Exists(setup, kNo_encoder_lines_LD) &&
           Exists(setup, kResolution_LD) && Exists(setup, kSINCOS_fract_LD);
}

std::vector<MotorBinding> MotorSetupBindings(const CKX_Setup& setup) {
    std::vector<MotorBinding> b = {
        {Kind::Value, kIn, 1159, 1160},
        {Kind::Value, kImaxM, 1161, 1162},
        {Kind::Value, kK, 1166, 1167},
        {Kind::Value, kR, 1168, 1169},
        {Kind::Value, kL, 1170, 1171},
        {Kind::Value, kJm, 1172, 1173},
        {Kind::Check, kisMotorInertiaUnknown, 1178},
        {Kind::List, kMotorSensorType, 1201},
        {Kind::List, kMotorSensorConnector, 1202},
        {Kind::Value, kNo_encoder_lines, 1179, 3002},
        {Kind::Check, kisMotorTemperatureSensor, 1183},
        {Kind::Radio, kMotor_TempSensor_Type, 1185, 1186},
    };
    auto add = [&b](std::initializer_list<MotorBinding> more) { b.insert(b.end(), more); };
    if (HasEncoderFilters(setup))
        add({{Kind::List, kFilterEncValue_MT, 3359},
             {Kind::Check, kisFilterEnc_MT, 3360},
             {Kind::List, kFilterEncValue_LD, 3365},
             {Kind::Check, kisFilterEnc_LD, 3366}});
    if (HasReverseCounting(setup))
        add({{Kind::Check, kReverseCounting_MT, 3358}, {Kind::Check, kReverseCounting_LD, 3361}});
    add({{Kind::Value, kTacho_gain, 1182, 1188}});
    if (DriveOffersMotorSensor(setup, kSinCos)) {
        add({{Kind::List, kSINCOS_fract, 1200}});
        if (HasMotorDerivedCounts(setup)) add({{Kind::Owned, kEquivCountsPerRev, 3353, 3354}});
    }
    if (DriveOffersMotorSerialEncoder(setup))
        add({{Kind::Radio, kSSI_isMultiTurn, 3433, 3434},
             {Kind::Radio, kSSI_isGray, 3442, 3443},
             {Kind::Check, kSSI_isReverseCounting, 3447},
             {Kind::Value, kSSI_No_Bits_Revolution, 3435, 3436},
             {Kind::Value, kSSI_No_Bits_Turns, 3438, 3439},
             {Kind::List, kSSI_freq, 3446}});
    add({{Kind::List, kLoadSensorType, 1216},
         {Kind::List, kLoadSensorConnector, 1217},
         {Kind::Value, kNo_encoder_lines_LD, 1180, 3006},
         {Kind::Value, kResolution_LD, 1205, 1206}});
    if (DriveOffersLoadSensor(setup, kSinCos)) {
        add({{Kind::List, kSINCOS_fract_LD, 1203}});
        if (HasLoadDerivedCounts(setup))
            add({{Kind::Owned, kResolutionWithInterpolation_LD, 3357, 3367},
                 {Kind::Owned, kEquivCountsPerRev_LD, 3355, 3356}});
    }
    if (DriveOffersLoadSerialEncoder(setup)) {
        add({{Kind::Radio, kSSI_isMultiTurn_LD, 3453, 3454},
             {Kind::Radio, kSSI_isGray_LD, 3462, 3463},
             {Kind::Check, kSSI_isReverseCounting_LD, 3467},
             {Kind::Value, kSSI_No_Bits_Revolution_LD, 3455, 3456},
             {Kind::Value, kSSI_No_Bits_Turns_LD, 3458, 3459},
             {Kind::List, kSSI_freq_LD, 3466}});
        if (HasLoadSerialResolution(setup))
            add({{Kind::Value, kSSI_Resolution_LD, 3474, 3475},
                 {Kind::Value, kSSI_No_Bits_Revolution_LD, 3477}});
    }
    add({{Kind::Radio, kTransmissionType, 3336, 3337},
         {Kind::Value, kMotor_transmission, 3338, 3339},
         {Kind::Value, kLoad_transmission, 3340, 3341}});
    if (HasMotorBrake(setup))
        add({{Kind::Check, kisMotorBrake, 3381},
             {Kind::List, kMotorBrake_output, 3382},
             {Kind::Value, kMotorBrake_releasetime, 3390, 3391},
             {Kind::Value, kMotorBrake_applytime, 3392, 3393}});
    if (HasMovementDirection(setup)) add({{Kind::Check, kIsReverseMovementDirection, 3551}});
    return b;
}

// ---- derived counts

double EquivCountsPerRev(const CKX_Setup& setup) {
    if (!Exists(setup, kNo_encoder_lines) || !Exists(setup, kSINCOS_fract)) return 0.0;
    return Value(setup, kNo_encoder_lines) * PowerOfTwo(setup, kSINCOS_fract);
}

double EquivCountsPerRevLoad(const CKX_Setup& setup) {
    if (!Exists(setup, kNo_encoder_lines_LD) || !Exists(setup, kSINCOS_fract_LD)) return 0.0;
    return Value(setup, kNo_encoder_lines_LD) * PowerOfTwo(setup, kSINCOS_fract_LD);
}

double ResolutionWithInterpolationLoad(const CKX_Setup& setup) {
    if (!Exists(setup, kResolution_LD) || !Exists(setup, kSINCOS_fract_LD)) return 0.0;
    return Value(setup, kResolution_LD) / PowerOfTwo(setup, kSINCOS_fract_LD);
}

// ---- display

bool IsBrakeAvailable(const CKX_Setup& setup) {
    return HasMotorBrake(setup) && setup.GetNumberOfBrakeOutputs() > 0;
}

std::string BrakeText(const CKX_Setup& setup) {
    const CKX_Parameter* output = Probe(setup, kMotorBrake_output);
    const int port = output ? TruncateToInt32(output->GetValueInInternalUnit()) : 0;
    const bool inverted = setup.IsIOKX3PortInverted(port);
    const bool source = (setup.IsBrakePortEnable(port) & kx::kBrakePortStageMask) ==
                        static_cast<int>(kx::OutputStage::Source);
    return std::string(kBrakeTextHead) + (source != inverted ? kBrakeSourceText : kBrakeSinkText);
}

std::vector<ControlRule> MotorSetupDisplayRules(const CKX_Setup& setup) {
    const int m = CodeOr(setup, kMotorSensorType, 0);
    const int l = CodeOr(setup, kLoadSensorType, 0);
    const int t = CodeOr(setup, kTransmissionType, 0);
    const bool rotary = t != kLinear;
    std::vector<ControlRule> rules = {
        Enable(Ids({1172, 1173, 3267}), CodeOr(setup, kisMotorInertiaUnknown, 0) == 0),
        Enable(Ids({1184, 1185, 1186}), CodeOr(setup, kisMotorTemperatureSensor, 0) == 1),
        Show(Ids({1202, 3411}), m != 0),
        Show(Ids({1217, 3412}), l != 0),
        // the motor's sensor
        Show(Ids({3003, 1179, 3002, 1187}), IsCounted(m)),
        Show(Ids({3004, 1182, 1188}), m == kTacho),
        Show(Ids({3396, 1200, 3397, 3353, 3354}), m == kSinCos),
        Show(Range(3433, 3444, {3446, 3447, 3452}), IsSerial(m)),
        Enable(Ids({3438, 3439}),
               DriveOffersMotorSerialEncoder(setup) && CodeOr(setup, kSSI_isMultiTurn, 0) == 1),
        // the load's sensor
        Show(Ids({3005, 1180, 3006}), IsCounted(l) && t == 0),
        Show(Ids({1189}), IsCounted(l)),
        Show(Ids({3007, 1205, 1206}), IsCounted(l) && t == kLinear),
        Show(Ids({3398, 1203, 3399}), l == kSinCos),
        Show(Ids({3355, 3356}), l == kSinCos && rotary),
        Show(Ids({3357, 3367}), l == kSinCos && t == kLinear),
        Show(Range(3453, 3460), IsSerial(l) && rotary),
        Show(Range(3461, 3464, {3466, 3467, 3472}), IsSerial(l)),
        Show(Range(3473, 3477), IsSerial(l) && t == kLinear),
        Enable(Ids({3458, 3459}),
               DriveOffersLoadSerialEncoder(setup) && CodeOr(setup, kSSI_isMultiTurn_LD, 0) == 1),
        Show(Ids({3358}), HasReverseCounting(setup) && IsCounted(m)),
        Show(Ids({3361}), HasReverseCounting(setup) && IsCounted(l)),
    };
    if (HasEncoderFilters(setup)) {
        rules.push_back(Show(Ids({3360, 3359, 3272}), IsCounted(m)));
        rules.push_back(Show(Ids({3366, 3365, 3274}), IsCounted(l)));
        rules.push_back(Enable(Ids({3359}), ValueOr(setup, kisFilterEnc_MT, 0.0) == 1.0));
        rules.push_back(Enable(Ids({3365}), ValueOr(setup, kisFilterEnc_LD, 0.0) == 1.0));
    } else {
        rules.push_back(Show(Ids({3360, 3359, 3272, 3366, 3365, 3274}), false));
        rules.push_back(Enable(Ids({3359, 3365}), false));
    }
    if (HasMotorBrake(setup)) {
        rules.push_back(Enable(std::vector<unsigned>(std::begin(kBrakeControls), std::end(kBrakeControls)),
                               ValueOr(setup, kisMotorBrake, 0.0) == 1.0));
        rules.push_back({Action::Text, {3386}, false, BrakeText(setup)});
    }
    // A negative transmission with the position sensor on the motor swaps
    // the limit switches; a drive that handles negative transmissions itself
    // needs no warning.
    bool negative = false;
    if (!IsNegativeTransmissionAllowed(setup) && Exists(setup, kMotor_transmission) &&
        Exists(setup, kLoad_transmission))
        negative = Ratio(Value(setup, kMotor_transmission), Value(setup, kLoad_transmission)) < 0.0;
    rules.push_back(Show(Ids({3414}), negative));
    return rules;
}

// ---- lists

std::vector<kx::ListEntry> EncoderFilterItems() {
    std::vector<kx::ListEntry> items{{"1/3", 0}};
    for (int k = 1; k <= 12; ++k) items.push_back({"1/" + std::to_string(6 * k), k});
    return items;
}

std::vector<kx::ListEntry> InterpolationItems(CKX_Setup& setup, bool load) {
    const char* fraction = load ? kSINCOS_fract_LD : kSINCOS_fract;
    std::vector<kx::ListEntry> items;
    if (!Exists(setup, load ? kNo_encoder_lines_LD : kNo_encoder_lines) || !Exists(setup, fraction))
        return items;
    if (load && !Exists(setup, kResolution_LD)) return items;
    if (Exists(setup, kELRES_FRACT)) WriteSinCosFraction(setup);
    const CKX_Parameter* f = Probe(setup, fraction);
    const int first = TruncateToInt32(f->GetMinInBaseUnit());
    const int last = TruncateToInt32(f->GetMaxInBaseUnit());
    // Levels beyond 2^30 do not fit the list's whole numbers.
    for (int k = std::max(first, 0); k <= std::min(last, 30); ++k) {
        char text[16];
        std::snprintf(text, sizeof text, "%d", 1 << k);
        items.push_back({text, k});
    }
    return items;
}

SerialFrequencyList SerialFrequencyItems(const CKX_Setup& setup, bool load) {
    SerialFrequencyList list;
    const int type = CodeOr(setup, load ? kLoadSensorType : kMotorSensorType, 0);
    const CKX_Parameter* f = Probe(setup, load ? kSSI_freq_LD : kSSI_freq);
    std::vector<unsigned> kHz, modes;
    if (type == kBiss)
        load ? setup.GetBiSSFreqList_LD(kHz, modes) : setup.GetBiSSFreqList(kHz, modes);
    else
        load ? setup.GetSSIFreqList_LD(kHz, modes) : setup.GetSSIFreqList(kHz, modes);
    if (kHz.size() != modes.size()) {
        list.complete = false;
        return list;
    }
    if (!f) return list;
    for (unsigned k : kHz) {
        // The frequency in Hz as the drive's unsigned arithmetic forms it.
        const double hz = static_cast<unsigned>(k * 1000u);
        if (hz < f->GetMinInBaseUnit() || hz > f->GetMaxInBaseUnit()) continue;
        char text[24];
        std::snprintf(text, sizeof text, "%u kHz", k);
        list.items.push_back({text, static_cast<int>(k)});
    }
    return list;
}

// ---- changes

void WriteSerialClockRegisters(CKX_Setup& setup) {
    WriteSerialBaudRate(setup);
    if (HasSerialClockMode(setup)) WriteSerialClockMode(setup);
    WriteReadoutClockDivider(setup);
    WriteReadoutPeriod(setup);
    WriteReadoutCompareTime(setup);
}

bool LimitSsiBits(CKX_Setup& setup) { return CapBits(setup, kSSI_No_Bits_Revolution, kSSI_No_Bits_Turns); }

bool LimitLoadSsiBits(CKX_Setup& setup) {
    if (CodeOr(setup, kTransmissionType, 0) != kLinear)
        return CapBits(setup, kSSI_No_Bits_Revolution_LD, kSSI_No_Bits_Turns_LD);
    CKX_Parameter* rev = Probe(setup, kSSI_No_Bits_Revolution_LD);
    const double max = SerialMaxBits(setup);
    if (!rev || !(Value(*rev) > max)) return false;
    WriteBase(*rev, max);
    return true;
}

int UpdateTransmissionTypeChoice(CKX_Setup& setup) {
    if (HasLoadSerialResolution(setup)) return -1;
    const bool serial = IsSerial(CodeOr(setup, kLoadSensorType, 0));
    if (serial && CodeOr(setup, kTransmissionType, 0) == kLinear) Write(setup, kTransmissionType, 0);
    return serial ? 0 : 1;
}

void ApplyTachoOnlyRules(CKX_Setup& setup) {
    if (CodeOr(setup, kMotorSensorType, 0) != kTacho || CodeOr(setup, kLoadSensorType, 0) != 0) return;
    Write(setup, kisSWLS, 0);
    if (ValueOr(setup, kControlMode, -1) != ToInt(ControlMode::Position)) return;
    Write(setup, kControlMode, ToInt(ControlMode::Speed));
    if (CodeOr(setup, kExternalReference, 0) == 1 && ValueOr(setup, kisAnalogueReference, -1) == 0)
        Write(setup, kisAnalogueReference, 1);
}

void ApplyMotorSetupOK(CKX_Setup& setup, bool bothSensorsAtStart) {
    const int m = CodeOr(setup, kMotorSensorType, 0);
    const int l = CodeOr(setup, kLoadSensorType, 0);
    if (ValueOr(setup, kisMotorTemperatureSensor, -1) == 0.0 && ValueOr(setup, kisMotorOverTemp, 0) == 1.0)
        Write(setup, kisMotorOverTemp, 0);
    ApplyTachoOnlyRules(setup);
    if (ValueOr(setup, kControlMode, 0) != 0.0 && ValueOr(setup, kisFreezeControl, 0) == 1.0)
        Write(setup, kisFreezeControl, 0);
    if (Exists(setup, kSINCOS_fract) && Exists(setup, kSINCOS_fract_LD)) {
        if (m == kSinCos && l != kSinCos) Write(setup, kSINCOS_fract_LD, Value(setup, kSINCOS_fract));
        if (l == kSinCos && m != kSinCos) Write(setup, kSINCOS_fract, Value(setup, kSINCOS_fract_LD));
    }
    if (!bothSensorsAtStart && m != 0 && l != 0) Write(setup, kPositionControlType, 1);
    if (HasSpeedForward(setup)) UpdateSpeedForward(setup);
}

bool ApplyZeroTransmission(CKX_Setup& setup, const char* name) {
    if (!NamesEqual(name, kMotor_transmission) && !NamesEqual(name, kLoad_transmission)) return false;
    CKX_Parameter* p = Probe(setup, name);
    if (!p || Value(*p) != 0.0) return false;
    WriteBase(*p, 2.0 * std::numbers::pi);
    return true;
}

}  // namespace dcdrive
