// Creation, lookup-table access and deletion of the colour-matching object.
#include "cm/cm_context.h"
#include "cm/curves.h"
#include "frame/mem_block.h"
#include "frame/workers.h"

namespace inkdot {

int16_t deriveKeyC(CmParams& params, const CmSelect& select) {
    auto keyC = static_cast<int16_t>(params.colorMode == 2 ? 4 : params.colorMode);
    if (params.matchMode == 1) return 4;
    if (params.matchMode == 4) {
        params.colorMode = 0;
        return 0;
    }
    return select.pixelLayout == 0 ? int16_t{0} : keyC;
}

int32_t cmNew(const CmParams* params, const CmSelect* select, int32_t /*unused*/,
              int32_t* nextResource, CmContext** handle) {
    *nextResource = 0;

    platform::Handle ownHandle = nullptr;
    void* ownAddress = nullptr;
    int32_t result = allocateLocked(sizeof(CmContext), true, ownHandle, ownAddress);
    if (result != INKDOT_OK) return result;
    auto* cm = static_cast<CmContext*>(ownAddress);
    cm->ownHandle = ownHandle;

    platform::Handle lutHandle = platform::allocate(sizeof(CmLut), true);
    void* lutAddress = lutHandle != nullptr ? platform::lock(lutHandle) : nullptr;
    if (lutAddress == nullptr) {
        platform::unlock(ownHandle);
        platform::release(ownHandle);
        if (lutHandle == nullptr) return INKDOT_ALLOC_FAILED;
        platform::release(lutHandle);
        return INKDOT_LOCK_FAILED;
    }
    cm->lut = static_cast<CmLut*>(lutAddress);
    cm->lut->ownHandle = lutHandle;
    cm->lutHandle = lutHandle;

    cm->params = *params;
    cm->select = *select;
    if (cm->select.keyA == 0) {
        cm->select.keyA = 3;
        cm->params.colorMode = 2;
    }
    cm->keyC = deriveKeyC(cm->params, cm->select);

    cm->phase = 1;
    *handle = cm;
    return INKDOT_OK;
}

CmLut* cmGetLut(CmContext* context) {
    return context->lut;
}

// Frees one owned block and forgets it, so a delete that failed part-way can
// be repeated without touching a block twice.
static int32_t releaseOwned(platform::Handle& handle) {
    if (handle == nullptr) return INKDOT_OK;
    int32_t result = unlockAndFree(handle);
    if (result == INKDOT_OK) handle = nullptr;
    return result;
}

int32_t cmDelete(CmContext* context) {
    // Release order: a curve stage the caller abandoned, grid data, extra
    // block, node curves, the record, the object.
    int32_t result = releaseCurveStage(*context);
    if (result != INKDOT_OK) return result;
    if (CmLut* lut = context->lut) {
        if ((result = releaseOwned(lut->gridHandle)) != INKDOT_OK) return result;
        lut->grid = nullptr;
        if ((result = releaseOwned(lut->extraHandle)) != INKDOT_OK) return result;
        lut->extraBlock = nullptr;
    }
    if ((result = releaseOwned(context->nodeCurvesHandle)) != INKDOT_OK) return result;
    context->nodeCurves = nullptr;
    if ((result = releaseOwned(context->lutHandle)) != INKDOT_OK) return result;
    context->lut = nullptr;
    return unlockAndFree(context->ownHandle);
}

}  // namespace inkdot
