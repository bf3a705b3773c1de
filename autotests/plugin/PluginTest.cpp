// The built plug-in library, loaded as the host loads it.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "../conversions/TestSetup.h"
#include "kx/Kernel.h"

using namespace dctest;

namespace {

// Each export looked up by name and called as the host calls it.
TEST(Plugin, EveryExportWorksThroughTheLoadedLibrary) {
    void* library = dlopen(DCDRIVE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    const auto computeAllOptions =
        reinterpret_cast<void (*)(CKX_Setup*)>(dlsym(library, "ComputeAllOptions"));
    const auto editSetup = reinterpret_cast<int (*)(CKX_Setup*)>(dlsym(library, "EditSetup"));
    const auto scaleFactor = reinterpret_cast<kx::ScaleFactorFn>(dlsym(library, "GetScaleFactor"));
    const auto scaleOffset = reinterpret_cast<kx::ScaleOffsetFn>(dlsym(library, "GetScaleOffset"));
    ASSERT_TRUE(computeAllOptions && editSetup && scaleFactor && scaleOffset);

    computeAllOptions(nullptr);  // returns at once
    EXPECT_EQ(editSetup(nullptr), 0);
    auto setup = MakeSetup("DSP_freq=6e7 PWMPER=1500 PWM_freq=0 CLPER=1 Ts_C=0");
    {
        // No display: the editor cannot open, the host hears why, the setup stays.
        for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) unsetenv(variable);
        ReportedErrors errors;
        EXPECT_EQ(editSetup(setup.get()), 0);
        ASSERT_EQ(errors.Messages().size(), 1u);
        EXPECT_EQ(errors.Messages()[0],
                  "the drive setup editor could not run: no display to open a window on");
    }
    EXPECT_EQ(ValueOf(*setup, "PWM_freq"), 0);
    {
        ReportedErrors quiet;
        computeAllOptions(setup.get());
    }
    EXPECT_DOUBLE_EQ(ValueOf(*setup, "PWM_freq"), 20000);
    EXPECT_DOUBLE_EQ(ValueOf(*setup, "Ts_C"), 5e-5);

    // Without a setup or a unit the scaling is neutral.
    Assign(*setup, "ImaxPS=8 Vdc=48");
    EXPECT_EQ(scaleFactor(nullptr, "A", "IQ"), 1.0);
    EXPECT_EQ(scaleFactor(setup.get(), nullptr, "IQ"), 1.0);
    EXPECT_EQ(scaleOffset(nullptr, kDegC), 0.0);
    EXPECT_EQ(scaleOffset(setup.get(), nullptr), 0.0);
    EXPECT_DOUBLE_EQ(scaleFactor(setup.get(), "A", nullptr), 16 / 65520.0);
    // The host uses them for internal values: 65520 / (2 · 8) counts per
    // ampere, 32767 / 48 counts per volt.
    CKX_Parameter* current = setup->AddParameter("Imax_Prot", "A");
    current->SetValueInBaseUnit(2.0);
    CKX_Parameter* voltage = setup->AddParameter("Vbrake", "V");
    voltage->SetValueInBaseUnit(24.0);
    kx::SetScaleFunctions(scaleFactor, scaleOffset);
    EXPECT_DOUBLE_EQ(current->GetValueInInternalUnit(), 2.0 * 65520 / 16);
    EXPECT_DOUBLE_EQ(voltage->GetValueInInternalUnit(), 24.0 * 32767 / 48);
    kx::SetScaleFunctions(nullptr, nullptr);
    dlclose(library);
}

// The library defines and exports its four entry points and nothing else
// (as read by the binary tools that come with the compiler).
TEST(PluginLibrary, ExportsExactlyTheFourEntryPoints) {
    FILE* nm = popen("nm -D --defined-only --format=just-symbols " DCDRIVE_LIBRARY, "r");
    ASSERT_NE(nm, nullptr);
    std::set<std::string> names;
    for (char line[256]; std::fgets(line, sizeof line, nm);)
        if (const char* name = std::strtok(line, " \n")) names.insert(name);
    ASSERT_EQ(pclose(nm), 0);
    EXPECT_EQ(names,
              (std::set<std::string>{"ComputeAllOptions", "EditSetup", "GetScaleFactor", "GetScaleOffset"}));
}

}  // namespace
