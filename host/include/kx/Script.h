// Dialog scripts: a text file, one step per line, that answers the modal
// dialogs and message boxes of a session in turn. This is the reader; the
// player that acts on the windows lives in the GUI library.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "kx/Kernel.h"

namespace kx {

// One word of a step, with whether it was written in double quotes (a quoted
// word is always text, never an item's data or a keyword).
struct ScriptWord {
    std::string text;
    bool quoted = false;
};

enum class ScriptVerb {
    Expect,      // expect TITLE
    Message,     // message TEXT
    Set,         // set ID TEXT
    Click,       // click ID | click ok|yes|no|cancel
    Select,      // select ID DATA | select ID "TEXT"
    Unit,        // unit ID UNIT
    Tab,         // tab INDEX
    Key,         // key SEQUENCE
    Assert,      // assert ID STATE [ARGUMENT]
    Dump,        // dump
    Shot,        // shot NAME
    Wait,        // wait [SECONDS]
    ExpectHelp,  // expect-help CONTEXT
    Menu,        // menu ID ENTRY: the context menu over a control, one of its entries chosen
    Wheel,       // wheel ID SPOT NOTCHES: the mouse wheel turned over a named spot of a control
    // Hands on the virtual drive:
    Turn,      // turn motor|load RADIANS [SECONDS]
    Analogue,  // analogue VOLTS
    Supply,    // supply VOLTS
    Block,     // block on|off
    Fault,     // fault NAME on|off
};

// How long "turn" takes when the script gives no time, in host seconds.
inline constexpr double kDefaultTurnSeconds = 0.5;

struct ScriptStep {
    int line = 0;  // 1-based line of the file
    ScriptVerb verb{};
    std::string source;  // the line as written, without its comment
    std::vector<ScriptWord> args;
};

// A script that cannot be read: the line and what is wrong.
class KX_API ScriptError : public std::runtime_error {
public:
    ScriptError(int line, const std::string& message);
    int Line() const { return m_line; }

private:
    int m_line;
};

// Reads a whole script. Blank lines and comments (from an unquoted '#') are
// skipped. A quoted word may hold blanks and the escapes \" \\ \n \r \t.
// Each verb's arguments are checked here (count, control ids, numbers,
// states), so that a player never meets a malformed step halfway through.
// Throws ScriptError.
KX_API std::vector<ScriptStep> ParseScript(std::string_view text);

// The verb's name as written in a script.
KX_API const char* ScriptVerbName(ScriptVerb verb);

// A control id: decimal or 0x-hexadecimal, 1 .. 65535. False otherwise.
KX_API bool ParseControlId(std::string_view text, unsigned& id);
// The arguments of a step for the virtual drive, as the reader checked them.
struct DriveStepArguments {
    bool load = false;     // turn: the load shaft, not the motor's
    double value = 0.0;    // turn: radians; analogue, supply: volts
    double seconds = 0.0;  // turn: how long the turn takes
    bool on = false;       // block, fault
    std::string fault;     // fault: the fault's name as the drive names it
};
// Reads the arguments of a Turn, Analogue, Supply, Block or Fault step;
// throws ScriptError for a malformed one (ParseScript has checked them).
KX_API DriveStepArguments ReadDriveStep(const ScriptStep& step);

// A number in the C notation ("2.5", "-1e3", "0x40106" for whole numbers).
KX_API bool ParseScriptNumber(std::string_view text, double& value);

}  // namespace kx
