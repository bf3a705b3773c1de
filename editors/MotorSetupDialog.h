// "DC Motor Setup": the motor (currents, torque constant, resistance,
// inductance, inertia) with its database, the sensors on the motor and on
// the load, the motor's temperature sensor, the transmission to the load,
// the motor brake and the movement direction.
#pragma once

#include <memory>

#include "MotorSetupRules.h"
#include "MySetupDlg.h"

inline constexpr unsigned kMotorSetupTemplate = 3058;

class CMotorSetupDialog : public CMySetupDlg {
public:
    CMotorSetupDialog(CKX_Setup& setup, CWnd* parent);
    ~CMotorSetupDialog() override;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;
    void OnChangedParameterValue(const char* name) override;
    void OnRefreshParameterValue(const char* name) override;
    const kx::MessageMap* GetMessageMap() const override;

    void OnTestEncoder();
    void OnTestSsiEncoder();
    void OnLimitSwitchWarning();
    void OnBrakeClicked();
    void OnHelp();

private:
    void FillSensorCombos(const char* changed);
    void FillEncoderFilterList(unsigned listId);
    void FillInterpolationList();
    void FillLoadInterpolationList();
    void FillSerialFrequencyList(bool load);
    void UpdateTransmissionTypeChoice();
    void LimitSsiBits();
    void LimitLoadSsiBits();
    void UpdateMotorCounts();
    void UpdateLoadCounts();
    void FillList(unsigned listId, const std::vector<kx::ListEntry>& items);

    // The counts the dialog derives for sine/cosine encoders (null when the
    // drive or the setup has none).
    std::unique_ptr<CKX_Parameter> m_equivCountsPerRev;
    std::unique_ptr<CKX_Parameter> m_resolutionWithInterpolationLD;
    std::unique_ptr<CKX_Parameter> m_equivCountsPerRevLD;
    bool m_bothSensorsAtStart = false;
};
