// The encoder connection tests on real widgets against the virtual drive in
// virtual time: a shaft turned by hand passes, a shaft left alone or turned
// by exactly whole revolutions fails with the no-pulses text, the drive's
// failures give their texts and leave the dialog usable, closing during a
// run stops the drive, and the motor setup's buttons open them.
#include <filesystem>
#include <numbers>

#include "EncoderTestSupport.h"
#include "editors/MotorSetupDialog.h"
#include "kx/gui/TestDlg.h"
#include "tests/EncoderTestRules.h"
#include "tests/TestAnalogueRef.h"
#include "tests/TestEncoderConnections.h"

namespace {

using dctest::Quoted;

constexpr double kTurn = 2 * std::numbers::pi;

const std::string kNoPulses = dcdrive::kNoEncoderPulsesText;

// The result of a run as Details shows it, and the dialog ready again.
std::string ExpectFailure(const std::string& message) {
    return "assert 10004 text \"Test failed\"\nassert 10000 text \"Start\"\nclick 10003\nmessage " +
           Quoted(message) + "\nclick ok\n";
}

class EncoderTest : public dctest::InputTest {
protected:
    template <class Dialog>
    dctest::ScriptRun Run(CKX_Setup& setup, const std::string& script) {
        dcdrive::ParametersToRegisters(setup);
        Dialog dialog(setup, 1, nullptr);
        return dctest::RunScript("expect \"Encoder Connections Test\"\n" + script,
                                 [&] { return dialog.DoModal(); });
    }
};

// The default plant: a 500-line motor encoder, 2000 counts a revolution.
// The test reads the counter every 20 ms from Start; a turn from 42 ms to
// 57 ms after it falls between two readings.
TEST_F(EncoderTest, IncrementalEncoderPassesOnlyWhenTheShaftMoves) {
    const struct {
        const char* what;
        std::string hands;    // between Start and Stop
        const char* counter;  // the motor counter at Stop
        bool passes;
    } cases[] = {
        {"a quarter turn", "turn motor 1.5707963267948966 0.2\n", "500", true},
        {"one count back", "turn motor -0.0031415926535897933 0.01\n", "-1", true},
        {"left alone", "", "0", false},
        // Done between two readings: the counter stands where it started.
        {"exactly one revolution", "turn motor 6.283185307179586 0.015\n", "2000", false},
        {"exactly two revolutions back", "turn motor -12.566370614359172 0.017\n", "-4000", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Install();
        auto setup = dcdrive::LoadDefaultSetup();
        const std::string verdict =
            c.passes ? "assert 10004 text \"Test passed\"\n" : ExpectFailure(kNoPulses);
        const auto run = Run<CTestEncoderConnections>(
            *setup,
            "assert 1024 enabled\nassert 1025 disabled\nclick 10000\nwait 0.04\n"
            "assert 10001 text \"Running test\"\nwait 0.002\n" +
                c.hands + "wait 0.1\nassert 3413 text \"" + c.counter +
                "\"\nassert 1023 text \"\"\nclick 10000\nwait 0.05\n" + verdict + "click 2\n");
        EXPECT_HELD(run);
        ExpectDriveIdle();
    }
}

// The counter keeps its count from one run to the next; only a move within
// the run counts.
TEST_F(EncoderTest, ARunStartsFromWhereTheCounterStands) {
    Install();
    auto setup = dcdrive::LoadDefaultSetup();
    const auto run = Run<CTestEncoderConnections>(
        *setup,
        "click 10000\nwait 0.05\nturn motor 1 0.1\nwait 0.05\nclick 10000\nwait 0.05\n"
        "assert 10004 text \"Test passed\"\nshot encoder-test-passed\n"
        "click 10000\nwait 0.2\nassert 3413 text \"318\"\nclick 10000\nwait 0.05\n" +
            ExpectFailure(kNoPulses) + "click 2\n");
    EXPECT_HELD(run);
}

// A sine/cosine encoder on the load of a motor without a sensor: the motor
// picture stays greyed, the load's counter shows and moves.
TEST_F(EncoderTest, LoadEncoderAloneIsWatched) {
    vdrive::Plant plant = dctest::DefaultPlant();
    plant.encoder.loadLines = 250;
    Install(plant);
    auto setup = dctest::Variant({{"MotorSensorType", 0},
                                  {"LoadSensorType", 1},
                                  {"No_encoder_lines_LD", 250},
                                  {"LoadSensorConnector", 1}});
    const auto run = Run<CTestEncoderConnections>(
        *setup,
        "assert 1024 disabled\nassert 1025 enabled\nclick 10000\nwait 0.05\nturn load 3.14159 0.2\n"
        "wait 0.05\nassert 3413 text \"\"\nassert 1023 text \"499\"\nclick 10000\nwait 0.05\n"
        "assert 10004 text \"Test passed\"\nclick 2\n");
    EXPECT_HELD(run);
    ExpectDriveIdle();
}

// Serial encoders: SSI on the motor, BiSS on the load (13 bits).
TEST_F(EncoderTest, SerialEncoderPassesOnlyWhenTheShaftMoves) {
    const struct {
        const char* what;
        double ssiType;
        std::string hands;
        const char* position;
        bool passes;
    } cases[] = {
        {"SSI, a quarter turn", 1, "turn motor 1.5707963267948966 0.2\n", "2048", true},
        {"BiSS, left alone", 2, "", "0", false},
        {"SSI, one revolution between two readings", 1, "turn motor 6.283185307179586 0.015\n", "8192",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Install();
        auto setup = dctest::SampleSetup("ssi-biss");
        dctest::Set(*setup, "SSITYPE", c.ssiType);
        const std::string purpose =
            c.ssiType == 2 ? dcdrive::kBissEncoderTestPurpose : dcdrive::kSsiEncoderTestPurpose;
        const std::string verdict =
            c.passes ? "assert 10004 text \"Test passed\"\n" : ExpectFailure(kNoPulses);
        const auto run = Run<CTestSSIEncoderConnections>(
            *setup, "assert 10015 text " + Quoted(purpose) +
                        "\nassert 1024 enabled\nassert 1025 disabled\nclick 10000\nwait 0.04\n"
                        "assert 10001 text \"Running test\"\nwait 0.002\n" +
                        c.hands + "wait 0.1\nassert 3131 text \"" + c.position + "\"\n" +
                        (c.passes ? "shot ssi-encoder-test\n" : "") + "click 10000\nwait 0.05\n" + verdict +
                        "click 2\n");
        EXPECT_HELD(run);
        ExpectDriveIdle();
    }
}

// Each failure ends the run with its text under Details; with the cause
// gone, a turned shaft passes in the same dialog.
TEST_F(EncoderTest, FailuresEndTheRunWithTheirTextAndLeaveTheDialogUsable) {
    const std::string internal = CKX_TestDlg::msc_pszErrInternal;
    const struct {
        bool serial;
        const char* fault;
        bool duringRun;
        std::string message;
    } cases[] = {
        {false, "short-circuit", true, "Drive / Motor shortcircuit protection triggered."},
        {false, "comm-down", false, internal},
        {false, "no-program", false, internal},
        {true, "short-circuit", true, "Drive / Motor shortcircuit protection triggered."},
        {true, "feedback-error", true, "Feedback error."},
        {true, "comm-down", true, internal},
        {true, "no-program", false, internal},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.serial ? "serial: " : "incremental: ") + c.fault);
        Install();
        auto setup = c.serial ? dctest::SampleSetup("ssi-biss") : dcdrive::LoadDefaultSetup();
        const std::string on = std::string("fault ") + c.fault + " on\n";
        const std::string off = std::string("fault ") + c.fault + " off\n";
        const std::string start = c.duringRun ? "click 10000\nwait 0.05\n" + on : on + "click 10000\n";
        const std::string script =
            start + "wait 0.05\n" + ExpectFailure(c.message) + off +
            "click 10000\nwait 0.05\nturn motor 1 0.1\nwait 0.05\nclick 10000\nwait 0.05\n"
            "assert 10004 text \"Test passed\"\nclick 2\n";
        const auto run = c.serial ? Run<CTestSSIEncoderConnections>(*setup, script)
                                  : Run<CTestEncoderConnections>(*setup, script);
        EXPECT_HELD(run);
        ExpectDriveIdle();
    }
}

TEST_F(EncoderTest, ClosingDuringARunStopsTheDrive) {
    for (bool serial : {false, true}) {
        SCOPED_TRACE(serial ? "serial" : "incremental");
        Install();
        auto setup = serial ? dctest::SampleSetup("ssi-biss") : dcdrive::LoadDefaultSetup();
        const std::string script = "click 10000\nwait 0.05\nturn motor 1 0.1\nclick 2\n";
        const auto run = serial ? Run<CTestSSIEncoderConnections>(*setup, script)
                                : Run<CTestEncoderConnections>(*setup, script);
        EXPECT_HELD(run);
        ExpectDriveIdle();
    }
}

// The motor setup's "Test Connections" buttons open the test of the sensor
// chosen there, on the values as the editor holds them.
TEST_F(EncoderTest, MotorSetupButtonsOpenTheirTest) {
    const struct {
        const char* what;
        const char* sample;  // null: the default setup
        std::string script;
    } cases[] = {
        {"incremental encoder on the motor", nullptr,
         "click 1187\nexpect \"Encoder Connections Test\"\nassert 10015 text \"Checks presence of encoder "
         "signals A and B.\"\nclick 10000\nwait 0.05\nturn motor 1 0.1\nwait 0.05\nclick 10000\nwait 0.05\n"
         "assert 10004 text \"Test passed\"\nclick 2\n"},
        // 1000 lines typed in the editor: one revolution of the 500-line
        // plant encoder is half a revolution for the test, and counts.
        {"lines typed in the editor reach the test", nullptr,
         "set 1179 1000\nclick 1187\nexpect \"Encoder Connections Test\"\nclick 10000\nwait 0.042\n"
         "turn motor 6.283185307179586 0.015\nwait 0.05\nclick 10000\nwait 0.05\n"
         "assert 10004 text \"Test passed\"\nclick 2\n"},
        {"SSI encoder on the motor", "ssi-biss",
         "click 3452\nexpect \"Encoder Connections Test\"\nassert 10015 text \"Checks position reading from "
         "the SSI encoder.\"\nclick 2\n"},
        {"BiSS encoder on the load", "ssi-biss",
         "click 3472\nexpect \"Encoder Connections Test\"\nassert 1024 enabled\nclick 2\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Install();
        auto setup = c.sample ? dctest::SampleSetup(c.sample) : dcdrive::LoadDefaultSetup();
        dcdrive::ParametersToRegisters(*setup);
        CMotorSetupDialog editor(*setup, nullptr);
        const auto run = dctest::RunScript(
            "expect \"DC Motor Setup\"\n" + c.script + "expect \"DC Motor Setup\"\nclick 2\n",
            [&] { return editor.DoModal(); });
        EXPECT_HELD(run);
        ExpectDriveIdle();
    }
}

}  // namespace

namespace {

// Each input test's Help opens its own topic.
TEST_F(EncoderTest, HelpOpensTheTopicOfEachTest) {
    if (!std::filesystem::exists(std::string(DCDRIVE_GUI_DIRECTORY) + "dcdrive.qhc"))
        GTEST_FAIL() << "the help collection was not built";
    setenv("KX_GUI_DIRECTORY", DCDRIVE_GUI_DIRECTORY, 1);
    Install();
    auto setup = dctest::SampleSetup("ssi-biss");
    dcdrive::ParametersToRegisters(*setup);
    const std::string script = "click 10024\nexpect-help ";
    CTestAnalogueRef analogue(*setup, 1, nullptr);
    auto run = dctest::RunScript(script + "0x40104\nclick 2\n", [&] { return analogue.DoModal(); });
    EXPECT_HELD(run);
    CTestEncoderConnections incremental(*setup, 1, nullptr);
    run = dctest::RunScript(script + "0x4010D\nclick 2\n", [&] { return incremental.DoModal(); });
    EXPECT_HELD(run);
    CTestSSIEncoderConnections serial(*setup, 1, nullptr);
    run = dctest::RunScript(script + "0x40117\nclick 2\n", [&] { return serial.DoModal(); });
    EXPECT_HELD(run);
}

}  // namespace
