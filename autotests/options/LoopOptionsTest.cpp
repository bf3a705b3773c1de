#include "../conversions/TestSetup.h"
#include "conversions/Feedback.h"
#include "kx/ListControl.h"
#include "options/LoopOptions.h"

using namespace dcdrive;
using namespace dctest;

namespace {

// A drop-down list in memory.
struct MemoryList : CKX_ListControl {
    std::vector<std::string> texts;
    std::vector<int> data;
    int selected = -1;
    bool Has(int i) const { return i >= 0 && i < static_cast<int>(texts.size()); }
    int AddItem(const char* text) override {
        texts.emplace_back(text);
        data.push_back(0);
        return static_cast<int>(texts.size()) - 1;
    }
    int SetItemData(int i, int value) override { return Has(i) ? (data[std::size_t(i)] = value, 1) : 0; }
    int GetItemData(int i) const override { return Has(i) ? data[std::size_t(i)] : 0; }
    int SelectItem(int i) override { return Has(i) ? (selected = i, 1) : 0; }
};

std::unique_ptr<CKX_Setup> Drive(double mode, double type, double motor, double load, double mc, double lc) {
    auto s = MakeSetup(
        "DigitalReferenceConnector=0 isAnalogueReference=0 ControlMode PositionControlType MotorSensorType "
        "LoadSensorType MotorSensorConnector LoadSensorConnector",
        {mode, type, motor, load, mc, lc});
    s->Drive().sensorNames = {"None", "Encoder", "Tacho", "SinCos", "SSI", "BiSS"};
    s->Drive().feedbackNames = {"F1", "F2", "F3"};
    return s;
}

TEST(LoopOptions, OptionsFollowModeAndSensors) {
    const char* names[] = {
        "IsClosedPosition", "IsClosedSpeed", "IsClosedCurrent",          "LoadPosition",
        "MotorPosition",    "MotorSpeed",    "isPositionFeedbackOnLoad", "isPositionFeedbackOnMotor",
        "isSpeedFeedback"};
    const struct {
        double mode, type, motor, load, mc, lc;
        std::vector<std::string> options;  // in the order of names; empty: result 0, nothing written
    } cases[] = {
        {0, 0, 1, 0, 0, 0, {"1", "0", "1", "", "Encoder on F1", "", "0", "1", "0"}},
        {0, 1, 3, 1, 1, 2, {"1", "1", "1", "Encoder on F3", "SinCos on F2", "", "1", "1", "0"}},
        {1, 7, 2, 4, 0, 1, {"0", "1", "1", "SSI on F2", "", "Tacho on F1", "1", "0", "1"}},
        {3, 1, 1, 0, 0, 0, {}},
    };
    for (const auto& c : cases) {
        auto s = Drive(c.mode, c.type, c.motor, c.load, c.mc, c.lc);
        EXPECT_EQ(ComputeLoopOptions(*s), c.options.empty() ? 0 : 1) << c.mode << "/" << c.type;
        EXPECT_TRUE(!c.options.empty() || s->GetOptions().empty());
        for (std::size_t i = 0; i < c.options.size(); ++i)
            EXPECT_EQ(s->GetOptionNoError(names[i]), c.options[i]) << c.mode << " " << names[i];
    }
}

TEST(LoopOptions, SpeedForwardIsForcedExceptOverTheSpeedLoop) {
    const struct {
        double mode, type, acr, acrAfter, forwardAfter;
    } cases[] = {{0, 0, 0x0104, 0x4104, 1}, {2, 1, 0x4104, 0x4104, 1}, {0, 1, 0x0104, 0x0104, 0}};
    for (const auto& c : cases) {
        auto s = MakeSetup("SpeedForward=0 ControlMode PositionControlType ACR", {c.mode, c.type, c.acr});
        EXPECT_EQ(UpdateSpeedForward(*s), 1);
        EXPECT_EQ(ValueOf(*s, "ACR"), c.acrAfter) << c.mode;
        EXPECT_EQ(ValueOf(*s, "SpeedForward"), c.forwardAfter) << c.mode;
    }
    auto s = MakeSetup("SpeedForward=0 ControlMode=1 PositionControlType=0");
    ReportedErrors errors;
    EXPECT_EQ(UpdateSpeedForward(*s), 0);  // no "ACR"
    EXPECT_EQ(ValueOf(*s, "SpeedForward"), 0);
}

TEST(LoopOptions, DigitalReferenceConnectorChoice) {
    const std::vector<std::string> three = {"A 1,x", "\"B b\" 0,y 1,z", "C 1,digital"};
    const struct {
        std::vector<std::string> lines;
        double motor, load, mc, lc, current, noneAvailable, chosen, analogue;
        std::vector<std::string> items;
        int selected;
    } cases[] = {
        {three, 1, 0, 0, 0, 0, 0, 2, 0, {"B b", "C"}, 1},  // the last free connector, not the first
        // A tachogenerator takes no connector; the present one stays.
        {three, 2, 3, 0, 2, 0, 0, 0, 0, {"A", "B b"}, 0},
        {{"A 1,x", "B 1,x"}, 1, 1, 0, 1, 0, 1, 0, 1, {}, -1},  // every connector taken
    };
    for (std::size_t n = 0; n < std::size(cases); ++n) {
        const auto& c = cases[n];
        for (const bool withList : {true, false}) {
            SCOPED_TRACE(testing::Message() << "case " << n << (withList ? " with list" : " without list"));
            auto s = Drive(1, 0, c.motor, c.load, c.mc, c.lc);
            s->Drive().sensorLines = c.lines;
            s->SetParameterValueInBaseUnit("DigitalReferenceConnector", c.current);
            MemoryList list;
            int noneAvailable = -1;
            SelectDigitalReferenceConnector(*s, withList ? &list : nullptr, noneAvailable);
            EXPECT_EQ(noneAvailable, c.noneAvailable);
            EXPECT_EQ(ValueOf(*s, "DigitalReferenceConnector"), c.chosen);
            EXPECT_EQ(ValueOf(*s, "isAnalogueReference"), c.analogue);
            if (!withList) continue;
            EXPECT_EQ(list.texts, c.items);
            EXPECT_EQ(list.selected, c.selected);
            for (std::size_t i = 0; i < list.texts.size(); ++i)
                EXPECT_EQ(list.data[i], list.texts[i][0] - 'A');  // the datum is the connector
        }
    }
    // The reverse conversion moves a reference read on the encoder's connector.
    auto s = Drive(1, 0, 1, 0, 1, 0);
    s->Drive().sensorLines = {"A 1,x", "B 1,x"};
    Assign(*s, "SCR=0x8000");
    EXPECT_EQ(ReadDigitalReferenceConnector(*s), 1);
    EXPECT_EQ(ValueOf(*s, "DigitalReferenceConnector"), 0);
}

}  // namespace
