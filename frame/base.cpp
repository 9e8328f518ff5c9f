#include "base.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "registry.h"
#include "runerror.h"

BaseServices Base;

namespace {

void releaseBase() {
    if (Base.handle && Base.BS_BaseDone) Base.BS_BaseDone();
}

void bindAll(void* h) {
    Base.handle = h;
#define BS_BIND(ret, name, params) Base.name = (ret(*) params)dlsym(h, #name);
    BS_API_LIST(BS_BIND)
    BS_EXTRA_LIST(BS_BIND)
#undef BS_BIND
}

}  // namespace

const char* BaseDefaultPath() {
    static std::string path;
    if (const char* o = getenv("VELMAR_MODULE_BASE"); o && *o) return path = o, path.c_str();
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string dir = "./";
    if (n > 0) {
        buf[n] = 0;
        dir.assign(buf);
        dir.erase(dir.rfind('/') + 1);
    }
    path = dir + "Modules/Base.so";
    return path.c_str();
}

bool BaseTryBind(const char* path, int argc, char** argv) {
    void* h = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!h) return false;
    bindAll(h);
    void* reserved = nullptr;
    if (Base.BS_BaseInit) Base.BS_BaseInit(h, argc, argv, &reserved);
    RegisterExit(S("Release base lib ..."), 0, releaseBase);
    return true;
}

void BaseBind(const char* path, int argc, char** argv) {
    if (BaseTryBind(path, argc, argv)) {
        // Memory exhaustion inside the module ends in our run-time error
        // report (only in the program: a tool's hook throws, and nothing may
        // be thrown through the module).
        if (auto set = (void (*)(BS_FailProc))BaseExtra("BS_SetFailProc"))
            set([](int code, const char* what) { RunError(code, what); });
        return;
    }
    // The message box of the original becomes a line on standard error.
    const char* shown = strstr(path, "Modules/") ? strstr(path, "Modules/") : path;
    fprintf(stderr, "error... %s not found ...\n", shown);
    fflush(stderr);
    _exit(1);
}

void* BaseExtra(const char* name) { return Base.handle ? dlsym(Base.handle, name) : nullptr; }
