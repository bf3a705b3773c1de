#include "Plugin.h"

#include <dlfcn.h>

#include <cstring>
#include <filesystem>
#include <system_error>

namespace dcsetup {
namespace {

constexpr const char* kPluginFileName = "libdcdrive.so";

// dlerror() text on one line (it never should hold a line break, but an error
// message of ours is always a single line).
std::string LastDlError() {
    const char* text = dlerror();
    std::string message = text ? text : "unknown error";
    for (char& c : message) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return message;
}

template <typename Fn>
Fn Resolve(void* handle, const char* name, const std::string& path) {
    dlerror();
    void* symbol = dlsym(handle, name);
    if (!symbol) {
        throw PluginError("plug-in " + path + " does not export " + name);
    }
    // A function pointer and a data pointer have the same representation on
    // every platform that has dlsym.
    Fn fn;
    static_assert(sizeof fn == sizeof symbol);
    std::memcpy(&fn, &symbol, sizeof fn);
    return fn;
}

}  // namespace

Plugin::Plugin(const std::string& path) : m_path(path) {
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        throw PluginError("cannot load plug-in " + path + ": " + LastDlError());
    }
    try {
        computeAllOptions = Resolve<ComputeAllOptionsFn>(m_handle, "ComputeAllOptions", path);
        editSetup = Resolve<EditSetupFn>(m_handle, "EditSetup", path);
        getScaleFactor = Resolve<kx::ScaleFactorFn>(m_handle, "GetScaleFactor", path);
        getScaleOffset = Resolve<kx::ScaleOffsetFn>(m_handle, "GetScaleOffset", path);
    } catch (...) {
        dlclose(m_handle);
        throw;
    }
    kx::SetScaleFunctions(getScaleFactor, getScaleOffset);
}

Plugin::~Plugin() {
    if (kx::GetScaleFactorFunction() == getScaleFactor) kx::SetScaleFunctions(nullptr, nullptr);
    dlclose(m_handle);
}

std::string DefaultPluginPath() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return kPluginFileName;  // left to the loader's search path
    return (self.parent_path() / ".." / "lib" / kPluginFileName).lexically_normal().string();
}

}  // namespace dcsetup
