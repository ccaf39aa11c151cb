/*
 * inkdot: colour matching and halftoning for a colour ink-jet printer driver.
 *
 * The whole boundary is eleven C functions in three families:
 *   colour matching  CmNew, CmSetResource, CmGetLut, CmDelete
 *   halftoning       HalftoneNew, HalftoneSetResource, Halftone, HalftoneDelete
 *   halftone table   H_HalftoneNew, H_HalftoneGetTable, H_HalftoneDelete
 *
 * Every family follows one calling order: the creation function once; the
 * resource function repeatedly, each call handing over the bytes of the
 * resource the previous call asked for (the next-resource variable), until
 * the library answers -1; then use; then the delete function once. Every
 * function but CmGetLut returns one of the INKDOT_* result codes below.
 *
 * On 32-bit Windows the functions use the standard calling convention and the
 * DLL exports each under its plain name and as _A_<name>@<argument bytes>.
 * The records below have exactly the layouts a 32-bit driver knows; on 64-bit
 * targets address slots widen to pointers and everything else stays put.
 */
#ifndef INKDOT_INKDOT_H
#define INKDOT_INKDOT_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define INKDOT_CALL __stdcall
#else
#define INKDOT_CALL
#endif

#if defined(_WIN32)
#define INKDOT_API /* exports are named by the module-definition file */
#elif defined(__GNUC__)
#define INKDOT_API __attribute__((visibility("default")))
#else
#define INKDOT_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes shared by all families. */
enum {
    INKDOT_OK = 0,
    INKDOT_ALLOC_FAILED = 0x101,      /* a memory block could not be allocated */
    INKDOT_LOCK_FAILED = 0x102,       /* a memory block could not be locked */
    INKDOT_UNLOCK_FAILED = 0x103,     /* a memory block could not be unlocked */
    INKDOT_FREE_FAILED = 0x104,       /* a memory block could not be freed */
    INKDOT_UNSUPPORTED = 0x200,       /* this combination of parameters is not supported */
    INKDOT_BAD_FIRST_RECORD = 0x201,  /* the first record, or a value in it, is not acceptable */
    INKDOT_BAD_SECOND_RECORD = 0x202, /* the second record or a resource value is not acceptable */
    INKDOT_NONZERO_FLAG = 0x203,      /* an argument that must be 0 is not */
    INKDOT_LINE_TOO_LONG = 0x206,     /* startX + pixelCount exceeds maxPixels */
    INKDOT_NOT_ENABLED = 0x208,       /* an argument that must be non-zero is zero */
    INKDOT_DEPTH_MISMATCH = 0x20A,    /* the kernel does not take this output depth or pair value */
    INKDOT_RESERVED_NONZERO = 0x20B,  /* the reserved last argument of Halftone is not 0 */
    INKDOT_SEQUENCE_ENDED = 0x300,    /* the resource sequence cannot go on */
    INKDOT_CONTAINER_VERSION = 0x401, /* byte 256 of a curve-set container is not 1 */
    INKDOT_CONTAINER_FORMAT = 0x402   /* byte 96 or the value at 264 of a container is wrong */
};

/* The resource number that ends a resource sequence. */
#define INKDOT_NO_RESOURCE (-1)

/* The value HalftoneParams.version must hold. */
#define INKDOT_HALFTONE_VERSION 196808

/* Tags of the items in a CmTagList. */
enum {
    INKDOT_TAG_GAMMA_REF = 1,        /* int32: gamma times 100; absent or 0 means 150 */
    INKDOT_TAG_CHANNEL_CURVES = 256, /* 768 bytes: one 256-byte curve per colour channel */
    INKDOT_TAG_CURVE_SELECTOR = 512, /* curve-stage selector text beginning "CW:" */
    INKDOT_TAG_CURVE_SET = 528,      /* a ready curve set */
    INKDOT_TAG_CURVE_SET_TABLE = 544 /* a text table of curve sets, optionally in a container */
};

typedef struct CmTagPair {
    int32_t tag;
    const void* item;
} CmTagPair;

/* The caller's directory of tagged items: a count, then that many pairs. */
typedef struct CmTagList {
    int32_t count;
    CmTagPair pairs[1]; /* really `count` pairs */
} CmTagList;

/* First record of CmNew: the user's adjustments and the table keys. */
typedef struct CmParams {
    int32_t adjustMode; /* must be 0 when the adjustment stage runs */
    int32_t brightness; /* -50..50 */
    int32_t contrast;   /* -50..50, about the middle value 128 */
    int32_t saturation; /* -50..50; the colour table may add to it */
    int32_t offset0;    /* added to channel 0 after the tone curves, -50..50 */
    int32_t offset1;
    int32_t offset2;
    int32_t numberC; /* must equal column 8 of the chosen index line */
    int32_t keyB;    /* must equal the resolved column 4 of the chosen index line */
    int32_t matchMode;
    int32_t colorMode; /* 2 switches on the colour re-mapping */
    int32_t greyMode;  /* 50 switches off the keeping of grey nodes */
    int32_t reserved12;
    int32_t reserved13;
    const CmTagList* tags; /* tagged items, or null */
} CmParams;

/* Second record of CmNew: which table family the driver wants. */
typedef struct CmSelect {
    int32_t keyA;        /* 0 asks for the default: 3, with colorMode 2 */
    int32_t level;       /* the class correction runs only while this is below 2 */
    int32_t pixelLayout; /* 0 clears keyC and stops the keeping of grey nodes */
    int32_t greyCurve;   /* non-zero: grey-curve correction of class-3 tables */
    int32_t numberA;     /* must equal column 5 of the chosen index line */
    int32_t numberB;     /* must equal column 6 */
    int32_t numberD;     /* must equal column 9 when the index version is 300 or more */
    int32_t reserved[6];
} CmSelect;

/*
 * The lookup-table record. 512 bytes on 32-bit targets, every offset fixed;
 * the caller reads it through CmGetLut and hands it to HalftoneNew.
 */
typedef struct CmLut {
    int32_t zero0;
    int32_t tableKind;
    int32_t channels; /* c: output bytes per grid node */
    int32_t keepGrey;
    int32_t tableWords64[4]; /* resource words at bytes 64, 66, 68, 70, sign-extended */
    int32_t percentAt0;
    int32_t percentAt255;
    int32_t tableWords52[3]; /* resource words at bytes 52, 54, 56, sign-extended */
    int32_t points[4];       /* N0, N1, N2, N3: grid points per axis */
    uint8_t list0[36];       /* input values of the grid points of axis 0 */
    uint8_t list1[36];       /* axis 1 */
    uint8_t list2[72];       /* axis 2, shared with axis 3 */
    uint8_t singleChannelTable[256];
    uint8_t* grid; /* the grid data: N0 x N1 x N2 x N3 nodes of c bytes */
    void* gridHandle;
    int32_t resource;   /* resource number of the colour table */
    int32_t tableClass; /* class of its index line */
    int32_t zero484[2];
    uint8_t* extraBlock; /* copy of the table's extra block, or null */
    void* extraHandle;
    int32_t zero500[2];
    void* ownHandle; /* handle of the block that holds this record */
} CmLut;

/* First record of HalftoneNew and H_HalftoneNew. */
typedef struct HalftoneParams {
    int32_t method; /* 1 error diffusion, 3 threshold matrix, 0 only with outputBits 8 */
    int32_t lineOption;
    int32_t
        inputFormat; /* bytes per input pixel: 0 gives 1, 4 gives 4 (see the resource sequence) */
    int32_t inkSet;  /* 0 one ink; 3 four channels separated into six inks */
    int32_t xResolution;
    int32_t yResolution;
    int32_t outputBits; /* 1 or 2; 8 selects the byte-output separation path */
    int32_t inputScale; /* -1 two input pixels per output pixel, 0 one, 1 one per two, n>=2 n+1 */
    int32_t reserved8;
    int32_t maxPixels; /* the longest line */
    int32_t pairFlag;
    int32_t version; /* INKDOT_HALFTONE_VERSION */
    int32_t reserved12;
} HalftoneParams;

typedef struct CmContext CmContext;
typedef struct HalftoneContext HalftoneContext;
typedef struct HTableContext HTableContext;

/* Colour matching. */
INKDOT_API int32_t INKDOT_CALL CmNew(const CmParams* params, const CmSelect* select, int32_t unused,
                                     int32_t* nextResource, CmContext** handle);
INKDOT_API int32_t INKDOT_CALL CmSetResource(CmContext* context, const void* resource,
                                             int32_t* nextResource);
INKDOT_API CmLut* INKDOT_CALL CmGetLut(CmContext* context);
INKDOT_API int32_t INKDOT_CALL CmDelete(CmContext* context);

/* Halftoning. */
INKDOT_API int32_t INKDOT_CALL HalftoneNew(const HalftoneParams* params, const CmLut* lut,
                                           int32_t flag, int32_t* tableClass,
                                           HalftoneContext** handle);
INKDOT_API int32_t INKDOT_CALL HalftoneSetResource(HalftoneContext* context, const void* resource,
                                                   int32_t* nextResource);
INKDOT_API int32_t INKDOT_CALL Halftone(HalftoneContext* context, const void* src, uint8_t* dst,
                                        int32_t planeStride, int32_t bitOffset, int32_t pixelCount,
                                        int32_t startX, int32_t enable, int32_t lineNumber,
                                        int32_t spare, int32_t reserved);
INKDOT_API int32_t INKDOT_CALL HalftoneDelete(HalftoneContext* context);

/* Halftone table image. */
INKDOT_API int32_t INKDOT_CALL H_HalftoneNew(const HalftoneParams* params, const CmLut* lut,
                                             int32_t unused, const uint8_t* curves,
                                             int32_t* extraValue, HTableContext** handle);
INKDOT_API int32_t INKDOT_CALL H_HalftoneGetTable(HTableContext* context, const void* records,
                                                  int32_t* nextResource, int32_t* imageLength,
                                                  uint8_t* image);
INKDOT_API int32_t INKDOT_CALL H_HalftoneDelete(HTableContext* context);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* The layouts a 32-bit driver relies on. */
#if defined(__cplusplus) && (UINTPTR_MAX == 0xFFFFFFFFu)
#include <cstddef>
static_assert(sizeof(CmTagPair) == 8, "tag pair");
static_assert(sizeof(CmParams) == 60 && offsetof(CmParams, tags) == 56, "CmParams");
static_assert(sizeof(CmSelect) == 52 && offsetof(CmSelect, numberD) == 24, "CmSelect");
static_assert(sizeof(HalftoneParams) == 52 && offsetof(HalftoneParams, version) == 44,
              "HalftoneParams");
static_assert(sizeof(CmLut) == 512, "CmLut size");
static_assert(offsetof(CmLut, tableKind) == 4 && offsetof(CmLut, channels) == 8 &&
                  offsetof(CmLut, keepGrey) == 12 && offsetof(CmLut, tableWords64) == 16 &&
                  offsetof(CmLut, percentAt0) == 32 && offsetof(CmLut, percentAt255) == 36 &&
                  offsetof(CmLut, tableWords52) == 40 && offsetof(CmLut, points) == 52 &&
                  offsetof(CmLut, list0) == 68 && offsetof(CmLut, list1) == 104 &&
                  offsetof(CmLut, list2) == 140 && offsetof(CmLut, singleChannelTable) == 212 &&
                  offsetof(CmLut, grid) == 468 && offsetof(CmLut, gridHandle) == 472 &&
                  offsetof(CmLut, resource) == 476 && offsetof(CmLut, tableClass) == 480 &&
                  offsetof(CmLut, extraBlock) == 492 && offsetof(CmLut, extraHandle) == 496 &&
                  offsetof(CmLut, ownHandle) == 508,
              "CmLut offsets");
#endif

#endif /* INKDOT_INKDOT_H */
