// dcsetup: the command-line host of the drive plug-in.
#pragma once

#include <iosfwd>

namespace dcsetup {

// Exit codes of the program.
enum ExitCode : int {
    kExitOk = 0,
    kExitFailure = 1,       // the plug-in or the system failed (read or write error, disk full)
    kExitBadInput = 2,      // bad arguments, unknown names, a setup file or --out path that cannot be used
    kExitCancelled = 3,     // edit: the editor was closed with Cancel, nothing saved
    kExitScriptFailed = 5,  // edit: a script step did not hold
};

// Parses the command line, loads the plug-in and the setup, applies the edits
// in the order given and runs the command. Results go to out, every error and
// warning as one line to err. Returns an ExitCode.
int RunDcsetup(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace dcsetup
