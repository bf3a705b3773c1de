// What the speed and position tuning dialog tests share: the virtual drive
// on a plant, the dialogs run by scripts in virtual time, the saved record
// read back, and the designed loops simulated as continuous systems driven
// by the logged reference.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "DefaultSetup.h"
#include "EditorTest.h"
#include "GuiTest.h"
#include "VirtualDrive.h"
#include "editors/DriveSetupDlg.h"
#include "editors/Templates.h"
#include "kx/Comm.h"
#include "kx/VirtualDriveLink.h"
#include "kx/gui/DriveHost.h"
#include "plugin/Scaling.h"
#include "tests/TestDialogs.h"

namespace dctest {

namespace fs = std::filesystem;

// A record as SaveGraph wrote it: the summary lines and the columns by title.
struct TuningRecord {
    std::map<std::string, std::string> summary;
    std::map<std::string, std::vector<double>> columns;
    // The column whose title begins with `name` ("Load_Speed [rpm]").
    const std::vector<double>& Column(const std::string& name) const {
        for (const auto& [title, values] : columns)
            if (title.rfind(name, 0) == 0) return values;
        throw std::out_of_range("no column " + name);
    }
};

inline TuningRecord ReadTuningCsv(const fs::path& path) {
    TuningRecord record;
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

// A linear loop driven by a reference: `derivative(state, r, dr)` gives the
// state's derivative for the reference r and its slope dr; `output` the
// response. Integrated with RK4 in small steps, the reference taken as the
// straight line between its logged samples.
struct LoopModel {
    std::size_t states;
    std::function<void(const std::vector<double>& x, double r, double dr, std::vector<double>& dx)>
        derivative;
    std::function<double(const std::vector<double>& x)> output;
};

inline std::vector<double> SimulateLoop(const LoopModel& model, const std::vector<double>& time,
                                        const std::vector<double>& reference, std::vector<double> x0) {
    std::vector<double> out{model.output(x0)};
    std::vector<double> x = std::move(x0), k1(model.states), k2(model.states), k3(model.states),
                        k4(model.states), tmp(model.states);
    constexpr int kSteps = 40;
    for (std::size_t k = 1; k < time.size(); ++k) {
        const double span = time[k] - time[k - 1];
        const double h = span / kSteps;
        const double slope = (reference[k] - reference[k - 1]) / span;
        for (int i = 0; i < kSteps; ++i) {
            const double t = i * h;
            const auto r = [&](double at) { return reference[k - 1] + slope * at; };
            model.derivative(x, r(t), slope, k1);
            for (std::size_t j = 0; j < x.size(); ++j) tmp[j] = x[j] + h / 2 * k1[j];
            model.derivative(tmp, r(t + h / 2), slope, k2);
            for (std::size_t j = 0; j < x.size(); ++j) tmp[j] = x[j] + h / 2 * k2[j];
            model.derivative(tmp, r(t + h / 2), slope, k3);
            for (std::size_t j = 0; j < x.size(); ++j) tmp[j] = x[j] + h * k3[j];
            model.derivative(tmp, r(t + h), slope, k4);
            for (std::size_t j = 0; j < x.size(); ++j)
                x[j] += h / 6 * (k1[j] + 2 * k2[j] + 2 * k3[j] + k4[j]);
        }
        out.push_back(model.output(x));
    }
    return out;
}

// The RMS difference over the reference's largest magnitude.
inline double NormalizedRms(const std::vector<double>& measured, const std::vector<double>& designed,
                            const std::vector<double>& reference) {
    double sum = 0.0, peak = 0.0;
    for (std::size_t k = 0; k < designed.size(); ++k) sum += std::pow(measured[k] - designed[k], 2);
    for (double r : reference) peak = std::max(peak, std::fabs(r));
    return std::sqrt(sum / static_cast<double>(designed.size())) / peak;
}

class TuningDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_plots =
            fs::temp_directory_path() / ("dcdrive-tuning-" + std::to_string(::getpid()) + "-" + info->name());
        fs::remove_all(m_plots);
        fs::create_directories(m_plots);
        kx::SetPlotFolder(m_plots.string());
        dcdrive::RegisterTestDialogs();
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
        m_plant = plant;
        m_scope.reset();
        m_drive = std::make_unique<vdrive::VirtualDrive>(parsed);
        m_scope = std::make_unique<kx::VirtualDriveScope>(*m_drive);
    }

    template <class Dialog>
    ScriptRun Run(const std::string& script) {
        Dialog dialog(*m_setup, 1, nullptr);
        return RunScript(script, [&] { return dialog.DoModal(); });
    }
    ScriptRun RunDriveSetup(const std::string& script) {
        CDriveSetupDlg dialog(*m_setup, nullptr);
        return RunScript(kCloseMotorSetup + "expect \"Drive Setup\"\n" + script,
                         [&] { return dialog.DoModal(); });
    }

    double Base(const char* name) const { return m_setup->GetParameterValueInBaseUnit(name); }
    // The plant's total inertia and torque constant.
    double TrueInertia() const {
        return m_plant["motor"]["inertia"].get<double>() + m_plant["load"]["inertia"].get<double>();
    }
    double TrueTorqueConstant() const { return m_plant["motor"]["torqueConstant"].get<double>(); }

    fs::path m_plots;
    nlohmann::json m_plant;
    std::unique_ptr<CKX_Setup> m_setup;
    std::unique_ptr<vdrive::VirtualDrive> m_drive;
    std::unique_ptr<kx::VirtualDriveScope> m_scope;
};

// A text as a script's quoted word.
inline std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        if (c == '\n')
            quoted += "\\n";
        else if (c == '\r')
            quoted += "\\r";
        else
            quoted += c;
    }
    return quoted + "\"";
}

}  // namespace dctest
