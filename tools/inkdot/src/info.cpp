// `inkdot info PACK`.
#include <cstdio>
#include <fstream>

#include "commands.h"
#include "failure.h"
#include "pack.h"
#include "respack/respack.h"

namespace inkdot::cli {
int runInfo(const std::filesystem::path& dir) {
    Pack pack(dir);
    const nlohmann::json& m = pack.manifest();
    const nlohmann::json& resources = m.at("resources");
    std::printf("pack %s: %s, version %s, %zu resources\n", dir.c_str(),
                m.value("format", "?").c_str(),
                m.contains("version") ? m["version"].dump().c_str() : "?", resources.size());

    std::printf("\nprint qualities:\n");
    for (const Quality& q : pack.qualities())
        std::printf("  %d  %-8s %d x %d dpi\n", q.number, q.name.c_str(), q.xResolution,
                    q.yResolution);
    if (m["settings"].contains("halftoneLists")) {
        std::printf("halftone lists:");
        for (const auto& [name, number] : m["settings"]["halftoneLists"].items())
            std::printf(" %s %s", name.c_str(), number.dump().c_str());
        std::printf("\n");
    }

    // The index, read the way the engine reads it.
    int status = kExitOk;
    try {
        const Bytes& bytes = pack.resource(0, Role::Index);
        const respack::ParsedIndex index =
            respack::parseIndex(std::string(reinterpret_cast<const char*>(bytes.data())));
        std::printf("\nindex (resource 0, version %d): %zu lines; media:", index.version,
                    index.lines.size());
        for (const std::string& n : index.keyB) std::printf(" %s", n.c_str());
        std::printf("; colour modes:");
        for (const std::string& n : index.keyC) std::printf(" %s", n.c_str());
        std::printf("\n  %-6s %-5s %-9s %-12s %-7s %-4s %-8s %-4s %-7s %s\n", "table", "class",
                    "intent", "media", "quality", "dots", "mode", "role", "variant", "note");
        for (const respack::IndexLine& l : index.lines) {
            const char* role = l.numberC == 4 ? "RGB" : l.numberC == 6 ? "6ink" : "?";
            std::printf("  %-6d %-5d %-9s %-12s %-7d %-4d %-8s %-4s %-7d %s\n", l.resource,
                        l.tableClass, l.keyA.c_str(), l.keyB.c_str(), l.numberA, l.numberB,
                        l.keyC.c_str(), role, l.numberD, l.comment.c_str());
        }
    } catch (const Failure& f) {
        std::printf("\nindex: %s\n", f.what());
        status = kExitPack;
    }

    std::printf("\nresources:\n  %-6s %-20s %8s  %-9s %s\n", "number", "kind", "bytes", "state",
                "description");
    for (const auto& r : resources) {
        const int32_t number = r.at("number").get<int32_t>();
        const std::filesystem::path file = pack.fileOf(number);
        std::ifstream in(file, std::ios::binary);
        std::string state = "ok";
        if (!in) {
            state = "missing";
        } else {
            const Bytes bytes((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
            const uint64_t size = r.value("size", uint64_t(bytes.size()));
            if (bytes.size() < size)
                state = "truncated";
            else if (bytes.size() > size)
                state = "too long";
            else if (r.contains("fnv1a64") &&
                     r["fnv1a64"].get<std::string>() != checksumText(bytes))
                state = "damaged";
        }
        if (state != "ok") status = kExitPack;
        std::string note;
        if (r.contains("selectedBy"))
            note = "  [" + std::to_string(r["selectedBy"].size()) + " settings]";
        if (r.contains("use") && r["use"].contains("tag"))
            note = "  [tag " + r["use"]["tag"].dump() + " item]";
        std::printf("  %-6d %-20s %8s  %-9s %s%s\n", number, r.value("kind", "?").c_str(),
                    r.contains("size") ? r["size"].dump().c_str() : "?", state.c_str(),
                    r.value("description", "").c_str(), note.c_str());
    }
    if (status != kExitOk)
        std::fprintf(stderr, "inkdot: the pack %s has missing or damaged resources\n", dir.c_str());
    return status;
}

}  // namespace inkdot::cli
