// Test program entry: every test runs with the linked Base module bound.
#include <gtest/gtest.h>

#include "support.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    BindLinkedBase();
    return RUN_ALL_TESTS();
}
