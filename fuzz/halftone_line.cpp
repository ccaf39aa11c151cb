// Halftone lines against completed objects: the input picks one of the
// prepared objects (every ink set, method, dot depth, resolution, input layout
// and matrix a kernel serves), how its input pixels are read, and then up to
// sixteen lines with their counts, starts, offsets, flags and pixels. The
// objects are built once per process; each run restores its object's line
// state first, so a run does what it would do on a fresh object.
//
// Input: object index (two bytes), sampling byte, then the lines.
#include <cstddef>
#include <cstdint>

#include "halftone_objects.h"

namespace {

// The reading of input pixels that a completed object of this kind could
// have been made with: the sequence reads inputScale only to set up repeated
// pixels, so objects differing in it alone are the same object otherwise.
// Pair modes keep their -1; repeated objects take 0 or 1 and any repetition
// from 2 to 9; mode 7 takes -1, 0, 1 or 2.
void setSampling(HalftoneContext& context, uint8_t choice) {
    HalftoneParams& p = context.params;
    if (p.pairFlag == 1 && context.mode != inkdot::Mode::separationPath) return;
    if (context.mode == inkdot::Mode::separationPath) {
        p.inputScale = int32_t(choice % 4) - 1;
    } else if (context.replication > 1) {
        p.inputScale = choice & 1;
        context.replication = 2 + (choice >> 1) % 8;
    } else {
        p.inputScale = int32_t(choice % 3) - 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<fuzz::PreparedObject>& objects = fuzz::preparedObjects();
    fuzz::Input in(data, size);
    fuzz::PreparedObject& object = objects[size_t(in.value(0, 65535)) % objects.size()];
    const uint8_t sampling = in.byte();
    if (!object.ready()) return 0;
    HalftoneContext& context = object.restore();
    setSampling(context, sampling);
    inkdot::prepareKernel(context);  // the view takes the sampling as the sequence would have
    const HalftoneParams params = context.params;
    fuzz::runLines(in, params, 16, [&](auto... args) { inkdot::halftone(&context, args...); });
    return 0;
}
