#include "colour/pack_colour.h"

#include <cmath>
#include <stdexcept>

namespace inkdot::colour {
namespace {

InkModel modelOf(const std::string& media) {
    auto model = InkModel::forMedia(media);
    if (!model) throw std::invalid_argument("no ink model for media '" + media + "'");
    return *model;
}

PatchPrinter printerOf(const respack::Bytes& table, const respack::TableRequest& r,
                       PatchLayout layout = {}) {
    PrintPath path{r.xResolution, r.yResolution, r.bits, true, r.halftoneList};
    return PatchPrinter(table, r.resource, path, modelOf(r.media), layout);
}

std::vector<Lab> relative(const ColourSpaces& spaces, const InkModel& model,
                          const std::vector<Linear>& printed) {
    std::vector<Lab> out;
    out.reserve(printed.size());
    for (const Linear& v : printed) out.push_back(relativeLab(spaces, v, model.paper));
    return out;
}

}  // namespace

Characterisation::Characterisation(TargetGrid target)
    : target_(target), spaces_(std::make_unique<ColourSpaces>()) {}

Characterisation::~Characterisation() = default;

void Characterisation::useMeasurements(const std::string& media, Measurements measurements) {
    given_[media] = std::move(measurements);
}

// The method's version: raise it with every change to what the tables
// come out as, so that packs made before make their tables anew.
std::string Characterisation::generator() const {
    std::string g = "characterised/12 target " + std::to_string(target_.cmyLevels) + "x" +
                    std::to_string(target_.kLevels);
    // Measurements of a real printer make other tables than the ink model.
    for (const auto& [media, m] : given_) {
        respack::Bytes bytes;
        for (const Lab& v : m.lab)
            for (double c : {v.L, v.a, v.b}) bytes.push_back(uint8_t(std::lround(c * 100.0)));
        g += " measured " + media + " " + std::to_string(respack::fnv1a64(bytes));
    }
    return g;
}

respack::Bytes Characterisation::separationTable(const respack::TableRequest& request,
                                                 const respack::ColourTable4dOptions& options) {
    SeparationDesign design;
    design.points = options.points;
    design.inkLimit = options.inkLimit;
    const MeasureSeparation measure = [&](const SeparationDesign& d,
                                          std::span<const Cmyk> patches) {
        respack::ColourTable4dOptions o = options;
        o.grid = separationGrid(d);
        const PatchPrinter printer = printerOf(respack::colourTable4d(o), request);
        return relative(*spaces_, printer.model(), printer.printCmyk(patches));
    };
    lineariseSeparation(design, measure);
    respack::ColourTable4dOptions o = options;
    o.grid = separationGrid(design);
    respack::Bytes table = respack::colourTable4d(o);
    separations_[respack::fnv1a64(table)] = design;
    return table;
}

const PrinterModel& Characterisation::printerFor(const respack::TableRequest& r,
                                                 const PatchPrinter& printer) {
    const std::string key = r.media + " " + std::to_string(respack::fnv1a64(*r.separation)) + " " +
                            std::to_string(r.xResolution) + "x" + std::to_string(r.yResolution) +
                            " " + std::to_string(r.bits);
    auto it = printers_.find(key);
    if (it != printers_.end()) return it->second;
    Measurements m;
    if (auto given = given_.find(r.media); given != given_.end()) {
        m = given->second;
    } else {
        m.grid = target_;
        const std::vector<Cmyk> patches = target_.patches();
        m.lab = relative(*spaces_, printer.model(), printer.printCmyk(patches));
    }
    return printers_.emplace(key, PrinterModel(std::move(m))).first->second;
}

RgbTableDesign Characterisation::design(const std::string& media, const std::string& role,
                                        const respack::ColourTable3dOptions& options) {
    RgbTableDesign d;
    d.points = options.points;
    d.inkLimit = options.inkLimit;
    // Black joins the greys later on photo papers, where the light inks
    // make smooth highlights, and earlier on plain paper, which takes less
    // ink before it cockles.
    if (media == "PlainPaper") d.blackStartL = 80.0, d.blackFullL = 35.0;
    if (role == "vivid") d.saturation = 1.15, d.chromaKnee = 0.95;
    // Economy saves colour ink: black carries the greys from the start and
    // more of every dark colour.
    if (role == "economy") d.blackStartL = 97.0, d.blackFullL = 75.0, d.blackChromaFade = 45.0;
    return d;
}

respack::Bytes Characterisation::rgbTable(const respack::TableRequest& request,
                                          const respack::ColourTable3dOptions& options) {
    if (!request.separation)
        throw std::invalid_argument("an RGB table needs the six-ink table it prints through");
    const PatchPrinter printer = printerOf(*request.separation, request);
    const PrinterModel& model = printerFor(request, printer);
    RgbTableDesign d = design(request.media, request.role, options);
    if (auto it = separations_.find(respack::fnv1a64(*request.separation));
        it != separations_.end())
        d.overflow = [s = it->second](const std::array<double, 4>& x) {
            return pairOverflow(s, x);
        };
    const GamutMapping mapping(model, d, *spaces_);
    RgbTable table = buildRgbTable(model, mapping, d);
    // The nodes printed and corrected, measured as the target was.
    const bool measured = !given_.count(request.media);
    if (measured) {
        const PatchPrinter& nodes = printer;
        const MeasureCmyk measure = [&](std::span<const Cmyk> patches) {
            return relative(*spaces_, nodes.model(), nodes.printCmyk(patches));
        };
        refineRgbTable(table, model, d, measure, 2);
    }

    respack::ColourTable3dOptions o = options;
    o.grid = table.grid();
    // The grey ramp of one-ink printing, from black printed alone.
    std::vector<uint8_t> values;
    for (int v = 0; v < 255; v += 5) values.push_back(uint8_t(v));
    values.push_back(255);
    o.greyList =
        greyRamp(options.points, values,
                 relative(*spaces_, printer.model(), printer.printBlack(values)), *spaces_);
    // The engine's own colour tweaks and gain correction stay out of a
    // measured table: with these values they change nothing.
    o.dominantReduction = {0, 0, 0};
    o.hueShift = {0, 0, 0, 0};
    o.lowGapReduction = {0, 0, 0};
    o.percentAt0 = o.percentAt255 = 100;
    if (o.type == 51) {
        o.greyShare.resize(256);
        for (int v = 0; v < 256; ++v) o.greyShare[size_t(v)] = uint8_t(v);
    }
    return respack::colourTable3d(o);
}

}  // namespace inkdot::colour
