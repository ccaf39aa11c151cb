// The colour tables of a pack, characterised: each six-ink table is
// linearised by printing ink ramps through the library, and each RGB table
// is built by printing a patch target through its six-ink table, measuring
// it and inverting what was measured. The prints are measured with the ink
// model of the table's media, or, for a real printer, taken from
// measurements the user made of the same target.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "colour/characterise.h"
#include "colour/ink_model.h"
#include "colour/patch_print.h"
#include "respack/respack.h"

namespace inkdot::colour {

class Characterisation : public respack::ColourTableSource {
public:
    explicit Characterisation(TargetGrid target = {13, 6});
    ~Characterisation() override;

    // Builds the RGB tables of `media` from these measurements of its
    // target rather than from prints measured with the ink model.
    void useMeasurements(const std::string& media, Measurements measurements);

    respack::Bytes separationTable(const respack::TableRequest& request,
                                   const respack::ColourTable4dOptions& options) override;
    respack::Bytes rgbTable(const respack::TableRequest& request,
                            const respack::ColourTable3dOptions& options) override;
    std::string generator() const override;

    // The design an RGB table of this media and role is built with.
    static RgbTableDesign design(const std::string& media, const std::string& role,
                                 const respack::ColourTable3dOptions& options);

private:
    const PrinterModel& printerFor(const respack::TableRequest& request,
                                   const PatchPrinter& printer);

    TargetGrid target_;
    std::unique_ptr<ColourSpaces> spaces_;
    std::map<std::string, Measurements> given_;
    std::map<std::string, PrinterModel> printers_;
    std::map<uint64_t, SeparationDesign>
        separations_;  // by the checksum of the table made from each
};

}  // namespace inkdot::colour
