// The separation path's table entries, shared by the sequence that builds
// the table and the kernel that reads it.
#pragma once

#include <cstddef>

namespace inkdot::kernels {

// A packed separation-table entry: e0..e3 in the bytes of the first word, e4
// and e5 in the low bytes of the two halves of the second. Each pair that is
// averaged together, (e0, e2), (e1, e3) and (e4, e5), then sits in the two
// 16-bit halves of one word.
inline constexpr size_t kPackedEntryBytes = 8;

}  // namespace inkdot::kernels
