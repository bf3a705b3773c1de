// The help viewer's entry point. One viewer window per process, reused from
// request to request and re-opened when another help file is asked for.

#include "HtmlHelp.h"

#include <QApplication>
#include <QFileInfo>
#include <QPointer>
#include <memory>

#include "HelpViewer.h"

namespace {

QPointer<kxhelp::HelpViewer>& Viewer() {
    static QPointer<kxhelp::HelpViewer> viewer;
    return viewer;
}

void CloseViewer() { delete Viewer().data(); }

bool SameFile(const QString& a, const QString& b) {
    const QString canonicalA = QFileInfo(a).canonicalFilePath();
    return !canonicalA.isEmpty() && canonicalA == QFileInfo(b).canonicalFilePath();
}

// The viewer for `path`: the open one when it shows that file, else a new one
// (the old one closes). Null when the file cannot be opened; the open viewer
// then stays as it is.
kxhelp::HelpViewer* ViewerFor(const QString& path) {
    QPointer<kxhelp::HelpViewer>& viewer = Viewer();
    if (viewer && SameFile(viewer->path(), path)) return viewer.data();
    std::unique_ptr<kxhelp::HelpViewer> opened = kxhelp::HelpViewer::Open(path);
    if (!opened) return nullptr;
    static const bool cleanupRegistered = [] {
        // The window must go while the application still exists.
        qAddPostRoutine(CloseViewer);
        return true;
    }();
    (void)cleanupRegistered;
    CloseViewer();
    viewer = opened.release();
    return viewer.data();
}

}  // namespace

extern "C" void* HtmlHelpA(void* /*owner*/, const char* path, unsigned command, std::uintptr_t data) {
    try {
        if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return nullptr;
        if (command == HH_CLOSE_ALL) {
            CloseViewer();
            return nullptr;
        }
        if ((command != HH_HELP_CONTEXT && command != HH_DISPLAY_TOPIC) || path == nullptr) return nullptr;
        kxhelp::HelpViewer* viewer = ViewerFor(QString::fromLocal8Bit(path));
        if (viewer == nullptr) return nullptr;
        viewer->setProperty("helpPath", QString::fromLocal8Bit(path));
        if (command == HH_DISPLAY_TOPIC) {
            viewer->ShowStartPage();
            return static_cast<QWidget*>(viewer);
        }
        const auto context = static_cast<unsigned>(data);
        if (context != data) {  // wider than any context number: no such topic
            viewer->ShowStartPage();
            return nullptr;
        }
        return viewer->ShowContext(context) ? static_cast<QWidget*>(viewer) : nullptr;
    } catch (...) {
        // Nothing crosses the entry point; the caller does not look at the result.
        return nullptr;
    }
}
