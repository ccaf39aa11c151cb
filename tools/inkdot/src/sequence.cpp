#include "sequence.h"

#include "failure.h"

namespace inkdot::cli {
namespace {

[[noreturn]] void callFailed(const std::string& call, int32_t result, const std::string& context) {
    throw Failure(kExitLibrary, call + " failed with " + resultText(result) +
                                    (context.empty() ? "" : ": " + context));
}

// The resources of the halftone sequence by call: the list, then the grid
// levels, the matrix and the level records it asks for.
Role halftoneRole(size_t call) {
    switch (call) {
        case 0: return Role::ResourceList;
        case 1: return Role::GridLevels;
        case 2: return Role::DitherMatrix;
        case 3: return Role::LevelRecords;
        default: return Role::Any;
    }
}

}  // namespace

ColourMatching::ColourMatching(Pack& pack, const CmParams& params, const CmSelect& select,
                               Role tableRole, const std::string& selectionText) {
    int32_t next = -1;
    if (int32_t r = CmNew(&params, &select, 0, &next, &cm_); r != INKDOT_OK) {
        cm_ = nullptr;
        callFailed("CmNew", r, selectionText);
    }
    // Resource 0 (the index), the colour table it chooses, and whatever
    // further steps the object asks for. A constructor that throws has no
    // destructor to run, so the object is deleted here on the way out.
    try {
        run(pack, next, tableRole, selectionText);
    } catch (...) {
        CmDelete(cm_);
        cm_ = nullptr;
        throw;
    }
}

void ColourMatching::run(Pack& pack, int32_t next, Role tableRole,
                         const std::string& selectionText) {
    for (int step = 0; next != INKDOT_NO_RESOURCE; ++step) {
        if (step == 8)
            callFailed("CmSetResource", INKDOT_SEQUENCE_ENDED, "the sequence does not end");
        const int32_t number = next;
        const Role role = step == 0 ? Role::Index : step == 1 ? tableRole : Role::Any;
        const Bytes& bytes = pack.resource(number, role);
        if (step == 1) table_ = number;
        const int32_t r = CmSetResource(cm_, bytes.data(), &next);
        if (r == INKDOT_SEQUENCE_ENDED && step == 0)
            callFailed(
                "CmSetResource", r,
                "no line of the index in " + pack.describe(number) + " matches " + selectionText);
        if (r != INKDOT_OK)
            callFailed("CmSetResource", r,
                       "on " + pack.describe(number) + " (" + selectionText + ")");
    }
}

ColourMatching::~ColourMatching() {
    if (cm_) CmDelete(cm_);
}

void ColourMatching::close() {
    CmContext* cm = cm_;
    cm_ = nullptr;
    if (cm)
        if (int32_t r = CmDelete(cm); r != INKDOT_OK) callFailed("CmDelete", r, "");
}

Halftoning::Halftoning(Pack& pack, const HalftoneParams& params, const CmLut& lut, int32_t list,
                       const std::string& settingsText)
    : settingsText_(settingsText) {
    int32_t tableClass = 0;
    if (int32_t r = HalftoneNew(&params, &lut, 0, &tableClass, &ht_); r != INKDOT_OK) {
        ht_ = nullptr;
        callFailed("HalftoneNew", r, settingsText);
    }
    try {
        run(pack, list);
    } catch (...) {
        HalftoneDelete(ht_);
        ht_ = nullptr;
        throw;
    }
}

void Halftoning::run(Pack& pack, int32_t list) {
    int32_t number = list;
    for (size_t call = 0; number != INKDOT_NO_RESOURCE; ++call) {
        if (call == 8)
            callFailed("HalftoneSetResource", INKDOT_SEQUENCE_ENDED, "the sequence does not end");
        const Bytes& bytes = pack.resource(number, halftoneRole(call));
        resources_.push_back(number);
        int32_t next = INKDOT_NO_RESOURCE;
        const int32_t r = HalftoneSetResource(ht_, bytes.data(), &next);
        if (r != INKDOT_OK)
            callFailed("HalftoneSetResource", r,
                       "on " + pack.describe(number) + " (" + settingsText_ + ")");
        number = next;
    }
}

Halftoning::~Halftoning() {
    if (ht_) HalftoneDelete(ht_);
}

void Halftoning::line(const uint8_t* src, uint8_t* dst, int32_t planeStride, int32_t bitOffset,
                      int32_t pixelCount, int32_t startX, int32_t lineNumber) {
    const int32_t r =
        Halftone(ht_, src, dst, planeStride, bitOffset, pixelCount, startX, 1, lineNumber, 0, 0);
    if (r != INKDOT_OK)
        callFailed("Halftone", r,
                   "line " + std::to_string(lineNumber) + ", pixels " + std::to_string(startX) +
                       " to " + std::to_string(startX + pixelCount - 1) + " (" + settingsText_ +
                       ")");
}

void Halftoning::close() {
    HalftoneContext* ht = ht_;
    ht_ = nullptr;
    if (ht)
        if (int32_t r = HalftoneDelete(ht); r != INKDOT_OK) callFailed("HalftoneDelete", r, "");
}

}  // namespace inkdot::cli
