// Curve sets and the curve stage are not built yet. Phase 2 ends with -1 only
// where no curve step would run (no tag 528, 544 or 512 item); otherwise the
// sequence reports that it cannot go on rather than skip the curves silently.
#include "cm/cm_context.h"
#include "cm/curves.h"

#include <initializer_list>

namespace inkdot {

static const void* findTag(const CmTagList* tags, int32_t tag) {
    if (tags == nullptr) return nullptr;
    for (int32_t i = 0; i < tags->count; ++i)
        if (tags->pairs[i].tag == tag) return tags->pairs[i].item;
    return nullptr;
}

int32_t startCurveSteps(CmContext& cm, int32_t* nextResource) {
    *nextResource = INKDOT_NO_RESOURCE;
    for (int32_t tag : {INKDOT_TAG_CURVE_SET, INKDOT_TAG_CURVE_SET_TABLE, INKDOT_TAG_CURVE_SELECTOR})
        if (findTag(cm.params.tags, tag) != nullptr) return INKDOT_SEQUENCE_ENDED;
    return INKDOT_OK;
}

int32_t curveStageStep(CmContext&, const uint8_t*, size_t, int32_t*) {
    return INKDOT_SEQUENCE_ENDED;
}

int32_t releaseCurveStage(CmContext&) { return INKDOT_OK; }

} // namespace inkdot
