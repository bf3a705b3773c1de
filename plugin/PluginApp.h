// The plug-in's application object: one instance, built when the library is
// loaded. It holds no data; everything the plug-in does lives in the setup
// that the host passes to each entry point.
#pragma once

namespace dcdrive {

class CPluginApp {
public:
    CPluginApp() = default;
    CPluginApp(const CPluginApp&) = delete;
    CPluginApp& operator=(const CPluginApp&) = delete;
};

extern CPluginApp theApp;

}  // namespace dcdrive
