// The help viewer's entry point, the one function libkxhelp.so exports. The
// plug-in finds it by name; the host's own code and the tests may link it.
#pragma once

#include <cstdint>

// Commands of the entry point.
inline constexpr unsigned HH_DISPLAY_TOPIC = 0x0;  // open `path` at its start page
inline constexpr unsigned HH_HELP_CONTEXT = 0xF;   // open `path` at the topic of context `data`
inline constexpr unsigned HH_CLOSE_ALL = 0x12;     // close the viewer

// Runs a command of the help viewer. Returns the viewer window (a QWidget*),
// or null when the help file cannot be opened, the context has no topic (the
// viewer then shows the start page), the command closes the viewer or is not
// known, or no QApplication runs. `owner` is not used: the viewer is a window
// of its own, never modal.
extern "C" __attribute__((visibility("default"))) void* HtmlHelpA(void* owner, const char* path,
                                                                  unsigned command, std::uintptr_t data);
