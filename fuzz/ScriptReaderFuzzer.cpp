// The dialog-script reader on arbitrary bytes: it either reads steps whose
// arguments the player can use as they are, or refuses with a line and a
// message; it never crashes, hangs or reads out of bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "kx/Script.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const auto steps = kx::ParseScript(text);
        int previous = 0;
        for (const kx::ScriptStep& step : steps) {
            // Steps come in the order of their lines, each from a line of the text.
            if (step.line <= previous || step.source.empty()) std::abort();
            previous = step.line;
            unsigned id = 0;
            switch (step.verb) {
                case kx::ScriptVerb::Set:
                case kx::ScriptVerb::Select:
                case kx::ScriptVerb::Unit:
                case kx::ScriptVerb::Assert:
                    if (!kx::ParseControlId(step.args.at(0).text, id)) std::abort();
                    break;
                default:
                    break;
            }
        }
    } catch (const kx::ScriptError& error) {
        if (error.Line() < 1 || std::string_view(error.what()).empty()) std::abort();
    }
    return 0;
}
