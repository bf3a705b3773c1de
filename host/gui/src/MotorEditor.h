// The motor database part of the motor editor: the "Database" list (the
// standard database or the user's own), the "Motor" list, "Save to User
// Database" and "Delete". Choosing a motor writes its data into the setup
// and lets the editor react as if the user had typed each value.
#pragma once

#include <QPointer>
#include <functional>
#include <memory>
#include <string>

#include "kx/MotorDatabase.h"
#include "kx/Setup.h"

class QComboBox;
class QAbstractButton;
class QWidget;

namespace kx {

inline constexpr unsigned kDatabaseList = 10010, kMotorList = 10011, kSaveMotorButton = 10012,
                          kDeleteMotorButton = 10013;
// The host's "Save to User Database" question: its template id and the name field.
inline constexpr unsigned kMotorNameTemplate = 10040, kMotorNameEdit = 10041;

// The standard motor database shipped with the host (JSON text).
std::string StandardMotorDatabaseText();

class MotorEditorPanel {
public:
    struct Controls {
        QComboBox* databases = nullptr;
        QComboBox* motors = nullptr;
        QAbstractButton* save = nullptr;
        QAbstractButton* remove = nullptr;
    };
    // `changed` tells the editor that the user changed a parameter;
    // `ask` shows a message box over the editor and returns the answer.
    MotorEditorPanel(CKX_Setup& setup, QWidget* window, Controls controls,
                     std::function<void(const std::string&)> changed,
                     std::function<int(const std::string&, unsigned)> ask);

    // Shows, once per program run, what could not be read of the databases.
    void ShowReports();

private:
    void FillMotors();
    void OnDatabaseChosen();
    void OnMotorChosen(int index);
    void OnSave();
    void OnDelete();
    void UpdateButtons();
    bool UserDatabaseShown() const;

    CKX_Setup& m_setup;
    QPointer<QWidget> m_window;
    Controls m_controls;
    std::function<void(const std::string&)> m_changed;
    std::function<int(const std::string&, unsigned)> m_ask;
    MotorDatabase m_database;
};

}  // namespace kx
