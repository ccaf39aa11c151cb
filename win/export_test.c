/*
 * Win32 export harness, run under Wine: loads inkdot.dll, resolves each of
 * the eleven functions under both names, checks that both names lead to the
 * same address, and calls through each pointer with the stack pointer
 * checked before and after, which proves the callee removed its arguments.
 */
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "inkdot/inkdot.h"

static int failures;

#define CHECK(cond, ...)                                \
    do {                                                \
        if (!(cond)) {                                  \
            printf("FAIL %s:%d: ", __FILE__, __LINE__); \
            printf(__VA_ARGS__);                        \
            printf("\n");                               \
            ++failures;                                 \
        }                                               \
    } while (0)

/* Pushes `words` argument words and calls `fn` without cleaning up after it,
 * then reports how many bytes the callee left on the stack. With the standard
 * calling convention the callee removes its arguments, so 0 is right. */
static int32_t leftOnStack(void* fn, const uint32_t* args, int words, int32_t* result) {
    int32_t count = words;
    int32_t r;
    /* esi (callee-saved) keeps the stack pointer from before the pushes. */
    __asm__ volatile(
        "movl %%esp, %%esi\n\t"
        "1:\n\t"
        "testl %%ecx, %%ecx\n\t"
        "jz 2f\n\t"
        "pushl -4(%%edi,%%ecx,4)\n\t"
        "decl %%ecx\n\t"
        "jmp 1b\n\t"
        "2:\n\t"
        "call *%%ebx\n\t"
        "movl %%esi, %%ecx\n\t"
        "subl %%esp, %%ecx\n\t"
        "movl %%esi, %%esp\n\t"
        : "=a"(r), "+c"(count)
        : "b"(fn), "D"(args)
        : "esi", "edx", "memory", "cc");
    *result = r;
    return count;
}

struct Export {
    const char* plain;
    const char* alias;
    int argBytes;
};

static const struct Export kExports[] = {
    {"CmNew", "_A_CmNew@20", 20},
    {"CmSetResource", "_A_CmSetResource@12", 12},
    {"CmDelete", "_A_CmDelete@4", 4},
    {"CmGetLut", "_A_CmGetLut@4", 4},
    {"HalftoneNew", "_A_HalftoneNew@20", 20},
    {"HalftoneSetResource", "_A_HalftoneSetResource@12", 12},
    {"Halftone", "_A_Halftone@44", 44},
    {"HalftoneDelete", "_A_HalftoneDelete@4", 4},
    {"H_HalftoneNew", "_A_H_HalftoneNew@24", 24},
    {"H_HalftoneGetTable", "_A_H_HalftoneGetTable@20", 20},
    {"H_HalftoneDelete", "_A_H_HalftoneDelete@4", 4},
};

/* Counts the names in the DLL's export directory. */
static int exportedNameCount(HMODULE module) {
    const BYTE* base = (const BYTE*)module;
    const IMAGE_DOS_HEADER* dos = (const IMAGE_DOS_HEADER*)base;
    const IMAGE_NT_HEADERS32* nt = (const IMAGE_NT_HEADERS32*)(base + dos->e_lfanew);
    DWORD rva = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress;
    const IMAGE_EXPORT_DIRECTORY* dir = (const IMAGE_EXPORT_DIRECTORY*)(base + rva);
    return (int)dir->NumberOfNames;
}

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "inkdot.dll";
    HMODULE dll = LoadLibraryA(path);
    if (dll == NULL) {
        printf("FAIL: cannot load %s\n", path);
        return 1;
    }
    CHECK(exportedNameCount(dll) == 22, "export directory holds %d names, not 22",
          exportedNameCount(dll));

    void* addresses[11];
    int distinct = 0;
    for (int i = 0; i < 11; ++i) {
        void* plain = (void*)GetProcAddress(dll, kExports[i].plain);
        void* alias = (void*)GetProcAddress(dll, kExports[i].alias);
        CHECK(plain != NULL, "%s missing", kExports[i].plain);
        CHECK(alias != NULL, "%s missing", kExports[i].alias);
        CHECK(plain == alias, "%s and %s differ", kExports[i].plain, kExports[i].alias);
        addresses[i] = plain;
        int seen = 0;
        for (int j = 0; j < i; ++j) seen |= addresses[j] == plain;
        distinct += !seen;
    }
    CHECK(distinct == 11, "%d distinct addresses, not 11", distinct);

    /* A real object to call the one-handle functions on. */
    CmParams params;
    CmSelect select;
    memset(&params, 0, sizeof params);
    memset(&select, 0, sizeof select);
    select.pixelLayout = 1;
    int32_t next = 5;
    CmContext* cm = NULL;

    /* Argument words for every function. Calls that must not touch memory
     * get null handles where the function checks its records first. */
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < 11; ++i) {
            const struct Export* e = &kExports[i];
            void* fn = (void*)GetProcAddress(dll, pass == 0 ? e->plain : e->alias);
            if (fn == NULL) continue;
            uint32_t args[11];
            memset(args, 0, sizeof args);
            int32_t result = 0;
            int check = 1;
            if (strcmp(e->plain, "CmNew") == 0) {
                args[0] = (uint32_t)(uintptr_t)&params;
                args[1] = (uint32_t)(uintptr_t)&select;
                args[3] = (uint32_t)(uintptr_t)&next;
                args[4] = (uint32_t)(uintptr_t)&cm;
            } else if (strcmp(e->plain, "CmSetResource") == 0) {
                static const char kNoIndex[] = "";
                args[0] = (uint32_t)(uintptr_t)cm;
                args[1] = (uint32_t)(uintptr_t)kNoIndex;
                args[2] = (uint32_t)(uintptr_t)&next;
                check = 0; /* any result: only the stack is checked here */
            } else if (strcmp(e->plain, "CmGetLut") == 0) {
                args[0] = (uint32_t)(uintptr_t)cm;
                check = 0;
            } else if (strcmp(e->plain, "CmDelete") == 0) {
                continue; /* called last, below */
            } else if (strcmp(e->plain, "HalftoneNew") == 0) {
                args[2] = 1; /* non-zero flag: rejected before anything is read */
                result = 0x203;
            } else if (strcmp(e->plain, "H_HalftoneNew") == 0) {
                result = 0x201; /* null record */
            } else {
                continue; /* the others need a complete object */
            }
            int32_t got = 0;
            int32_t left = leftOnStack(fn, args, e->argBytes / 4, &got);
            CHECK(left == 0, "%s left %d bytes on the stack", pass ? e->alias : e->plain, left);
            if (check)
                CHECK(got == result, "%s returned 0x%x, not 0x%x", pass ? e->alias : e->plain,
                      (unsigned)got, (unsigned)result);
            if (strcmp(e->plain, "CmNew") == 0) {
                CHECK(next == 0, "CmNew did not set the next resource to 0");
                CHECK(cm != NULL, "CmNew gave no handle");
            }
            if (strcmp(e->plain, "CmGetLut") == 0)
                CHECK(got != 0 && ((CmLut*)(uintptr_t)got)->ownHandle != NULL,
                      "CmGetLut gave no record");
        }
        /* Delete through this pass's name. */
        void* del = (void*)GetProcAddress(dll, pass == 0 ? "CmDelete" : "_A_CmDelete@4");
        uint32_t args[1] = {(uint32_t)(uintptr_t)cm};
        int32_t got = -1;
        int32_t left = leftOnStack(del, args, 1, &got);
        CHECK(left == 0 && got == 0, "CmDelete: %d bytes left, result 0x%x", left, (unsigned)got);
        cm = NULL;
    }

    if (failures == 0) printf("win32 exports: 22 names at 11 addresses, stack cleanup correct\n");
    return failures == 0 ? 0 : 1;
}
