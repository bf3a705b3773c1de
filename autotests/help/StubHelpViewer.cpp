// Records the calls of the viewer's entry point; the tests read them back.
#include <cstdint>
#include <string>

#define STUB_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
int calls = 0;
void* lastOwner = nullptr;
std::string lastPath;
unsigned lastCommand = 0;
std::uintptr_t lastData = 0;
}  // namespace

STUB_EXPORT void* HtmlHelpA(void* owner, const char* path, unsigned command, std::uintptr_t data) {
    ++calls;
    lastOwner = owner;
    lastPath = path != nullptr ? path : "(null)";
    lastCommand = command;
    lastData = data;
    return nullptr;
}

STUB_EXPORT int StubCalls() { return calls; }
STUB_EXPORT void* StubLastOwner() { return lastOwner; }
STUB_EXPORT const char* StubLastPath() { return lastPath.c_str(); }
STUB_EXPORT unsigned StubLastCommand() { return lastCommand; }
STUB_EXPORT std::uintptr_t StubLastData() { return lastData; }
