#include "PluginApp.h"

namespace dcdrive {

CPluginApp theApp;

}  // namespace dcdrive
