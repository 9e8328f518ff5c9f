/* base_api.h - the Base services module's interface, one list for everyone.

   The Base module (Modules/Base.so) gives the program and the other modules
   logging, module loading, tracked memory, the show clock, folders and the
   command-line store. The program binds it by name; this header is the one
   place where the names and their C signatures are written down:

     BS_API_LIST(X)   the 54 names the program binds, in binding order
     BS_EXTRA_LIST(X) entry points of our own (modules, author mode)

   X(ret, name, params). A name whose module does not provide it binds to 0.
   Everything is plain C: no C++ type crosses the module boundary. */
#ifndef VELMAR_BASE_API_H
#define VELMAR_BASE_API_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* One loaded shared object, as BS_DlGetList hands them out: ordered by
   descending load address, next == 0 ends the list. */
typedef struct BS_DlNode {
    const char* name;
    uintptr_t base;
    struct BS_DlNode* next;
} BS_DlNode;

/* Called by the module when it cannot go on (out of memory: 203). */
typedef void (*BS_FailProc)(int code, const char* what);

/* Not provided by our module: their slots stay 0. Given one shape so the
   list stays a single list. */
typedef void (*BS_Unprovided)(void);

#define BS_API_LIST(X) \
    X(void, errClear, (void)) \
    X(void, errSetLastError, (int code)) \
    X(int, errGetLastError, (void)) \
    X(void*, BS_DlOpen, (const char* name)) \
    X(void*, BS_DlGetProc, (void* handle, const char* name)) \
    X(void, BS_DlClose, (void* handle)) \
    X(BS_DlNode*, BS_DlGetList, (void)) \
    X(void, BS_DbgLog, (const char* text)) \
    X(int64_t, BS_CurrentTime, (void)) \
    X(void, BS_DetectSystem, (void)) \
    X(void, BS_MemInfo, (void)) \
    X(void, BS_MemFree, (void** block)) \
    X(void, BS_MemDump, (void)) \
    X(void*, BS_MemGet, (size_t size, const char* label)) \
    X(size_t, BS_MemTotal, (void)) \
    X(void, BS_MemAvail, (void)) \
    X(void, BS_GetCPU, (void)) \
    X(const char*, BS_CfgGet, (const char* key)) \
    X(void, BS_CfgAdd, (const char* key, const char* value)) \
    X(void, BS_CfgLoad, (void)) \
    X(void, BS_CfgSave, (void)) \
    X(int32_t, BS_TimerGet, (void)) \
    X(void, BS_TimerSetAdjust, (void)) \
    X(void, BS_TimerReset, (void)) \
    X(void, BS_TimerPause, (int paused)) \
    X(void, BS_Sleep, (int ms)) \
    X(void, BS_ZSetCompLevel, (void)) \
    X(void, BS_ZCompress, (void)) \
    X(void, BS_ZUncompress, (void)) \
    X(uint32_t, BS_ZCrc32, (uint32_t crc, const void* data, size_t size)) \
    X(void, BS_FileOpen, (void)) \
    X(void, BS_FileSeek, (void)) \
    X(void, BS_FileRead, (void)) \
    X(void, BS_FileWrite, (void)) \
    X(void, BS_FileClose, (void)) \
    X(int, BS_FileExist, (const char* path)) \
    X(int64_t, BS_FileSize, (const char* path)) \
    X(void, BS_FileGetStr, (void)) \
    X(const char*, BS_PathGet, (int kind, const char* name)) \
    X(void, BS_PathSetHomeBase, (void)) \
    X(int, BS_MkDir, (const char* path)) \
    X(void, BS_StrDup, (void)) \
    X(void, BS_TrimLeft, (void)) \
    X(void, BS_StrSwap, (void)) \
    X(void, BS_Trim, (void)) \
    X(void, BS_Items, (void)) \
    X(void, BS_Cut, (void)) \
    X(void, BS_Cut_int, (void)) \
    X(void, BS_Cut_float, (void)) \
    X(void, BS_Str2Uri, (void)) \
    X(void, BS_Uri2Str, (void)) \
    X(void, BS_GetString, (void)) \
    X(int, BS_BaseInit, (void* module, int argc, char** argv, void** reserved)) \
    X(void, BS_BaseDone, (void))

/* Our own additions, reached with BS_DlGetProc on the handle of "Base":
   the window manager advances the virtual clock once per presented frame
   and, when capturing, sees play begin as the first BS_TimerReset (the
   count excludes the reset BS_BaseInit makes itself). BS_TimerSet moves
   the clock (real or virtual, paused or not) to a show time in ms: author
   mode's jumps and --start. */
#define BS_EXTRA_LIST(X) \
    X(void, BS_TimerStep, (void)) \
    X(void, BS_TimerSet, (int32_t ms)) \
    X(int, BS_TimerIsVirtual, (void)) \
    X(int32_t, BS_TimerResets, (void)) \
    X(void, BS_SetFailProc, (BS_FailProc proc)) \
    X(size_t, BS_MemCount, (void)) \
    X(size_t, BS_MemLabelBytes, (const char* label))

#ifdef __cplusplus
}
#endif

#endif
