#include "TestPositionTuning.h"

#include "conversions/Capabilities.h"
#include "conversions/Conventions.h"
#include "conversions/Gains.h"
#include "conversions/Names.h"
#include "help/Help.h"
#include "kx/Kernel.h"
#include "options/Tuning.h"
#include "tests/PositionTuningRules.h"
#include "tests/SpeedTuningRules.h"

using namespace dcdrive;
using namespace dcdrive::names;

namespace {

const char* const kInfo[] = {
    kLaunchingText,
    kRunningText,
    kUploadingText,
    kRunUntilStopText,
    kProtectionTrippedText,
    "1. Check/setup the test current limits and position profile below\r\n"
    "2. Go to the \"Test\" tab and press the \"Tune\" button\r\n"
    "3. In the \"Test\" tab, press the \"Start\" button\r\n"
    "4. Wait until the test begins and displays the results\r\n"
    "5. If needed, change the controller parameters during the test, until you get satisfactory results",
};

constexpr unsigned kIdentifyButton = 3305;
constexpr unsigned kMotionCompletePicture = 3561;
constexpr unsigned kSpeedLimitControls[] = {3408, 1101, 1043, 1044};
constexpr unsigned kMotionCompleteRadios[] = {3628, 3629};
constexpr unsigned kMotionCompleteGroup = 3562;
constexpr unsigned kMotionCompleteBand[] = {3559, 3554, 3555, 3560, 3556, 3557};

constexpr unsigned kParameterControls[] = {
    10014, 10015, 1376, 1377, 1301, 1312, 1305, 1322, 3282, 3284, 3283, 3278, 3281, 3279, 1313, 1314, 1315,
    1316,  1317,  1318, 1326, 1327, 1328, 1329, 1330, 1331, 1500, 1501, 1502, 1332, 3408, 1101, 1043, 1044};
constexpr unsigned kTestControls[] = {1333,
                                      1334,
                                      1335,
                                      1336,
                                      1337,
                                      1338,
                                      1339,
                                      1340,
                                      1341,
                                      1342,
                                      1343,
                                      1344,
                                      1345,
                                      1346,
                                      1347,
                                      1348,
                                      1349,
                                      1507,
                                      1508,
                                      1509,
                                      1510,
                                      1511,
                                      1367,
                                      1369,
                                      1368,
                                      1350,
                                      1351,
                                      1352,
                                      1353,
                                      1354,
                                      1355,
                                      1356,
                                      1357,
                                      1358,
                                      1359,
                                      1360,
                                      1378,
                                      1379,
                                      1380,
                                      1381,
                                      1382,
                                      1383,
                                      1384,
                                      1385,
                                      1386,
                                      1387,
                                      1388,
                                      1389,
                                      1390,
                                      1512,
                                      1513,
                                      1361,
                                      1362,
                                      1517,
                                      1518,
                                      1519,
                                      1520,
                                      3331,
                                      3332,
                                      1374,
                                      10001,
                                      10000,
                                      1375,
                                      10004,
                                      10003,
                                      10002,
                                      10016,
                                      10017,
                                      1372,
                                      3269,
                                      3270,
                                      3288,
                                      kIdentifyButton,
                                      1395,
                                      1396};

constexpr ValueControls kValues[] = {
    {kTestLimitCurrent, 3284, 3283},
    {kTestProtectionCurrent, 3281, 3279},
    {kTestPosition, 1501, 1502},
    {kTPP, 1314, 1315},
    {kTNP, 1317, 1318},
    {kTaPP, 1327, 1328},
    {kTaNP, 1330, 1331},
    {kfilter_D, 1513, 0},
    {kJt, 3270, 3288},
};
constexpr SliderControls kSliders[] = {
    {kKp_P_scl, 1337, 1335, 0, 1336, 1338}, {kKi_P_scl, 1342, 1340, 0, 1341, 1343},
    {kKd_P_scl, 1510, 1508, 0, 1509, 1511}, {kIPSatP, 1348, 1345, 1346, 1347, 1349},
    {kKFFS_scl, 1354, 1352, 0, 1353, 1355}, {kKFFA_scl, 1359, 1357, 0, 1358, 1360},
    {kPB_P, 1382, 1379, 1380, 1381, 1383},  {kJload_over_J, 1387, 1385, 0, 1386, 1388},
};
const GainChain kGains[] = {
    {kKp_P_scl,
     {&WriteShiftOf<kPositionProportionalGain>, &WriteMantissaOf<kPositionProportionalGain>, nullptr},
     {kSFTKPP, kKPP, nullptr}},
    {kKi_P_scl,
     {&WriteShiftOf<kPositionIntegralGain>, &WriteMantissaOf<kPositionIntegralGain>, nullptr},
     {kSFTKIP, kKIP, nullptr}},
    {kKd_P_scl,
     {&WriteShiftOf<kPositionDerivativeGain>, &WriteMantissaOf<kPositionDerivativeGain>, nullptr},
     {kSFTKDP, kKDP, nullptr}},
    {kfilter_D, {&WriteDerivativeFilter, nullptr, nullptr}, {kKDFP, nullptr, nullptr}},
    {kIPSatP, {&WritePositionLoopSaturation, nullptr, nullptr}, {kIMAXP, nullptr, nullptr}},
    {kKFFS_scl,
     {&WriteShiftOf<kSpeedFeedforwardGain>, &WriteMantissaOf<kSpeedFeedforwardGain>,
      &WriteAccelerationFeedforwardMantissa},
     {kSFTSFFW, kKFFS, kKFFA}},
    {kKFFA_scl,
     {&WriteAccelerationFeedforwardShift, &WriteAccelerationFeedforwardExtraShift,
      &WriteAccelerationFeedforwardMantissa},
     {kSFTAFFW, kSFTKFF, kKFFA}},
};
constexpr unsigned kGainControls[] = {1335, 1336, 1337, 1338, 1340, 1341, 1342, 1343, 1508, 1509,
                                      1510, 1511, 1345, 1346, 1347, 1348, 1349, 1352, 1353, 1354,
                                      1355, 1357, 1358, 1359, 1360, 1379, 1380, 1381, 1382, 1383,
                                      1385, 1386, 1387, 1388, 1390, 3270, 3288};
constexpr const char* kTunedRegisters[] = {kSFTKPP, kKPP, kSFTKIP, kKIP, kSFTKDP, kKDP};

// The oscilloscope frames' handler, registered with the host.
void OnScopeFrame(const std::uint16_t* message) {
    CTuningTestDlg::DeliverFrame(g_pPositionTuningDlg, message);
}

const TuningTestNames kNames{
    "PositionTuning",
    kOnlinePlotP,
    kMultiCycleP,
    kPositionTestReferenceType,
    kOptPositionTuningOscSettings,
    kTarget_Position,
    kLoad_Position,
    1518,
    1520,
    kIdentifyButton,
    kHelpPositionTuningTest,
    kPositionTestBitmap,
    kInfo,
    {kParameterControls, kTestControls},
    kValues,
    kSliders,
    kGains,
    kGainControls,
    &g_pPositionTuningDlg,
    &OnScopeFrame,
};

}  // namespace

CTuningTestDlg* g_pPositionTuningDlg = nullptr;

CTestPositionTuning::CTestPositionTuning(CKX_Setup& setup, int flag, CWnd* parent)
    : CTuningTestDlg(setup, kTestPositionTuningTemplate, flag, parent, kNames) {
    RoundTestPosition(setup);
    BindControls();
    const kx::QuietLookup quiet;
    if (PositionOverSpeedLoop(setup) && setup.FindParameter(kLimit_Speed))
        AddParameterControls(kLimit_Speed, 1043, 1044);
    if (HasMotionCompleteSettings(setup)) {
        AddSwitchParameterControls(kMotionCompleteType, kMotionCompleteRadios[0], kMotionCompleteRadios[1]);
        AddParameterControls(kMotionCompleteSettleBand, 3554, 3555);
        AddParameterControls(kMotionCompleteStabilizeTime, 3556, 3557);
    }
}

const kx::MessageMap* CTestPositionTuning::GetMessageMap() const {
    static const kx::MessageMapEntry entries[] = {
        KX_ON_CLICKED(kIdentifyButton, CTestPositionTuning::OnIdentify),
        KX_ON_CLICKED(3628, CTestPositionTuning::OnPlotModeClicked),
        KX_ON_CLICKED(3629, CTestPositionTuning::OnPlotModeClicked),
    };
    static const kx::MessageMap map{CTuningTestDlg::GetMessageMap(), entries};
    return &map;
}

BOOL CTestPositionTuning::OnInitDialog() {
    CTuningTestDlg::OnInitDialog();
    SetChildBitmap(kMotionCompletePicture, kMotionCompleteBitmap);
    RefreshAllParameters(0);
    return TRUE;
}

const char* CTestPositionTuning::ProgramName() const { return PositionTuningProgram(GetSetup()); }

std::array<const char*, 4> CTestPositionTuning::LoggedVariables() const {
    return PositionLoggedVariables(GetSetup());
}

int CTestPositionTuning::WriteInputsBeforeProfile() {
    CKX_Setup& setup = GetSetup();
    const kx::QuietLookup quiet;
    CKX_Parameter* limit = setup.FindParameter(kIlimPS);
    const CKX_Parameter* test = setup.FindParameter(kTestLimitCurrent);
    if (!limit || !test) {
        FailRun(msc_pszErrInternal);
        return 0;
    }
    // The test's current limit stays in the setup.
    if (PositionOverSpeedLoop(setup)) {
        limit->SetValueInBaseUnit(test->GetValueInBaseUnit());
        WriteSpeedLoopSaturation(setup);
        WriteSpeedSaturation(setup);
        WritePositionSaturation(setup);
        return SetProgramVariable(m_coff, programs::kLimitSpeed,
                                  LimitSpeedInput(setup.GetParameterValueInInternalUnit(kSATS)));
    }
    limit->SetValueInInternalUnit(test->GetValueInInternalUnit());
    return SetProgramVariable(m_coff, programs::kIlimPS_Test, limit->GetValueInInternalUnit());
}

int CTestPositionTuning::WriteInputsAfterProfile() {
    return SetProgramVariable(
        m_coff, programs::kImax_Prot_Test,
        TruncateToInt32(GetSetup().GetParameterValueInInternalUnit(kTestProtectionCurrent)));
}

Profile CTestPositionTuning::RunProfile() const { return PositionTestProfile(GetSetup()); }

ReferenceType CTestPositionTuning::RunReferenceType() const { return PositionReferenceType(GetSetup()); }

void CTestPositionTuning::TuneGains() { TuneLoop(GetSetup(), Loop::Position); }

std::span<const char* const> CTestPositionTuning::TunedRegisters() const { return kTunedRegisters; }

void CTestPositionTuning::RoundTestValue() { RoundTestPosition(GetSetup()); }

const char* CTestPositionTuning::TestValueName() const { return kTestPosition; }

void CTestPositionTuning::DoDataExchange(CDataExchange* pDX) {
    CTuningTestDlg::DoDataExchange(pDX);
    if (pDX->m_bSaveAndValidate) return;
    CKX_Setup& setup = GetSetup();
    const kx::QuietLookup quiet;
    const int mode = CodeOr(setup, kControlMode, -1);
    const int type = CodeOr(setup, kPositionControlType, -1);
    const int fast = CodeOr(setup, kPosSpd_in_FastLoop, 0);
    for (unsigned id : kSpeedLimitControls) EnableChild(id, mode == 0 && type == 1);
    const bool editable = !m_bRunning || OnlineMode();
    if (HasSpeedForward(setup)) {
        const bool on = fast == 0 && mode == 0 && (type == 0 || type == 1);
        for (unsigned id = 1350; id <= 1360; ++id) EnableChild(id, on && (id == 1350 || editable));
    } else {
        for (unsigned id = 1351; id <= 1355; ++id) EnableChild(id, mode == 0 && type == 1 && editable);
        for (unsigned id = 1356; id <= 1360; ++id)
            EnableChild(id, !(mode == 0 && type != 1 && fast == 1) && editable);
    }
    const bool motionComplete = HasMotionCompleteSettings(setup);
    const bool parameterTab = GetSelectedTab() == kParameterTab;
    ShowChild(kMotionCompleteGroup, motionComplete && parameterTab);
    for (unsigned id : kMotionCompleteRadios) ShowChild(id, motionComplete && parameterTab);
    ShowChild(kMotionCompletePicture, motionComplete && parameterTab);
    const bool band = CodeOr(setup, kMotionCompleteType, 0) == 0;
    for (unsigned id : kMotionCompleteBand) {
        ShowChild(id, motionComplete && parameterTab);
        EnableChild(id, band);
    }
}

void CTestPositionTuning::OnRefreshParameterValue(const char* name) {
    if (NamesEqual(name, kMotionCompleteSettleBand) || NamesEqual(name, kMotionCompleteStabilizeTime)) {
        // The user's own settings replace the defaults.
        const kx::QuietLookup quiet;
        if (CKX_Parameter* defaults = GetSetup().FindParameter(kMotionCompleteDefaultSettings))
            defaults->SetValueInBaseUnit(0.0);
        UpdateData(FALSE);
    }
    CTuningTestDlg::OnRefreshParameterValue(name);
}

double CTestPositionTuning::RunTarget() const { return PositionProfileTarget(GetSetup()); }

void CTestPositionTuning::ApplyScopeChannels() {
    CKX_Setup& setup = GetSetup();
    const kx::QuietLookup quiet;
    const auto rescale = [this](const std::optional<ChannelScale>& scale, const char* reference,
                                const char* response) {
        if (!scale) return;
        for (const char* name : {reference, response})
            m_scope->RescaleVariable(name, scale->unit.c_str(), scale->step, scale->offset);
    };
    rescale(PositionChannelScale(setup), kTarget_Position, kLoad_Position);
    if (PositionOverSpeedLoop(setup))
        rescale(PositionSpeedChannelScale(setup), kSpeed_Reference, kLoad_Speed);
    else
        rescale(CurrentChannelScaleOf(setup), programs::kCurrent_Reference, programs::kMotor_Current);
}

void CTestPositionTuning::ApplyScopeTimeBase() {
    const kx::QuietLookup quiet;
    const ScopeSettings s = PositionScopeSettings(GetSetup());
    m_scope->ChangeSettings(s.timeBase, s.mode, s.slope, s.trigger, s.level, static_cast<int>(s.preTrigger));
}
