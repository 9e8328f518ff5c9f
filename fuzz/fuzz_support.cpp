#include "fuzz_support.h"

extern "C" {
#define BS_DECLARE(ret, name, params) ret name params __attribute__((weak));
BS_API_LIST(BS_DECLARE)
#undef BS_DECLARE
}

void FuzzInit() {
    static bool done = false;
    if (done) return;
    done = true;
#define BS_FILL(ret, fn, params) Base.fn = &fn;
    BS_API_LIST(BS_FILL)
#undef BS_FILL
    Base.handle = (void*)&Base;
    char arg0[] = "fuzz";
    char* argv[] = {arg0, nullptr};
    void* reserved = nullptr;
    Base.BS_BaseInit(nullptr, 1, argv, &reserved);
    SetFailHook([](FailKind kind, int code, const char* message) {
        throw FuzzFailure{(int)kind, code, message ? message : ""};
    });
}
