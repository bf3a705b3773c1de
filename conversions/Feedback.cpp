#include "Feedback.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "Capabilities.h"
#include "Conventions.h"
#include "Derived.h"
#include "Names.h"
#include "options/LoopOptions.h"

namespace dcdrive {

using namespace names;

namespace {

// Bit 15 of "ASR": the drive's own speed estimator is on.
constexpr int kAsrSpeedEstimatorBit = 15;
constexpr std::int32_t kScrAlways = 0x1000;
constexpr std::int32_t kScrMotorTemperature = 0x80;
constexpr std::int32_t kScrDriveTemperature = 0x100;
constexpr std::int32_t kScrSpeedEstimator = 0x30;  // an incremental encoder alone, speed estimated

// The largest encoder line count a reverse reading accepts.
constexpr double kMaxEncoderLines = 1073741823.0;

SensorType SensorOf(const CKX_Parameter& type) { return CodeAs<SensorType>(type); }

// Both transmission types have a rotary motor encoder; any other type uses "Resolution".
bool IsRotary(const CKX_Parameter& transmission) {
    const auto type = CodeAs<TransmissionType>(transmission);
    return type == TransmissionType::RotaryToRotary || type == TransmissionType::RotaryToLinear;
}

// A register word as the unsigned 32-bit number the drive stores (registers
// such as "QUAL_AQ2" go beyond the signed range).
std::uint32_t UnsignedWord(double value) {
    const double whole = std::trunc(value);
    if (whole >= 0.0 && whole < 4294967296.0) return static_cast<std::uint32_t>(whole);
    return static_cast<std::uint32_t>(TruncateToInt32(value));
}

// ---- the sensor codes of "SCR"

struct SensorCode {
    SensorType type;
    std::int32_t code;
};
// A motor sensor beside a load sensor (bits 3..6).
constexpr SensorCode kMotorBesideLoad[] = {{SensorType::IncrementalEncoder, 0x40},
                                           {SensorType::Tachogenerator, 0x08},
                                           {SensorType::SineCosineEncoder, 0x50},
                                           {SensorType::SsiEncoder, 0x58},
                                           {SensorType::BissEncoder, 0x68}};
// Bits 0..2: a load sensor beside a motor sensor, or a sensor alone. An
// incremental encoder has code 0.
constexpr SensorCode kLowCode[] = {{SensorType::IncrementalEncoder, 0x0},
                                   {SensorType::SineCosineEncoder, 0x2},
                                   {SensorType::SsiEncoder, 0x3},
                                   {SensorType::BissEncoder, 0x5}};

template <std::size_t N>
std::int32_t CodeOf(const SensorCode (&table)[N], SensorType type) {
    for (const SensorCode& entry : table)
        if (entry.type == type) return entry.code;
    return 0;
}

template <std::size_t N>
SensorType TypeOf(const SensorCode (&table)[N], std::int32_t code, SensorType otherwise) {
    for (const SensorCode& entry : table)
        if (entry.code == code) return entry.type;
    return otherwise;
}

// A sensor alone. No sensor is coded like a tachogenerator and reads back as one.
std::int32_t SingleSensorCode(SensorType type) {
    if (type == SensorType::None) return 0x7;
    if (type == SensorType::Tachogenerator) return 0xF;
    return CodeOf(kLowCode, type);
}

// A load sensor is present (the forward "OSR" word sets the bit for any load type).
bool HasLoadSensor(const CKX_Parameter& osr) { return BitOf(Value(osr), kOsrLoadSensorBit) == 1; }

// ---- serial absolute encoders

struct SerialSet {
    const char* multiTurn;
    const char* turns;
    const char* revolution;
    const char* gray;
    const char* frequency;
    const char* reverse;
    const char* sensorType;
    bool load;
};
constexpr SerialSet kMotorSet{kSSI_isMultiTurn, kSSI_No_Bits_Turns,     kSSI_No_Bits_Revolution, kSSI_isGray,
                              kSSI_freq,        kSSI_isReverseCounting, kMotorSensorType,        false};
constexpr SerialSet kLoadSet{kSSI_isMultiTurn_LD,
                             kSSI_No_Bits_Turns_LD,
                             kSSI_No_Bits_Revolution_LD,
                             kSSI_isGray_LD,
                             kSSI_freq_LD,
                             kSSI_isReverseCounting_LD,
                             kLoadSensorType,
                             true};

// The set the registers are written from: the load set when the load sensor
// is a serial encoder. Null when "LoadSensorType" is missing.
const SerialSet* WrittenSet(const CKX_Setup& setup) {
    const CKX_Parameter* load = setup.FindParameter(kLoadSensorType);
    if (!load) return nullptr;
    return IsSerialEncoder(SensorOf(*load)) ? &kLoadSet : &kMotorSet;
}

// The host's selectable clocks (kHz) and their clock-mode codes for a sensor
// of the given type on the motor or the load. False when the lists do not pair up.
bool ClockList(const CKX_Setup& setup, bool load, SensorType type, std::vector<unsigned>& kHz,
               std::vector<unsigned>& modes) {
    if (type == SensorType::BissEncoder && load)
        setup.GetBiSSFreqList_LD(kHz, modes);
    else if (type == SensorType::BissEncoder)
        setup.GetBiSSFreqList(kHz, modes);
    else if (load)
        setup.GetSSIFreqList_LD(kHz, modes);
    else
        setup.GetSSIFreqList(kHz, modes);
    return kHz.size() == modes.size();
}

// The selectable clock (Hz) that the divided clock f stands for: f when the
// list holds it, else the nearer of the two entries around it (the lower on a
// tie), else the first entry. The list is not empty.
double SelectableFrequency(const std::vector<unsigned>& kHz, double f) {
    if (kHz.size() == 1) return kHz.front() * 1000.0;
    for (std::size_t i = 0; i + 1 < kHz.size(); ++i) {
        const double low = kHz[i] * 1000.0;
        const double high = kHz[i + 1] * 1000.0;
        if (low == f || high == f) return f;
        if (low < f && f < high) return f - low <= high - f ? low : high;
    }
    return kHz.front() * 1000.0;
}

int ReadSerialMultiTurnInto(CKX_Setup& setup, const SerialSet& set) {
    const auto p = Require(setup, kSSITURNS, set.multiTurn);
    if (!p) return 0;
    const auto [turns, multiTurn] = *p;
    return WriteRangeAndValue(*multiTurn, 0.0, 1.0, Value(*turns) == 0.0 ? 0.0 : 1.0);
}

int ReadSerialTurnBitsInto(CKX_Setup& setup, const SerialSet& set) {
    const auto p = Require(setup, kSSITURNS, set.turns);
    if (!p) return 0;
    const auto [turns, bits] = *p;
    return WriteRangeAndValue(*bits, 0.0, 32.0, Value(*turns));
}

int ReadSerialRevolutionBitsInto(CKX_Setup& setup, const SerialSet& set) {
    const auto p = Require(setup, kSSIREV, set.revolution);
    if (!p) return 0;
    const auto [revolution, bits] = *p;
    return WriteRangeAndValue(*bits, 0.0, 31.0, Value(*revolution));
}

int ReadSerialGrayCodeInto(CKX_Setup& setup, const SerialSet& set) {
    const auto p = Require(setup, kSSITYPE, set.gray);
    if (!p) return 0;
    const auto [type, gray] = *p;
    // Type 2 is a coding of the drive's own: the flag is closed to [0, 0], its value left alone.
    if (Value(*type) == 2.0) return SetParameterRange(*gray, 0.0, 0.0);
    return WriteRangeAndValue(*gray, 0.0, 1.0, Value(*type) == 0.0 ? 0.0 : 1.0);
}

int ReadSerialFrequencyInto(CKX_Setup& setup, const SerialSet& set) {
    const auto p = Require(setup, kSSIBR, set.frequency, set.sensorType);
    if (!p) return 0;
    const auto [divider, frequency, sensor] = *p;
    // A one-word parameter cannot hold clocks in Hz.
    if (frequency->GetSizeInWords() == 1) frequency->ChangeType(KX_TYPE_UINT32);
    std::vector<unsigned> kHz, modes;
    if (!ClockList(setup, set.load, SensorOf(*sensor), kHz, modes) || kHz.empty()) return 0;
    const double divided = ControllerClock(setup) / (Value(*divider) + 1.0);
    const double minimum = SerialMinimumFrequency(setup);
    if (!IsWritable(divided) || !IsWritable(minimum)) return 0;
    return WriteBase(*frequency, std::max(SelectableFrequency(kHz, divided), minimum));
}

int ReadSerialReverseCountingInto(CKX_Setup& setup, const SerialSet& set) {
    const auto p = Require(setup, kSSISENSE, set.reverse);
    if (!p) return 0;
    const auto [sense, reverse] = *p;
    return WriteRangeAndValue(*reverse, 0.0, 1.0, Value(*sense) == -1.0 ? 1.0 : 0.0);
}

// ---- encoder channels

// Which encoders count on the two channels. Channel A (0) serves connector 0,
// channel B (1) connector 1.
struct Channels {
    bool motorEncoder, loadEncoder;
    bool motorOnB, loadOnB;
    // Both encoders count on one channel.
    bool Shared() const { return motorEncoder && loadEncoder && motorOnB == loadOnB; }
};

Channels ChannelsOf(const CKX_Parameter& motorType, const CKX_Parameter& loadType,
                    const CKX_Parameter& motorConnector, const CKX_Parameter& loadConnector) {
    return {IsCountedEncoder(SensorOf(motorType)), IsCountedEncoder(SensorOf(loadType)),
            Code(motorConnector) == 1, Code(loadConnector) == 1};
}

int WriteCountingDirection(CKX_Setup& setup, const char* target, bool channelB) {
    const auto p = Require(setup, target, kReverseCounting_MT, kReverseCounting_LD, kMotorSensorConnector,
                           kLoadSensorConnector, kMotorSensorType, kLoadSensorType);
    if (!p) return 0;
    const auto [reg, reverseMotor, reverseLoad, motorConnector, loadConnector, motorType, loadType] = *p;
    const Channels c = ChannelsOf(*motorType, *loadType, *motorConnector, *loadConnector);
    // A channel that both encoders share counts forward.
    const bool motorHere = c.motorEncoder && c.motorOnB == channelB && !c.Shared();
    const bool loadHere = c.loadEncoder && c.loadOnB == channelB && !c.Shared();
    const bool reverse = (motorHere && Code(*reverseMotor) == 1) || (loadHere && Code(*reverseLoad) == 1);
    return WriteBase(*reg, reverse ? 1.0 : 0.0);
}

int ReadReverseCounting(CKX_Setup& setup, const char* target, bool motor) {
    const auto p = Require(setup, kCOUNTINGDIR_MT, kCOUNTINGDIR_LD, target, kMotorSensorConnector,
                           kLoadSensorConnector, kMotorSensorType, kLoadSensorType);
    if (!p) return 0;
    const auto [channelA, channelB, reverse, motorConnector, loadConnector, motorType, loadType] = *p;
    const Channels c = ChannelsOf(*motorType, *loadType, *motorConnector, *loadConnector);
    const bool encoder = motor ? c.motorEncoder : c.loadEncoder;
    const bool onB = motor ? c.motorOnB : c.loadOnB;
    const bool reversed = encoder && !c.Shared() && Code(onB ? *channelB : *channelA) == 1;
    return WriteRangeAndValue(*reverse, 0.0, 1.0, reversed ? 1.0 : 0.0);
}

// ---- encoder input qualification

struct ChannelFilter {
    bool on = false;
    int level = 0;
};

// Prescaler and samples (3 or 6; 0: no qualification) of a filter level 0..12.
struct Qualification {
    std::uint32_t prescaler = 0;
    int samples = 0;
};

Qualification QualificationOf(const ChannelFilter& filter) {
    const int n = filter.level;
    if (!filter.on || n < 0 || n > 12) return {};
    if (n <= 1) return {0, n == 0 ? 3 : 6};
    if (n % 2 == 0) return {static_cast<std::uint32_t>(n / 2), 6};
    return {static_cast<std::uint32_t>(n), 3};
}

constexpr std::uint32_t kPrescalerField = 0x00FF0000u;
constexpr std::uint32_t kSamplesFieldA = 0xCF00u;
constexpr std::uint32_t kSamplesFieldB = 0x3F000u;

int WritePrescaler(CKX_Parameter& reg, const Qualification& q) {
    const std::uint32_t word = (UnsignedWord(Value(reg)) & ~kPrescalerField) | (q.prescaler << 16);
    return WriteBase(reg, static_cast<double>(word));
}

int WriteSamples(CKX_Parameter& reg, const Qualification& q, std::uint32_t field, std::uint32_t three,
                 std::uint32_t six) {
    const std::uint32_t code = q.samples == 3 ? three : q.samples == 6 ? six : 0u;
    return WriteBase(reg, static_cast<double>((UnsignedWord(Value(reg)) & ~field) | code));
}

int ReadEncoderFilterFlag(CKX_Setup& setup, const char* target, bool motor) {
    const auto p = Require(setup, kQUAL_AQ2, kQUAL_BQ2, target, kSCR, kMotorSensorType, kLoadSensorType);
    if (!p) return 0;
    const auto [channelA, channelB, flag, scr, motorType, loadType] = *p;
    const bool bothSensors =
        SensorOf(*motorType) != SensorType::None && SensorOf(*loadType) != SensorType::None;
    const int bit = motor && bothSensors ? kScrMotorConnectorBit : kScrSecondConnectorBit;
    const std::uint32_t field = BitOf(Value(*scr), bit) == 1
                                    ? UnsignedWord(Value(*channelB)) & kSamplesFieldB
                                    : UnsignedWord(Value(*channelA)) & kSamplesFieldA;
    return WriteRangeAndValue(*flag, 0.0, 1.0, field != 0 ? 1.0 : 0.0);
}

// ---- serial read-out timing

// True when the serial encoder is read in the speed loop, false when in the
// current loop; nothing when "LoadSensorType" is missing.
std::optional<bool> ReadoutInSpeedLoop(const CKX_Setup& setup) {
    const CKX_Parameter* load = setup.FindParameter(kLoadSensorType);
    if (!load) return std::nullopt;
    return ReadsSerialEncoderOnSpeedLoop(setup) || IsSerialEncoder(SensorOf(*load));
}

// Lowers the parameter's minimum to `min` or raises it, never leaving it above the maximum.
int SetMinimum(CKX_Parameter& parameter, double min) {
    return SetParameterRange(parameter, min, std::max(parameter.GetMaxInBaseUnit(), min));
}

}  // namespace

// ---------------------------------------------------------------- registers to parameters

int ReadSensorTypes(CKX_Setup& setup) {
    const auto p = Require(setup, kSCR, kOSR, kMotorSensorType, kLoadSensorType);
    if (!p) return 0;
    const auto [scr, osr, motor, load] = *p;
    const std::int32_t word = Code(*scr);
    SensorType motorType = SensorType::None;
    SensorType loadType = SensorType::None;
    if (HasLoadSensor(*osr)) {
        motorType = TypeOf(kMotorBesideLoad, word & 0x78, SensorType::None);
        const std::int32_t loadCode = word & 0x207;
        loadType = loadCode < 8 ? TypeOf(kLowCode, loadCode, SensorType::None) : SensorType::None;
    } else {
        const std::int32_t code = word & 0x207;
        motorType =
            code >= 16 ? SensorType::Tachogenerator : TypeOf(kLowCode, code, SensorType::Tachogenerator);
    }
    const double top = setup.GetDLMaxSensorValue();
    const int wroteMotor = WriteRangeAndValue(*motor, 0.0, top, ToInt(motorType));
    const int wroteLoad = WriteRangeAndValue(*load, 0.0, top, ToInt(loadType));
    return wroteMotor || wroteLoad ? 1 : 0;
}

// With a load sensor present, the motor sensor's connector is bit 11 and the
// load sensor's bit 10; a sensor alone has its connector in bit 10. The
// presence comes from "OSR", as for the sensor types, so that every
// connector written forward reads back.
int ReadMotorSensorConnector(CKX_Setup& setup) {
    const auto p = Require(setup, kSCR, kOSR, kMotorSensorConnector);
    if (!p) return 0;
    const auto [scr, osr, connector] = *p;
    const int bit = HasLoadSensor(*osr) ? kScrMotorConnectorBit : kScrSecondConnectorBit;
    return WriteRangeAndValue(*connector, 0.0, 1.0, BitOf(Value(*scr), bit));
}

int ReadLoadSensorConnector(CKX_Setup& setup) {
    const auto p = Require(setup, kSCR, kOSR, kLoadSensorConnector);
    if (!p) return 0;
    const auto [scr, osr, connector] = *p;
    const int bit = HasLoadSensor(*osr) ? kScrSecondConnectorBit : kScrMotorConnectorBit;
    return WriteRangeAndValue(*connector, 0.0, 1.0, BitOf(Value(*scr), bit));
}

int ReadDigitalReferenceConnector(CKX_Setup& setup) {
    const auto p = Require(setup, kSCR, kDigitalReferenceConnector);
    if (!p) return 0;
    const auto [scr, connector] = *p;
    const int written = WriteRangeAndValue(*connector, 0.0, 1.0, BitOf(Value(*scr), kScrDigitalReferenceBit));
    if (written) {
        // The connector read from the drive may be taken by a sensor now:
        // keep the reference on a connector that can serve.
        int noneAvailable = 0;
        SelectDigitalReferenceConnector(setup, nullptr, noneAvailable);
    }
    return written;
}

int ReadSpeedEstimatorFlag(CKX_Setup& setup) {
    CKX_Parameter* flag = Probe(setup, kisSpeedEstimator);
    if (!flag) return 1;  // drive variants without an estimator
    double estimated = 0.0;
    if (HasNewSpeedEstimator(setup)) {
        const CKX_Parameter* asr = setup.FindParameter(kASR);
        if (!asr) return 0;
        if (IsSpeedEstimatorPossible(setup)) estimated = BitOf(Value(*asr), kAsrSpeedEstimatorBit);
    } else {
        const CKX_Parameter* scr = setup.FindParameter(kSCR);
        if (!scr) return 0;
        estimated = (Code(*scr) & 0x38) == kScrSpeedEstimator ? 1.0 : 0.0;
    }
    return WriteRangeAndValue(*flag, 0.0, 1.0, estimated);
}

int ReadMotorReverseCounting(CKX_Setup& setup) {
    return ReadReverseCounting(setup, kReverseCounting_MT, true);
}
int ReadLoadReverseCounting(CKX_Setup& setup) {
    return ReadReverseCounting(setup, kReverseCounting_LD, false);
}

int ReadMotorEncoderFilterFlag(CKX_Setup& setup) {
    return ReadEncoderFilterFlag(setup, kisFilterEnc_MT, true);
}
int ReadLoadEncoderFilterFlag(CKX_Setup& setup) {
    return ReadEncoderFilterFlag(setup, kisFilterEnc_LD, false);
}

int ReadEncoderLines(CKX_Setup& setup) {
    const auto p = Require(setup, kMECRESL, kNo_encoder_lines);
    if (!p) return 0;
    const auto [resolution, lines] = *p;
    return WriteRangeAndValue(*lines, 1.0, kMaxEncoderLines, std::trunc(Value(*resolution) * 0.25));
}

int ReadSerialMultiTurn(CKX_Setup& setup) { return ReadSerialMultiTurnInto(setup, kMotorSet); }
int ReadSerialRevolutionBits(CKX_Setup& setup) { return ReadSerialRevolutionBitsInto(setup, kMotorSet); }
int ReadSerialTurnBits(CKX_Setup& setup) { return ReadSerialTurnBitsInto(setup, kMotorSet); }
int ReadSerialGrayCode(CKX_Setup& setup) { return ReadSerialGrayCodeInto(setup, kMotorSet); }
int ReadSerialFrequency(CKX_Setup& setup) { return ReadSerialFrequencyInto(setup, kMotorSet); }
int ReadSerialReverseCounting(CKX_Setup& setup) { return ReadSerialReverseCountingInto(setup, kMotorSet); }
int ReadLoadSerialMultiTurn(CKX_Setup& setup) { return ReadSerialMultiTurnInto(setup, kLoadSet); }
int ReadLoadSerialRevolutionBits(CKX_Setup& setup) { return ReadSerialRevolutionBitsInto(setup, kLoadSet); }
int ReadLoadSerialTurnBits(CKX_Setup& setup) { return ReadSerialTurnBitsInto(setup, kLoadSet); }
int ReadLoadSerialGrayCode(CKX_Setup& setup) { return ReadSerialGrayCodeInto(setup, kLoadSet); }
int ReadLoadSerialFrequency(CKX_Setup& setup) { return ReadSerialFrequencyInto(setup, kLoadSet); }
int ReadLoadSerialReverseCounting(CKX_Setup& setup) { return ReadSerialReverseCountingInto(setup, kLoadSet); }

// ---------------------------------------------------------------- parameters to registers

int WriteSensorConfiguration(CKX_Setup& setup) {
    const auto p =
        Require(setup, kSCR, kisMotorTemperatureSensor, kisDriveTemperatureSensor, kDigitalReferenceConnector,
                kMotorSensorType, kLoadSensorType, kMotorSensorConnector, kLoadSensorConnector);
    if (!p) return 0;
    const auto [scr, motorTemperature, driveTemperature, reference, motorType, loadType, motorConnector,
                loadConnector] = *p;
    // Built afresh: no bit of the old word survives.
    std::int32_t word = kScrAlways;
    if (Code(*motorTemperature) == 1) word |= kScrMotorTemperature;
    if (Code(*driveTemperature) == 1) word |= kScrDriveTemperature;
    word = WithBit(word, kScrDigitalReferenceBit, Code(*reference) == 1);
    const SensorType motor = SensorOf(*motorType);
    const SensorType load = SensorOf(*loadType);
    if (motor != SensorType::None && load != SensorType::None) {
        word |= CodeOf(kMotorBesideLoad, motor) | CodeOf(kLowCode, load);
        word = WithBit(word, kScrMotorConnectorBit, Code(*motorConnector) == 1);
        word = WithBit(word, kScrSecondConnectorBit, Code(*loadConnector) == 1);
    } else {
        const SensorType type = motor != SensorType::None ? motor : load;
        const int connector = Code(motor != SensorType::None ? *motorConnector : *loadConnector);
        // The older drives mark an estimated speed in the sensor word.
        if (!HasNewSpeedEstimator(setup) && HasSpeedEstimatorParameter(setup) &&
            type == SensorType::IncrementalEncoder) {
            const CKX_Parameter* estimator = setup.FindParameter(kisSpeedEstimator);
            if (!estimator) return 0;
            if (Code(*estimator) == 1) word |= kScrSpeedEstimator;
        }
        word |= SingleSensorCode(type);
        word = WithBit(word, kScrSecondConnectorBit, connector == 1);
    }
    return WriteBase(*scr, static_cast<double>(word));
}

int WriteMotorCountingDirection(CKX_Setup& setup) {
    return WriteCountingDirection(setup, kCOUNTINGDIR_MT, false);
}
int WriteLoadCountingDirection(CKX_Setup& setup) {
    return WriteCountingDirection(setup, kCOUNTINGDIR_LD, true);
}

int WriteEncoderFilters(CKX_Setup& setup) {
    const auto p = Require(setup, kQUAL, kisFilterEnc_MT, kisFilterEnc_LD, kFilterEncValue_MT,
                           kFilterEncValue_LD, kQUAL_ACT, kQUAL_AQ2, kQUAL_BCT, kQUAL_BQ2,
                           kMotorSensorConnector, kLoadSensorConnector, kLoadSensorType);
    if (!p) return 0;
    const auto [qual, motorOn, loadOn, motorLevel, loadLevel, prescalerA, samplesA, prescalerB, samplesB,
                motorConnector, loadConnector, loadType] = *p;
    ChannelFilter channels[2];
    const auto use = [&channels](int connector, int level) {
        if (connector == 0 || connector == 1) channels[connector] = {true, level};
    };
    if (Code(*motorOn) != 0) use(Code(*motorConnector), Code(*motorLevel));
    // The load encoder's filter comes second: it wins on a shared channel.
    if (IsExactly(Value(*loadType), SensorType::IncrementalEncoder) && Code(*loadOn) != 0)
        use(Code(*loadConnector), Code(*loadLevel));
    const Qualification a = QualificationOf(channels[0]);
    const Qualification b = QualificationOf(channels[1]);
    int wrote = WriteBase(*qual, 3.0);
    wrote &= WritePrescaler(*prescalerA, a);
    wrote &= WriteSamples(*samplesA, a, kSamplesFieldA, 0x4500u, 0x8A00u);
    wrote &= WritePrescaler(*prescalerB, b);
    wrote &= WriteSamples(*samplesB, b, kSamplesFieldB, 0x15000u, 0x2A000u);
    return wrote;
}

int WriteSinCosFraction(CKX_Setup& setup) {
    const auto p = Require(setup, kELRES_FRACT, kMotorSensorType);
    if (!p) return 0;
    const auto [fractionRegister, motorType] = *p;
    if (SensorOf(*motorType) != SensorType::SineCosineEncoder) return 1;  // only these are interpolated
    const auto q = Require(setup, kNo_encoder_lines, kSINCOS_fract, kLoadSensorType);
    if (!q) return 0;
    const auto [lines, fraction, loadType] = *q;
    CKX_Parameter* loadFraction = nullptr;
    if (SensorOf(*loadType) != SensorType::SineCosineEncoder) {
        loadFraction = setup.FindParameter(kSINCOS_fract_LD);
        if (!loadFraction) return 0;
    }
    // Interpolation bits up to 10 bits of resolution per electrical period in all.
    const double bits = std::trunc(std::ceil(std::log2(4.0 * Value(*lines))));
    if (!IsWritable(bits)) return 0;
    const double f = bits > 9.0 ? 0.0 : std::min(10.0 - bits, 8.0);
    if (!WriteBase(*fractionRegister, f)) return 0;
    int wrote = SetMinimum(*fraction, f);
    if (loadFraction) wrote &= SetMinimum(*loadFraction, f);
    return wrote;
}

int WriteEncoderResolution(CKX_Setup& setup) {
    const auto p = Require(setup, kMECRESL, kMotorSensorType);
    if (!p) return 0;
    const auto [resolution, motorType] = *p;
    if (IsSerialEncoder(SensorOf(*motorType))) {
        const CKX_Parameter* bits = setup.FindParameter(kSSI_No_Bits_Revolution);
        if (!bits) return 0;
        return WriteBase(*resolution, std::pow(2.0, std::min(Value(*bits), 16.0)));
    }
    const CKX_Parameter* transmission = setup.FindParameter(kTransmissionType);
    if (!transmission) return 0;
    const CKX_Parameter* source =
        setup.FindParameter(IsRotary(*transmission) ? kNo_encoder_lines : kResolution);
    if (!source) return 0;
    return WriteBase(*resolution, IsRotary(*transmission) ? 4.0 * Value(*source) : Value(*source));
}

int WriteEncoderTurnScale(CKX_Setup& setup) {
    const auto p = Require(setup, kENC2THL, kMotorSensorType);
    if (!p) return 0;
    const auto [scale, motorType] = *p;
    const double type = Value(*motorType);  // compared exactly
    if (IsExactly(type, SensorType::SsiEncoder) || IsExactly(type, SensorType::BissEncoder)) {
        const CKX_Parameter* bits = setup.FindParameter(kSSI_No_Bits_Revolution);
        if (!bits) return 0;
        return WriteBase(*scale, std::pow(2.0, 32.0 - std::min(Value(*bits), 16.0)));
    }
    double interpolation = 1.0;
    if (IsExactly(type, SensorType::SineCosineEncoder)) {
        if (const CKX_Parameter* fraction = Probe(setup, kELRES_FRACT))
            interpolation = std::pow(2.0, Value(*fraction));
    }
    const CKX_Parameter* transmission = setup.FindParameter(kTransmissionType);
    if (!transmission) return 0;
    if (IsRotary(*transmission)) {
        const CKX_Parameter* lines = setup.FindParameter(kNo_encoder_lines);
        if (!lines) return 0;
        return WriteBase(*scale, std::ldexp(1.0, 30) / (Value(*lines) * interpolation));
    }
    const CKX_Parameter* linear = setup.FindParameter(kResolution);
    if (!linear) return 0;
    return WriteBase(*scale, Value(*linear) * std::ldexp(1.0, 32) / interpolation);
}

int WriteSerialTurns(CKX_Setup& setup) {
    CKX_Parameter* reg = setup.FindParameter(kSSITURNS);
    const SerialSet* set = reg ? WrittenSet(setup) : nullptr;
    if (!set) return 0;
    const auto p = Require(setup, set->multiTurn, set->turns);
    if (!p) return 0;
    const auto [multiTurn, turns] = *p;
    return WriteBase(*reg, Code(*multiTurn) != 0 ? Value(*turns) : 0.0);
}

int WriteSerialRevolutionBits(CKX_Setup& setup) {
    CKX_Parameter* reg = setup.FindParameter(kSSIREV);
    const SerialSet* set = reg ? WrittenSet(setup) : nullptr;
    if (!set) return 0;
    const CKX_Parameter* bits = setup.FindParameter(set->revolution);
    if (!bits) return 0;
    return WriteInternal(*reg, Value(*bits));
}

int WriteSerialType(CKX_Setup& setup) {
    CKX_Parameter* reg = setup.FindParameter(kSSITYPE);
    const SerialSet* set = reg ? WrittenSet(setup) : nullptr;
    if (!set) return 0;
    const CKX_Parameter* gray = setup.FindParameter(set->gray);
    if (!gray) return 0;
    if (Value(*reg) == 2.0) return 1;  // a coding of the drive's own, kept as it is
    return WriteBase(*reg, Code(*gray) == 1 ? 1.0 : 0.0);
}

int WriteSerialBaudRate(CKX_Setup& setup) {
    CKX_Parameter* reg = setup.FindParameter(kSSIBR);
    const SerialSet* set = reg ? WrittenSet(setup) : nullptr;
    if (!set) return 0;
    const CKX_Parameter* frequency = setup.FindParameter(set->frequency);
    if (!frequency) return 0;
    // Never slower than the clock at which a read-out still fits into a current-loop period.
    const double minimum = SerialMinimumFrequency(setup);
    if (!IsWritable(minimum)) return 0;
    return WriteBase(*reg, ControllerClock(setup) / std::max(Value(*frequency), minimum) - 1.0);
}

int WriteSerialSense(CKX_Setup& setup) {
    CKX_Parameter* reg = setup.FindParameter(kSSISENSE);
    const SerialSet* set = reg ? WrittenSet(setup) : nullptr;
    if (!set) return 0;
    const CKX_Parameter* reverse = setup.FindParameter(set->reverse);
    if (!reverse) return 0;
    return WriteBase(*reg, Code(*reverse) == 1 ? -1.0 : 1.0);
}

int WriteSerialFeedbackType(CKX_Setup& setup) {
    const auto p = Require(setup, kSSIFDBKTYPE, kMotorSensorType, kLoadSensorType);
    if (!p) return 0;
    const auto [reg, motorType, loadType] = *p;
    const bool biss =
        SensorOf(*motorType) == SensorType::BissEncoder || SensorOf(*loadType) == SensorType::BissEncoder;
    return WriteBase(*reg, biss ? 2.0 : 1.0);
}

int CopySerialOffset(CKX_Setup& setup) {
    CKX_Parameter* offset = Probe(setup, kZAOFF);
    const CKX_Parameter* source = Probe(setup, kSSI_Offset);
    if (!offset || !source) return 0;
    return WriteBase(*offset, Value(*source));
}

int WriteSerialClockMode(CKX_Setup& setup) {
    CKX_Parameter* reg = setup.FindParameter(kSPICLKMODE);
    const SerialSet* set = reg ? WrittenSet(setup) : nullptr;
    if (!set) return 0;
    const auto p = Require(setup, set->frequency, set->sensorType);
    if (!p) return 0;
    const auto [frequency, sensor] = *p;
    std::vector<unsigned> kHz, modes;
    if (!ClockList(setup, set->load, SensorOf(*sensor), kHz, modes)) return 0;
    for (std::size_t i = 0; i < kHz.size(); ++i)
        if (kHz[i] * 1000.0 == Value(*frequency)) return WriteBase(*reg, static_cast<double>(modes[i]));
    return WriteBase(*reg, 2.0);  // a clock the list does not offer
}

int WriteReadoutClockDivider(CKX_Setup& setup) {
    const auto p = Require(setup, kAEI_CLKDIV, kPWMPER);
    if (!p) return 0;
    const auto [divider, pwmper] = *p;
    const std::optional<bool> slowLoop = ReadoutInSpeedLoop(setup);
    if (!slowLoop) return 0;
    const CKX_Parameter* loops = setup.FindParameter(*slowLoop ? kSLPER : kCLPER);
    if (!loops) return 0;
    // The smallest power-of-two divider that lets the period fit the 15-bit counter.
    const double exponent = std::ceil(std::log2(Value(*pwmper) * Value(*loops) * std::ldexp(1.0, -15)));
    if (std::isnan(exponent)) return 0;
    return WriteBase(*divider, std::clamp(exponent, 0.0, 7.0));
}

int WriteReadoutPeriod(CKX_Setup& setup) {
    const auto p = Require(setup, kAEI_PER, kPWMPER);
    if (!p) return 0;
    const auto [period, pwmper] = *p;
    const std::optional<bool> slowLoop = ReadoutInSpeedLoop(setup);
    if (!slowLoop) return 0;
    const auto q = Require(setup, *slowLoop ? kSLPER : kCLPER, kAEI_CLKDIV);
    if (!q) return 0;
    const auto [loops, divider] = *q;
    return WriteBase(*period, Value(*pwmper) * Value(*loops) * 2.0 / std::pow(2.0, Value(*divider)) - 1.0);
}

int WriteReadoutCompareTime(CKX_Setup& setup) {
    const auto p =
        Require(setup, kAEI_CMPTIME, kAEI_TransferTime, kAEI_GuardTime, kAEI_ComputeTime, kAEI_ReadTime1Mhz);
    if (!p) return 0;
    const auto [compare, transfer, guard, compute, readAt1MHz] = *p;
    const std::optional<bool> slowLoop = ReadoutInSpeedLoop(setup);
    if (!slowLoop) return 0;
    // The clock of the encoder that is read: the load's when it is the serial one.
    const SerialSet* set = WrittenSet(setup);
    if (!set) return 0;
    const auto q = Require(setup, set->frequency, kDSP_freq, kAEI_CLKDIV);
    if (!q) return 0;
    const auto [frequency, clock, divider] = *q;
    const double period = *slowLoop ? SpeedLoopPeriod(setup) : CurrentLoopPeriod(setup);
    const double readout = Value(*readAt1MHz) * 1e6 / Value(*frequency) + Value(*compute);
    const double ticks = Value(*clock) * (period - Value(*transfer) - Value(*guard) - readout) /
                         std::pow(2.0, Value(*divider));
    if (!IsWritable(ticks)) return 0;
    return WriteBase(*compare, std::max(1.0, ticks));
}

}  // namespace dcdrive
