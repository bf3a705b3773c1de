// The motor databases: the standard one as shipped, applying a motor, and the
// USER file in a temporary XDG_DATA_HOME: saving, deleting, an unreadable file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <tuple>

#include "DefaultSetup.h"
#include "kx/MotorDatabase.h"

namespace {

namespace fs = std::filesystem;

std::optional<std::string> Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

auto Values(const kx::MotorData& m) { return std::tuple(m.In, m.ImaxM, m.K, m.R, m.L, m.Jm); }

class MotorDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("dcdrive-motors-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        ::setenv("XDG_DATA_HOME", m_dir.c_str(), 1);
    }
    void TearDown() override {
        for (const auto& [name, value] : {std::pair{"XDG_DATA_HOME", m_xdg}, std::pair{"HOME", m_home}})
            value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
        fs::remove_all(m_dir);
    }
    fs::path UserFile() const { return m_dir / "dcdrive" / "motors.json"; }
    static std::string Read(const fs::path& path) {
        std::ostringstream s;
        s << std::ifstream(path).rdbuf();
        return s.str();
    }
    static kx::MotorData Motor(const std::string& name) { return {name, 2.0, 8.0, 0.05, 1.2, 0.0004, 2e-5}; }

    const std::optional<std::string> m_xdg = Env("XDG_DATA_HOME"), m_home = Env("HOME");
    fs::path m_dir;
};

// A brushed DC motor's electrical time constant L/R lies between 0.02 and
// 20 ms, its mechanical one Jm*R/K^2 between 1 and 50 ms, and its peak
// current is 2 to 10 times its nominal one.
TEST_F(MotorDatabaseTest, StandardMotorsArePhysicalAndConsistent) {
    kx::MotorDatabase db(dcdrive::StandardMotorsJson());
    ASSERT_GE(db.List().size(), 6u);
    const auto within = [](double value, double low, double high) { return low <= value && value <= high; };
    for (const auto& [m, database] : db.List()) {
        SCOPED_TRACE(m.name);
        EXPECT_EQ(database, kx::MotorDatabaseKind::Standard);
        EXPECT_EQ(kx::CheckMotorData(m), "");
        EXPECT_PRED3(within, m.L / m.R, 2e-5, 2e-2);
        EXPECT_PRED3(within, m.Jm * m.R / (m.K * m.K), 1e-3, 5e-2);
        EXPECT_PRED3(within, m.ImaxM / m.In, 2.0, 10.0);
    }
}

TEST_F(MotorDatabaseTest, AppliedMotorGoesIntoTheSetupInBaseUnits) {
    kx::MotorDatabase db(dcdrive::StandardMotorsJson());
    const auto setup = dcdrive::LoadDefaultSetup();
    // A motor whose nominal current lies above the setup's present peak current.
    const kx::MotorEntry* big = nullptr;
    for (const kx::MotorEntry& e : db.List())
        if (e.motor.In > setup->GetParameterValueInBaseUnit("ImaxM")) big = db.Find(e.motor.name);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(kx::ApplyMotor(*setup, big->motor), "");
    EXPECT_EQ(Values(kx::MotorFromSetup(*setup, big->motor.name)), Values(big->motor));
    // Limits of the setup that refuse a value are named.
    setup->FindParameter("K")->SetMaxInBaseUnit(0.01);
    EXPECT_EQ(kx::ApplyMotor(*setup, big->motor), "\"K\"");
    setup->RemoveParameter("Jm");
    EXPECT_EQ(kx::ApplyMotor(*setup, big->motor), "\"K\", \"Jm\"");
}

TEST_F(MotorDatabaseTest, SavedMotorIsThereAfterReloadInTheDataFolder) {
    EXPECT_EQ(kx::DefaultUserMotorDatabasePath(), UserFile().string());
    {
        kx::MotorDatabase db(dcdrive::StandardMotorsJson());
        EXPECT_FALSE(fs::exists(UserFile()));  // no file until the first save
        EXPECT_TRUE(db.AddUserMotor(Motor("  Conveyor motor ")).ok);
        EXPECT_TRUE(db.AddUserMotor(Motor("Spare")).ok);
    }
    kx::MotorDatabase db(dcdrive::StandardMotorsJson());
    EXPECT_TRUE(db.TakeReports().empty());
    const kx::MotorEntry* found = db.Find("conveyor MOTOR");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->database, kx::MotorDatabaseKind::User);
    EXPECT_EQ(found->motor.name, "Conveyor motor");
    EXPECT_EQ(Values(found->motor), Values(Motor("")));
    EXPECT_EQ(db.List().back().motor.name, "Spare");  // USER motors follow the standard ones
    EXPECT_EQ(db.List().front().database, kx::MotorDatabaseKind::Standard);
    // The save left no temporary file beside the database.
    for (const auto& entry : fs::directory_iterator(UserFile().parent_path()))
        EXPECT_EQ(entry.path().filename(), "motors.json");
    // A relative XDG_DATA_HOME is ignored: the home folder's default applies.
    ::setenv("XDG_DATA_HOME", "relative/data", 1);
    ::setenv("HOME", m_dir.c_str(), 1);
    EXPECT_EQ(kx::DefaultUserMotorDatabasePath(), (m_dir / ".local/share/dcdrive/motors.json").string());
}

TEST_F(MotorDatabaseTest, RefusesBadAdditionsAndDeletions) {
    kx::MotorDatabase db(dcdrive::StandardMotorsJson());
    ASSERT_TRUE(db.AddUserMotor(Motor("Mine")).ok);
    const std::string standard = db.List().front().motor.name;
    const auto with = [](double kx::MotorData::*field, double value) {
        kx::MotorData m = Motor("Odd");
        m.*field = value;
        return m;
    };
    const struct {
        bool deletion;  // else added
        kx::MotorData motor;
        const char* message;
    } cases[] = {
        {false, Motor("MINE"), "A motor named \"MINE\" is already in the USER database."},
        {false, with(&kx::MotorData::In, 0), "the nominal current \"In\" must be a positive number"},
        {false, with(&kx::MotorData::ImaxM, 1), "peak current \"ImaxM\" is below the nominal current \"In\""},
        {false, with(&kx::MotorData::Jm, INFINITY), "the motor inertia \"Jm\" must be a positive number"},
        {true, Motor(standard), "is a motor of the standard database, which cannot be changed."},
        {true, Motor("Nobody's"), "There is no motor named \"Nobody's\" in the USER database."},
    };
    const std::string before = Read(UserFile());
    for (const auto& c : cases) {
        const auto result = c.deletion ? db.DeleteUserMotor(c.motor.name) : db.AddUserMotor(c.motor);
        EXPECT_FALSE(result.ok) << c.motor.name;
        EXPECT_PRED2(Contains, result.message, c.message);
    }
    EXPECT_EQ(Read(UserFile()), before);
    EXPECT_NE(db.Find(standard), nullptr);

    EXPECT_TRUE(db.DeleteUserMotor(" mine").ok);  // a name in any case, blanks around it
    EXPECT_EQ(db.Find("Mine"), nullptr);
}

TEST_F(MotorDatabaseTest, FailedSaveKeepsTheDatabaseAsItWas) {
    // The data folder's "dcdrive" is a file: no database can be written there.
    std::ofstream(m_dir / "dcdrive") << "in the way";
    kx::MotorDatabase db(dcdrive::StandardMotorsJson());
    const auto result = db.AddUserMotor(Motor("Mine"));
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.message.starts_with("The USER motor database could not be saved:")) << result.message;
    EXPECT_EQ(db.Find("Mine"), nullptr);
}

TEST_F(MotorDatabaseTest, UnreadableUserFileIsReportedOnceAndNeverOverwritten) {
    const std::string a = R"({"motors": [{"name": "A", "In": 2, "ImaxM": 8, "K": 0.05, "R": 1, )";
    const struct {
        std::string text;
        const char* problem;
    } cases[] = {
        {"{\"motors\": [", "not valid JSON"},
        {a + R"("L": 0.001}]})", "\"Jm\" is missing"},
        {a + R"("L": 50, "Jm": 1e-5}]})", "the inductance \"L\" must not exceed 10"},
        {a + R"("L": 1, "Jm": 1e-5}, {"name": "a", "In": 1, "ImaxM": 2, "K": 1, "R": 1, "L": 1, "Jm": 1}]})",
         "motors[1] (\"a\"): the name is used twice"},
        {R"({"format": "dcdrive-setup", "motors": []})", "not a motor database"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        fs::create_directories(UserFile().parent_path());
        std::ofstream(UserFile()) << c.text;
        kx::MotorDatabase db(dcdrive::StandardMotorsJson());
        EXPECT_TRUE(db.IsUserDatabaseUnreadable());
        const auto reports = db.TakeReports();
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_PRED2(Contains, reports[0],
                     "The USER motor database \"" + UserFile().string() + "\" cannot be read: ");
        EXPECT_PRED2(Contains, reports[0], c.problem);
        EXPECT_TRUE(db.TakeReports().empty());
        // Saving and deleting are refused and the file stays as it is.
        const auto added = db.AddUserMotor(Motor("New"));
        EXPECT_FALSE(added.ok);
        EXPECT_PRED2(Contains, added.message, "cannot be read and is left as it is");
        EXPECT_FALSE(db.DeleteUserMotor("A").ok);
        EXPECT_EQ(Read(UserFile()), c.text);
        EXPECT_EQ(fs::directory_iterator(UserFile().parent_path())->path(), UserFile());
        // The standard database works on.
        ASSERT_FALSE(db.List().empty());
        EXPECT_EQ(db.List().back().database, kx::MotorDatabaseKind::Standard);
    }
}

}  // namespace
