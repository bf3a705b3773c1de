// Dialog tests run the real dialogs offscreen in virtual time and answer them
// with the same script player that `dcsetup edit --script` uses.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>

#include "kx/Script.h"
#include "kx/gui/ScriptPlayer.h"

namespace dctest {

struct ScriptRun {
    int result = 0;       // what the modal run returned
    bool held = false;    // every step held and no window was left open
    std::string failure;  // the player's message when not
    std::string dumped;   // what "dump" printed
};

// Runs `modal` (which opens a modal dialog) with the script answering it.
inline ScriptRun RunScript(const std::string& script, const std::function<int()>& modal,
                           double timeout = 10.0) {
    std::ostringstream dumped;
    kx::ScriptOptions options;
    options.dumpOut = &dumped;
    options.timeout = timeout;
    if (const char* dir = std::getenv("DCDRIVE_SCREENSHOTS")) options.screenshotDir = dir;
    kx::ScriptPlayer player(kx::ParseScript(script), options);
    player.Start();
    ScriptRun run;
    run.result = modal();
    run.held = player.Finish();
    run.failure = player.FailureMessage();
    run.dumped = dumped.str();
    return run;
}

}  // namespace dctest

// A script that must hold: the failure message says which step did not.
// The run is evaluated once: it is often the dialog's whole modal session.
#define EXPECT_HELD(run)                                     \
    do {                                                     \
        const ::dctest::ScriptRun& held_run_ = (run);        \
        EXPECT_TRUE(held_run_.held) << held_run_.failure;    \
    } while (0)
