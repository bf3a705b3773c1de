// dcsetup edit: the drive setup editor through the plug-in's EditSetup, for a
// person at the screen or answered by a dialog script.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

#include "drive/VirtualDrive.h"

class CKX_Setup;

namespace dcsetup {

class Plugin;

// A script step did not hold: exit code 5.
class ScriptFailed : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct EditOptions {
    std::optional<std::string> scriptPath;
    std::optional<std::string> screenshotDir;
    vdrive::Plant plant;  // of the virtual drive that the tests run on
    bool panel = false;   // show the virtual drive panel while a script runs
};

enum class EditResult { Accepted, Cancelled };

// The dialogs reach a virtual drive made from the plant, which follows host
// time; its panel is shown beside them without a script (and with one when
// asked). Without a script the editor needs a display (UsageError otherwise); with
// one it runs offscreen (unless QT_QPA_PLATFORM says otherwise) and in
// virtual time. Throws UsageError for a script that cannot be read,
// ScriptFailed for a step that did not hold, Failure for anything else.
EditResult RunEditor(CKX_Setup& setup, const Plugin& plugin, const EditOptions& options);

}  // namespace dcsetup
