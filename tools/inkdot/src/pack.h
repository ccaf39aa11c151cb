// A resource pack as the command reads it: one file per resource number and
// manifest.json, which says what each resource is, its size and checksum,
// and which print settings and halftone lists the pack offers.
//
// The library reads resources by address, without a length, as a driver
// hands them over. So every resource is checked here before it goes in: its
// size and checksum against the manifest, and its structure against what the
// step of the sequence that asks for it will read. A missing, truncated or
// damaged resource becomes a message that names the resource and its file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace inkdot::cli {

using Bytes = std::vector<uint8_t>;

// What a step of a sequence takes a resource for.
enum class Role {
    Index,          // colour-table index (text)
    ColourTable3d,  // RGB -> CMYK colour table
    ColourTable4d,  // CMYK -> six-ink colour table (type 128)
    ResourceList,   // halftone resource-number list
    GridLevels,     // 32 grid levels
    DitherMatrix,   // threshold matrix
    LevelRecords,   // two-bit level records
    Any,            // only the manifest's size and checksum are checked
};
const char* roleName(Role role);

// The manifest's checksum of a resource's bytes: FNV-1a, 64 bits, in hex.
std::string checksumText(const Bytes& bytes);

// What is wrong with a resource for a role, or "" when it is fit.
std::string checkResource(Role role, const Bytes& bytes);

struct Quality {
    int number = 0;
    std::string name;
    int xResolution = 0, yResolution = 0;
};

// Where a command finds its pack: `given` (--pack) when not empty, else the
// directory in INKDOT_PACK, else the pack installed with the command
// (PREFIX/share/inkdot/packs/default, found from the command's own place,
// PREFIX/bin). Throws Failure(kExitPack) saying where it looked.
struct PackPlace {
    std::filesystem::path dir;
    std::string from;  // "--pack", "INKDOT_PACK" or "installed"
};
PackPlace locatePack(const std::filesystem::path& given);

// The installed pack's place for a command at `program`: the "share"
// beside its "bin".
std::filesystem::path installedPackDir(const std::filesystem::path& program);

class Pack {
public:
    // Opens a pack directory; throws Failure(kExitPack) when it has no
    // readable manifest.
    explicit Pack(std::filesystem::path dir);

    const std::filesystem::path& dir() const { return dir_; }
    std::filesystem::path fileOf(int32_t number) const;
    const nlohmann::json& manifest() const { return manifest_; }
    // A member of the manifest's "settings", or null.
    const nlohmann::json* setting(const std::string& name) const;
    // The manifest's line for a resource, or null.
    const nlohmann::json* entry(int32_t number) const;

    // The bytes of a resource, checked for the role, followed by zero bytes
    // (so a text ends and no step reads beyond the buffer). Valid while the
    // pack lives. Throws Failure(kExitPack).
    const Bytes& resource(int32_t number, Role role);

    // "resource 1002 (pack/1002.bin: RGB to CMYK, PlainPaper)".
    std::string describe(int32_t number) const;

    // Print settings the manifest describes (the media, intents and colour
    // modes come from the index itself).
    std::vector<Quality> qualities() const;               // numberA values
    int32_t halftoneList(const std::string& name) const;  // "diffusion", "dither", "bayer", "mode7"
    std::vector<std::string> inkOrder() const;    // ink names of the six-ink tables' channels
    std::vector<std::string> mediaNames() const;  // the media of the pack's settings (keyB)

private:
    std::filesystem::path dir_;
    nlohmann::json manifest_;
    std::map<int32_t, const nlohmann::json*> entries_;
    std::map<int32_t, Bytes> loaded_;
};

}  // namespace inkdot::cli
