// The encoder connection tests on real widgets against the virtual drive in
// virtual time: a shaft turned by hand passes, a shaft left alone or turned
// by exactly whole revolutions fails with the no-pulses text, the drive's
// failures give their texts and leave the dialog usable, and the motor
// setup's buttons open them.
#include "DialogTestSupport.h"
#include "editors/MotorSetupDialog.h"
#include "kx/gui/TestDlg.h"
#include "tests/EncoderTestRules.h"
#include "tests/TestEncoderConnections.h"

namespace {

using dctest::ExpectFailure;

class EncoderTest : public dctest::DialogTest {
protected:
    // The default setup, or the sample, with `changes`.
    void UseSetup(const char* sample, const std::vector<dctest::Change>& changes = {}) {
        auto setup = sample ? dctest::SampleSetup(sample) : dcdrive::LoadDefaultSetup();
        for (const auto& c : changes) dctest::Set(*setup, c.name, c.value);
        DialogTest::UseSetup(std::move(setup));
    }
    dctest::ScriptRun RunTest(bool serial, const std::string& script) {
        const std::string s = "expect \"Encoder Connections Test\"\n" + script;
        return serial ? Run<CTestSSIEncoderConnections>(s) : Run<CTestEncoderConnections>(s);
    }
};

// The default plant: a 500-line motor encoder, 2000 counts a revolution, a
// 13-bit serial encoder. The test reads the counter every 20 ms from Start;
// a turn from 42 ms to 57 ms after it falls between two readings.
TEST_F(EncoderTest, PassesOnlyWhenTheShaftMoves) {
    const auto counter = [](const char* motor, const char* load = "") {
        return "assert 3413 text \"" + std::string(motor) + "\"\nassert 1023 text \"" + load + "\"\n";
    };
    const auto position = [](const char* at) { return "assert 3131 text \"" + std::string(at) + "\"\n"; };
    const auto purpose = [](const char* text) { return "assert 10015 text " + dctest::Quoted(text) + "\n"; };
    const struct {
        const char* what;
        const char* sample;  // null: the default setup; a sample: the serial encoder test
        std::vector<dctest::Change> changes;
        nlohmann::json plant;
        std::string hands;   // between Start and Stop
        std::string checks;  // before Stop
        bool passes;
    } cases[] = {
        // clang-format off
        {"a quarter turn", nullptr, {}, {}, "turn motor 1.5707963267948966 0.2\n", counter("500") + "shot encoder-test-passed\n", true},
        {"one count back", nullptr, {}, {}, "turn motor -0.0031415926535897933 0.01\n", counter("-1"), true},
        {"left alone", nullptr, {}, {}, "", counter("0"), false},
        // Done between two readings: the counter stands where it started.
        {"exactly one revolution", nullptr, {}, {}, "turn motor 6.283185307179586 0.015\n", counter("2000"), false},
        {"an encoder on the load of a motor without sensor", nullptr,
         {{"MotorSensorType", 0}, {"LoadSensorType", 1}, {"No_encoder_lines_LD", 250}, {"LoadSensorConnector", 1}},
         {{"encoder", {{"loadLines", 250}}}}, "turn load 3.14159 0.2\n",
         "assert 1024 disabled\nassert 1025 enabled\n" + counter("", "499"), true},
        {"SSI, a quarter turn", "ssi-biss", {{"SSITYPE", 1}}, {}, "turn motor 1.5707963267948966 0.2\n",
         purpose(dcdrive::kSsiEncoderTestPurpose) + position("2048") + "shot ssi-encoder-test\n", true},
        {"BiSS, left alone", "ssi-biss", {{"SSITYPE", 2}}, {}, "", purpose(dcdrive::kBissEncoderTestPurpose) + position("0"), false},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        UseSetup(c.sample, c.changes);
        InstallDrive(c.plant);
        const std::string verdict =
            c.passes ? "assert 10004 text \"Test passed\"\n" : ExpectFailure(dcdrive::kNoEncoderPulsesText);
        EXPECT_HELD(RunTest(
            c.sample, "click 10000\nwait 0.04\nassert 10001 text \"Running test\"\nwait 0.002\n" + c.hands +
                          "wait 0.1\n" + c.checks + "click 10000\nwait 0.05\n" + verdict + "click 2\n"));
        ExpectDriveIdle();
    }
}

// The motor setup's "Test Connections" buttons open the test of the sensor
// chosen there, on the values as the editor holds them: 1000 lines typed in
// the editor make one revolution of the 500-line plant encoder half a
// revolution for the test, and it counts.
TEST_F(EncoderTest, MotorSetupButtonsOpenTheirTest) {
    const std::pair<const char*, std::string> cases[] = {
        {nullptr,
         "set 1179 1000\nclick 1187\nexpect \"Encoder Connections Test\"\nclick 10000\nwait 0.042\n"
         "turn motor 6.283185307179586 0.015\nwait 0.05\nclick 10000\nwait 0.05\nassert 10004 text \"Test "
         "passed\"\n"},
        {"ssi-biss",
         "click 3452\nexpect \"Encoder Connections Test\"\n"
         "assert 10015 text \"Checks position reading from the SSI encoder.\"\n"},
    };
    for (const auto& [sample, script] : cases) {
        SCOPED_TRACE(sample ? sample : "default");
        UseSetup(sample);
        InstallDrive();
        CMotorSetupDialog editor(*m_setup, nullptr);
        EXPECT_HELD(dctest::RunScript(
            "expect \"DC Motor Setup\"\n" + script + "click 2\nexpect \"DC Motor Setup\"\nclick 2\n",
            [&] { return editor.DoModal(); }));
        ExpectDriveIdle();
    }
}

}  // namespace
