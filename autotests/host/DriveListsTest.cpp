// The motor editor's drive-dependent lists: sensor types and connectors for
// drives offering different kinds, and the brake outputs of the default setup.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DefaultSetup.h"
#include "kx/DriveLists.h"
#include "kx/ListControl.h"

namespace {

std::vector<int> DataOf(const std::vector<kx::ListEntry>& entries) {
    std::vector<int> data;
    for (const auto& e : entries) data.push_back(e.data);
    return data;
}

// A list that records what it was given; an index it never gave out throws.
struct RecordingList : CKX_ListControl {
    int AddItem(const char* text) override {
        items.push_back({text, -1});
        return static_cast<int>(items.size()) - 1;
    }
    int SetItemData(int index, int data) override { return items.at(index).data = data, 1; }
    int GetItemData(int index) const override { return items.at(index).data; }
    int SelectItem(int index) override { return selected = index, 1; }
    std::vector<int> Data() const { return DataOf(items); }
    int SelectedData() const { return selected < 0 ? -1 : items.at(selected).data; }

    std::vector<kx::ListEntry> items;
    int selected = -1;
};

kx::DriveDescription Drive(std::vector<int> motor, std::vector<int> load, int connectors) {
    kx::DriveDescription d;
    d.motorSensors = std::move(motor);
    d.loadSensors = std::move(load);
    for (int c = 0; c < connectors; ++c) d.feedbackNames.push_back("Feedback #" + std::to_string(c + 1));
    return d;
}

TEST(SensorCombos, OfferedKindsAndConsistentSelection) {
    // Each drive with the kinds it offers on the motor and on the load.
    struct Offer {
        kx::DriveDescription drive;
        std::vector<int> motorTypes, loadTypes;
    };
    const Offer every{Drive({1, 2, 3, 4, 5}, {1, 2, 3, 4, 5}, 2), {0, 1, 2, 3, 4, 5}, {0, 1, 3, 4, 5}},
        noLoad{Drive({1, 3}, {}, 2), {0, 1, 3}, {0}}, tachoOnly{Drive({2}, {}, 0), {0, 2}, {0}},
        serial{Drive({4, 5}, {4, 5}, 1), {0, 4, 5}, {0, 4, 5}};
    const struct {
        const char* what;
        const Offer& drive;
        kx::SensorSelection present;
        const char* changed;
        kx::SensorSelection expected;
        std::vector<int> loadConnectors;
    } cases[] = {
        {"both on one connector: the load moves", every, {1, 0, 3, 0}, "", {1, 0, 3, 1}, {1}},
        {"the load's connector chosen", every, {1, 0, 3, 0}, "loadsensorconnector", {1, 1, 3, 0}, {0}},
        {"a tachogenerator takes no connector", every, {2, 0, 1, 0}, "", {2, 0, 1, 0}, {0, 1}},
        {"no tachogenerator on the load", every, {1, 0, 2, 1}, "LoadSensorType", {1, 0, 0, 1}, {1}},
        {"a connector the drive lacks", every, {1, 7, 0, -1}, "", {1, 0, 0, 0}, {1}},
        {"no load sensors", noLoad, {1, 0, 4, 1}, "", {1, 0, 0, 1}, {1}},
        {"only a tachogenerator, no connectors", tachoOnly, {2, 3, 1, 0}, "", {2, 0, 0, 0}, {}},
        {"SSI/BiSS, one connector: motor keeps it", serial, {5, 0, 4, 0}, "", {5, 0, 0, 0}, {}},
        {"SSI/BiSS, one connector: load chosen", serial, {5, 0, 4, 0}, "LoadSensorType", {0, 0, 4, 0}, {0}},
        {"load encoder added: free connector", every, {1, 0, 1, 0}, "LoadSensorType", {1, 0, 1, 1}, {1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const kx::SensorCombos combos = kx::ComputeSensorCombos(c.drive.drive, c.present, c.changed);
        EXPECT_EQ(DataOf(combos.motorTypes), c.drive.motorTypes);
        EXPECT_EQ(DataOf(combos.loadTypes), c.drive.loadTypes);
        EXPECT_EQ(combos.selection, c.expected);
        EXPECT_EQ(DataOf(combos.loadConnectors), c.loadConnectors);
        EXPECT_EQ(combos.motorConnectors.size(), c.drive.drive.feedbackNames.size());
        // Whatever came in, the result is consistent by itself.
        EXPECT_EQ(kx::ComputeSensorCombos(c.drive.drive, combos.selection).selection, combos.selection);
    }
}

TEST(SensorCombos, NamesComeFromTheDrive) {
    kx::DriveDescription d = Drive({1, 2}, {1}, 0);
    d.sensorNames = {"No sensor", "Encoder"};  // no name for the tachogenerator
    d.sensorLines = {"\"Port A\" 1,digital", "B 0,x"};
    d.feedbackNames = {"", "Rear"};
    const kx::SensorCombos combos = kx::ComputeSensorCombos(d, {1, 0, 1, 1});
    EXPECT_EQ(combos.motorTypes,
              (std::vector<kx::ListEntry>{{"No sensor", 0}, {"Encoder", 1}, {"Tachogenerator", 2}}));
    EXPECT_EQ(combos.motorConnectors, (std::vector<kx::ListEntry>{{"Port A", 0}, {"Rear", 1}}));
    EXPECT_EQ(kx::ConnectorName(d, 5), "Feedback #6");
}

TEST(SensorCombos, SetupFillsListsAndCorrectsTheCodes) {
    const auto setup = dcdrive::LoadDefaultSetup();
    for (const bool selectedOnly : {false, true}) {
        SCOPED_TRACE(selectedOnly);
        RecordingList motorTypes, motorConnectors, loadTypes, loadConnectors;
        int m = 3, mc = 1, l = 1, lc = 1;
        EXPECT_EQ(setup->FillDlSensorsCombos(&motorTypes, m, &motorConnectors, mc, &loadTypes, l,
                                             &loadConnectors, lc, nullptr, selectedOnly),
                  1);
        EXPECT_EQ(std::vector<int>({m, mc, l, lc}), std::vector<int>({3, 1, 1, 0}));
        EXPECT_EQ(std::vector<int>({motorTypes.SelectedData(), motorConnectors.SelectedData(),
                                    loadTypes.SelectedData(), loadConnectors.SelectedData()}),
                  std::vector<int>({3, 1, 1, 0}));
        EXPECT_EQ(motorTypes.items.size(), selectedOnly ? 1u : 6u);
        EXPECT_EQ(loadTypes.Data(), selectedOnly ? std::vector<int>({1}) : std::vector<int>({0, 1, 3, 4, 5}));
        EXPECT_EQ(loadConnectors.Data(), std::vector<int>({0}));
    }
    // A consistent selection is left as it is; absent lists are skipped.
    int m = 1, mc = 0, l = 0, lc = 0;
    EXPECT_EQ(setup->FillDlSensorsCombos(nullptr, m, nullptr, mc, nullptr, l, nullptr, lc, "MotorSensorType",
                                         false),
              0);
}

TEST(BrakeOutputs, DefaultDriveOffersItsOutputs) {
    const auto setup = dcdrive::LoadDefaultSetup();
    ASSERT_GT(setup->GetNumberOfBrakeOutputs(), 0);
    const struct {
        int port;
        bool inverted;
        int enable;
    } cases[] = {{0, false, kx::kBrakePortEnabled | 0x10}, {3, true, kx::kBrakePortEnabled | 0x20},
                 {9, false, 0} /* not a brake output */};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        EXPECT_EQ(setup->IsIOKX3PortInverted(c.port), c.inverted);
        EXPECT_EQ(setup->IsBrakePortEnable(c.port), c.enable);
    }
    // Every output's port has a pin, so that the brake register can hold it.
    RecordingList list;
    EXPECT_EQ(setup->FillIOBrakeCombo(&list, 2), setup->GetNumberOfBrakeOutputs());
    EXPECT_EQ(list.SelectedData(), 2);
    for (int port : list.Data()) EXPECT_GE(setup->GetIOPinFromPort(port), 0) << port;
    RecordingList none;
    setup->FillIOBrakeCombo(&none, 42);
    EXPECT_EQ(none.selected, -1);
}

}  // namespace
