// The motor databases of the motor editor: the standard database that ships
// with the program (read-only) and the user's own (USER) database, a JSON
// file in the user's data folder.
//
// {
//   "format": "dcdrive-motors", "version": 1,              (both optional on load)
//   "motors": [
//     {"name": "...", "In": 3.0, "ImaxM": 15, "K": 0.037, "R": 0.61, "L": 0.00012, "Jm": 1.4e-5}, ...
//   ]
// }
//
// Values are in base units: A, A, Nm/A, Ohm, H, kg*m^2.
//
// A USER file that cannot be read is reported once and then left as it is:
// its motors are not listed, and saving or deleting is refused until the
// user repairs or removes it. The standard database works on regardless.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "kx/Kernel.h"
#include "kx/Setup.h"

namespace kx {

struct MotorData {
    std::string name;
    double In = 0;     // nominal current, A
    double ImaxM = 0;  // peak current, A
    double K = 0;      // torque constant, Nm/A
    double R = 0;      // resistance, Ohm
    double L = 0;      // inductance, H
    double Jm = 0;     // rotor inertia, kg*m^2
};

enum class MotorDatabaseKind { Standard, User };

struct MotorEntry {
    MotorData motor;
    MotorDatabaseKind database = MotorDatabaseKind::Standard;
};

// The outcome of a change to the USER database: ok, or refused with a
// message for the user. A successful change may carry a message as well.
struct MotorDatabaseResult {
    bool ok = false;
    std::string message;
};

// Where the USER database lives: $XDG_DATA_HOME/dcdrive/motors.json, with
// XDG_DATA_HOME defaulting to ~/.local/share (an unset or relative value is
// ignored, as the XDG rules ask).
KX_API std::string DefaultUserMotorDatabasePath();

// What is wrong with the motor's data, or "" when it is a physical motor:
// a name, finite positive values within generous bounds and a peak current
// not below the nominal one.
KX_API std::string CheckMotorData(const MotorData& motor);

// The motor's data from the setup's "In", "ImaxM", "K", "R", "L", "Jm" (base units).
KX_API MotorData MotorFromSetup(const CKX_Setup& setup, std::string name);

// Writes the motor's data into the setup's "In", "ImaxM", "K", "R", "L" and
// "Jm" in base units. The peak current goes first, and the maximum of "In"
// is raised to it when below, since the nominal current is bounded by the
// peak current. Returns the names the setup lacks or whose limits did not
// take the value as given ("" when all took it), comma-separated.
KX_API std::string ApplyMotor(CKX_Setup& setup, const MotorData& motor);

class KX_API MotorDatabase {
public:
    // standardJson: the text of the standard database; userPath: the USER
    // file. A missing USER file is an empty USER database.
    MotorDatabase(std::string_view standardJson, std::string userPath = DefaultUserMotorDatabasePath());

    // Standard motors first, then the USER motors, each in file order.
    std::vector<MotorEntry> List() const;
    // The motor of that name (ASCII case and surrounding blanks ignored), or null.
    const MotorEntry* Find(std::string_view name) const;

    // Adds the motor to the USER database and saves it. Refused for an empty
    // name, a name that either database holds, non-physical data, an
    // unreadable USER file, or a failed save (the database then stays as it was).
    MotorDatabaseResult AddUserMotor(MotorData motor);
    // Removes a USER motor and saves; standard motors cannot be deleted.
    MotorDatabaseResult DeleteUserMotor(std::string_view name);

    const std::string& UserPath() const { return m_userPath; }
    // True while the USER file cannot be read.
    bool IsUserDatabaseUnreadable() const { return !m_userProblem.empty(); }
    // The messages not yet shown (the unreadable USER file, a faulty
    // standard database), once each: a second call returns none.
    std::vector<std::string> TakeReports();

private:
    MotorDatabaseResult SaveUser();

    std::vector<MotorEntry> m_standard;
    std::vector<MotorEntry> m_user;
    std::string m_userPath;
    std::string m_userProblem;  // why the USER file cannot be read
    std::vector<std::string> m_reports;
};

}  // namespace kx
