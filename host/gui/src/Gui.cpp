#include "kx/gui/Gui.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <cstdlib>
#include <stdexcept>

namespace kx {

int MessageBox(QWidget* parent, const std::string& text, const std::string& caption, unsigned type) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (type & 0xF0) {
        case MB_ICONERROR:
            icon = QMessageBox::Critical;
            break;
        case MB_ICONQUESTION:
            icon = QMessageBox::Question;
            break;
        case MB_ICONWARNING:
            icon = QMessageBox::Warning;
            break;
        case MB_ICONINFORMATION:
            icon = QMessageBox::Information;
            break;
        default:
            break;
    }
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton escape = QMessageBox::Ok;
    switch (type & 0x0F) {
        case MB_OKCANCEL:
            buttons = QMessageBox::Ok | QMessageBox::Cancel;
            escape = QMessageBox::Cancel;
            break;
        case MB_YESNOCANCEL:
            buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
            escape = QMessageBox::Cancel;
            break;
        case MB_YESNO:
            buttons = QMessageBox::Yes | QMessageBox::No;
            escape = QMessageBox::No;
            break;
        default:
            break;
    }
    QString title = QString::fromStdString(caption);
    if (title.isEmpty() && parent) title = parent->window()->windowTitle();
    QMessageBox box(icon, title, QString::fromStdString(text), buttons, parent);
    box.setTextFormat(Qt::PlainText);
    box.setEscapeButton(escape);
    box.setDefaultButton(buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok);
    box.exec();
    auto* clicked = box.clickedButton();
    const QMessageBox::StandardButton answer = clicked ? box.standardButton(clicked) : escape;
    switch (answer) {
        case QMessageBox::Yes:
            return IDYES;
        case QMessageBox::No:
            return IDNO;
        case QMessageBox::Cancel:
            return IDCANCEL;
        default:
            return IDOK;
    }
}

namespace {
int g_argc = 1;
char g_program[] = "dcdrive";
char* g_argv[] = {g_program, nullptr};
}  // namespace

bool HasDisplay() {
    for (const char* variable : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return true;
    }
    return false;
}

ApplicationGuard::ApplicationGuard() {
    if (QCoreApplication::instance()) return;
    // Without a display the toolkit would end the whole process.
    if (!HasDisplay()) throw std::runtime_error("no display to open a window on");
    m_created = new QApplication(g_argc, g_argv);
}

ApplicationGuard::~ApplicationGuard() { delete static_cast<QApplication*>(m_created); }

}  // namespace kx
