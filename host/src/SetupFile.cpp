#include "kx/SetupFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>
#include <unordered_set>

namespace kx {
namespace {

using Json = nlohmann::ordered_json;
constexpr double kUnbounded = std::numeric_limits<double>::max();
constexpr const char* kFormat = "dcdrive-setup";
constexpr int kVersion = 1;

// Reads the JSON document and the setup in it, remembering where it is for
// the messages.
class Reader {
public:
    Reader(std::string source) : m_source(std::move(source)) {}

    [[noreturn]] void Fail(const std::string& place, const std::string& problem) const {
        throw SetupFileError(m_source, place, problem);
    }

    const Json& Member(const Json& object, const char* key, const std::string& place) const {
        const auto it = object.find(key);
        if (it == object.end()) Fail(place, std::string("\"") + key + "\" is missing");
        return *it;
    }

    double Number(const Json& value, const std::string& place) const {
        if (!value.is_number()) Fail(place, "expected a number, found " + std::string(value.type_name()));
        const double d = value.get<double>();
        if (!std::isfinite(d)) Fail(place, "the number is not finite");
        return d;
    }

    long Integer(const Json& value, const std::string& place, long lo, long hi) const {
        if (!value.is_number_integer()) Fail(place, "expected a whole number, found " + Describe(value));
        const bool huge =
            value.is_number_unsigned() &&
            value.get<unsigned long>() > static_cast<unsigned long>(std::numeric_limits<long>::max());
        const long v = huge ? std::numeric_limits<long>::max() : value.get<long>();
        if (huge || v < lo || v > hi)
            Fail(place, "the value " + value.dump() + " is outside " + std::to_string(lo) + ".." +
                            std::to_string(hi));
        return v;
    }

    std::string Text(const Json& value, const std::string& place) const {
        if (!value.is_string()) Fail(place, "expected a text, found " + std::string(value.type_name()));
        return value.get<std::string>();
    }

    const Json& Object(const Json& value, const std::string& place) const {
        if (!value.is_object()) Fail(place, "expected an object, found " + std::string(value.type_name()));
        return value;
    }

    const Json& Array(const Json& value, const std::string& place) const {
        if (!value.is_array()) Fail(place, "expected an array, found " + std::string(value.type_name()));
        return value;
    }

    static std::string Describe(const Json& value) {
        return value.is_number() ? "the number " + value.dump() : std::string(value.type_name());
    }

    std::vector<int> IntList(const Json& value, const std::string& place) const {
        std::vector<int> out;
        const Json& a = Array(value, place);
        for (std::size_t i = 0; i < a.size(); ++i)
            out.push_back(
                static_cast<int>(Integer(a[i], place + "[" + std::to_string(i) + "]", -1000000, 1000000)));
        return out;
    }

    std::vector<std::string> TextList(const Json& value, const std::string& place) const {
        std::vector<std::string> out;
        const Json& a = Array(value, place);
        for (std::size_t i = 0; i < a.size(); ++i)
            out.push_back(Text(a[i], place + "[" + std::to_string(i) + "]"));
        return out;
    }

    FrequencyList Frequencies(const Json& value, const std::string& place) const {
        Object(value, place);
        FrequencyList list;
        const Json& kHz = Array(Member(value, "kHz", place), place + ".kHz");
        const Json& modes = Array(Member(value, "modes", place), place + ".modes");
        for (std::size_t i = 0; i < kHz.size(); ++i) {
            const std::string at = place + ".kHz[" + std::to_string(i) + "]";
            list.kHz.push_back(static_cast<unsigned>(Integer(kHz[i], at, 1, 1000000)));
            if (i > 0 && list.kHz[i] <= list.kHz[i - 1]) Fail(at, "the frequencies must ascend");
        }
        for (std::size_t i = 0; i < modes.size(); ++i)
            list.modes.push_back(static_cast<unsigned>(
                Integer(modes[i], place + ".modes[" + std::to_string(i) + "]", 0, 65535)));
        if (list.kHz.size() != list.modes.size())
            Fail(place, "\"kHz\" holds " + std::to_string(list.kHz.size()) + " entries but \"modes\" " +
                            std::to_string(list.modes.size()));
        return list;
    }

    void ReadDrive(const Json& drive, DriveDescription& d) const {
        const std::string place = "drive";
        Object(drive, place);
        for (const auto& [key, value] : drive.items()) {
            const std::string at = place + "." + key;
            if (key == "motorSensors")
                d.motorSensors = IntList(value, at);
            else if (key == "loadSensors")
                d.loadSensors = IntList(value, at);
            else if (key == "maxSensorValue")
                d.maxSensorValue = static_cast<int>(Integer(value, at, 0, 255));
            else if (key == "sensorNames")
                d.sensorNames = TextList(value, at);
            else if (key == "feedbackNames")
                d.feedbackNames = TextList(value, at);
            else if (key == "sensorLines")
                d.sensorLines = TextList(value, at);
            else if (key == "ioPorts")
                ReadPorts(value, at, d);
            else if (key == "ssiFrequencies")
                d.ssi = Frequencies(value, at);
            else if (key == "ssiFrequenciesLD")
                d.ssiLD = Frequencies(value, at);
            else if (key == "bissFrequencies")
                d.biss = Frequencies(value, at);
            else if (key == "bissFrequenciesLD")
                d.bissLD = Frequencies(value, at);
            else if (key == "adcBits")
                d.adcBits = static_cast<int>(Integer(value, at, 1, 16));
            else if (key == "brakeOutputs")
                ReadBrakeOutputs(value, at, d);
            else
                Fail(at, "unknown entry");
        }
        // The brake configuration register holds the output's pin: a brake
        // output must be a port whose pin is known.
        std::unordered_set<int> ports;
        for (const auto& [pin, port] : d.portOfPin) ports.insert(port);
        for (std::size_t i = 0; i < d.brakeOutputs.size(); ++i)
            if (!ports.count(d.brakeOutputs[i].port))
                Fail(place + ".brakeOutputs[" + std::to_string(i) + "]",
                     "port " + std::to_string(d.brakeOutputs[i].port) + " is not in \"ioPorts\"");
    }

    void ReadBrakeOutputs(const Json& value, const std::string& place, DriveDescription& d) const {
        const Json& a = Array(value, place);
        for (std::size_t i = 0; i < a.size(); ++i) {
            const std::string at = place + "[" + std::to_string(i) + "]";
            Object(a[i], at);
            BrakeOutput output;
            output.port = static_cast<int>(Integer(Member(a[i], "port", at), at + ".port", 0, 65535));
            output.name = Text(Member(a[i], "name", at), at + ".name");
            if (output.name.empty()) Fail(at + ".name", "the name is empty");
            for (const auto& [key, v] : a[i].items()) {
                const std::string vat = at + "." + key;
                if (key == "port" || key == "name") continue;
                if (key == "stage") {
                    const std::string stage = Text(v, vat);
                    if (stage == "source")
                        output.stage = OutputStage::Source;
                    else if (stage == "sink")
                        output.stage = OutputStage::Sink;
                    else
                        Fail(vat, "expected \"source\" or \"sink\", found \"" + stage + "\"");
                } else if (key == "inverted") {
                    if (!v.is_boolean()) Fail(vat, "expected true or false, found " + Describe(v));
                    output.inverted = v.get<bool>();
                } else {
                    Fail(vat, "unknown entry");
                }
            }
            for (const BrakeOutput& other : d.brakeOutputs)
                if (other.port == output.port)
                    Fail(at, "port " + std::to_string(output.port) + " is listed twice");
            d.brakeOutputs.push_back(std::move(output));
        }
    }

    void ReadPorts(const Json& value, const std::string& place, DriveDescription& d) const {
        const Json& a = Array(value, place);
        for (std::size_t i = 0; i < a.size(); ++i) {
            const std::string at = place + "[" + std::to_string(i) + "]";
            Object(a[i], at);
            const int pin = static_cast<int>(Integer(Member(a[i], "pin", at), at + ".pin", 0, 65535));
            const int port = static_cast<int>(Integer(Member(a[i], "port", at), at + ".port", 0, 65535));
            if (d.portOfPin.count(pin)) Fail(at, "pin " + std::to_string(pin) + " is listed twice");
            d.portOfPin[pin] = port;
        }
    }

    void ReadParameter(const Json& p, const std::string& place, CKX_Setup& setup,
                       std::unordered_set<std::string>& names) const {
        Object(p, place);
        const std::string name = Text(Member(p, "name", place), place + ".name");
        if (name.empty()) Fail(place + ".name", "the name is empty");
        const std::string at = place + " (\"" + name + "\")";
        if (!names.insert(LowerName(name)).second) Fail(at, "the name is used twice");
        std::string unit;
        int type = KX_TYPE_REAL;
        double value = 0, min = -kUnbounded, max = kUnbounded;
        int precision = -1;
        bool hasValue = false;
        for (const auto& [key, v] : p.items()) {
            const std::string vat = at + "." + key;
            if (key == "name") continue;
            if (key == "value")
                value = Number(v, vat), hasValue = true;
            else if (key == "min")
                min = v.is_null() ? -kUnbounded : Number(v, vat);
            else if (key == "max")
                max = v.is_null() ? kUnbounded : Number(v, vat);
            else if (key == "unit")
                unit = Text(v, vat);
            else if (key == "type")
                type = static_cast<int>(Integer(v, vat, KX_TYPE_REAL, KX_TYPE_FLOAT));
            else if (key == "precision")
                precision = static_cast<int>(Integer(v, vat, 0, 17));
            else
                Fail(vat, "unknown entry");
        }
        if (!hasValue) Fail(at, "\"value\" is missing");
        if (min > max)
            Fail(at, "the minimum " + Json(min).dump() + " is above the maximum " + Json(max).dump());
        if (!FindUnitType(unit)) Fail(at + ".unit", "unknown unit \"" + unit + "\"");
        auto param = std::make_unique<CKX_Parameter>(name, unit, type);
        param->SetMinInBaseUnit(min);
        param->SetMaxInBaseUnit(max);
        if (precision >= 0) param->SetPrecision(precision);
        // The stored value stays as written even when a limit has moved past it.
        param->SetMinInBaseUnit(-kUnbounded);
        param->SetMaxInBaseUnit(kUnbounded);
        param->SetValueInBaseUnit(value);
        param->SetMinInBaseUnit(min);
        param->SetMaxInBaseUnit(max);
        setup.AddParameter(std::move(param));
    }

    void ReadVariable(const Json& v, const std::string& place, CKX_Setup& setup,
                      std::unordered_set<std::string>& names) const {
        Object(v, place);
        const std::string name = Text(Member(v, "name", place), place + ".name");
        if (name.empty()) Fail(place + ".name", "the name is empty");
        const std::string at = place + " (\"" + name + "\")";
        if (!names.insert(LowerName(name)).second) Fail(at, "the name is used twice");
        std::string unit;
        int type = KX_TYPE_INT16;
        int address = -1;
        for (const auto& [key, value] : v.items()) {
            const std::string vat = at + "." + key;
            if (key == "name") continue;
            if (key == "unit")
                unit = Text(value, vat);
            else if (key == "type")
                type = static_cast<int>(Integer(value, vat, KX_TYPE_REAL, KX_TYPE_FLOAT));
            else if (key == "address")
                address = static_cast<int>(Integer(value, vat, -1, 0xFFFFFF));
            else
                Fail(vat, "unknown entry");
        }
        if (!FindUnitType(unit)) Fail(at + ".unit", "unknown unit \"" + unit + "\"");
        setup.AddVariable(std::make_unique<CKX_Variable>(name, unit, type, address));
    }

    std::unique_ptr<CKX_Setup> Read(std::string_view text) const {
        Json doc;
        try {
            doc = Json::parse(text.begin(), text.end());
        } catch (const Json::parse_error& e) {
            Fail(Position(text, e.byte), ParseProblem(e.what()));
        } catch (const Json::out_of_range&) {
            Fail("the document", "a number is not finite (too large for a double)");
        } catch (const Json::exception& e) {
            Fail("the document", std::string("not valid JSON (") + e.what() + ")");
        }
        Object(doc, "the document");
        auto setup = std::make_unique<CKX_Setup>();
        std::unordered_set<std::string> parameterNames, variableNames;
        bool hasParameters = false;
        for (const auto& [key, value] : doc.items()) {
            if (key == "format") {
                if (Text(value, key) != kFormat) Fail(key, "not a setup file of this drive family");
            } else if (key == "version") {
                if (Integer(value, key, 1, 1000) > kVersion)
                    Fail(key, "written by a newer program (version " + value.dump() + ")");
            } else if (key == "description") {
                setup->SetDescription(Text(value, key));
            } else if (key == "helpFile") {
                setup->SetHelpFile(Text(value, key));
            } else if (key == "identity") {
                ReadIdentity(value, *setup);
            } else if (key == "drive") {
                ReadDrive(value, setup->Drive());
            } else if (key == "parameters") {
                hasParameters = true;
                const Json& a = Array(value, key);
                for (std::size_t i = 0; i < a.size(); ++i)
                    ReadParameter(a[i], "parameters[" + std::to_string(i) + "]", *setup, parameterNames);
            } else if (key == "variables") {
                const Json& a = Array(value, key);
                for (std::size_t i = 0; i < a.size(); ++i)
                    ReadVariable(a[i], "variables[" + std::to_string(i) + "]", *setup, variableNames);
            } else if (key == "options") {
                Object(value, key);
                std::unordered_set<std::string> seen;
                for (const auto& [name, option] : value.items()) {
                    const std::string at = "options.\"" + name + "\"";
                    if (name.empty()) Fail(at, "the option name is empty");
                    if (!seen.insert(LowerName(name)).second) Fail(at, "the option is set twice");
                    setup->SetOption(name.c_str(), Text(option, at).c_str());
                }
            } else {
                Fail(key, "unknown section");
            }
        }
        if (!hasParameters) Fail("the document", "\"parameters\" is missing");
        return setup;
    }

    void ReadIdentity(const Json& value, CKX_Setup& setup) const {
        Object(value, "identity");
        for (const auto& [key, v] : value.items()) {
            const std::string at = "identity." + key;
            int ok = 1;
            if (key == "firmwareId")
                ok = setup.SetFirmwareID(Text(v, at));
            else if (key == "productId")
                ok = setup.SetProductID(Text(v, at));
            else if (key == "userAppId")
                ok = setup.SetUserAppID(Text(v, at));
            else if (key == "e2romSize")
                setup.SetE2ROMSize(static_cast<unsigned>(Integer(v, at, 0, 65535)));
            else
                Fail(at, "unknown entry");
            if (!ok) Fail(at, "not a valid identity text");
        }
    }

    static std::string Position(std::string_view text, std::size_t byte) {
        std::size_t line = 1, column = 1;
        const std::size_t end = std::min(byte > 0 ? byte - 1 : 0, text.size());
        for (std::size_t i = 0; i < end; ++i) {
            if (text[i] == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
        return "line " + std::to_string(line) + ", column " + std::to_string(column);
    }

    // nlohmann's message without its "[json.exception...] parse error at ...:" prefix.
    static std::string ParseProblem(const std::string& what) {
        const auto colon = what.find(": ", what.find("parse error"));
        std::string problem = colon == std::string::npos ? what : what.substr(colon + 2);
        return "not valid JSON (" + problem + ")";
    }

private:
    std::string m_source;
};

std::string ErrorText(int error) { return std::strerror(error); }

// Errors that say the system ran short, not that the path is wrong.
bool IsShortage(int error) {
    return error == ENOSPC || error == EDQUOT || error == EIO || error == EMFILE || error == ENFILE ||
           error == ENOMEM;
}

struct FileCloser {
    int fd;
    ~FileCloser() { ::close(fd); }
};

Json FrequenciesJson(const FrequencyList& list) { return Json{{"kHz", list.kHz}, {"modes", list.modes}}; }

Json BrakeOutputsJson(const std::vector<BrakeOutput>& outputs) {
    Json a = Json::array();
    for (const BrakeOutput& o : outputs)
        a.push_back(Json{{"port", o.port},
                         {"name", o.name},
                         {"stage", o.stage == OutputStage::Sink ? "sink" : "source"},
                         {"inverted", o.inverted}});
    return a;
}

}  // namespace

SetupFileError::SetupFileError(const std::string& source, const std::string& place,
                               const std::string& problem, Cause cause)
    : std::runtime_error(source + (place.empty() ? "" : ": " + place) + ": " + problem),
      m_source(source),
      m_place(place),
      m_problem(problem),
      m_cause(cause) {}

std::unique_ptr<CKX_Setup> LoadSetupFromText(std::string_view text, const std::string& sourceName) {
    return Reader(sourceName).Read(text);
}

std::unique_ptr<CKX_Setup> LoadSetupFile(const std::string& path) {
    using Cause = SetupFileError::Cause;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw SetupFileError(path, "", "cannot open the file (" + ErrorText(errno) + ")", Cause::Path);
    const FileCloser closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode))
        throw SetupFileError(path, "", "cannot read a folder as a setup file", Cause::Path);
    // Read in pieces up to a bound: the path may name a device or a pipe
    // that never ends.
    std::string text;
    std::array<char, 65536> buffer;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0)
            throw SetupFileError(path, "", "cannot read the file (" + ErrorText(errno) + ")", Cause::System);
        if (n == 0) break;
        if (text.size() + static_cast<std::size_t>(n) > kMaxSetupFileSize)
            throw SetupFileError(path, "",
                                 "the file is larger than " + std::to_string(kMaxSetupFileSize >> 20) +
                                     " MiB, too large for a setup file");
        text.append(buffer.data(), static_cast<std::size_t>(n));
    }
    if (text.find_first_not_of(" \t\r\n") == std::string::npos)
        throw SetupFileError(path, "", "the file is empty");
    return LoadSetupFromText(text, path);
}

std::string SaveSetupToText(const CKX_Setup& setup) {
    Json doc;
    doc["format"] = kFormat;
    doc["version"] = kVersion;
    doc["description"] = setup.GetDescription();
    if (!setup.GetHelpFile().empty()) doc["helpFile"] = setup.GetHelpFile();
    doc["identity"] = Json{{"firmwareId", setup.GetFirmwareID()},
                           {"productId", setup.GetProductID()},
                           {"userAppId", setup.GetUserAppID()},
                           {"e2romSize", setup.GetE2ROMSize()}};
    const DriveDescription& d = setup.GetDrive();
    Json ports = Json::array();
    for (const auto& [pin, port] : d.portOfPin) ports.push_back(Json{{"pin", pin}, {"port", port}});
    doc["drive"] = Json{{"motorSensors", d.motorSensors},
                        {"loadSensors", d.loadSensors},
                        {"maxSensorValue", d.maxSensorValue},
                        {"sensorNames", d.sensorNames},
                        {"feedbackNames", d.feedbackNames},
                        {"sensorLines", d.sensorLines},
                        {"ioPorts", ports},
                        {"ssiFrequencies", FrequenciesJson(d.ssi)},
                        {"ssiFrequenciesLD", FrequenciesJson(d.ssiLD)},
                        {"bissFrequencies", FrequenciesJson(d.biss)},
                        {"bissFrequenciesLD", FrequenciesJson(d.bissLD)},
                        {"adcBits", d.adcBits},
                        {"brakeOutputs", BrakeOutputsJson(d.brakeOutputs)}};
    Json parameters = Json::array();
    for (std::size_t i = 0; i < setup.GetParameterCount(); ++i) {
        const CKX_Parameter* p = setup.GetParameterAt(i);
        Json j{{"name", p->GetName()}, {"value", p->GetValueInBaseUnit()}};
        if (p->GetMinInBaseUnit() > -kUnbounded) j["min"] = p->GetMinInBaseUnit();
        if (p->GetMaxInBaseUnit() < kUnbounded) j["max"] = p->GetMaxInBaseUnit();
        j["unit"] = p->GetUnitName();
        j["type"] = p->GetType();
        j["precision"] = p->GetPrecision();
        parameters.push_back(std::move(j));
    }
    doc["parameters"] = std::move(parameters);
    Json variables = Json::array();
    for (std::size_t i = 0; i < setup.GetVariableCount(); ++i) {
        const CKX_Variable* v = setup.GetVariableAt(i);
        variables.push_back(Json{{"name", v->GetName()},
                                 {"unit", v->GetUnitName()},
                                 {"type", v->GetType()},
                                 {"address", v->GetAddress()}});
    }
    doc["variables"] = std::move(variables);
    Json options = Json::object();
    for (const auto& [name, text] : setup.GetOptions()) options[name] = text;
    doc["options"] = std::move(options);
    return doc.dump(1, '\t') + "\n";
}

void SaveSetupFile(const CKX_Setup& setup, const std::string& path) {
    WriteFileAtomically(path, SaveSetupToText(setup));
}

void WriteFileAtomically(const std::string& path, std::string_view text) {
    using Cause = SetupFileError::Cause;
    const auto fail = [&](const std::string& what, int error, Cause cause) {
        throw SetupFileError(path, "", what + " (" + ErrorText(error) + ")", cause);
    };
    const std::filesystem::path target(path);
    if (!target.has_filename()) throw SetupFileError(path, "", "not a file name", Cause::Path);
    std::string folder = target.parent_path().string();
    if (folder.empty()) folder = ".";
    // Renaming over a folder fails, and renaming over a device or a pipe
    // would replace it with a file: neither is a setup file to replace.
    struct stat old {};
    const bool exists = ::stat(path.c_str(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode))
        throw SetupFileError(path, "", "is a folder, not a file", Cause::Path);
    if (exists && !S_ISREG(old.st_mode)) throw SetupFileError(path, "", "is not a regular file", Cause::Path);

    std::string temp = path + ".tmp.XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        fail("cannot create a file in the folder \"" + folder + "\"", error,
             IsShortage(error) ? Cause::System : Cause::Path);
    }
    // Closes and removes the temporary file, keeping the error for the message.
    const auto discard = [&](bool closeIt) {
        const int error = errno;
        if (closeIt) ::close(fd);
        ::unlink(temp.c_str());
        return error;
    };
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            fail("cannot write the file", discard(true), Cause::System);
        }
        written += static_cast<std::size_t>(n);
    }
    // A replaced file keeps its permissions; a new one gets the usual 0644.
    const mode_t mode = exists ? (old.st_mode & 07777) : 0644;
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0)
        fail("cannot write the file", discard(true), Cause::System);
    if (::close(fd) != 0) fail("cannot write the file", discard(false), Cause::System);
    if (::rename(temp.c_str(), path.c_str()) != 0)
        fail("cannot replace the file", discard(false), Cause::System);
    // The new name lasts through a power loss once the folder is on disk too.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

}  // namespace kx
