// The curve stage. The selector item (tag 512) names a target value for each
// output channel; the driver's resources then say which curve-block slot each
// entry fills (980), what it measured (990), and through a second index which
// curve table to take the curves from. The distance between target and
// measured value picks the curve.
#include "cm/curve_stage.h"

#include <algorithm>
#include <cstring>

#include "cm/cm_context.h"
#include "cm/curve_grid.h"
#include "cm/curve_set.h"
#include "cm/curve_tags.h"
#include "cm/curves.h"
#include "cm/table_index.h"
#include "frame/mem_block.h"

namespace inkdot {
namespace {

constexpr uint8_t kRecordEnd = 0xFE;
constexpr uint8_t kSequenceEnd = 0xFF;
constexpr int32_t kTargetLow = 30;
constexpr int32_t kTargetHigh = 70;
constexpr size_t kCurveBytes = 256;

// The selector item when it is a valid one for `channels` entries: "CW:", a
// record selector, a target from 30 to 70 per entry, then 0xFE 0xFF.
const uint8_t* validSelector(const CmTagList* tags, int32_t channels) {
    if (tags == nullptr || tags->count == 0) return nullptr;
    const auto* item = static_cast<const uint8_t*>(findTag(tags, INKDOT_TAG_CURVE_SELECTOR));
    if (item == nullptr || std::memcmp(item, "CW:", 3) != 0) return nullptr;
    for (int32_t i = 0; i < channels; ++i)
        if (item[4 + i] < kTargetLow || item[4 + i] > kTargetHigh) return nullptr;
    if (item[4 + channels] != kRecordEnd || item[5 + channels] != kSequenceEnd) return nullptr;
    return item;
}

// Resource 980: records of a selector byte, map bytes and 0xFE; a 0xFF where
// a record would start ends them. Every record whose selector byte is the
// selector item's sets the map from its bytes (a later one overrides). A
// record with fewer bytes than entries leaves the other entries as they were;
// bytes beyond the entries are not read into the map. A slot outside the
// curve block, or a resource that ends inside the records, is malformed.
int32_t readMap(CmCurveStage& stage, int32_t channels, uint8_t selector, const uint8_t* res,
                size_t length) {
    for (int32_t i = 0; i < kStageEntries; ++i) stage.map[i] = static_cast<uint8_t>(i);
    size_t pos = 0;
    for (;;) {
        if (pos >= length) return INKDOT_SEQUENCE_ENDED;
        if (res[pos] == kSequenceEnd) return INKDOT_OK;
        uint8_t recordSelector = res[pos++];
        size_t start = pos;
        while (pos < length && res[pos] != kRecordEnd) ++pos;
        if (pos >= length) return INKDOT_SEQUENCE_ENDED;
        size_t count = pos++ - start;
        if (recordSelector != selector) continue;
        size_t used = std::min(count, static_cast<size_t>(channels));
        for (size_t i = 0; i < used; ++i) {
            if (res[start + i] >= channels) return INKDOT_SEQUENCE_ENDED;
            stage.map[i] = res[start + i];
        }
    }
}

// Resource 990: a first byte from 30 to 70 is already a measured value (mode
// 1); any other first byte is the mode, and the values follow it.
int32_t readMeasured(CmCurveStage& stage, int32_t channels, const uint8_t* res, size_t length) {
    if (length < 1) return INKDOT_SEQUENCE_ENDED;
    bool plain = res[0] >= kTargetLow && res[0] <= kTargetHigh;
    size_t first = plain ? 0 : 1;
    if (length - first < static_cast<size_t>(channels)) return INKDOT_SEQUENCE_ENDED;
    stage.mode = plain ? 1 : res[0];
    std::memcpy(stage.measured, res + first, static_cast<size_t>(channels));
    return INKDOT_OK;
}

// The second index is an index like resource 0, matched with keyC 0 and with
// the records as they were when the stage started.
int32_t chooseCurveTable(CmCurveStage& stage, CmContext& cm, const uint8_t* res, size_t length,
                         int32_t* nextResource) {
    cm.params = stage.params;
    cm.select = stage.select;
    cm.keyC = 0;
    int32_t answer = 0;
    int32_t result = chooseFromIndex(cm, res, length, &answer);
    if (result != INKDOT_OK) return result;
    *nextResource = answer;
    return answer == 0 ? INKDOT_SEQUENCE_ENDED : INKDOT_OK;
}

// The curve table: 256-byte curves one after another. Targets that all lie
// within the mode's tolerance of their measured values count as met.
int32_t takeCurves(CmCurveStage& stage, int32_t channels, const uint8_t* res, size_t length) {
    CurveChoice choice = curveChoiceFor(stage.mode);
    bool allClose = true;
    for (int32_t i = 0; i < channels; ++i) {
        int32_t d = stage.targets[i] - stage.measured[i];
        if (!(d < choice.tolerance && -d < choice.tolerance)) allClose = false;
    }
    if (allClose) std::memcpy(stage.targets, stage.measured, static_cast<size_t>(channels));

    for (int32_t i = 0; i < channels; ++i) {
        auto h = static_cast<size_t>(curveNumber(choice, stage.targets[i], stage.measured[i]));
        if (length / kCurveBytes <= h) return INKDOT_SEQUENCE_ENDED;
        std::memcpy(stage.curveBlock + stage.map[i] * kCurveBytes, res + h * kCurveBytes,
                    kCurveBytes);
    }
    return INKDOT_OK;
}

int32_t stepByState(CmCurveStage& stage, CmContext& cm, const uint8_t* res, size_t length,
                    int32_t* nextResource) {
    const int32_t channels = cm.lut->channels;
    switch (stage.state) {
        case 1: {
            const auto* selector =
                static_cast<const uint8_t*>(findTag(stage.params.tags, INKDOT_TAG_CURVE_SELECTOR));
            if (selector == nullptr) return INKDOT_SEQUENCE_ENDED;
            std::memcpy(stage.targets, selector + 4, static_cast<size_t>(channels));
            if (int32_t r = readMap(stage, channels, selector[3], res, length); r != INKDOT_OK)
                return r;
            stage.state = 2;
            *nextResource = kMeasuredResource;
            return INKDOT_OK;
        }
        case 2: {
            if (int32_t r = readMeasured(stage, channels, res, length); r != INKDOT_OK) return r;
            // resourceBase is a multiple of 1000 from an int32 answer; the sum is
            // formed wide so the largest bases cannot overflow.
            int64_t second = int64_t{cm.resourceBase} + kSecondIndexOffset;
            if (second > INT32_MAX) return INKDOT_SEQUENCE_ENDED;
            stage.state = 3;
            *nextResource = static_cast<int32_t>(second);
            return INKDOT_OK;
        }
        case 3: stage.state = 4; return chooseCurveTable(stage, cm, res, length, nextResource);
        case 4:
            if (int32_t r = takeCurves(stage, channels, res, length); r != INKDOT_OK) return r;
            *nextResource = INKDOT_NO_RESOURCE;
            return INKDOT_OK;
        default: return INKDOT_SEQUENCE_ENDED;
    }
}

}  // namespace

CurveChoice curveChoiceFor(int32_t mode) {
    if (mode == 2) return {36, 1, 32, 0};
    return {20, 2, 30, 3};
}

int32_t curveNumber(const CurveChoice& choice, int32_t target, int32_t measured) {
    int32_t h = (target - measured - choice.offset + 50) / choice.divisor;
    return std::clamp(h, 0, choice.highestCurve);
}

int32_t startCurveStage(CmContext& cm, int32_t* nextResource) {
    *nextResource = INKDOT_NO_RESOURCE;
    const int32_t channels = cm.lut->channels;

    platform::Handle stageHandle = nullptr;
    void* stageAddress = nullptr;
    int32_t result = allocateLocked(sizeof(CmCurveStage), true, stageHandle, stageAddress);
    if (result != INKDOT_OK) return result;
    auto* stage = static_cast<CmCurveStage*>(stageAddress);
    stage->ownHandle = stageHandle;
    cm.curveStage = stage;

    // A grid without channels still gets a (one-byte) block, as a zero-byte
    // global-memory block cannot be locked everywhere.
    auto curveBytes = static_cast<uint32_t>(std::max(channels, 1)) * kCurveBytes;
    void* curveAddress = nullptr;
    result = allocateLocked(static_cast<uint32_t>(curveBytes), true, stage->curveBlockHandle,
                            curveAddress);
    if (result != INKDOT_OK) {
        releaseCurveStage(cm);
        return result;
    }
    stage->curveBlock = static_cast<uint8_t*>(curveAddress);
    stage->params = cm.params;
    stage->select = cm.select;
    stage->object = &cm;
    stage->state = 0;

    if (validSelector(cm.params.tags, channels) == nullptr) return releaseCurveStage(cm);
    // The stage keeps one target, slot and measured value per entry.
    if (channels > kStageEntries) {
        releaseCurveStage(cm);
        return INKDOT_UNSUPPORTED;
    }
    stage->state = 1;
    *nextResource = kMapResource;
    return INKDOT_OK;
}

void applyStageCurves(const CmCurveStage& stage, CmLut& lut) {
    bendGrid(lut, stage.curveBlock);
}

int32_t curveStageStep(CmContext& cm, const uint8_t* resource, size_t length,
                       int32_t* nextResource) {
    *nextResource = INKDOT_NO_RESOURCE;
    CmCurveStage* stage = cm.curveStage;
    if (stage == nullptr || stage->state < 1) return INKDOT_SEQUENCE_ENDED;
    int32_t result = stepByState(*stage, cm, resource, length, nextResource);
    if (result != INKDOT_OK) {
        releaseCurveStage(cm);
        return result;
    }
    if (*nextResource != INKDOT_NO_RESOURCE) return INKDOT_OK;
    applyStageCurves(*stage, *cm.lut);
    return releaseCurveStage(cm);
}

int32_t startCurveSteps(CmContext& cm, int32_t* nextResource) {
    bool present = false;
    int32_t result = runCurveSets(cm, &present);
    if (present) {
        *nextResource = INKDOT_NO_RESOURCE;
        return result;
    }
    return startCurveStage(cm, nextResource);
}

int32_t releaseCurveStage(CmContext& cm) {
    CmCurveStage* stage = cm.curveStage;
    if (stage == nullptr) return INKDOT_OK;
    if (stage->curveBlockHandle != nullptr) {
        if (int32_t r = unlockAndFree(stage->curveBlockHandle); r != INKDOT_OK) return r;
        stage->curveBlockHandle = nullptr;
        stage->curveBlock = nullptr;
    }
    // The stage's own block goes last; once it is unlocked it is not touched
    // again, so a failed free leaves nothing to repeat.
    platform::Handle own = stage->ownHandle;
    if (platform::unlock(own) != 0) return INKDOT_UNLOCK_FAILED;
    cm.curveStage = nullptr;
    if (platform::release(own) != nullptr) return INKDOT_FREE_FAILED;
    return INKDOT_OK;
}

}  // namespace inkdot
