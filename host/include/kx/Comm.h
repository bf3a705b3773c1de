// The host's link to the drive: one active link (a transport to one drive,
// the virtual drive on these machines), the register image that a test
// downloads before its program starts, drive-resident program files and
// their symbol tables.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "kx/Kernel.h"

class CKX_Setup;

namespace kx {

// A program variable or drive variable as the drive addresses it.
struct DriveSymbol {
    std::string name;
    int address = -1;
    int type = 1;  // KX_ParameterType (KX_TYPE_INT16 …)
};

// What the data logger records during the next program run: `points`
// samples, one every `every`-th period of the fast (current) or slow
// (speed/position) loop, of the given variables in column order.
struct LogSettings {
    int points = 0;
    bool fastLoop = true;
    int every = 1;
    std::vector<DriveSymbol> columns;
};

// One logged sample: its time (s since the logger started) and the raw
// value of each column in the column's storage type.
struct LogPoint {
    double time = 0.0;
    std::vector<std::int64_t> raw;
};

// The oscilloscope: what it records during the next program run. A record
// lasts `timeBase` seconds in at most `maxPoints` points of the channels
// (at most kMaxScopeChannels); it starts when the trigger variable crosses
// `level` (raw, in its storage type) in the direction of the slope, with
// `pretrigger` % of the record before that point, or at once without a
// trigger variable.
enum class ScopeMode { FreeRun, Repeating, SingleShot };
inline constexpr int kMaxScopeChannels = 4;
struct ScopeSettings {
    double timeBase = 0.1;
    int maxPoints = 1000;
    ScopeMode mode = ScopeMode::FreeRun;
    bool triggered = false;
    DriveSymbol trigger;
    std::int64_t level = 0;
    bool rising = true;
    int pretrigger = 0;
    std::vector<DriveSymbol> channels;
};

// A message the drive sends on its own (an oscilloscope frame): 16-bit words,
// word 0 the payload length in words, word 2 the message code, the payload
// from word 3 (byte 6) on.
using UnsolicitedMessage = std::vector<std::uint16_t>;
inline constexpr int kMessageLengthWord = 0;
inline constexpr int kMessageCodeWord = 2;
inline constexpr int kMessagePayloadWord = 3;
inline constexpr std::uint16_t kScopeFrameCode = 0xE900;
// What receives the drive's unsolicited messages: the message's words.
using UnsolicitedMsgHandler = void (*)(const std::uint16_t* message);

// The text of a drive access while no link is installed.
inline constexpr const char* kNoDriveText = "No drive is connected.";

// A transport to one drive. Every call returns false on failure and then
// puts a text for the user into `error`.
class KX_API DriveLink {
public:
    virtual ~DriveLink();
    virtual bool Reset(std::string& error) = 0;
    // The setup's register image, by register name.
    virtual bool Download(const std::map<std::string, std::int64_t>& registers, std::string& error) = 0;
    virtual bool Start(const std::string& program, std::string& error) = 0;
    virtual bool Stop(std::string& error) = 0;
    virtual bool AxisOn(bool& on, std::string& error) = 0;
    virtual bool Read(const DriveSymbol& symbol, std::int64_t& raw, std::string& error) = 0;
    virtual bool Write(const DriveSymbol& symbol, std::int64_t raw, std::string& error) = 0;
    virtual bool ArmLogger(const LogSettings& settings, std::string& error) = 0;
    // The points logged since the last ArmLogger (all once the run has ended).
    virtual bool Upload(std::vector<LogPoint>& points, std::string& error) = 0;
    // Brings the drive's time up to `seconds` of host time; a real drive
    // keeps its own time and ignores it.
    virtual void AdvanceTo(double seconds) { (void)seconds; }
    // Whether the drive's program files are missing on the host (a fault
    // that the virtual drive can inject); the host's program path then
    // names no file.
    virtual bool ProgramFilesMissing() const { return false; }
    // Arms the oscilloscope for the next program start; a drive without one
    // refuses.
    virtual bool ArmScope(const ScopeSettings& settings, std::string& error);
    // Appends the messages the drive sent on its own since the last call,
    // oldest first.
    virtual bool ReceiveMessages(std::vector<UnsolicitedMessage>& messages, std::string& error);
};

// The setup's registers (its upper-case parameters with an integer storage
// type) as whole numbers, by name: what a test downloads before it starts.
KX_API std::map<std::string, std::int64_t> RegisterImage(const CKX_Setup& setup);

// Raw drive value of a storage type <-> the internal (drive-unit) value: a
// 16.16 fixed-point word pair reads as raw / 65536, the integer types as
// they are. ToRaw rounds and saturates to the type's range.
KX_API double FromRaw(int type, std::int64_t raw);
KX_API std::int64_t ToRaw(int type, double value);

// A value on the drive in its internal unit, read or written through the
// active link. On failure `error` and the communication layer's last error
// text say why (no drive, or the link's own text).
KX_API bool ReadDriveValue(const DriveSymbol& symbol, double& value, std::string& error);
KX_API bool WriteDriveValue(const DriveSymbol& symbol, double value, std::string& error);

// The folder that holds the drive-resident program files (<name>.json):
// <folder of libkxkernel.so>/../share/dcdrive/programs/ unless
// SetProgramFolder named another one (an empty name restores it).
KX_API std::string ProgramFolder();
KX_API void SetProgramFolder(const std::string& folder);
// The full path of a program's file. While the active link reports its
// program files missing (the virtual drive's "no-program" fault) it names a
// file that does not exist, so that reading it fails as for a missing file.
KX_API std::string ProgramPath(const std::string& program);

// Where saved plots go (NAME.csv, NAME.png): $XDG_DATA_HOME/dcdrive/plots
// (~/.local/share/dcdrive/plots) unless SetPlotFolder named another one (an
// empty name restores it).
KX_API std::string PlotFolder();
KX_API void SetPlotFolder(const std::string& folder);

}  // namespace kx

// The host's communication layer: the active drive link and the text of its
// last failure.
class KX_API CKX_Comm {
public:
    // Installs the link that every drive access goes through (not owned;
    // null: no drive, every access fails).
    static void SetActiveLink(kx::DriveLink* link);
    static kx::DriveLink* GetActiveLink();

    // Resets the active board; 0 on failure.
    static int ResetActiveBoard();
    // The text of the last failure of any access through the link.
    static std::string GetLastErrorText();
    static void SetLastErrorText(const std::string& text);

    // The handler of the drive's unsolicited messages (null: none); returns
    // the one registered before, so that it can be put back.
    static kx::UnsolicitedMsgHandler RegisterReceiveUnsolicitedMsgHandler(kx::UnsolicitedMsgHandler handler);
    static kx::UnsolicitedMsgHandler GetReceiveUnsolicitedMsgHandler();
    // Hands every message the drive has sent and nobody has handled yet to
    // `handler` (null: the registered one; without either the messages wait
    // at the drive), oldest first. Returns how many it handed over.
    static int CheckForUnrequestedMessages(kx::UnsolicitedMsgHandler handler);
};

// A drive-resident program file: its name and its symbol table.
class KX_API CKX_CoffFormat {
public:
    void SetFileName(const std::string& path) { m_fileName = path; }
    const std::string& GetFileName() const { return m_fileName; }
    // Reads the symbol table from the file; 0 when the file is missing or
    // malformed (the reason in GetError).
    int ReadCoff();
    bool IsLoaded() const { return m_loaded; }
    // The program's name as the file gives it.
    const std::string& GetProgramName() const { return m_program; }
    // The symbol of that name (ASCII case folded), or null.
    const kx::DriveSymbol* FindSymbol(const std::string& name) const;
    const std::vector<kx::DriveSymbol>& GetSymbols() const { return m_symbols; }
    const std::string& GetError() const { return m_error; }

private:
    std::string m_fileName;
    std::string m_program;
    std::vector<kx::DriveSymbol> m_symbols;
    std::string m_error;
    bool m_loaded = false;
};
