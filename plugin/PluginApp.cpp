#include "PluginApp.h"

#include "editors/Templates.h"
#include "tests/TestDialogs.h"

namespace dcdrive {

CPluginApp::CPluginApp() : m_resources(PluginResources()), m_testResources(TestResources()) {
    // The editors' test buttons open the tests.
    RegisterTestDialogs();
}

CPluginApp theApp;

}  // namespace dcdrive
