// The setup file loader on arbitrary bytes. It either gives a setup or
// refuses with a SetupFileError that says what is wrong; nothing else may
// leave it. An accepted setup saves to a text that loads back to the same
// setup (the saved text is the same again).
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "Fail.h"
#include "kx/Kernel.h"
#include "kx/SetupFile.h"

using dcfuzz::Fail;

namespace {

std::unique_ptr<CKX_Setup> Load(std::string_view text, const char* what) {
    try {
        return kx::LoadSetupFromText(text, "fuzz.json");
    } catch (const kx::SetupFileError& e) {
        if (std::string_view(e.what()).empty() || e.Problem().empty())
            Fail(std::string(what) + ": refused without a message");
        return nullptr;
    } catch (const std::exception& e) {
        Fail(std::string(what) + ": escaped " + e.what());
    } catch (...) {
        Fail(std::string(what) + ": escaped a non-standard exception");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Missing names are not looked up here, but keep the host quiet anyway.
    kx::SetErrorSink([](const std::string&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto setup = Load(text, "loading the input");
    if (!setup) return 0;

    std::string saved;
    try {
        saved = kx::SaveSetupToText(*setup);
    } catch (const std::exception& e) {
        Fail(std::string("saving an accepted setup threw: ") + e.what());
    }
    const auto again = Load(saved, "loading the saved text");
    if (!again) Fail("the saved text of an accepted setup is refused:\n" + saved);
    const std::string resaved = kx::SaveSetupToText(*again);
    if (resaved != saved) Fail("save -> load -> save changed the text:\n" + saved + "\n---\n" + resaved);
    return 0;
}
