/* A C program outside the project that uses Modules/Base.so by dlopen alone:
   with -v it logs a line into debug.log beside itself, and finds it there.
   Usage: base_client PATH/TO/Base.so */
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
    void* h = argc == 2 ? dlopen(argv[1], RTLD_NOW | RTLD_LOCAL) : NULL;
    int (*init)(void*, int, char**, void**) = h ? (int (*)(void*, int, char**, void**))dlsym(h, "BS_BaseInit") : NULL;
    void (*dbgLog)(const char*) = h ? (void (*)(const char*))dlsym(h, "BS_DbgLog") : NULL;
    const char* (*pathGet)(int, const char*) = h ? (const char* (*)(int, const char*))dlsym(h, "BS_PathGet") : NULL;
    if (!init || !dbgLog || !pathGet) return fprintf(stderr, "base_client: cannot use %s\n", argv[argc - 1]), 1;
    char* args[] = {argv[0], "-v", NULL};
    void* reserved = NULL;
    init(h, 2, args, &reserved);
    dbgLog("[client] hello\n");
    char path[4096], text[64] = "";
    snprintf(path, sizeof path, "%sdebug.log", pathGet(1, ""));
    FILE* f = fopen(path, "rb");
    if (!f || fread(text, 1, sizeof text - 1, f) == 0 || strcmp(text, "[client] hello\n") != 0)
        return fprintf(stderr, "base_client: %s does not hold the line\n", path), 1;
    fclose(f);
    printf("base_client: ok (%s)\n", path);
    return 0;
}
