// What the dialog tests of the input checks share (the analogue reference
// test and the encoder connection tests): the plug-in's templates and tests
// in place, a virtual drive with the default plant behind the host, a setup
// whose registers have been derived, and a script's text as a quoted word.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "DefaultSetup.h"
#include "EditorTest.h"
#include "GuiTest.h"
#include "conversions/Drivers.h"
#include "drive/VirtualDrive.h"
#include "editors/Templates.h"
#include "kx/SetupFile.h"
#include "kx/gui/DriveHost.h"
#include "kx/gui/Resources.h"
#include "tests/TestDialogs.h"

namespace dctest {

// The resources of the editors and the tests, registered once for the
// program when no other part of it has done so, and the tests offered to
// the editors' buttons.
inline void ProvideTestDialogs() {
    auto& chain = kx::ResourceChain::Instance();
    if (!chain.FindTemplate(111)) static const kx::ModuleRegistration editors(dcdrive::PluginResources());
    if (!chain.FindTemplate(104)) static const kx::ModuleRegistration tests(dcdrive::TestResources());
    dcdrive::RegisterTestDialogs();
}

inline vdrive::Plant DefaultPlant() {
    vdrive::Plant plant;
    std::string error;
    EXPECT_TRUE(vdrive::ParsePlant(dcdrive::DefaultPlantJson(), plant, error)) << error;
    return plant;
}

inline std::unique_ptr<CKX_Setup> SampleSetup(const std::string& name) {
    return kx::LoadSetupFile(std::string(DCDRIVE_SOURCE_DIR) + "/setups/variants/" + name + ".json");
}

// A test of a test dialog: a fresh virtual drive installed for each case.
class InputTest : public ::testing::Test {
protected:
    void SetUp() override { ProvideTestDialogs(); }

    void Install(const vdrive::Plant& plant = DefaultPlant()) {
        m_installed.reset();
        m_drive = std::make_unique<vdrive::VirtualDrive>(plant);
        m_installed = std::make_unique<kx::VirtualDriveScope>(*m_drive);
    }
    void TearDown() override {
        m_installed.reset();
        m_drive.reset();
    }

    vdrive::VirtualDrive& Drive() { return *m_drive; }

    // After a dialog has gone: no program runs and the power stage is off.
    void ExpectDriveIdle() {
        const vdrive::Status status = m_drive->GetStatus();
        EXPECT_FALSE(status.axisOn);
        EXPECT_EQ(status.program, "");
    }

    std::unique_ptr<vdrive::VirtualDrive> m_drive;
    std::unique_ptr<kx::VirtualDriveScope> m_installed;
};

// A text as a script's quoted word.
inline std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        if (c == '\n')
            quoted += "\\n";
        else if (c == '\r')
            quoted += "\\r";
        else
            quoted += c;
    }
    return quoted + "\"";
}

}  // namespace dctest
