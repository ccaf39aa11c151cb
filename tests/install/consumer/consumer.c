/* Creates and deletes a colour-matching object through the installed library
 * and checks the answers a driver relies on at the start of a sequence. */
#include <inkdot/inkdot.h>
#include <stdio.h>
#include <string.h>

int main(void) {
    CmParams params;
    CmSelect select;
    memset(&params, 0, sizeof params);
    memset(&select, 0, sizeof select);
    select.pixelLayout = 1;
    int32_t next = -1;
    CmContext* cm = NULL;
    if (CmNew(&params, &select, 0, &next, &cm) != INKDOT_OK || next != 0 || cm == NULL) {
        printf("CmNew failed\n");
        return 1;
    }
    const CmLut* lut = CmGetLut(cm);
    if (lut == NULL || lut->ownHandle == NULL) {
        printf("CmGetLut gave no record\n");
        return 1;
    }
    if (HalftoneNew(NULL, NULL, 1, NULL, NULL) != INKDOT_NONZERO_FLAG) {
        printf("HalftoneNew did not refuse a non-zero flag\n");
        return 1;
    }
    if (CmDelete(cm) != INKDOT_OK) {
        printf("CmDelete failed\n");
        return 1;
    }
    printf("consumer: ok\n");
    return 0;
}
