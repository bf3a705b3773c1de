#include "help/Help.h"

#include <dlfcn.h>

#include <cstdint>
#include <memory>
#include <mutex>

namespace dcdrive {
namespace {

using HtmlHelpFunction = void* (*)(void* owner, const char* path, unsigned command, std::uintptr_t data);

// The viewer library is loaded once per process, on the first request, and
// stays loaded: the viewer window it owns outlives the request.
struct ViewerLibrary {
  std::string name = "libkxhelp.so";
  std::once_flag loaded;
  HtmlHelpFunction entry = nullptr;
};

std::unique_ptr<ViewerLibrary>& Viewer() {
  static auto viewer = std::make_unique<ViewerLibrary>();
  return viewer;
}

HtmlHelpFunction LoadEntry(const std::string& name) {
  void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return nullptr;
  auto* entry = reinterpret_cast<HtmlHelpFunction>(dlsym(handle, "HtmlHelpA"));
  if (entry == nullptr) dlclose(handle);
  return entry;
}

}  // namespace

void OpenHelpFile(const std::string& guiDirectory, const std::string& helpFile, unsigned context) {
  if (helpFile.empty()) return;
  const std::string path = guiDirectory + helpFile;
  ViewerLibrary& viewer = *Viewer();
  std::call_once(viewer.loaded, [&viewer] { viewer.entry = LoadEntry(viewer.name); });
  if (viewer.entry == nullptr) return;
  viewer.entry(nullptr, path.c_str(), kHelpCommandHelpContext, context);
}

void SetHelpViewerLibraryForTesting(const std::string& library) {
  // A once_flag cannot be re-armed: the state is replaced by a fresh one.
  auto fresh = std::make_unique<ViewerLibrary>();
  fresh->name = library;
  Viewer() = std::move(fresh);
}

}  // namespace dcdrive
