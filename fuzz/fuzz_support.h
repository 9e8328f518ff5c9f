// fuzz_support.h - the Base module linked into the fuzz target, bound once,
// and failures turned into exceptions that the target catches: a rejected
// input is a normal outcome, a crash or a sanitizer report is a finding.
// The targets' common headers come with it.
#pragma once

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "frame/frame.h"

struct FuzzFailure {
    int kind, code;
    std::string message;
};

void FuzzInit();  // idempotent

// Runs `f`; false when it ended in a failure (the input was refused).
template <class F>
bool Accepted(F f) try {
    return f(), true;
} catch (const FuzzFailure&) {
    return false;
}
