#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "TestSetup.h"
#include "conversions/Capabilities.h"
#include "conversions/Drivers.h"
#include "setups/DefaultSetup.h"

using namespace dcdrive;
using dctest::MakeSetup;
using dctest::ReportedErrors;
using dctest::ValueOf;

namespace {

// Steps per group, in list order: a step added, lost or moved to another
// group changes these counts.
std::vector<int> StepsPerItem(std::span<const DriverStep> steps) {
    std::vector<int> counts;
    for (const auto& step : steps) {
        if (step.item == static_cast<int>(counts.size()) + 1) counts.push_back(0);
        EXPECT_EQ(step.item, static_cast<int>(counts.size())) << step.name;  // groups in order, none skipped
        ++counts.back();
    }
    return counts;
}

// Each step's guard: the one of its group, unless listed in `except`.
void ExpectGuards(std::span<const DriverStep> steps, const std::map<int, Guard>& byItem,
                  const std::map<std::string, Guard>& except) {
    for (const auto& step : steps) {
        const auto special = except.find(step.name);
        const auto common = byItem.find(step.item);
        const Guard expected = special != except.end()  ? special->second
                               : common != byItem.end() ? common->second
                                                        : nullptr;
        EXPECT_EQ(step.guard, expected) << step.name;
    }
}

// Every step has its converter: none is skipped for want of one.
void ExpectAllWired(std::span<const DriverStep> steps) {
    for (const auto& step : steps) EXPECT_NE(step.convert, nullptr) << step.name;
}

TEST(Drivers, ReverseList) {
    EXPECT_EQ(StepsPerItem(ReverseDriverSteps()),
              (std::vector<int>{1, 2, 1,  2, 4, 1, 5, 5, 3, 2, 8, 6, 8, 13, 5, 2,
                                1, 5, 10, 2, 2, 2, 4, 1, 3, 1, 6, 6, 1, 2,  1, 3}));
    ExpectGuards(ReverseDriverSteps(),
                 {{16, HasSoftwareLimits},
                  {17, HasSpeedEstimatorParameter},
                  {19, HasAnalogueReferenceScaling},
                  {20, HasCanIdentitySaving},
                  {21, HasReverseCounting},
                  {22, HasEncoderFilters},
                  {23, HasMotorBrake},
                  {24, HasSpeedForward},
                  {25, HasFreezeControl},
                  {26, HasInputsPolarity},
                  {27, HasMotorSerialEncoderReadback},
                  {28, HasLoadSerialEncoderReadback},
                  {29, HasEncoderResolutionRegister},
                  {30, HasPositionRange},
                  {31, HasMovementDirection},
                  {32, HasMotionCompleteSettings}},
                 {{"ACR -> IsAutoActivatedAfterPowerOn", HasAutoActivationFlag}});
    ExpectAllWired(ReverseDriverSteps());
}

TEST(Drivers, ForwardList) {
    EXPECT_EQ(StepsPerItem(ForwardDriverSteps()), (std::vector<int>{7, 1, 8, 4, 2, 3, 6, 7, 7,  8, 4, 1, 2, 6,
                                                                    4, 1, 2, 1, 3, 2, 1, 1, 11, 2, 1, 2, 2}));
    ExpectGuards(ForwardDriverSteps(),
                 {{2, HasI2tWarningLevels},
                  {12, HasSoftwareLimits},
                  {14, HasAnalogueReferenceScaling},
                  {16, HasCanIdentitySaving},
                  {17, HasReverseCounting},
                  {18, HasEncoderFilters},
                  {19, HasMotorBrake},
                  {20, HasFreezeControl},
                  {22, HasSinCosFractionRegister},
                  {23, HasMotorSerialEncoder},
                  {24, HasEncoderResolutionRegister},
                  {25, HasBiquadFilters},
                  {26, HasPositionRange},
                  {27, HasMotionCompleteSettings}},
                 {{"-> ERRMAXL", HasLargePositionError},
                  {"-> I2TWARLIM_M", HasI2tWarningLevels},
                  {"-> SPICLKMODE", HasSerialEncoderClockMode}});
    ExpectAllWired(ForwardDriverSteps());
}

// The timing registers of a 20 kHz drive on a 60 MHz clock.
std::unique_ptr<CKX_Setup> TimingSetup() {
    return MakeSetup({{"DSP_freq", 6e7},
                      {"PWMPER", 1500},
                      {"PWM_freq", 1},
                      {"PWMperiod", 0},
                      {"CLPER", 1},
                      {"SLPER", 10},
                      {"Ts_C", 0},
                      {"Ts_S", 0},
                      {"UPGRADE", 0x0844},
                      {"PosSpd_in_FastLoop", 0},
                      {"isLimitMaximum", 0},
                      {"MotionCompleteType", 7},
                      {"SATPWM", 0},
                      {"SATID", 0},
                      {"SATIQ", 0},
                      {"CurrentMeasurementType", 1},
                      {"MotorSensorType", 1},
                      {"LoadSensorType", 0}});
}

TEST(Drivers, ReverseDriverConvertsTheRegisters) {
    auto setup = TimingSetup();
    RegistersToParameters(*setup);
    EXPECT_DOUBLE_EQ(ValueOf(*setup, "PWM_freq"), 20000);
    EXPECT_DOUBLE_EQ(ValueOf(*setup, "PWMperiod"), 5e-5);
    EXPECT_DOUBLE_EQ(ValueOf(*setup, "Ts_C"), 5e-5);
    EXPECT_DOUBLE_EQ(ValueOf(*setup, "Ts_S"), 5e-4);
    EXPECT_EQ(ValueOf(*setup, "PosSpd_in_FastLoop"), 1);
    EXPECT_EQ(ValueOf(*setup, "isLimitMaximum"), 1);
    // The drive has no motion-complete settings: the guarded step stays out.
    EXPECT_EQ(ValueOf(*setup, "MotionCompleteType"), 7);

    dctest::Add(*setup, {{"MotionCompleteDefaultSettings", 0}});
    RegistersToParameters(*setup);
    EXPECT_EQ(ValueOf(*setup, "MotionCompleteType"), 0);
}

TEST(Drivers, AMissingRegisterStopsOnlyItsOwnConversions) {
    auto setup = TimingSetup();
    setup->RemoveParameter("PWMPER");
    ReportedErrors errors;
    RegistersToParameters(*setup);
    EXPECT_EQ(ValueOf(*setup, "PWM_freq"), 1);
    EXPECT_EQ(ValueOf(*setup, "PWMperiod"), 0);
    EXPECT_EQ(ValueOf(*setup, "Ts_C"), 0);
    EXPECT_EQ(ValueOf(*setup, "Ts_S"), 0);
    // The steps after them still ran.
    EXPECT_EQ(ValueOf(*setup, "PosSpd_in_FastLoop"), 1);
    EXPECT_EQ(ValueOf(*setup, "isLimitMaximum"), 1);
    EXPECT_FALSE(errors.Messages().empty());
}

TEST(Drivers, ForwardDriverWritesTheRegistersInOrder) {
    auto setup = TimingSetup();
    setup->SetParameterValueInBaseUnit("PWM_freq", 10000);
    setup->SetParameterValueInBaseUnit("PosSpd_in_FastLoop", 1);
    setup->SetParameterValueInBaseUnit("isLimitMaximum", 0);
    ParametersToRegisters(*setup);
    EXPECT_DOUBLE_EQ(ValueOf(*setup, "PWMPER"), 3000);
    EXPECT_DOUBLE_EQ(ValueOf(*setup, "SATPWM"), 10000 * 0.13107);
    // The copies run after "SATPWM" is written and take its new value.
    EXPECT_DOUBLE_EQ(ValueOf(*setup, "SATID"), 10000 * 0.13107);
    EXPECT_DOUBLE_EQ(ValueOf(*setup, "SATIQ"), 10000 * 0.13107);
    EXPECT_EQ(ValueOf(*setup, "UPGRADE"), 0x0840);

    setup->SetParameterValueInBaseUnit("PWM_freq", 0);
    RegistersToParameters(*setup);
    EXPECT_DOUBLE_EQ(ValueOf(*setup, "PWM_freq"), 10000);
}

// The shipped default setup holds registers and user parameters that agree:
// running both drivers over it changes no value beyond rounding.
TEST(Drivers, DefaultSetupIsStableUnderBothDrivers) {
    const auto setup = dcdrive::LoadDefaultSetup();
    ASSERT_NE(setup, nullptr);
    std::map<std::string, double> before;
    for (std::size_t i = 0; i < setup->GetParameterCount(); ++i)
        before[setup->GetParameterAt(i)->GetName()] = setup->GetParameterAt(i)->GetValueInBaseUnit();
    dctest::PluginScaling internalUnits;
    ReportedErrors errors;
    ParametersToRegisters(*setup);
    RegistersToParameters(*setup);
    EXPECT_TRUE(errors.Messages().empty()) << errors.Messages().front();
    // Registers come back exactly; a user parameter may move by what the
    // rounding of its register to whole counts allows (far below 1e-6 here).
    for (const auto& [name, value] : before) {
        const bool isRegister = std::none_of(name.begin(), name.end(), [](char c) { return std::islower(c); });
        const double tolerance = (isRegister ? 1e-12 : 1e-6) * std::max(1.0, std::fabs(value));
        EXPECT_NEAR(ValueOf(*setup, name.c_str()), value, tolerance) << name;
    }
}

}  // namespace
