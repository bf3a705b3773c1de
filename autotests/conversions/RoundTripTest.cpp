// Round trips over many generated setups: sensors, connectors, transmissions,
// control modes, flags, gains, currents and times drawn at random around the
// default drive. After the drivers have brought a setup to what its
// registers can hold, another forward-then-reverse pass must keep every
// register within one count (and so every user parameter within one register
// step), and no pass may leave a NaN, an infinity or an inverted range.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "TestSetup.h"
#include "conversions/Drivers.h"
#include "setups/DefaultSetup.h"

using namespace dcdrive;
using dctest::Force;

namespace {

constexpr int kSetups = 2000;

class Draw {
public:
    explicit Draw(std::uint64_t seed) : m_gen(seed) {}
    double Uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(m_gen); }
    double LogUniform(double lo, double hi) { return std::exp(Uniform(std::log(lo), std::log(hi))); }
    int Whole(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_gen); }
    double Flag() { return Whole(0, 1); }
    template <class T>
    T Pick(std::initializer_list<T> values) {
        return *(values.begin() + Whole(0, static_cast<int>(values.size()) - 1));
    }

private:
    std::mt19937_64 m_gen;
};

// A drive configuration drawn around the default one. Combinations that the
// drive words cannot tell apart by design (no sensor at all, a load
// tachogenerator beside a motor sensor) are not drawn.
void Randomize(CKX_Setup& s, Draw& d) {
    const double pwm = d.Pick({10000.0, 16000.0, 20000.0, 25000.0, 40000.0});
    const int clper = d.Whole(1, 2);
    Force(s, "PWM_freq", pwm);
    Force(s, "CLPER", clper);
    Force(s, "SLPER", clper * d.Whole(4, 30));
    const int motor = d.Whole(1, 5);
    Force(s, "MotorSensorType", motor);
    Force(s, "LoadSensorType", d.Pick({0, 0, 1, 3, 4, 5}));
    Force(s, "MotorSensorConnector", d.Flag());
    Force(s, "LoadSensorConnector", d.Flag());
    Force(s, "No_encoder_lines", d.Whole(50, 5000));
    Force(s, "No_encoder_lines_LD", d.Whole(50, 5000));
    Force(s, "TransmissionType", d.Flag());
    Force(s, "Motor_transmission", d.Uniform(1, 10) * d.Pick({1.0, -1.0}));
    Force(s, "Load_transmission", d.Uniform(1, 10));
    Force(s, "ControlMode", d.Whole(0, 2));
    Force(s, "PositionControlType", d.Flag());
    for (const char* flag : {"isOverCurrent", "isMotorI2t", "isMotorOverTemp", "isDriveOverTemp", "isOverVoltage",
                             "isUnderVoltage", "isDriveI2t", "isBrakeResistor", "isPositionControlError",
                             "isSpeedControlError", "ExternalReference", "isAnalogueReference",
                             "DigitalReferenceType", "isSWLS", "InputsPolarityType", "IsReverseMovementDirection",
                             "EnablePolarity", "LSPPolarity", "LSNPolarity", "isMotorBrake", "save_CAN_baudrate",
                             "save_axis_id", "ReverseCounting_MT", "ReverseCounting_LD", "isUseFilterOnCrtCtrlOutput",
                             "isCompensateGravitationalLoads", "UseFilter", "isLimitMaximum", "isPosRange",
                             "SSI_isMultiTurn", "SSI_isGray", "SSI_isReverseCounting", "isMotorTemperatureSensor",
                             "isDriveTemperatureSensor", "DigitalReferenceConnector"})
        Force(s, flag, d.Flag());
    for (const char* gain : {"Kp_C_scl", "Ki_C_scl", "Kp_S_scl", "Ki_S_scl", "Kp_P_scl", "Ki_P_scl", "Kd_P_scl",
                             "KFFS_scl"})
        Force(s, gain, d.Pick({0.0, 1.0}) + d.LogUniform(1e-3, 1e3));
    Force(s, "KFFA_scl", d.LogUniform(1e-2, 1e5));
    Force(s, "filter_D", d.Uniform(0, 1));
    const double imaxPS = d.Uniform(2, 20), imaxM = d.Uniform(2, 20), imax = std::min(imaxPS, imaxM);
    Force(s, "ImaxPS", imaxPS);
    Force(s, "ImaxM", imaxM);
    Force(s, "InPS", imaxPS * d.Uniform(0.2, 0.8));
    Force(s, "In", imaxM * d.Uniform(0.2, 0.8));
    Force(s, "IlimPS", imax * d.Uniform(0.1, 0.9));
    Force(s, "Imax_Prot", imax * d.Uniform(0.1, 1.0));
    Force(s, "I_I2t_D", imaxPS * d.Uniform(0.85, 1.0));
    Force(s, "I_I2t_M", imaxM * d.Uniform(0.85, 1.0));
    Force(s, "IPSatS", d.Uniform(10, 100));
    Force(s, "IPSatP", d.Uniform(10, 100));
    Force(s, "OffsetCurrent", d.Uniform(-0.1, 0.1) * imax);
    Force(s, "Limit_Speed", d.Uniform(50, 300));
    for (const char* time : {"time_Imax_Prot", "time_ERR_pos", "time_ERR_spd", "MotorBrake_releasetime",
                             "MotorBrake_applytime", "FreezeControl_time", "MotionCompleteStabilizeTime"})
        Force(s, time, d.Uniform(0.01, 2));
    Force(s, "t_I2t_D", d.Uniform(3, 60));
    Force(s, "t_I2t_M", d.Uniform(3, 60));
    Force(s, "UMAX_PROT", d.Uniform(50, 70));
    Force(s, "UMIN_PROT", d.Uniform(8, 30));
    Force(s, "Vbrake", d.Uniform(50, 70));
    Force(s, "Temp_2", d.Uniform(40, 110));
    Force(s, "ERR_position", d.Uniform(0.1, 10));
    Force(s, "ERR_speed", d.Uniform(1, 100));
    Force(s, "Negative_SWLS", -d.Uniform(1, 100));
    Force(s, "Positive_SWLS", d.Uniform(1, 100));
    Force(s, "PosRange_Minimum", -d.Uniform(1, 100));
    Force(s, "PosRange_Maximum", d.Uniform(1, 100));
    Force(s, "ErefMaxSpeed", d.Uniform(1, 100));
    Force(s, "ErefMaxAcceleration", d.Uniform(10, 1000));
    Force(s, "FilterOnCurrentControllerOutput", d.Uniform(100, 5000));
    Force(s, "filter", d.Uniform(5, 300));
    Force(s, "DeadBand_Point", d.Uniform(-1, 1));
    Force(s, "DeadBand_Range", d.Uniform(0, 0.5));
    Force(s, "FreezeControl_errband", d.Uniform(0.001, 0.1));
    Force(s, "MotionCompleteSettleBand", d.Uniform(0.001, 0.1));
    Force(s, "MotionCompleteType", d.Flag());
    Force(s, "Axis_ID_list", d.Whole(0, 255));
    Force(s, "SSI_No_Bits_Revolution", d.Whole(10, 20));
    Force(s, "SSI_No_Bits_Turns", d.Whole(0, 16));
    Force(s, "SSI_freq", d.Pick({1e6, 2e6, 2.5e6}));
}

bool IsRegister(const std::string& name) {
    for (char c : name)
        if (c >= 'a' && c <= 'z') return false;
    return true;
}

// What the setup holds, by parameter order (drivers neither add nor remove).
std::vector<double> Values(const CKX_Setup& s) {
    std::vector<double> v;
    for (std::size_t i = 0; i < s.GetParameterCount(); ++i) v.push_back(s.GetParameterAt(i)->GetValueInBaseUnit());
    return v;
}

// Every value and limit finite, no range inverted.
void ExpectSound(const CKX_Setup& s, int index) {
    for (std::size_t i = 0; i < s.GetParameterCount(); ++i) {
        const CKX_Parameter* p = s.GetParameterAt(i);
        ASSERT_TRUE(std::isfinite(p->GetValueInBaseUnit())) << "setup " << index << ": " << p->GetName();
        ASSERT_LE(p->GetMinInBaseUnit(), p->GetMaxInBaseUnit()) << "setup " << index << ": " << p->GetName();
    }
}

TEST(RoundTrip, ForwardThenReverseKeepsGeneratedSetups) {
    dctest::PluginScaling internalUnits;
    const auto defaults = LoadDefaultSetup();
    Draw draw(20261206);
    int compared = 0;
    for (int n = 0; n < kSetups; ++n) {
        CKX_Setup setup(*defaults);
        Randomize(setup, draw);
        // A few passes bring the drawn values to what the registers hold: the
        // first sets the loop periods from the dividers, the next ones the
        // limits that depend on them (a reference span beyond the speed
        // limit is cut to it, and its ends then settle on whole counts).
        for (int pass = 0; pass < 3; ++pass) {
            ParametersToRegisters(setup);
            RegistersToParameters(setup);
        }
        ParametersToRegisters(setup);
        ExpectSound(setup, n);
        const std::vector<double> settled = Values(setup);
        RegistersToParameters(setup);
        ParametersToRegisters(setup);
        ExpectSound(setup, n);
        const std::vector<double> again = Values(setup);
        // The position-loop saturation in per cent is read back as "IMAXP"
        // over "SATP". In speed control "SATP" holds the speed limit while
        // "IMAXP" holds a current (the drive does not use it there); with the
        // position loop over the speed loop and a load sensor, "SATP" counts
        // load speed while "IMAXP" counts motor speed. Neither comes back.
        const double mode = dctest::ValueOf(setup, "ControlMode");
        const bool speedControl = mode == 1 || (mode == 0 && dctest::ValueOf(setup, "PositionControlType") == 1 &&
                                                dctest::ValueOf(setup, "LoadSensorType") != 0);
        for (std::size_t i = 0; i < settled.size(); ++i) {
            const std::string& name = setup.GetParameterAt(i)->GetName();
            if (speedControl && (name == "IPSatP" || name == "IMAXP")) {
                ++compared;
                continue;
            }
            const double a = settled[i], b = again[i];
            const double tolerance = IsRegister(name) ? 1.0 + 1e-9 * std::fabs(a) : 1e-6 * std::max(1.0, std::fabs(a));
            EXPECT_NEAR(b, a, tolerance) << "setup " << n << ": " << name;
            ++compared;
        }
        if (HasFailure()) break;  // one setup's report is enough to go on
    }
    EXPECT_EQ(compared, kSetups * static_cast<int>(defaults->GetParameterCount()));
}

}  // namespace
