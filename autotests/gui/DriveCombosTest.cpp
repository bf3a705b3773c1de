// The drive-dependent lists on real drop-down lists: emptied and refilled,
// item data and selection as the host computes them.
#include <QComboBox>

#include "GuiTest.h"
#include "kx/Setup.h"
#include "kx/gui/DriveCombos.h"

namespace {

std::vector<int> Data(const QComboBox& box) {
    std::vector<int> data;
    for (int i = 0; i < box.count(); ++i) data.push_back(box.itemData(i).toInt());
    return data;
}

TEST(DriveCombos, FillsTheBoxesAndCorrectsTheSelection) {
    CKX_Setup setup;
    setup.Drive().motorSensors = {1, 2};
    setup.Drive().loadSensors = {1};
    setup.Drive().feedbackNames = {"Feedback #1", "Feedback #2"};
    setup.Drive().portOfPin = {{12, 0}, {13, 1}};
    setup.Drive().brakeOutputs = {{0, "OUT0", kx::OutputStage::Source, false},
                                  {1, "OUT1", kx::OutputStage::Sink, true}};

    QComboBox motorTypes, motorConnectors, loadTypes, loadConnectors, brake;
    loadTypes.addItem("stale");  // what a list held before is replaced
    int m = 1, mc = 1, l = 1, lc = 1;
    EXPECT_EQ(kx::FillDlSensorsCombos(setup, &motorTypes, m, &motorConnectors, mc, &loadTypes, l, nullptr, lc,
                                      "MotorSensorConnector"),
              1);
    EXPECT_EQ(Data(motorTypes), std::vector<int>({0, 1, 2}));
    EXPECT_EQ(motorTypes.currentText().toStdString(), "Incremental encoder");
    EXPECT_EQ(Data(loadTypes), std::vector<int>({0, 1}));
    EXPECT_EQ(loadTypes.currentData().toInt(), 1);

    brake.addItem("stale");
    EXPECT_EQ(kx::FillIOBrakeCombo(setup, &brake, 1), 2);
    EXPECT_EQ(Data(brake), std::vector<int>({0, 1}));
    EXPECT_EQ(brake.currentText().toStdString(), "OUT1");
}

}  // namespace
