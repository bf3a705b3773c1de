// The dialogs that the editors open on top of themselves, by kind. A dialog
// that is not in the registry yet cannot be opened: the button that would
// open it is disabled.
#pragma once

#include <functional>

#include "kx/Setup.h"
#include "kx/gui/Gui.h"

namespace dcdrive {

enum class SubDialog {
    MotorSetup,
    Advanced,
    ExternalReference,
    DriveInfo,
    SupplyVoltageDetection,
    CurrentTuning,
    SpeedTuning,
    PositionTuning,
    InertiaQuestion,
    Filters,
    EncoderConnectionTest,
    SsiEncoderConnectionTest,
    AnalogueReferenceTest,
    TotalInertiaTest,
};

// Runs the dialog modally on the setup; returns IDOK or IDCANCEL.
using SubDialogRunner = std::function<int(CKX_Setup& setup, CWnd* parent)>;

// The runner of that kind; empty when it is not available.
SubDialogRunner FindSubDialog(SubDialog kind);

// Makes a kind available (the commissioning tests register theirs when the
// plug-in loads); an empty runner removes it.
void RegisterSubDialog(SubDialog kind, SubDialogRunner runner);

// Replaces (or, with an empty runner, removes) a kind for the life of the
// object: a test watches what a caller does around its dialogs.
class SubDialogOverride {
public:
    SubDialogOverride(SubDialog kind, SubDialogRunner runner);
    ~SubDialogOverride();
    SubDialogOverride(const SubDialogOverride&) = delete;
    SubDialogOverride& operator=(const SubDialogOverride&) = delete;

private:
    SubDialog m_kind;
    bool m_had;
    SubDialogRunner m_previous;
};

}  // namespace dcdrive
