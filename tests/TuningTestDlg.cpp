#include "TuningTestDlg.h"

#include <QAbstractButton>
#include <QDialog>
#include <QMenu>
#include <QStyle>
#include <QWidget>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "conversions/Capabilities.h"
#include "conversions/Conventions.h"
#include "conversions/Derived.h"
#include "conversions/Drivers.h"
#include "conversions/Gains.h"
#include "conversions/Names.h"
#include "editors/FiltersDialog.h"
#include "editors/SubDialogs.h"
#include "kx/Kernel.h"
#include "kx/gui/Logger.h"
#include "tests/ProfileResponse.h"
#include "tests/SpeedTuningRules.h"

using namespace dcdrive;
using namespace dcdrive::names;

namespace {

constexpr unsigned kPicture = 1305;
constexpr unsigned kProfilePicture = 1322;
constexpr unsigned kDataLoggerGraph = 1361;
constexpr unsigned kOnlineGraph = 1362;
constexpr unsigned kDataLoggerRadio = 1368;
constexpr unsigned kOnlineRadio = 1369;
constexpr unsigned kTuneButton = 1390;
constexpr unsigned kFiltersButton = 3138;
constexpr unsigned kPauseButton = 10016;
constexpr unsigned kContinueButton = 10017;
constexpr unsigned kReferenceTypeLabel = 1323;
constexpr unsigned kReferenceTypeRadios[] = {3528, 3529, 3530};
constexpr unsigned kReferenceSwatch = 3331;
constexpr unsigned kResponseSwatch = 3332;
// Colours of the reference and the response (palette indices).
constexpr int kReferenceColour = 2;
constexpr int kResponseColour = 5;
// The poll timer of an on-line run with the oscilloscope.
constexpr unsigned kScopePollMs = 1;
// The step figures of each cycle.
constexpr unsigned kFiguresGroup = 1395;
constexpr unsigned kFiguresText = 1396;

constexpr int kProcedure = 5;
constexpr int kProtectionTripped = 4;
constexpr int kContinuousRun = 3;

// Data logger: 2000 points of the speed/position loop, every sample.
constexpr unsigned short kLogPoints = 2000;
constexpr unsigned short kLogEvery = 1;

}  // namespace

CTuningTestDlg::CTuningTestDlg(CKX_Setup& setup, unsigned templateId, int flag, CWnd* parent,
                               const TuningTestNames& names)
    : CMyTestDlg(setup, templateId, flag, parent), m_graph(2, 0), m_scopeWindow(4, 0), m_names(names) {
    m_nStages = CodeOr(setup, names.onlinePlot, 0) == 0 ? 3 : 2;
}

CTuningTestDlg::~CTuningTestDlg() {
    delete m_logger;
    m_logger = nullptr;
    delete m_scope;
    m_scope = nullptr;
    if (m_pfnPrevMsgHandler) CKX_Comm::RegisterReceiveUnsolicitedMsgHandler(m_pfnPrevMsgHandler);
    if (*m_names.frameReceiver == this) *m_names.frameReceiver = nullptr;
}

const kx::MessageMap* CTuningTestDlg::GetMessageMap() const {
    // The "Identify" button differs between the tests: both ids are mapped,
    // a template holds one of them.
    static const kx::MessageMapEntry entries[] = {
        KX_ON_CLICKED(kSavePlotsButton, CTuningTestDlg::OnScopeSavePlots),
        KX_ON_CLICKED(kTuneButton, CTuningTestDlg::OnTune),
        KX_ON_CLICKED(kFiltersButton, CTuningTestDlg::OnFilters),
        KX_ON_CLICKED(kDataLoggerRadio, CTuningTestDlg::OnPlotModeClicked),
        KX_ON_CLICKED(kOnlineRadio, CTuningTestDlg::OnPlotModeClicked),
        KX_ON_CLICKED(kPauseButton, CTuningTestDlg::OnPause),
        KX_ON_CLICKED(kContinueButton, CTuningTestDlg::OnContinue),
        KX_ON_MESSAGE(KX_WM_CHANGE_CHANNEL_SCALE, CTuningTestDlg::OnChangeChannelScale),
    };
    static const kx::MessageMap map{CMyTestDlg::GetMessageMap(), entries};
    return &map;
}

void CTuningTestDlg::BindControls() {
    CKX_Setup& setup = GetSetup();
    const kx::QuietLookup quiet;
    for (const ValueControls& v : m_names.values)
        if (setup.FindParameter(v.parameter)) AddParameterControls(v.parameter, v.edit, v.units);
    for (const SliderControls& s : m_names.sliders) {
        const CKX_Parameter* p = setup.FindParameter(s.parameter);
        if (!p) continue;
        const auto [low, high] =
            GainSliderRange(p->GetValueInBaseUnit(), p->GetMinInBaseUnit(), p->GetMaxInBaseUnit());
        AddSliderParameterControls(s.parameter, s.slider, s.edit, s.units, s.low, s.high, low, high);
    }
    AddSwitchParameterControls(m_names.onlinePlot, kDataLoggerRadio, kOnlineRadio);
    AddCheckParameterControls(m_names.multiCycle, 1332);
    if (HasSpeedTestReferenceType(setup))
        AddSwitchParameterControls(m_names.referenceType, kReferenceTypeRadios[0], kReferenceTypeRadios[2]);
}

bool CTuningTestDlg::OnlineMode() const { return CodeOr(GetSetup(), m_names.onlinePlot, 0) != 0; }

bool CTuningTestDlg::MultiCycle() const { return CodeOr(GetSetup(), m_names.multiCycle, 0) != 0; }

const char* CTuningTestDlg::ValidateTestTab() { return ValidateTuningTest(GetSetup()); }

BOOL CTuningTestDlg::OnInitDialog() {
    CMyTestDlg::OnInitDialog();
    SetChildText(kProcedureText, m_names.info[kProcedure]);
    SetChildText(m_names.liveReferenceText, "");
    SetChildText(m_names.liveResponseText, "");
    // The swatches beside the live values show the colours of their curves.
    for (const auto& [id, colour] :
         {std::pair{kReferenceSwatch, kReferenceColour}, {kResponseSwatch, kResponseColour}}) {
        const COLORREF c = RGB16(colour);
        if (QWidget* swatch = GetDlgItem(id))
            swatch->setStyleSheet(QString::asprintf("background-color: rgb(%d, %d, %d)", kx::GetRValue(c),
                                                    kx::GetGValue(c), kx::GetBValue(c)));
    }
    // The pause and continue buttons show pictures in place of their captions.
    const struct {
        unsigned id;
        QStyle::StandardPixmap icon;
        const char* tip;
    } pictureButtons[] = {{kPauseButton, QStyle::SP_MediaPause, "Pause"},
                          {kContinueButton, QStyle::SP_MediaPlay, "Continue"}};
    for (const auto& b : pictureButtons) {
        if (auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(b.id))) {
            button->setToolTip(QString::fromUtf8(b.tip));
            button->setIcon(button->style()->standardIcon(b.icon));
            button->setText(QString());
        }
    }
    SetChildBitmap(kPicture, m_names.pictureBitmap);
    ShowProfileDrawing();
    m_coff.SetFileName(GetOutPathName(ProgramName()));
    m_coff.ReadCoff();

    m_logger = new CKX_SingleAxisLogger(GetSetup(), &m_coff);
    m_logger->ChangeSettings(kLogPoints, KX_LOG_SLOW_LOOP, kLogEvery);
    for (const char* name : LoggedVariables()) m_logger->AddVariable(name, 1);
    CGraphFilter* filter = m_logger->GetGraphDocument()->GetAt(0);
    if (filter) {
        filter->AddCurve(CXYCurve(1, 0, 1, 2, RGB16(2)));  // reference
        filter->AddCurve(CXYCurve(2, 0, 3, 2, RGB16(8)));  // inner reference
        filter->AddCurve(CXYCurve(1, 0, 2, 2, RGB16(5)));  // response
        filter->AddCurve(CXYCurve(2, 0, 4, 2, RGB16(9)));  // inner response
    }
    m_logger->CorrectPointsNo();
    m_logger->LocateItems();
    m_graph.SubclassDlgItem(kDataLoggerGraph, this, filter);
    m_graph.ApplySettings();
    m_graph.RefreshGraph();
    m_graph.SetContextMenuHook([this](QMenu& menu) { AddGraphCommands(menu); });
    SetUpScope();

    CheckInertia();
    const kx::QuietLookup quiet;
    EnableChild(kFiltersButton,
                HasBiquadFilters(GetSetup()) && CodeOr(GetSetup(), kPosSpd_in_FastLoop, 0) == 0);
    return TRUE;
}

void CTuningTestDlg::CheckInertia() {
    CKX_Setup& setup = GetSetup();
    const kx::QuietLookup quiet;
    CKX_Parameter* jt = setup.FindParameter(kJt);
    const CKX_Parameter* jm = setup.FindParameter(kJm);
    if (!jt || !jm) return;
    const double total = jt->GetValueInBaseUnit(), motor = jm->GetValueInBaseUnit();
    if (motor > total && CodeOr(setup, kisMotorInertiaUnknown, 0) == 0) {
        if (const SubDialogRunner question = FindSubDialog(SubDialog::InertiaQuestion))
            question(setup, nullptr);
    }
    if (CKX_Parameter* ratio = setup.FindParameter(kJload_over_J); ratio && IsDivisor(motor))
        ratio->SetValueInBaseUnit((total - motor) / motor);
    RefreshAllParameters(0);
}

void CTuningTestDlg::ShowProfileDrawing() {
    const kx::QuietLookup quiet;
    unsigned bitmap = kPositiveProfileBitmap;
    if (HasSpeedTestReferenceType(GetSetup())) {
        switch (ReferenceTypeOf(CodeOr(GetSetup(), m_names.referenceType, 0))) {
            case ReferenceType::Negative:
                bitmap = kNegativeProfileBitmap;
                break;
            case ReferenceType::Bidirectional:
                bitmap = kBidirectionalProfileBitmap;
                break;
            case ReferenceType::Positive:
                break;
        }
    }
    SetChildBitmap(kProfilePicture, bitmap);
}

void CTuningTestDlg::DoDataExchange(CDataExchange* pDX) {
    CMyTestDlg::DoDataExchange(pDX);
    if (pDX->m_bSaveAndValidate) return;
    CKX_Setup& setup = GetSetup();
    const kx::QuietLookup quiet;
    const bool idle = !m_bRunning;
    const bool testTab = GetSelectedTab() == kTestTab;
    const bool online = OnlineMode();
    EnableChild(IDOK, idle);
    EnableChild(m_names.identifyButton,
                idle && static_cast<bool>(FindSubDialog(SubDialog::TotalInertiaTest)));
    EnableChild(kDataLoggerRadio, idle);
    // Live values need a multi-cycle run; the oscilloscope does not.
    EnableChild(kOnlineRadio, idle && (MultiCycle() || m_scope));
    if (m_scope) {
        ShowChild(kPauseButton, FALSE);
        ShowChild(kContinueButton, FALSE);
    } else if (idle) {
        EnableChild(kPauseButton, FALSE);
        EnableChild(kContinueButton, FALSE);
    }
    for (unsigned id : m_names.gainControls) EnableChild(id, idle || online);
    EnableChild(kSavePlotsButton, testTab && (!online || m_scope));
    ShowChild(kDataLoggerGraph, testTab && !online);
    ShowChild(kOnlineGraph, testTab && online);
    const bool live = testTab && online && m_bRunning && !m_scope;
    for (unsigned id :
         {m_names.liveReferenceText - 1, m_names.liveReferenceText, m_names.liveResponseText - 1,
          m_names.liveResponseText, kReferenceSwatch, kResponseSwatch})
        ShowChild(id, live);
    ShowChild(kFiguresGroup, testTab && !online);
    ShowChild(kFiguresText, testTab && !online);
    const bool unknownInertia = CodeOr(setup, kisMotorInertiaUnknown, 0) != 0;
    for (unsigned id = 1384; id <= 1388; ++id) EnableChild(id, !unknownInertia && (idle || online));
    ShowChild(kFiltersButton, testTab);
    const bool types = HasSpeedTestReferenceType(setup);
    ShowChild(kReferenceTypeLabel, !testTab && types);
    for (unsigned id : kReferenceTypeRadios) ShowChild(id, !testTab && types);
    if (!testTab || m_nResult == -1 || m_strError.empty()) ShowChild(kx::kDetailsButton, FALSE);
}

void CTuningTestDlg::OnChangedParameterValue(const char* name) {
    CKX_Setup& setup = GetSetup();
    const kx::QuietLookup quiet;
    const bool knownInertia = CodeOr(setup, kisMotorInertiaUnknown, 0) == 0;
    if (NamesEqual(name, m_names.multiCycle)) {
        ApplyScopeDefaults(false, true);
        // Without the oscilloscope the on-line plot needs a multi-cycle run.
        if (!MultiCycle() && !m_scope) {
            if (CKX_Parameter* online = setup.FindParameter(m_names.onlinePlot)) {
                online->SetValueInBaseUnit(0.0);
                RefreshAllParameters(0);
            }
        }
        UpdateData(FALSE);
    } else if (NamesEqual(name, kJt) || NamesEqual(name, kJload_over_J)) {
        CKX_Parameter* jt = setup.FindParameter(kJt);
        CKX_Parameter* ratio = setup.FindParameter(kJload_over_J);
        const CKX_Parameter* jm = setup.FindParameter(kJm);
        if (knownInertia && jt && ratio && jm && IsDivisor(jm->GetValueInBaseUnit())) {
            const double motor = jm->GetValueInBaseUnit();
            if (NamesEqual(name, kJt)) {
                ratio->SetValueInBaseUnit((jt->GetValueInBaseUnit() - motor) / motor);
                RefreshParameterControls(kJload_over_J);
            } else {
                jt->SetValueInBaseUnit((ratio->GetValueInBaseUnit() + 1.0) * motor);
                RefreshParameterControls(kJt);
            }
        }
    } else if (NamesEqual(name, TestValueName())) {
        RoundTestValue();
        ApplyScopeDefaults(true, true);
    } else if (NamesEqual(name, kTestLimitCurrent)) {
        ApplyScopeDefaults(true, false);
    } else if (NameIsOneOf(name, {m_names.referenceType})) {
        ApplyScopeDefaults(true, true);
    } else {
        for (const GainChain& chain : m_names.gains) {
            if (!NamesEqual(name, chain.parameter)) continue;
            if (chain.needsMotorInertia && !knownInertia) break;
            for (Converter convert : chain.forward)
                if (convert) convert(setup);
            break;
        }
    }
    CMyTestDlg::OnChangedParameterValue(name);
}

void CTuningTestDlg::OnRefreshParameterValue(const char* name) {
    CKX_Setup& setup = GetSetup();
    const kx::QuietLookup quiet;
    if (NamesEqual(name, kJt)) {
        const CKX_Parameter* jt = setup.FindParameter(kJt);
        const CKX_Parameter* jm = setup.FindParameter(kJm);
        CKX_Parameter* unknown = setup.FindParameter(kisMotorInertiaUnknown);
        if (jt && jm && unknown && jm->GetValueInBaseUnit() > jt->GetValueInBaseUnit() &&
            unknown->GetValueInBaseUnit() == 0.0) {
            MessageBox(
                "You have chosen a value for the total inertia that is lower than the value of the motor "
                "inertia.\nThe application will assume the motor inertia is unknown.",
                nullptr, MB_OK | MB_ICONWARNING);
            unknown->SetValueInBaseUnit(1.0);
            UpdateData(FALSE);
        }
    } else if (NamesEqual(name, m_names.referenceType)) {
        ShowProfileDrawing();
    } else if (m_bRunning) {
        for (const GainChain& chain : m_names.gains) {
            if (!NamesEqual(name, chain.parameter)) continue;
            std::size_t count = 0;
            while (count < chain.registers.size() && chain.registers[count]) ++count;
            WriteRegistersToDrive(std::span(chain.registers.data(), count));
            break;
        }
    }
    CMyTestDlg::OnRefreshParameterValue(name);
}

// ---- buttons

void CTuningTestDlg::OnTune() {
    TuneGains();
    if (m_bRunning) WriteRegistersToDrive(TunedRegisters());
    RefreshAllParameters(0);
}

void CTuningTestDlg::OnIdentify() {
    const SubDialogRunner identify = FindSubDialog(SubDialog::TotalInertiaTest);
    if (!identify || m_bRunning) return;
    if (identify(GetSetup(), nullptr) != IDOK) return;
    OnChangedParameterValue(kJt);
    RefreshAllParameters(0);
}

void CTuningTestDlg::OnFilters() {
    CKX_Setup& setup = GetSetup();
    if (!HasBiquadFilters(setup)) return;
    // The drivers derive the test values from the registers; the values the
    // user typed in this test are kept across them.
    std::vector<std::pair<CKX_Parameter*, double>> typed;
    {
        const kx::QuietLookup quiet;
        for (const char* name : {kTestCurrent, kTestLimitCurrent, kTestProtectionCurrent, kTestMaxSpeed})
            if (CKX_Parameter* p = setup.FindParameter(name)) typed.emplace_back(p, p->GetValueInBaseUnit());
    }
    const auto runDrivers = [&] {
        RunBothDrivers(setup);
        for (const auto& [parameter, value] : typed) parameter->SetValueInBaseUnit(value);
    };
    runDrivers();
    // The filters cannot be changed while the test runs.
    CFiltersDialog filters(setup, m_bRunning, nullptr);
    if (filters.DoModal() != IDOK) return;
    runDrivers();
    RefreshAllParameters(0);
    UpdateData(FALSE);
}

void CTuningTestDlg::OnPlotModeClicked() {
    UpdateData(TRUE);
    UpdateData(FALSE);
}

// ---- the run

bool CTuningTestDlg::WriteProfile() {
    m_runProfile = RunProfile();
    m_runType = RunReferenceType();
    m_runPeriod = SpeedLoopPeriod(GetSetup());
    for (int i = 0; i < kProfileSegments; ++i) {
        const ProfileSegment& segment = m_runProfile[static_cast<std::size_t>(i)];
        if (const char* error = SegmentError(segment)) {
            FailRun(error);
            return false;
        }
        if (!SetProgramVariable(m_coff, SegmentLengthVariable(i), segment.length)) return false;
        if (!SetProgramVariable(m_coff, SegmentIncrementVariable(i), SegmentIncrementValue(segment)))
            return false;
    }
    return true;
}

void CTuningTestDlg::BeginTest() {
    const bool online = OnlineMode();
    m_bStopRequested = 0;
    m_nStages = online ? 2 : 3;
    m_bUploadStage = online ? 0 : 1;
    m_bRunning = 1;
    m_nResult = -1;
    m_nStage = 0;
    SetInfoText(m_names.info[0]);
    SetChildText(kFiguresText, "");
    m_bContinuous = 0;
    // A program file that was missing when the dialog opened may be there now.
    if (!m_coff.IsLoaded()) {
        m_coff.SetFileName(GetOutPathName(ProgramName()));
        m_coff.ReadCoff();
    }
    UpdateData(FALSE);
    const auto start = [&] {
        if (!WriteInputsBeforeProfile() || !WriteProfile()) return false;
        m_bContinuous = MultiCycle() ? 1 : 0;
        if (!SetProgramVariable(m_coff, programs::kMultiC, m_bContinuous)) return false;
        if (!WriteInputsAfterProfile()) return false;
        if (online && !m_scope) {
            const double w = RunTarget();
            m_liveChart.Initialize("", 2, 0);
            for (int i = 0; i < 2; ++i) {
                CKX_Oscilloscope::Item& item = m_liveChart.GetItem(i);
                item.m_dUpperBound = std::max(1.2 * w, -0.2 * w);
                item.m_dLowerBound = std::min(1.2 * w, -0.2 * w);
                item.m_crColor = RGB16(i == 0 ? kReferenceColour : kResponseColour);
            }
        }
        if (online && m_scope) m_scope->LocateItems();
        CKX_Logger* logger = online ? static_cast<CKX_Logger*>(m_scope) : m_logger;
        if (!StartProgram(ProgramName(), &m_coff, logger)) return false;
        SetInfoText(m_names.info[m_bContinuous ? kContinuousRun : m_nStage]);
        if (!ArmPollTimer(online && m_scope ? kScopePollMs : kPollPeriodMs)) return false;
        if (online && m_scope) {
            m_scopeWindow.Invalidate();
            m_scopeWindow.UpdateWindow();
        } else if (online) {
            m_liveChart.Invalidate();
        }
        return true;
    };
    // A run that could not start gives the controls back at once.
    if (!start()) UpdateData(FALSE);
}

void CTuningTestDlg::OnTimer(UINT id) {
    KillTimer(kx::kPollTimer);
    if (id != kx::kPollTimer || !m_bRunning) {
        CMyTestDlg::OnTimer(id);
        return;
    }
    if (m_nStage == 2 && OnlineMode())
        m_scope ? PollScope() : PollLiveValues();
    else if (m_nStage == 2)
        PollRunning();
    else if (m_nStage == 3)
        UploadAndFinish();
    else
        FailRun(msc_pszErrInternal);
    if (!m_bRunning) UpdateData(FALSE);
}

void CTuningTestDlg::PollRunning() {
    if (!m_bContinuous) {
        // One cycle: wait for the motion to begin and the axis to go off;
        // the upload follows in stage 3.
        if (PollProgram(m_coff, kMaskAll) == ProgramState::Ended) {
            SetInfoText(m_names.info[m_nStage]);
            ArmPollTimer();
        }
        return;
    }
    if (m_bStopRequested) {
        RefreshAllParameters(0);
        SetInfoText(m_names.info[m_nStage]);
        ArmPollTimer(1);
        return;
    }
    // Cycle after cycle until Stop; a failure stops the run and its record
    // is still uploaded.
    double flag = 0.0;
    std::string error;
    const bool read = GetUserVariableValue(&m_coff, programs::ktest_flag, flag, error) != 0;
    if (!read) {
        m_strError = error;
        m_bStopRequested = 1;
    } else if (ReadTestFlag(flag) != TestFlag::Completed) {
        m_strError =
            ReadTestFlag(flag) == TestFlag::Unset ? msc_pszErrInternal : m_names.info[kProtectionTripped];
        m_bStopRequested = 1;
    } else if (!CheckMotionErrors(0, kMaskAllButFeedback)) {
        m_bStopRequested = 1;
    }
    ArmPollTimer();
}

void CTuningTestDlg::UploadAndFinish() {
    // A run that failed uploads its whole record; one that passed may be
    // interrupted by Stop.
    double flag = 0.0;
    std::string error;
    const bool passed = CheckMotionErrors(0, kMaskAllButFeedback) &&
                        GetUserVariableValue(&m_coff, programs::ktest_flag, flag, error) &&
                        ReadTestFlag(flag) == TestFlag::Completed;
    if (passed) {
        m_bContinuous = 0;
    } else {
        m_bContinuous = 1;
        m_bStopRequested = 0;
    }
    SetInfoText(m_names.info[2]);
    if (!UploadRecord(m_logger, m_graph)) return;
    m_bContinuous = 0;
    ShowCycleFigures();
    if (!CheckMotionErrors(1, kMaskAllButFeedback) || !CheckTestFlag(m_coff)) return;
    TestSucceeded(1);
    RefreshAllParameters(0);
}

void CTuningTestDlg::ShowCycleFigures() {
    const auto& columns = m_logger->GetGraphDocument()->Columns();
    if (columns.size() < 3) return;
    const auto cycles = MeasureProfileCycles(columns[0].values, columns[1].values, columns[2].values,
                                             m_runProfile, m_runType, m_runPeriod);
    std::string shown;
    std::vector<std::pair<std::string, std::string>> summary;
    for (const CycleFigures& cycle : cycles) {
        for (std::size_t m = 0; m < cycle.moves.size(); ++m) {
            const std::string title =
                "Cycle " + std::to_string(cycle.index + 1) + ", move " + std::to_string(m + 1);
            shown += (shown.empty() ? "" : "\n") + title + "\n";
            for (const auto& [name, value] : MoveFigureTexts(cycle.moves[m], columns[2].unit)) {
                shown += "  " + name + ": " + value + "\n";
                summary.emplace_back(title + " " + name, value);
            }
        }
    }
    if (cycles.empty()) shown = "No whole cycle of the profile in the record.";
    SetChildText(kFiguresText, shown.c_str());
    m_logger->SetSummary(std::move(summary));
}

void CTuningTestDlg::OnOK() {
    CMyTestDlg::OnOK();
    CKX_Setup& setup = GetSetup();
    const kx::QuietLookup quiet;
    // The user's oscilloscope settings are kept for the next opening.
    if (m_bScopeSettingsChanged && m_scope)
        m_scope->SaveSettingsToSetupOption(m_names.scopeOption);
    else if (setup.HasOption(m_names.scopeOption))
        setup.ClearOption(m_names.scopeOption);
    const struct {
        const char* from;
        const char* to;
    } results[] = {{kTestProtectionCurrent, kImax_Prot}, {kTestLimitCurrent, kIlimPS}};
    for (const auto& r : results) {
        const CKX_Parameter* from = setup.FindParameter(r.from);
        CKX_Parameter* to = setup.FindParameter(r.to);
        if (from && to) to->SetValueInBaseUnit(from->GetValueInBaseUnit());
    }
}

// ---- on-line display

void CTuningTestDlg::SetUpScope() {
    CKX_Setup& setup = GetSetup();
    if (setup.GetIntOption(kOptHasOscilloscope) == 0) {
        m_liveChart.SubclassDlgItem(kOnlineGraph, this);
        return;
    }
    m_scope = new CKX_ScopeLogger(setup, nullptr);
    *m_names.frameReceiver = this;
    m_pfnPrevMsgHandler = CKX_Comm::RegisterReceiveUnsolicitedMsgHandler(m_names.frameHandler);
    SetChildText(kOnlineRadio, "Scope");
    m_bScopeSettingsChanged = m_scope->LoadSettingsFromSetupOption(m_names.scopeOption);
    if (!m_bScopeSettingsChanged) {
        AddDefaultScopeChannels();
        ApplyScopeDefaults(true, true);
    }
    m_scopeWindow.SubclassDlgItem(kOnlineGraph, this, m_scope->GetGraphDocument()->GetAt(0));
    m_scopeWindow.RefreshGraph();
    if (QWidget* widget = m_scopeWindow.GetWidget()) {
        widget->setContextMenuPolicy(Qt::CustomContextMenu);
        QObject::connect(widget, &QWidget::customContextMenuRequested, widget,
                         [this, widget](const QPoint& at) { ShowScopeMenu(widget->mapToGlobal(at)); });
    }
}

void CTuningTestDlg::ApplyScopeDefaults(bool channels, bool timeBase) {
    if (!m_scope || m_bScopeSettingsChanged) return;
    if (timeBase) ApplyScopeTimeBase();
    if (channels) ApplyScopeChannels();
    m_scope->LocateItems();
    m_scopeWindow.RefreshGraph();
}

void CTuningTestDlg::DeliverFrame(CTuningTestDlg* dialog, const std::uint16_t* message) {
    if (!dialog || !dialog->m_scope || message[kx::kMessageCodeWord] != kx::kScopeFrameCode) return;
    const int length = message[kx::kMessageLengthWord] * 2;
    if (dialog->m_scope->OnFrameReceive(length, message + kx::kMessagePayloadWord) < 1) return;
    dialog->m_bFrameReceived = 1;
    int first = 0, count = 0;
    dialog->m_scope->GetPointsToBeDrawn(first, count);
    const int points = dialog->m_scope->GetPointsNo();
    for (int i = 0; i < count && points > 0; ++i) {
        dialog->m_scopeWindow.DrawPoint(first);
        first = (first + 1) % points;
        if (first == 0) dialog->m_scopeWindow.UpdateWindow();
    }
}

void CTuningTestDlg::PollScope() {
    if (m_bStopRequested) {
        m_scope->EndUploadData();
        return;
    }
    // One pass per tick: the frames the drive has sent, then the checks.
    m_bFrameReceived = 0;
    if (m_scope->DoGracefulStop()) {
        // The record is complete: the run is over.
        m_bStopRequested = 0;
        m_bContinuous = 0;
        if (CheckMotionErrors(1, kMaskAllButFeedback) && CheckTestFlag(m_coff)) TestSucceeded(1);
        m_scope->EndUploadData();
        return;
    }
    CKX_Comm::CheckForUnrequestedMessages(m_names.frameHandler);
    bool failed = !m_scope->UploadInProgress();
    if (failed) {
        FailRun(msc_pszErrInternal);
    } else if (!m_bFrameReceived) {
        failed = !CheckMotionErrors(1, kMaskAllButFeedback) || !CheckTestFlag(m_coff);
    }
    if (failed) {
        m_scope->EndUploadData();
        return;
    }
    PumpPendingMessages();
    if (m_bStopRequested) {
        m_scope->EndUploadData();
        return;
    }
    ArmPollTimer(kScopePollMs);
}

void CTuningTestDlg::PollLiveValues() {
    if (m_bStopRequested) {
        m_bStopRequested = 0;
        m_bContinuous = 0;
        TestSucceeded(1);
        return;
    }
    CKX_Setup& setup = GetSetup();
    CKX_Variable* reference = setup.FindVariable(m_names.liveReference, 1);
    CKX_Variable* response = setup.FindVariable(m_names.liveResponse, 1);
    if (!reference || !response) {
        FailRun(msc_pszErrInternal);
        return;
    }
    if (m_nResult == -1 && !m_bPaused && !GetDlgItem(kPauseButton)->isEnabled()) {
        EnableChild(kPauseButton, TRUE);
        EnableChild(kContinueButton, FALSE);
    }
    if (!m_bPaused) {
        if (!reference->ReadFromChip() || !response->ReadFromChip()) {
            FailRun(msc_pszErrInternal);
            return;
        }
        m_liveChart.GetItem(0).m_dCurrentValue = reference->GetValueInInternalUnit();
        m_liveChart.GetItem(1).m_dCurrentValue = response->GetValueInInternalUnit();
        m_liveChart.DrawNewPoint();
        const auto text = [](const CKX_Variable& v, double value) {
            char number[32];
            std::snprintf(number, sizeof number, "%.6g", value);
            const std::string unit = v.GetUnitName();
            return std::string(number) + " " + (unit.empty() ? "IU" : unit);
        };
        SetChildText(m_names.liveReferenceText, text(*reference, reference->GetValueInBaseUnit()).c_str());
        SetChildText(m_names.liveResponseText, text(*response, response->GetValueInBaseUnit()).c_str());
    }
    if (!CheckMotionErrors(1, kMaskAllButFeedback) || !CheckTestFlag(m_coff)) return;
    PumpPendingMessages();
    ArmPollTimer();
}

void CTuningTestDlg::OnPause() {
    m_bPaused = 1;
    EnableChild(kPauseButton, FALSE);
    EnableChild(kContinueButton, TRUE);
}

void CTuningTestDlg::OnContinue() {
    m_bPaused = 0;
    EnableChild(kPauseButton, TRUE);
    EnableChild(kContinueButton, FALSE);
}

void CTuningTestDlg::OnBtnStartStop() {
    if (m_bRunning && OnlineMode() && m_scope && m_scope->UploadInProgress()) {
        m_scope->EndUploadData();
        if (m_scope->UploadInProgress()) return;
        m_bContinuous = 0;
        m_bStopRequested = 1;
    }
    CMyTestDlg::OnBtnStartStop();
}

void CTuningTestDlg::OnScopeSavePlots() {
    if (m_bRunning) return;
    if (OnlineMode() && m_scope)
        m_scope->SaveGraph(m_names.plotName);
    else
        OnSavePlots();
}

// ---- context menus

void CTuningTestDlg::AddGraphCommands(QMenu& menu) {
    if (m_bRunning) return;
    menu.addSeparator();
    QObject::connect(menu.addAction(QStringLiteral("Save Plots")), &QAction::triggered,
                     [this] { OnSavePlots(); });
    QObject::connect(menu.addAction(QStringLiteral("Save as Vector Picture")), &QAction::triggered,
                     [this] { OnCreatePicture(); });
    QObject::connect(menu.addAction(QStringLiteral("Export as Text")), &QAction::triggered,
                     [this] { OnExportText(); });
}

void CTuningTestDlg::OnCreatePicture() {
    if (m_bRunning) return;
    if (OnlineMode() && m_scope)
        m_scopeWindow.CreateWMF(m_names.plotName);
    else
        m_graph.CreateWMF(m_names.plotName);
}

void CTuningTestDlg::OnExportText() {
    if (m_bRunning) return;
    if (OnlineMode() && m_scope)
        m_scopeWindow.ExportToASCII(m_names.plotName);
    else
        m_graph.ExportToASCII(m_names.plotName);
}

LRESULT CTuningTestDlg::OnChangeChannelScale(WPARAM control, LPARAM channelAndSteps) {
    const int channel = static_cast<int>(LOWORD(channelAndSteps));
    const int steps = static_cast<std::int16_t>(HIWORD(channelAndSteps));
    if (m_scope && m_scope->ChangeChannelScale(channel, steps)) {
        m_bScopeSettingsChanged = 1;
        if (control == kOnlineGraph) m_scopeWindow.RefreshGraph();
    }
    return 0;
}

void CTuningTestDlg::ShowScopeMenu(const QPoint& at) {
    if (!m_scope || m_bRunning) return;
    QMenu menu(GetWindow());
    const struct {
        const char* caption;
        void (CTuningTestDlg::*command)();
    } commands[] = {
        {"Settings...", &CTuningTestDlg::OnScopeSettings},
        {"Autoscale", &CTuningTestDlg::OnScopeAutoscale},
        {"Reset to Defaults", &CTuningTestDlg::OnScopeDefaults},
        {"Open Record...", &CTuningTestDlg::OnOpenScopeRecord},
        {"Save Record...", &CTuningTestDlg::OnSaveScopeRecord},
        {"Save Plots", &CTuningTestDlg::OnScopeSavePlots},
        {"Save as Vector Picture", &CTuningTestDlg::OnCreatePicture},
        {"Export as Text", &CTuningTestDlg::OnExportText},
    };
    for (const auto& c : commands)
        QObject::connect(menu.addAction(QString::fromUtf8(c.caption)), &QAction::triggered,
                         [this, command = c.command] { (this->*command)(); });
    menu.exec(at);
}

void CTuningTestDlg::OnScopeSettings() {
    if (!m_scope || m_bRunning || !m_scope->Edit(this)) return;
    m_bScopeSettingsChanged = 1;
    m_scopeWindow.RefreshGraph();
}

void CTuningTestDlg::OnScopeAutoscale() {
    if (!m_scope || m_bRunning || !m_scope->Autoscale()) return;
    m_bScopeSettingsChanged = 1;
    m_scopeWindow.RefreshGraph();
}

// The four logged signals as the oscilloscope's channels, their curves, and
// the trigger marker's colour and place on the first graph filter.
void CTuningTestDlg::AddDefaultScopeChannels() {
    for (const char* name : LoggedVariables()) m_scope->AddVariable(name, 1);
    CGraphFilter* filter = m_scope->GetGraphDocument()->GetAt(0);
    if (!filter) return;
    filter->m_crColor = RGB16(4);
    filter->m_aValues = {-4.2, -3.5};
    filter->AddCurve(CXYCurve(1, 0, 1, 2, RGB16(kReferenceColour)));
    filter->AddCurve(CXYCurve(1, 0, 2, 2, RGB16(kResponseColour)));
    filter->AddCurve(CXYCurve(1, 0, 3, 2, RGB16(8)));
    filter->AddCurve(CXYCurve(1, 0, 4, 2, RGB16(9)));
}

void CTuningTestDlg::OnScopeDefaults() {
    if (!m_scope || m_bRunning || !m_bScopeSettingsChanged) return;
    m_bScopeSettingsChanged = 0;
    m_scope->SetDefaultValues();
    AddDefaultScopeChannels();
    ApplyScopeDefaults(true, true);
    m_scopeWindow.SubclassDlgItem(kOnlineGraph, this, m_scope->GetGraphDocument()->GetAt(0));
    m_scopeWindow.RefreshGraph();
}

void CTuningTestDlg::OnOpenScopeRecord() {
    if (!m_scope || m_bRunning) return;
    std::string name = m_names.plotName;
    if (!m_scope->DoPromptScopeLoggerFileName(1, name) || !m_scope->Load(name.c_str())) return;
    m_bScopeSettingsChanged = 1;
    m_scopeWindow.SubclassDlgItem(kOnlineGraph, this, m_scope->GetGraphDocument()->GetAt(0));
    m_scopeWindow.RefreshGraph();
}

void CTuningTestDlg::OnSaveScopeRecord() {
    if (!m_scope || m_bRunning) return;
    std::string name = m_names.plotName;
    if (m_scope->DoPromptScopeLoggerFileName(0, name)) m_scope->Save(name.c_str());
}
