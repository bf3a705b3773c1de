// The test base on real widgets in virtual time, over a drive link that
// remembers what it was asked.
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>

#include "FakeDriveLink.h"
#include "GuiTest.h"
#include "kx/Comm.h"
#include "kx/Kernel.h"
#include "kx/Setup.h"
#include "kx/gui/Clock.h"
#include "kx/gui/Graph.h"
#include "kx/gui/Logger.h"
#include "kx/gui/Resources.h"
#include "kx/gui/TestDlg.h"

namespace {

constexpr unsigned kTemplate = 9101, kGraph = 1361;
constexpr const char* kProgram = "Probe_Test";
constexpr const char* kFlagFailure = "Test failed!\nCurrent protection triggered during test!";

void BuildProbeTemplate(QDialog& dialog) {
    dialog.setWindowTitle("Probe Test");
    dialog.setProperty("templateId", kTemplate);
    auto* layout = new QVBoxLayout(&dialog);
    const auto add = [&](QWidget* widget, unsigned id) {
        widget->setProperty("ctrlId", id);
        layout->addWidget(widget);
    };
    add(new QLabel("Launching", &dialog), 10001);
    auto* graph = new QFrame(&dialog);
    graph->setMinimumSize(420, 240);
    add(graph, kGraph);
    add(new QLabel(&dialog), 10002);  // the result's icon
    add(new QLabel(&dialog), 10004);  // the result's text
    for (const auto& [text, id] : {std::pair{"&Start", 10000u}, {"Details", 10003u}, {"OK", 1u}, {"Close", 2u}})
        add(new QPushButton(text, &dialog), id);
}

const kx::ResourceModule& ProbeModule() {
    static const kx::ResourceModule module{"probe", {{kTemplate, &BuildProbeTemplate}}, {}, {}, {}, {}};
    return module;
}
const kx::ModuleRegistration g_registration(ProbeModule());

// A program folder with the probe's program file (and the plots below it),
// for the life of the object.
struct ProgramFolder {
    ProgramFolder() {
        std::filesystem::create_directories(path);
        std::ofstream(path / (std::string(kProgram) + ".json")) << R"({"program": "Probe_Test", "symbols": [
            {"name": "STARTED", "address": 100, "type": 1}, {"name": "test_flag", "address": 101, "type": 1},
            {"name": "In1", "address": 102, "type": 1}, {"name": "Gain", "address": 103, "type": 5},
            {"name": "Current_Reference", "address": 200, "type": 1}]})";
        kx::SetProgramFolder(path.string());
        kx::SetPlotFolder((path / "plots").string());
    }
    ~ProgramFolder() {
        kx::SetProgramFolder("");
        kx::SetPlotFolder("");
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("kxgui-programs-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
};

// A setup with one register and the logged drive variables.
std::unique_ptr<CKX_Setup> ProbeSetup() {
    auto setup = std::make_unique<CKX_Setup>();
    setup->AddParameter("KPI", "", KX_TYPE_INT16)->SetValueInBaseUnit(1234);
    setup->AddVariable(std::make_unique<CKX_Variable>("Current_Reference", "A", KX_TYPE_INT16, 646));
    setup->AddVariable(std::make_unique<CKX_Variable>("Motor_Current", "A", KX_TYPE_INT16, 647));
    return setup;
}

// A small test dialog in the manner of the product's: one single-shot run
// that uploads its record, or a continuous one that ends on Stop.
class ProbeDlg : public CKX_TestDlg {
public:
    explicit ProbeDlg(CKX_Setup& setup) : CKX_TestDlg(setup, kTemplate, 1, nullptr) { m_nStages = 3; }

    std::string program = kProgram;
    std::vector<int> stagesSeen;
    int stageAfterExecute = -1;
    CKX_CoffFormat coff;
    std::unique_ptr<CKX_SingleAxisLogger> logger;
    CGraphWindow graph{2, 0};

protected:
    BOOL OnInitDialog() override {
        const BOOL result = CKX_TestDlg::OnInitDialog();
        coff.SetFileName(GetOutPathName(kProgram));
        coff.ReadCoff();
        logger = std::make_unique<CKX_SingleAxisLogger>(GetSetup(), &coff);
        logger->ChangeSettings(100, KX_LOG_FAST_LOOP, 1);
        logger->AddVariable("Current_Reference", 1);
        logger->AddVariable("Motor_Current", 1);
        CGraphFilter* filter = logger->GetGraphDocument()->GetAt(0);
        filter->AddCurve(CXYCurve(1, 0, 1, 2, RGB16(2)));
        filter->AddCurve(CXYCurve(2, 0, 2, 2, RGB16(5)));
        logger->CorrectPointsNo();
        logger->LocateItems();
        graph.SubclassDlgItem(kGraph, this, filter);
        graph.ApplySettings();
        graph.RefreshGraph();
        return result;
    }

    void Fail(const std::string& error) {
        m_strError = error;
        TestFailed(1);
    }

    void BeginTest() override {
        m_bRunning = 1;
        m_nResult = -1;
        m_nStage = 0;
        if (!SetUserVariableValue(&coff, "In1", 100, m_strError)) return TestFailed(1);
        const bool ours = program == kProgram;
        if (!ExecuteCode(program.c_str(), ours ? &coff : nullptr, ours ? logger.get() : nullptr, nullptr,
                         nullptr))
            return Fail(msc_pszErrInternal);
        stageAfterExecute = m_nStage;
        SetTimer(kx::kPollTimer, 20);
    }

    void OnTimer(UINT id) override {
        KillTimer(kx::kPollTimer);
        if (!m_bRunning || id != kx::kPollTimer) return;
        stagesSeen.push_back(m_nStage);
        if (m_bContinuous) {
            if (m_bStopRequested) return TestSucceeded(1);
            SetTimer(kx::kPollTimer, 20);
            return;
        }
        if (m_nStage == 2) {
            int on = 0;
            if (!GetAxisOn(on)) return TestFailed(1);
            if (on || m_bUploadStage) {
                SetTimer(kx::kPollTimer, 20);
                return;
            }
        } else if (m_nStage != 3) {
            return Fail(msc_pszErrInternal);
        }
        double flag = 0;
        if (!GetUserVariableValue(&coff, "test_flag", flag, m_strError)) return TestFailed(1);
        if (flag <= 0) return Fail(kFlagFailure);
        if (!logger->BeginUploadData()) return Fail(msc_pszErrInternal);
        while (logger->ReadPoint(nullptr)) graph.UpdateLastPoint();
        graph.DoZoomOut();
        TestSucceeded(1);
    }
};

// The probe over a link of its own, in a program folder of its own.
struct Probe {
    ProgramFolder folder;
    dctest::FakeDriveLink link;
    dctest::ActiveLink active{&link};
    std::unique_ptr<CKX_Setup> setup = ProbeSetup();
    ProbeDlg dlg{*setup};
    dctest::ScriptRun Run(const std::string& script) {
        return dctest::RunScript(script, [&] { return dlg.DoModal(); });
    }
};

std::vector<kx::LogPoint> Record(int points) {
    std::vector<kx::LogPoint> record;
    for (int i = 0; i < points; ++i)
        record.push_back({i / 20000.0, {i < points / 4 ? 0 : 150, std::min<std::int64_t>(150, 15 * i)}});
    return record;
}

// How a run ends: a passed run (result 1) shows "Test passed" without
// Details, any other "Test failed" with them.
struct RunCase {
    const char* name;
    std::function<void(dctest::FakeDriveLink&, ProbeDlg&)> arrange;
    int result;         // m_nResult
    std::string error;  // m_strError
    std::vector<int> stages;
};

TEST(TestDlg, RunEndsWithItsResultTheDriveStoppedAndStartBack) {
    const std::string internal = CKX_TestDlg::msc_pszErrInternal, noAnswer = "The drive does not answer.";
    const RunCase cases[] = {
        {"completes", [](auto& link, auto&) { link.variables["test_flag"] = 1; }, 1, "", {2, 2, 2, 2}},
        {"flag zero fails", [](auto& link, auto&) { link.variables["test_flag"] = 0; }, 0, kFlagFailure,
         {2, 2, 2, 2}},
        {"upload stage after the program ended",
         [](auto& link, auto& dlg) { link.variables["test_flag"] = 1, dlg.m_bUploadStage = 1; }, 1, "", {2, 2, 3}},
        {"unknown program", [](auto& link, auto&) { link.programs.clear(); }, 0, internal, {}},
        {"program file missing", [](auto&, auto& dlg) { dlg.program = "Missing_Test"; }, 0, internal, {}},
        {"variable write fails", [](auto& link, auto&) { link.failing = "Write"; }, 0, noAnswer, {}},
        {"axis state unreadable", [](auto& link, auto&) { link.failing = "AxisOn"; }, 0, noAnswer, {2}},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.name);
        Probe p;
        p.link.programs.push_back("Missing_Test");
        p.link.logged = Record(100);
        c.arrange(p.link, p.dlg);
        const bool passed = c.result == 1;
        EXPECT_HELD(p.Run(std::string("click 10000\nwait 1\nassert 10004 text \"Test ") +
                          (passed ? "passed\"\nassert 10003 hidden" : "failed\"\nassert 10003 shown") +
                          "\nassert 10000 text \"Start\"\nclick 2\n"));
        EXPECT_EQ(p.dlg.m_nResult, c.result);
        EXPECT_EQ(p.dlg.m_bRunning, 0);
        EXPECT_EQ(p.dlg.m_strError, c.error);
        EXPECT_EQ(p.dlg.stagesSeen, c.stages);
        if (!c.stages.empty()) {
            EXPECT_EQ(p.dlg.stageAfterExecute, 1);
            EXPECT_GE(p.link.Count("Stop"), 1);
        }
    }
}

TEST(TestDlg, StartDownloadsTheSetupArmsTheLoggerStartsTheProgramAndTheRecordIsSaved) {
    Probe p;
    p.link.variables["test_flag"] = 1;
    p.link.logged = Record(100);
    EXPECT_HELD(p.Run("click 10000\nwait 1\nshot TestDlg_passed\nclick 2\n"));
    // The program's input is written before the registers go down, and the
    // logger is armed before the program starts.
    EXPECT_EQ(std::vector<std::string>(p.link.calls.begin(), p.link.calls.begin() + 4),
              (std::vector<std::string>{"Write", "Download", "ArmLogger", "Start"}));
    EXPECT_EQ(p.link.variables["In1"], 100);
    EXPECT_EQ(p.link.downloaded.at("KPI"), 1234);
    EXPECT_EQ(p.link.started, kProgram);
    const kx::LogSettings& armed = p.link.armed;
    EXPECT_EQ(std::tuple(armed.points, armed.fastLoop, armed.every), std::tuple(100, true, 1));
    ASSERT_EQ(armed.columns.size(), 2u);
    EXPECT_EQ(armed.columns[0].address, 200);  // the program's symbol before the setup's variable
    EXPECT_EQ(armed.columns[1].address, 647);
    EXPECT_EQ(p.dlg.logger->GetGraphDocument()->GetPointCount(), 100);
    EXPECT_EQ(p.dlg.graph.GetAxisRanges().at(0), (std::pair<double, double>{0.0, 99 / 20000.0}));

    p.dlg.logger->SetSummary({{"Overshoot", "4.2 %"}});
    ASSERT_TRUE(p.dlg.logger->SaveGraph("CurrentTuning"));
    const auto csv = p.folder.path / "plots" / "CurrentTuning.csv";
    const auto png = p.folder.path / "plots" / "CurrentTuning.png";
    std::ifstream in(csv);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 2u + 100u);
    EXPECT_EQ(lines[0], "# Overshoot: 4.2 %");
    EXPECT_EQ(lines[1], "Time [s],Current_Reference [A],Motor_Current [A]");
    EXPECT_EQ(lines[9], "0.00035,0,105");
    EXPECT_GT(std::filesystem::file_size(png), 1000u);
    EXPECT_EQ(p.dlg.logger->GetSavedFiles(), (std::vector<std::string>{csv.string(), png.string()}));

    // A plot folder that cannot be made: the user is told, nothing is kept.
    kx::SetPlotFolder((csv / "below-a-file").string());
    const auto failed = dctest::RunScript("click ok\n", [&] { return p.dlg.logger->SaveGraph("CurrentTuning"); });
    EXPECT_HELD(failed);
    EXPECT_EQ(failed.result, 0);
    EXPECT_NE(p.dlg.logger->GetError().find("below-a-file"), std::string::npos);
    EXPECT_TRUE(p.dlg.logger->GetSavedFiles().empty());
}

// Stop ends a single-shot run at once and a continuous one at its next tick;
// closing the window ends a run as well. Each stops the drive once.
TEST(TestDlg, StopOrClosingEndsTheRunAndStopsTheDrive) {
    const std::string start = "click 10000\nwait 0.1\n", stop = start + "click 10000\n";
    const struct {
        int continuous;
        std::string script;
        int stopRequested, result;
    } cases[] = {
        {0, stop + "assert 10000 text \"Start\"\nwait 0.2\nclick 2\n", 1, -1},
        {1, stop + "assert 10000 text \"Stop\"\nwait 0.05\nassert 10000 text \"Start\"\n"
                   "assert 10004 text \"Test passed\"\nclick 2\n", 1, 1},
        {0, start + "click 2\n", 0, -1},
        {0, start + "key Esc\n", 0, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        Probe p;
        p.link.runPolls = 1000000;
        p.dlg.m_bContinuous = c.continuous;
        const auto run = p.Run(c.script);
        EXPECT_HELD(run);
        EXPECT_EQ(run.result, IDCANCEL);
        EXPECT_EQ(p.dlg.m_bStopRequested, c.stopRequested);
        EXPECT_EQ(p.dlg.m_bRunning, 0);
        EXPECT_EQ(p.dlg.m_nResult, c.result);
        EXPECT_EQ(p.link.Count("Stop"), 1);
        EXPECT_FALSE(kx::HostClock::Instance().HasTimer(&p.dlg, kx::kPollTimer));
        // No tick after the end of the run: 0.1 s of ticks every 20 ms.
        EXPECT_LE(p.dlg.stagesSeen.size(), 6u);
    }
}

TEST(TestDlg, DetailsShowTheFailureTextUntilTheNextStart) {
    Probe p;
    EXPECT_HELD(p.Run("assert 10003 hidden\nclick 10000\nwait 1\nshot TestDlg_failed\nclick 10003\n"
                      "message \"Test failed!\\nCurrent protection triggered during test!\"\nclick ok\n"
                      "click 10000\nassert 10003 hidden\nclick 2\n"));
}

TEST(TestDlg, ProgramVariablesByNameInTheDrivesUnit) {
    Probe p;
    ProbeDlg& dlg = p.dlg;
    dlg.coff.SetFileName(dlg.GetOutPathName(kProgram));
    ASSERT_TRUE(dlg.coff.ReadCoff()) << dlg.coff.GetError();
    std::string error;
    EXPECT_TRUE(dlg.SetUserVariableValue(&dlg.coff, "Gain", 1.5, error));
    EXPECT_EQ(p.link.variables["Gain"], 98304);  // 16.16 fixed point
    double value = 0;
    p.link.variables["test_flag"] = -2;
    EXPECT_TRUE(dlg.GetUserVariableValue(&dlg.coff, "TEST_FLAG", value, error));
    EXPECT_EQ(value, -2);

    const std::string notFound = "Variable \"Nope\" not found in the test program \"Probe_Test\".";
    for (const auto& [name, failing, text] : {std::tuple{"Nope", "", notFound},
                                              {"In1", "Write", p.link.failText},
                                              {"In1", "Read", p.link.failText}}) {
        p.link.failing = failing;
        error.clear();
        EXPECT_EQ(dlg.SetUserVariableValue(&dlg.coff, name, 1, error), p.link.failing == "Read");
        EXPECT_EQ(error, p.link.failing == "Read" ? "" : text);
        error.clear();
        EXPECT_EQ(dlg.GetUserVariableValue(&dlg.coff, name, value, error), p.link.failing == "Write");
        EXPECT_EQ(error, p.link.failing == "Write" ? "" : text);
    }
    CKX_Comm::SetActiveLink(nullptr);
    EXPECT_FALSE(dlg.SetUserVariableValue(&dlg.coff, "In1", 1, error));
    EXPECT_EQ(error, kx::kNoDriveText);
    int on = 1;
    EXPECT_FALSE(dlg.GetAxisOn(on));
    EXPECT_EQ(dlg.m_strError, kx::kNoDriveText);
    EXPECT_FALSE(dlg.ExecuteCode(kProgram, &dlg.coff));
    EXPECT_EQ(CKX_Comm::GetLastErrorText(), kx::kNoDriveText);
}

TEST(Logger, UploadedPointsAreScaledToTheVariablesDisplayUnits) {
    Probe p;
    const auto factor = kx::GetScaleFactorFunction();
    const auto offset = kx::GetScaleOffsetFunction();
    // Scaling as the plug-in gives it: 10 mA per count of current.
    kx::SetScaleFunctions(
        [](CKX_Setup*, const char* unit, const char*) { return unit == std::string("A") ? 0.01 : 1.0; },
        [](CKX_Setup*, const char*) { return 0.0; });
    p.link.logged = {{0.0, {100, 150, 7}}, {1e-4, {-50, 300, 8}}};
    p.setup->FindVariable("Motor_Current")->ChangeUnitType("mA");
    CKX_CoffFormat coff;
    coff.SetFileName(kx::ProgramPath(kProgram));
    ASSERT_TRUE(coff.ReadCoff());
    CKX_SingleAxisLogger logger(*p.setup, &coff);
    logger.AddVariable("Current_Reference", 1);  // program symbol, setup unit A
    logger.AddVariable("Motor_Current", 1);      // setup variable in mA
    logger.AddVariable("STARTED", 1);            // program symbol only: raw value, no unit
    EXPECT_FALSE(logger.AddVariable("motor_current", 1));
    ASSERT_TRUE(logger.LocateItems()) << logger.GetError();
    ASSERT_TRUE(logger.BeginUploadData());
    int read = 0;
    while (logger.ReadPoint(nullptr)) ++read;
    EXPECT_EQ(read, 2);
    const auto& columns = logger.GetGraphDocument()->Columns();
    ASSERT_EQ(columns.size(), 4u);
    const std::vector<std::pair<std::string, std::vector<double>>> expected = {
        {"s", {0.0, 1e-4}}, {"A", {1.0, -0.5}}, {"mA", {1500.0, 3000.0}}, {"", {7.0, 8.0}}};
    for (std::size_t c = 1; c < 4; ++c) EXPECT_EQ(columns[c].unit, expected[c].first) << c;
    for (std::size_t c = 0; c < 4; ++c) EXPECT_EQ(columns[c].values, expected[c].second) << c;
    kx::SetScaleFunctions(factor, offset);

    CKX_SingleAxisLogger unknown(*p.setup, &coff);
    unknown.AddVariable("Nowhere", 1);
    EXPECT_FALSE(unknown.LocateItems());
    EXPECT_NE(unknown.GetError().find("\"Nowhere\""), std::string::npos);
    p.link.failing = "Upload";
    EXPECT_FALSE(logger.BeginUploadData());
    EXPECT_EQ(logger.GetError(), p.link.failText);
    EXPECT_FALSE(logger.ReadPoint(nullptr));
}

}  // namespace
