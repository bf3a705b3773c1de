// Types and constants that the dialogs of the host and of its plug-ins share:
// the export macro of the GUI library, the window framework's small
// vocabulary (BOOL, CWnd, message box types and results) and the host's
// message boxes.
#pragma once

#include <string>

class QWidget;

#define KXGUI_API __attribute__((visibility("default")))

using BOOL = int;
inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;
using UINT = unsigned;
// A window message's two parameters and its handler's answer.
using WPARAM = unsigned long;
using LPARAM = long;
using LRESULT = long;
// The two 16-bit halves of a message parameter.
inline constexpr LPARAM MAKELPARAM(unsigned low, unsigned high) {
    return static_cast<LPARAM>((low & 0xFFFFu) | ((high & 0xFFFFu) << 16));
}
inline constexpr unsigned LOWORD(LPARAM value) { return static_cast<unsigned>(value) & 0xFFFFu; }
inline constexpr unsigned HIWORD(LPARAM value) { return (static_cast<unsigned>(value) >> 16) & 0xFFFFu; }
// A window of the host's window framework.
using CWnd = QWidget;

// Modal results and message box answers.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// Message box buttons and icons, combined with |.
inline constexpr unsigned MB_OK = 0x0;
inline constexpr unsigned MB_OKCANCEL = 0x1;
inline constexpr unsigned MB_YESNOCANCEL = 0x3;
inline constexpr unsigned MB_YESNO = 0x4;
inline constexpr unsigned MB_ICONERROR = 0x10;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONWARNING = 0x30;
inline constexpr unsigned MB_ICONINFORMATION = 0x40;

namespace kx {

// A modal message box over `parent` with exactly this text; returns the
// answer (IDOK, IDCANCEL, IDYES, IDNO). Closing the box counts as Cancel
// when it offers Cancel, else as its only button. The caption defaults to
// the parent's title.
KXGUI_API int MessageBox(QWidget* parent, const std::string& text, const std::string& caption = {},
                         unsigned type = MB_OK);

// True when the environment names a display (or a platform, such as
// offscreen) that a window can be opened on.
KXGUI_API bool HasDisplay();

// Ensures that a QApplication exists for the life of the object: a host
// that is not a Qt program gets one for the call and loses it afterwards.
// Throws std::runtime_error when there is no display to create one on.
class KXGUI_API ApplicationGuard {
public:
    ApplicationGuard();
    ~ApplicationGuard();
    ApplicationGuard(const ApplicationGuard&) = delete;
    ApplicationGuard& operator=(const ApplicationGuard&) = delete;

private:
    void* m_created = nullptr;
};

}  // namespace kx
