// The current controller tuning test and the supply voltage detection on
// real widgets, answered by dialog scripts in virtual time, against the
// virtual drive: the tuned current loop against its design, the detected
// supply, every fault's message, the tabs, and closing during a run.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string_view>

#include "DefaultSetup.h"
#include "EditorTest.h"
#include "GuiTest.h"
#include "VirtualDrive.h"
#include "conversions/Derived.h"
#include "editors/DriveSetupDlg.h"
#include "editors/Templates.h"
#include "kx/Comm.h"
#include "kx/VirtualDriveLink.h"
#include "kx/gui/Clock.h"
#include "kx/gui/DriveHost.h"
#include "kx/gui/TestDlg.h"
#include "plugin/Scaling.h"
#include "tests/TestCurrent.h"
#include "tests/TestDialogs.h"
#include "tests/TestVdcDetection.h"

namespace fs = std::filesystem;

namespace {

const kx::ModuleRegistration g_plugin(dcdrive::PluginResources());
const kx::ModuleRegistration g_tests(dcdrive::TestResources());

// A text as a script's quoted word.
std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        if (c == '\n')
            quoted += "\\n";
        else if (c == '\r')
            quoted += "\\r";
        else if (c == '\t')
            quoted += "\\t";
        else
            quoted += c;
    }
    return quoted + "\"";
}

// A record as SaveGraph wrote it: the summary lines and the columns by title.
struct SavedRecord {
    std::map<std::string, std::string> summary;
    std::map<std::string, std::vector<double>> columns;
};

SavedRecord ReadCsv(const fs::path& path) {
    SavedRecord record;
    std::ifstream in(path);
    std::vector<std::string> titles;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("# ", 0) == 0) {
            const std::size_t colon = line.find(": ");
            record.summary[line.substr(2, colon - 2)] = line.substr(colon + 2);
            continue;
        }
        std::istringstream cells(line);
        std::vector<std::string> row;
        for (std::string cell; std::getline(cells, cell, ',');) row.push_back(cell);
        if (titles.empty()) {
            titles = row;
            continue;
        }
        for (std::size_t i = 0; i < row.size() && i < titles.size(); ++i)
            record.columns[titles[i]].push_back(std::stod(row[i]));
    }
    return record;
}

// The step response of the designed current loop: the motor's R and L under
// a PI of Kp (V/A) and Ki (V/(A s)), zero included,
// G(s) = (Kp s + Ki) / (L s^2 + (R + Kp) s + Ki), to a step of `height`
// at t = 0, at the times asked for.
std::vector<double> DesignedResponse(double r, double l, double kp, double ki, double height,
                                     const std::vector<double>& times) {
    std::vector<double> out;
    double i = 0.0, z = 0.0, t = 0.0;
    constexpr double dt = 1e-8;
    const auto f = [&](double ic, double zc, double& di, double& dz) {
        di = (-r * ic + kp * (height - ic) + ki * zc) / l;
        dz = height - ic;
    };
    for (double at : times) {
        while (t + dt <= at) {
            double k1i, k1z, k2i, k2z, k3i, k3z, k4i, k4z;
            f(i, z, k1i, k1z);
            f(i + dt / 2 * k1i, z + dt / 2 * k1z, k2i, k2z);
            f(i + dt / 2 * k2i, z + dt / 2 * k2z, k3i, k3z);
            f(i + dt * k3i, z + dt * k3z, k4i, k4z);
            i += dt / 6 * (k1i + 2 * k2i + 2 * k3i + k4i);
            z += dt / 6 * (k1z + 2 * k2z + 2 * k3z + k4z);
            t += dt;
        }
        out.push_back(at < 0.0 ? 0.0 : i);
    }
    return out;
}

// The active drive link with every write through it recorded by name.
class RecordingLink : public kx::DriveLink {
public:
    RecordingLink() : m_inner(*CKX_Comm::GetActiveLink()) { CKX_Comm::SetActiveLink(this); }
    ~RecordingLink() override { CKX_Comm::SetActiveLink(&m_inner); }
    RecordingLink(const RecordingLink&) = delete;
    RecordingLink& operator=(const RecordingLink&) = delete;

    // The names written, in order, of those among `names`.
    std::vector<std::string> WritesOf(std::initializer_list<std::string_view> names) const {
        std::vector<std::string> out;
        for (const std::string& w : m_writes)
            for (std::string_view n : names)
                if (w == n) out.push_back(w);
        return out;
    }

    bool Reset(std::string& error) override { return m_inner.Reset(error); }
    bool Download(const std::map<std::string, std::int64_t>& registers, std::string& error) override {
        return m_inner.Download(registers, error);
    }
    bool Start(const std::string& program, std::string& error) override {
        return m_inner.Start(program, error);
    }
    bool Stop(std::string& error) override { return m_inner.Stop(error); }
    bool AxisOn(bool& on, std::string& error) override { return m_inner.AxisOn(on, error); }
    bool Read(const kx::DriveSymbol& symbol, std::int64_t& raw, std::string& error) override {
        return m_inner.Read(symbol, raw, error);
    }
    bool Write(const kx::DriveSymbol& symbol, std::int64_t raw, std::string& error) override {
        m_writes.push_back(symbol.name);
        return m_inner.Write(symbol, raw, error);
    }
    bool ArmLogger(const kx::LogSettings& settings, std::string& error) override {
        return m_inner.ArmLogger(settings, error);
    }
    bool Upload(std::vector<kx::LogPoint>& points, std::string& error) override {
        return m_inner.Upload(points, error);
    }
    void AdvanceTo(double seconds) override { m_inner.AdvanceTo(seconds); }
    bool ProgramFilesMissing() const override { return m_inner.ProgramFilesMissing(); }

private:
    kx::DriveLink& m_inner;
    std::vector<std::string> m_writes;
};

class TestDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_plots =
            fs::temp_directory_path() / ("dcdrive-tests-" + std::to_string(::getpid()) + "-" + info->name());
        fs::remove_all(m_plots);
        fs::create_directories(m_plots);
        kx::SetPlotFolder(m_plots.string());
        dcdrive::RegisterTestDialogs();
        // Internal units as the plug-in gives them to the host.
        dcdrive::InstallHostScaling();
        m_setup = dcdrive::LoadDefaultSetup();
    }
    void TearDown() override {
        m_scope.reset();
        m_drive.reset();
        kx::SetPlotFolder("");
        kx::SetScaleFunctions(nullptr, nullptr);
        fs::remove_all(m_plots);
    }

    // The default plant with `changes` (plant file keys, SI units).
    void InstallDrive(const nlohmann::json& changes = nlohmann::json::object()) {
        nlohmann::json plant = nlohmann::json::parse(dcdrive::DefaultPlantJson());
        plant.merge_patch(changes);
        vdrive::Plant parsed;
        std::string error;
        ASSERT_TRUE(vdrive::ParsePlant(plant.dump(), parsed, error)) << error;
        m_scope.reset();
        m_drive = std::make_unique<vdrive::VirtualDrive>(parsed);
        m_scope = std::make_unique<kx::VirtualDriveScope>(*m_drive);
    }

    template <class Dialog>
    dctest::ScriptRun Run(const std::string& script) {
        Dialog dialog(*m_setup, 1, nullptr);
        return dctest::RunScript(script, [&] { return dialog.DoModal(); });
    }
    dctest::ScriptRun RunDriveSetup(const std::string& script) {
        CDriveSetupDlg dialog(*m_setup, nullptr);
        return dctest::RunScript(dctest::kCloseMotorSetup + "expect \"Drive Setup\"\n" + script,
                                 [&] { return dialog.DoModal(); });
    }

    double Base(const char* name) const { return m_setup->GetParameterValueInBaseUnit(name); }

    fs::path m_plots;
    std::unique_ptr<CKX_Setup> m_setup;
    std::unique_ptr<vdrive::VirtualDrive> m_drive;
    std::unique_ptr<kx::VirtualDriveScope> m_scope;
};

// Tuned from the drive setup editor at a pass band and a damping, the
// logged motor current follows the designed closed loop.
TEST_F(TestDialogs, TunedCurrentLoopFollowsItsDesign) {
    InstallDrive({{"shaftBlocked", true}});
    dctest::Set(*m_setup, "Dump_C", 0.9);
    const dctest::ScriptRun run = RunDriveSetup(
        "click 3137\n"
        "message \"The test must be performed with motor shaft blocked.\"\n"
        "click ok\n"
        "expect \"Current Controller Tuning Test\"\n"
        "shot current-test-parameters\n"
        "tab 1\n"
        "unit 3151 rad/s\n"
        "set 3155 4000\n"
        "click 3149\n"
        "click 10000\n"
        "wait 0.5\n"
        "assert 10004 text \"Test passed\"\n"
        "shot current-test-result\n"
        "click 1372\n"
        "click 1\n"
        "expect \"Drive Setup\"\n"
        "click 2\n");
    EXPECT_HELD(run);
    EXPECT_DOUBLE_EQ(Base("PB_C"), 4000.0);

    const double r = Base("R"), l = Base("L"), tc = dcdrive::CurrentLoopPeriod(*m_setup);
    ASSERT_GT(l / r, 4 * tc) << "the design for a long electrical time constant";
    const double s = dcdrive::VoltageCommandScale(*m_setup) / dcdrive::CurrentScale(*m_setup);
    const double kp = Base("Kp_C_scl") / s, ki = Base("Ki_C_scl") / (s * tc);

    const SavedRecord record = ReadCsv(m_plots / "CurrentTuning.csv");
    const auto& time = record.columns.at("Time [s]");
    const auto& reference = record.columns.at("Current_Reference [A]");
    const auto& current = record.columns.at("Motor_Current [A]");
    ASSERT_GT(current.size(), 50u);
    std::size_t step = 0;
    while (step < reference.size() && reference[step] < 0.5 * reference.back()) ++step;
    ASSERT_LT(step, reference.size());
    const double height = reference.back();
    EXPECT_NEAR(height, Base("TestCurrent"), 0.01 * height);

    std::vector<double> since;
    for (std::size_t k = step; k < time.size(); ++k) since.push_back(time[k] - time[step]);
    const std::vector<double> designed = DesignedResponse(r, l, kp, ki, height, since);
    double sum = 0.0;
    for (std::size_t k = 0; k < designed.size(); ++k) sum += std::pow(current[step + k] - designed[k], 2);
    const double nrms = std::sqrt(sum / static_cast<double>(designed.size())) / height;
    std::printf(
        "current test: NRMS difference to the design %.2f %% (R %g ohm, L %g H, Tc %g s, Kp %g V/A, "
        "Ki %g V/(A s))\n",
        100 * nrms, r, l, tc, kp, ki);
    EXPECT_LT(nrms, 0.10);

    // The figures of the step are written with the record.
    for (const char* figure : {"Rise time", "Overshoot", "Settling time", "Steady-state error"})
        EXPECT_TRUE(record.summary.count(figure)) << figure;
    EXPECT_TRUE(fs::exists(m_plots / "CurrentTuning.png"));
    // OK gave the over current protection to the drive's protection.
    EXPECT_DOUBLE_EQ(Base("Imax_Prot"), Base("TestProtectionCurrent"));
}

// Every fault ends the run with its text, leaves the axis off, and the
// next run passes once the fault is gone.
TEST_F(TestDialogs, FaultsInTheCurrentTest) {
    enum When { Opening, BeforeStart, DuringRun, AfterStep };
    const struct {
        const char* fault;
        When when;
        std::string message;
    } cases[] = {
        {"short-circuit", DuringRun, "Drive / Motor shortcircuit protection triggered."},
        {"enable-off", DuringRun, "Drive / Motor ENABLE input is in DISABLED state."},
        {"over-current", AfterStep, "Test failed!\nCurrent protection triggered during test!"},
        // Tripped before the step: the program ends without having begun it.
        {"over-current", BeforeStart, "Test failed!\nCurrent protection triggered during test!"},
        {"comm-down", BeforeStart, kx::kCommDownText},
        // The program file is read when the dialog opens.
        {"no-program", Opening, "Variable \"In1\" not found in the test program."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fault) + (c.when == BeforeStart ? " before Start" : ""));
        InstallDrive({{"shaftBlocked", true}});
        vdrive::Fault fault{};
        ASSERT_TRUE(vdrive::FaultFromName(c.fault, fault));
        if (c.when == Opening) m_drive->SetFault(fault, true);
        const std::string on = std::string("fault ") + c.fault + " on\n";
        std::string start = "click 10000\n";
        if (c.when == BeforeStart) start = on + start;
        if (c.when == DuringRun) start += on;
        // The current protection trips once the step has begun.
        if (c.when == AfterStep) start += "wait 0.002\n" + on;
        const std::string script = "tab 1\n" + start +
                                   "wait 0.5\n"
                                   "assert 10004 text \"Test failed\"\n"
                                   "assert 10000 text \"Start\"\n"
                                   "assert 1 enabled\n"
                                   "click 10003\n"
                                   "message " +
                                   Quoted(c.message) +
                                   "\n"
                                   "click ok\n"
                                   "fault " +
                                   c.fault +
                                   " off\n"
                                   "click 10000\n"
                                   "wait 0.5\n"
                                   "assert 10004 text \"Test passed\"\n"
                                   "click 2\n";
        const dctest::ScriptRun run = Run<CTestCurrent>(script);
        EXPECT_HELD(run);
        EXPECT_FALSE(m_drive->AxisOn());
    }
}

// Gains changed during a run reach the drive's live registers at once, in
// the order shift, mantissa, proportional first; outside a run they change
// only the setup (the next Start downloads them).
TEST_F(TestDialogs, CurrentGainsReachTheDriveDuringARun) {
    const std::initializer_list<std::string_view> kGains = {"SFTKPI", "KPI", "SFTKII", "KII"};
    const std::string tuneAt3000 = "tab 1\nunit 3151 rad/s\nset 3155 3000\n";
    const struct {
        const char* what;
        std::string script;
        std::vector<std::string> written;
    } cases[] = {
        {"Tune during a run",
         tuneAt3000 + "click 10000\nclick 3149\nwait 0.5\nassert 10004 text \"Test passed\"\nclick 1\n",
         {"SFTKPI", "KPI", "SFTKII", "KII"}},
        {"Tune outside a run", tuneAt3000 + "click 3149\nclick 1\n", {}},
        // Within the slider's range of 0.5 to 1.5 times the opening value.
        {"Kp edited outside a run", "tab 1\nset 1335 0.3\nclick 1\n", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_setup = dcdrive::LoadDefaultSetup();
        const double openingKpi = Base("KPI");
        InstallDrive({{"shaftBlocked", true}});
        RecordingLink link;
        EXPECT_HELD(Run<CTestCurrent>(c.script));
        EXPECT_EQ(link.WritesOf(kGains), c.written);
        EXPECT_NE(Base("KPI"), openingKpi) << "the setup took the new gain";
        if (c.written.empty()) continue;
        // The drive's live registers, read back through the link, hold the
        // setup's new gains.
        for (std::string_view name : kGains) {
            CKX_Variable* variable = m_setup->FindVariable(std::string(name).c_str(), 1);
            ASSERT_NE(variable, nullptr) << name;
            ASSERT_TRUE(variable->ReadFromChip()) << name << ": " << CKX_Comm::GetLastErrorText();
            EXPECT_EQ(variable->GetValueInInternalUnit(), Base(std::string(name).c_str())) << name;
            EXPECT_EQ(m_drive->Register(name), std::llround(Base(std::string(name).c_str()))) << name;
        }
    }
}

// Pending window messages are dispatched inside a tick only for a person at
// the screen: in virtual time a script's queued next step waits for the
// tick to end.
TEST_F(TestDialogs, PendingMessagesArePumpedOnlyInRealTime) {
    struct Probe : CTestCurrent {
        using CMyTestDlg::PumpPendingMessages;
        using CTestCurrent::CTestCurrent;
    };
    kx::HostClock& clock = kx::HostClock::Instance();
    for (const auto mode : {kx::HostClock::Mode::Real, kx::HostClock::Mode::Virtual}) {
        const bool real = mode == kx::HostClock::Mode::Real;
        SCOPED_TRACE(real ? "real time" : "virtual time");
        Probe dialog(*m_setup, 1, nullptr);
        clock.SetMode(mode);
        bool handled = false;
        QTimer::singleShot(0, [&handled] { handled = true; });
        dialog.PumpPendingMessages();
        EXPECT_EQ(handled, real);
        clock.SetMode(kx::HostClock::Mode::Virtual);
        QCoreApplication::processEvents();
        EXPECT_TRUE(handled) << "the message was left pending, not lost";
    }
}

// The tabs: a test current above the protection keeps the parameter tab,
// an equal one passes; a run keeps the Test tab.
TEST_F(TestDialogs, CurrentTestTabs) {
    InstallDrive({{"shaftBlocked", true}});
    const dctest::ScriptRun run = Run<CTestCurrent>(
        "assert 10000 hidden\n"
        "set 1303 2\n"
        "set 1120 2.5\n"
        "tab 1\n"
        "message \"Over current protection must be greater or equal to Test current.\"\n"
        "click ok\n"
        "assert 1120 shown\n"
        "assert 10000 hidden\n"
        "set 1120 2\n"
        "tab 1\n"
        "assert 10000 shown\n"
        "assert 1120 hidden\n"
        "tab 0\n"
        "set 1303 9\n"
        "tab 1\n"
        "click 10000\n"
        "assert 1 disabled\n"
        "assert 1335 disabled\n"
        "tab 0\n"
        "assert 10000 shown\n"
        "wait 0.5\n"
        "assert 10004 text \"Test passed\"\n"
        "assert 1 enabled\n"
        "assert 1381 shown\n"
        "tab 0\n"
        "assert 1120 shown\n"
        "tab 1\n"
        "assert 10004 text \"Test passed\"\n"
        "click 2\n");
    EXPECT_HELD(run);
}

// Closing during a run stops the drive.
TEST_F(TestDialogs, ClosingDuringARunStopsTheDrive) {
    InstallDrive({{"shaftBlocked", true}});
    const dctest::ScriptRun current = Run<CTestCurrent>("tab 1\nclick 10000\nclick 2\n");
    EXPECT_HELD(current);
    EXPECT_FALSE(m_drive->AxisOn());
    EXPECT_EQ(m_drive->GetStatus().program, "");
    const dctest::ScriptRun vdc = Run<CTestVdcDetection>("click 10000\nclick 2\n");
    EXPECT_HELD(vdc);
    EXPECT_EQ(vdc.result, IDCANCEL);
    EXPECT_EQ(m_drive->GetStatus().program, "");
}

// The detection finds the plant's supply within one converter count and
// offers it on Close: Yes keeps it (OK), Cancel stays, No leaves with Cancel.
TEST_F(TestDialogs, SupplyDetection) {
    const double truth = 42.0;
    const double count = Base("VdcMaxMeasurable") / dcdrive::AdcMax(*m_setup);
    const double opening = Base("Vdc");
    const struct {
        const char* what;
        std::string answers;
        int result;
    } cases[] = {
        {"yes", "click yes\n", IDOK},
        {"cancel, then no", "click cancel\nexpect \"VDC Detection Test\"\nclick 2\nclick no\n", IDCANCEL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        InstallDrive({{"supplyVoltage", truth}});
        dctest::Set(*m_setup, "Vdc", opening);
        const dctest::ScriptRun run = Run<CTestVdcDetection>(
            "click 10000\nwait 0.5\nassert 10004 text \"Test passed\"\nclick 2\ndump\n" + c.answers);
        EXPECT_HELD(run);
        EXPECT_EQ(run.result, c.result);
        const double detected = Base("Vdc");
        std::printf("supply detection: plant %.4f V, detected %.4f V (one count %.4f V)\n", truth, detected,
                    count);
        EXPECT_LE(std::fabs(detected - truth), count);
        EXPECT_NE(run.dumped.find(nlohmann::json(dcdrive::SupplyChangeQuestion(opening, detected)).dump()),
                  std::string::npos)
            << run.dumped;
    }
    // Without a successful run Close asks nothing.
    InstallDrive({{"supplyVoltage", truth}});
    EXPECT_HELD(Run<CTestVdcDetection>("click 2\n"));
}

// "Detect" in the drive setup editor: the editor takes the detected supply.
TEST_F(TestDialogs, DetectFromTheDriveSetup) {
    InstallDrive({{"supplyVoltage", 36.0}});
    const dctest::ScriptRun run = RunDriveSetup(
        "assert 3171 enabled\n"
        "click 3171\n"
        "expect \"VDC Detection Test\"\n"
        "click 10000\n"
        "wait 0.5\n"
        "shot vdc-detection\n"
        "click 2\n"
        "shot vdc-question\n"
        "click yes\n"
        "expect \"Drive Setup\"\n"
        "click 2\n");
    EXPECT_HELD(run);
    EXPECT_NEAR(Base("Vdc"), 36.0, Base("VdcMaxMeasurable") / dcdrive::AdcMax(*m_setup));
}

}  // namespace
