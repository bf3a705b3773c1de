// Round trips over setups drawn at random around the default drive. Once the drivers have brought a setup to
// what its registers can hold, another forward-then-reverse pass keeps every register within one count (and
// every user parameter within one register step), and leaves nothing non-finite.
#include <cstdint>
#include <random>

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
    template <class T>
    T Pick(std::initializer_list<T> values) {
        return *(values.begin() + Whole(0, static_cast<int>(values.size()) - 1));
    }

private:
    std::mt19937_64 m_gen;
};

// Forces each of the space-separated parameters to a value of its own draw.
template <class F>
void ForceEach(CKX_Setup& s, const char* names, F draw) {
    std::istringstream in(names);
    for (std::string name; in >> name;) Force(s, name.c_str(), draw());
}

// A drive configuration drawn around the default one. Combinations that the drive words cannot tell apart by
// design (no sensor at all, a load tachogenerator beside a motor sensor) are not drawn.
void Randomize(CKX_Setup& s, Draw& d) {
    const int clper = d.Whole(1, 2);
    dctest::Assign(
        s, "CLPER SLPER PWM_freq MotorSensorType LoadSensorType ControlMode",
        {double(clper), double(clper * d.Whole(4, 30)), d.Pick({10000.0, 16000.0, 20000.0, 25000.0, 40000.0}),
         double(d.Whole(1, 5)), double(d.Pick({0, 0, 1, 3, 4, 5})), double(d.Whole(0, 2))});
    ForceEach(s, "No_encoder_lines No_encoder_lines_LD", [&] { return d.Whole(50, 5000); });
    Force(s, "Motor_transmission", d.Uniform(1, 10) * d.Pick({1.0, -1.0}));
    Force(s, "Load_transmission", d.Uniform(1, 10));
    const char* flags =
        "isOverCurrent isMotorI2t isMotorOverTemp isDriveOverTemp isOverVoltage isUnderVoltage isDriveI2t "
        "isBrakeResistor isPositionControlError isSpeedControlError ExternalReference isAnalogueReference "
        "DigitalReferenceType isSWLS InputsPolarityType IsReverseMovementDirection EnablePolarity "
        "LSPPolarity LSNPolarity isMotorBrake save_CAN_baudrate save_axis_id ReverseCounting_MT "
        "ReverseCounting_LD isUseFilterOnCrtCtrlOutput isCompensateGravitationalLoads UseFilter "
        "isLimitMaximum isPosRange SSI_isMultiTurn SSI_isGray SSI_isReverseCounting isMotorTemperatureSensor "
        "isDriveTemperatureSensor DigitalReferenceConnector MotorSensorConnector LoadSensorConnector "
        "TransmissionType PositionControlType MotionCompleteType";
    ForceEach(s, flags, [&] { return d.Whole(0, 1); });
    ForceEach(s, "Kp_C_scl Ki_C_scl Kp_S_scl Ki_S_scl Kp_P_scl Ki_P_scl Kd_P_scl KFFS_scl", [&] {
        return d.Pick({0.0, 1.0}) + d.LogUniform(1e-3, 1e3);
    });
    Force(s, "KFFA_scl", d.LogUniform(1e-2, 1e5));
    Force(s, "filter_D", d.Uniform(0, 1));
    const double imaxPS = d.Uniform(2, 20), imaxM = d.Uniform(2, 20), imax = std::min(imaxPS, imaxM);
    dctest::Assign(s, "ImaxPS ImaxM InPS In IlimPS Imax_Prot I_I2t_D I_I2t_M OffsetCurrent",
                   {imaxPS, imaxM, imaxPS * d.Uniform(0.2, 0.8), imaxM * d.Uniform(0.2, 0.8),
                    imax * d.Uniform(0.1, 0.9), imax * d.Uniform(0.1, 1.0), imaxPS * d.Uniform(0.85, 1.0),
                    imaxM * d.Uniform(0.85, 1.0), d.Uniform(-0.1, 0.1) * imax});
    ForceEach(s,
              "time_Imax_Prot time_ERR_pos time_ERR_spd MotorBrake_releasetime MotorBrake_applytime "
              "FreezeControl_time MotionCompleteStabilizeTime",
              [&] { return d.Uniform(0.01, 2); });
    ForceEach(s, "ERR_speed Positive_SWLS PosRange_Maximum ErefMaxSpeed", [&] { return d.Uniform(1, 100); });
    ForceEach(s, "Negative_SWLS PosRange_Minimum", [&] { return -d.Uniform(1, 100); });
    ForceEach(s, "IPSatS IPSatP", [&] { return d.Uniform(10, 100); });
    ForceEach(s, "t_I2t_D t_I2t_M", [&] { return d.Uniform(3, 60); });
    ForceEach(s, "UMAX_PROT Vbrake", [&] { return d.Uniform(50, 70); });
    ForceEach(s, "FreezeControl_errband MotionCompleteSettleBand", [&] { return d.Uniform(0.001, 0.1); });
    dctest::Assign(
        s,
        "Limit_Speed UMIN_PROT Temp_2 ERR_position ErefMaxAcceleration FilterOnCurrentControllerOutput "
        "filter DeadBand_Point DeadBand_Range Axis_ID_list SSI_No_Bits_Revolution SSI_No_Bits_Turns SSI_freq",
        {d.Uniform(50, 300), d.Uniform(8, 30), d.Uniform(40, 110), d.Uniform(0.1, 10), d.Uniform(10, 1000),
         d.Uniform(100, 5000), d.Uniform(5, 300), d.Uniform(-1, 1), d.Uniform(0, 0.5),
         double(d.Whole(0, 255)), double(d.Whole(10, 20)), double(d.Whole(0, 16)),
         d.Pick({1e6, 2e6, 2.5e6})});
}

// What the setup holds, by parameter order, after checking that every value
// and limit is finite and no range inverted.
std::vector<double> SoundValues(const CKX_Setup& s, int index) {
    std::vector<double> v;
    for (std::size_t i = 0; i < s.GetParameterCount(); ++i) {
        const CKX_Parameter* p = s.GetParameterAt(i);
        EXPECT_TRUE(std::isfinite(p->GetValueInBaseUnit())) << "setup " << index << ": " << p->GetName();
        EXPECT_LE(p->GetMinInBaseUnit(), p->GetMaxInBaseUnit()) << "setup " << index << ": " << p->GetName();
        v.push_back(p->GetValueInBaseUnit());
    }
    return v;
}

TEST(RoundTrip, ForwardThenReverseKeepsGeneratedSetups) {
    dctest::PluginScaling internalUnits;
    const auto defaults = LoadDefaultSetup();
    Draw draw(20261206);
    for (int n = 0; n < kSetups && !HasFailure(); ++n) {  // one setup's report is enough to go on
        CKX_Setup setup(*defaults);
        Randomize(setup, draw);
        // A few passes bring the drawn values to what the registers hold: the
        // loop periods first, then the limits that depend on them (a reference
        // span beyond the speed limit is cut to it, then its ends settle).
        for (int pass = 0; pass < 3; ++pass) {
            ParametersToRegisters(setup);
            RegistersToParameters(setup);
        }
        ParametersToRegisters(setup);
        const std::vector<double> settled = SoundValues(setup, n);
        RegistersToParameters(setup);
        ParametersToRegisters(setup);
        const std::vector<double> again = SoundValues(setup, n);
        ASSERT_EQ(again.size(), defaults->GetParameterCount());
        for (std::size_t i = 0; i < settled.size(); ++i) {
            const std::string& name = setup.GetParameterAt(i)->GetName();
            const double a = settled[i];
            const double tolerance =
                dctest::IsRegister(name) ? 1.0 + 1e-9 * std::fabs(a) : 1e-6 * std::max(1.0, std::fabs(a));
            EXPECT_NEAR(again[i], a, tolerance) << "setup " << n << ": " << name;
        }
    }
}

}  // namespace
