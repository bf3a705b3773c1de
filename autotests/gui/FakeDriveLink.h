// A drive link for the host's own tests: it remembers what the host asked
// of it, runs a "program" for a number of polls of AxisOn, holds program
// variables by name, and fails on request with a text of its own.
#pragma once

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "kx/Comm.h"

namespace dctest {

class FakeDriveLink : public kx::DriveLink {
public:
    std::string failing;  // the call that fails ("Download", "Start", "Read", ...)
    std::string failText = "The drive does not answer.";
    std::vector<std::string> programs = {"Probe_Test"};  // programs the drive knows
    int runPolls = 3;                                    // AxisOn reports on for this many polls after Start

    std::vector<std::string> calls;  // every call, in order
    std::map<std::string, std::int64_t> downloaded;
    kx::LogSettings armed;
    std::string started;
    std::map<std::string, std::int64_t> variables;  // by symbol name
    std::vector<kx::LogPoint> logged;               // what Upload gives

    int Count(const std::string& call) const { return static_cast<int>(std::ranges::count(calls, call)); }

    bool Reset(std::string& error) override { return Call("Reset", error); }
    bool Download(const std::map<std::string, std::int64_t>& registers, std::string& error) override {
        return Call("Download", error) && (downloaded = registers, true);
    }
    bool Start(const std::string& program, std::string& error) override {
        if (!Call("Start", error)) return false;
        if (std::ranges::count(programs, program) == 0) {
            error = "The drive has no program \"" + program + "\".";
            return false;
        }
        started = program;
        m_polls = runPolls;
        return m_running = true;
    }
    bool Stop(std::string& error) override {
        m_running = false;
        return Call("Stop", error);
    }
    bool AxisOn(bool& on, std::string& error) override {
        if (!Call("AxisOn", error)) return false;
        on = m_running = m_running && m_polls-- > 0;
        return true;
    }
    bool Read(const kx::DriveSymbol& symbol, std::int64_t& raw, std::string& error) override {
        return Call("Read", error) && (raw = variables[symbol.name], true);
    }
    bool Write(const kx::DriveSymbol& symbol, std::int64_t raw, std::string& error) override {
        return Call("Write", error) && (variables[symbol.name] = raw, true);
    }
    bool ArmLogger(const kx::LogSettings& settings, std::string& error) override {
        return Call("ArmLogger", error) && (armed = settings, true);
    }
    bool Upload(std::vector<kx::LogPoint>& points, std::string& error) override {
        return Call("Upload", error) && (points = logged, true);
    }

private:
    bool Call(const std::string& name, std::string& error) {
        calls.push_back(name);
        if (failing == name) error = failText;
        return failing != name;
    }
    int m_polls = 0;
    bool m_running = false;
};

// Installs a link for the life of the object.
struct ActiveLink {
    explicit ActiveLink(kx::DriveLink* link) { CKX_Comm::SetActiveLink(link); }
    ~ActiveLink() { CKX_Comm::SetActiveLink(nullptr); }
    ActiveLink(const ActiveLink&) = delete;
    ActiveLink& operator=(const ActiveLink&) = delete;
};

}  // namespace dctest
