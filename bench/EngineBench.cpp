// Cost of the plug-in's whole-setup passes on the default setup, beside a
// baseline that looks every parameter of the setup up once by name: the
// passes are lookups plus arithmetic, so the ratio tells how much more than
// one lookup per parameter they cost.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "conversions/Drivers.h"
#include "kx/Kernel.h"
#include "setups/DefaultSetup.h"

namespace {

using ComputeAllOptionsFn = void (*)(CKX_Setup*);

// The plug-in loaded as the host loads it, with its scaling installed.
struct Plugin {
    void* handle = nullptr;
    ComputeAllOptionsFn computeAllOptions = nullptr;

    Plugin() {
        handle = ::dlopen(DCDRIVE_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            std::fprintf(stderr, "cannot load %s: %s\n", DCDRIVE_PLUGIN_PATH, ::dlerror());
            std::exit(1);
        }
        computeAllOptions = reinterpret_cast<ComputeAllOptionsFn>(::dlsym(handle, "ComputeAllOptions"));
        kx::SetScaleFunctions(reinterpret_cast<kx::ScaleFactorFn>(::dlsym(handle, "GetScaleFactor")),
                              reinterpret_cast<kx::ScaleOffsetFn>(::dlsym(handle, "GetScaleOffset")));
        if (!computeAllOptions || !kx::GetScaleFactorFunction() || !kx::GetScaleOffsetFunction()) {
            std::fprintf(stderr, "%s lacks an export\n", DCDRIVE_PLUGIN_PATH);
            std::exit(1);
        }
    }
};

const Plugin& LoadedPlugin() {
    static const Plugin plugin;
    return plugin;
}

void BM_LookupEveryParameter(benchmark::State& state) {
    const auto setup = dcdrive::LoadDefaultSetup();
    std::vector<std::string> names;
    for (std::size_t i = 0; i < setup->GetParameterCount(); ++i) names.push_back(setup->GetParameterAt(i)->GetName());
    for (auto _ : state) {
        for (const auto& name : names) benchmark::DoNotOptimize(setup->FindParameter(name.c_str()));
    }
    state.counters["parameters"] = static_cast<double>(names.size());
}
BENCHMARK(BM_LookupEveryParameter);

void BM_ComputeAllOptions(benchmark::State& state) {
    const Plugin& plugin = LoadedPlugin();
    const auto setup = dcdrive::LoadDefaultSetup();
    for (auto _ : state) plugin.computeAllOptions(setup.get());
}
BENCHMARK(BM_ComputeAllOptions);

void BM_ForwardDriver(benchmark::State& state) {
    LoadedPlugin();
    const auto setup = dcdrive::LoadDefaultSetup();
    for (auto _ : state) dcdrive::ParametersToRegisters(*setup);
}
BENCHMARK(BM_ForwardDriver);

void BM_ReverseDriver(benchmark::State& state) {
    LoadedPlugin();
    const auto setup = dcdrive::LoadDefaultSetup();
    for (auto _ : state) dcdrive::RegistersToParameters(*setup);
}
BENCHMARK(BM_ReverseDriver);

}  // namespace

BENCHMARK_MAIN();
