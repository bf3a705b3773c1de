// The commissioning tests as the plug-in offers them: their templates and
// pictures in the host's resource chain, and the sub-dialogs that the
// editors' buttons open.
#pragma once

#include "kx/gui/Resources.h"

namespace dcdrive {

// The tests' templates, images and bitmaps, as one module of the chain.
const kx::ResourceModule& TestResources();

// Makes the tests available to the editors (their buttons become enabled).
void RegisterTestDialogs();

}  // namespace dcdrive
