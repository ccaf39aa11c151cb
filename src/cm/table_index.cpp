// The text index: a "//" marker with an optional version, a header line,
// entry lines of nine columns up to a line that begins with a slash, then
// the three name lists that turn columns 3, 4 and 7 into numbers.
#include "cm/table_index.h"

#include "cm/cm_context.h"
#include "cm/index_text.h"
#include "frame/mem_block.h"

namespace inkdot {
namespace {

// One parsed entry line; the names stay in the text.
struct IndexEntry {
    int32_t resource;
    int32_t tableClass;  // column 2, with 0 stored as -1
    int32_t keyA;
    int32_t keyC;
    int32_t keyB;
    int32_t numberA;
    int32_t numberB;
    int32_t numberC;
    int32_t numberD;
    Token nameA, nameB, nameC;
};
static_assert(sizeof(IndexEntry) * kMaxIndexEntries <= kIndexScratchBytes,
              "the scratch block holds every entry line");

constexpr int16_t kDefaultVersion = 200;

// Where a name list starts in the text; a list runs to its first empty token.
struct NameList {
    size_t start = 0;
    int32_t base = 0;
};

// Position of `name` in the list (the later one when it repeats), or -1.
int32_t findName(const uint8_t* text, size_t length, const NameList& list, Token name) {
    TextCursor cursor(text, length);
    cursor.setPosition(list.start);
    int32_t found = -1;
    for (int32_t position = 0;; ++position) {
        Token t = cursor.token();
        if (t.empty()) return found;
        if (t == name) found = position;
    }
}

int32_t resolveKey(const uint8_t* text, size_t length, const NameList& list, Token name) {
    int32_t position = findName(text, length, list, name);
    if (position < 0) return 0;
    return static_cast<int32_t>(static_cast<uint32_t>(list.base) + static_cast<uint32_t>(position));
}

// Skips a list line after noting where its names start.
NameList readList(TextCursor& cursor, bool mayHaveBase) {
    NameList list;
    list.start = cursor.position();
    if (mayHaveBase) {
        Token first = cursor.token();
        if (!first.startsWith('P')) {
            list.base = tokenNumber(first);
            list.start = cursor.position();
        }
    }
    cursor.skipLine();
    return list;
}

bool matches(const CmContext& cm, const IndexEntry& e) {
    return e.keyA == cm.select.keyA && e.keyC == cm.keyC && e.keyB == cm.params.keyB &&
           e.numberC == cm.params.numberC && e.numberA == cm.select.numberA &&
           e.numberB == cm.select.numberB &&
           (cm.indexVersion < 300 || e.numberD == cm.select.numberD);
}

// Reads the entry lines into `entries`; -1 when there are more than fit.
int32_t readEntries(TextCursor& cursor, IndexEntry* entries) {
    int32_t count = 0;
    while (!cursor.atTextEnd()) {
        Token first = cursor.token();
        if (first.startsWith('/')) break;
        if (first.empty() && cursor.atTextEnd()) break;
        if (count == kMaxIndexEntries) return -1;
        IndexEntry& e = entries[count++];
        e.resource = tokenNumber(first);
        e.tableClass = tokenNumber(cursor.token());
        if (e.tableClass == 0) e.tableClass = -1;
        e.nameA = cursor.token();
        e.nameB = cursor.token();
        e.numberA = tokenNumber(cursor.token());
        e.numberB = tokenNumber(cursor.token());
        e.nameC = cursor.token();
        e.numberC = tokenNumber(cursor.token());
        e.numberD = tokenNumber(cursor.token());
        cursor.skipLine();
    }
    cursor.skipLine();  // the end line
    return count;
}

}  // namespace

int32_t chooseFromIndex(CmContext& cm, const uint8_t* text, size_t length, int32_t* answer) {
    *answer = 0;
    platform::Handle scratchHandle = nullptr;
    void* scratch = nullptr;
    // The index reports a scratch block it could not lock as not allocated.
    if (allocateLocked(kIndexScratchBytes, true, scratchHandle, scratch) != 0)
        return INKDOT_ALLOC_FAILED;
    auto* entries = static_cast<IndexEntry*>(scratch);

    TextCursor cursor(text, length);
    cm.indexVersion = kDefaultVersion;
    if (cursor.findMarker()) {
        if (cursor.peek() == '3')
            cm.indexVersion = static_cast<int16_t>(tokenNumber(cursor.token()));
        cursor.skipLine();  // the marker line
        cursor.skipLine();  // the header
    }
    int32_t count = readEntries(cursor, entries);
    int32_t result = INKDOT_OK;
    if (count < 0) {
        result = INKDOT_SEQUENCE_ENDED;
    } else {
        NameList listA = readList(cursor, false);
        NameList listB = readList(cursor, true);
        NameList listC = readList(cursor, false);
        cursor.token();  // the closing line, which decides nothing

        for (int32_t i = 0; i < count; ++i) {
            IndexEntry& e = entries[i];
            e.keyA = resolveKey(text, length, listA, e.nameA);
            e.keyB = resolveKey(text, length, listB, e.nameB);
            e.keyC = resolveKey(text, length, listC, e.nameC);
            if (!matches(cm, e)) continue;
            *answer = e.resource;
            cm.chosenResource = e.resource;
            cm.chosenClass = e.tableClass;
        }
    }
    unlockAndFree(scratchHandle);
    return result;
}

}  // namespace inkdot
