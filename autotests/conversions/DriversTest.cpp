#include <map>

#include "TestSetup.h"
#include "conversions/Drivers.h"
#include "setups/DefaultSetup.h"

using namespace dcdrive;
using namespace dctest;

namespace {

// The default drive has every optional feature. A variant without one lacks the parameters its guard looks
// for: the steps that need them stay out, and neither driver shows a message.
TEST(Drivers, FeaturesTheDriveLacksAreLeftOut) {
    const auto defaults = LoadDefaultSetup();
    ASSERT_NE(defaults, nullptr);
    std::map<Guard, std::vector<std::string>> needs;
    for (const auto steps : {ReverseDriverSteps(), ForwardDriverSteps()})
        for (const DriverStep& step : steps)
            if (step.guard) needs[step.guard];
    CKX_Setup probe(*defaults);
    for (std::size_t i = 0; i < defaults->GetParameterCount(); ++i) {
        const std::string& name = defaults->GetParameterAt(i)->GetName();
        probe.RemoveParameter(name);
        for (auto& [guard, names] : needs)
            if (!guard(probe)) names.push_back(name);
        probe.AddParameter(name);  // the guards look only for the name
    }
    PluginScaling internalUnits;
    for (const auto& [guard, names] : needs) {
        EXPECT_TRUE(guard(*defaults)) << testing::PrintToString(names);
        CKX_Setup setup(*defaults);
        for (const std::string& name : names) setup.RemoveParameter(name);
        // The drive's ASR write needs the estimator flag whenever the new estimator is on.
        if (names == std::vector<std::string>{"isSpeedEstimator"}) setup.SetOption("newSpeedEstimator", "0");
        ReportedErrors errors;
        ParametersToRegisters(setup);
        RegistersToParameters(setup);
        EXPECT_TRUE(errors.Messages().empty())
            << "without " << testing::PrintToString(names) << ": " << errors.Messages().front();
    }
}

// The timing registers of a 20 kHz drive on a 60 MHz clock. A missing register stops only its own
// conversions: the steps after them still run.
TEST(Drivers, BothDriversConvertTheTimingRegistersInOrder) {
    auto setup = MakeSetup(
        "CurrentMeasurementType=1 UPGRADE=0x0844 SATPWM=0 PosSpd_in_FastLoop=0 DSP_freq=6e7 CLPER=1 "
        "MotionCompleteType=7 PWMPER=1500 SATID=0 MotorSensorType=1 PWMperiod=0 SATIQ=0 isLimitMaximum=0 "
        "PWM_freq=1 Ts_C=0 LoadSensorType=0 SLPER=10 Ts_S=0");
    CKX_Setup missing(*setup);
    RegistersToParameters(*setup);
    // The drive has no motion-complete settings: the guarded step stays out.
    ExpectEach(*setup, "PWM_freq Ts_S PosSpd_in_FastLoop isLimitMaximum MotionCompleteType",
               {20000, 5e-4, 1, 1, 7});
    Assign(*setup, "PWM_freq=10000 isLimitMaximum=0");
    ParametersToRegisters(*setup);
    // The copies run after "SATPWM" is written and take its new value.
    ExpectEach(*setup, "PWMPER UPGRADE SATPWM SATID SATIQ",
               {3000, 0x0840, 10000 * 0.13107, 10000 * 0.13107, 10000 * 0.13107});
    Assign(*setup, "MotionCompleteDefaultSettings=0");
    RegistersToParameters(*setup);
    EXPECT_EQ(ValueOf(*setup, "MotionCompleteType"), 0);
    Assign(missing, "-PWMPER");
    ReportedErrors errors;
    RegistersToParameters(missing);
    ExpectEach(missing, "PWM_freq PWMperiod Ts_C Ts_S PosSpd_in_FastLoop isLimitMaximum", {1, 0, 0, 0, 1, 1});
    EXPECT_FALSE(errors.Messages().empty());
}

}  // namespace
