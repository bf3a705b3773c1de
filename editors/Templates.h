// The plug-in's resources: its dialog templates, images and strings, as one
// module of the host's resource chain.
#pragma once

#include "kx/gui/Resources.h"

namespace dcdrive {

const kx::ResourceModule& PluginResources();

}  // namespace dcdrive
