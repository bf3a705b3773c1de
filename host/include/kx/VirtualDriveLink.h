// The drive link to the virtual drive: what a transport to a real drive
// would carry, handed to a vdrive::VirtualDrive in the same process. The
// link itself plays the "comm-down" fault (every access fails) and the
// "no-program" fault (the host's program files are missing), since both are
// failures of the host's side, not of the drive.
#pragma once

#include <functional>

#include "kx/Comm.h"

namespace vdrive {
class VirtualDrive;
}

namespace kx {

// The text of every access while the communication is down.
inline constexpr const char* kCommDownText =
    "No answer from the drive: the communication with the drive is down.";

class KX_API VirtualDriveLink : public DriveLink {
public:
    // The drive is not owned and must outlive the link.
    explicit VirtualDriveLink(vdrive::VirtualDrive& drive);
    ~VirtualDriveLink() override;

    vdrive::VirtualDrive& Drive() const { return m_drive; }

    // Host time in seconds, asked before every access so that the drive has
    // run up to the moment of the access (a person at the screen: the wall
    // clock). Without one the drive moves only through AdvanceTo.
    void SetTimeSource(std::function<double()> now) { m_now = std::move(now); }
    // Ties the drive's present time to host time `seconds` (a link made in
    // the middle of a session); until then drive time 0 is host time 0.
    void Attach(double seconds);

    bool Reset(std::string& error) override;
    bool Download(const std::map<std::string, std::int64_t>& registers, std::string& error) override;
    bool Start(const std::string& program, std::string& error) override;
    bool Stop(std::string& error) override;
    bool AxisOn(bool& on, std::string& error) override;
    bool Read(const DriveSymbol& symbol, std::int64_t& raw, std::string& error) override;
    bool Write(const DriveSymbol& symbol, std::int64_t raw, std::string& error) override;
    bool ArmLogger(const LogSettings& settings, std::string& error) override;
    bool Upload(std::vector<LogPoint>& points, std::string& error) override;
    // Runs the drive up to host time `seconds`. Host time and drive time
    // differ by the host time of the drive's last reset; a host clock that
    // starts again from 0 moves the origin, never the drive back.
    void AdvanceTo(double seconds) override;
    bool ProgramFilesMissing() const override;
    bool ArmScope(const ScopeSettings& settings, std::string& error) override;
    bool ReceiveMessages(std::vector<UnsolicitedMessage>& messages, std::string& error) override;

private:
    // False (with the comm-down text) while the communication is down;
    // otherwise brings the drive up to host time.
    bool Reach(std::string& error);

    vdrive::VirtualDrive& m_drive;
    std::function<double()> m_now;
    double m_origin = 0.0;    // host time of drive time 0
    double m_lastHost = 0.0;  // the latest host time seen
};

}  // namespace kx
