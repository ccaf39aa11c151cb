#include "settings.h"

#include <cmath>
#include <cstdio>

#include "failure.h"
#include "respack/respack.h"

namespace inkdot::cli {
namespace {

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string join(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : ", ") + n;
    return out;
}

// The engine takes the later position when a list names something twice.
int position(const std::vector<std::string>& list, const std::string& name) {
    int found = -1;
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i] == name) found = int(i);
    return found;
}

} // namespace

PageSize parsePageSize(const std::string& text) {
    struct Named {
        const char* name;
        double w, h;
    };
    constexpr Named sizes[] = {{"a3", 297, 420}, {"a4", 210, 297}, {"a5", 148, 210}, {"a6", 105, 148},
                               {"letter", 215.9, 279.4}, {"legal", 215.9, 355.6}};
    const std::string l = lower(text);
    for (const Named& n : sizes)
        if (l == n.name) return {text, n.w, n.h};
    double w = 0, h = 0;
    char unit[8] = {};
    if (std::sscanf(l.c_str(), "%lfx%lf%7s", &w, &h, unit) >= 2 && (unit[0] == 0 || std::string(unit) == "mm") &&
        w >= 5 && h >= 5 && w <= 2000 && h <= 2000)
        return {text, w, h};
    throw Failure(kExitUsage, "page size '" + text + "' is not one of A3, A4, A5, A6, Letter, Legal or WIDTHxHEIGHTmm "
                              "(5 to 2000 mm)");
}

void parseResolution(const std::string& text, int& x, int& y) {
    constexpr int served[][2] = {{2880, 720}, {1440, 720}, {720, 720}, {720, 360}, {360, 720}};
    if (std::sscanf(text.c_str(), "%dx%d", &x, &y) == 2)
        for (const auto& s : served)
            if (s[0] == x && s[1] == y) return;
    throw Failure(kExitUsage, "resolution '" + text + "' is not one of 2880x720, 1440x720, 720x720, 720x360, 360x720");
}

Selection resolveSelection(Pack& pack, const PrintSettings& settings) {
    const Bytes& indexBytes = pack.resource(0, Role::Index);
    const respack::ParsedIndex index = respack::parseIndex(std::string(reinterpret_cast<const char*>(indexBytes.data())));
    Selection s;

    const int media = position(index.keyB, settings.media);
    if (media < 0)
        throw Failure(kExitUsage, "media '" + settings.media + "' is not in the pack's index (it offers " +
                                      join(index.keyB) + ")");
    s.keyB = index.keyBBase + media;
    s.mediaName = settings.media;

    const int intent = position(index.keyA, settings.intent);
    if (intent < 0)
        throw Failure(kExitUsage, "intent '" + settings.intent + "' is not in the pack's index (it offers " +
                                      join(index.keyA) + ")");
    s.keyA = intent;

    // The engine derives the colour-mode key from colorMode, with 2 (which
    // also switches on the colour re-mapping) standing for 4.
    const int mode = position(index.keyC, settings.colourMode);
    if (mode < 0 || mode == 2)
        throw Failure(kExitUsage, "colour mode '" + settings.colourMode + "' " +
                                      (mode < 0 ? "is not in the pack's index" : "cannot be chosen") +
                                      " (it offers " + join(index.keyC) + ")");
    s.colorMode = mode == 4 ? 2 : mode;
    s.colourModeName = settings.colourMode;

    const std::vector<Quality> qualities = pack.qualities();
    const Quality* quality = nullptr;
    std::vector<std::string> names;
    for (const Quality& q : qualities) {
        names.push_back(q.name);
        if (!settings.quality.empty() &&
            (lower(q.name) == lower(settings.quality) || std::to_string(q.number) == settings.quality))
            quality = &q;
    }
    if (!settings.quality.empty() && !quality)
        throw Failure(kExitUsage, "quality '" + settings.quality + "' is not in the pack (it offers " + join(names) + ")");
    if (!settings.resolution.empty()) {
        parseResolution(settings.resolution, s.xResolution, s.yResolution);
        // Without a quality, the one printed at this resolution, else "normal".
        for (const Quality& q : qualities)
            if (!quality && q.xResolution == s.xResolution && q.yResolution == s.yResolution) quality = &q;
        for (const Quality& q : qualities)
            if (!quality && lower(q.name) == "normal") quality = &q;
        if (!quality && !qualities.empty()) quality = &qualities.front();
    } else {
        for (const Quality& q : qualities)
            if (!quality && lower(q.name) == "normal") quality = &q;
        if (!quality && !qualities.empty()) quality = &qualities.front();
        if (quality) s.xResolution = quality->xResolution, s.yResolution = quality->yResolution;
    }
    if (!quality) throw Failure(kExitPack, "the manifest of " + pack.dir().string() + " lists no print qualities");
    s.numberA = quality->number;
    s.qualityName = quality->name;

    if (settings.bits != 1 && settings.bits != 2) throw Failure(kExitUsage, "dots are 1 or 2 bits");
    s.numberB = settings.bits;
    const std::string variant = lower(settings.variant);
    if (variant != "standard" && variant != "economy")
        throw Failure(kExitUsage, "variant '" + settings.variant + "' is neither standard nor economy");
    s.numberD = variant == "economy" ? 2 : 1;

    for (auto [value, name] : {std::pair{settings.brightness, "brightness"}, {settings.contrast, "contrast"},
                               {settings.saturation, "saturation"}})
        if (value < -50 || value > 50)
            throw Failure(kExitUsage, std::string(name) + " " + std::to_string(value) + " is outside -50 to 50");
    if (!(settings.gamma >= 1.0 && settings.gamma <= 3.0))
        throw Failure(kExitUsage, "gamma " + std::to_string(settings.gamma) + " is outside 1.0 to 3.0");
    return s;
}

void colourMatchingRecords(const Selection& s, const PrintSettings& settings, int numberC, bool blackOnlyGreys,
                           const CmTagList* tags, CmParams& params, CmSelect& select) {
    params = CmParams{};
    params.adjustMode = 0;
    params.brightness = settings.brightness;
    params.contrast = settings.contrast;
    params.saturation = settings.saturation;
    params.numberC = numberC;
    params.keyB = s.keyB;
    params.matchMode = 0;
    params.colorMode = s.colorMode;
    // 50 gives up the table's composite greys for its black-only ones.
    params.greyMode = blackOnlyGreys ? 50 : 0;
    params.tags = tags;
    select = CmSelect{};
    select.keyA = s.keyA;
    select.level = 0;
    select.pixelLayout = 1;  // four-byte work pixels: the colour-mode key stays
    select.greyCurve = 0;
    select.numberA = s.numberA;
    select.numberB = s.numberB;
    select.numberD = s.numberD;
}

} // namespace inkdot::cli
