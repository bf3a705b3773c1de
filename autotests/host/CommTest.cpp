// The host's drive link: raw values of each storage type, the register image,
// program files, variable access through a link and the virtual drive's faults.
#include <gtest/gtest.h>
#include <unistd.h>

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

// A parameter keeps its type's steps (halves away from zero), never saturated
// (its limits do that), and refuses NaN keeping its 0; the raw word for the
// drive is saturated to the type's width.
TEST(Comm, RawValuesOfEachTypeRoundAndSaturate) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), huge = std::numeric_limits<double>::max();
    const struct {
        int type;
        double value, stored;  // what a parameter of the type keeps
        std::int64_t raw;      // ToRaw(value)
        double back;           // FromRaw(raw)
    } cases[] = {
        {KX_TYPE_INT16, 12.4, 12, 12, 12.0}, {KX_TYPE_INT16, 2.5, 3, 3, 3.0},
        {KX_TYPE_INT16, -12.5, -13, -13, -13.0}, {KX_TYPE_INT16, 40000.0, 40000, 32767, 32767.0},
        {KX_TYPE_UINT16, -3.0, -3, 0, 0.0}, {KX_TYPE_UINT32, 2147483.648, 2147484, 2147484, 2147484.0},
        {KX_TYPE_UINT32, 5e9, 5e9, 4294967295LL, 4294967295.0},
        {KX_TYPE_FIXED, 1.0 / 3, 21845.0 / 65536, 21845, 21845.0 / 65536}, {KX_TYPE_FIXED, nan, 0, 0, 0.0},
        {KX_TYPE_FIXED, huge, huge, 2147483647, 2147483647.0 / 65536.0},
        {KX_TYPE_FIXED, -1e305, -1e305, -2147483648LL, -32768.0}, {KX_TYPE_FLOAT, 0.5, 0.5, 0x3F000000, 0.5},
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

// What the image leaves out (host-side values, lower-case names); the drive tests run on the rest.
TEST(Comm, RegisterImageHoldsTheIntegerRegistersOfTheDefaultSetup) {
    const auto image = kx::RegisterImage(*dcdrive::LoadDefaultSetup());
    EXPECT_EQ(image.at("SWNEGLS"), -200000);
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
    const std::string symbols = R"({"program": "P", "symbols": [)",
                      a = R"({"name": "a", "address": 1, "type": 1}, )";
    const struct {
        std::string text;
        const char* says;
    } cases[] = {
        {symbols, "not a JSON text: line 1"},
        {R"({"symbols": []})", "\"program\": expected the program's name"},
        {R"({"program": "P", "symbols": {}})", "\"symbols\": expected an array"},
        {symbols + R"({"address": 1, "type": 1}]})", "symbols[0]: \"name\""},
        {symbols + a + R"({"name": "b", "address": -4, "type": 1}]})", "symbols[1]: \"address\""},
        {symbols + a + R"({"name": "A", "address": 2, "type": 1}]})",
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

struct ActiveLink {
    explicit ActiveLink(kx::DriveLink* link) { CKX_Comm::SetActiveLink(link); }
    ~ActiveLink() { CKX_Comm::SetActiveLink(nullptr); }
};

// The virtual drive of the default plant behind the active link.
struct VirtualLink : ::testing::Test {
    static vdrive::Plant DefaultPlant() {
        vdrive::Plant plant;
        std::string error;
        EXPECT_TRUE(vdrive::ParsePlant(dcdrive::DefaultPlantJson(), plant, error)) << error;
        return plant;
    }
    vdrive::VirtualDrive drive{DefaultPlant()};
    kx::VirtualDriveLink link{drive};
    const ActiveLink active{&link};
};

// A variable goes through the active link in its own storage type; without a
// place in the drive, an answer or a link it fails with the reason and keeps its value.
TEST_F(VirtualLink, VariablesReadAndWriteThroughTheActiveLink) {
    CKX_Variable fixed("b0", "", KX_TYPE_FIXED, 0x400C), word("b0", "", KX_TYPE_INT32, 0x400C);
    fixed.SetValueInInternalUnit(-2.25);
    ASSERT_EQ(fixed.WriteToChip(), 1) << CKX_Comm::GetLastErrorText();
    ASSERT_EQ(word.ReadFromChip(), 1);
    EXPECT_EQ(word.GetValueInInternalUnit(), -147456);
    word.SetValueInInternalUnit(98304);
    ASSERT_EQ(word.WriteToChip(), 1);
    ASSERT_EQ(fixed.ReadFromChip(), 1);
    EXPECT_DOUBLE_EQ(fixed.GetValueInInternalUnit(), 1.5);

    CKX_Variable hostSide("Shown", "", KX_TYPE_REAL, 700), nowhere("Nowhere", "", KX_TYPE_INT16, -1),
        unknown("Unknown", "", KX_TYPE_INT16, 3);
    for (const auto& [variable, says] : {std::pair{&hostSide, "\"Shown\" has no place"},
                                         {&nowhere, "\"Nowhere\" has no place"},
                                         {&unknown, "no variable \"Unknown\" at address 3"}}) {
        EXPECT_EQ(variable->ReadFromChip(), 0);
        EXPECT_TRUE(Contains(CKX_Comm::GetLastErrorText(), says)) << CKX_Comm::GetLastErrorText();
    }
    drive.SetFault(vdrive::Fault::CommDown, true);
    EXPECT_EQ(fixed.ReadFromChip(), 0);
    EXPECT_EQ(CKX_Comm::GetLastErrorText(), kx::kCommDownText);
    EXPECT_DOUBLE_EQ(fixed.GetValueInInternalUnit(), 1.5);  // kept
    EXPECT_EQ(fixed.WriteToChip(), 0);
    CKX_Comm::SetActiveLink(nullptr);
    EXPECT_EQ(fixed.ReadFromChip(), 0);
    EXPECT_EQ(CKX_Comm::GetLastErrorText(), std::string(kx::kNoDriveText) + " Cannot read \"b0\".");
    EXPECT_EQ(CKX_Comm::ResetActiveBoard(), 0);
}

TEST_F(VirtualLink, CommDownFailsEveryAccessAndNoProgramHidesTheProgramFiles) {
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
    EXPECT_TRUE(Contains(coff.GetError(), coff.GetFileName() + ": no such program file")) << coff.GetError();
    drive.SetFault(vdrive::Fault::NoProgram, false);
    EXPECT_EQ(kx::ProgramPath(program), path);
}

// The drive runs in whole PWM periods (1e-4 s); a host clock that starts
// again from 0 after a reset at 2 s does not take the drive back.
TEST_F(VirtualLink, TheDriveFollowsHostTimeFromItsLastReset) {
    std::string error;
    link.AdvanceTo(2.0);
    EXPECT_NEAR(drive.Now(), 2.0, 1e-4);
    ASSERT_TRUE(link.Reset(error));
    EXPECT_EQ(drive.Now(), 0.0);
    for (const auto& [host, now] : {std::pair{2.5, 0.5}, {0.0, 0.5}, {0.25, 0.75}}) {
        link.AdvanceTo(host);
        EXPECT_NEAR(drive.Now(), now, 1e-4) << host;
    }
}

}  // namespace
