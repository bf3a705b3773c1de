#include "kx/VirtualDriveLink.h"

#include "drive/VirtualDrive.h"
#include "kx/Setup.h"

namespace kx {
namespace {

// The drive's storage type of a host type code; false for one it does not hold.
bool DriveType(int type, vdrive::Type& driveType) {
    switch (type) {
        case KX_TYPE_INT16:
            driveType = vdrive::Type::Int16;
            return true;
        case KX_TYPE_UINT16:
            driveType = vdrive::Type::UInt16;
            return true;
        case KX_TYPE_INT32:
            driveType = vdrive::Type::Int32;
            return true;
        case KX_TYPE_UINT32:
            driveType = vdrive::Type::UInt32;
            return true;
        case KX_TYPE_FIXED:
            driveType = vdrive::Type::Fixed;
            return true;
        default:
            return false;
    }
}

std::string NoSuchVariable(const DriveSymbol& symbol) {
    return "The drive has no variable \"" + symbol.name + "\" at address " + std::to_string(symbol.address) +
           " of storage type " + std::to_string(symbol.type) + ".";
}

}  // namespace

VirtualDriveLink::VirtualDriveLink(vdrive::VirtualDrive& drive) : m_drive(drive) {}

VirtualDriveLink::~VirtualDriveLink() = default;

bool VirtualDriveLink::Reach(std::string& error) {
    if (m_now) AdvanceTo(m_now());
    if (m_drive.FaultOn(vdrive::Fault::CommDown)) {
        error = kCommDownText;
        return false;
    }
    return true;
}

void VirtualDriveLink::Attach(double seconds) {
    m_origin = seconds - m_drive.Now();
    m_lastHost = seconds;
}

void VirtualDriveLink::AdvanceTo(double seconds) {
    if (seconds < m_lastHost) m_origin = seconds - m_drive.Now();
    m_lastHost = seconds;
    m_drive.AdvanceTo(seconds - m_origin);
}

bool VirtualDriveLink::Reset(std::string& error) {
    if (!Reach(error)) return false;
    m_drive.Reset();
    m_origin = m_lastHost;
    return true;
}

bool VirtualDriveLink::Download(const std::map<std::string, std::int64_t>& registers, std::string& error) {
    if (!Reach(error)) return false;
    m_drive.Download(registers);
    return true;
}

bool VirtualDriveLink::Start(const std::string& program, std::string& error) {
    if (!Reach(error)) return false;
    if (m_drive.StartProgram(program)) return true;
    error = m_drive.LastError();
    if (error.empty()) error = "The drive did not start the program \"" + program + "\".";
    return false;
}

bool VirtualDriveLink::Stop(std::string& error) {
    if (!Reach(error)) return false;
    m_drive.Stop();
    return true;
}

bool VirtualDriveLink::AxisOn(bool& on, std::string& error) {
    if (!Reach(error)) return false;
    on = m_drive.AxisOn();
    return true;
}

bool VirtualDriveLink::Read(const DriveSymbol& symbol, std::int64_t& raw, std::string& error) {
    if (!Reach(error)) return false;
    vdrive::Type type{};
    if (!DriveType(symbol.type, type) || !m_drive.Read(symbol.address, type, raw)) {
        error = NoSuchVariable(symbol);
        return false;
    }
    return true;
}

bool VirtualDriveLink::Write(const DriveSymbol& symbol, std::int64_t raw, std::string& error) {
    if (!Reach(error)) return false;
    vdrive::Type type{};
    if (!DriveType(symbol.type, type) || !m_drive.Write(symbol.address, type, raw)) {
        error = NoSuchVariable(symbol);
        return false;
    }
    return true;
}

bool VirtualDriveLink::ArmLogger(const LogSettings& settings, std::string& error) {
    if (!Reach(error)) return false;
    vdrive::LoggerSettings logger;
    logger.points = settings.points;
    logger.fastLoop = settings.fastLoop;
    logger.every = settings.every;
    for (const DriveSymbol& column : settings.columns) {
        vdrive::Symbol symbol;
        symbol.name = column.name;
        symbol.address = column.address;
        if (!DriveType(column.type, symbol.type)) {
            error = NoSuchVariable(column);
            return false;
        }
        logger.columns.push_back(std::move(symbol));
    }
    m_drive.ArmLogger(logger);
    return true;
}

bool VirtualDriveLink::Upload(std::vector<LogPoint>& points, std::string& error) {
    if (!Reach(error)) return false;
    const std::vector<vdrive::LoggedPoint>& logged = m_drive.Logged();
    points.clear();
    points.reserve(logged.size());
    for (const vdrive::LoggedPoint& point : logged) points.push_back({point.time, point.values});
    return true;
}

bool VirtualDriveLink::ProgramFilesMissing() const { return m_drive.FaultOn(vdrive::Fault::NoProgram); }

bool VirtualDriveLink::ArmScope(const ScopeSettings& settings, std::string& error) {
    if (!Reach(error)) return false;
    const auto channel = [&error](const DriveSymbol& symbol, vdrive::ScopeChannel& out) {
        vdrive::Type type{};
        if (!DriveType(symbol.type, type)) {
            error = NoSuchVariable(symbol);
            return false;
        }
        out.address = symbol.address;
        out.type = static_cast<int>(type);
        return true;
    };
    if (settings.channels.size() > static_cast<std::size_t>(kMaxScopeChannels)) {
        error = "The oscilloscope records at most " + std::to_string(kMaxScopeChannels) + " channels.";
        return false;
    }
    vdrive::ScopeSettings scope;
    scope.timeBase = settings.timeBase;
    scope.maxPoints = settings.maxPoints;
    switch (settings.mode) {
        case ScopeMode::FreeRun:
            scope.mode = vdrive::ScopeMode::FreeRun;
            break;
        case ScopeMode::Repeating:
            scope.mode = vdrive::ScopeMode::Repeating;
            break;
        case ScopeMode::SingleShot:
            scope.mode = vdrive::ScopeMode::SingleShot;
            break;
    }
    scope.triggered = settings.triggered;
    if (settings.triggered && !channel(settings.trigger, scope.trigger)) return false;
    scope.level = settings.level;
    scope.rising = settings.rising;
    scope.pretrigger = settings.pretrigger;
    for (const DriveSymbol& symbol : settings.channels) {
        vdrive::ScopeChannel c;
        if (!channel(symbol, c)) return false;
        scope.channels.push_back(c);
    }
    m_drive.ArmScope(scope);
    return true;
}

bool VirtualDriveLink::ReceiveMessages(std::vector<UnsolicitedMessage>& messages, std::string& error) {
    if (!Reach(error)) return false;
    for (auto& message : m_drive.TakeMessages()) messages.push_back(std::move(message));
    return true;
}

}  // namespace kx
