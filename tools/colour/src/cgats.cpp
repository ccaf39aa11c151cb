#include "colour/cgats.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>

namespace inkdot::colour {
namespace {

[[noreturn]] void bad(size_t line, const std::string& what) {
    throw std::runtime_error("CGATS line " + std::to_string(line) + ": " + what);
}

// The tokens of a line: words and quoted strings, up to a comment.
std::vector<std::string> tokens(const std::string& line) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '"') {
            const size_t end = line.find('"', i + 1);
            out.push_back(
                line.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1));
            i = end == std::string::npos ? line.size() : end + 1;
        } else {
            const size_t end = line.find_first_of(" \t\r", i);
            out.push_back(line.substr(i, end == std::string::npos ? std::string::npos : end - i));
            i = end == std::string::npos ? line.size() : end;
        }
    }
    return out;
}

std::string percent(uint8_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.2f", v * 100.0 / 255.0);
    return buf;
}

}  // namespace

std::string cgatsText(const TargetGrid& grid, const std::vector<Lab>* lab,
                      const std::vector<std::string>& comments) {
    const std::vector<Cmyk> patches = grid.patches();
    if (lab && lab->size() != patches.size())
        throw std::invalid_argument("a measurement for every patch");
    std::ostringstream out;
    out << "CGATS.17\n"
        << "ORIGINATOR \"inkdot\"\n"
        << "DESCRIPTOR \"inkdot patch target: " << grid.cmyLevels
        << " levels of cyan, magenta and yellow by " << grid.kLevels << " levels of black\"\n";
    for (const std::string& c : comments) out << "# " << c << "\n";
    out << "NUMBER_OF_FIELDS " << (lab ? 8 : 5)
        << "\nBEGIN_DATA_FORMAT\nSAMPLE_ID CMYK_C CMYK_M CMYK_Y CMYK_K"
        << (lab ? " LAB_L LAB_A LAB_B" : "") << "\nEND_DATA_FORMAT\nNUMBER_OF_SETS "
        << patches.size() << "\nBEGIN_DATA\n";
    for (size_t i = 0; i < patches.size(); ++i) {
        const Cmyk& p = patches[i];
        out << i + 1 << ' ' << percent(p.c) << ' ' << percent(p.m) << ' ' << percent(p.y) << ' '
            << percent(p.k);
        if (lab) {
            char buf[64];
            std::snprintf(buf, sizeof buf, " %.3f %.3f %.3f", (*lab)[i].L, (*lab)[i].a,
                          (*lab)[i].b);
            out << buf;
        }
        out << '\n';
    }
    out << "END_DATA\n";
    return out.str();
}

Measurements readCgats(const std::string& text, const ColourSpaces& spaces) {
    std::istringstream in(text);
    std::string line;
    size_t number = 0;
    std::vector<std::string> fields;
    bool inFormat = false, inData = false, ended = false;
    long declaredSets = -1;
    struct Row {
        Cmyk device;
        std::array<double, 3> colour;
        size_t line;
    };
    std::vector<Row> rows;
    int c = -1, m = -1, y = -1, k = -1, l = -1, a = -1, b = -1, x = -1, yy = -1, z = -1;
    auto find = [&](const char* name) {
        for (size_t i = 0; i < fields.size(); ++i)
            if (fields[i] == name) return int(i);
        return -1;
    };
    while (std::getline(in, line)) {
        ++number;
        const std::vector<std::string> t = tokens(line);
        if (t.empty()) continue;
        if (inFormat) {
            if (t[0] == "END_DATA_FORMAT") {
                inFormat = false;
                c = find("CMYK_C"), m = find("CMYK_M"), y = find("CMYK_Y"), k = find("CMYK_K");
                l = find("LAB_L"), a = find("LAB_A"), b = find("LAB_B");
                x = find("XYZ_X"), yy = find("XYZ_Y"), z = find("XYZ_Z");
                if (c < 0 || m < 0 || y < 0 || k < 0)
                    bad(number, "the data format has no CMYK_C, CMYK_M, CMYK_Y and CMYK_K");
                if ((l < 0 || a < 0 || b < 0) && (x < 0 || yy < 0 || z < 0))
                    bad(number,
                        "the data format has neither LAB_L, LAB_A, LAB_B nor XYZ_X, XYZ_Y, XYZ_Z");
            } else {
                fields.insert(fields.end(), t.begin(), t.end());
            }
            continue;
        }
        if (inData) {
            if (t[0] == "END_DATA") {
                inData = false, ended = true;
                continue;
            }
            if (t.size() != fields.size())
                bad(number, "expected " + std::to_string(fields.size()) + " values, found " +
                                std::to_string(t.size()));
            auto value = [&](int i) {
                char* end = nullptr;
                const double v = std::strtod(t[size_t(i)].c_str(), &end);
                if (end == t[size_t(i)].c_str() || *end != '\0' || !std::isfinite(v))
                    bad(number,
                        "'" + t[size_t(i)] + "' is not a number (" + fields[size_t(i)] + ")");
                return v;
            };
            auto device = [&](int i) {
                const double v = value(i);
                if (v < -0.5 || v > 100.5)
                    bad(number, fields[size_t(i)] + " " + t[size_t(i)] + " is not a percentage");
                return uint8_t(std::lround(std::clamp(v, 0.0, 100.0) * 2.55));
            };
            Row r{{device(c), device(m), device(y), device(k)}, {}, number};
            if (l >= 0 && a >= 0 && b >= 0)
                r.colour = {value(l), value(a), value(b)};
            else
                r.colour = {value(x), value(yy), value(z)};
            rows.push_back(r);
            continue;
        }
        if (t[0] == "BEGIN_DATA_FORMAT")
            inFormat = true, fields.clear();
        else if (t[0] == "BEGIN_DATA") {
            if (fields.empty()) bad(number, "data before a data format");
            inData = true;
        } else if (t[0] == "NUMBER_OF_SETS" && t.size() > 1)
            declaredSets = std::strtol(t[1].c_str(), nullptr, 10);
    }
    if (inFormat) bad(number, "the data format has no END_DATA_FORMAT");
    if (inData || !ended) bad(number, "the data has no END_DATA");
    if (declaredSets >= 0 && size_t(declaredSets) != rows.size())
        bad(number, "NUMBER_OF_SETS says " + std::to_string(declaredSets) +
                        " patches, the data has " + std::to_string(rows.size()));
    const bool lab = l >= 0 && a >= 0 && b >= 0;

    // The grid the device values make.
    std::set<uint8_t> cyan, black;
    for (const Row& r : rows) cyan.insert(r.device.c), black.insert(r.device.k);
    TargetGrid grid{int(cyan.size()), int(black.size())};
    if (grid.cmyLevels < 2 || grid.kLevels < 2 || grid.cmyLevels > 33 || grid.kLevels > 33)
        throw std::runtime_error(
            "CGATS: the patches are not a target grid of 2 to 33 levels of each ink");
    std::map<uint32_t, const Row*> byDevice;
    auto key = [](const Cmyk& p) {
        return uint32_t(p.c) << 24 | uint32_t(p.m) << 16 | uint32_t(p.y) << 8 | p.k;
    };
    for (const Row& r : rows)
        if (!byDevice.emplace(key(r.device), &r).second)
            bad(r.line, "the same device values as an earlier patch");
    // XYZ scaled to Y = 100 is brought to Y = 1.
    double scale = 1.0;
    if (!lab)
        for (const Row& r : rows) scale = std::max(scale, r.colour[1] > 2.0 ? 100.0 : 1.0);
    auto xyzOf = [&](const Row& r) {
        if (lab) return spaces.xyzFromLab({r.colour[0], r.colour[1], r.colour[2]});
        return Xyz{r.colour[0] / scale, r.colour[1] / scale, r.colour[2] / scale};
    };
    const auto white = byDevice.find(key({0, 0, 0, 0}));
    if (white == byDevice.end())
        throw std::runtime_error("CGATS: no patch of bare paper (CMYK 0) to take the white from");
    const Xyz paper = xyzOf(*white->second), d50 = spaces.xyzFromLab({100, 0, 0});
    if (paper.X <= 0 || paper.Y <= 0 || paper.Z <= 0)
        bad(white->second->line, "the paper's colour is not a colour");

    Measurements out;
    out.grid = grid;
    for (const Cmyk& p : grid.patches()) {
        const auto it = byDevice.find(key(p));
        if (it == byDevice.end())
            throw std::runtime_error(
                "CGATS: the target grid of " + std::to_string(grid.cmyLevels) + " x " +
                std::to_string(grid.kLevels) + " levels needs a patch of CMYK " +
                std::to_string(p.c) + " " + std::to_string(p.m) + " " + std::to_string(p.y) + " " +
                std::to_string(p.k) + " (of 255), which the file does not have");
        const Xyz v = xyzOf(*it->second);
        out.lab.push_back(spaces.labFromXyz(
            {v.X / paper.X * d50.X, v.Y / paper.Y * d50.Y, v.Z / paper.Z * d50.Z}));
    }
    if (rows.size() != grid.size())
        throw std::runtime_error("CGATS: " + std::to_string(rows.size()) +
                                 " patches, but the target grid they make has " +
                                 std::to_string(grid.size()));
    return out;
}

}  // namespace inkdot::colour
