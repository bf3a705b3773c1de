// Host functions that the plug-in's dialogs call.
#pragma once

#include <string>

#include "kx/gui/Gui.h"

// The host's GUI directory, ending in '/': where its help collection lives.
// KX_GUI_DIRECTORY in the environment replaces it (tests, relocated installs).
KXGUI_API std::string GetGUIDirectory();
