// The open-help rule: the path it builds, the call it makes, and how it gives up for good when the viewer
// library or its entry point is missing.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "help/Help.h"

namespace {

namespace fs = std::filesystem;

// The stand-in viewer's record of its calls, read through its own exports.
struct StubRecord {
    explicit StubRecord(const std::string& library)
        : handle(dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
    ~StubRecord() {
        if (handle != nullptr) dlclose(handle);
    }
    template <typename R>
    R Get(const char* name) const {
        auto* function = reinterpret_cast<R (*)()>(dlsym(handle, name));
        return function != nullptr ? function() : R{};
    }
    int Calls() const { return Get<int>("StubCalls"); }
    void* handle;
};

// The path is the GUI directory and the file name joined as they are; the viewer gets no owner, the context
// command and the context number. An empty file name opens nothing.
TEST(OpenHelpFile, CallsTheViewerWithTheJoinedPath) {
    const struct {
        const char* guiDirectory;
        const char* helpFile;
        unsigned context;
        const char* path;  // null: no call
    } cases[] = {
        {"/opt/app/gui/", "dcdrive.qhc", dcdrive::kHelpDriveSetup, "/opt/app/gui/dcdrive.qhc"},
        {"/opt/app/gui", "dcdrive.qhc", dcdrive::kHelpMotorSetup, "/opt/app/guidcdrive.qhc"},
        {"", "help/other.qhc", dcdrive::kHelpTotalInertiaTest, "help/other.qhc"},
        {"/opt/app/gui/", "", dcdrive::kHelpDriveSetup, nullptr},
    };
    dcdrive::SetHelpViewerLibraryForTesting(HELP_VIEWER_STUB);
    const StubRecord stub(HELP_VIEWER_STUB);
    ASSERT_NE(stub.handle, nullptr) << dlerror();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.helpFile);
        const int before = stub.Calls();
        dcdrive::OpenHelpFile(c.guiDirectory, c.helpFile, c.context);
        ASSERT_EQ(stub.Calls(), before + (c.path != nullptr));
        if (c.path == nullptr) continue;
        EXPECT_STREQ(stub.Get<const char*>("StubLastPath"), c.path);
        EXPECT_EQ(stub.Get<unsigned>("StubLastCommand"), 15u);
        EXPECT_EQ(stub.Get<std::uintptr_t>("StubLastData"), c.context);
        EXPECT_EQ(stub.Get<void*>("StubLastOwner"), nullptr);
    }
}

// A viewer library that is missing at the first request, or lacks the entry point (the host kernel), is not
// looked for again once a viewer is there.
TEST(OpenHelpFile, FailedLoadIsNotRetried) {
    for (const char* first : {static_cast<const char*>(nullptr), KERNEL_LIBRARY}) {
        SCOPED_TRACE(first ? "no entry point" : "missing");
        char pattern[] = "/tmp/dchelp-test-XXXXXX";
        const fs::path scratch = mkdtemp(pattern);
        const std::string library = (scratch / "libviewer.so").string();
        if (first != nullptr) fs::copy_file(first, library);
        dcdrive::SetHelpViewerLibraryForTesting(library);
        dcdrive::OpenHelpFile("/gui/", "dcdrive.qhc", dcdrive::kHelpDriveSetup);
        // A new file under the same name (the old one may still be mapped).
        fs::copy_file(HELP_VIEWER_STUB, library + ".new");
        fs::rename(library + ".new", library);
        dcdrive::OpenHelpFile("/gui/", "dcdrive.qhc", dcdrive::kHelpDriveSetup);
        {
            const StubRecord stub(library);
            ASSERT_NE(stub.handle, nullptr) << dlerror();
            EXPECT_EQ(stub.Calls(), 0);
        }
        fs::remove_all(scratch);
    }
}

// Without a running application the viewer opens nothing; the library exports its entry point alone.
TEST(HelpViewerLibrary, NeedsARunningApplicationAndExportsOnlyTheEntryPoint) {
    void* library = dlopen(HELP_VIEWER_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    using HtmlHelpFunction = void* (*)(void*, const char*, unsigned, std::uintptr_t);
    auto* htmlHelp = reinterpret_cast<HtmlHelpFunction>(dlsym(library, "HtmlHelpA"));
    ASSERT_NE(htmlHelp, nullptr);
    EXPECT_EQ(htmlHelp(nullptr, HELP_COLLECTION, 15, dcdrive::kHelpDriveSetup), nullptr);
    EXPECT_EQ(htmlHelp(nullptr, HELP_COLLECTION, 0, 0), nullptr);
    // Left loaded, as the plug-in leaves it: the toolkit's globals go with the process.

    FILE* nm = popen("nm -D --defined-only --format=just-symbols " HELP_VIEWER_LIBRARY, "r");
    ASSERT_NE(nm, nullptr);
    std::set<std::string> names;
    for (char line[256]; std::fgets(line, sizeof line, nm);)
        if (const char* name = std::strtok(line, " \n")) names.insert(name);
    ASSERT_EQ(pclose(nm), 0);
    EXPECT_EQ(names, std::set<std::string>{"HtmlHelpA"});
}

}  // namespace
