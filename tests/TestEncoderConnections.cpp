#include "TestEncoderConnections.h"

#include <iterator>
#include <string>

#include "conversions/Conventions.h"
#include "conversions/Names.h"
#include "help/Help.h"
#include "kx/Comm.h"

using namespace dcdrive;

namespace {

// Controls of the templates.
constexpr unsigned kPurposeText = 10015;
constexpr unsigned kFirstDiagram = 1024, kSecondDiagram = 1025, kPicture = 1026;
constexpr unsigned kMotorCounter = 3413, kLoadCounter = 1023, kSerialCounter = 3131;

// Reads a drive counter in its internal unit. False, with the run failed,
// when the setup lacks it (internal error) or the drive does not answer.
bool ReadCounter(CKX_Variable* variable, double& value, std::string& error) {
    if (!variable) {
        error = CKX_TestDlg::msc_pszErrInternal;
        return false;
    }
    if (!variable->ReadFromChip()) {
        error = CKX_Comm::GetLastErrorText();
        return false;
    }
    value = variable->GetValueInInternalUnit();
    return true;
}

// Writes 1 to "var_i2", which tells the running program to end; the error text when that fails.
bool EndProgram(const CKX_Setup& setup, std::string& error) {
    CKX_Variable* flag = setup.FindVariable(programs::kvar_i2, 1);
    if (!flag) {
        error = CKX_TestDlg::msc_pszErrInternal;
        return false;
    }
    flag->SetValueInBaseUnit(1.0);
    if (!flag->WriteToChip()) {
        error = CKX_Comm::GetLastErrorText();
        return false;
    }
    return true;
}

}  // namespace

// ---- incremental and sine/cosine encoders

CTestEncoderConnections::CTestEncoderConnections(CKX_Setup& setup, int flag, CWnd* parent)
    : CMyTestDlg(setup, kEncoderTestTemplate, flag, parent) {
    m_nStages = 2;
    m_bContinuous = 1;
    m_motor.side = MotorEncoderOf(setup);
    m_motor.field = kMotorCounter;
    m_load.side = LoadEncoderOf(setup);
    m_load.field = kLoadCounter;
}

CTestEncoderConnections::~CTestEncoderConnections() = default;

const kx::MessageMap* CTestEncoderConnections::GetMessageMap() const {
    static const kx::MessageMapEntry entries[] = {
        KX_ON_CLICKED(kx::kStartStopButton, CTestEncoderConnections::OnStartStop),
    };
    static const kx::MessageMap map{CMyTestDlg::GetMessageMap(), entries};
    return &map;
}

unsigned CTestEncoderConnections::GetHelpContext() const { return kHelpIncrementalEncoderTest; }

BOOL CTestEncoderConnections::OnInitDialog() {
    CMyTestDlg::OnInitDialog();
    m_motor.diagram.SubclassDlgItem(kFirstDiagram, this);
    m_motor.diagram.EnableWindow(m_motor.side.sensor != SensorType::None);
    EnableChild(kFirstDiagram, m_motor.side.sensor != SensorType::None);
    m_load.diagram.SubclassDlgItem(kSecondDiagram, this);
    m_load.diagram.EnableWindow(m_load.side.sensor != SensorType::None);
    EnableChild(kSecondDiagram, m_load.side.sensor != SensorType::None);
    SetChildBitmap(kPicture, kTurnShaftBitmap);
    return TRUE;
}

void CTestEncoderConnections::SetInfo() {
    if (m_nStage >= 0 && m_nStage < static_cast<short>(std::size(kEncoderTestInfo)))
        SetInfoText(kEncoderTestInfo[m_nStage]);
}

void CTestEncoderConnections::OnStartStop() {
    if (!m_bRunning) {
        CMyTestDlg::OnBtnStartStop();
        UpdateData(FALSE);
        return;
    }
    KillTimer(kx::kPollTimer);
    if (!m_motor.phase.PulsesSeen() && !m_load.phase.PulsesSeen()) {
        FailRun(kNoEncoderPulsesText);
        return;
    }
    TestSucceeded(1);
    std::string error;
    if (!EndProgram(GetSetup(), error)) FailRun(error);
}

void CTestEncoderConnections::BeginTest() {
    m_nStage = 0;
    m_motor.phase.Restart();
    m_load.phase.Restart();
    m_bRunning = 1;
    m_nResult = -1;
    if (m_motor.side.sensor == SensorType::IncrementalEncoder) m_motor.diagram.SetAngle(0.0);
    if (m_load.side.sensor == SensorType::IncrementalEncoder) m_load.diagram.SetAngle(0.0);
    SetInfo();
    if (!StartProgram(programs::kEncoderConnection)) return;
    SetInfo();
    ArmPollTimer();
}

void CTestEncoderConnections::OnTimer(UINT id) {
    KillTimer(kx::kPollTimer);
    if (!m_bRunning || id != kx::kPollTimer) {
        CMyTestDlg::OnTimer(id);
        return;
    }
    if (m_nStage != 2) {
        TestFailed(1);
        CMyTestDlg::OnTimer(id);
        return;
    }
    if (!CheckMotionErrors(1, kMaskShortCircuit)) return;
    double motor = 0.0, load = 0.0;
    const CKX_Setup& setup = GetSetup();
    if (!ReadCounter(setup.FindVariable(names::kAPOS_MT, 1), motor, m_strError) ||
        !ReadCounter(setup.FindVariable(names::kAPOS_LD, 1), load, m_strError)) {
        TestFailed(1);
        return;
    }
    if (m_motor.side.sensor != SensorType::None) ShowCounter(m_motor, motor);
    if (m_load.side.sensor != SensorType::None) ShowCounter(m_load, load);
    ArmPollTimer();
    CMyTestDlg::OnTimer(id);
}

void CTestEncoderConnections::ShowCounter(Channel& channel, double position) {
    const std::int32_t counts = TruncateToInt32(position);
    SetChildText(channel.field, std::to_string(counts).c_str());
    if (channel.phase.Take(IncrementalPhase(counts, channel.side.lines))) {
        channel.diagram.SetAngle(EncoderShaftAngle(position, channel.side));
        channel.diagram.Invalidate();
    }
}

// ---- SSI and BiSS encoders

CTestSSIEncoderConnections::CTestSSIEncoderConnections(CKX_Setup& setup, int flag, CWnd* parent)
    : CMyTestDlg(setup, kSsiEncoderTestTemplate, flag, parent) {
    m_nStages = 2;
    m_bContinuous = 1;
    m_source = SerialEncoderSourceOf(setup);
}

CTestSSIEncoderConnections::~CTestSSIEncoderConnections() = default;

const kx::MessageMap* CTestSSIEncoderConnections::GetMessageMap() const {
    static const kx::MessageMapEntry entries[] = {
        KX_ON_CLICKED(kx::kStartStopButton, CTestSSIEncoderConnections::OnStartStop),
    };
    static const kx::MessageMap map{CMyTestDlg::GetMessageMap(), entries};
    return &map;
}

unsigned CTestSSIEncoderConnections::GetHelpContext() const { return kHelpSsiEncoderTest; }

BOOL CTestSSIEncoderConnections::OnInitDialog() {
    CMyTestDlg::OnInitDialog();
    m_diagram.SubclassDlgItem(kFirstDiagram, this);
    m_diagram.EnableWindow(TRUE);
    // A brushed motor's phase currents are not part of this test.
    m_phases.SubclassDlgItem(kSecondDiagram, this);
    m_phases.EnableWindow(FALSE);
    EnableChild(kSecondDiagram, FALSE);
    SetChildText(kPurposeText, SerialEncoderPurpose(GetSetup()));
    SetChildBitmap(kPicture, kTurnShaftBitmap);
    return TRUE;
}

void CTestSSIEncoderConnections::SetInfo() {
    if (m_nStage >= 0 && m_nStage < static_cast<short>(std::size(kEncoderTestInfo)))
        SetInfoText(kEncoderTestInfo[m_nStage]);
}

void CTestSSIEncoderConnections::OnStartStop() {
    if (!m_bRunning) {
        UpdateData(FALSE);
        CMyTestDlg::OnBtnStartStop();
        return;
    }
    KillTimer(kx::kPollTimer);
    if (!m_phase.PulsesSeen()) {
        m_strError = kNoEncoderPulsesText;
        CKX_Comm::ResetActiveBoard();
        TestFailed(1);
        return;
    }
    std::string error;
    if (!EndProgram(GetSetup(), error)) {
        FailRun(error);
        return;
    }
    CKX_Comm::ResetActiveBoard();
    TestSucceeded(1);
}

void CTestSSIEncoderConnections::BeginTest() {
    m_bRunning = 1;
    m_nResult = -1;
    m_nStage = 0;
    m_phase.Restart();
    SetChildText(kSerialCounter, "");
    m_diagram.SetAngle(0.0);
    m_diagram.Invalidate();
    // The encoder is read afresh from a reset drive.
    CKX_Comm::ResetActiveBoard();
    SetInfo();
    if (!StartProgram(programs::kSsiEncoderConnection)) return;
    SetInfo();
    ArmPollTimer();
}

void CTestSSIEncoderConnections::OnTimer(UINT id) {
    KillTimer(kx::kPollTimer);
    if (!m_bRunning || id != kx::kPollTimer) {
        CMyTestDlg::OnTimer(id);
        return;
    }
    if (m_nStage != 2) {
        TestFailed(1);
        CMyTestDlg::OnTimer(id);
        return;
    }
    if (!CheckMotionErrors(1, kMaskSerialEncoderTest)) return;
    double value = 0.0;
    if (!ReadCounter(GetSetup().FindVariable(m_source.counter, 1), value, m_strError)) {
        TestFailed(1);
        return;
    }
    const std::int64_t range = SerialEncoderRange(m_source.bits);
    const std::int32_t position = TruncateToInt32(value);
    SetChildText(kSerialCounter, std::to_string(position).c_str());
    if (m_phase.Take(CounterPhase(position, range))) {
        m_diagram.SetAngle(SerialShaftAngle(position, range));
        m_diagram.Invalidate();
    }
    ArmPollTimer();
    CMyTestDlg::OnTimer(id);
}
