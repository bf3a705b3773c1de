#include "help/Help.h"

#include <dlfcn.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace dcdrive {
namespace {

using HtmlHelpFunction = void* (*)(void* owner, const char* path, unsigned command, std::uintptr_t data);

// The viewer library is loaded once per process, on the first request, and
// stays loaded: the viewer window it owns outlives the request.
struct ViewerLibrary {
    std::string name = "libkxhelp.so";
    std::once_flag loaded;
    HtmlHelpFunction entry = nullptr;
};

std::unique_ptr<ViewerLibrary>& Viewer() {
    static auto viewer = std::make_unique<ViewerLibrary>();
    return viewer;
}

// The viewer lies beside the library that holds this code (the plug-in in
// lib/), or in lib/ beside the bin/ of a program that links it; then the
// loader's own search. The places are named in full because the loader's
// search would follow the run path of whoever called dlopen, which a
// sanitizer's interceptor of dlopen hides.
void* OpenViewer(const std::string& name) {
    std::vector<std::string> candidates;
    Dl_info info{};
    if (name.find('/') == std::string::npos && dladdr(reinterpret_cast<void*>(&OpenViewer), &info) &&
        info.dli_fname) {
        const std::string module = info.dli_fname;
        const auto slash = module.rfind('/');
        if (slash != std::string::npos) {
            const std::string folder = module.substr(0, slash);
            candidates.push_back(folder + "/" + name);
            candidates.push_back(folder + "/../lib/" + name);
        }
    }
    candidates.push_back(name);
    for (const std::string& candidate : candidates)
        if (void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
    return nullptr;
}

HtmlHelpFunction LoadEntry(const std::string& name) {
    void* handle = OpenViewer(name);
    if (handle == nullptr) return nullptr;
    auto* entry = reinterpret_cast<HtmlHelpFunction>(dlsym(handle, "HtmlHelpA"));
    if (entry == nullptr) dlclose(handle);
    return entry;
}

}  // namespace

void OpenHelpFile(const std::string& guiDirectory, const std::string& helpFile, unsigned context) {
    if (helpFile.empty()) return;
    const std::string path = guiDirectory + helpFile;
    ViewerLibrary& viewer = *Viewer();
    std::call_once(viewer.loaded, [&viewer] { viewer.entry = LoadEntry(viewer.name); });
    if (viewer.entry == nullptr) return;
    viewer.entry(nullptr, path.c_str(), kHelpCommandHelpContext, context);
}

void SetHelpViewerLibraryForTesting(const std::string& library) {
    // A once_flag cannot be re-armed: the state is replaced by a fresh one.
    auto fresh = std::make_unique<ViewerLibrary>();
    fresh->name = library;
    Viewer() = std::move(fresh);
}

}  // namespace dcdrive
