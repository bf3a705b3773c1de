// The commissioning test dialogs on real widgets, answered by scripts in virtual time, on the virtual drive.
#include "DialogTestSupport.h"
#include "conversions/Derived.h"
#include "editors/AnalogReferenceDlg.h"
#include "editors/MotorSetupDialog.h"
#include "kx/gui/TestDlg.h"
#include "tests/EncoderTestRules.h"
#include "tests/InertiaRules.h"
#include "tests/TestAnalogueRef.h"
#include "tests/TestCurrent.h"
#include "tests/TestEncoderConnections.h"
#include "tests/TestPositionTuning.h"
#include "tests/TestRules.h"
#include "tests/TestSpeedTuning.h"
#include "tests/TestVdcDetection.h"
#include "tests/TotalInertiaTest.h"

namespace {

using dctest::ExpectFailure;
using dctest::kPassed;
using dctest::ScriptRun;

class TestDialogs : public dctest::DialogTest {};

// The steps that set the input and read the voltage and the command.
std::string Reads(const std::string& volts, const std::string& input, const std::string& command) {
    return "analogue " + volts + "\nwait 0.1\nassert 1010 text \"" + input + "\"\nassert 1011 text \"" +
           command + "\"\n";
}

// The design: the motor's R and L under the setup's PI; a test current above the protection keeps tab 0.
TEST_F(TestDialogs, TunedCurrentLoopFollowsItsDesign) {
    InstallDrive({{"shaftBlocked", true}});
    dctest::Set(*m_setup, "Dump_C", 0.9);
    EXPECT_HELD(RunDriveSetup(
        "click 3137\nmessage \"The test must be performed with motor shaft blocked.\"\nclick ok\n"
        "expect \"Current Controller Tuning Test\"\nshot current-test-parameters\nassert 10000 hidden\n"
        "set 1303 2\nset 1120 2.5\ntab 1\n"
        "message \"Over current protection must be greater or equal to Test current.\"\nclick ok\n"
        "assert 1120 shown\nassert 10000 hidden\nset 1120 2\ntab 1\nassert 10000 shown\nassert 1120 hidden\n"
        "tab 0\nset 1303 9\ntab 1\nunit 3151 rad/s\nset 3155 4000\nclick 3149\nclick 10000\n"
        "assert 1 disabled\nassert 1335 disabled\ntab 0\nassert 10000 shown\nwait 0.5\n" +
        kPassed + "assert 1 enabled\nassert 1381 shown\ntab 0\nassert 1120 shown\ntab 1\n" + kPassed +
        "shot current-test-result\nclick 1372\nclick 1\nexpect \"Drive Setup\"\nclick 2\n"));
    EXPECT_DOUBLE_EQ(Base("PB_C"), 4000.0);

    const double r = Base("R"), l = Base("L"), tc = dcdrive::CurrentLoopPeriod(*m_setup);
    ASSERT_GT(l / r, 4 * tc) << "the design for a long electrical time constant";
    const double s = dcdrive::VoltageCommandScale(*m_setup) / dcdrive::CurrentScale(*m_setup);
    const double kp = Base("Kp_C_scl") / s, ki = Base("Ki_C_scl") / (s * tc);
    const auto design = [=](const auto& x, double ref, double, auto& dx) {
        dx = {(-r * x[0] + kp * (ref - x[0]) + ki * x[1]) / l, ref - x[0]};
    };
    ExpectFollows("CurrentTuning", "Current_Reference", "Motor_Current", 2, design, true);
    const kx::PlotRecord record = Saved("CurrentTuning");
    EXPECT_NEAR(dctest::Column(record, "Current_Reference").back(), 2.0, 0.02) << "the test current typed in";
    for (const char* figure : {"Rise time", "Overshoot", "Settling time", "Steady-state error"})
        EXPECT_TRUE(dctest::Summarised(record, figure)) << figure;
    EXPECT_TRUE(dctest::fs::exists(m_plots / "CurrentTuning.png"));
    // OK gave the over current protection to the drive's protection.
    EXPECT_DOUBLE_EQ(Base("Imax_Prot"), Base("TestProtectionCurrent"));
}

// Each test dialog: what comes before Start, a run that passes and Close.
struct Dialog {
    const char* name;
    ScriptRun (dctest::DialogTest::*run)(const std::string&);
    const char* sample;  // null: the default setup
    const char* topic;   // of its help
    std::string open, pass;
};
const std::string kClosed = kPassed + "click 2\n";
const std::string kTurned =
    "click 10000\nwait 0.05\nturn motor 1 0.1\nwait 0.05\nclick 10000\nwait 0.05\n" + kClosed;
// clang-format off
const Dialog kCurrent{"current", &TestDialogs::Run<CTestCurrent>, nullptr, "0x40108", "tab 1\n",
                      "click 10000\nwait 0.5\n" + kClosed};
const Dialog kSupply{"supply detection", &TestDialogs::Run<CTestVdcDetection>, nullptr, "0x40105", "", ""};
const Dialog kAnalogue{"analogue reference", &TestDialogs::Run<CTestAnalogueRef>, nullptr, "0x40104", "",
                       "click 10000\nwait 0.1\nclick 10000\nwait 0.1\n" + kClosed};
const Dialog kEncoder{"incremental encoder", &TestDialogs::Run<CTestEncoderConnections>, nullptr, "0x4010D", "", kTurned};
const Dialog kSerial{"serial encoder", &TestDialogs::Run<CTestSSIEncoderConnections>, "ssi-biss", "0x40117", "", kTurned};
// Close offers the identified inertia.
const Dialog kInertia{"total inertia", &TestDialogs::Run<CTotalInertiaTest>, nullptr, "0x40111", "",
                      "click 10000\nwait\n" + kClosed + "click no\n"};
// A fault leaves the motor coasting from speed; a Start before it has come to rest would meet its back-EMF
// with the current controller's output at zero and trip the protection, as on a real axis.
const Dialog kSpeed{"speed tuning", &TestDialogs::Run<CTestSpeedTuning>, nullptr, "0x40102", "tab 1\n",
                    "wait 4\nclick 10000\nwait 3\n" + kClosed};
const Dialog kPosition{"position tuning", &TestDialogs::Run<CTestPositionTuning>, nullptr, "0x40103", "tab 1\n", kSpeed.pass};
// clang-format on

// A fault, a program's failure code or a refused profile ends the run with its text under Details; with the
// fault gone, the next run passes in the same dialog.
TEST_F(TestDialogs, FailuresEndTheRunWithTheirText) {
    const std::string internal = CKX_TestDlg::msc_pszErrInternal,
                      overCurrent = dcdrive::kCurrentProtectionText;
    const std::string shortCircuit = "Drive / Motor shortcircuit protection triggered.";
    const std::string noProgram = "Variable \"In1\" not found in the test program.";
    const std::string length =
        "Distances between consecutive points on X axis must be greater than 0 and below 32768.";
    const nlohmann::json blocked = {{"shaftBlocked", true}};
    // The motor comes to rest within a few seconds once the power stage is off.
    const nlohmann::json coasting = {{"load", {{"viscousFriction", 2e-5}}}};
    const struct {
        const Dialog& dialog;
        nlohmann::json plant;
        std::vector<dctest::Change> changes;
        const char* fault;  // null: the cause lies in the plant or the setup
        double at;
        std::string message;
    } cases[] = {
        // clang-format off
        {kCurrent, blocked, {}, "short-circuit", 0, shortCircuit},
        {kCurrent, blocked, {}, "enable-off", 0, "Drive / Motor ENABLE input is in DISABLED state."},
        {kCurrent, blocked, {}, "over-current", 0.002, overCurrent},                 // once the step has begun
        {kCurrent, blocked, {}, "over-current", dctest::kBeforeStart, overCurrent},  // the program ends before it
        {kCurrent, blocked, {}, "comm-down", dctest::kBeforeStart, kx::kCommDownText},
        {kCurrent, blocked, {}, "no-program", dctest::kAtOpening, noProgram},  // the program is read on opening
        {kAnalogue, {}, {}, "short-circuit", 0.1, shortCircuit},
        {kAnalogue, {}, {}, "comm-down", 0.1, internal},  // the motion error register cannot be read either
        {kAnalogue, {}, {}, "no-program", dctest::kBeforeStart, internal},
        {kEncoder, {}, {}, "short-circuit", 0.05, shortCircuit},
        {kEncoder, {}, {}, "comm-down", dctest::kBeforeStart, internal},
        {kSerial, {}, {}, "feedback-error", 0.05, "Feedback error."},
        {kSerial, {}, {}, "comm-down", 0.05, internal},
        {kInertia, blocked, {}, nullptr, 0, dcdrive::kInertiaTestTexts[7]},
        // 0.096 N·m against 4.8e-3 N·m·s: at most 20 rad/s, below 266 rpm.
        {kInertia, {{"load", {{"viscousFriction", 4.8e-3}}}}, {}, nullptr, 0, dcdrive::kInertiaTestTexts[8]},
        {kInertia, {{"encoder", {{"reversed", true}}}}, {}, nullptr, 0, dcdrive::kInertiaTestTexts[6]},
        {kInertia, {}, {}, "over-current", 0, dcdrive::kInertiaTestTexts[5]},
        {kInertia, {}, {}, "feedback-error", 0, "Feedback error."},
        {kInertia, {}, {}, "no-program", dctest::kAtOpening, noProgram},
        {kSpeed, coasting, {}, "short-circuit", 0.05, shortCircuit},
        {kSpeed, {}, {}, "comm-down", dctest::kBeforeStart, kx::kCommDownText},
        // A ramp shorter than half a period: no sample, the slope overflows.
        {kSpeed, {}, {{"TaPS", 1e-6}}, nullptr, 0, "Reference variation between two consecutive points is too big (slope overflow)."},
        {kSpeed, {}, {{"TPS", 60.0}}, nullptr, 0, length},
        {kPosition, coasting, {}, "over-current", 0.05, overCurrent},
        {kPosition, {}, {{"TaPP", 1e-6}}, nullptr, 0, length},
        // clang-format on
    };
    for (const auto& c : cases) {
        const Dialog& d = c.dialog;
        SCOPED_TRACE(testing::Message()
                     << d.name << ": " << (c.fault ? c.fault : c.message) << " at " << c.at);
        UseSetup(d.sample, c.changes);
        const double jt = Base("Jt");
        InstallDrive(c.plant);
        std::string script = d.open + (c.fault ? StartWithFault(c.fault, c.at) : "click 10000\n") +
                             "wait 3\n" + ExpectFailure(c.message);
        script += c.fault ? "fault " + std::string(c.fault) + " off\n" + d.pass : "click 2\n";
        EXPECT_HELD((this->*d.run)(script));
        EXPECT_EQ(Base("Jt"), jt);
    }
}

// Outside a run gains change only the setup (the next Start downloads them). Without an oscilloscope the
// speed test shows live values, and its multi-cycle run lasts until Stop, pauses and continues.
TEST_F(TestDialogs, GainsReachTheDriveDuringARun) {
    const std::string tuneKp = "tab 1\nunit 3151 rad/s\nset 3155 3000\n";
    const struct {
        const Dialog& dialog;
        std::string script;
        std::vector<const char*> names;  // the typed gain's mantissa first
        bool running;
    } cases[] = {
        // clang-format off
        {kCurrent, tuneKp + "click 10000\nclick 3149\nwait 0.5\nclick 1\n", {"KPI", "SFTKPI", "KII", "SFTKII"}, true},
        // Outside a run the shifts may agree by chance, the mantissas do not.
        {kCurrent, tuneKp + "click 3149\nclick 1\n", {"KPI", "KII"}, false},
        {kSpeed, "tab 1\nassert 1369 disabled\ntab 0\nclick 1332\ntab 1\nclick 1369\nclick 10000\nwait 1\n"
                 "assert 10000 text \"Stop\"\nassert 1364 shown\nshot speed-test-live-values\nassert 10016 enabled\n"
                 "click 10016\nassert 10017 enabled\nclick 10017\nset 1335 2500\nwait 1\nclick 10000\nwait 1\n" +
                 kPassed + "click 1\n", {"KPS", "SFTKPS"}, true},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.dialog.name) + (c.running ? ", during a run" : ", outside a run"));
        m_setup = dctest::VariantOf("@hasOscilloscope=0");
        const double opening = Base(c.names[0]);
        InstallDrive({{"shaftBlocked", &c.dialog == &kCurrent}});
        EXPECT_HELD((this->*c.dialog.run)(c.script));
        EXPECT_NE(Base(c.names[0]), opening) << "the setup took the new gain";
        for (const char* name : c.names)
            EXPECT_EQ(m_drive->Register(name) == std::llround(Base(name)), c.running) << name;
    }
}

// The detection finds the plant's supply within one converter count and offers it on Close: Cancel stays, No
// leaves with Cancel, Yes keeps it (the drive setup editor's "Detect" takes it).
TEST_F(TestDialogs, SupplyDetection) {
    const double count = Base("VdcMaxMeasurable") / dcdrive::AdcMax(*m_setup), opening = Base("Vdc");
    InstallDrive({{"supplyVoltage", 42.0}});
    const ScriptRun run = Run<CTestVdcDetection>("click 10000\nwait 0.5\n" + kPassed +
                                                 "click 2\ndump\nclick cancel\n"
                                                 "expect \"VDC Detection Test\"\nclick 2\nclick no\n");
    EXPECT_HELD(run);
    EXPECT_EQ(run.result, IDCANCEL);
    std::printf("supply detection: plant 42 V, detected %.4f V (one count %.4f V)\n", Base("Vdc"), count);
    EXPECT_LE(std::fabs(Base("Vdc") - 42.0), count);
    const std::string question = nlohmann::json(dcdrive::SupplyChangeQuestion(opening, Base("Vdc"))).dump();
    EXPECT_NE(run.dumped.find(question), std::string::npos) << run.dumped;

    InstallDrive({{"supplyVoltage", 36.0}});
    EXPECT_HELD(RunDriveSetup(
        "assert 3171 enabled\nclick 3171\nexpect \"VDC Detection Test\"\nclick 10000\nwait 0.5\n"
        "shot vdc-detection\nclick 2\nshot vdc-question\nclick yes\nexpect \"Drive Setup\"\nclick 2\n"));
    EXPECT_NEAR(Base("Vdc"), 36.0, count);
}

// A 20 V input read at its ends: 0 and 0xFFC0 of the converter.
TEST_F(TestDialogs, AnalogueReferenceShowsTheInputAndItsCommandAtBothEnds) {
    const struct {
        int mode;
        std::string label, unit, highest;  // the command at +10 V, and negated at -10 V
    } cases[] = {
        {0, "Position command", "rot", "4.10"},
        {1, "Speed command", "rpm", "6000.00"},
        {2, "Current command", "A", "2.50"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        UseSetup(nullptr, {{"ControlMode", double(c.mode)}, {"AnalogueInputsRange", 20}});
        InstallDrive();
        EXPECT_HELD(Run<CTestAnalogueRef>(
            "expect \"Analogue Reference Test\"\nassert 1013 text \"" + c.label +
            "\"\nassert 1016 text \"V\"\nassert 1017 text \"" + c.unit +
            "\"\nassert 1010 text \"\"\nclick 10000\nassert 10001 text \"Running test\"\n"
            "assert 10000 text \"Stop\"\n" +
            Reads("-10", "-10.00", "-" + c.highest) + Reads("10", "10.00", c.highest) +
            "shot analogue-test-mode" + std::to_string(c.mode) + "\n" + Reads("0", "0.00", "0.00") +
            "click 10000\nwait 0.1\n" + kPassed + "assert 10000 text \"Start\"\nclick 2\n"));
    }
}

// The default plant: a 500-line motor encoder, 2000 counts a revolution, a 13-bit serial encoder. The test
// reads the counter every 20 ms from Start; a turn from 42 ms to 57 ms after it falls between two readings.
TEST_F(TestDialogs, EncoderTestsPassOnlyWhenTheShaftMoves) {
    const auto counter = [](const char* motor, const char* load = "") {
        return "assert 3413 text \"" + std::string(motor) + "\"\nassert 1023 text \"" + load + "\"\n";
    };
    const auto serial = [](const char* purpose, const char* at) {
        return "assert 10015 text " + nlohmann::json(purpose).dump() + "\nassert 3131 text \"" + at + "\"\n";
    };
    const std::string quarter = "turn motor 1.5707963267948966 0.2\n";
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
        {"a quarter turn", nullptr, {}, {}, quarter, counter("500") + "shot encoder-test-passed\n", true},
        {"one count back", nullptr, {}, {}, "turn motor -0.0031415926535897933 0.01\n", counter("-1"), true},
        {"left alone", nullptr, {}, {}, "", counter("0"), false},
        // Done between two readings: the counter stands where it started.
        {"exactly one revolution", nullptr, {}, {}, "turn motor 6.283185307179586 0.015\n", counter("2000"), false},
        {"an encoder on the load of a motor without sensor", nullptr,
         {{"MotorSensorType", 0}, {"LoadSensorType", 1}, {"No_encoder_lines_LD", 250}, {"LoadSensorConnector", 1}},
         {{"encoder", {{"loadLines", 250}}}}, "turn load 3.14159 0.2\n",
         "assert 1024 disabled\nassert 1025 enabled\n" + counter("", "499"), true},
        {"SSI, a quarter turn", "ssi-biss", {{"SSITYPE", 1}}, {}, quarter,
         serial(dcdrive::kSsiEncoderTestPurpose, "2048") + "shot ssi-encoder-test\n", true},
        {"BiSS, left alone", "ssi-biss", {{"SSITYPE", 2}}, {}, "", serial(dcdrive::kBissEncoderTestPurpose, "0"), false},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        UseSetup(c.sample, c.changes);
        InstallDrive(c.plant);
        const std::string script =
            "expect \"Encoder Connections Test\"\nclick 10000\nwait 0.04\n"
            "assert 10001 text \"Running test\"\nwait 0.002\n" +
            c.hands + "wait 0.1\n" + c.checks + "click 10000\nwait 0.05\n" +
            (c.passes ? dctest::kPassed : dctest::ExpectFailure(dcdrive::kNoEncoderPulsesText)) + "click 2\n";
        EXPECT_HELD((this->*(c.sample ? kSerial : kEncoder).run)(script));
    }
}

// The editors open the tests on their unsaved values: the motor setup the test of its sensor, where 1000
// lines typed in make a turn of the 500-line plant encoder half a turn, and it counts; the external reference
// setup the analogue test, whose command at +10 V is the maximum typed there.
TEST_F(TestDialogs, EditorsOpenTheirTestsOnTheirValues) {
    const auto motorSetup = [](CKX_Setup& setup) { return CMotorSetupDialog(setup, nullptr).DoModal(); };
    const auto reference = [](CKX_Setup& setup) { return CAnalogReferenceDlg(setup, nullptr).DoModal(); };
    const struct {
        const char* sample;  // null: the default setup
        std::vector<dctest::Change> changes;
        int (*open)(CKX_Setup&);
        std::string title, script;
    } cases[] = {
        // clang-format off
        {nullptr, {}, motorSetup, "DC Motor Setup",
         "set 1179 1000\nclick 1187\nexpect \"Encoder Connections Test\"\nclick 10000\nwait 0.042\n"
         "turn motor 6.283185307179586 0.015\nwait 0.05\nclick 10000\nwait 0.05\n" + kPassed},
        {"ssi-biss", {}, motorSetup, "DC Motor Setup",
         "click 3452\nexpect \"Encoder Connections Test\"\n"
         "assert 10015 text \"Checks position reading from the SSI encoder.\"\n"},
        {nullptr, {{"ControlMode", 0}, {"isAnalogueReference", 1}}, reference, "External Reference Setup",
         "set 1006 2\nclick 1000\nexpect \"Analogue Reference Test\"\nclick 10000\n" +
         Reads("10", "10.00", "2.00") + "click 10000\nwait 0.1\n" + kPassed},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title + (c.sample ? ", " + std::string(c.sample) : ""));
        UseSetup(c.sample, c.changes);
        InstallDrive();
        const std::string title = "expect \"" + c.title + "\"\n";
        EXPECT_HELD(dctest::RunScript(title + c.script + "click 2\n" + title + "click 2\n",
                                      [&] { return c.open(*m_setup); }));
        ExpectDriveIdle();
    }
}

// Each test's Help opens its own topic; each test closed during a run stops the drive, leaves with Cancel.
TEST_F(TestDialogs, HelpAndClosingDuringARun) {
    ASSERT_TRUE(dctest::fs::exists(std::string(DCDRIVE_GUI_DIRECTORY) + "dcdrive.qhc"))
        << "no help collection";
    setenv("KX_GUI_DIRECTORY", DCDRIVE_GUI_DIRECTORY, 1);
    for (const Dialog* d :
         {&kCurrent, &kSupply, &kAnalogue, &kEncoder, &kSerial, &kInertia, &kSpeed, &kPosition}) {
        SCOPED_TRACE(d->name);
        UseSetup(d->sample);
        const double jt = Base("Jt");
        InstallDrive();
        const ScriptRun run = (this->*d->run)("click 10024\nexpect-help " + std::string(d->topic) + "\n" +
                                              d->open + "click 10000\nclick 2\n");
        EXPECT_HELD(run);
        EXPECT_EQ(run.result, IDCANCEL);
        EXPECT_EQ(Base("Jt"), jt);
    }
}

}  // namespace
