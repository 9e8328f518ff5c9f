// The linked Base module is bound as the tests bind it; their folders are
// not used here.
#define VELMAR_TEST_SHOW_DIR ""
#include "fuzz_support.h"
#include "tests/support/support.cpp"

void FuzzInit() {
    static bool done = false;
    if (done) return;
    done = true;
    BindLinkedBase();
    // Messages go through the shared C-string buffer, which grows once to its
    // full size: let it do so now, before a target counts memory.
    ToCString(S(std::string(255, '.')));
    SetFailHook([](FailKind kind, int code, const char* message) {
        throw FuzzFailure{(int)kind, code, message ? message : ""};
    });
}
