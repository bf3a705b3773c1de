#include "kx/Script.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "drive/VirtualDrive.h"
#include "kx/Setup.h"

namespace kx {
namespace {

struct VerbForm {
    const char* name;
    ScriptVerb verb;
    std::size_t minArgs;
    std::size_t maxArgs;
};

constexpr VerbForm kVerbs[] = {
    {"expect", ScriptVerb::Expect, 1, 1},
    {"message", ScriptVerb::Message, 1, 1},
    {"set", ScriptVerb::Set, 2, 2},
    {"click", ScriptVerb::Click, 1, 1},
    {"select", ScriptVerb::Select, 2, 2},
    {"unit", ScriptVerb::Unit, 2, 2},
    {"tab", ScriptVerb::Tab, 1, 1},
    {"key", ScriptVerb::Key, 1, 1},
    {"assert", ScriptVerb::Assert, 2, 3},
    {"dump", ScriptVerb::Dump, 0, 0},
    {"shot", ScriptVerb::Shot, 1, 1},
    {"wait", ScriptVerb::Wait, 0, 1},
    {"expect-help", ScriptVerb::ExpectHelp, 1, 1},
    {"menu", ScriptVerb::Menu, 2, 2},
    {"wheel", ScriptVerb::Wheel, 3, 3},
    {"turn", ScriptVerb::Turn, 2, 3},
    {"analogue", ScriptVerb::Analogue, 1, 1},
    {"supply", ScriptVerb::Supply, 1, 1},
    {"block", ScriptVerb::Block, 1, 1},
    {"fault", ScriptVerb::Fault, 2, 2},
};

// Bounds of what a step for the virtual drive may ask.
constexpr double kLongestTurn = 1e6;         // rad
constexpr double kLongestTurnTime = 3600.0;  // s
constexpr double kAnalogueSpan = 50.0;       // V either way at the reference input
constexpr double kHighestSupply = 1000.0;    // V

// States of "assert" and whether each takes an argument.
struct StateForm {
    const char* name;
    bool takesArgument;
};
constexpr StateForm kStates[] = {{"enabled", false}, {"disabled", false}, {"shown", false},
                                 {"hidden", false},  {"checked", false},  {"unchecked", false},
                                 {"text", true},     {"value", true},     {"selected", true}};

constexpr const char* kMessageButtons[] = {"ok", "yes", "no", "cancel"};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// Splits a line into words; stops at an unquoted '#'. Throws for an
// unterminated quote or an unknown escape.
std::vector<ScriptWord> SplitWords(std::string_view line, int lineNumber, std::string& source) {
    std::vector<ScriptWord> words;
    std::size_t i = 0;
    std::size_t end = 0;  // end of the last word, for the source text
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        if (i >= line.size() || line[i] == '#') break;
        ScriptWord word;
        if (line[i] == '"') {
            word.quoted = true;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                const char c = line[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c != '\\') {
                    word.text += c;
                    continue;
                }
                if (i >= line.size()) break;
                switch (const char e = line[i++]) {
                    case '"':
                        word.text += '"';
                        break;
                    case '\\':
                        word.text += '\\';
                        break;
                    case 'n':
                        word.text += '\n';
                        break;
                    case 'r':
                        word.text += '\r';
                        break;
                    case 't':
                        word.text += '\t';
                        break;
                    default:
                        throw ScriptError(lineNumber,
                                          std::string("unknown escape \\") + e + " in a quoted word");
                }
            }
            if (!closed) throw ScriptError(lineNumber, "a quoted word is not closed");
            if (i < line.size() && !IsBlank(line[i]) && line[i] != '#')
                throw ScriptError(lineNumber, "a quoted word must be followed by a blank");
        } else {
            while (i < line.size() && !IsBlank(line[i])) {
                if (line[i] == '"') throw ScriptError(lineNumber, "a quote inside a word");
                word.text += line[i++];
            }
        }
        end = i;
        words.push_back(std::move(word));
    }
    std::size_t begin = 0;
    while (begin < end && IsBlank(line[begin])) ++begin;
    source.assign(line.substr(begin, end - begin));
    return words;
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(FoldCase(c));
    return out;
}

void RequireId(const ScriptStep& step, std::size_t index, const char* what) {
    unsigned id = 0;
    const ScriptWord& word = step.args.at(index);
    if (word.quoted || !ParseControlId(word.text, id))
        throw ScriptError(step.line,
                          std::string(ScriptVerbName(step.verb)) + ": \"" + word.text + "\" is not " + what);
}

void RequireNumber(const ScriptStep& step, const ScriptWord& word, const char* what) {
    double value = 0.0;
    if (word.quoted || !ParseScriptNumber(word.text, value))
        throw ScriptError(step.line,
                          std::string(ScriptVerbName(step.verb)) + ": \"" + word.text + "\" is not " + what);
}

// Checks the arguments of a step beyond their count.
void CheckArguments(const ScriptStep& step) {
    const auto& a = step.args;
    switch (step.verb) {
        case ScriptVerb::Set:
        case ScriptVerb::Select:
        case ScriptVerb::Unit:
            RequireId(step, 0, "a control id");
            break;
        case ScriptVerb::Click: {
            const std::string word = Lower(a[0].text);
            const bool button =
                !a[0].quoted && std::any_of(std::begin(kMessageButtons), std::end(kMessageButtons),
                                            [&](const char* b) { return word == b; });
            if (!button) RequireId(step, 0, "a control id or ok, yes, no, cancel");
            break;
        }
        case ScriptVerb::Tab: {
            double index = 0.0;
            if (a[0].quoted || !ParseScriptNumber(a[0].text, index) || index < 0 ||
                index != std::floor(index) || index > 1000)
                throw ScriptError(step.line, "tab: \"" + a[0].text + "\" is not a tab index");
            break;
        }
        case ScriptVerb::Key:
            if (a[0].text.empty()) throw ScriptError(step.line, "key: the key sequence is empty");
            break;
        case ScriptVerb::Assert: {
            RequireId(step, 0, "a control id");
            const std::string state = Lower(a[1].text);
            const auto* form = std::find_if(std::begin(kStates), std::end(kStates),
                                            [&](const StateForm& s) { return state == s.name; });
            if (a[1].quoted || form == std::end(kStates))
                throw ScriptError(step.line, "assert: unknown state \"" + a[1].text +
                                                 "\" (enabled, disabled, shown, hidden, checked, unchecked, "
                                                 "text, value, selected)");
            if (form->takesArgument != (a.size() == 3))
                throw ScriptError(step.line,
                                  std::string("assert: the state ") + form->name +
                                      (form->takesArgument ? " needs a value" : " takes no value"));
            if (state == "value") RequireNumber(step, a[2], "a number");
            break;
        }
        case ScriptVerb::Shot:
            if (a[0].text.empty() || a[0].text.find_first_of("/\\") != std::string::npos ||
                a[0].text[0] == '.')
                throw ScriptError(step.line, "shot: \"" + a[0].text + "\" is not a file name");
            break;
        case ScriptVerb::Wait:
            if (!a.empty()) {
                double seconds = 0.0;
                if (a[0].quoted || !ParseScriptNumber(a[0].text, seconds) || seconds < 0 || seconds > 86400)
                    throw ScriptError(step.line,
                                      "wait: \"" + a[0].text + "\" is not a time in seconds (0 to 86400)");
            }
            break;
        case ScriptVerb::ExpectHelp:
            RequireNumber(step, a[0], "a context number");
            break;
        case ScriptVerb::Menu:
            RequireId(step, 0, "a control id");
            if (a[1].text.empty()) throw ScriptError(step.line, "menu: the entry is empty");
            break;
        case ScriptVerb::Wheel: {
            RequireId(step, 0, "a control id");
            if (a[1].text.empty()) throw ScriptError(step.line, "wheel: the spot is empty");
            double notches = 0.0;
            if (a[2].quoted || !ParseScriptNumber(a[2].text, notches) || notches != std::floor(notches) ||
                notches == 0 || std::fabs(notches) > 100)
                throw ScriptError(step.line, "wheel: \"" + a[2].text +
                                                 "\" is not a number of notches (-100 to 100, not 0)");
            break;
        }
        case ScriptVerb::Turn:
        case ScriptVerb::Analogue:
        case ScriptVerb::Supply:
        case ScriptVerb::Block:
        case ScriptVerb::Fault:
            ReadDriveStep(step);
            break;
        case ScriptVerb::Expect:
        case ScriptVerb::Message:
        case ScriptVerb::Dump:
            break;
    }
}

// A number within [low, high]; throws naming what was expected.
double NumberIn(const ScriptStep& step, const ScriptWord& word, double low, double high,
                const std::string& what) {
    double value = 0.0;
    if (word.quoted || !ParseScriptNumber(word.text, value) || value < low || value > high)
        throw ScriptError(step.line,
                          std::string(ScriptVerbName(step.verb)) + ": \"" + word.text + "\" is not " + what);
    return value;
}

bool OnOff(const ScriptStep& step, const ScriptWord& word) {
    const std::string state = Lower(word.text);
    if (word.quoted || (state != "on" && state != "off"))
        throw ScriptError(
            step.line, std::string(ScriptVerbName(step.verb)) + ": \"" + word.text + "\" is not on or off");
    return state == "on";
}

std::string FaultNames() {
    std::string names;
    for (int i = 0; i <= static_cast<int>(vdrive::Fault::NoProgram); ++i)
        names += (names.empty() ? "" : ", ") + std::string(vdrive::FaultName(static_cast<vdrive::Fault>(i)));
    return names;
}

}  // namespace

DriveStepArguments ReadDriveStep(const ScriptStep& step) {
    const auto& a = step.args;
    DriveStepArguments arguments;
    switch (step.verb) {
        case ScriptVerb::Turn: {
            const std::string shaft = Lower(a[0].text);
            if (a[0].quoted || (shaft != "motor" && shaft != "load"))
                throw ScriptError(step.line, "turn: \"" + a[0].text + "\" is not motor or load");
            arguments.load = shaft == "load";
            arguments.value =
                NumberIn(step, a[1], -kLongestTurn, kLongestTurn, "an angle in radians (-1e6 to 1e6)");
            arguments.seconds = kDefaultTurnSeconds;
            if (a.size() == 3) {
                arguments.seconds =
                    NumberIn(step, a[2], 0.0, kLongestTurnTime, "a time in seconds (above 0, to 3600)");
                if (arguments.seconds <= 0.0)
                    throw ScriptError(step.line, "turn: the time of a turn must be above 0 s");
            }
            break;
        }
        case ScriptVerb::Analogue:
            arguments.value = NumberIn(step, a[0], -kAnalogueSpan, kAnalogueSpan, "a voltage (-50 to 50 V)");
            break;
        case ScriptVerb::Supply:
            arguments.value = NumberIn(step, a[0], 0.0, kHighestSupply, "a supply voltage (0 to 1000 V)");
            break;
        case ScriptVerb::Block:
            arguments.on = OnOff(step, a[0]);
            break;
        case ScriptVerb::Fault: {
            vdrive::Fault fault{};
            if (a[0].quoted || !vdrive::FaultFromName(Lower(a[0].text), fault))
                throw ScriptError(step.line,
                                  "fault: unknown fault \"" + a[0].text + "\" (" + FaultNames() + ")");
            arguments.fault = vdrive::FaultName(fault);
            arguments.on = OnOff(step, a[1]);
            break;
        }
        default:
            throw ScriptError(step.line,
                              std::string(ScriptVerbName(step.verb)) + " is not a step for the drive");
    }
    return arguments;
}

ScriptError::ScriptError(int line, const std::string& message)
    : std::runtime_error("line " + std::to_string(line) + ": " + message), m_line(line) {}

const char* ScriptVerbName(ScriptVerb verb) {
    for (const VerbForm& form : kVerbs)
        if (form.verb == verb) return form.name;
    return "?";
}

bool ParseControlId(std::string_view text, unsigned& id) {
    double value = 0.0;
    if (!ParseScriptNumber(text, value) || value < 1 || value > 65535 || value != std::floor(value))
        return false;
    id = static_cast<unsigned>(value);
    return true;
}

bool ParseScriptNumber(std::string_view text, double& value) {
    if (text.empty()) return false;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        unsigned long long whole = 0;
        const auto digits = text.substr(2);
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), whole, 16);
        if (error != std::errc() || end != digits.data() + digits.size()) return false;
        value = static_cast<double>(whole);
        return true;
    }
    std::string_view digits = text;
    if (digits.size() > 1 && digits[0] == '+' && digits[1] != '-') digits.remove_prefix(1);
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return error == std::errc() && end == digits.data() + digits.size() && std::isfinite(value);
}

std::vector<ScriptStep> ParseScript(std::string_view text) {
    std::vector<ScriptStep> steps;
    int lineNumber = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t newline = text.find('\n', start);
        const std::string_view line =
            text.substr(start, newline == std::string_view::npos ? std::string_view::npos : newline - start);
        ++lineNumber;
        if (line.find('\0') != std::string_view::npos)
            throw ScriptError(lineNumber, "the line holds a NUL byte");
        ScriptStep step;
        step.line = lineNumber;
        auto words = SplitWords(line, lineNumber, step.source);
        if (!words.empty()) {
            const std::string verb = Lower(words.front().text);
            const auto* form = std::find_if(std::begin(kVerbs), std::end(kVerbs),
                                            [&](const VerbForm& v) { return verb == v.name; });
            if (words.front().quoted || form == std::end(kVerbs))
                throw ScriptError(lineNumber, "unknown step \"" + words.front().text + "\"");
            step.verb = form->verb;
            step.args.assign(words.begin() + 1, words.end());
            if (step.args.size() < form->minArgs || step.args.size() > form->maxArgs) {
                const std::string count =
                    form->minArgs == form->maxArgs
                        ? std::to_string(form->minArgs)
                        : std::to_string(form->minArgs) + " to " + std::to_string(form->maxArgs);
                throw ScriptError(lineNumber, std::string(form->name) + " takes " + count + " argument" +
                                                  (form->maxArgs == 1 ? "" : "s") + ", not " +
                                                  std::to_string(step.args.size()));
            }
            CheckArguments(step);
            steps.push_back(std::move(step));
        }
        if (newline == std::string_view::npos) break;
        start = newline + 1;
    }
    return steps;
}

}  // namespace kx
