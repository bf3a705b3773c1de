#include "TestSpeedTuning.h"

#include "conversions/Capabilities.h"
#include "conversions/Conventions.h"
#include "conversions/Gains.h"
#include "conversions/Names.h"
#include "help/Help.h"
#include "kx/Kernel.h"
#include "options/Limits.h"
#include "options/Tuning.h"
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
    "1. Check/setup the test current limits and speed profile below\r\n"
    "2. Go to the \"Test\" tab and press the \"Tune\" button\r\n"
    "3. In the \"Test\" tab, press the \"Start\" button\r\n"
    "4. Wait until the test begins and displays the results\r\n"
    "5. If needed, change the controller parameters during the test, until you get satisfactory results",
};

constexpr unsigned kIdentifyButton = 3271;

constexpr unsigned kParameterControls[] = {
    10014, 10015, 1376, 1377, 1301, 1312, 1305, 1322, 3282, 3284, 3283, 3278, 3281, 3279, 1313, 1314, 1315,
    1316,  1317,  1318, 1319, 1320, 1321, 1323, 1326, 1327, 1328, 1329, 1330, 1331, 1332, 1101, 1043, 1044};
constexpr unsigned kTestControls[] = {
    1333, 1334,  1335,  1336,  1337,  1338,  1339, 1340, 1341, 1342,  1343,
    1344, 1345,  1346,  1347,  1348,  1349,  1367, 1369, 1368, 1350,  1351,
    1352, 1353,  1354,  1355,  1356,  1357,  1358, 1359, 1360, 1378,  1379,
    1380, 1381,  1382,  1383,  1384,  1385,  1386, 1387, 1388, 1389,  1390,
    1361, 1362,  1363,  1364,  1365,  1366,  3331, 3332, 1374, 10001, 10000,
    1375, 10004, 10003, 10002, 10016, 10017, 1372, 3269, 3270, 3288,  kIdentifyButton,
    1395, 1396};

constexpr ValueControls kValues[] = {
    {kLimit_Speed, 1043, 1044},
    {kTestLimitCurrent, 3284, 3283},
    {kTestProtectionCurrent, 3281, 3279},
    {kJt, 3270, 3288},
    {kTestSpeed, 1320, 1321},
    {kTPS, 1314, 1315},
    {kTNS, 1317, 1318},
    {kTaPS, 1327, 1328},
    {kTaNS, 1330, 1331},
};
constexpr SliderControls kSliders[] = {
    {kKp_S_scl, 1337, 1335, 0, 1336, 1338},     {kKi_S_scl, 1342, 1340, 0, 1341, 1343},
    {kIPSatS, 1348, 1345, 1346, 1347, 1349},    {kKFFS_scl, 1354, 1352, 0, 1353, 1355},
    {kKFFA_scl, 1359, 1357, 0, 1358, 1360},     {kPB_S, 1382, 1379, 1380, 1381, 1383},
    {kJload_over_J, 1387, 1385, 0, 1386, 1388},
};
const GainChain kGains[] = {
    {kKp_S_scl,
     {&WriteShiftOf<kSpeedProportionalGain>, &WriteMantissaOf<kSpeedProportionalGain>, nullptr},
     {kSFTKPS, kKPS, nullptr}},
    {kKi_S_scl,
     {&WriteShiftOf<kSpeedIntegralGain>, &WriteMantissaOf<kSpeedIntegralGain>, nullptr},
     {kSFTKIS, kKIS, nullptr}},
    {kIPSatS, {&WriteSpeedLoopSaturation, nullptr, nullptr}, {kIMAXS, nullptr, nullptr}},
    {kKFFS_scl,
     {&WriteShiftOf<kSpeedFeedforwardGain>, &WriteMantissaOf<kSpeedFeedforwardGain>,
      &WriteAccelerationFeedforwardMantissa},
     {kSFTSFFW, kKFFS, kKFFA}},
    {kKFFA_scl,
     {&WriteAccelerationFeedforwardShift, &WriteAccelerationFeedforwardExtraShift,
      &WriteAccelerationFeedforwardMantissa},
     {kSFTAFFW, kSFTKFF, kKFFA},
     true},
};
constexpr unsigned kGainControls[] = {1335, 1336, 1337, 1338, 1340, 1341, 1342, 1343, 1345,
                                      1346, 1347, 1348, 1349, 1357, 1358, 1359, 1360};
constexpr const char* kTunedRegisters[] = {kSFTKPS, kKPS, kSFTKIS, kKIS};

// The oscilloscope frames' handler, registered with the host.
void OnScopeFrame(const std::uint16_t* message) { CTuningTestDlg::DeliverFrame(g_pSpeedTuningDlg, message); }

const TuningTestNames kNames{
    "SpeedTuning",
    kOnlinePlotS,
    kMultiCycleS,
    kSpeedTestReferenceType,
    kOptSpeedTuningOscSettings,
    kSpeed_Reference,
    kLoad_Speed,
    1364,
    1366,
    kIdentifyButton,
    kHelpSpeedTuningTest,
    kSpeedTestBitmap,
    kInfo,
    {kParameterControls, kTestControls},
    kValues,
    kSliders,
    kGains,
    kGainControls,
    &g_pSpeedTuningDlg,
    &OnScopeFrame,
};

}  // namespace

CTuningTestDlg* g_pSpeedTuningDlg = nullptr;

CTestSpeedTuning::CTestSpeedTuning(CKX_Setup& setup, int flag, CWnd* parent)
    : CTuningTestDlg(setup, kTestSpeedTuningTemplate, flag, parent, kNames) {
    RoundTestSpeed(setup);
    BindControls();
}

const kx::MessageMap* CTestSpeedTuning::GetMessageMap() const {
    static const kx::MessageMapEntry entries[] = {
        KX_ON_CLICKED(kIdentifyButton, CTestSpeedTuning::OnIdentify),
    };
    static const kx::MessageMap map{CTuningTestDlg::GetMessageMap(), entries};
    return &map;
}

const char* CTestSpeedTuning::ProgramName() const { return programs::kSpeedTuning; }

std::array<const char*, 4> CTestSpeedTuning::LoggedVariables() const {
    return {kSpeed_Reference, kLoad_Speed, programs::kCurrent_Reference, programs::kMotor_Current};
}

int CTestSpeedTuning::WriteInputsBeforeProfile() {
    CKX_Setup& setup = GetSetup();
    return SetProgramVariable(m_coff, programs::kIlimPS_Test,
                              setup.GetParameterValueInInternalUnit(kTestLimitCurrent)) &&
           SetProgramVariable(m_coff, programs::kImax_Prot_Test,
                              setup.GetParameterValueInInternalUnit(kTestProtectionCurrent));
}

Profile CTestSpeedTuning::RunProfile() const { return SpeedTestProfile(GetSetup()); }

ReferenceType CTestSpeedTuning::RunReferenceType() const { return SpeedReferenceType(GetSetup()); }

void CTestSpeedTuning::TuneGains() { TuneLoop(GetSetup(), Loop::Speed); }

std::span<const char* const> CTestSpeedTuning::TunedRegisters() const { return kTunedRegisters; }

void CTestSpeedTuning::RoundTestValue() { RoundTestSpeed(GetSetup()); }

const char* CTestSpeedTuning::TestValueName() const { return kTestSpeed; }

void CTestSpeedTuning::DoDataExchange(CDataExchange* pDX) {
    CTuningTestDlg::DoDataExchange(pDX);
    if (pDX->m_bSaveAndValidate) return;
    CKX_Setup& setup = GetSetup();
    const kx::QuietLookup quiet;
    if (HasSpeedForward(setup)) {
        const bool on = CodeOr(setup, kControlMode, -1) == 1 && CodeOr(setup, kPosSpd_in_FastLoop, 0) == 0;
        for (unsigned id = 1350; id <= 1360; ++id) EnableChild(id, on && (id < 1356 || !m_bRunning));
    } else if (GetSelectedTab() == kTestTab) {
        for (unsigned id = 1351; id <= 1355; ++id) EnableChild(id, FALSE);
    }
}

void CTestSpeedTuning::OnRefreshParameterValue(const char* name) {
    if (NamesEqual(name, kLimit_Speed)) {
        LimitTestSpeed(GetSetup());
        RefreshParameterControls(kTestSpeed);
    }
    CTuningTestDlg::OnRefreshParameterValue(name);
}

double CTestSpeedTuning::RunTarget() const { return SpeedProfileTarget(GetSetup()); }

void CTestSpeedTuning::ApplyScopeChannels() {
    const CKX_Setup& setup = GetSetup();
    const kx::QuietLookup quiet;
    if (const auto speed = SpeedChannelScale(setup))
        for (const char* name : {kSpeed_Reference, kLoad_Speed})
            m_scope->RescaleVariable(name, speed->unit.c_str(), speed->step, speed->offset);
    if (const auto current = CurrentChannelScaleOf(setup))
        for (const char* name : {programs::kCurrent_Reference, programs::kMotor_Current})
            m_scope->RescaleVariable(name, current->unit.c_str(), current->step, current->offset);
}

void CTestSpeedTuning::ApplyScopeTimeBase() {
    const kx::QuietLookup quiet;
    const ScopeSettings s = SpeedScopeSettings(GetSetup());
    m_scope->ChangeSettings(s.timeBase, s.mode, s.slope, s.trigger, s.level, static_cast<int>(s.preTrigger));
}
