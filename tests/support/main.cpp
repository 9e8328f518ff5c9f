// Test program entry: every test runs with the linked Base module bound.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "support.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The linked module has no file of its own: "Base" (zlib through it) is the built one.
    setenv("VELMAR_MODULE_BASE", (ModuleDir() + "/Base.so").c_str(), 0);
    BindLinkedBase();
    return RUN_ALL_TESTS();
}
