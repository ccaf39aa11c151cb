/*
 * The golden table: one program, written against the public header alone,
 * that drives the eleven functions through every path a printer driver can
 * take and reduces each scenario to a checksum of every byte it produced
 * (results and answers, planes, the CmLut record with its grid and extra
 * block, the table image). It runs unchanged on every target: linked to the
 * shared library on Linux, and on 32-bit Windows loading inkdot.dll with
 * LoadLibrary and calling the decorated names through GetProcAddress, as a
 * driver does.
 *
 *   golden RESOURCES EXPECTED [--target NAME] [--dll PATH] [--write] [--verbose]
 *
 * RESOURCES holds <number>.bin for every resource (golden_resources makes
 * them); EXPECTED is the checked-in table of checksums. Every difference is
 * reported by scenario and target; --write writes the table instead.
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "inkdot/inkdot.h"

#ifdef _WIN32
#include <windows.h>
#endif

/* ---- the library's entry points ---------------------------------------- */

typedef int32_t(INKDOT_CALL* CmNewFn)(const CmParams*, const CmSelect*, int32_t, int32_t*,
                                      CmContext**);
typedef int32_t(INKDOT_CALL* CmSetResourceFn)(CmContext*, const void*, int32_t*);
typedef CmLut*(INKDOT_CALL* CmGetLutFn)(CmContext*);
typedef int32_t(INKDOT_CALL* CmDeleteFn)(CmContext*);
typedef int32_t(INKDOT_CALL* HalftoneNewFn)(const HalftoneParams*, const CmLut*, int32_t, int32_t*,
                                            HalftoneContext**);
typedef int32_t(INKDOT_CALL* HalftoneSetResourceFn)(HalftoneContext*, const void*, int32_t*);
typedef int32_t(INKDOT_CALL* HalftoneFn)(HalftoneContext*, const void*, uint8_t*, int32_t, int32_t,
                                         int32_t, int32_t, int32_t, int32_t, int32_t, int32_t);
typedef int32_t(INKDOT_CALL* HalftoneDeleteFn)(HalftoneContext*);
typedef int32_t(INKDOT_CALL* HTableNewFn)(const HalftoneParams*, const CmLut*, int32_t,
                                          const uint8_t*, int32_t*, HTableContext**);
typedef int32_t(INKDOT_CALL* HTableGetFn)(HTableContext*, const void*, int32_t*, int32_t*,
                                          uint8_t*);
typedef int32_t(INKDOT_CALL* HTableDeleteFn)(HTableContext*);

static struct {
    CmNewFn cmNew;
    CmSetResourceFn cmSetResource;
    CmGetLutFn cmGetLut;
    CmDeleteFn cmDelete;
    HalftoneNewFn halftoneNew;
    HalftoneSetResourceFn halftoneSetResource;
    HalftoneFn halftone;
    HalftoneDeleteFn halftoneDelete;
    HTableNewFn tableNew;
    HTableGetFn tableGet;
    HTableDeleteFn tableDelete;
} api;

#ifdef _WIN32
static void* entry(HMODULE dll, const char* name) {
    void* p = (void*)GetProcAddress(dll, name);
    if (p == NULL) {
        printf("golden: inkdot.dll has no %s\n", name);
        exit(1);
    }
    return p;
}
/* Through a plain function pointer type, as casts between unrelated
 * function pointer types are reported otherwise. */
#define ENTRY(type, name) ((type)(void (*)(void))entry(dll, name))

static void loadApi(const char* path) {
    HMODULE dll = LoadLibraryA(path);
    if (dll == NULL) {
        printf("golden: cannot load %s\n", path);
        exit(1);
    }
    api.cmNew = ENTRY(CmNewFn, "_A_CmNew@20");
    api.cmSetResource = ENTRY(CmSetResourceFn, "_A_CmSetResource@12");
    api.cmGetLut = ENTRY(CmGetLutFn, "_A_CmGetLut@4");
    api.cmDelete = ENTRY(CmDeleteFn, "_A_CmDelete@4");
    api.halftoneNew = ENTRY(HalftoneNewFn, "_A_HalftoneNew@20");
    api.halftoneSetResource = ENTRY(HalftoneSetResourceFn, "_A_HalftoneSetResource@12");
    api.halftone = ENTRY(HalftoneFn, "_A_Halftone@44");
    api.halftoneDelete = ENTRY(HalftoneDeleteFn, "_A_HalftoneDelete@4");
    api.tableNew = ENTRY(HTableNewFn, "_A_H_HalftoneNew@24");
    api.tableGet = ENTRY(HTableGetFn, "_A_H_HalftoneGetTable@20");
    api.tableDelete = ENTRY(HTableDeleteFn, "_A_H_HalftoneDelete@4");
}
#else
static void loadApi(const char* path) {
    (void)path;
    api.cmNew = CmNew;
    api.cmSetResource = CmSetResource;
    api.cmGetLut = CmGetLut;
    api.cmDelete = CmDelete;
    api.halftoneNew = HalftoneNew;
    api.halftoneSetResource = HalftoneSetResource;
    api.halftone = Halftone;
    api.halftoneDelete = HalftoneDelete;
    api.tableNew = H_HalftoneNew;
    api.tableGet = H_HalftoneGetTable;
    api.tableDelete = H_HalftoneDelete;
}
#endif

/* ---- checksums ---------------------------------------------------------- */

/* FNV-1a, 64 bits, over every byte a scenario produced; integers go in as
 * four little-endian bytes, so the sum is the same on every target. */
typedef struct {
    uint64_t h;
} Sum;

static void sumBytes(Sum* s, const void* data, size_t n) {
    const uint8_t* p = (const uint8_t*)data;
    for (size_t i = 0; i < n; ++i) {
        s->h ^= p[i];
        s->h *= 0x100000001b3ULL;
    }
}

static void sumInt(Sum* s, int32_t v) {
    uint8_t b[4];
    for (int i = 0; i < 4; ++i) b[i] = (uint8_t)((uint32_t)v >> (8 * i));
    sumBytes(s, b, 4);
}

static Sum newSum(void) {
    Sum s = {0xcbf29ce484222325ULL};
    return s;
}

/* ---- resources ---------------------------------------------------------- */

typedef struct {
    int32_t number;
    uint8_t* bytes;
    size_t size;
} Resource;

static const char* resourceDir;
static Resource loaded[64];
static int loadedCount;

static int32_t readLe32(const uint8_t* p) {
    return (int32_t)((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 |
                     (uint32_t)p[3] << 24);
}

/* The bytes of resource `number`, read once; a missing file ends the run. */
static const Resource* resource(int32_t number) {
    for (int i = 0; i < loadedCount; ++i)
        if (loaded[i].number == number) return &loaded[i];
    char path[1024];
    snprintf(path, sizeof path, "%s/%ld.bin", resourceDir, (long)number);
    FILE* f = fopen(path, "rb");
    if (f == NULL || loadedCount == (int)(sizeof loaded / sizeof loaded[0])) {
        printf("golden: cannot read resource %ld (%s)\n", (long)number, path);
        exit(1);
    }
    Resource* r = &loaded[loadedCount++];
    r->number = number;
    fseek(f, 0, SEEK_END);
    r->size = (size_t)ftell(f);
    fseek(f, 0, SEEK_SET);
    r->bytes = (uint8_t*)malloc(r->size + 1);
    if (r->bytes == NULL || fread(r->bytes, 1, r->size, f) != r->size) {
        printf("golden: cannot read resource %ld (%s)\n", (long)number, path);
        exit(1);
    }
    fclose(f);
    return r;
}

/* ---- results ------------------------------------------------------------ */

typedef struct {
    char name[64];
    char sum[17]; /* 16 hex digits */
} Line;

static Line produced[256];
static int producedCount;

/* --verbose: every call's result as it happens, to see what a scenario does. */
static int verbose;
static void trace(const char* what, int32_t result, int32_t next) {
    if (verbose) printf("    %s -> 0x%x, next %ld\n", what, (unsigned)result, (long)next);
}

static void record(const char* kind, const char* name, Sum s) {
    if (producedCount == (int)(sizeof produced / sizeof produced[0])) {
        printf("golden: more checksums than the table can hold\n");
        exit(1);
    }
    Line* l = &produced[producedCount++];
    snprintf(l->name, sizeof l->name, "%s/%s", kind, name);
    for (int i = 0; i < 16; ++i) l->sum[i] = "0123456789abcdef"[(s.h >> (60 - 4 * i)) & 0xF];
    l->sum[16] = 0;
}

/* ---- colour matching ---------------------------------------------------- */

/* A tag-list item: a resource's bytes, or a value of its own (the gamma). */
typedef struct {
    int32_t tag;
    int32_t resource;
    int32_t value;
} Item;

/* One colour-matching setting. The resources come by the numbers the
 * library asks for, except that `swapFrom` is read from `swapTo`. */
typedef struct {
    const char* name;
    int32_t keyA;                    /* 0 asks for the default intent with the colour re-mapping */
    int32_t lowLevel, noPixelLayout; /* level 1 rather than 2, pixelLayout 0 rather than 1 */
    int32_t greyCurve, numberA, numberB, numberD; /* numberD 0 stands for 1 */
    int32_t keyB, numberC, matchMode, colorMode, greyMode;
    int32_t brightness, contrast, saturation, offset0, offset1, offset2;
    Item items[3];
    int32_t swapFrom, swapTo;
} CmCase;

enum {
    CM_DEFAULT,
    CM_NEUTRAL_GREY,
    CM_MATCH4,
    CM_ADJUST_UP,
    CM_ADJUST_DOWN,
    CM_CLASS,
    CM_GREY_CURVE,
    CM_NODE_VALUES,
    CM_MATCH1,
    CM_GREY_SHARE,
    CM_FIVE_POINTS,
    CM_SIX_MODEL,
    CM_SIX_RECORDS,
    CM_SIX_GREY,
    CM_SIX_17,
    CM_SIX_ONE_BIT,
    CM_SIX_CODE1,
    CM_SIX_CODE3,
    CM_SET4,
    CM_SET6,
    CM_SET_MISMATCH,
    CM_SET_TABLE4,
    CM_SET_CONTAINER6,
    CM_STAGE4,
    CM_STAGE6,
    CM_NO_TABLE,
    CM_COUNT
};

static const CmCase kCm[CM_COUNT] = {
    [CM_DEFAULT] = {"3d-default", .numberC = 4, .numberA = 1, .numberB = 1},
    [CM_NEUTRAL_GREY] = {"3d-grey-nodes-neutral", .keyA = 2, .numberC = 4, .numberA = 1,
                         .numberB = 1, .greyMode = 50},
    [CM_MATCH4] = {"3d-match-mode-4", .keyA = 3, .numberC = 4, .numberA = 1, .numberB = 1,
                   .matchMode = 4, .colorMode = 2},
    [CM_ADJUST_UP] = {"3d-adjust-up", .keyA = 3, .numberC = 4, .numberA = 1, .numberB = 1,
                      .brightness = 30, .contrast = 25, .saturation = 35, .offset0 = 6,
                      .offset1 = -4, .offset2 = 11, .items = {{INKDOT_TAG_GAMMA_REF, 0, 220}}},
    [CM_ADJUST_DOWN] = {"3d-adjust-down", .numberC = 4, .numberA = 1, .numberB = 1,
                        .brightness = -35, .contrast = -20, .saturation = -30, .offset0 = -9,
                        .offset2 = 3,
                        .items = {{INKDOT_TAG_GAMMA_REF, 0, 110},
                                  {INKDOT_TAG_CHANNEL_CURVES, 6005, 0}}},
    [CM_CLASS] = {"3d-class-correction", .keyA = 3, .lowLevel = 1, .numberC = 4, .numberA = 2,
                  .numberB = 1},
    [CM_GREY_CURVE] = {"3d-kind3-grey-curve", .keyA = 3, .noPixelLayout = 1, .greyCurve = 1,
                       .numberC = 4, .keyB = 1, .numberA = 3, .numberB = 1, .contrast = 15},
    [CM_NODE_VALUES] = {"3d-node-values-remapped", .numberC = 4, .keyB = 1, .numberA = 3,
                        .numberB = 1, .saturation = 10},
    [CM_MATCH1] = {"3d-match-mode-1", .numberC = 4, .keyB = 1, .numberA = 3, .numberB = 1,
                   .matchMode = 1},
    [CM_GREY_SHARE] = {"3d-grey-share", .numberC = 4, .keyB = 2, .numberA = 4, .numberB = 1,
                       .brightness = 12},
    [CM_FIVE_POINTS] = {"3d-5-points-kind2", .keyA = 3, .numberC = 4, .keyB = 2, .numberA = 5,
                        .numberB = 2, .numberD = 2, .colorMode = 3, .greyMode = 50},
    [CM_SIX_MODEL] = {"4d-level-model", .numberC = 6, .numberA = 1, .numberB = 2},
    [CM_SIX_RECORDS] = {"4d-level-records", .numberC = 6, .numberA = 2, .numberB = 2},
    [CM_SIX_GREY] = {"4d-grey-nodes-kind3", .numberC = 6, .numberA = 2, .numberB = 2,
                     .greyMode = 50},
    [CM_SIX_17] = {"4d-17-points", .numberC = 6, .numberA = 3, .numberB = 2},
    [CM_SIX_ONE_BIT] = {"4d-one-bit-kind0", .numberC = 6, .numberA = 4, .numberB = 1,
                        .greyMode = 50},
    [CM_SIX_CODE1] = {"4d-dot-code-1", .numberC = 6, .numberA = 5, .numberB = 2},
    [CM_SIX_CODE3] = {"4d-dot-code-3", .numberC = 6, .numberA = 6, .numberB = 2},
    [CM_SET4] = {"curve-set-four", .numberC = 4, .numberA = 1, .numberB = 1,
                 .items = {{INKDOT_TAG_CURVE_SET, 6001, 0}}},
    [CM_SET6] = {"curve-set-six", .numberC = 6, .numberA = 1, .numberB = 2,
                 .items = {{INKDOT_TAG_CURVE_SET, 6002, 0}}},
    [CM_SET_MISMATCH] = {"curve-set-four-on-six", .numberC = 6, .numberA = 1, .numberB = 2,
                         .items = {{INKDOT_TAG_CURVE_SET, 6001, 0}}},
    [CM_SET_TABLE4] = {"curve-set-table", .numberC = 4, .numberA = 1, .numberB = 1,
                       .items = {{INKDOT_TAG_CURVE_SET_TABLE, 6003, 0}}},
    [CM_SET_CONTAINER6] = {"curve-set-container", .numberC = 6, .numberA = 1, .numberB = 2,
                           .items = {{INKDOT_TAG_CURVE_SET_TABLE, 6004, 0}}},
    [CM_STAGE4] = {"curve-stage-mode-1", .numberC = 4, .numberA = 1, .numberB = 1,
                   .items = {{INKDOT_TAG_CURVE_SELECTOR, 6010, 0}}},
    [CM_STAGE6] = {"curve-stage-mode-2", .numberC = 6, .numberA = 1, .numberB = 2,
                   .items = {{INKDOT_TAG_CURVE_SELECTOR, 6011, 0}}, .swapFrom = 990,
                   .swapTo = 8990},
    [CM_NO_TABLE] = {"no-matching-table", .numberC = 4, .numberA = 9, .numberB = 1},
};

/* A tag list of up to three items, laid out as the header's record. */
typedef struct {
    int32_t count;
    CmTagPair pairs[3];
} TagList;

typedef struct {
    CmContext* cm;
    int32_t result; /* of the last call */
    int32_t table;  /* the colour table the index chose */
    TagList tags;
    int32_t values[3]; /* items that hold a value of their own */
} CmRun;

/* The driver's sequence: CmNew, then every resource the library asks for. */
static void runCm(const CmCase* c, CmRun* run, Sum* s) {
    CmParams p;
    CmSelect q;
    memset(&p, 0, sizeof p);
    memset(&q, 0, sizeof q);
    memset(&run->tags, 0, sizeof run->tags);
    p.brightness = c->brightness;
    p.contrast = c->contrast;
    p.saturation = c->saturation;
    p.offset0 = c->offset0;
    p.offset1 = c->offset1;
    p.offset2 = c->offset2;
    p.numberC = c->numberC;
    p.keyB = c->keyB;
    p.matchMode = c->matchMode;
    p.colorMode = c->colorMode;
    p.greyMode = c->greyMode;
    for (int i = 0; i < 3 && c->items[i].tag != 0; ++i) {
        const void* item;
        if (c->items[i].resource != 0) {
            item = resource(c->items[i].resource)->bytes;
        } else {
            run->values[i] = c->items[i].value;
            item = &run->values[i];
        }
        run->tags.pairs[run->tags.count].tag = c->items[i].tag;
        run->tags.pairs[run->tags.count].item = item;
        ++run->tags.count;
    }
    p.tags = run->tags.count != 0 ? (const CmTagList*)(const void*)&run->tags : NULL;
    q.keyA = c->keyA;
    q.level = c->lowLevel ? 1 : 2;
    q.pixelLayout = c->noPixelLayout ? 0 : 1;
    q.greyCurve = c->greyCurve;
    q.numberA = c->numberA;
    q.numberB = c->numberB;
    q.numberD = c->numberD != 0 ? c->numberD : 1;

    int32_t next = -7;
    run->cm = NULL;
    run->table = 0;
    run->result = api.cmNew(&p, &q, 0, &next, &run->cm);
    if (run->result != INKDOT_OK) run->cm = NULL; /* no object to delete */
    trace("CmNew", run->result, next);
    sumInt(s, run->result);
    sumInt(s, next);
    for (int calls = 0; run->result == INKDOT_OK && next != INKDOT_NO_RESOURCE && calls < 8;
         ++calls) {
        const int32_t asked = next == c->swapFrom && c->swapFrom != 0 ? c->swapTo : next;
        if (calls == 1) run->table = asked;
        run->result = api.cmSetResource(run->cm, resource(asked)->bytes, &next);
        trace("CmSetResource", run->result, next);
        sumInt(s, run->result);
        sumInt(s, next);
    }
}

/* Every field of the CmLut but its addresses and handles, the grid data and
 * the extra block. */
static void sumLut(Sum* s, const CmLut* lut, int32_t table) {
    const int32_t fields[] = {
        lut->zero0,           lut->tableKind,       lut->channels,        lut->keepGrey,
        lut->tableWords64[0], lut->tableWords64[1], lut->tableWords64[2], lut->tableWords64[3],
        lut->percentAt0,      lut->percentAt255,    lut->tableWords52[0], lut->tableWords52[1],
        lut->tableWords52[2], lut->points[0],       lut->points[1],       lut->points[2],
        lut->points[3],       lut->resource,        lut->tableClass,      lut->zero484[0],
        lut->zero484[1],      lut->zero500[0],      lut->zero500[1]};
    for (size_t i = 0; i < sizeof fields / sizeof fields[0]; ++i) sumInt(s, fields[i]);
    sumBytes(s, lut->list0, sizeof lut->list0);
    sumBytes(s, lut->list1, sizeof lut->list1);
    sumBytes(s, lut->list2, sizeof lut->list2);
    sumBytes(s, lut->singleChannelTable, sizeof lut->singleChannelTable);
    size_t grid = (size_t)lut->channels;
    for (int i = 0; i < 4; ++i) grid *= (size_t)lut->points[i];
    sumInt(s, lut->grid != NULL);
    if (lut->grid != NULL) sumBytes(s, lut->grid, grid);
    sumInt(s, lut->extraBlock != NULL);
    if (lut->extraBlock != NULL && table != 0)
        sumBytes(s, lut->extraBlock, (size_t)readLe32(resource(table)->bytes + 20));
}

static void cmScenarios(void) {
    for (int i = 0; i < CM_COUNT; ++i) {
        if (verbose) printf("cm/%s\n", kCm[i].name);
        Sum s = newSum();
        CmRun run;
        runCm(&kCm[i], &run, &s);
        if (run.cm != NULL) {
            sumLut(&s, api.cmGetLut(run.cm), run.table);
            sumInt(&s, api.cmDelete(run.cm));
        }
        record("cm", kCm[i].name, s);
    }
}

/* ---- input lines -------------------------------------------------------- */

static uint32_t nextRandom(uint32_t* state) {
    *state = *state * 1664525u + 1013904223u;
    return *state >> 8;
}

/* A raster line of `pixels` pixels of `channels` bytes: across the line it
 * passes through ramps, noise, flat runs, paper white and solids, so that
 * every density, smooth neighbours and sudden jumps all occur. */
static void makeLine(uint8_t* out, int pixels, int channels, uint32_t seed) {
    uint32_t state = seed * 2654435761u + 12345u;
    int run = 0;
    uint8_t flat[4] = {0, 0, 0, 0};
    for (int x = 0; x < pixels; ++x) {
        const int region = (x * 10 / (pixels > 0 ? pixels : 1) + (int)(seed % 3)) % 5;
        for (int ch = 0; ch < channels; ++ch) {
            const int ramp = (x * 255 / (pixels > 1 ? pixels - 1 : 1) + ch * 67) % 256;
            int v;
            switch (region) {
                case 0: v = ramp; break;
                case 1: v = (int)(nextRandom(&state) & 0xFF); break;
                case 2:
                    if (run == 0) {
                        run = 1 + (int)(nextRandom(&state) % 40);
                        for (int k = 0; k < 4; ++k) flat[k] = (uint8_t)nextRandom(&state);
                    }
                    v = flat[ch];
                    break;
                case 3: v = (x / 16) % 3 == 0 ? 0 : (x / 16) % 3 == 1 ? 255 : ramp / 4; break;
                default: v = (ramp + (int)(nextRandom(&state) % 9) - 4) & 0xFF; break;
            }
            out[(size_t)x * (size_t)channels + (size_t)ch] = (uint8_t)v;
        }
        if (region == 2 && run > 0) --run;
    }
}

/* ---- halftoning --------------------------------------------------------- */

/* How the lines of a scenario are cut into calls. */
enum Plan {
    WHOLE,     /* one call a line */
    STRETCHES, /* three stretches a line (odd bit offsets), an empty call and
                * one that runs past maxPixels */
    GAPS       /* whole lines, a line left out, a line with only its middle
                * stretch, a skipped line number */
};

typedef struct {
    const char* name;
    int cm;
    int32_t method, inkSet, x, y, bits, inputScale, pairFlag, lineOption;
    int32_t list;
    enum Plan plan;
} HtCase;

static const HtCase kHt[] = {
    /* One ink, one bit, diffusion. */
    {"binary-720", CM_SIX_MODEL, 1, 0, 720, 720, 1, 0, 0, 0, 5001, STRETCHES},
    {"binary-720x360", CM_DEFAULT, 1, 0, 720, 360, 1, 0, 0, 0, 5001, GAPS},
    {"binary-360x720-no-spread-row", CM_DEFAULT, 1, 0, 360, 720, 1, 0, 0, 0, 5001, WHOLE},
    {"binary1440", CM_SIX_CODE1, 1, 0, 1440, 720, 1, 0, 0, 0, 5001, STRETCHES},
    {"binary-repeat-3", CM_SIX_CODE3, 1, 0, 720, 720, 1, 2, 0, 0, 5002, WHOLE},
    {"binary-half-input", CM_SIX_MODEL, 1, 0, 720, 720, 1, 1, 0, 0, 5001, WHOLE},
    {"binary-paired-input", CM_SIX_CODE1, 1, 0, 720, 720, 1, -1, 0, 0, 5002, STRETCHES},
    /* One ink, two bits, diffusion. */
    {"multi-720-model", CM_SIX_MODEL, 1, 0, 720, 720, 2, 0, 0, 0, 5001, STRETCHES},
    {"multi-720-records", CM_SIX_RECORDS, 1, 0, 720, 720, 2, 0, 0, 0, 5002, GAPS},
    {"multi-720x360", CM_SIX_MODEL, 1, 0, 720, 360, 2, 0, 0, 0, 5001, WHOLE},
    {"multi1440", CM_SIX_CODE1, 1, 0, 1440, 720, 2, 0, 0, 0, 5001, STRETCHES},
    {"multi2880", CM_SIX_CODE3, 1, 0, 2880, 720, 2, 0, 0, 0, 5001, GAPS},
    {"multi-repeat-2", CM_FIVE_POINTS, 1, 0, 720, 720, 2, 3, 0, 0, 5001, WHOLE},
    {"multimode-pair-0", CM_SIX_MODEL, 1, 0, 360, 720, 2, 0, 0, 0, 5001, STRETCHES},
    {"multimode-pair-1", CM_SIX_RECORDS, 1, 0, 360, 720, 2, -1, 1, 0, 5002, STRETCHES},
    /* One ink, ordered dither. */
    {"dither-bayer16", CM_SIX_MODEL, 3, 0, 720, 720, 1, 0, 0, 0, 5002, STRETCHES},
    {"dither-256-wide", CM_DEFAULT, 3, 0, 1440, 720, 1, 0, 0, 0, 5001, GAPS},
    {"dither-512-wide", CM_SIX_CODE1, 3, 0, 720, 720, 1, 0, 0, 0, 5005, STRETCHES},
    {"dither-repeat-2", CM_SIX_CODE3, 3, 0, 720, 360, 1, 3, 0, 0, 5001, WHOLE},
    {"dither-two-bit-refused", CM_SIX_MODEL, 3, 0, 720, 720, 2, 0, 0, 0, 5001, WHOLE},
    /* Six inks, one bit, diffusion. */
    {"binarysep-720", CM_SIX_ONE_BIT, 1, 3, 720, 720, 1, 0, 0, 0, 5001, STRETCHES},
    {"binarysep360", CM_SIX_MODEL, 1, 3, 720, 360, 1, 0, 0, 0, 5001, GAPS},
    {"binarysep1440", CM_SIX_CODE1, 1, 3, 1440, 720, 1, 0, 0, 0, 5002, STRETCHES},
    {"binarysep-paired-input", CM_SIX_RECORDS, 1, 3, 720, 720, 1, -1, 0, 0, 5001, STRETCHES},
    {"binarysep-repeat-5", CM_SIX_ONE_BIT, 1, 3, 720, 720, 1, 4, 0, 0, 5001, WHOLE},
    {"binarysep-half-input", CM_SIX_GREY, 1, 3, 1440, 720, 1, 1, 0, 0, 5001, WHOLE},
    /* Six inks, two bits, diffusion. */
    {"multisep-720-model", CM_SIX_MODEL, 1, 3, 720, 720, 2, 0, 0, 0, 5001, STRETCHES},
    {"multisep-720x360-records", CM_SIX_RECORDS, 1, 3, 720, 360, 2, 0, 0, 0, 5001, GAPS},
    {"multisep1440", CM_SIX_CODE1, 1, 3, 1440, 720, 2, 0, 0, 0, 5001, STRETCHES},
    {"multisep2880", CM_SIX_CODE3, 1, 3, 2880, 720, 2, 0, 0, 0, 5002, GAPS},
    {"multisep-paired-input", CM_SIX_MODEL, 1, 3, 720, 720, 2, -1, 0, 0, 5001, STRETCHES},
    {"multisep-half-input", CM_SIX_GREY, 1, 3, 720, 720, 2, 1, 0, 0, 5001, WHOLE},
    {"multisep1440-repeat-2", CM_SIX_RECORDS, 1, 3, 1440, 720, 2, 3, 0, 0, 5001, WHOLE},
    {"multisepmode-pair-0", CM_SIX_MODEL, 1, 3, 360, 720, 2, 0, 0, 0, 5001, STRETCHES},
    {"multisepmode-pair-1", CM_SIX_RECORDS, 1, 3, 360, 720, 2, -1, 1, 0, 5002, STRETCHES},
    /* Six inks, ordered dither. */
    {"dithermultisep-720", CM_SIX_MODEL, 3, 3, 720, 720, 2, 0, 0, 0, 5001, STRETCHES},
    {"dithermultisep-256-wide", CM_SIX_RECORDS, 3, 3, 1440, 720, 2, 0, 0, 0, 5001, GAPS},
    {"dithermultisep-512-wide", CM_SIX_CODE1, 3, 3, 2880, 720, 2, 0, 0, 2, 5002, WHOLE},
    {"dithermultisep-half-width", CM_SIX_CODE3, 3, 3, 360, 720, 2, -1, 0, 1, 5001, STRETCHES},
    {"dithermultisep-half-input", CM_SIX_GREY, 3, 3, 720, 360, 2, 1, 0, 0, 5002, WHOLE},
    {"dithersep-four-bits", CM_SIX_ONE_BIT, 3, 3, 720, 720, 4, 0, 0, 0, 5002, STRETCHES},
    /* The separation path: bytes of ink amounts, and one bit by the matrix. */
    {"mode7-bytes", CM_SIX_MODEL, 3, 3, 720, 720, 8, 0, 0, 0, 5003, STRETCHES},
    {"mode7-bytes-paired-input", CM_SIX_RECORDS, 1, 3, 720, 360, 8, -1, 0, 0, 5004, WHOLE},
    {"mode7-bytes-half-input", CM_SIX_GREY, 1, 3, 1440, 720, 8, 1, 0, 0, 5004, GAPS},
    {"mode7-one-bit", CM_SIX_ONE_BIT, 3, 3, 720, 720, 1, 0, 0, 0, 5003, STRETCHES},
    {"mode7-one-bit-720x360", CM_SIX_MODEL, 3, 3, 720, 360, 1, 1, 0, 0, 5004, WHOLE},
    {"mode7-one-bit-1440", CM_SIX_CODE3, 3, 3, 1440, 720, 1, -1, 0, 0, 5004, GAPS},
};

enum { kWidth = 1500, kLines = 6, kFirstLine = 5 };

typedef struct {
    HalftoneContext* ht;
    const HtCase* c;
    int planes, slotBits, channels, inputPerPixel;
    size_t stride, planeBytes;
    uint8_t* input;
    uint8_t* out;
} HtRun;

/* One Halftone call for the stretch [startX, startX + count) of line y. */
static void stretch(HtRun* r, Sum* s, int32_t lineNumber, int32_t startX, int32_t count) {
    const int32_t slot = startX * r->slotBits;
    const uint8_t* src = r->input + (size_t)startX * (size_t)r->inputPerPixel;
    /* Byte output: six amounts a pixel. */
    uint8_t* dst = r->out + (r->slotBits == 8 ? 6 * (size_t)startX : (size_t)(slot / 8));
    const int32_t bitOffset = r->slotBits == 8 ? 0 : (slot % 8) / r->slotBits;
    const int32_t result = api.halftone(r->ht, src, dst, (int32_t)r->stride, bitOffset, count,
                                        startX, 1, lineNumber, 0, 0);
    if (verbose && (result != INKDOT_OK || startX == 0))
        printf("    Halftone line %ld at %ld, %ld pixels -> 0x%x\n", (long)lineNumber, (long)startX,
               (long)count, (unsigned)result);
    sumInt(s, result);
}

static void htLines(HtRun* r, Sum* s) {
    int32_t lineNumber = kFirstLine;
    for (int y = 0; y < kLines; ++y, ++lineNumber) {
        makeLine(r->input, 2 * kWidth, r->channels, (uint32_t)(y * 31 + (r->c - kHt)));
        memset(r->out, 0xA5, r->planeBytes);
        switch (r->c->plan) {
            case WHOLE: stretch(r, s, lineNumber, 0, kWidth); break;
            case STRETCHES: {
                const int32_t a = 13 + 3 * y, b = kWidth - 29 - y;
                stretch(r, s, lineNumber, 0, a);
                stretch(r, s, lineNumber, a, b - a);
                stretch(r, s, lineNumber, b, 0);
                stretch(r, s, lineNumber, b, kWidth - b);
                stretch(r, s, lineNumber, b, kWidth - b + 1); /* past maxPixels */
                break;
            }
            case GAPS:
                if (y == 2) continue; /* a line with nothing to print */
                if (y == 3) ++lineNumber;
                if (y == 4)
                    stretch(r, s, lineNumber, 301, 1100);
                else
                    stretch(r, s, lineNumber, 0, kWidth);
                break;
        }
        sumBytes(s, r->out, r->planeBytes);
    }
}

static void htScenario(const HtCase* c) {
    if (verbose) printf("ht/%s\n", c->name);
    Sum s = newSum();
    CmRun cm;
    Sum ignored = newSum();
    runCm(&kCm[c->cm], &cm, &ignored);
    if (cm.result != INKDOT_OK) {
        printf("golden: %s: colour matching failed (0x%x)\n", c->name, (unsigned)cm.result);
        exit(1);
    }
    HalftoneParams p;
    memset(&p, 0, sizeof p);
    p.method = c->method;
    p.lineOption = c->lineOption;
    p.inputFormat = c->inkSet == 0 ? 0 : 4;
    p.inkSet = c->inkSet;
    p.xResolution = c->x;
    p.yResolution = c->y;
    p.outputBits = c->bits;
    p.inputScale = c->inputScale;
    p.maxPixels = kWidth;
    p.pairFlag = c->pairFlag;
    p.version = INKDOT_HALFTONE_VERSION;

    HtRun r;
    memset(&r, 0, sizeof r);
    r.c = c;
    int32_t tableClass = -7, next = c->list;
    int32_t result = api.halftoneNew(&p, api.cmGetLut(cm.cm), 0, &tableClass, &r.ht);
    const int created = result == INKDOT_OK;
    trace("HalftoneNew", result, tableClass);
    sumInt(&s, result);
    sumInt(&s, tableClass);
    for (int calls = 0; result == INKDOT_OK && next != INKDOT_NO_RESOURCE && calls < 6; ++calls) {
        result = api.halftoneSetResource(r.ht, resource(next)->bytes, &next);
        trace("HalftoneSetResource", result, next);
        sumInt(&s, result);
        sumInt(&s, next);
    }
    if (result == INKDOT_OK) {
        r.channels = c->inkSet == 0 ? 1 : 4;
        r.inputPerPixel = c->inputScale == -1 ? 2 * r.channels : r.channels;
        r.planes = c->bits == 8 ? 1 : c->inkSet == 0 ? 1 : 6;
        r.slotBits = c->bits == 8 ? 8 : c->bits == 2 ? 2 : 1;
        r.stride =
            c->bits == 8 ? 6 * (size_t)kWidth : ((size_t)kWidth * (size_t)r.slotBits + 7) / 8 + 3;
        r.planeBytes = r.stride * (size_t)r.planes + 3;
        r.input = (uint8_t*)malloc(2 * (size_t)kWidth * (size_t)r.channels);
        r.out = (uint8_t*)malloc(r.planeBytes);
        htLines(&r, &s);
        free(r.input);
        free(r.out);
    }
    if (created) sumInt(&s, api.halftoneDelete(r.ht));
    sumInt(&s, api.cmDelete(cm.cm));
    record("ht", c->name, s);
}

/* ---- the halftone table image ------------------------------------------- */

typedef struct {
    const char* name;
    int cm;
    int32_t inkSet, bits, records;
} TableCase;

static const TableCase kTables[] = {
    {"one-ink-one-bit", CM_DEFAULT, 0, 1, 0},
    {"one-ink-two-bit", CM_ADJUST_UP, 0, 2, 5301},
    {"four-planes-one-bit", CM_CLASS, 1, 1, 0},
    {"four-planes-two-bit", CM_DEFAULT, 1, 2, 5300},
    {"six-planes-two-bit-bare-records", CM_SIX_17, 3, 2, 5302},
};

static void tableScenario(const TableCase* c) {
    if (verbose) printf("table/%s\n", c->name);
    Sum s = newSum();
    CmRun cm;
    Sum ignored = newSum();
    runCm(&kCm[c->cm], &cm, &ignored);
    if (cm.result != INKDOT_OK) {
        printf("golden: %s: colour matching failed (0x%x)\n", c->name, (unsigned)cm.result);
        exit(1);
    }
    HalftoneParams p;
    memset(&p, 0, sizeof p);
    p.method = 1;
    p.inputFormat = c->inkSet == 0 ? 0 : 4;
    p.inkSet = c->inkSet;
    p.xResolution = 720;
    p.yResolution = 720;
    p.outputBits = c->bits;
    p.maxPixels = kWidth;
    p.version = INKDOT_HALFTONE_VERSION;
    const CmLut* lut = api.cmGetLut(cm.cm);
    const size_t n = (size_t)lut->points[0];
    const size_t size = 1554 + 4100 + 6 * n * n * n + 16;
    uint8_t* image = (uint8_t*)malloc(size);
    memset(image, 0x5A, size);
    HTableContext* h = NULL;
    int32_t value = 0x7777, next = 0, length = -1;
    int32_t result = api.tableNew(&p, lut, 0, resource(6005)->bytes, &value, &h);
    trace("H_HalftoneNew", result, value);
    sumInt(&s, result);
    sumInt(&s, value);
    if (result == INKDOT_OK) {
        const void* records = c->records != 0 ? resource(c->records)->bytes : NULL;
        result = api.tableGet(h, records, &next, &length, image);
        trace("H_HalftoneGetTable", result, length);
        sumInt(&s, result);
        sumInt(&s, next);
        sumInt(&s, length);
        sumBytes(&s, image, size);
        sumInt(&s, api.tableDelete(h));
    }
    free(image);
    sumInt(&s, api.cmDelete(cm.cm));
    record("table", c->name, s);
}

/* ---- the table of checksums --------------------------------------------- */

static int compareLines(const void* a, const void* b) {
    return strcmp(((const Line*)a)->name, ((const Line*)b)->name);
}

static int writeTable(const char* path) {
    FILE* f = fopen(path, "wb");
    if (f == NULL) {
        printf("golden: cannot write %s\n", path);
        return 1;
    }
    fprintf(f,
            "# The golden table: FNV-1a 64-bit checksums of every byte each scenario of\n"
            "# tests/golden/golden.c produced, and of each resource it read. The same\n"
            "# on every target; written by scripts/golden when a change of output is meant.\n");
    for (int i = 0; i < producedCount; ++i)
        fprintf(f, "%s %s\n", produced[i].name, produced[i].sum);
    fclose(f);
    printf("golden: wrote %d checksums to %s\n", producedCount, path);
    return 0;
}

static int checkTable(const char* path, const char* target) {
    FILE* f = fopen(path, "rb");
    if (f == NULL) {
        printf("golden: cannot read %s\n", path);
        return 1;
    }
    static Line expected[256];
    int count = 0, failures = 0;
    char text[256];
    while (fgets(text, sizeof text, f) != NULL) {
        Line* e = &expected[count];
        if (text[0] == '#' || sscanf(text, "%63s %16s", e->name, e->sum) != 2) continue;
        if (++count == (int)(sizeof expected / sizeof expected[0])) break;
    }
    fclose(f);
    for (int i = 0; i < producedCount; ++i) {
        const Line* e = NULL;
        for (int j = 0; j < count && e == NULL; ++j)
            if (strcmp(expected[j].name, produced[i].name) == 0) e = &expected[j];
        if (e == NULL) {
            printf("golden: %s on %s: not in the table\n", produced[i].name, target);
            ++failures;
        } else if (strcmp(e->sum, produced[i].sum) != 0) {
            printf("golden: %s on %s: checksum %s, the table has %s\n", produced[i].name, target,
                   produced[i].sum, e->sum);
            ++failures;
        }
    }
    for (int j = 0; j < count; ++j) {
        int found = 0;
        for (int i = 0; i < producedCount && !found; ++i)
            found = strcmp(expected[j].name, produced[i].name) == 0;
        if (!found) {
            printf("golden: %s on %s: in the table, but no longer produced\n", expected[j].name,
                   target);
            ++failures;
        }
    }
    if (failures != 0) {
        printf("golden: %d of %d checksums differ on %s (an intended change: scripts/golden)\n",
               failures, producedCount, target);
        return 1;
    }
    printf("golden: %d scenarios and resources on %s: the same bits as %s\n", producedCount, target,
           path);
    return 0;
}

int main(int argc, char** argv) {
    const char* target = "this build";
    const char* dll = "inkdot.dll";
    int write = 0;
    if (argc < 3) {
        printf(
            "usage: golden RESOURCES EXPECTED [--target NAME] [--dll PATH] [--write] "
            "[--verbose]\n");
        return 2;
    }
    for (int i = 3; i < argc; ++i) {
        if (strcmp(argv[i], "--write") == 0)
            write = 1;
        else if (strcmp(argv[i], "--verbose") == 0)
            verbose = 1;
        else if (strcmp(argv[i], "--target") == 0 && i + 1 < argc)
            target = argv[++i];
        else if (strcmp(argv[i], "--dll") == 0 && i + 1 < argc)
            dll = argv[++i];
    }
    resourceDir = argv[1];
    loadApi(dll);

    cmScenarios();
    for (size_t i = 0; i < sizeof kHt / sizeof kHt[0]; ++i) htScenario(&kHt[i]);
    for (size_t i = 0; i < sizeof kTables / sizeof kTables[0]; ++i) tableScenario(&kTables[i]);
    for (int i = 0; i < loadedCount; ++i) {
        Sum s = newSum();
        sumBytes(&s, loaded[i].bytes, loaded[i].size);
        char name[16];
        snprintf(name, sizeof name, "%ld", (long)loaded[i].number);
        record("resource", name, s);
    }
    qsort(produced, (size_t)producedCount, sizeof produced[0], compareLines);
    return write ? writeTable(argv[2]) : checkTable(argv[2], target);
}
