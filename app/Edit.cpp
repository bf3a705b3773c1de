#include "Edit.h"

#include <QString>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Commands.h"
#include "Plugin.h"
#include "kx/Script.h"
#include "kx/gui/Clock.h"
#include "kx/gui/DriveHost.h"
#include "kx/gui/Gui.h"
#include "kx/gui/ScriptPlayer.h"

namespace dcsetup {
namespace {

// A script is a small text file; anything far larger is not one.
constexpr std::uintmax_t kLongestScript = 16u << 20;

std::string ReadScript(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        throw UsageError("edit --script " + path + ": no such file");
    if (std::filesystem::file_size(path, error) > kLongestScript)
        throw UsageError("edit --script " + path + ": the file is too large for a dialog script");
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in && !in.eof()) throw Failure("edit --script " + path + ": cannot read the file");
    return text.str();
}

// The toolkit's own remarks about the offscreen platform and the session
// are no news to the user; its warnings of real trouble are passed on.
void ToolkitMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtDebugMsg || type == QtInfoMsg) return;
    for (const char* harmless : {"propagateSizeHints", "support raise()", "XDG_RUNTIME_DIR"})
        if (message.contains(QLatin1String(harmless))) return;
    std::fprintf(stderr, "dcsetup: %s\n", message.toLocal8Bit().constData());
}

}  // namespace

EditResult RunEditor(CKX_Setup& setup, const Plugin& plugin, const EditOptions& options) {
    std::vector<kx::ScriptStep> steps;
    if (options.scriptPath) {
        try {
            steps = kx::ParseScript(ReadScript(*options.scriptPath));
        } catch (const kx::ScriptError& error) {
            throw UsageError("edit --script " + *options.scriptPath + ": " + error.what());
        }
        // A script runs without a screen unless told where to show itself.
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    } else if (!kx::HasDisplay()) {
        throw UsageError(
            "edit: no display to open the editor on (set DISPLAY, or give --script FILE to run offscreen)");
    }
    if (options.screenshotDir) {
        std::error_code error;
        std::filesystem::create_directories(*options.screenshotDir, error);
        if (!std::filesystem::is_directory(*options.screenshotDir))
            throw UsageError("edit --screenshots " + *options.screenshotDir +
                             ": not a folder that can be made");
    }
    qInstallMessageHandler(ToolkitMessage);
    const kx::ApplicationGuard application;
    vdrive::VirtualDrive drive(options.plant);
    if (!options.scriptPath) {
        const kx::VirtualDriveScope installed(drive);
        kx::ShowVirtualDrivePanel();
        return plugin.editSetup(&setup) == 1 ? EditResult::Accepted : EditResult::Cancelled;
    }

    kx::HostClock::Instance().SetMode(kx::HostClock::Mode::Virtual);
    const kx::VirtualDriveScope installed(drive);
    if (options.panel) kx::ShowVirtualDrivePanel();
    kx::ScriptOptions scriptOptions;
    scriptOptions.screenshotDir = options.screenshotDir.value_or("");
    kx::ScriptPlayer player(std::move(steps), scriptOptions);
    player.Start();
    const int result = plugin.editSetup(&setup);
    const bool held = player.Finish();
    kx::HostClock::Instance().SetMode(kx::HostClock::Mode::Real);
    if (!held) throw ScriptFailed("edit --script " + *options.scriptPath + ": " + player.FailureMessage());
    return result == 1 ? EditResult::Accepted : EditResult::Cancelled;
}

}  // namespace dcsetup
