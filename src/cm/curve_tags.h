// Looking up the caller's tagged items.
#pragma once

#include <cstdint>

#include "inkdot/inkdot.h"

namespace inkdot {

// The item of the first pair with `tag`; null when the directory is missing,
// empty or has no such pair.
inline const void* findTag(const CmTagList* tags, int32_t tag) {
    if (tags == nullptr) return nullptr;
    for (int32_t i = 0; i < tags->count; ++i)
        if (tags->pairs[i].tag == tag) return tags->pairs[i].item;
    return nullptr;
}

}  // namespace inkdot
