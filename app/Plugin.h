// The drive plug-in as the host program sees it: a library loaded at run
// time whose four entry points are looked up by name.
#pragma once

#include <stdexcept>
#include <string>

#include "kx/Kernel.h"

class CKX_Setup;

namespace dcsetup {

// The plug-in could not be loaded or lacks an entry point.
class PluginError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Plugin {
public:
    using ComputeAllOptionsFn = void (*)(CKX_Setup*);
    using EditSetupFn = int (*)(CKX_Setup*);

    // Loads the library at path and resolves the four entry points; installs
    // the scaling entry points into the host so that parameters show their
    // internal units. Throws PluginError.
    explicit Plugin(const std::string& path);
    // Removes the scaling functions from the host, then unloads the library.
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    const std::string& Path() const { return m_path; }

    ComputeAllOptionsFn computeAllOptions = nullptr;
    EditSetupFn editSetup = nullptr;
    kx::ScaleFactorFn getScaleFactor = nullptr;
    kx::ScaleOffsetFn getScaleOffset = nullptr;

private:
    std::string m_path;
    void* m_handle = nullptr;
};

// The plug-in beside this program: <folder of the executable>/../lib/libdcdrive.so.
std::string DefaultPluginPath();

}  // namespace dcsetup
