#include "pack.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>

#include "failure.h"
#include "respack/respack.h"

namespace inkdot::cli {
namespace {

namespace fs = std::filesystem;

constexpr size_t kPadding = 64;

unsigned le16(const Bytes& b, size_t at) {
    return unsigned(b[at]) | unsigned(b[at + 1]) << 8;
}
uint32_t le32(const Bytes& b, size_t at) {
    return le16(b, at) | uint32_t(le16(b, at + 2)) << 16;
}

std::string need(size_t want, size_t have, const std::string& what) {
    return "it holds " + std::to_string(have) + " bytes, but " + what + " needs " +
           std::to_string(want) + " (truncated)";
}

// An axis list of a colour table: increasing from 0 to 255.
std::string checkList(const uint8_t* list, int points, const char* axis) {
    if (list[0] != 0 || list[points - 1] != 255)
        return std::string("the list of ") + axis + " does not run from 0 to 255";
    for (int i = 1; i < points; ++i)
        if (list[i] <= list[i - 1])
            return std::string("the list of ") + axis + " is not increasing";
    return "";
}

// The extra block: a chain of tagged items (kind 1) must end within the
// block; any other block is read up to its byte 21.
std::string checkExtraBlock(const uint8_t* e, size_t length) {
    if (length < 8) return "its extra block is shorter than 8 bytes";
    const bool chain =
        e[0] == 4 && e[1] == 0 && e[2] == 0 && e[3] == 0 && e[4] == 0xFE && e[5] == 0xFF;
    if (!chain) return length < 22 ? "its extra block is shorter than 22 bytes" : "";
    for (size_t at = 0;;) {
        if (at + 4 > length) return "the item chain of its extra block has no end";
        const size_t n = size_t(e[at]) | size_t(e[at + 1]) << 8 | size_t(e[at + 2]) << 16 |
                         size_t(e[at + 3]) << 24;
        if (n == 0) return "";
        if (n < 2 || n > length - at - 4) return "an item of its extra block runs beyond the block";
        at += 4 + n;
    }
}

std::string checkColourTable(const Bytes& b, bool fourD) {
    if (b.size() < 77) return need(77, b.size(), "a colour-table header");
    const int type = b[15];
    if (fourD != (type == 128))
        return fourD ? "it is not a CMYK to six-ink (type 128) table"
                     : "it is a four-dimensional table, not RGB to CMYK";
    const int n0 = b[72], n1 = b[73], n2 = b[74];
    const int n3 = fourD ? b[75] : 1, c = fourD ? b[76] : b[75];
    if (n0 < 2 || n0 > 36 || n1 != n0 || n2 != n0 || (fourD && n3 != n0))
        return "its grid has " + std::to_string(n0) + " x " + std::to_string(n1) + " x " +
               std::to_string(n2) + " points (2 to 36 points, the same on every axis)";
    if (c != (fourD ? 6 : 4))
        return "it has " + std::to_string(c) + " output channels, not " + (fourD ? "6" : "4");
    const size_t lists = fourD ? 77 : 76;
    const size_t gridStart = lists + 3 * size_t(n0) + (fourD ? size_t(n3) : 0);
    size_t end = gridStart + size_t(n0) * n1 * n2 * n3 * size_t(c) + size_t(n0);  // grid, grey list
    if (type == 50 || type == 51) end += size_t(n0) * size_t(c);
    if (type == 51) end += 256;
    if (b.size() < end) return need(end, b.size(), "its grid");
    const char* axes[] = {"axis 0", "axis 1", "axis 2", "axes 2 and 3"};
    for (int a = 0; a < (fourD ? 4 : 3); ++a) {
        if (fourD && a == 2) continue;  // replaced by the fourth list
        std::string bad = checkList(&b[lists + size_t(a) * size_t(n0)], n0, axes[a]);
        if (!bad.empty()) return bad;
    }
    const uint32_t extraAt = le32(b, 16), extraLength = le32(b, 20);
    if (extraLength != 0 && (extraAt > b.size() || extraLength > b.size() - extraAt))
        return "its extra block (" + std::to_string(extraLength) + " bytes at " +
               std::to_string(extraAt) + ") lies beyond its end (truncated)";
    if (extraLength != 0) return checkExtraBlock(&b[extraAt], extraLength);
    return "";
}

int matrixSide(int code) {
    return code == 255 ? 256 : code == 239 ? 512 : code;
}

// A whole number of the manifest that T holds: an integer, or a number with
// no fraction (5001.0); anything else (a fraction, a number out of T's range,
// a string) throws, for the caller to report as a damaged manifest.
template <typename T>
T wholeNumber(const nlohmann::json& v) {
    constexpr double low = double(std::numeric_limits<T>::min()),
                     high = double(std::numeric_limits<T>::max());
    if (v.is_number_unsigned()) {
        if (v.get<uint64_t>() <= uint64_t(std::numeric_limits<T>::max()))
            return T(v.get<uint64_t>());
    } else if (v.is_number_integer()) {
        const int64_t n = v.get<int64_t>();
        if (n >= 0 ? uint64_t(n) <= uint64_t(std::numeric_limits<T>::max()) : double(n) >= low)
            return T(n);
    } else if (v.is_number_float()) {
        const double d = v.get<double>();
        if (d >= low && d < high && d == std::trunc(d)) return T(d);
    }
    throw std::runtime_error("the value " + v.dump() + " is not a whole number in range");
}

}  // namespace

std::string checksumText(const Bytes& bytes) {
    char buf[20];
    std::snprintf(buf, sizeof buf, "%016llx",
                  static_cast<unsigned long long>(respack::fnv1a64(bytes)));
    return buf;
}

const char* roleName(Role role) {
    switch (role) {
        case Role::Index: return "colour-table index";
        case Role::ColourTable3d: return "RGB to CMYK colour table";
        case Role::ColourTable4d: return "CMYK to six-ink colour table";
        case Role::ResourceList: return "halftone resource list";
        case Role::GridLevels: return "grid-level resource";
        case Role::DitherMatrix: return "dither matrix";
        case Role::LevelRecords: return "level-record resource";
        case Role::Any: return "resource";
    }
    return "resource";
}

std::string checkResource(Role role, const Bytes& b) {
    switch (role) {
        case Role::Index: {
            const std::string text(b.begin(), b.end());
            if (text.find("//") == std::string::npos)
                return "it has no \"//\" marker: not a colour-table index";
            try {
                const respack::ParsedIndex index = respack::parseIndex(text);
                if (index.lines.size() > 500) return "it has more than 500 lines";
                if (index.keyA.size() > 12 || index.keyB.size() > 64 || index.keyC.size() > 12)
                    return "its name lists are longer than 12, 64 and 12 names";
                for (const auto& list : {index.keyA, index.keyC})
                    for (const auto& name : list)
                        if (name.size() > 11)
                            return "the name '" + name + "' is longer than 11 characters";
                for (const auto& name : index.keyB)
                    if (name.size() > 49)
                        return "the name '" + name + "' is longer than 49 characters";
                for (const auto& line : index.lines)
                    if (line.keyA.size() > 11 || line.keyC.size() > 11 || line.keyB.size() > 49)
                        return "the line of resource " + std::to_string(line.resource) +
                               " has a name that is too long";
            } catch (const std::exception& e) {
                return std::string("it cannot be read as an index: ") + e.what();
            }
            return "";
        }
        case Role::ColourTable3d: return checkColourTable(b, false);
        case Role::ColourTable4d: return checkColourTable(b, true);
        case Role::ResourceList:
            for (size_t i = 0; i < 15; ++i) {
                if (b.size() < 2 * i + 2) return need(2 * i + 2, b.size(), "a list ended by -1");
                if (le16(b, 2 * i) == 0xFFFF) return "";
            }
            return "it has no -1 among its first 15 numbers";
        case Role::GridLevels: {
            if (b.size() < 34) return need(34, b.size(), "a count and 32 levels");
            if (le16(b, 0) != 32)
                return "its level count is " + std::to_string(le16(b, 0)) + ", not 32";
            std::string bad = checkList(&b[2], 32, "levels");
            return bad;
        }
        case Role::DitherMatrix: {
            if (b.size() < 4) return need(4, b.size(), "a matrix header");
            const int w = matrixSide(b[0]), h = matrixSide(b[1]);
            if (w == 0 || h == 0 || (w & (w - 1)) != 0)
                return "its size " + std::to_string(w) + " x " + std::to_string(h) +
                       " is not usable (the width must be a power of two)";
            const size_t want = 4 + 2 * size_t(w) * size_t(h);
            if (b.size() < want)
                return need(want, b.size(),
                            "a " + std::to_string(w) + " x " + std::to_string(h) + " matrix");
            return "";
        }
        case Role::LevelRecords:
            if (b.size() < 32 + 3 * 512)
                return need(32 + 3 * 512, b.size(), "a header and 512 records");
            return "";
        case Role::Any: return "";
    }
    return "";
}

fs::path installedPackDir(const fs::path& program) {
    return program.parent_path().parent_path() / "share" / "inkdot" / "packs" / "default";
}

PackPlace locatePack(const fs::path& given) {
    if (!given.empty()) return {given, "--pack"};
    if (const char* env = std::getenv("INKDOT_PACK"); env && *env) return {env, "INKDOT_PACK"};
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    const fs::path installed = ec ? fs::path() : installedPackDir(self);
    if (!installed.empty() && fs::exists(installed / "manifest.json", ec))
        return {installed, "installed"};
    throw Failure(kExitPack,
                  "no resource pack: give --pack DIR, set INKDOT_PACK, or install one (`cmake "
                  "--install` puts "
                  "the default pack in " +
                      (installed.empty() ? std::string("PREFIX/share/inkdot/packs/default")
                                         : installed.string()) +
                      "); `respack default DIR` makes one");
}

Pack::Pack(fs::path dir) : dir_(std::move(dir)) {
    std::error_code ec;
    if (!fs::is_directory(dir_, ec))
        throw Failure(kExitPack, "resource pack " + dir_.string() +
                                     " is not a directory (make one with `respack default " +
                                     dir_.string() + "`)");
    const fs::path file = dir_ / "manifest.json";
    std::ifstream in(file);
    if (!in)
        throw Failure(kExitPack, "resource pack " + dir_.string() +
                                     " has no manifest.json: not a resource pack");
    // The parser's words without its own tag ("[json.exception.parse_error.101] ").
    auto words = [](const std::exception& e) {
        const std::string text = e.what();
        const size_t tag = text.rfind("] ", text.find(' '));
        return text.rfind("[json.exception", 0) == 0 && tag != std::string::npos
                   ? text.substr(tag + 2)
                   : text;
    };
    try {
        manifest_ = nlohmann::json::parse(in);
    } catch (const nlohmann::json::exception& e) {  // a syntax error, or a number out of range
        std::string where = words(e);
        if (where.rfind("parse error ", 0) == 0) where = where.substr(12);
        throw Failure(kExitPack, "the pack's manifest " + file.string() + " is not valid JSON: " +
                                     where + " (`respack default DIR` writes a whole new pack)");
    }
    try {
        if (!manifest_.is_object() || !manifest_.contains("resources") ||
            !manifest_["resources"].is_array())
            throw std::runtime_error("it has no \"resources\" list");
        if (!manifest_.contains("settings") || !manifest_["settings"].is_object())
            throw std::runtime_error("it has no \"settings\" object");
        for (const auto& r : manifest_.at("resources"))
            entries_[wholeNumber<int32_t>(r.at("number"))] = &r;
    } catch (const std::exception& e) {
        throw Failure(kExitPack, "the pack's manifest " + file.string() +
                                     " is not a pack manifest: " + words(e) +
                                     " (each resource needs a \"number\"; `respack default DIR` "
                                     "writes a whole new pack)");
    }
}

fs::path Pack::fileOf(int32_t number) const {
    if (const nlohmann::json* e = entry(number);
        e && e->contains("file") && (*e)["file"].is_string())
        return dir_ / (*e)["file"].get<std::string>();
    return dir_ / respack::resourceFileName(number);
}

const nlohmann::json* Pack::setting(const std::string& name) const {
    const auto settings = manifest_.find("settings");
    if (settings == manifest_.end() || !settings->is_object() || !settings->contains(name))
        return nullptr;
    return &(*settings)[name];
}

const nlohmann::json* Pack::entry(int32_t number) const {
    auto it = entries_.find(number);
    return it == entries_.end() ? nullptr : it->second;
}

std::string Pack::describe(int32_t number) const {
    std::string text = "resource " + std::to_string(number) + " (" + fileOf(number).string();
    if (const nlohmann::json* e = entry(number);
        e && e->contains("description") && (*e)["description"].is_string())
        text += ": " + (*e)["description"].get<std::string>();
    return text + ")";
}

const Bytes& Pack::resource(int32_t number, Role role) {
    if (auto it = loaded_.find(number); it != loaded_.end()) {
        const Bytes content(it->second.begin(), it->second.end() - kPadding);
        if (std::string bad = checkResource(role, content); !bad.empty())
            throw Failure(kExitPack, describe(number) + " is no " + roleName(role) + ": " + bad);
        return it->second;
    }
    const fs::path file = fileOf(number);
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw Failure(kExitPack, "resource " + std::to_string(number) + " is missing: no file " +
                                     file.string() + " (the sequence asked for it as its " +
                                     roleName(role) + ")");
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (const nlohmann::json* e = entry(number)) {
        if (e->contains("size")) {
            uint64_t size = 0;
            try {
                size = wholeNumber<uint64_t>((*e)["size"]);
            } catch (const std::exception& error) {
                throw Failure(kExitPack, "the manifest's size of " + describe(number) +
                                             " is damaged: " + error.what());
            }
            if (size != bytes.size())
                throw Failure(kExitPack, describe(number) + " holds " +
                                             std::to_string(bytes.size()) +
                                             " bytes, the manifest says " + std::to_string(size) +
                                             (bytes.size() < size ? " (truncated)" : ""));
        }
        if (e->contains("fnv1a64") && (!(*e)["fnv1a64"].is_string() ||
                                       (*e)["fnv1a64"].get<std::string>() != checksumText(bytes)))
            throw Failure(kExitPack, describe(number) +
                                         " does not match the checksum in the manifest (damaged)");
    }
    if (std::string bad = checkResource(role, bytes); !bad.empty())
        throw Failure(kExitPack, describe(number) + " is no " + roleName(role) + ": " + bad);
    bytes.resize(bytes.size() + kPadding, 0);
    return loaded_.emplace(number, std::move(bytes)).first->second;
}

std::vector<Quality> Pack::qualities() const {
    std::vector<Quality> out;
    try {
        for (const auto& q : manifest_.at("settings").at("numberA"))
            out.push_back({wholeNumber<int>(q.at("numberA")), q.at("name").get<std::string>(),
                           wholeNumber<int>(q.at("xResolution")),
                           wholeNumber<int>(q.at("yResolution"))});
    } catch (const std::exception& e) {
        throw Failure(kExitPack,
                      "the manifest of " + dir_.string() + " lists no qualities: " + e.what());
    }
    return out;
}

int32_t Pack::halftoneList(const std::string& name) const {
    try {
        return wholeNumber<int32_t>(manifest_.at("settings").at("halftoneLists").at(name));
    } catch (const std::exception&) {
        throw Failure(kExitPack, "the manifest of " + dir_.string() +
                                     " names no halftone list for '" + name + "'");
    }
}

std::vector<std::string> Pack::mediaNames() const {
    try {
        return manifest_.at("settings").at("keyB").get<std::vector<std::string>>();
    } catch (const nlohmann::json::exception&) {
        throw Failure(kExitPack, "the manifest of " + dir_.string() + " lists no media");
    }
}

std::vector<std::string> Pack::inkOrder() const {
    try {
        return manifest_.at("settings").at("inkOrder").get<std::vector<std::string>>();
    } catch (const std::exception&) {
        return {"cyan", "light cyan", "magenta", "light magenta", "yellow", "black"};
    }
}

}  // namespace inkdot::cli
