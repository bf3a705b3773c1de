// The plug-in's application object: one instance, built when the library is
// loaded. It holds no data of its own; everything the plug-in does lives in
// the setup that the host passes to each entry point.
#pragma once

#include "kx/gui/Resources.h"

namespace dcdrive {

class CPluginApp {
public:
    CPluginApp();
    CPluginApp(const CPluginApp&) = delete;
    CPluginApp& operator=(const CPluginApp&) = delete;

private:
    // The plug-in's templates, images and strings are in the host's resource
    // chain while the library is loaded.
    kx::ModuleRegistration m_resources;
    // The commissioning tests' templates and pictures.
    kx::ModuleRegistration m_testResources;
};

extern CPluginApp theApp;

}  // namespace dcdrive
