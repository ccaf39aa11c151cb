// Completed halftone objects, built once per process and reused by every run:
// one for each combination of ink set, method, dot depth, resolution, input
// layout (plain, repeated pixels, pairs) and dither matrix whose lines some
// kernel serves. Building a separated object re-samples a 32^4 table, which
// takes far longer than any line; a run instead restores the object's line
// state (the context record and every owned block but that table) from a
// snapshot taken when it was completed, so each run starts from the same
// object whatever the runs before it did.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "frame/workers.h"
#include "fuzz_input.h"
#include "halftone/call_frame.h"
#include "halftone/halftone_context.h"

namespace fuzz {

// How the input pixels of an object arrive: one per output pixel, repeated
// (an inputScale of 2 or more, through the expanded line), or in pairs
// (pairFlag 1, which only the half-width modes take).
enum class Layout { plain, repeated, paired };

struct ObjectShape {
    int32_t inkSet, method, outputBits, resolution;
    Layout layout;
    bool oddMatrix;  // a 7 x 5 matrix instead of the 16 x 16 one
};

inline constexpr int32_t kObjectResolutions[][2] = {{720, 720},  {720, 360}, {1440, 720},
                                                    {2880, 720}, {360, 720}, {1440, 1440}};
inline constexpr int32_t kObjectMaxPixels = 613;  // odd, and wider than any matrix row

inline HalftoneParams objectParams(const ObjectShape& s) {
    HalftoneParams p{};
    p.method = s.method;
    p.inkSet = s.inkSet;
    p.inputFormat = s.inkSet ? 4 : 0;
    p.outputBits = s.outputBits;
    p.xResolution = kObjectResolutions[s.resolution][0];
    p.yResolution = kObjectResolutions[s.resolution][1];
    p.inputScale = s.layout == Layout::plain ? 0 : s.layout == Layout::repeated ? 2 : -1;
    p.pairFlag = s.layout == Layout::paired ? 1 : 0;
    p.maxPixels = kObjectMaxPixels;
    p.version = INKDOT_HALFTONE_VERSION;
    return p;
}

// The extra block: two-bit objects need one, either the chain kind (level
// records computed) or the record kind (level records read as a fourth
// resource); one-bit objects get the record kind with the odd matrix, so the
// fourth call's check is taken there too.
inline Bytes objectExtra(const ObjectShape& s) {
    const bool records = s.outputBits == 2 ? (s.resolution + s.oddMatrix) % 2 == 1
                                           : s.outputBits == 1 && s.oddMatrix;
    if (records) {
        Bytes out = {4, 0, 0, 0, 2, 0, 0, 0, 0xFB, 0x69, 0xF7, 0xDC, 0, 0, 0, 0};
        putLe16(out, 300);  // the level-record resource's number
        out.resize(24, 0);
        return out;
    }
    if (s.outputBits == 2) return {4, 0, 0, 0, 0xFE, 0xFF, 0, 0, 0, 0, 0, 0};
    return {};
}

inline Bytes oddMatrix() {
    Bytes out = {7, 5, 0, 0};
    for (int k = 0; k < 35; ++k) putLe16(out, uint16_t((k * 13) % 35));
    return out;
}

class PreparedObject {
public:
    explicit PreparedObject(const ObjectShape& shape)
        : shape_(shape), extraBlock_(objectExtra(shape)) {}

    // Builds the object on first use; false when its sequence does not complete.
    bool ready() {
        if (!built_) build();
        return context_ != nullptr;
    }

    // Puts the object back as it was completed.
    HalftoneContext& restore() {
        std::memcpy(static_cast<void*>(context_), &record_, sizeof record_);
        for (const Saved& s : saved_)
            std::memcpy(context_->blocks[s.index].address, s.bytes.data(), s.bytes.size());
        if (table_ != nullptr && ++uses_ % 4096 == 0) checkTable();
        return *context_;
    }

    const ObjectShape& shape() const { return shape_; }

private:
    struct Saved {
        int index;
        Bytes bytes;
    };

    void build() {
        built_ = true;
        const HalftoneParams params = objectParams(shape_);
        // The colour table's grid and extra block stay with the object: the
        // object keeps the addresses.
        Lut table(shape_.inkSet != 0, extraBlock_.empty() ? nullptr : extraBlock_.data());
        grid_ = table.grid;
        table.lut.grid = grid_.data();
        table.lut.gridHandle = grid_.data();
        int32_t tableClass = 0;
        HalftoneContext* context = nullptr;
        if (inkdot::halftoneNew(&params, &table.lut, 0, &tableClass, &context,
                                extraBlock_.size()) != INKDOT_OK)
            return;
        const Bytes steps[] = {standardList(), gridLevels(),
                               shape_.oddMatrix ? oddMatrix() : bayerMatrix(), levelRecords()};
        int32_t next = 0;
        for (const Bytes& step : steps) {
            const Exact resource(step);
            if (inkdot::halftoneSetResource(context, resource.data(), resource.size, &next) !=
                    INKDOT_OK ||
                next == -1)
                break;
        }
        if (context->sequenceState != inkdot::kSequenceComplete) {
            inkdot::halftoneDelete(context);
            return;
        }
        context_ = context;
        std::memcpy(&record_, context, sizeof record_);
        const bool separated = shape_.inkSet != 0;
        for (int i = 0; i < inkdot::kBlockTableSize; ++i) {
            const inkdot::MemBlock& b = context->blocks[i];
            if (b.handle == nullptr || b.address == nullptr) continue;
            const auto* at = static_cast<const uint8_t*>(b.address);
            if (separated && i == inkdot::kSeparationTable) {
                table_ = at;
                tableBytes_ = size_t(b.size);
                tableHash_ = hash();
                continue;
            }
            saved_.push_back({i, Bytes(at, at + b.size)});
        }
    }

    // The separation table is not restored (it is the one large block); no
    // line call may change it, which this checks now and then.
    uint64_t hash() const {
        uint64_t h = 1469598103934665603u;
        for (size_t i = 0; i < tableBytes_; i += 8) {
            uint64_t word = 0;
            std::memcpy(&word, table_ + i, std::min<size_t>(8, tableBytes_ - i));
            h = (h ^ word) * 1099511628211u;
        }
        return h;
    }
    void checkTable() const {
        if (hash() == tableHash_) return;
        std::fprintf(stderr, "a line call changed the separation table\n");
        std::abort();
    }

    ObjectShape shape_;
    Bytes extraBlock_;
    Bytes grid_;
    bool built_ = false;
    HalftoneContext* context_ = nullptr;
    HalftoneContext record_{};
    std::vector<Saved> saved_;
    const uint8_t* table_ = nullptr;
    size_t tableBytes_ = 0;
    uint64_t tableHash_ = 0;
    uint64_t uses_ = 0;
};

// Whether some kernel serves lines of this shape: probed on a fresh object
// (HalftoneNew alone, which builds no table).
inline bool linesServed(const ObjectShape& shape) {
    const HalftoneParams params = objectParams(shape);
    Lut table(shape.inkSet != 0);
    int32_t tableClass = 0;
    HalftoneContext* context = nullptr;
    if (inkdot::halftoneNew(&params, &table.lut, 0, &tableClass, &context) != INKDOT_OK)
        return false;
    // Mode 7 takes no repeated pixels and no pairs of its own: its lines
    // read the input as inputScale says, which a run sets.
    const bool served = context->mode == inkdot::Mode::separationPath
                            ? shape.inkSet != 0 && shape.layout == Layout::plain
                            : inkdot::chooseKernel(*context).kernel != nullptr;
    inkdot::halftoneDelete(context);
    return served;
}

// Every shape whose lines a kernel serves, in a fixed order (the input picks
// one by its index). The objects live as long as the process: they are
// never destroyed, so the leak check at exit sees them still reachable.
inline std::vector<PreparedObject>& preparedObjects() {
    static std::vector<PreparedObject>& objects = *[] {
        auto* out = new std::vector<PreparedObject>;
        for (int32_t inkSet : {0, 3})
            for (int32_t method : {1, 3})
                for (int32_t bits : {1, 2, 8})
                    for (int32_t resolution = 0; resolution < 6; ++resolution)
                        for (Layout layout : {Layout::plain, Layout::repeated, Layout::paired})
                            for (bool odd : {false, true}) {
                                const ObjectShape shape{inkSet,     method, bits,
                                                        resolution, layout, odd};
                                if (linesServed(shape)) out->emplace_back(shape);
                            }
        std::fprintf(stderr, "halftone objects: %zu shapes\n", out->size());
        return out;
    }();
    return objects;
}

}  // namespace fuzz
