// A drive link for the host's own tests: it remembers what the host asked
// of it, runs a "program" for a number of polls of AxisOn, holds program
// variables by name, and fails on request with a text of its own.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "kx/Comm.h"

namespace dctest {

class FakeDriveLink : public kx::DriveLink {
public:
    // The call that fails ("Download", "Start", "Read", ...) and its text.
    std::string failing;
    std::string failText = "The drive does not answer.";
    // Programs the drive knows.
    std::vector<std::string> programs = {"Probe_Test"};
    // AxisOn reports on for this many polls after Start.
    int runPolls = 3;

    std::vector<std::string> calls;  // every call, in order
    std::map<std::string, std::int64_t> downloaded;
    kx::LogSettings armed;
    std::string started;
    std::map<std::string, std::int64_t> variables;  // by symbol name
    std::vector<kx::LogPoint> logged;               // what Upload gives

    int Count(const std::string& call) const {
        int n = 0;
        for (const std::string& c : calls) n += c == call;
        return n;
    }

    bool Reset(std::string& error) override { return Call("Reset", error); }
    bool Download(const std::map<std::string, std::int64_t>& registers, std::string& error) override {
        if (!Call("Download", error)) return false;
        downloaded = registers;
        return true;
    }
    bool Start(const std::string& program, std::string& error) override {
        if (!Call("Start", error)) return false;
        bool known = false;
        for (const std::string& p : programs) known |= p == program;
        if (!known) {
            error = "The drive has no program \"" + program + "\".";
            return false;
        }
        started = program;
        m_polls = runPolls;
        m_running = true;
        return true;
    }
    bool Stop(std::string& error) override {
        m_running = false;
        return Call("Stop", error);
    }
    bool AxisOn(bool& on, std::string& error) override {
        if (!Call("AxisOn", error)) return false;
        if (m_running && m_polls-- <= 0) m_running = false;
        on = m_running;
        return true;
    }
    bool Read(const kx::DriveSymbol& symbol, std::int64_t& raw, std::string& error) override {
        if (!Call("Read", error)) return false;
        raw = variables[symbol.name];
        return true;
    }
    bool Write(const kx::DriveSymbol& symbol, std::int64_t raw, std::string& error) override {
        if (!Call("Write", error)) return false;
        variables[symbol.name] = raw;
        return true;
    }
    bool ArmLogger(const kx::LogSettings& settings, std::string& error) override {
        if (!Call("ArmLogger", error)) return false;
        armed = settings;
        return true;
    }
    bool Upload(std::vector<kx::LogPoint>& points, std::string& error) override {
        if (!Call("Upload", error)) return false;
        points = logged;
        return true;
    }

private:
    bool Call(const std::string& name, std::string& error) {
        calls.push_back(name);
        if (failing != name) return true;
        error = failText;
        return false;
    }
    int m_polls = 0;
    bool m_running = false;
};

// Installs a link for the life of the object.
class ActiveLink {
public:
    explicit ActiveLink(kx::DriveLink* link) { CKX_Comm::SetActiveLink(link); }
    ~ActiveLink() { CKX_Comm::SetActiveLink(nullptr); }
    ActiveLink(const ActiveLink&) = delete;
    ActiveLink& operator=(const ActiveLink&) = delete;
};

}  // namespace dctest
