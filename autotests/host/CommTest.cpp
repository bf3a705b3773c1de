// The host's drive link: what a parameter and a raw word hold of each storage
// type, the register image
// a test downloads, program files and their symbol tables, variable access
// through a link (its failure texts) and through the virtual drive, and the
// faults that the link plays.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include "DefaultSetup.h"
#include "drive/VirtualDrive.h"
#include "kx/Comm.h"
#include "kx/Setup.h"
#include "kx/VirtualDriveLink.h"

namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A parameter keeps its type's steps, never saturated (its limits do that);
// the raw word for the drive is saturated to the type's width.
TEST(Comm, RawValuesOfEachTypeRoundAndSaturate) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), huge = std::numeric_limits<double>::max();
    const struct {
        int type;
        double value, stored;  // what a parameter of the type keeps
        std::int64_t raw;      // ToRaw(value)
        double back;           // FromRaw(raw)
    } cases[] = {
        {KX_TYPE_INT16, 12.4, 12, 12, 12.0},
        {KX_TYPE_INT16, 2.5, 3, 3, 3.0},
        {KX_TYPE_INT16, -12.5, -13, -13, -13.0},  // half away from zero
        {KX_TYPE_INT16, 40000.0, 40000, 32767, 32767.0},
        {KX_TYPE_UINT16, -3.0, -3, 0, 0.0},
        {KX_TYPE_UINT32, 2147483.648, 2147484, 2147484, 2147484.0},
        {KX_TYPE_UINT32, 5e9, 5e9, 4294967295LL, 4294967295.0},
        {KX_TYPE_FIXED, 1.0 / 3, 21845.0 / 65536, 21845, 21845.0 / 65536},
        {KX_TYPE_FIXED, 40000.0, 40000, 2147483647, 2147483647.0 / 65536.0},
        {KX_TYPE_FIXED, huge, huge, 2147483647, 2147483647.0 / 65536.0},
        {KX_TYPE_FIXED, -1e305, -1e305, -2147483648LL, -32768.0},
        {KX_TYPE_FIXED, nan, 0, 0, 0.0},  // a parameter refuses it and keeps its 0
        {KX_TYPE_FLOAT, 0.5, 0.5, 0x3F000000, 0.5},
        {KX_TYPE_FLOAT, 0.1, static_cast<double>(0.1f), 0x3DCCCCCD, static_cast<double>(0.1f)},
        {KX_TYPE_REAL, 16383.5, 16383.5, 16384, 16384.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "type " << c.type << " value " << c.value);
        CKX_Parameter p("KPI", "", c.type);
        p.SetValueInBaseUnit(c.value);
        EXPECT_EQ(p.GetValueInBaseUnit(), c.stored);
        EXPECT_EQ(kx::ToRaw(c.type, c.value), c.raw);
        EXPECT_DOUBLE_EQ(kx::FromRaw(c.type, c.raw), c.back);
    }
    // A raw word read from the drive is taken in its type's width.
    EXPECT_EQ(kx::FromRaw(KX_TYPE_INT16, 0xFFFF), -1.0);
    EXPECT_EQ(kx::FromRaw(KX_TYPE_UINT16, -1), 65535.0);
}

TEST(Comm, RegisterImageHoldsTheIntegerRegistersOfTheDefaultSetup) {
    const auto setup = dcdrive::LoadDefaultSetup();
    const auto image = kx::RegisterImage(*setup);
    EXPECT_EQ(image.at("PWMPER"), 1500);
    EXPECT_EQ(image.at("SLPER"), 20);
    EXPECT_EQ(image.at("SWNEGLS"), -200000);
    // Host-side values and lower-case names are no registers.
    EXPECT_EQ(image.count("R"), 0u);
    for (const auto& [name, raw] : image)
        EXPECT_EQ(name.find_first_of("abcdefghijklmnopqrstuvwxyz"), std::string::npos) << name;
}

// A program file of that text in a fresh folder.
std::filesystem::path WriteProgramFile(const std::string& text) {
    const auto dir = std::filesystem::temp_directory_path() / ("dcdrive-coff-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "Program.json") << text;
    return dir / "Program.json";
}

TEST(Comm, AMalformedProgramFileIsRefusedWithThePlaceAndWhatIsWrong) {
    const struct {
        const char* text;
        const char* says;
    } cases[] = {
        {"{\"program\": \"P\", \"symbols\": [", "not a JSON text: line 1"},
        {R"({"symbols": []})", "\"program\": expected the program's name"},
        {R"({"program": "P", "symbols": {}})", "\"symbols\": expected an array"},
        {R"({"program": "P", "symbols": [{"address": 1, "type": 1}]})", "symbols[0]: \"name\""},
        {R"({"program": "P", "symbols": [{"name": "a", "address": 1, "type": 1},
            {"name": "b", "address": -4, "type": 1}]})",
         "symbols[1]: \"address\""},
        {R"({"program": "P", "symbols": [{"name": "a", "address": 1, "type": 1},
            {"name": "A", "address": 2, "type": 1}]})",
         "symbols[1]: the name \"A\" is given twice"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        CKX_CoffFormat coff;
        const std::string path = WriteProgramFile(c.text).string();
        coff.SetFileName(path);
        EXPECT_EQ(coff.ReadCoff(), 0);
        EXPECT_FALSE(coff.IsLoaded());
        EXPECT_TRUE(coff.GetSymbols().empty());
        EXPECT_TRUE(Contains(coff.GetError(), path + ": ")) << coff.GetError();
        EXPECT_TRUE(Contains(coff.GetError(), c.says)) << coff.GetError();
    }
    CKX_CoffFormat missing;
    missing.SetFileName((WriteProgramFile("").parent_path() / "Nothing.json").string());
    EXPECT_EQ(missing.ReadCoff(), 0);
    EXPECT_TRUE(Contains(missing.GetError(), "Nothing.json: no such program file")) << missing.GetError();
    std::filesystem::remove_all(WriteProgramFile("").parent_path());
}

// Each program the drive runs has its file in the host's program folder,
// with the drive's own symbol table.
TEST(Comm, ProgramFilesAreFoundAndMatchTheDrivesPrograms) {
    const auto programs = vdrive::ProgramNames();
    ASSERT_FALSE(programs.empty());
    for (const std::string& program : programs) {
        SCOPED_TRACE(program);
        CKX_CoffFormat coff;
        coff.SetFileName(kx::ProgramPath(program));
        ASSERT_EQ(coff.ReadCoff(), 1) << coff.GetError();
        EXPECT_EQ(coff.GetProgramName(), program);
        const auto symbols = vdrive::ProgramSymbols(program);
        EXPECT_EQ(coff.GetSymbols().size(), symbols.size());
        for (const vdrive::Symbol& symbol : symbols) {
            const kx::DriveSymbol* read = coff.FindSymbol(kx::LowerName(symbol.name));  // any letter case
            ASSERT_NE(read, nullptr) << symbol.name;
            EXPECT_EQ(read->address, symbol.address) << symbol.name;
            EXPECT_EQ(read->type, static_cast<int>(symbol.type)) << symbol.name;
        }
    }
}

// A link that answers from a table and fails with its own text on demand.
class TableLink : public kx::DriveLink {
public:
    bool Reset(std::string&) override { return true; }
    bool Download(const std::map<std::string, std::int64_t>&, std::string&) override { return true; }
    bool Start(const std::string&, std::string&) override { return true; }
    bool Stop(std::string&) override { return true; }
    bool AxisOn(bool& on, std::string&) override { return on = false, true; }
    bool Read(const kx::DriveSymbol& symbol, std::int64_t& raw, std::string& error) override {
        if (!failure.empty()) return error = failure, false;
        raw = memory[symbol.address];
        return true;
    }
    bool Write(const kx::DriveSymbol& symbol, std::int64_t raw, std::string& error) override {
        if (!failure.empty()) return error = failure, false;
        memory[symbol.address] = raw;
        return true;
    }
    bool ArmLogger(const kx::LogSettings&, std::string&) override { return true; }
    bool Upload(std::vector<kx::LogPoint>&, std::string&) override { return true; }
    std::map<int, std::int64_t> memory;
    std::string failure;
};

struct ActiveLink {
    explicit ActiveLink(kx::DriveLink* link) { CKX_Comm::SetActiveLink(link); }
    ~ActiveLink() { CKX_Comm::SetActiveLink(nullptr); }
};

TEST(Comm, VariablesReadAndWriteThroughTheActiveLink) {
    CKX_Variable speed("ASPD", "", KX_TYPE_FIXED, 598);
    CKX_Variable hostSide("Shown", "", KX_TYPE_REAL, 700);
    CKX_Variable nowhere("Nowhere", "", KX_TYPE_INT16, -1);

    CKX_Comm::SetActiveLink(nullptr);
    EXPECT_EQ(speed.ReadFromChip(), 0);
    EXPECT_TRUE(Contains(CKX_Comm::GetLastErrorText(), kx::kNoDriveText));
    EXPECT_TRUE(Contains(CKX_Comm::GetLastErrorText(), "\"ASPD\""));
    EXPECT_EQ(CKX_Comm::ResetActiveBoard(), 0);

    TableLink link;
    const ActiveLink active(&link);
    link.memory[598] = 98304;
    ASSERT_EQ(speed.ReadFromChip(), 1) << CKX_Comm::GetLastErrorText();
    EXPECT_DOUBLE_EQ(speed.GetValueInInternalUnit(), 1.5);
    speed.SetValueInInternalUnit(-2.25);
    ASSERT_EQ(speed.WriteToChip(), 1);
    EXPECT_EQ(link.memory[598], -147456);

    for (CKX_Variable* variable : {&hostSide, &nowhere}) {
        EXPECT_EQ(variable->ReadFromChip(), 0);
        EXPECT_TRUE(Contains(CKX_Comm::GetLastErrorText(), "\"" + variable->GetName() + "\" has no place"))
            << CKX_Comm::GetLastErrorText();
    }
    link.failure = "the cable is unplugged";
    EXPECT_EQ(speed.ReadFromChip(), 0);
    EXPECT_EQ(CKX_Comm::GetLastErrorText(), "the cable is unplugged");
    EXPECT_DOUBLE_EQ(speed.GetValueInInternalUnit(), -2.25);  // kept
    EXPECT_EQ(speed.WriteToChip(), 0);
}

vdrive::Plant DefaultPlant() {
    vdrive::Plant plant;
    std::string error;
    EXPECT_TRUE(vdrive::ParsePlant(dcdrive::DefaultPlantJson(), plant, error)) << error;
    return plant;
}

TEST(Comm, VariablesOfTheDefaultSetupReachTheVirtualDrive) {
    vdrive::VirtualDrive drive(DefaultPlant());
    kx::VirtualDriveLink link(drive);
    const ActiveLink active(&link);
    auto setup = dcdrive::LoadDefaultSetup();
    CKX_Variable* varI2 = setup->FindVariable("var_i2");
    ASSERT_NE(varI2, nullptr);
    varI2->SetValueInInternalUnit(-1234);
    ASSERT_EQ(varI2->WriteToChip(), 1) << CKX_Comm::GetLastErrorText();
    varI2->SetValueInInternalUnit(0);
    ASSERT_EQ(varI2->ReadFromChip(), 1);
    EXPECT_EQ(varI2->GetValueInInternalUnit(), -1234);

    // The motor shaft turned by hand shows in its position register.
    CKX_Variable* position = setup->FindVariable("APOS_MT");
    ASSERT_NE(position, nullptr);
    ASSERT_EQ(position->ReadFromChip(), 1);
    const double before = position->GetValueInInternalUnit();
    drive.TurnShaft(false, 2.0 * 3.14159265358979, 0.1);
    link.AdvanceTo(0.2);
    ASSERT_EQ(position->ReadFromChip(), 1);
    EXPECT_NEAR(std::fabs(position->GetValueInInternalUnit() - before), 4.0 * drive.GetPlant().encoder.lines,
                2.0);

    CKX_Variable unknown("Unknown", "", KX_TYPE_INT16, 3);
    EXPECT_EQ(unknown.ReadFromChip(), 0);
    EXPECT_TRUE(Contains(CKX_Comm::GetLastErrorText(), "no variable \"Unknown\" at address 3"))
        << CKX_Comm::GetLastErrorText();
}

TEST(Comm, CommDownFailsEveryAccessAndNoProgramHidesTheProgramFiles) {
    vdrive::VirtualDrive drive(DefaultPlant());
    kx::VirtualDriveLink link(drive);
    const ActiveLink active(&link);
    const std::string program = vdrive::ProgramNames().front();
    const std::string path = kx::ProgramPath(program);
    EXPECT_TRUE(std::filesystem::exists(path)) << path;

    drive.SetFault(vdrive::Fault::CommDown, true);
    std::string error;
    std::int64_t raw = 0;
    bool on = true;
    std::vector<kx::LogPoint> points;
    const kx::DriveSymbol mer{"MER", 649, KX_TYPE_UINT16};
    const std::vector<std::pair<const char*, bool>> accesses = {
        {"Reset", link.Reset(error)},           {"Download", link.Download({{"PWMPER", 1500}}, error)},
        {"Start", link.Start(program, error)},  {"Stop", link.Stop(error)},
        {"AxisOn", link.AxisOn(on, error)},     {"Read", link.Read(mer, raw, error)},
        {"Write", link.Write(mer, 0, error)},   {"ArmLogger", link.ArmLogger({}, error)},
        {"Upload", link.Upload(points, error)},
    };
    for (const auto& [name, ok] : accesses) EXPECT_FALSE(ok) << name;
    EXPECT_EQ(error, kx::kCommDownText);
    EXPECT_EQ(CKX_Comm::ResetActiveBoard(), 0);
    EXPECT_EQ(CKX_Comm::GetLastErrorText(), kx::kCommDownText);
    drive.SetFault(vdrive::Fault::CommDown, false);
    EXPECT_EQ(CKX_Comm::ResetActiveBoard(), 1);

    drive.SetFault(vdrive::Fault::NoProgram, true);
    CKX_CoffFormat coff;
    coff.SetFileName(kx::ProgramPath(program));
    EXPECT_FALSE(std::filesystem::exists(coff.GetFileName())) << coff.GetFileName();
    EXPECT_EQ(coff.ReadCoff(), 0);
    EXPECT_TRUE(Contains(coff.GetError(), "no such program file")) << coff.GetError();
    drive.SetFault(vdrive::Fault::NoProgram, false);
    EXPECT_EQ(kx::ProgramPath(program), path);
}

TEST(Comm, TheDriveFollowsHostTimeFromItsLastReset) {
    vdrive::VirtualDrive drive(DefaultPlant());
    kx::VirtualDriveLink link(drive);
    std::string error;
    // The drive runs in whole PWM periods.
    const double kStep = 1e-4;
    link.AdvanceTo(2.0);
    EXPECT_NEAR(drive.Now(), 2.0, kStep);
    ASSERT_TRUE(link.Reset(error));
    EXPECT_EQ(drive.Now(), 0.0);
    link.AdvanceTo(2.5);
    EXPECT_NEAR(drive.Now(), 0.5, kStep);
    // A host clock that starts again from 0 does not take the drive back.
    link.AdvanceTo(0.0);
    EXPECT_NEAR(drive.Now(), 0.5, kStep);
    link.AdvanceTo(0.25);
    EXPECT_NEAR(drive.Now(), 0.75, kStep);
}

}  // namespace
