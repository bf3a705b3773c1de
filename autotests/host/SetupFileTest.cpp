#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "kx/Kernel.h"
#include "kx/SetupFile.h"

namespace {

const char* kSmall = R"({
  "description": "test drive",
  "helpFile": "small.qhc",
  "drive": {"motorSensors": [1, 4], "ssiFrequencies": {"kHz": [1000, 2000], "modes": [1, 2]},
            "ioPorts": [{"pin": 30, "port": 2}, {"pin": 31, "port": 3}], "adcBits": 12,
            "brakeOutputs": [{"port": 3, "name": "OUT3", "stage": "sink", "inverted": true},
                             {"port": 2, "name": "OUT2"}]},
  "parameters": [
    {"name": "PWMPER", "value": 1500, "min": 0, "max": 65535, "type": 2},
    {"name": "Imax_Prot", "value": 8.5, "min": 0.001, "max": 10, "unit": "mA", "precision": 4},
    {"name": "Free", "value": -1.25e-7}
  ],
  "variables": [{"name": "APOS", "unit": "rad", "type": 3, "address": 552}],
  "options": {"MaxFilters": "10"}
})";

std::string Message(std::string_view text) {
    try {
        kx::LoadSetupFromText(text, "bad.json");
    } catch (const kx::SetupFileError& e) {
        return e.what();
    }
    return "accepted";
}

TEST(SetupFile, RefusesMalformedOrInconsistentContent) {
    const struct {
        const char* text;
        const char* expected;  // a part of the message
    } cases[] = {
        {"", "bad.json: line 1, column 1: not valid JSON"},
        {"{\"parameters\": [\n {\"name\": \"A\", \"value\": 1,}\n]}", "bad.json: line 2, column"},
        {"{}", "\"parameters\" is missing"},
        {R"({"parameters": [{"value": 1}]})", "parameters[0]: \"name\" is missing"},
        {R"({"parameters": [{"name": "A", "value": "1"}]})", "(\"A\").value: expected a number"},
        {R"({"parameters": [{"name": "A", "value": 1}, {"name": "a", "value": 2}]})",
         "parameters[1] (\"a\"): the name is used twice"},
        {R"({"parameters": [{"name": "A", "value": 1, "min": 5, "max": 2}]})",
         "the minimum 5.0 is above the maximum 2.0"},
        {R"({"parameters": [{"name": "A", "value": 1, "unit": "parsec"}]})", "unknown unit \"parsec\""},
        {R"({"parameters": [{"name": "A", "value": 1, "type": 9}]})", "outside 0..6"},
        {R"({"parameters": [], "options": {"X": 1}})", "options.\"X\": expected a text"},
        {R"({"parameters": [], "drive": {"adcBits": 40}})", "drive.adcBits: the value 40 is outside 1..16"},
        {R"({"parameters": [], "drive": {"ssiFrequencies": {"kHz": [1000, 2000], "modes": [1]}}})",
         "\"kHz\" holds 2 entries but \"modes\" 1"},
        {R"({"parameters": [], "drive": {"brakeOutputs": [{"port": 1, "name": "OUT1"}]}})",
         "drive.brakeOutputs[0]: port 1 is not in \"ioPorts\""},
        {R"({"parameters": [], "drive": {"ioPorts": [{"pin": 4, "port": 1}],
             "brakeOutputs": [{"port": 1, "name": "A"}, {"port": 1, "name": "B"}]}})",
         "drive.brakeOutputs[1]: port 1 is listed twice"},
        {R"({"parameters": [], "drive": {"ioPorts": [{"pin": 4, "port": 1}],
             "brakeOutputs": [{"port": 1, "name": "A", "stage": "push-pull"}]}})",
         "brakeOutputs[0].stage: expected \"source\" or \"sink\", found \"push-pull\""},
        {R"({"parameters": [], "version": 7})", "written by a newer program"},
        {R"({"parameters": [], "extra": 1})", "extra: unknown section"},
    };
    for (const auto& c : cases) {
        const std::string message = Message(c.text);
        EXPECT_NE(message.find(c.expected), std::string::npos) << c.text << "\n  gave: " << message;
    }
}

// Saving and loading give the same setup. The help file name goes with a copy
// and an assignment; a setup without one saves no key and loads back without one.
TEST(SetupFile, ReadsEverySectionAndSavesTheSameSetup) {
    const auto setup = kx::LoadSetupFromText(kSmall, "small.json");
    EXPECT_EQ(setup->GetDescription(), "test drive");
    EXPECT_EQ(GetHelpFileOfGUI(*setup), "small.qhc");
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("PWMPER"), 1500);
    const CKX_Parameter* p = setup->FindParameter("Imax_Prot");
    EXPECT_EQ(std::tuple(p->GetUnitName(), p->GetBaseUnitName(), p->GetPrecision(), p->GetMaxInBaseUnit()),
              std::tuple("mA", "A", 4, 10.0));
    EXPECT_EQ(setup->FindParameter("PWMPER")->GetSizeInWords(), 1);
    EXPECT_EQ(setup->FindVariable("APOS", 1)->GetAddress(), 552);
    EXPECT_EQ(setup->GetIntOption("MaxFilters"), 10);
    EXPECT_TRUE(setup->HasDLMotorSensor(4, false));
    EXPECT_FALSE(setup->HasDLMotorSensor(2, false));
    EXPECT_EQ(std::tuple(setup->GetIOPortFromPin(30), setup->GetIOPinFromPort(2), setup->GetIOPinFromPort(9)),
              std::tuple(2, 30, -1));
    EXPECT_EQ(Compute_ADCMaxValue(setup.get()), 65520u);  // 12 bits, left-aligned
    std::vector<unsigned> kHz, modes;
    EXPECT_EQ(setup->GetSSIFreqList(kHz, modes), 2);
    EXPECT_EQ(setup->GetNumberOfBrakeOutputs(), 2);
    EXPECT_EQ(setup->IsBrakePortEnable(2) & kx::kBrakePortStageMask, 0x10);  // source unless told

    const std::string once = kx::SaveSetupToText(*setup);
    const auto second = kx::LoadSetupFromText(once, "once.json");
    EXPECT_EQ(kx::SaveSetupToText(*second), once);
    EXPECT_EQ(second->GetParameterValueInBaseUnit("Free"), -1.25e-7);
    EXPECT_EQ(second->GetHelpFile(), "small.qhc");
    // A value that a later limit left outside its range survives the trip.
    setup->FindParameter("Imax_Prot")->SetMaxInBaseUnit(5);
    const auto third = kx::LoadSetupFromText(kx::SaveSetupToText(*setup), "third.json");
    EXPECT_EQ(third->GetParameterValueInBaseUnit("Imax_Prot"), 8.5);
    EXPECT_EQ(third->FindParameter("Imax_Prot")->GetMaxInBaseUnit(), 5);

    const CKX_Setup copy(*setup);
    CKX_Setup assigned;
    assigned = copy;
    EXPECT_EQ(GetHelpFileOfGUI(copy), "small.qhc");
    EXPECT_EQ(GetHelpFileOfGUI(assigned), "small.qhc");
    assigned.SetHelpFile("");
    EXPECT_EQ(copy.GetHelpFile(), "small.qhc");  // the copy is a setup of its own
    const std::string text = kx::SaveSetupToText(assigned);
    EXPECT_EQ(text.find("helpFile"), std::string::npos);
    EXPECT_EQ(GetHelpFileOfGUI(*kx::LoadSetupFromText(text, "none.json")), "");
}

}  // namespace
