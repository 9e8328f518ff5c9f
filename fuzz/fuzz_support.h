// fuzz_support.h - the Base module linked into the fuzz target, bound once,
// and failures turned into exceptions that the target catches: a rejected
// input is a normal outcome, a crash or a sanitizer report is a finding.
#pragma once

#include <string>

#include "frame/frame.h"

struct FuzzFailure {
    int kind, code;
    std::string message;
};

void FuzzInit();  // idempotent
