#include "failure.h"

#include <cstdio>

#include "inkdot/inkdot.h"

namespace inkdot::cli {

const char* resultMeaning(int32_t code) {
    switch (code) {
        case INKDOT_OK: return "success";
        case INKDOT_ALLOC_FAILED: return "a memory block could not be allocated";
        case INKDOT_LOCK_FAILED: return "a memory block could not be locked";
        case INKDOT_UNLOCK_FAILED: return "a memory block could not be unlocked";
        case INKDOT_FREE_FAILED: return "a memory block could not be freed";
        case INKDOT_UNSUPPORTED: return "this combination of parameters is not supported";
        case INKDOT_BAD_FIRST_RECORD:
            return "the first record, or a value in it, is not acceptable";
        case INKDOT_BAD_SECOND_RECORD:
            return "the second record, or a value of a resource, is not acceptable";
        case INKDOT_NONZERO_FLAG: return "an argument that must be 0 is not";
        case INKDOT_LINE_TOO_LONG:
            return "the pixels reach beyond the line length fixed at creation";
        case INKDOT_NOT_ENABLED: return "an argument that must be non-zero is zero";
        case INKDOT_DEPTH_MISMATCH:
            return "the kernel does not take this output depth or pair value";
        case INKDOT_RESERVED_NONZERO: return "the reserved last argument is not 0";
        case INKDOT_SEQUENCE_ENDED:
            return "the resource sequence cannot go on (no matching index line, a missing or "
                   "malformed "
                   "resource, or a call after the end)";
        case INKDOT_CONTAINER_VERSION: return "byte 256 of a curve-set container is not 1";
        case INKDOT_CONTAINER_FORMAT: return "a curve-set container has the wrong format";
        default: return "unknown result code";
    }
}

std::string resultText(int32_t code) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(code));
    return std::string(hex) + " (" + resultMeaning(code) + ")";
}

std::string format(const char* fmt, double a, double b, double c, double d) {
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, a, b, c, d);
    return buf;
}

}  // namespace inkdot::cli
