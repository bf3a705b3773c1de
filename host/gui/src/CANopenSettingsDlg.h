// The host's "CANopen settings" dialog, opened from the CAN bus group of an
// editor: the node's heartbeat producer time.
#pragma once

#include "kx/gui/EditSetupDlg.h"

namespace kx {

inline constexpr unsigned kCANopenSettingsTemplate = 10030;
inline constexpr const char* kCANopenHeartbeat = "CANopen_heartbeat";

// True when the setup holds what the dialog edits.
bool CANopenSettingsAvailable(const CKX_Setup& setup);

class CKX_CANopenSettingsDlg : public CKX_EditSetupDlg {
public:
    CKX_CANopenSettingsDlg(CKX_Setup& setup, CWnd* parent);
};

}  // namespace kx
