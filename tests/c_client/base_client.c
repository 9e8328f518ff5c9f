/* A program outside the project that uses Modules/Base.so by dlopen alone:
   log a line, reserve and free labelled memory, round-trip a buffer through
   compress2/uncompress found on the handle of "Base", and find the line in
   debug.log. Usage: base_client PATH/TO/Base.so */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

typedef int (*BaseInitFn)(void*, int, char**, void**);
typedef void (*LogFn)(const char*);
typedef void* (*MemGetFn)(size_t, const char*);
typedef void (*MemFreeFn)(void**);
typedef size_t (*MemTotalFn)(void);
typedef void* (*DlOpenFn)(const char*);
typedef void* (*DlGetProcFn)(void*, const char*);
typedef const char* (*PathGetFn)(int, const char*);
typedef int (*Compress2Fn)(unsigned char*, unsigned long*, const unsigned char*, unsigned long, int);
typedef int (*UncompressFn)(unsigned char*, unsigned long*, const unsigned char*, unsigned long);

#define NEED(v) do { if (!(v)) { fprintf(stderr, "base_client: %s failed\n", #v); return 1; } } while (0)

int main(int argc, char** argv) {
    NEED(argc == 2);
    void* h = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    NEED(h);
    BaseInitFn init = (BaseInitFn)dlsym(h, "BS_BaseInit");
    LogFn dbgLog = (LogFn)dlsym(h, "BS_DbgLog");
    MemGetFn memGet = (MemGetFn)dlsym(h, "BS_MemGet");
    MemFreeFn memFree = (MemFreeFn)dlsym(h, "BS_MemFree");
    MemTotalFn memTotal = (MemTotalFn)dlsym(h, "BS_MemTotal");
    DlOpenFn dlOpen = (DlOpenFn)dlsym(h, "BS_DlOpen");
    DlGetProcFn dlGetProc = (DlGetProcFn)dlsym(h, "BS_DlGetProc");
    PathGetFn pathGet = (PathGetFn)dlsym(h, "BS_PathGet");
    NEED(init && dbgLog && memGet && memFree && memTotal && dlOpen && dlGetProc && pathGet);

    char* args[] = {argv[0], "-v", NULL};
    void* reserved = NULL;
    init(h, 2, args, &reserved);

    char line[128];
    snprintf(line, sizeof line, "[client] hello from process %d\n", (int)getpid());
    dbgLog(line);

    size_t before = memTotal();
    void* block = memGet(1000, "client block");
    NEED(block);
    NEED(memTotal() == before + 1000);
    memset(block, 0xAB, 1000);
    memFree(&block);
    NEED(block == NULL);
    NEED(memTotal() == before);

    void* self = dlOpen("Base");
    NEED(self);
    Compress2Fn c2 = (Compress2Fn)dlGetProc(self, "compress2");
    UncompressFn un = (UncompressFn)dlGetProc(self, "uncompress");
    NEED(c2 && un);
    unsigned char src[4096], packed[5000], back[4096];
    for (int i = 0; i < 4096; ++i) src[i] = (unsigned char)(i * 7 % 13);
    unsigned long plen = sizeof packed, blen = sizeof back;
    NEED(c2(packed, &plen, src, sizeof src, 9) == 0);
    NEED(plen < sizeof src && packed[0] == 0x78 && packed[1] == 0xDA);
    NEED(un(back, &blen, packed, plen) == 0);
    NEED(blen == sizeof src && memcmp(src, back, sizeof src) == 0);

    char path[4096];
    snprintf(path, sizeof path, "%sdebug.log", pathGet(1, ""));
    FILE* f = fopen(path, "rb");
    NEED(f);
    static char text[1 << 20];
    size_t n = fread(text, 1, sizeof text - 1, f);
    fclose(f);
    text[n] = 0;
    NEED(strstr(text, line) != NULL);
    printf("base_client: ok (%s)\n", path);
    return 0;
}
