#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "TestSetup.h"
#include "conversions/Conventions.h"
#include "conversions/Protection.h"
#include "setups/DefaultSetup.h"

using namespace dcdrive;
using dctest::Force;
using dctest::ValueOf;

namespace {

// The default setup: 65520 converter counts, 819 counts/V, 3276 counts/A,
// 1 ms speed loop, 2000/2pi counts/rad on the motor encoder.
constexpr double kCountsPerRad = 2000 / 6.283185307179586;

double MinOf(const CKX_Setup& s, const char* name) { return s.FindParameter(name)->GetMinInBaseUnit(); }
double MaxOf(const CKX_Setup& s, const char* name) { return s.FindParameter(name)->GetMaxInBaseUnit(); }

TEST(Protection, ControlErrorTimes) {
    // 65535 switches a check off; an enabled check never writes it.
    const struct {
        bool speed;
        double enabled, seconds, counts, flag;
    } cases[] = {{false, 0, 0.2, 65535, 0}, {false, 0.5, 70, 65535, 0}, {false, 1.9, 0.25, 250, 1},
                 {false, 1, 70, 65534, 1},  {true, 0, 0.3, 65535, 0},   {true, 1, 0.03, 30, 1}};
    for (const auto& c : cases) {
        auto setup = LoadDefaultSetup();
        const char* flag = c.speed ? "isSpeedControlError" : "isPositionControlError";
        const char* time = c.speed ? "time_ERR_spd" : "time_ERR_pos";
        Force(*setup, flag, c.enabled);
        Force(*setup, time, c.seconds);
        EXPECT_EQ((c.speed ? WriteSpeedErrorTimeRegister : WritePositionErrorTimeRegister)(*setup), 1);
        EXPECT_EQ(ValueOf(*setup, c.speed ? "TSERRMAX" : "TERRMAX"), c.counts) << time << " " << c.seconds;
        EXPECT_EQ((c.speed ? ReadSpeedErrorFlag : ReadPositionErrorFlag)(*setup), 1);
        EXPECT_EQ((c.speed ? ReadSpeedErrorTime : ReadPositionErrorTime)(*setup), 1);
        EXPECT_EQ(ValueOf(*setup, flag), c.flag) << time << " " << c.seconds;
        EXPECT_NEAR(ValueOf(*setup, time), std::min(c.counts, 32767.0) * 1e-3, 1e-12);
    }
}

TEST(Protection, ProtectionAndOptionWords) {
    const struct {
        const char* word;
        double before, flags, other;  // other: "isOverCurrent" / "LoadSensorType"
        const char* disableBrake;
        double expected;
    } cases[] = {{"PCR", 0xFFFF, 0, 0, "0", 0xFF40},     {"PCR", 0, 1, 1, "0", 0x00BF},
                 {"PCR", 0x0140, 0.5, 1.9, "0", 0x0141}, {"PCR", 0, 2, -1, "0", 0},
                 {"OSR", 0, 1, 0, "0", 0x0200},          {"OSR", 0x0200, 1, 0, "1", 0},
                 {"OSR", 0xFFFF, 0, 0, "0", 0xEDFF},     {"OSR", 0, 1.5, 3, "", 0x1200},
                 {"OSR", 0x0200, 0.9, -1, "0", 0x1000}};
    for (const auto& c : cases) {
        auto setup = LoadDefaultSetup();
        const bool pcr = c.word[0] == 'P';
        setup->SetOption("DisableBrake", c.disableBrake);
        Force(*setup, c.word, c.before);
        for (const char* f : {"isDriveI2t", "isUnderVoltage", "isOverVoltage", "isDriveOverTemp",
                              "isMotorOverTemp", "isMotorI2t", "isBrakeResistor"})
            Force(*setup, f, c.flags);
        Force(*setup, pcr ? "isOverCurrent" : "LoadSensorType", c.other);
        EXPECT_EQ((pcr ? WriteProtectionWord : WriteOptionWord)(*setup), 1);
        EXPECT_EQ(ValueOf(*setup, c.word), c.expected) << c.word << " " << c.before << " " << c.flags;
    }
}

// Each flag reads its own bit, with the range [0, 1]; a drive without motor
// temperature input (option 2) cannot enable the motor temperature check.
TEST(Protection, WordBitsReadBack) {
    const struct {
        Converter read;
        const char *word, *flag;
        int bit;
    } cases[] = {{ReadOverCurrentFlag, "PCR", "isOverCurrent", 0},
                 {ReadMotorOverTempFlag, "PCR", "isMotorOverTemp", 2},
                 {ReadDriveI2tFlag, "PCR", "isDriveI2t", 7},
                 {ReadDriveTemperatureSensorFlag, "SCR", "isDriveTemperatureSensor", 8},
                 {ReadBrakeResistorFlag, "OSR", "isBrakeResistor", 9}};
    for (const char* option : {"0", "2"})
        for (const auto& c : cases)
            for (const int word : {1 << c.bit, 0xFFFF & ~(1 << c.bit)}) {
                const double max = option[0] == '2' && c.read == ReadMotorOverTempFlag ? 0 : 1;
                auto setup = LoadDefaultSetup();
                setup->SetOption("DisableMotorTemperature", option);
                Force(*setup, c.word, word);
                EXPECT_EQ(c.read(*setup), 1) << c.flag;
                EXPECT_EQ(ValueOf(*setup, c.flag), word == (1 << c.bit) ? max : 0) << c.flag << " " << word;
                EXPECT_EQ(MaxOf(*setup, c.flag), max) << c.flag << " " << option;
            }
}

TEST(Protection, ErrorLimitRanges) {
    const struct {
        bool wide;
        double counts, max;
    } cases[] = {{true, 2e6, 2147483647.0}, {false, 30000, 32767.0}};
    for (const auto& c : cases) {
        auto setup = LoadDefaultSetup();
        Force(*setup, "ERRMAX", c.wide ? 1000 : c.counts);
        Force(*setup, "ERRMAXL", c.counts);
        if (!c.wide) setup->RemoveParameter("ERRMAXL");
        EXPECT_EQ(ReadPositionErrorLimit(*setup), 1);
        EXPECT_NEAR(ValueOf(*setup, "ERR_position"), c.counts / kCountsPerRad, 1e-9) << c.wide;
        EXPECT_NEAR(MaxOf(*setup, "ERR_position"), c.max / kCountsPerRad, 1e-6) << c.wide;
    }
    auto fine = LoadDefaultSetup();
    Force(*fine, "No_encoder_lines", 1e12);  // 6.4e8 counts per rad/s: 0.001 rad/s is above the top
    EXPECT_EQ(ReadSpeedErrorLimit(*fine), 1);
    EXPECT_NEAR(MinOf(*fine, "ERR_speed"), 1 / (2e9 * kCountsPerRad * 1e-3), 1e-22);
}

// Every user value goes to its register (golden count) and comes back within
// one register step.
TEST(Protection, RoundTripsWithinOneRegisterStep) {
    const struct {
        Converter write, read;
        const char *user, *counts;
        double value, expected;
    } rows[] = {
        {WriteOverVoltageRegister, ReadOverVoltageLevel, "UMAX_PROT", "UMAXPROT", 50.3, 41195},  // truncated
        {WriteDriveTemperatureRegister, ReadDriveTemperatureLimit, "Temp_2", "T2MAXPROT", -20, 6552},
        {WriteDriveI2tLimitRegister, ReadDriveI2tCurrent, "I_I2t_D", "I2TINTLIM_D", 5, 6036849},
        {WriteDriveI2tScaleRegister, ReadDriveI2tTime, "t_I2t_D", "SFI2T_D", 30, 67108.864 / 30},
        {WriteOverCurrentRegister, ReadOverCurrentLevel, "Imax_Prot", "IMAXPROT", 9, 29484},
        {WriteOverCurrentTimeRegister, ReadOverCurrentTime, "time_Imax_Prot", "TIMAXPROT", 0.05, 50},
        {WriteLargePositionErrorRegister, ReadPositionErrorLimit, "ERR_position", "ERRMAXL", 3,
         3 * kCountsPerRad},
        {WriteSpeedErrorRegister, ReadSpeedErrorLimit, "ERR_speed", "SERRMAX", 150, 0.15 * kCountsPerRad},
        {WriteMotorI2tLimitRegister, ReadMotorI2tCurrent, "I_I2t_M", "I2TINTLIM_M", 10, 60207507.36},
        {WriteBrakeVoltageRegister, ReadBrakeVoltage, "Vbrake", "BRAKELIM", 54.5, 44635.5}};
    auto setup = LoadDefaultSetup();
    for (const auto& r : rows) Force(*setup, r.user, r.value);
    for (const auto& r : rows) EXPECT_EQ(r.write(*setup), 1) << r.user;
    EXPECT_EQ(WriteDriveI2tWarningRegister(*setup), 1);
    // The default setup's registers are whole-count types: the host rounds.
    EXPECT_EQ(ValueOf(*setup, "II2TWARLIM_D"), std::round(6036849 * (1 - 2 / 30.0)));
    for (const auto& r : rows) {
        EXPECT_EQ(ValueOf(*setup, r.counts), std::round(r.expected)) << r.user;
        Force(*setup, r.user, 0.5);
        EXPECT_EQ(r.read(*setup), 1) << r.user;
        const double back = ValueOf(*setup, r.user);
        double step = 0;  // what one count either way from the written one reads as
        for (const double delta : {-1.0, 1.0}) {
            CKX_Setup nudged(*setup);
            Force(nudged, r.counts, ValueOf(*setup, r.counts) + delta);
            r.read(nudged);
            step = std::max(step, std::fabs(ValueOf(nudged, r.user) - back));
        }
        EXPECT_GT(step, 0) << r.user;
        EXPECT_LE(std::fabs(back - r.value), step * (1 + 1e-9)) << r.user;
    }
}

}  // namespace
