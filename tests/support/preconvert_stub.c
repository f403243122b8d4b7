/* A stand-in for the game's pre-converter, loaded by the script loader's
 * tests as "Text2qvs.so". What it does depends on the script name, so one
 * library (which stays loaded once it is) serves every case. */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

static int g_frees = 0;
static int g_calls = 0;

static int EndsWith(const char* text, const char* ending) {
    size_t n = strlen(text), m = strlen(ending);
    return n >= m && strcmp(text + n - m, ending) == 0;
}

static void* Copy(const char* text, size_t n) {
    char* block = (char*)malloc(n);
    memcpy(block, text, n);
    return block;
}

uint8_t ScriptPreConvert(const char* name, const char* text, uint32_t length, uint32_t reserved, void** handle,
                         uint32_t* handleSize) {
    ++g_calls;
    if (reserved != 0 || *handle != NULL || *handleSize != 0 || strlen(text) != length) return 0;
    if (EndsWith(name, "refuse.qvs")) {
        /* Declines, but still hands back a block the caller must release. */
        *handle = Copy("Quit Quit Quit", 15);
        *handleSize = 15;
        return 0;
    }
    if (EndsWith(name, "replace.qvs")) {
        /* The new text carries its NUL and some slack after it. */
        *handle = Copy("Apply Apply\0garbage", 20);
        *handleSize = 20;
        return 1;
    }
    if (EndsWith(name, "doubled.qvs")) {
        char* block = (char*)malloc(2 * (size_t)length);
        memcpy(block, text, length);
        memcpy(block + length, text, length);
        *handle = block;
        *handleSize = 2 * length;
        return 1;
    }
    return 1; /* converted in place of nothing: no handle, text unchanged */
}

void ScriptPreConvertFree(void* handle) {
    ++g_frees;
    free(handle);
}

int StubFreeCount(void) { return g_frees; }
int StubCallCount(void) { return g_calls; }
