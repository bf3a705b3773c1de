#include "kx/Comm.h"

#include <dlfcn.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

#include "kx/Setup.h"

namespace kx {
namespace {

std::string& ProgramFolderOverride() {
    static std::string folder;
    return folder;
}

std::string& PlotFolderOverride() {
    static std::string folder;
    return folder;
}

// The folder of this library, from the loader's record of it.
std::filesystem::path LibraryFolder() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&ProgramFolder), &info) || !info.dli_fname)
        return std::filesystem::current_path();
    return std::filesystem::path(info.dli_fname).parent_path();
}

bool IsRegisterName(const std::string& name) {
    return std::any_of(name.begin(), name.end(), [](char c) { return c >= 'A' && c <= 'Z'; }) &&
           std::none_of(name.begin(), name.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

bool IsIntegerType(int type) {
    return type == KX_TYPE_INT16 || type == KX_TYPE_UINT16 || type == KX_TYPE_INT32 || type == KX_TYPE_UINT32;
}

// The range of raw values a storage type holds.
void RawRange(int type, double& low, double& high) {
    switch (type) {
        case KX_TYPE_INT16:
            low = -32768.0, high = 32767.0;
            return;
        case KX_TYPE_UINT16:
            low = 0.0, high = 65535.0;
            return;
        case KX_TYPE_UINT32:
            low = 0.0, high = 4294967295.0;
            return;
        case KX_TYPE_INT32:
        case KX_TYPE_FIXED:
            low = -2147483648.0, high = 2147483647.0;
            return;
        default:
            // A host-side value: whatever a signed 64-bit word holds exactly.
            low = -9007199254740992.0, high = 9007199254740992.0;
            return;
    }
}

}  // namespace

DriveLink::~DriveLink() = default;

bool DriveLink::ArmScope(const ScopeSettings&, std::string& error) {
    error = "The drive has no oscilloscope.";
    return false;
}

bool DriveLink::ReceiveMessages(std::vector<UnsolicitedMessage>&, std::string&) { return true; }

std::map<std::string, std::int64_t> RegisterImage(const CKX_Setup& setup) {
    std::map<std::string, std::int64_t> image;
    for (std::size_t i = 0; i < setup.GetParameterCount(); ++i) {
        const CKX_Parameter* parameter = setup.GetParameterAt(i);
        if (!IsIntegerType(parameter->GetType()) || !IsRegisterName(parameter->GetName())) continue;
        image[parameter->GetName()] = ToRaw(parameter->GetType(), parameter->GetValueInBaseUnit());
    }
    return image;
}

double FromRaw(int type, std::int64_t raw) {
    switch (type) {
        case KX_TYPE_INT16:
            return static_cast<double>(static_cast<std::int16_t>(raw));
        case KX_TYPE_UINT16:
            return static_cast<double>(static_cast<std::uint16_t>(raw));
        case KX_TYPE_INT32:
            return static_cast<double>(static_cast<std::int32_t>(raw));
        case KX_TYPE_UINT32:
            return static_cast<double>(static_cast<std::uint32_t>(raw));
        case KX_TYPE_FIXED:
            return static_cast<double>(static_cast<std::int32_t>(raw)) / 65536.0;
        case KX_TYPE_FLOAT:
            return static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(raw)));
        default:
            return static_cast<double>(raw);
    }
}

std::int64_t ToRaw(int type, double value) {
    if (type == KX_TYPE_FLOAT) {
        const float single = std::isnan(value)                            ? 0.0f
                             : value > std::numeric_limits<float>::max()  ? std::numeric_limits<float>::max()
                             : value < -std::numeric_limits<float>::max() ? -std::numeric_limits<float>::max()
                                                                          : static_cast<float>(value);
        return std::bit_cast<std::uint32_t>(single);
    }
    if (std::isnan(value)) return 0;
    if (type == KX_TYPE_FIXED) value *= 65536.0;
    double low = 0.0, high = 0.0;
    RawRange(type, low, high);
    return static_cast<std::int64_t>(std::clamp(std::round(value), low, high));
}

// A failed access: the reason goes to the caller and to the last error text.
// The caller's text is left alone when the access succeeds.
static bool AccessFailed(const std::string& reason, std::string& error) {
    error = reason;
    CKX_Comm::SetLastErrorText(reason);
    return false;
}

bool ReadDriveValue(const DriveSymbol& symbol, double& value, std::string& error) {
    DriveLink* link = CKX_Comm::GetActiveLink();
    std::string reason = kNoDriveText;
    std::int64_t raw = 0;
    if (!link || !link->Read(symbol, raw, reason)) return AccessFailed(reason, error);
    value = FromRaw(symbol.type, raw);
    return true;
}

bool WriteDriveValue(const DriveSymbol& symbol, double value, std::string& error) {
    DriveLink* link = CKX_Comm::GetActiveLink();
    std::string reason = kNoDriveText;
    if (!link || !link->Write(symbol, ToRaw(symbol.type, value), reason)) return AccessFailed(reason, error);
    return true;
}

std::string ProgramFolder() {
    if (!ProgramFolderOverride().empty()) return ProgramFolderOverride();
    return (LibraryFolder() / ".." / "share" / "dcdrive" / "programs").lexically_normal().string();
}

void SetProgramFolder(const std::string& folder) { ProgramFolderOverride() = folder; }

std::string ProgramPath(const std::string& program) {
    std::filesystem::path folder = ProgramFolder();
    // A host whose program files are missing: a folder that was never installed.
    const DriveLink* link = CKX_Comm::GetActiveLink();
    if (link && link->ProgramFilesMissing()) folder /= "not-installed";
    return (folder / (program + ".json")).string();
}

std::string PlotFolder() {
    if (!PlotFolderOverride().empty()) return PlotFolderOverride();
    return (std::filesystem::path(UserDataFolder()) / "plots").string();
}

void SetPlotFolder(const std::string& folder) { PlotFolderOverride() = folder; }

}  // namespace kx

// ---------------------------------------------------------------- CKX_Comm

namespace {

kx::DriveLink* g_activeLink = nullptr;

std::string& LastErrorText() {
    static std::string text;
    return text;
}

}  // namespace

void CKX_Comm::SetActiveLink(kx::DriveLink* link) { g_activeLink = link; }

namespace {
kx::UnsolicitedMsgHandler g_msgHandler = nullptr;
}  // namespace

kx::UnsolicitedMsgHandler CKX_Comm::RegisterReceiveUnsolicitedMsgHandler(kx::UnsolicitedMsgHandler handler) {
    const kx::UnsolicitedMsgHandler previous = g_msgHandler;
    g_msgHandler = handler;
    return previous;
}

kx::UnsolicitedMsgHandler CKX_Comm::GetReceiveUnsolicitedMsgHandler() { return g_msgHandler; }

int CKX_Comm::CheckForUnrequestedMessages(kx::UnsolicitedMsgHandler handler) {
    if (!handler) handler = g_msgHandler;
    if (!handler || !g_activeLink) return 0;
    std::vector<kx::UnsolicitedMessage> messages;
    std::string error;
    if (!g_activeLink->ReceiveMessages(messages, error)) {
        SetLastErrorText(error);
        return 0;
    }
    int delivered = 0;
    for (const kx::UnsolicitedMessage& message : messages) {
        // A message shorter than its header or than its stated payload is
        // not handed on.
        if (message.size() < static_cast<std::size_t>(kx::kMessagePayloadWord) ||
            message.size() <
                static_cast<std::size_t>(kx::kMessagePayloadWord) + message[kx::kMessageLengthWord])
            continue;
        handler(message.data());
        ++delivered;
    }
    return delivered;
}

kx::DriveLink* CKX_Comm::GetActiveLink() { return g_activeLink; }

int CKX_Comm::ResetActiveBoard() {
    if (!g_activeLink) {
        SetLastErrorText(kx::kNoDriveText);
        return 0;
    }
    std::string error;
    if (!g_activeLink->Reset(error)) {
        SetLastErrorText(error);
        return 0;
    }
    return 1;
}

std::string CKX_Comm::GetLastErrorText() { return LastErrorText(); }

void CKX_Comm::SetLastErrorText(const std::string& text) { LastErrorText() = text; }

// ---------------------------------------------------------------- CKX_CoffFormat

namespace {

using Json = nlohmann::json;

// What is wrong with one symbol entry, or "" when it is usable.
std::string CheckSymbol(const Json& entry, kx::DriveSymbol& symbol) {
    if (!entry.is_object()) return "expected an object with \"name\", \"address\" and \"type\"";
    const auto name = entry.find("name");
    if (name == entry.end() || !name->is_string() || name->get<std::string>().empty())
        return "\"name\": expected a non-empty text";
    symbol.name = name->get<std::string>();
    const auto address = entry.find("address");
    if (address == entry.end() || !address->is_number_integer() || address->get<std::int64_t>() < 0 ||
        address->get<std::int64_t>() > 0xFFFFFF)
        return "\"address\": expected a whole number from 0 to 16777215";
    symbol.address = address->get<int>();
    const auto type = entry.find("type");
    if (type == entry.end() || !type->is_number_integer() || type->get<std::int64_t>() < KX_TYPE_INT16 ||
        type->get<std::int64_t>() > KX_TYPE_FLOAT)
        return "\"type\": expected a storage type from 1 to 6";
    symbol.type = type->get<int>();
    return "";
}

}  // namespace

int CKX_CoffFormat::ReadCoff() {
    m_loaded = false;
    m_program.clear();
    m_symbols.clear();
    m_error.clear();
    const auto fail = [this](const std::string& what) {
        m_error = m_fileName + ": " + what;
        m_program.clear();
        m_symbols.clear();
        return 0;
    };
    if (m_fileName.empty()) {
        m_error = "no program file was named";
        return 0;
    }
    std::error_code code;
    if (!std::filesystem::is_regular_file(m_fileName, code)) return fail("no such program file");
    std::ifstream in(m_fileName, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in && !in.eof()) return fail("cannot read the file");
    Json json;
    try {
        json = Json::parse(text.str());
    } catch (const Json::parse_error& error) {
        // "[json.exception.parse_error.101] parse error at line 3, column 5: …"
        std::string what = error.what();
        if (const auto at = what.find("at line"); at != std::string::npos) what = what.substr(at + 3);
        return fail("not a JSON text: " + what);
    }
    if (!json.is_object()) return fail("expected an object with \"program\" and \"symbols\"");
    const auto program = json.find("program");
    if (program == json.end() || !program->is_string() || program->get<std::string>().empty())
        return fail("\"program\": expected the program's name");
    const auto symbols = json.find("symbols");
    if (symbols == json.end() || !symbols->is_array()) return fail("\"symbols\": expected an array");
    std::vector<kx::DriveSymbol> read;
    for (std::size_t i = 0; i < symbols->size(); ++i) {
        kx::DriveSymbol symbol;
        const std::string what = CheckSymbol((*symbols)[i], symbol);
        const std::string place = "symbols[" + std::to_string(i) + "]";
        if (!what.empty()) return fail(place + ": " + what);
        const bool taken = std::any_of(read.begin(), read.end(), [&](const kx::DriveSymbol& other) {
            return kx::NameEqual{}(other.name, symbol.name);
        });
        if (taken) return fail(place + ": the name \"" + symbol.name + "\" is given twice");
        read.push_back(std::move(symbol));
    }
    m_program = program->get<std::string>();
    m_symbols = std::move(read);
    m_loaded = true;
    return 1;
}

const kx::DriveSymbol* CKX_CoffFormat::FindSymbol(const std::string& name) const {
    for (const kx::DriveSymbol& symbol : m_symbols)
        if (kx::NameEqual{}(symbol.name, name)) return &symbol;
    return nullptr;
}
