#include "PluginApp.h"

#include "editors/Templates.h"

namespace dcdrive {

CPluginApp::CPluginApp() : m_resources(PluginResources()) {}

CPluginApp theApp;

}  // namespace dcdrive
