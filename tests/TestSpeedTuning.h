// "Speed Controller Tuning Test": the speed controller's gains, integral
// limit and feed-forwards, edited or computed from a pass band and the load
// inertia, checked on the drive along a speed profile. The drive setup
// editor opens it.
#pragma once

#include "tests/TuningTestDlg.h"

inline constexpr unsigned kTestSpeedTuningTemplate = 102;
// The drawing of the speed test: motor and load turning.
inline constexpr unsigned kSpeedTestBitmap = 308;

class CTestSpeedTuning : public CTuningTestDlg {
public:
    CTestSpeedTuning(CKX_Setup& setup, int flag, CWnd* parent);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    void OnRefreshParameterValue(const char* name) override;
    const kx::MessageMap* GetMessageMap() const override;

    const char* ProgramName() const override;
    std::array<const char*, 4> LoggedVariables() const override;
    int WriteInputsBeforeProfile() override;
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
extern CTuningTestDlg* g_pSpeedTuningDlg;
