#include "MotorEditor.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <set>

#include "kx/gui/Gui.h"

namespace kx {
namespace {

// The motor's parameters, in the order the editor hears of them: the peak
// current first, since it bounds the nominal current.
constexpr const char* kMotorParameters[] = {"ImaxM", "In", "K", "R", "L", "Jm"};

enum DatabaseItem { kStandardItem = 0, kUserItem = 1 };

// What was reported once is not reported again while the program runs.
bool FirstReport(const std::string& text) {
    static std::set<std::string> shown;
    return shown.insert(text).second;
}

QPushButton* DialogButton(const char* text, unsigned id, QWidget* parent) {
    auto* button = new QPushButton(QString::fromUtf8(text), parent);
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setProperty("ctrlId", id);
    return button;
}

// Asks for the name of the motor to save. Enter does not close the question,
// as in the editors; OK or Cancel does. Returns false for Cancel.
bool AskMotorName(QWidget* parent, std::string& name) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Save to User Database"));
    dialog.setProperty("templateId", kMotorNameTemplate);
    auto* edit = new QLineEdit(QString::fromStdString(name), &dialog);
    edit->setProperty("ctrlId", kMotorNameEdit);
    edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * 40);
    auto* label = new QLabel(QStringLiteral("&Name of the motor:"), &dialog);
    label->setBuddy(edit);
    QPushButton* ok = DialogButton("OK", IDOK, &dialog);
    QPushButton* cancel = DialogButton("Cancel", IDCANCEL, &dialog);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addLayout(buttons);
    if (dialog.exec() != QDialog::Accepted) return false;
    name = edit->text().toStdString();
    return true;
}

}  // namespace

std::string StandardMotorDatabaseText() {
    QFile file(QStringLiteral(":/kxgui/motors.json"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().toStdString();
}

MotorEditorPanel::MotorEditorPanel(CKX_Setup& setup, QWidget* window, Controls controls,
                                   std::function<void(const std::string&)> changed,
                                   std::function<int(const std::string&, unsigned)> ask)
    : m_setup(setup),
      m_window(window),
      m_controls(controls),
      m_changed(std::move(changed)),
      m_ask(std::move(ask)),
      m_database(StandardMotorDatabaseText()) {
    if (QComboBox* databases = m_controls.databases) {
        databases->clear();
        databases->addItem(QStringLiteral("Standard"), int(kStandardItem));
        databases->addItem(QStringLiteral("USER"), int(kUserItem));
        databases->setCurrentIndex(kStandardItem);
        QObject::connect(databases, &QComboBox::activated, window, [this] { OnDatabaseChosen(); });
    }
    if (QComboBox* motors = m_controls.motors) {
        motors->setPlaceholderText(QStringLiteral("Choose a motor"));
        QObject::connect(motors, &QComboBox::activated, window, [this](int index) { OnMotorChosen(index); });
    }
    if (m_controls.save)
        QObject::connect(m_controls.save, &QAbstractButton::clicked, window, [this] { OnSave(); });
    if (m_controls.remove)
        QObject::connect(m_controls.remove, &QAbstractButton::clicked, window, [this] { OnDelete(); });
    FillMotors();
}

void MotorEditorPanel::ShowReports() {
    for (const std::string& report : m_database.TakeReports())
        if (FirstReport(report)) m_ask(report, MB_OK | MB_ICONWARNING);
}

bool MotorEditorPanel::UserDatabaseShown() const {
    return m_controls.databases && m_controls.databases->currentData().toInt() == kUserItem;
}

void MotorEditorPanel::FillMotors() {
    QComboBox* motors = m_controls.motors;
    if (!motors) return;
    const MotorDatabaseKind shown =
        UserDatabaseShown() ? MotorDatabaseKind::User : MotorDatabaseKind::Standard;
    motors->clear();
    for (const MotorEntry& entry : m_database.List())
        if (entry.database == shown) motors->addItem(QString::fromStdString(entry.motor.name));
    motors->setCurrentIndex(-1);
    UpdateButtons();
}

void MotorEditorPanel::UpdateButtons() {
    // Only a motor of the USER database can be deleted.
    if (m_controls.remove)
        m_controls.remove->setEnabled(UserDatabaseShown() && m_controls.motors &&
                                      m_controls.motors->currentIndex() >= 0);
}

void MotorEditorPanel::OnDatabaseChosen() { FillMotors(); }

void MotorEditorPanel::OnMotorChosen(int index) {
    UpdateButtons();
    if (index < 0 || !m_controls.motors) return;
    const MotorEntry* entry = m_database.Find(m_controls.motors->itemText(index).toStdString());
    if (!entry) return;
    const std::string limited = ApplyMotor(m_setup, entry->motor);
    for (const char* name : kMotorParameters) m_changed(name);
    if (!limited.empty())
        m_ask("The data of the motor \"" + entry->motor.name +
                  "\" do not all fit this drive's limits and were limited: " + limited + ".",
              MB_OK | MB_ICONWARNING);
}

void MotorEditorPanel::OnSave() {
    std::string name;
    while (AskMotorName(m_window, name)) {
        const MotorDatabaseResult result = m_database.AddUserMotor(MotorFromSetup(m_setup, name));
        if (!result.ok) {
            m_ask(result.message, MB_OK | MB_ICONWARNING);
            continue;  // asked again with the name as it was typed
        }
        if (m_controls.databases) m_controls.databases->setCurrentIndex(kUserItem);
        FillMotors();
        if (m_controls.motors) {
            const MotorEntry* saved = m_database.Find(name);
            m_controls.motors->setCurrentIndex(
                saved ? m_controls.motors->findText(QString::fromStdString(saved->motor.name)) : -1);
        }
        UpdateButtons();
        if (!result.message.empty()) m_ask(result.message, MB_OK | MB_ICONINFORMATION);
        return;
    }
}

void MotorEditorPanel::OnDelete() {
    if (!m_controls.motors || m_controls.motors->currentIndex() < 0 || !UserDatabaseShown()) return;
    const std::string name = m_controls.motors->currentText().toStdString();
    if (m_ask("Delete the motor \"" + name + "\" from the USER database?", MB_YESNO | MB_ICONQUESTION) !=
        IDYES)
        return;
    const MotorDatabaseResult result = m_database.DeleteUserMotor(name);
    if (!result.ok) {
        m_ask(result.message, MB_OK | MB_ICONWARNING);
        return;
    }
    FillMotors();
    if (!result.message.empty()) m_ask(result.message, MB_OK | MB_ICONINFORMATION);
}

}  // namespace kx
