// "Position Controller Tuning Test": the position controller's gains,
// derivative filter, integral limit and feed-forwards, edited or computed
// from a pass band, checked on the drive along a position profile, over the
// speed loop or directly over the current loop ("PositionControlType"); and
// the drive's motion-complete criterion. The drive setup editor opens it.
#pragma once

#include "tests/TuningTestDlg.h"

inline constexpr unsigned kTestPositionTuningTemplate = 103;
// The drawing of the position test, and the motion-complete criterion.
inline constexpr unsigned kPositionTestBitmap = 309;
inline constexpr unsigned kMotionCompleteBitmap = 3070;

class CTestPositionTuning : public CTuningTestDlg {
public:
    CTestPositionTuning(CKX_Setup& setup, int flag, CWnd* parent);

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnRefreshParameterValue(const char* name) override;
    const kx::MessageMap* GetMessageMap() const override;

    const char* ProgramName() const override;
    std::array<const char*, 4> LoggedVariables() const override;
    int WriteInputsBeforeProfile() override;
    int WriteInputsAfterProfile() override;
    dcdrive::Profile RunProfile() const override;
    dcdrive::ReferenceType RunReferenceType() const override;
    void TuneGains() override;
    std::span<const char* const> TunedRegisters() const override;
    void RoundTestValue() override;
    const char* TestValueName() const override;
    double RunTarget() const override;
    void ApplyScopeChannels() override;
    void ApplyScopeTimeBase() override;
};

// The dialog that receives the oscilloscope's frames; null when none.
extern CTuningTestDlg* g_pPositionTuningDlg;
