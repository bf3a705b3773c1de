// The test dialogs' fixture: resources, a plot folder, a setup and a virtual drive per test, dialogs answered
// by scripts, and designed loops simulated.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "DefaultSetup.h"
#include "EditorTest.h"
#include "GuiTest.h"
#include "conversions/Drivers.h"
#include "drive/VirtualDrive.h"
#include "editors/DriveSetupDlg.h"
#include "editors/Templates.h"
#include "kx/SetupFile.h"
#include "kx/VirtualDriveLink.h"
#include "kx/gui/DriveHost.h"
#include "kx/gui/PlotData.h"
#include "kx/gui/Resources.h"
#include "plugin/Scaling.h"
#include "tests/TestDialogs.h"

namespace dctest {

namespace fs = std::filesystem;

inline const std::string kPassed = "assert 10004 text \"Test passed\"\n";

// The steps that read a failed run's text under Details, the run ended (a JSON string: a quoted word).
inline std::string ExpectFailure(const std::string& message) {
    return "assert 10004 text \"Test failed\"\nassert 10000 text \"Start\"\nclick 10003\nmessage " +
           nlohmann::json(message).dump() + "\nclick ok\n";
}

// A column of a record that SaveGraph wrote, by its name ("Load_Speed").
inline const std::vector<double>& Column(const kx::PlotRecord& record, const std::string& name) {
    for (const kx::PlotColumn& column : record.columns)
        if (column.name == name) return column.values;
    throw std::out_of_range("no column " + name);
}
inline bool Summarised(const kx::PlotRecord& record, const std::string& name) {
    return std::ranges::any_of(record.summary, [&](const auto& line) { return line.first == name; });
}

// A linear loop driven by a reference: loop(x, r, dr, dx) gives the state's derivative for the reference r
// and its slope dr; x[0] is the response.
using Loop = std::function<void(const std::vector<double>& x, double r, double dr, std::vector<double>& dx)>;

// The RMS difference of `measured` to the loop's response from rest over the reference's largest magnitude.
// Euler in steps far below the loops' time constants, the reference a straight line between its samples.
inline double NrmsToDesign(std::size_t states, const Loop& loop, const std::vector<double>& time,
                           const std::vector<double>& reference, const std::vector<double>& measured) {
    std::vector<double> x(states, 0.0), dx(states);
    double sum = std::pow(measured[0], 2), peak = std::fabs(reference[0]);
    for (std::size_t k = 1; k < time.size(); ++k) {
        constexpr int kSteps = 1000;
        const double h = (time[k] - time[k - 1]) / kSteps,
                     slope = (reference[k] - reference[k - 1]) / (kSteps * h);
        for (int i = 0; i < kSteps; ++i) {
            loop(x, reference[k - 1] + slope * i * h, slope, dx);
            for (std::size_t j = 0; j < states; ++j) x[j] += h * dx[j];
        }
        sum += std::pow(measured[k] - x[0], 2);
        peak = std::max(peak, std::fabs(reference[k]));
    }
    return std::sqrt(sum / static_cast<double>(time.size())) / peak;
}

// When a case's fault comes on: before the dialog opens, before Start, or that many seconds (>= 0) in.
inline constexpr double kAtOpening = -2.0, kBeforeStart = -1.0;

struct DialogTest : ::testing::Test {
    void SetUp() override {
        // The resources once, and the tests offered to the editors' buttons.
        if (!kx::ResourceChain::Instance().FindTemplate(111))
            static const kx::ModuleRegistration editors(dcdrive::PluginResources());
        if (!kx::ResourceChain::Instance().FindTemplate(104))
            static const kx::ModuleRegistration tests(dcdrive::TestResources());
        dcdrive::RegisterTestDialogs();
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_plots = fs::temp_directory_path() / ("dcdrive-tests-" + std::to_string(::getpid()) + "-" + name);
        fs::remove_all(m_plots);
        fs::create_directories(m_plots);
        kx::SetPlotFolder(m_plots.string());
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

    // A fresh drive on the default plant with `changes` (plant file keys, SI units).
    void InstallDrive(const nlohmann::json& changes = nlohmann::json::object()) {
        m_plant = nlohmann::json::parse(dcdrive::DefaultPlantJson());
        if (!changes.is_null()) m_plant.merge_patch(changes);
        vdrive::Plant parsed;
        std::string error;
        ASSERT_TRUE(vdrive::ParsePlant(m_plant.dump(), parsed, error)) << error;
        m_scope.reset();
        m_drive = std::make_unique<vdrive::VirtualDrive>(parsed);
        m_scope = std::make_unique<kx::VirtualDriveScope>(*m_drive);
    }
    // The setup of the next run: the sample (null: the default setup) with `changes`, its registers derived
    // from its parameters.
    void UseSetup(const char* sample, const std::vector<Change>& changes = {}) {
        const std::string variants = std::string(DCDRIVE_SOURCE_DIR) + "/setups/variants/";
        m_setup = sample ? kx::LoadSetupFile(variants + sample + ".json") : dcdrive::LoadDefaultSetup();
        for (const auto& [name, value] : changes) Set(*m_setup, name, value);
        dcdrive::ParametersToRegisters(*m_setup);
    }

    // Runs the dialog on m_setup; its template must hold every control that it binds or sets, and once it has
    // gone the drive is idle.
    template <class Dialog>
    ScriptRun Run(const std::string& script) {
        Dialog dialog(*m_setup, 1, nullptr);
        const ScriptRun run = RunScript(script, [&] { return dialog.DoModal(); });
        for (const std::string& problem : dialog.AuditProblems()) ADD_FAILURE() << problem;
        ExpectDriveIdle();
        return run;
    }
    ScriptRun RunDriveSetup(const std::string& script) {
        CDriveSetupDlg dialog(*m_setup, nullptr);
        const ScriptRun run = RunScript(kCloseMotorSetup + "expect \"Drive Setup\"\n" + script,
                                        [&] { return dialog.DoModal(); });
        ExpectDriveIdle();
        return run;
    }

    // The steps that start a run with `fault` switched on at `at`.
    std::string StartWithFault(const std::string& fault, double at) {
        const std::string on = "fault " + fault + " on\n";
        vdrive::Fault opening{};
        if (at == kAtOpening && vdrive::FaultFromName(fault, opening)) m_drive->SetFault(opening, true);
        if (at == kBeforeStart) return on + "click 10000\n";
        return "click 10000\n" + (at > 0 ? "wait " + std::to_string(at) + "\n" + on : at == 0 ? on : "");
    }

    double Base(const char* name) const { return m_setup->GetParameterValueInBaseUnit(name); }
    // The plant's total inertia (the load's ratio is 1).
    double PlantInertia() const {
        return m_plant["motor"]["inertia"].get<double>() + m_plant["load"]["inertia"].get<double>();
    }
    kx::PlotRecord Saved(const std::string& name) const {
        return kx::ReadCsvFile((m_plots / (name + ".csv")).string());
    }
    // The saved record's `measured` follows `loop` driven by its `reference` within 10 % NRMS; for a step,
    // from the step on, the reference held at its end value.
    void ExpectFollows(const std::string& name, const char* reference, const char* measured,
                       std::size_t states, const Loop& loop, bool step = false) const {
        const kx::PlotRecord record = Saved(name);
        std::vector<double> t = Column(record, "Time"), r = Column(record, reference),
                            y = Column(record, measured);
        ASSERT_GT(y.size(), step ? 50u : 200u);
        if (step) {
            const auto from =
                std::ranges::find_if(r, [&](double v) { return v >= 0.5 * r.back(); }) - r.begin();
            for (auto* v : {&t, &r, &y}) v->erase(v->begin(), v->begin() + from);
            std::ranges::fill(r, r.back());
        }
        const double nrms = NrmsToDesign(states, loop, t, r, y);
        std::printf("%s: %s to the design: NRMS %.2f %%\n", name.c_str(), measured, 100 * nrms);
        EXPECT_LT(nrms, 0.10);
    }

    void ExpectDriveIdle() const {
        EXPECT_FALSE(m_drive->GetStatus().axisOn);
        EXPECT_EQ(m_drive->GetStatus().program, "");
    }

    fs::path m_plots;
    nlohmann::json m_plant;
    std::unique_ptr<CKX_Setup> m_setup;
    std::unique_ptr<vdrive::VirtualDrive> m_drive;
    std::unique_ptr<kx::VirtualDriveScope> m_scope;
};

}  // namespace dctest
