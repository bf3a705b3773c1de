#include "kx/MotorDatabase.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <utility>

#include "kx/SetupFile.h"

namespace kx {
namespace {

using Json = nlohmann::ordered_json;
constexpr const char* kFormat = "dcdrive-motors";
constexpr int kVersion = 1;
// A motor database is a short list: anything larger is not one.
constexpr std::uintmax_t kMaxFileSize = 4 * 1024 * 1024;

// One motor value: its key, what it is, its upper bound and where it lives.
struct Field {
    const char* key;
    const char* what;
    double max;
    double MotorData::*member;
};
constexpr Field kFields[] = {
    {"In", "nominal current", 1000.0, &MotorData::In}, {"ImaxM", "peak current", 1000.0, &MotorData::ImaxM},
    {"K", "torque constant", 100.0, &MotorData::K},    {"R", "resistance", 10000.0, &MotorData::R},
    {"L", "inductance", 10.0, &MotorData::L},          {"Jm", "motor inertia", 100.0, &MotorData::Jm},
};

std::string Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

bool SameName(std::string_view a, std::string_view b) { return NameEqual{}(Trimmed(a), Trimmed(b)); }

const MotorEntry* FindIn(const std::vector<MotorEntry>& list, std::string_view name) {
    for (const MotorEntry& entry : list)
        if (SameName(entry.motor.name, name)) return &entry;
    return nullptr;
}

std::string Quoted(std::string_view text) {
    // Appended in turn: g++ 12 at -O3 sees an overlapping copy in "\"" + std::string(...).
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '"';
    quoted += text;
    quoted += '"';
    return quoted;
}

// Reads the motors of a database text; returns "" or "place: what is wrong".
std::string ReadMotors(std::string_view text, MotorDatabaseKind kind, std::vector<MotorEntry>& out) {
    Json doc;
    try {
        doc = Json::parse(text.begin(), text.end());
    } catch (const Json::exception&) {
        return "the file is not valid JSON";
    }
    if (!doc.is_object()) return "the document: expected an object";
    if (const auto it = doc.find("format"); it != doc.end() && (!it->is_string() || *it != kFormat))
        return "format: not a motor database";
    if (const auto it = doc.find("version"); it != doc.end()) {
        if (!it->is_number_integer()) return "version: expected a whole number";
        if (it->get<long>() > kVersion) return "version: written by a newer program";
    }
    const auto motors = doc.find("motors");
    if (motors == doc.end()) return "\"motors\" is missing";
    if (!motors->is_array()) return "motors: expected an array";
    std::vector<MotorEntry> read;
    for (std::size_t i = 0; i < motors->size(); ++i) {
        const Json& m = (*motors)[i];
        std::string place = "motors[" + std::to_string(i) + "]";
        if (!m.is_object()) return place + ": expected an object";
        MotorEntry entry;
        entry.database = kind;
        const auto name = m.find("name");
        if (name == m.end() || !name->is_string()) return place + ": \"name\" is missing or not a text";
        entry.motor.name = Trimmed(name->get<std::string>());
        place += " (" + Quoted(entry.motor.name) + ")";
        for (const auto& [key, value] : m.items()) {
            if (key == "name") continue;
            const Field* field = nullptr;
            for (const Field& f : kFields)
                if (key == f.key) field = &f;
            if (!field) return place + "." + key + ": unknown entry";
            if (!value.is_number()) return place + "." + key + ": expected a number";
            entry.motor.*field->member = value.get<double>();
        }
        for (const Field& f : kFields)
            if (!m.contains(f.key)) return place + ": " + Quoted(f.key) + " is missing";
        if (const std::string problem = CheckMotorData(entry.motor); !problem.empty())
            return place + ": " + problem;
        if (FindIn(read, entry.motor.name)) return place + ": the name is used twice";
        read.push_back(std::move(entry));
    }
    out = std::move(read);
    return {};
}

// Reads a file of bounded size; false with the problem when it cannot.
bool ReadFile(const std::string& path, std::string& text, std::string& problem) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        problem = "it is a folder, not a file";
        return false;
    }
    const auto size = std::filesystem::file_size(path, error);
    if (!error && size > kMaxFileSize) {
        problem = "the file is too large for a motor database";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        problem = std::string("the file cannot be opened (") + std::strerror(errno) + ")";
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) {
        problem = "the file cannot be read";
        return false;
    }
    text = buffer.str();
    return true;
}

}  // namespace

std::string DefaultUserMotorDatabasePath() {
    return (std::filesystem::path(UserDataFolder()) / "motors.json").string();
}

std::string CheckMotorData(const MotorData& motor) {
    if (Trimmed(motor.name).empty()) return "the motor has no name";
    for (const Field& f : kFields) {
        const double v = motor.*f.member;
        if (!std::isfinite(v) || v <= 0.0)
            return std::string("the ") + f.what + " " + Quoted(f.key) + " must be a positive number";
        if (v > f.max) {
            std::ostringstream bound;
            bound << f.max;
            return std::string("the ") + f.what + " " + Quoted(f.key) + " must not exceed " + bound.str();
        }
    }
    if (motor.ImaxM < motor.In) return "the peak current \"ImaxM\" is below the nominal current \"In\"";
    return {};
}

MotorData MotorFromSetup(const CKX_Setup& setup, std::string name) {
    MotorData motor;
    motor.name = std::move(name);
    const QuietLookup quiet;  // a missing value reads 0, which CheckMotorData refuses
    for (const Field& f : kFields) {
        const CKX_Parameter* p = setup.FindParameter(std::string_view(f.key));
        motor.*f.member = p ? p->GetValueInBaseUnit() : 0.0;
    }
    return motor;
}

std::string ApplyMotor(CKX_Setup& setup, const MotorData& motor) {
    std::string refused;
    const auto note = [&refused](const char* key) { refused += (refused.empty() ? "" : ", ") + Quoted(key); };
    // kFields holds "In" first: write "ImaxM" before it.
    const Field* order[] = {&kFields[1], &kFields[0], &kFields[2], &kFields[3], &kFields[4], &kFields[5]};
    const QuietLookup quiet;  // a missing parameter is named in the result
    for (const Field* f : order) {
        CKX_Parameter* p = setup.FindParameter(std::string_view(f->key));
        const double value = motor.*f->member;
        if (p && f->member == &MotorData::In && p->GetMaxInBaseUnit() < motor.ImaxM)
            p->SetMaxInBaseUnit(motor.ImaxM);
        if (!p || !p->SetValueInBaseUnit(value) || p->GetValueInBaseUnit() != value) note(f->key);
    }
    return refused;
}

MotorDatabase::MotorDatabase(std::string_view standardJson, std::string userPath)
    : m_userPath(std::move(userPath)) {
    if (const std::string problem = ReadMotors(standardJson, MotorDatabaseKind::Standard, m_standard);
        !problem.empty())
        m_reports.push_back("The standard motor database cannot be read (" + problem + ").");

    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(m_userPath, error))) return;
    std::string text, problem;
    if (ReadFile(m_userPath, text, problem)) problem = ReadMotors(text, MotorDatabaseKind::User, m_user);
    if (problem.empty()) return;
    m_user.clear();
    m_userProblem = problem;
    m_reports.push_back("The USER motor database " + Quoted(m_userPath) + " cannot be read: " + problem +
                        ". Its motors are not listed, and the file is left as it is until you repair "
                        "or remove it.");
}

std::vector<MotorEntry> MotorDatabase::List() const {
    std::vector<MotorEntry> all = m_standard;
    all.insert(all.end(), m_user.begin(), m_user.end());
    return all;
}

const MotorEntry* MotorDatabase::Find(std::string_view name) const {
    if (const MotorEntry* entry = FindIn(m_standard, name)) return entry;
    return FindIn(m_user, name);
}

std::vector<std::string> MotorDatabase::TakeReports() { return std::exchange(m_reports, {}); }

MotorDatabaseResult MotorDatabase::AddUserMotor(MotorData motor) {
    motor.name = Trimmed(motor.name);
    if (motor.name.empty()) return {false, "Please enter a name for the motor."};
    if (FindIn(m_standard, motor.name))
        return {false, "A motor named " + Quoted(motor.name) +
                           " is already in the standard database. Please choose another name."};
    if (FindIn(m_user, motor.name))
        return {false, "A motor named " + Quoted(motor.name) +
                           " is already in the USER database. Please choose another name."};
    if (const std::string problem = CheckMotorData(motor); !problem.empty())
        return {false, "The motor was not saved: " + problem + "."};
    if (IsUserDatabaseUnreadable())
        return {false,
                "The motor was not saved: the USER motor database " + Quoted(m_userPath) +
                    " cannot be read and is left as it is. Repair or remove the file, then save again."};
    m_user.push_back({std::move(motor), MotorDatabaseKind::User});
    MotorDatabaseResult result = SaveUser();
    if (!result.ok) m_user.pop_back();
    return result;
}

MotorDatabaseResult MotorDatabase::DeleteUserMotor(std::string_view name) {
    if (FindIn(m_standard, name))
        return {false,
                Quoted(Trimmed(name)) + " is a motor of the standard database, which cannot be changed."};
    if (IsUserDatabaseUnreadable())
        return {false, "The motor was not deleted: the USER motor database " + Quoted(m_userPath) +
                           " cannot be read and is left as it is. Repair or remove the file first."};
    const auto it = std::find_if(m_user.begin(), m_user.end(),
                                 [name](const MotorEntry& e) { return SameName(e.motor.name, name); });
    if (it == m_user.end())
        return {false, "There is no motor named " + Quoted(Trimmed(name)) + " in the USER database."};
    const MotorEntry removed = *it;
    const auto at = m_user.erase(it);
    MotorDatabaseResult result = SaveUser();
    if (!result.ok) m_user.insert(at, removed);
    return result;
}

MotorDatabaseResult MotorDatabase::SaveUser() {
    Json motors = Json::array();
    for (const MotorEntry& entry : m_user) {
        Json m{{"name", entry.motor.name}};
        for (const Field& f : kFields) m[f.key] = entry.motor.*f.member;
        motors.push_back(std::move(m));
    }
    const Json doc{{"format", kFormat}, {"version", kVersion}, {"motors", std::move(motors)}};
    try {
        const std::filesystem::path folder = std::filesystem::path(m_userPath).parent_path();
        if (!folder.empty()) std::filesystem::create_directories(folder);
        WriteFileAtomically(m_userPath, doc.dump(1, '\t') + "\n");
    } catch (const std::exception& e) {
        return {false, std::string("The USER motor database could not be saved: ") + e.what() + "."};
    }
    return {true, {}};
}

}  // namespace kx
