// The library's two object sequences as a driver runs them: create, hand
// over resources by number until the library answers -1, use, delete. Every
// failing call becomes a Failure(kExitLibrary) that names the call, its
// result code and meaning, and the resource and file it was given.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "inkdot/inkdot.h"
#include "pack.h"

namespace inkdot::cli {

// A colour-matching object through its whole resource sequence.
class ColourMatching {
public:
    // `tableRole` is the colour table the index is expected to choose;
    // `selectionText` says in words what the records ask for (for the
    // message when no index line matches).
    ColourMatching(Pack& pack, const CmParams& params, const CmSelect& select, Role tableRole,
                   const std::string& selectionText);
    ~ColourMatching();
    ColourMatching(const ColourMatching&) = delete;
    ColourMatching& operator=(const ColourMatching&) = delete;

    const CmLut& lut() const { return *CmGetLut(cm_); }
    int32_t table() const { return table_; }  // the resource number the index chose
    // Deletes the object now, reporting a failure; the destructor only
    // deletes quietly.
    void close();

private:
    void run(Pack& pack, int32_t next, Role tableRole, const std::string& selectionText);

    CmContext* cm_ = nullptr;
    int32_t table_ = 0;
};

// A halftone object through its resource sequence, and its line call.
class Halftoning {
public:
    Halftoning(Pack& pack, const HalftoneParams& params, const CmLut& lut, int32_t list,
               const std::string& settingsText);
    ~Halftoning();
    Halftoning(const Halftoning&) = delete;
    Halftoning& operator=(const Halftoning&) = delete;

    // One stretch of a line; throws on a non-zero result.
    void line(const uint8_t* src, uint8_t* dst, int32_t planeStride, int32_t bitOffset,
              int32_t pixelCount, int32_t startX, int32_t lineNumber);
    // The resources the sequence took, in order (the list first).
    const std::vector<int32_t>& resources() const { return resources_; }
    void close();

private:
    void run(Pack& pack, int32_t list);

    HalftoneContext* ht_ = nullptr;
    std::string settingsText_;
    std::vector<int32_t> resources_;
};

}  // namespace inkdot::cli
