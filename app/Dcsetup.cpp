#include "Dcsetup.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <locale>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "Commands.h"
#include "DefaultSetup.h"
#include "Edit.h"
#include "Plugin.h"
#include "drive/VirtualDrive.h"
#include "kx/Comm.h"
#include "kx/Kernel.h"
#include "kx/Setup.h"
#include "kx/SetupFile.h"

namespace dcsetup {
namespace {

constexpr const char* kProgram = "dcsetup";

// A change of the setup asked for on the command line, kept in the order given.
struct Edit {
    enum Kind { Set, Unset, Option } kind;
    std::string argument;  // as typed: NAME=VALUE, NAME or NAME=TEXT
};

struct Arguments {
    std::optional<std::string> setupPath;
    std::optional<std::string> pluginPath;
    std::vector<Edit> edits;
    std::string command;
    std::vector<std::string> names;            // show
    std::string unit, variable;                // scale
    std::string loop;                          // tune
    std::optional<std::string> scriptPath;     // edit
    std::optional<std::string> screenshotDir;  // edit
    bool panel = false;                        // edit
    std::optional<std::string> drivePath;      // the plant file of the virtual drive
    std::optional<std::string> plotDir;        // where saved plots go
    bool json = false;
    std::optional<std::string> outPath;
};

// An error message on one line, whatever the text it quotes.
std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return text;
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// Splits NAME=TEXT at the first '='; the name must not be empty.
std::pair<std::string, std::string> SplitAssignment(const std::string& option, const std::string& argument,
                                                    const char* form) {
    const auto equals = argument.find('=');
    if (equals == std::string::npos || equals == 0) {
        throw UsageError(option + " " + argument + ": expected " + form);
    }
    return {argument.substr(0, equals), argument.substr(equals + 1)};
}

// A finite number in the "C" notation, whatever the locale.
double ParseNumber(const std::string& option, const std::string& argument, std::string_view text) {
    std::string_view digits = text;
    if (digits.size() > 1 && digits.front() == '+' && digits[1] != '-') digits.remove_prefix(1);
    double value = 0.0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || end != digits.data() + digits.size() ||
        (error != std::errc() && error != std::errc::result_out_of_range)) {
        throw UsageError(option + " " + argument + ": " + Quoted(text) + " is not a number");
    }
    if (error == std::errc::result_out_of_range) {
        throw UsageError(option + " " + argument + ": " + Quoted(text) + " is out of the range of a number");
    }
    if (!std::isfinite(value)) {
        throw UsageError(option + " " + argument + ": " + Quoted(text) + " is not a finite number");
    }
    return value;
}

Arguments ParseArguments(int argc, char** argv, std::ostream& out) {
    Arguments args;
    CLI::App app{"Computes, converts and shows the setup of a brushed DC servo drive through its plug-in.",
                 kProgram};
    app.allow_extras();  // unknown commands and arguments get our own messages below
    app.set_help_flag("-h,--help", "Print this help and exit");

    app.add_option_function<std::string>(
           "--setup", [&](const std::string& path) { args.setupPath = path; },
           "Setup file to load (default: the built-in default setup)")
        ->type_name("FILE");
    app.add_option_function<std::string>(
           "--plugin", [&](const std::string& path) { args.pluginPath = path; },
           "Plug-in library to load (default: ../lib/libdcdrive.so beside this program)")
        ->type_name("PATH");
    auto addEdit = [&](const char* name, Edit::Kind kind, const char* form, const char* help) {
        // Called at each occurrence, so that --set, --unset and --option keep
        // the order in which they were given.
        app.add_option_function<std::string>(
               name,
               [&args, kind](const std::string& value) {
                   args.edits.push_back({kind, value});
               },
               help)
            ->type_name(form)
            ->trigger_on_parse();
    };
    addEdit("--set", Edit::Set, "NAME=VALUE", "Set a parameter's value in its base unit (repeatable)");
    addEdit("--unset", Edit::Unset, "NAME", "Remove a parameter (repeatable)");
    addEdit("--option", Edit::Option, "NAME=TEXT", "Set an option; an empty TEXT clears it (repeatable)");
    app.add_option_function<std::string>(
           "--drive", [&](const std::string& path) { args.drivePath = path; },
           "Plant file of the virtual drive (default: the built-in plant, see the plant command)")
        ->type_name("FILE");
    app.add_option_function<std::string>(
           "--plots", [&](const std::string& path) { args.plotDir = path; },
           "Folder where the tests save their plots (default: ~/.local/share/dcdrive/plots)")
        ->type_name("DIR");
    app.add_flag("--json", args.json, "Print the resulting setup (scale: factor and offset) as JSON");
    app.add_option_function<std::string>(
           "--out", [&](const std::string& path) { args.outPath = path; },
           "Save the resulting setup file to FILE")
        ->type_name("FILE");

    auto addCommand = [&](const char* name, const char* help) {
        CLI::App* command = app.add_subcommand(name, help);
        command->fallthrough();  // the options above may follow the command
        command->allow_extras(false);
        command->callback([&args, name] { args.command = name; });
        return command;
    };
    addCommand("show", "Show parameters (value, internal value, limits, unit) and options")
        ->add_option("NAME", args.names, "Show only these parameters");
    addCommand("compute", "Run ComputeAllOptions through the plug-in");
    addCommand("read", "Run the register-to-parameter driver");
    addCommand("apply", "Run the parameter-to-register driver, then the loop options");
    CLI::App* scale = addCommand("scale", "Print the factor and offset that scale VARIABLE to UNIT");
    scale->add_option("UNIT", args.unit, "Unit name")->required();
    scale->add_option("VARIABLE", args.variable, "Drive variable name")->required();
    addCommand("plant",
               "Print the virtual drive's plant file (the built-in one, or --drive FILE with every key)");
    addCommand("export", "Write the setup file (to --out, else to --setup, else to standard output)");
    addCommand("tune", "Compute a loop's gains from its pass band and damping, then their registers")
        ->add_option("LOOP", args.loop, "current, speed or position")
        ->required();

    CLI::App* edit = addCommand(
        "edit", "Open the drive setup editor on the setup; OK saves it (to --out, else to --setup)");
    edit->add_option_function<std::string>(
            "--script", [&](const std::string& path) { args.scriptPath = path; },
            "Answer the dialogs with the steps of a dialog script (offscreen, in virtual time)")
        ->type_name("FILE");
    edit->add_option_function<std::string>(
            "--screenshots", [&](const std::string& path) { args.screenshotDir = path; },
            "Folder for the script's screenshots")
        ->type_name("DIR");
    edit->add_flag("--panel", args.panel,
                   "Show the virtual drive panel while a script runs (it is always shown without --script)");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        args.command.clear();
        return args;
    } catch (const CLI::ParseError& error) {
        throw UsageError(error.what());
    }
    const std::vector<std::string> extras = app.remaining(true);
    if (args.command.empty()) {
        if (extras.empty()) throw UsageError("no command given (try --help)");
        if (extras.front().starts_with('-')) throw UsageError("unknown option " + Quoted(extras.front()));
        throw UsageError("unknown command " + Quoted(extras.front()));
    }
    if (!extras.empty()) throw UsageError(args.command + ": unexpected argument " + Quoted(extras.front()));
    if (args.command == "tune") CheckTunedLoop(args.loop);
    if (args.command == "edit" && !args.outPath && !args.setupPath)
        throw UsageError("edit: nothing to save the edited setup to: give --out FILE or --setup FILE");
    for (const auto& [option, path] :
         {std::pair{"--setup", args.setupPath}, std::pair{"--plugin", args.pluginPath},
          std::pair{"--out", args.outPath}, std::pair{"--script", args.scriptPath},
          std::pair{"--screenshots", args.screenshotDir}, std::pair{"--drive", args.drivePath},
          std::pair{"--plots", args.plotDir}}) {
        if (path && path->empty()) throw UsageError(std::string(option) + ": expected a file name");
    }
    return args;
}

// Checks the form of every edit before anything is loaded.
void CheckEdits(const std::vector<Edit>& edits) {
    for (const Edit& edit : edits) {
        if (edit.kind == Edit::Set) {
            const auto [name, text] = SplitAssignment("--set", edit.argument, "NAME=VALUE");
            ParseNumber("--set", edit.argument, text);
        } else if (edit.kind == Edit::Option) {
            SplitAssignment("--option", edit.argument, "NAME=TEXT");
        } else if (edit.argument.empty()) {
            throw UsageError("--unset: expected a parameter name");
        }
    }
}

CKX_Parameter* FindNamed(CKX_Setup& setup, const std::string& option, const std::string& argument,
                         const std::string& name) {
    kx::QuietLookup quiet;
    CKX_Parameter* parameter = setup.FindParameter(name);
    if (!parameter)
        throw UsageError(option + " " + argument + ": no parameter " + Quoted(name) + " in the setup");
    return parameter;
}

void ApplyEdits(CKX_Setup& setup, const std::vector<Edit>& edits, std::ostream& err) {
    for (const Edit& edit : edits) {
        switch (edit.kind) {
            case Edit::Set: {
                const auto [name, text] = SplitAssignment("--set", edit.argument, "NAME=VALUE");
                const double value = ParseNumber("--set", edit.argument, text);
                CKX_Parameter* parameter = FindNamed(setup, "--set", edit.argument, name);
                parameter->SetValueInBaseUnit(value);
                const double stored = parameter->GetValueInBaseUnit();
                if (stored != value) {
                    // The host keeps a value within the parameter's limits.
                    err << kProgram << ": warning: --set " << edit.argument << ": " << parameter->GetName()
                        << " asked " << text << ", stored " << FormatNumber(stored) << " (limits ["
                        << FormatNumber(parameter->GetMinInBaseUnit()) << ", "
                        << FormatNumber(parameter->GetMaxInBaseUnit()) << "])\n";
                }
                break;
            }
            case Edit::Unset:
                FindNamed(setup, "--unset", edit.argument, edit.argument);
                setup.RemoveParameter(edit.argument);
                break;
            case Edit::Option: {
                const auto [name, text] = SplitAssignment("--option", edit.argument, "NAME=TEXT");
                if (text.empty()) {
                    setup.ClearOption(name.c_str());
                } else {
                    setup.SetOption(name.c_str(), text.c_str());
                }
                break;
            }
        }
    }
}

// A file that is missing, refused or malformed is bad input; a read or write
// that fails on the way is a failure of the system.
[[noreturn]] void ThrowFileError(const kx::SetupFileError& error) {
    if (error.GetCause() == kx::SetupFileError::Cause::System) throw Failure(error.what());
    throw UsageError(error.what());
}

std::unique_ptr<CKX_Setup> LoadSetup(const Arguments& args) {
    try {
        return args.setupPath ? kx::LoadSetupFile(*args.setupPath) : dcdrive::LoadDefaultSetup();
    } catch (const kx::SetupFileError& error) {
        ThrowFileError(error);
    }
}

void SaveSetup(const CKX_Setup& setup, const std::string& path) {
    try {
        kx::SaveSetupFile(setup, path);
    } catch (const kx::SetupFileError& error) {
        ThrowFileError(error);
    }
}

// Writes the command's output; a failure to write it is not a success.
void Emit(std::ostream& out, const std::string& text) {
    out << text;
    out.flush();
    if (!out) throw Failure(std::string("cannot write the output (") + std::strerror(errno) + ")");
}

void Export(const Arguments& args, const CKX_Setup& setup, std::ostream& out) {
    const std::optional<std::string>& target = args.outPath ? args.outPath : args.setupPath;
    if (!target) {
        // The setup file text is this command's output; a second JSON text
        // beside it would make the output unreadable.
        if (args.json)
            throw UsageError("export --json: give --out FILE or --setup FILE to write the setup file to");
        out << kx::SaveSetupToText(setup);
        return;
    }
    SaveSetup(setup, *target);
    if (args.json) {
        out << SetupToJson(setup).dump(2) << '\n';
    } else {
        out << "setup written to " << *target << '\n';
    }
}

// The plant of the virtual drive: the --drive file, else the built-in one.
// A file that cannot be read or that the drive refuses is bad input:
// "FILE: KEY: what is wrong".
vdrive::Plant LoadPlant(const Arguments& args) {
    vdrive::Plant plant;
    std::string error;
    if (!args.drivePath) {
        if (!vdrive::ParsePlant(dcdrive::DefaultPlantJson(), plant, error))
            throw Failure("the built-in plant file: " + error);
        return plant;
    }
    const std::string& path = *args.drivePath;
    std::error_code code;
    if (!std::filesystem::is_regular_file(path, code)) throw UsageError(path + ": no such file");
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in && !in.eof()) throw UsageError(path + ": cannot read the file");
    if (!vdrive::ParsePlant(text.str(), plant, error)) throw UsageError(path + ": " + error);
    return plant;
}

int Run(int argc, char** argv, std::ostream& out, std::ostream& err) {
    const Arguments args = ParseArguments(argc, argv, out);
    if (args.command.empty()) return kExitOk;  // help was printed
    CheckEdits(args.edits);
    const vdrive::Plant plant = LoadPlant(args);
    if (args.command == "plant") {
        Emit(out, args.drivePath ? vdrive::PlantToJson(plant) : std::string(dcdrive::DefaultPlantJson()));
        return kExitOk;
    }
    if (args.plotDir) kx::SetPlotFolder(*args.plotDir);

    const Plugin plugin(args.pluginPath.value_or(DefaultPluginPath()));
    const std::unique_ptr<CKX_Setup> setup = LoadSetup(args);
    ApplyEdits(*setup, args.edits, err);

    // The output is held back until the setup file is saved, so that a
    // failed save prints nothing but its error.
    std::ostringstream result;
    result.imbue(std::locale::classic());
    if (args.command == "export") {
        Export(args, *setup, result);
        Emit(out, result.str());
        return kExitOk;
    }
    if (args.command == "edit") {
        EditOptions options;
        options.scriptPath = args.scriptPath;
        options.screenshotDir = args.screenshotDir;
        options.plant = plant;
        options.panel = args.panel;
        const EditResult edited = RunEditor(*setup, plugin, options);
        if (edited == EditResult::Cancelled) {
            Emit(out, "closed with Cancel: nothing saved\n");
            return kExitCancelled;
        }
        const std::string& target = args.outPath ? *args.outPath : *args.setupPath;
        SaveSetup(*setup, target);
        result << "setup written to " << target << '\n';
        Emit(out, result.str());
        return kExitOk;
    }
    const CommandContext context{*setup, plugin, result, args.json};
    if (args.command == "show") {
        Show(context, args.names);
    } else if (args.command == "compute") {
        Compute(context);
    } else if (args.command == "read") {
        Read(context);
    } else if (args.command == "apply") {
        Apply(context);
    } else if (args.command == "scale") {
        Scale(context, args.unit, args.variable);
    } else if (args.command == "tune") {
        Tune(context, args.loop);
    }
    if (args.outPath) {
        SaveSetup(*setup, *args.outPath);
        if (!args.json) result << "setup written to " << *args.outPath << '\n';
    }
    Emit(out, result.str());
    return kExitOk;
}

// Routes the host's error messages to err for the life of the object.
class ErrorSinkScope {
public:
    explicit ErrorSinkScope(std::ostream& err)
        : m_previous(kx::SetErrorSink(
              [&err](const std::string& message) { err << kProgram << ": " << OneLine(message) << '\n'; })) {}
    ~ErrorSinkScope() { kx::SetErrorSink(std::move(m_previous)); }
    ErrorSinkScope(const ErrorSinkScope&) = delete;
    ErrorSinkScope& operator=(const ErrorSinkScope&) = delete;

private:
    kx::ErrorSink m_previous;
};

}  // namespace

int RunDcsetup(int argc, char** argv, std::ostream& out, std::ostream& err) {
    ErrorSinkScope sink(err);
    auto fail = [&err](const std::string& message, int code) {
        err << kProgram << ": " << OneLine(message) << '\n';
        return code;
    };
    try {
        return Run(argc, argv, out, err);
    } catch (const UsageError& error) {
        return fail(error.what(), kExitBadInput);
    } catch (const ScriptFailed& error) {
        return fail(error.what(), kExitScriptFailed);
    } catch (const std::exception& error) {
        return fail(error.what(), kExitFailure);
    } catch (...) {
        return fail("unexpected failure", kExitFailure);
    }
}

}  // namespace dcsetup
