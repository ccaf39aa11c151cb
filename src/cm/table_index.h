// The text index from which a resource is chosen to match the object's keys:
// resource 0 chooses the colour table, and the curve stage's second index
// chooses its curve table the same way.
#pragma once

#include <cstddef>
#include <cstdint>

struct CmContext;

namespace inkdot {

// The most entry lines an index may hold; the parsed lines live in one
// scratch block of kIndexScratchBytes.
inline constexpr int32_t kMaxIndexEntries = 500;
inline constexpr uint32_t kIndexScratchBytes = 62000;

// Parses the index `text` (at most `length` bytes; kUnbounded for none) and
// chooses the last entry line whose keys equal the object's: keyA and
// numberA, numberB, numberD (the last only from index version 300 on) of
// select, keyB and numberC of params, and cm.keyC.
//
// Sets cm.indexVersion. On a match also cm.chosenResource and cm.chosenClass,
// and *answer is the line's resource; without one *answer is 0 and the chosen
// values stay as they were. Results: 0; INKDOT_ALLOC_FAILED when the scratch block cannot
// be allocated or locked; INKDOT_SEQUENCE_ENDED when the index has more entry lines than the
// scratch block holds (then *answer is 0 too).
int32_t chooseFromIndex(CmContext& cm, const uint8_t* text, size_t length, int32_t* answer);

}  // namespace inkdot
