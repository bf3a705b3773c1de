// Cost of the plug-in's whole-setup passes on the default setup, beside a
// baseline that looks every parameter of the setup up once by name: the
// passes are lookups plus arithmetic, so the ratio tells how much more than
// one lookup per parameter they cost.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "conversions/Drivers.h"
#include "editors/AdvancedRules.h"
#include "filters/Biquad.h"
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
    for (std::size_t i = 0; i < setup->GetParameterCount(); ++i)
        names.push_back(setup->GetParameterAt(i)->GetName());
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

// The default setup with all ten filters of the chain switched on: low
// passes, notches and lead-lags spread over the three places of the cascade.
std::unique_ptr<CKX_Setup> TenFilterSetup() {
    auto setup = dcdrive::LoadDefaultSetup();
    for (int i = 1; i <= 10; ++i) {
        const std::string n = std::to_string(i);
        const int type = (i % 3 == 0) ? 8 : (i % 2 ? 1 : 2);
        setup->SetParameterValueInBaseUnit(("BQFilter" + n).c_str(), 1);
        setup->SetParameterValueInBaseUnit(("BQFilterType" + n).c_str(), type);
        setup->SetParameterValueInBaseUnit(("BQFilterLocation" + n).c_str(), i % 3);
        setup->SetParameterValueInBaseUnit(("BQFilterF1" + n).c_str(), 50.0 + 30.0 * i);
        setup->SetParameterValueInBaseUnit(("BQFilterF2" + n).c_str(), 100.0 + 30.0 * i);
        setup->SetParameterValueInBaseUnit(("BQFilterQ" + n).c_str(), 0.7);
    }
    return setup;
}

void BM_WriteTenFilters(benchmark::State& state) {
    LoadedPlugin();
    const auto setup = TenFilterSetup();
    dcdrive::CBiquadFilter filter;
    for (auto _ : state) filter.WriteFilters(*setup);
    state.counters["chain"] = setup->GetParameterValueInBaseUnit("SPDREF_BQ_INI") +
                              setup->GetParameterValueInBaseUnit("IQREF_BQ_INI") +
                              setup->GetParameterValueInBaseUnit("ASPD_BQ_INI");
}
BENCHMARK(BM_WriteTenFilters);

void BM_ForwardDriverTenFilters(benchmark::State& state) {
    LoadedPlugin();
    const auto setup = TenFilterSetup();
    for (auto _ : state) dcdrive::ParametersToRegisters(*setup);
}
BENCHMARK(BM_ForwardDriverTenFilters);

// A new slow loop period in the advanced settings: the periods and PWM
// registers, every time, speed, acceleration and current-slope parameter of
// the default setup rescaled within its limits, and both drivers. The divider
// goes from 20 to 40 and back, one change per iteration.
void BM_RescaleToNewSlowLoopPeriod(benchmark::State& state) {
    LoadedPlugin();
    const auto setup = dcdrive::LoadDefaultSetup();
    dcdrive::AdvancedState advanced;
    advanced.rescaleReference = setup->GetParameterValueInBaseUnit("Ts_S");
    const double divider = setup->GetParameterValueInBaseUnit("SLPER");
    bool doubled = false;
    for (auto _ : state) {
        doubled = !doubled;
        setup->SetParameterValueInBaseUnit("SLPER", doubled ? 2 * divider : divider);
        benchmark::DoNotOptimize(dcdrive::ApplyAdvancedRefresh(*setup, "SLPER", advanced));
    }
}
BENCHMARK(BM_RescaleToNewSlowLoopPeriod);

}  // namespace

BENCHMARK_MAIN();
