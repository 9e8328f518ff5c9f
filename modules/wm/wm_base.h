// wm_base.h - how a window-manager module reaches the Base module.
//
// The program has already loaded Base.so (privately, RTLD_LOCAL), so its
// symbols are not visible to us by name: we find the loaded copy by path,
// without loading a second one, which would have its own options and clock.
// The path is VELMAR_MODULE_BASE when set, else Base.so beside this module,
// else Modules/Base.so beside the program (where the program loads it from).
// Without a loaded Base the module runs on defaults, logs nothing and has no
// virtual clock.
#pragma once

#include <dlfcn.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "../base/base_api.h"

struct WmBaseLink {
    const char* (*BS_CfgGet)(const char* key);
    void (*BS_DbgLog)(const char* text);
    int32_t (*BS_TimerGet)(void);
    void (*BS_TimerStep)(void);
    int32_t (*BS_TimerResets)(void);
};

inline std::string wmModuleFolder(const void* anyFunction) {
    Dl_info info;
    if (!dladdr(anyFunction, &info) || !info.dli_fname) return "";
    std::string p = info.dli_fname;
    size_t s = p.rfind('/');
    return s == std::string::npos ? "" : p.substr(0, s + 1);
}

inline std::string wmProgramFolder() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "";
    std::string p(buf, (size_t)n);
    return p.substr(0, p.rfind('/') + 1);
}

inline WmBaseLink wmFindBase(const void* anyFunction) {
    WmBaseLink b{};
    void* h = nullptr;
    if (const char* o = getenv("VELMAR_MODULE_BASE"); o && *o) {
        h = dlopen(o, RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    } else {
        std::string beside = wmModuleFolder(anyFunction) + "Base.so";
        h = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
        if (!h) h = dlopen((wmProgramFolder() + "Modules/Base.so").c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    }
    if (!h) return b;
    b.BS_CfgGet = (const char* (*)(const char*))dlsym(h, "BS_CfgGet");
    b.BS_DbgLog = (void (*)(const char*))dlsym(h, "BS_DbgLog");
    b.BS_TimerGet = (int32_t(*)(void))dlsym(h, "BS_TimerGet");
    b.BS_TimerStep = (void (*)(void))dlsym(h, "BS_TimerStep");
    b.BS_TimerResets = (int32_t(*)(void))dlsym(h, "BS_TimerResets");
    // NOLOAD still counts a reference; Base outlives us, so drop it at once.
    dlclose(h);
    return b;
}

// A whole number option above 0, or `fallback`.
inline int32_t wmIntOption(const WmBaseLink& b, const char* key, int32_t fallback) {
    const char* v = b.BS_CfgGet ? b.BS_CfgGet(key) : nullptr;
    if (!v || !*v) return fallback;
    char* end = nullptr;
    long n = strtol(v, &end, 10);
    return (*end == 0 && n > 0 && n < 100000) ? (int32_t)n : fallback;
}

inline bool wmFlagOption(const WmBaseLink& b, const char* key) {
    return b.BS_CfgGet && b.BS_CfgGet(key) != nullptr;
}

inline void wmLog(const WmBaseLink& b, const std::string& line) {
    if (b.BS_DbgLog) b.BS_DbgLog((line + "\n").c_str());
}
