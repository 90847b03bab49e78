// Process entry without a C runtime, and the few memory routines the compiler may call.
#include <windows.h>

extern "C" {

// Kept through link-time optimisation: the compiler may emit calls to these after it has
// decided which functions are used.

__attribute__((used)) void* memset(void* dest, int value, size_t count)
{
    unsigned char* out = (unsigned char*)dest;
    while (count-- != 0)
        *out++ = (unsigned char)value;
    return dest;
}

__attribute__((used)) void* memcpy(void* dest, const void* source, size_t count)
{
    unsigned char* out = (unsigned char*)dest;
    const unsigned char* in = (const unsigned char*)source;
    while (count-- != 0)
        *out++ = *in++;
    return dest;
}

__attribute__((used)) void* memmove(void* dest, const void* source, size_t count)
{
    unsigned char* out = (unsigned char*)dest;
    const unsigned char* in = (const unsigned char*)source;
    if (out < in) {
        while (count-- != 0)
            *out++ = *in++;
    } else {
        while (count-- != 0)
            out[count] = in[count];
    }
    return dest;
}

// The command line and the show state are not used, so none is parsed.
void UninstStart(void)
{
    ExitProcess((UINT)WinMain(GetModuleHandleA(NULL), NULL, (LPSTR) "", SW_SHOWDEFAULT));
}
}
