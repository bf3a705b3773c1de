// The built plug-in library, loaded as the host loads it.
#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "../conversions/TestSetup.h"
#include "kx/Kernel.h"

using dctest::MakeSetup;
using dctest::ValueOf;

namespace {

using ComputeAllOptionsFn = void (*)(CKX_Setup*);
using EditSetupFn = int (*)(CKX_Setup*);

class Plugin : public ::testing::Test {
protected:
    void SetUp() override {
        m_library = dlopen(DCDRIVE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(m_library, nullptr) << dlerror();
        computeAllOptions = reinterpret_cast<ComputeAllOptionsFn>(dlsym(m_library, "ComputeAllOptions"));
        editSetup = reinterpret_cast<EditSetupFn>(dlsym(m_library, "EditSetup"));
        scaleFactor = reinterpret_cast<kx::ScaleFactorFn>(dlsym(m_library, "GetScaleFactor"));
        scaleOffset = reinterpret_cast<kx::ScaleOffsetFn>(dlsym(m_library, "GetScaleOffset"));
        ASSERT_NE(computeAllOptions, nullptr);
        ASSERT_NE(editSetup, nullptr);
        ASSERT_NE(scaleFactor, nullptr);
        ASSERT_NE(scaleOffset, nullptr);
    }
    void TearDown() override {
        kx::SetScaleFunctions(nullptr, nullptr);
        if (m_library) dlclose(m_library);
    }

    ComputeAllOptionsFn computeAllOptions = nullptr;
    EditSetupFn editSetup = nullptr;
    kx::ScaleFactorFn scaleFactor = nullptr;
    kx::ScaleOffsetFn scaleOffset = nullptr;

private:
    void* m_library = nullptr;
};

TEST_F(Plugin, ComputeAllOptionsConvertsTheRegisters) {
    computeAllOptions(nullptr);  // returns at once
    auto setup = MakeSetup({{"DSP_freq", 6e7}, {"PWMPER", 1500}, {"PWM_freq", 0}, {"CLPER", 1}, {"Ts_C", 0}});
    dctest::ReportedErrors quiet;
    computeAllOptions(setup.get());
    EXPECT_DOUBLE_EQ(ValueOf(*setup, "PWM_freq"), 20000);
    EXPECT_DOUBLE_EQ(ValueOf(*setup, "Ts_C"), 5e-5);
}

TEST_F(Plugin, EditSetupLeavesTheSetupAsItIs) {
    auto setup = MakeSetup({{"PWMPER", 1500}, {"PWM_freq", 0}});
    EXPECT_EQ(editSetup(setup.get()), 0);
    EXPECT_EQ(ValueOf(*setup, "PWM_freq"), 0);
    EXPECT_EQ(editSetup(nullptr), 0);
}

TEST_F(Plugin, ScalingWithoutSetupOrUnitIsNeutral) {
    auto setup = MakeSetup({{"ImaxPS", 8}});
    EXPECT_EQ(scaleFactor(nullptr, "A", "IQ"), 1.0);
    EXPECT_EQ(scaleFactor(setup.get(), nullptr, "IQ"), 1.0);
    EXPECT_EQ(scaleOffset(nullptr,
                          "\xC2\xB0"
                          "C"),
              0.0);
    EXPECT_EQ(scaleOffset(setup.get(), nullptr), 0.0);
    EXPECT_DOUBLE_EQ(scaleFactor(setup.get(), "A", nullptr), 16 / 65520.0);
}

TEST_F(Plugin, HostUsesTheScalingForInternalValues) {
    auto setup = MakeSetup({{"ImaxPS", 8}, {"Vdc", 48}});
    CKX_Parameter* current = setup->AddParameter("Imax_Prot", "A");
    current->SetValueInBaseUnit(2.0);
    CKX_Parameter* voltage = setup->AddParameter("Vbrake", "V");
    voltage->SetValueInBaseUnit(24.0);
    kx::SetScaleFunctions(scaleFactor, scaleOffset);
    // Counts per ampere: 65520 / (2 · 8); counts per volt: 32767 / 48.
    EXPECT_DOUBLE_EQ(current->GetValueInInternalUnit(), 2.0 * 65520 / 16);
    EXPECT_DOUBLE_EQ(voltage->GetValueInInternalUnit(), 24.0 * 32767 / 48);
    ASSERT_EQ(current->SetValueInInternalUnit(4095), 1);
    EXPECT_DOUBLE_EQ(current->GetValueInBaseUnit(), 4095 * 16 / 65520.0);
}

// The names of the symbols that a shared library defines and exports.
std::set<std::string> ExportedSymbols(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> image{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::set<std::string> names;
    if (image.size() < sizeof(Elf64_Ehdr)) return names;
    Elf64_Ehdr header;
    std::memcpy(&header, image.data(), sizeof header);
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64)
        return names;
    auto section = [&](std::size_t index) {
        Elf64_Shdr s;
        std::memcpy(&s, image.data() + header.e_shoff + index * header.e_shentsize, sizeof s);
        return s;
    };
    for (std::size_t i = 0; i < header.e_shnum; ++i) {
        const Elf64_Shdr symbols = section(i);
        if (symbols.sh_type != SHT_DYNSYM) continue;
        const Elf64_Shdr strings = section(symbols.sh_link);
        for (std::size_t k = 1; k < symbols.sh_size / sizeof(Elf64_Sym); ++k) {
            Elf64_Sym symbol;
            std::memcpy(&symbol, image.data() + symbols.sh_offset + k * sizeof symbol, sizeof symbol);
            const int binding = ELF64_ST_BIND(symbol.st_info);
            const bool global = binding == STB_GLOBAL || binding == STB_WEAK || binding == STB_GNU_UNIQUE;
            if (symbol.st_shndx == SHN_UNDEF || !global) continue;
            if (ELF64_ST_VISIBILITY(symbol.st_other) != STV_DEFAULT) continue;
            names.insert(image.data() + strings.sh_offset + symbol.st_name);
        }
    }
    return names;
}

TEST(PluginLibrary, ExportsExactlyTheFourEntryPoints) {
    const std::set<std::string> expected = {"ComputeAllOptions", "EditSetup", "GetScaleFactor",
                                            "GetScaleOffset"};
    EXPECT_EQ(ExportedSymbols(DCDRIVE_LIBRARY), expected);
}

}  // namespace
