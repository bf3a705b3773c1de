// The virtual drive in the host: the drive link that every drive access goes
// through, the host clock that paces the drive, the dialog-script steps that
// act on it by hand, and the panel that shows it to a person at the screen.
//
//   vdrive::VirtualDrive drive(plant);
//   kx::VirtualDriveScope installed(drive);   // CKX_Comm reaches it now
//   ... run dialogs; "turn motor 6.28" acts on `drive` ...
#pragma once

#include "kx/gui/Gui.h"

class QWidget;

namespace vdrive {
class VirtualDrive;
}

namespace kx {

class VirtualDriveLink;

// Puts `drive` behind the host (not owned; null takes it away and restores
// the link that was active before): it becomes CKX_Comm's active link and
// follows host time. In virtual time every advance of the host clock runs
// the drive to the new time before the timers due then fire; in real time
// it follows the wall clock, every 10 ms and before every access. Closes
// the panel when the drive is taken away.
KXGUI_API void SetVirtualDrive(vdrive::VirtualDrive* drive);
// The installed drive, run up to host time now; null when none.
KXGUI_API vdrive::VirtualDrive* GetVirtualDrive();
// Its link (the active link while it is installed); null when none.
KXGUI_API VirtualDriveLink* GetVirtualDriveLink();

// Installs a drive for the life of the object.
class KXGUI_API VirtualDriveScope {
public:
    explicit VirtualDriveScope(vdrive::VirtualDrive& drive) { SetVirtualDrive(&drive); }
    ~VirtualDriveScope() { SetVirtualDrive(nullptr); }
    VirtualDriveScope(const VirtualDriveScope&) = delete;
    VirtualDriveScope& operator=(const VirtualDriveScope&) = delete;
};

// The panel "Virtual Drive": a window beside the dialogs, usable while a
// modal dialog is open, that shows the installed drive and lets a person
// turn its shafts, set its inputs and switch its faults. Shows it (made
// when first asked) and returns it; null when no drive is installed.
KXGUI_API QWidget* ShowVirtualDrivePanel();
// The panel when it exists, else null.
KXGUI_API QWidget* VirtualDrivePanel();
KXGUI_API void CloseVirtualDrivePanel();

}  // namespace kx
