// The dialog-script player: answers the modal dialogs and message boxes of a
// session step by step, on the real widgets, from inside their event loops.
// Each step acts on the window on top (the active modal dialog or message
// box) and waits, in host time, up to a time-out for that window to be there.
//
//   kx::ScriptPlayer player(kx::ParseScript(text), options);
//   player.Start();                 // before the first modal dialog runs
//   int result = dialog.DoModal();  // the player acts inside
//   bool held = player.Finish();    // after the run: false when a step did not hold
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "kx/Script.h"
#include "kx/gui/Gui.h"

class QWidget;

namespace kx {

struct ScriptOptions {
    std::string screenshotDir;        // where "shot" saves (empty: shots are not saved)
    std::ostream* dumpOut = nullptr;  // where "dump" prints (null: standard output)
    double timeout = 10.0;            // host seconds a step waits for its window
};

// Marks something that is running for "wait" (a commissioning test between
// its start and its end). While any owner is busy, "wait" goes on.
KXGUI_API void SetHostBusy(const void* owner, bool busy);
KXGUI_API bool IsHostBusy();

class KXGUI_API ScriptPlayer {
public:
    ScriptPlayer(std::vector<ScriptStep> steps, ScriptOptions options);
    ~ScriptPlayer();
    ScriptPlayer(const ScriptPlayer&) = delete;
    ScriptPlayer& operator=(const ScriptPlayer&) = delete;

    // Schedules the first step; the steps run from the event loop of
    // whatever modal window is open.
    void Start();
    // Runs what is left once the modal session has ended and reports whether
    // every step held and no window was left open.
    bool Finish();

    bool Failed() const { return m_failed; }
    // "line N: STEP: what was expected; what was found".
    const std::string& FailureMessage() const { return m_failure; }
    // The number of steps that ran.
    std::size_t StepsRun() const { return m_index; }

    // The window a step acts on: the active modal dialog or message box.
    static QWidget* TopWindow();
    // One line of JSON describing a window and its controls.
    static std::string DumpWindow(QWidget* window);

private:
    struct Check;
    void Post();
    void Pump();
    void RunStep(const ScriptStep& step);
    Check Ready(const ScriptStep& step) const;
    void Act(const ScriptStep& step);
    void ActOnDrive(const ScriptStep& step);
    void OpenMenu(const ScriptStep& step, QWidget* control);
    void ChooseFromMenu();
    void TurnWheel(const ScriptStep& step, QWidget* control);
    void Fail(const ScriptStep* step, const std::string& what);
    void CloseWindows();
    void Wait(double until, bool untilChange);

    std::vector<ScriptStep> m_steps;
    ScriptOptions m_options;
    std::size_t m_index = 0;
    double m_waitStart = -1.0;
    bool m_posted = false;
    // While a "wait" step lets host time pass it pumps events; the steps
    // after it must not run inside that pump unless a new window came up.
    QWidget* m_waitTop = nullptr;
    bool m_waiting = false;
    bool m_deferred = false;
    bool m_failed = false;
    bool m_finishing = false;
    int m_closing = 0;
    // A "menu" step whose menu was asked for: the entry is chosen once the
    // menu is open, or the step fails when none opens in time.
    const ScriptStep* m_menuStep = nullptr;
    double m_menuDeadline = 0.0;  // seconds of the wall clock
    std::string m_failure;
    std::shared_ptr<bool> m_alive;
};

}  // namespace kx
