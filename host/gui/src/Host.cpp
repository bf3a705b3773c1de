#include "kx/gui/Host.h"

#include <dlfcn.h>

#include <cstdlib>
#include <string>

std::string GetGUIDirectory() {
    if (const char* configured = std::getenv("KX_GUI_DIRECTORY"); configured && *configured) {
        std::string directory = configured;
        if (directory.back() != '/') directory += '/';
        return directory;
    }
    // <folder of libkxgui.so>/../share/dcdrive/
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&GetGUIDirectory), &info) || !info.dli_fname) return "./";
    std::string library = info.dli_fname;
    const auto slash = library.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : library.substr(0, slash);
    return folder + "/../share/dcdrive/";
}
