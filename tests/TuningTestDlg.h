// What the speed and position controller tuning tests share: a drive program
// that follows a piecewise-linear reference of six segments, once or cycle
// after cycle until Stop; the gains edited on sliders and written to the
// drive at once during a run; the logged record uploaded and drawn, with the
// step figures of every cycle beside the plot and in the saved record; the
// total inertia with the motor inertia question, "Identify", "Tune" and
// "Filters". Each test gives its names, its program and its inputs.
#pragma once

#include <array>
#include <span>

#include "conversions/Conventions.h"
#include "kx/Comm.h"
#include "kx/gui/Graph.h"
#include "kx/gui/Scope.h"
#include "tests/MyTestDlg.h"
#include "tests/TuningProfile.h"

class CKX_SingleAxisLogger;
class CTuningTestDlg;
class QMenu;
class QPoint;

// The profile drawings by reference type.
inline constexpr unsigned kPositiveProfileBitmap = 315;
inline constexpr unsigned kNegativeProfileBitmap = 3069;
inline constexpr unsigned kBidirectionalProfileBitmap = 3068;

namespace dcdrive {

// Info texts of a run by stage (the tests' tables begin with them).
inline constexpr const char* kLaunchingText = "Launching the application for test";
inline constexpr const char* kRunningText = "Running test";
inline constexpr const char* kUploadingText = "Uploading results";
inline constexpr const char* kRunUntilStopText = "Test running. Press \"Stop\" to end the test";
inline constexpr const char* kProtectionTrippedText =
    "Test failed!\nCurrent protection triggered during test!";

// The program's inputs that follow a gain parameter: the forward
// conversions that compute its registers, and the registers written to the
// drive during a run, in order.
struct GainChain {
    const char* parameter;
    std::array<Converter, 3> forward;
    std::array<const char*, 3> registers;
    // The conversions need a known motor inertia.
    bool needsMotorInertia = false;
};

// A slider binding: parameter, slider, edit, unit list (0: none), the spins
// at the slider's lower and upper ends.
struct SliderControls {
    const char* parameter;
    unsigned slider, edit, units, low, high;
};

// A plain value binding: parameter, edit, unit list (0: none).
struct ValueControls {
    const char* parameter;
    unsigned edit, units;
};

// What differs between the two tuning tests.
struct TuningTestNames {
    const char* plotName;       // saved plots, "SpeedTuning"
    const char* onlinePlot;     // "OnlinePlotS"
    const char* multiCycle;     // "MultiCycleS"
    const char* referenceType;  // "SpeedTestReferenceType"
    const char* scopeOption;    // "SpeedTuningOscSettings"
    // The live values of an on-line run without the oscilloscope: the
    // reference and the response, drive variables, and their texts.
    const char* liveReference;  // "Speed_Reference"
    const char* liveResponse;   // "Load_Speed"
    unsigned liveReferenceText, liveResponseText;
    unsigned identifyButton;  // 3271
    unsigned helpContext;
    unsigned pictureBitmap;  // the drawing of the test in 1305
    // Info texts by stage; 4 the protection's failure, 5 the procedure.
    std::span<const char* const> info;
    TestTabs tabs;
    std::span<const ValueControls> values;
    std::span<const SliderControls> sliders;
    std::span<const GainChain> gains;
    // The gain controls, enabled outside a run and during an on-line run.
    std::span<const unsigned> gainControls;
    // The oscilloscope's frames reach the dialog that this global names,
    // through this handler (the host calls a plain function).
    CTuningTestDlg** frameReceiver;
    kx::UnsolicitedMsgHandler frameHandler;
};

}  // namespace dcdrive

class CTuningTestDlg : public CMyTestDlg {
public:
    CTuningTestDlg(CKX_Setup& setup, unsigned templateId, int flag, CWnd* parent,
                   const dcdrive::TuningTestNames& names);
    ~CTuningTestDlg() override;

    // A frame of the drive's oscilloscope for `dialog`.
    static void DeliverFrame(CTuningTestDlg* dialog, const std::uint16_t* message);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnChangedParameterValue(const char* name) override;
    void OnRefreshParameterValue(const char* name) override;
    void BeginTest() override;
    void OnTimer(UINT id) override;
    const kx::MessageMap* GetMessageMap() const override;

    const dcdrive::TestTabs* GetTabs() const override { return &m_names.tabs; }
    const char* ValidateTestTab() override;
    unsigned GetHelpContext() const override { return m_names.helpContext; }
    const char* GetPlotName() const override { return m_names.plotName; }
    CKX_SingleAxisLogger* GetPlotLogger() const override { return m_logger; }
    void OnBtnStartStop() override;

    // ---- the test's own
    virtual const char* ProgramName() const = 0;
    virtual std::array<const char*, 4> LoggedVariables() const = 0;
    // The program's inputs before the profile and after "MultiC"; 0 after
    // the run was ended.
    virtual int WriteInputsBeforeProfile() = 0;
    virtual int WriteInputsAfterProfile() { return 1; }
    virtual dcdrive::Profile RunProfile() const = 0;
    virtual dcdrive::ReferenceType RunReferenceType() const = 0;
    // The profile's test value in internal units (the live chart's scale).
    virtual double RunTarget() const = 0;
    // The tuning of the loop ("Tune") with its registers; the registers
    // written to the drive afterwards during a run.
    virtual void TuneGains() = 0;
    virtual std::span<const char* const> TunedRegisters() const = 0;
    // The test value ("TestSpeed", "TestPosition") moved to what the drive
    // can represent.
    virtual void RoundTestValue() = 0;
    virtual const char* TestValueName() const = 0;
    // The oscilloscope's defaults from the test parameters: the scales of its
    // channels, and its time base and trigger.
    virtual void ApplyScopeChannels() = 0;
    virtual void ApplyScopeTimeBase() = 0;
    // The defaults again, where the settings are not the user's.
    void ApplyScopeDefaults(bool channels, bool timeBase);
    void AddDefaultScopeChannels();

    // Binds the values and the sliders of the names' tables (a slider only
    // when its parameter exists, its range around the present value).
    void BindControls();
    bool OnlineMode() const;
    bool MultiCycle() const;
    // The profile drawing of the reference type in 1322.
    void ShowProfileDrawing();

    void OnTune();
    void OnIdentify();
    void OnFilters();
    void OnPlotModeClicked();
    // The shown plot's picture (vector file) and text export: the data
    // logger's graph, or the oscilloscope's in on-line mode.
    void OnCreatePicture();
    void OnExportText();
    // A channel scale changed on the oscilloscope's window
    // (KX_WM_CHANGE_CHANNEL_SCALE).
    LRESULT OnChangeChannelScale(WPARAM control, LPARAM channelAndSteps);

    CKX_CoffFormat m_coff;
    CKX_SingleAxisLogger* m_logger = nullptr;
    CGraphWindow m_graph;
    // The drive's oscilloscope, when the setup says the drive has one.
    CKX_ScopeLogger* m_scope = nullptr;
    CScopeWindow m_scopeWindow;
    // The live chart of an on-line run without the oscilloscope.
    CKX_Oscilloscope m_liveChart;
    kx::UnsolicitedMsgHandler m_pfnPrevMsgHandler = nullptr;
    int m_bScopeSettingsChanged = 0;
    int m_bFrameReceived = 0;
    int m_bPaused = 0;

private:
    bool WriteProfile();
    void PollRunning();
    void UploadAndFinish();
    void PollScope();
    void PollLiveValues();
    void SetUpScope();
    void OnPause();
    void OnContinue();
    void OnScopeSavePlots();
    // The plots' context menu commands, each only outside a run.
    void AddGraphCommands(QMenu& menu);
    void ShowScopeMenu(const QPoint& at);
    void OnScopeSettings();
    void OnScopeDefaults();
    void OnScopeAutoscale();
    void OnOpenScopeRecord();
    void OnSaveScopeRecord();
    void CheckInertia();
    // The step figures of each cycle beside the plot and in the saved record.
    void ShowCycleFigures();

    const dcdrive::TuningTestNames& m_names;
    // The profile of the last run, to cut its record into cycles.
    dcdrive::Profile m_runProfile{};
    dcdrive::ReferenceType m_runType = dcdrive::ReferenceType::Positive;
    double m_runPeriod = 0.0;
};
