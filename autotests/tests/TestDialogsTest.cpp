// The current controller tuning test and the supply voltage detection on
// real widgets, answered by dialog scripts in virtual time, against the
// virtual drive: the tuned current loop against its design, the detected
// supply, the faults' messages and the tabs; and what every test dialog
// does: stop the drive when closed during a run, open its help topic.
#include "DialogTestSupport.h"
#include "conversions/Derived.h"
#include "kx/gui/TestDlg.h"
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
using dctest::ScriptRun;

class TestDialogs : public dctest::DialogTest {};

// Tuned from the drive setup editor at a pass band and a damping, the
// logged motor current follows the designed loop: the motor's R and L under
// a PI of Kp (V/A) and Ki (V/(A s)), stepped at the logged step.
TEST_F(TestDialogs, TunedCurrentLoopFollowsItsDesign) {
    InstallDrive({{"shaftBlocked", true}});
    dctest::Set(*m_setup, "Dump_C", 0.9);
    EXPECT_HELD(RunDriveSetup(
        "click 3137\nmessage \"The test must be performed with motor shaft blocked.\"\nclick ok\n"
        "expect \"Current Controller Tuning Test\"\nshot current-test-parameters\n"
        "tab 1\nunit 3151 rad/s\nset 3155 4000\nclick 3149\nclick 10000\nwait 0.5\n"
        "assert 10004 text \"Test passed\"\nshot current-test-result\nclick 1372\nclick 1\n"
        "expect \"Drive Setup\"\nclick 2\n"));
    EXPECT_DOUBLE_EQ(Base("PB_C"), 4000.0);

    const double r = Base("R"), l = Base("L"), tc = dcdrive::CurrentLoopPeriod(*m_setup);
    ASSERT_GT(l / r, 4 * tc) << "the design for a long electrical time constant";
    const double s = dcdrive::VoltageCommandScale(*m_setup) / dcdrive::CurrentScale(*m_setup);
    const double kp = Base("Kp_C_scl") / s, ki = Base("Ki_C_scl") / (s * tc);
    const auto design = [=](const std::vector<double>& x, double ref, double, std::vector<double>& dx) {
        dx = {(-r * x[0] + kp * (ref - x[0]) + ki * x[1]) / l, ref - x[0]};
    };
    const kx::PlotRecord record = Saved("CurrentTuning");
    const auto& time = dctest::Column(record, "Time");
    const auto& reference = dctest::Column(record, "Current_Reference");
    const auto& current = dctest::Column(record, "Motor_Current");
    ASSERT_GT(current.size(), 50u);
    const auto step = std::ranges::find_if(reference, [&](double v) { return v >= 0.5 * reference.back(); });
    const std::size_t from = static_cast<std::size_t>(step - reference.begin());
    EXPECT_NEAR(reference.back(), Base("TestCurrent"), 0.01 * reference.back());
    const double nrms = dctest::NrmsToDesign(2, design, {time.begin() + from, time.end()},
                                             std::vector<double>(time.size() - from, reference.back()),
                                             {current.begin() + from, current.end()});
    std::printf("current test: NRMS difference to the design %.2f %% (Kp %g V/A, Ki %g V/(A s))\n",
                100 * nrms, kp, ki);
    EXPECT_LT(nrms, 0.10);

    for (const char* figure : {"Rise time", "Overshoot", "Settling time", "Steady-state error"})
        EXPECT_TRUE(dctest::Summarised(record, figure)) << figure;
    EXPECT_TRUE(dctest::fs::exists(m_plots / "CurrentTuning.png"));
    // OK gave the over current protection to the drive's protection.
    EXPECT_DOUBLE_EQ(Base("Imax_Prot"), Base("TestProtectionCurrent"));
}

// Every test ends a run that a fault, a program's failure code or a refused
// profile stops with the text under Details and the drive idle; with the
// fault gone, the next run passes in the same dialog.
TEST_F(TestDialogs, FailuresEndTheRunWithTheirText) {
    struct Dialog {
        const char* name;
        ScriptRun (dctest::DialogTest::*run)(const std::string&);
        const char* sample;             // null: the default setup
        std::string open, pass, close;  // before Start; a run that passes; Close after it
    };
    const std::string turned =
        "click 10000\nwait 0.05\nturn motor 1 0.1\nwait 0.05\nclick 10000\nwait 0.05\n";
    // clang-format off
    const Dialog current{"current", &TestDialogs::Run<CTestCurrent>, nullptr, "tab 1\n", "click 10000\nwait 0.5\n", "click 2\n"};
    const Dialog analogue{"analogue reference", &TestDialogs::Run<CTestAnalogueRef>, nullptr, "",
                          "click 10000\nwait 0.1\nclick 10000\nwait 0.1\n", "click 2\n"};
    const Dialog encoder{"incremental encoder", &TestDialogs::Run<CTestEncoderConnections>, nullptr, "", turned, "click 2\n"};
    const Dialog serial{"serial encoder", &TestDialogs::Run<CTestSSIEncoderConnections>, "ssi-biss", "", turned, "click 2\n"};
    // Close offers the identified inertia.
    const Dialog inertia{"total inertia", &TestDialogs::Run<CTotalInertiaTest>, nullptr, "", "click 10000\nwait\n",
                         "click 2\nclick no\n"};
    // A fault leaves the motor coasting from speed; a Start before it has come
    // to rest would meet its back-EMF with the current controller's output at
    // zero and trip the protection, as on a real axis.
    const Dialog speed{"speed tuning", &TestDialogs::Run<CTestSpeedTuning>, nullptr, "tab 1\n",
                       "wait 4\nclick 10000\nwait 3\n", "click 2\n"};
    const Dialog position{"position tuning", &TestDialogs::Run<CTestPositionTuning>, nullptr, "tab 1\n", speed.pass, "click 2\n"};
    // clang-format on
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
        {current, blocked, {}, "short-circuit", 0, shortCircuit},
        {current, blocked, {}, "enable-off", 0, "Drive / Motor ENABLE input is in DISABLED state."},
        {current, blocked, {}, "over-current", 0.002, overCurrent},                 // once the step has begun
        {current, blocked, {}, "over-current", dctest::kBeforeStart, overCurrent},  // the program ends before it
        {current, blocked, {}, "comm-down", dctest::kBeforeStart, kx::kCommDownText},
        {current, blocked, {}, "no-program", dctest::kAtOpening, noProgram},  // the program is read on opening
        {analogue, {}, {}, "short-circuit", 0.1, shortCircuit},
        {analogue, {}, {}, "comm-down", 0.1, internal},  // the motion error register cannot be read either
        {analogue, {}, {}, "no-program", dctest::kBeforeStart, internal},
        {encoder, {}, {}, "short-circuit", 0.05, shortCircuit},
        {encoder, {}, {}, "comm-down", dctest::kBeforeStart, internal},
        {serial, {}, {}, "feedback-error", 0.05, "Feedback error."},
        {serial, {}, {}, "comm-down", 0.05, internal},
        {inertia, blocked, {}, nullptr, 0, dcdrive::kInertiaTestTexts[7]},
        // 0.096 N·m against 4.8e-3 N·m·s: at most 20 rad/s, below 266 rpm.
        {inertia, {{"load", {{"viscousFriction", 4.8e-3}}}}, {}, nullptr, 0, dcdrive::kInertiaTestTexts[8]},
        {inertia, {{"encoder", {{"reversed", true}}}}, {}, nullptr, 0, dcdrive::kInertiaTestTexts[6]},
        {inertia, {}, {}, "over-current", 0, dcdrive::kInertiaTestTexts[5]},
        {inertia, {}, {}, "feedback-error", 0, "Feedback error."},
        {inertia, {}, {}, "no-program", dctest::kAtOpening, noProgram},
        {speed, coasting, {}, "short-circuit", 0.05, shortCircuit},
        {speed, {}, {}, "comm-down", dctest::kBeforeStart, kx::kCommDownText},
        // A ramp shorter than half a period: no sample, the slope overflows.
        {speed, {}, {{"TaPS", 1e-6}}, nullptr, 0, "Reference variation between two consecutive points is too big (slope overflow)."},
        {speed, {}, {{"TPS", 60.0}}, nullptr, 0, length},
        {position, coasting, {}, "over-current", 0.05, overCurrent},
        {position, {}, {{"TaPP", 1e-6}}, nullptr, 0, length},
        // clang-format on
    };
    for (const auto& c : cases) {
        const Dialog& d = c.dialog;
        SCOPED_TRACE(testing::Message()
                     << d.name << ": " << (c.fault ? c.fault : c.message) << " at " << c.at);
        auto setup = d.sample ? dctest::SampleSetup(d.sample) : dcdrive::LoadDefaultSetup();
        for (const auto& [name, value] : c.changes) dctest::Set(*setup, name, value);
        UseSetup(std::move(setup));
        const double jt = Base("Jt");
        InstallDrive(c.plant);
        std::string script = d.open + (c.fault ? StartWithFault(c.fault, c.at) : "click 10000\n") +
                             "wait 3\n" + ExpectFailure(c.message);
        if (c.fault)
            script += "fault " + std::string(c.fault) + " off\n" + d.pass +
                      "assert 10004 text \"Test passed\"\n" + d.close;
        else
            script += "click 2\n";
        EXPECT_HELD((this->*d.run)(script));
        EXPECT_EQ(Base("Jt"), jt);
        ExpectDriveIdle();
    }
}

// Gains tuned during a run reach the drive's live registers at once;
// outside a run they change only the setup (the next Start downloads them).
TEST_F(TestDialogs, CurrentGainsReachTheDriveDuringARun) {
    for (const bool running : {true, false}) {
        SCOPED_TRACE(running ? "during a run" : "outside a run");
        m_setup = dcdrive::LoadDefaultSetup();
        const double openingKpi = Base("KPI");
        InstallDrive({{"shaftBlocked", true}});
        EXPECT_HELD(Run<CTestCurrent>(
            "tab 1\nunit 3151 rad/s\nset 3155 3000\n" +
            std::string(running ? "click 10000\nclick 3149\nwait 0.5\n" : "click 3149\n") + "click 1\n"));
        EXPECT_NE(Base("KPI"), openingKpi) << "the setup took the new gain";
        for (const char* name : {"SFTKPI", "KPI", "SFTKII", "KII"}) {
            const bool live = m_drive->Register(name) == std::llround(Base(name));
            // Outside a run the shifts may agree by chance, the mantissas do not.
            if (running || name[0] == 'K') {
                EXPECT_EQ(live, running) << name;
            }
        }
    }
}

// A test current above the protection keeps the parameter tab, an equal
// one passes; a run keeps the Test tab.
TEST_F(TestDialogs, CurrentTestTabs) {
    InstallDrive({{"shaftBlocked", true}});
    EXPECT_HELD(Run<CTestCurrent>(
        "assert 10000 hidden\nset 1303 2\nset 1120 2.5\ntab 1\n"
        "message \"Over current protection must be greater or equal to Test current.\"\nclick ok\n"
        "assert 1120 shown\nassert 10000 hidden\nset 1120 2\ntab 1\nassert 10000 shown\nassert 1120 hidden\n"
        "tab 0\nset 1303 9\ntab 1\nclick 10000\nassert 1 disabled\nassert 1335 disabled\ntab 0\n"
        "assert 10000 shown\nwait 0.5\nassert 10004 text \"Test passed\"\nassert 1 enabled\n"
        "assert 1381 shown\ntab 0\nassert 1120 shown\ntab 1\nassert 10004 text \"Test passed\"\nclick 2\n"));
}

// The detection finds the plant's supply within one converter count and
// offers it on Close: Cancel stays, No leaves with Cancel, Yes keeps it (the
// drive setup editor's "Detect" takes it); without a run that passed, Close
// asks nothing.
TEST_F(TestDialogs, SupplyDetection) {
    const double count = Base("VdcMaxMeasurable") / dcdrive::AdcMax(*m_setup), opening = Base("Vdc");
    InstallDrive({{"supplyVoltage", 42.0}});
    const ScriptRun run = Run<CTestVdcDetection>(
        "click 10000\nwait 0.5\nassert 10004 text \"Test passed\"\nclick 2\ndump\nclick cancel\n"
        "expect \"VDC Detection Test\"\nclick 2\nclick no\n");
    EXPECT_HELD(run);
    EXPECT_EQ(run.result, IDCANCEL);
    std::printf("supply detection: plant 42 V, detected %.4f V (one count %.4f V)\n", Base("Vdc"), count);
    EXPECT_LE(std::fabs(Base("Vdc") - 42.0), count);
    const std::string question = nlohmann::json(dcdrive::SupplyChangeQuestion(opening, Base("Vdc"))).dump();
    EXPECT_NE(run.dumped.find(question), std::string::npos) << run.dumped;
    EXPECT_HELD(Run<CTestVdcDetection>("click 2\n"));

    InstallDrive({{"supplyVoltage", 36.0}});
    EXPECT_HELD(RunDriveSetup(
        "assert 3171 enabled\nclick 3171\nexpect \"VDC Detection Test\"\nclick 10000\nwait 0.5\n"
        "shot vdc-detection\nclick 2\nshot vdc-question\nclick yes\nexpect \"Drive Setup\"\nclick 2\n"));
    EXPECT_NEAR(Base("Vdc"), 36.0, count);
}

// Every test closed during a run stops the drive and leaves with Cancel.
TEST_F(TestDialogs, ClosingDuringARunStopsTheDrive) {
    const std::string turning = "click 10000\nwait 0.05\nturn motor 1 0.1\nclick 2\n";
    const std::string tuning = "tab 1\nclick 10000\nwait 0.5\nclick 2\n";
    const struct {
        const char* what;
        const char* sample;  // null: the default setup
        ScriptRun (dctest::DialogTest::*run)(const std::string&);
        std::string script;
    } cases[] = {
        // clang-format off
        {"current", nullptr, &TestDialogs::Run<CTestCurrent>, "tab 1\nclick 10000\nclick 2\n"},
        {"supply detection", nullptr, &TestDialogs::Run<CTestVdcDetection>, "click 10000\nclick 2\n"},
        {"analogue reference", nullptr, &TestDialogs::Run<CTestAnalogueRef>, "click 10000\nwait 0.1\nclick 2\n"},
        {"incremental encoder", nullptr, &TestDialogs::Run<CTestEncoderConnections>, turning},
        {"serial encoder", "ssi-biss", &TestDialogs::Run<CTestSSIEncoderConnections>, turning},
        {"total inertia", nullptr, &TestDialogs::Run<CTotalInertiaTest>, "click 10000\nclick 2\n"},
        {"speed tuning", nullptr, &TestDialogs::Run<CTestSpeedTuning>, tuning},
        {"position tuning", nullptr, &TestDialogs::Run<CTestPositionTuning>, tuning},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        UseSetup(c.sample ? dctest::SampleSetup(c.sample) : dcdrive::LoadDefaultSetup());
        const double jt = Base("Jt");
        InstallDrive();
        const ScriptRun run = (this->*c.run)(c.script);
        EXPECT_HELD(run);
        EXPECT_EQ(run.result, IDCANCEL);
        EXPECT_EQ(Base("Jt"), jt);
        ExpectDriveIdle();
    }
}

// Each test's Help opens its own topic.
TEST_F(TestDialogs, HelpOpensTheTopicOfEachTest) {
    if (!dctest::fs::exists(std::string(DCDRIVE_GUI_DIRECTORY) + "dcdrive.qhc"))
        GTEST_FAIL() << "the help collection was not built";
    setenv("KX_GUI_DIRECTORY", DCDRIVE_GUI_DIRECTORY, 1);
    InstallDrive();
    UseSetup(dctest::SampleSetup("ssi-biss"));
    const std::string help = "click 10024\nexpect-help ";
    EXPECT_HELD(Run<CTestAnalogueRef>(help + "0x40104\nclick 2\n"));
    EXPECT_HELD(Run<CTestEncoderConnections>(help + "0x4010D\nclick 2\n"));
    EXPECT_HELD(Run<CTestSSIEncoderConnections>(help + "0x40117\nclick 2\n"));
    EXPECT_HELD(Run<CTotalInertiaTest>(help + "0x40111\nclick 2\n"));
}

}  // namespace
