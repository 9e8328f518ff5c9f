// texman_fixture.h - the texture manager over the real Modules/TL.so and
// the recording GL, with texture files made in a fresh folder per test.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "../recgl/recgl.h"
#include "../recgl/recgl_format.h"
#include "../tl/fixtures.h"
#include "glbind/glbind.h"
#include "support/support.h"
#include "textures/texman.h"

struct TexmanTest : ::testing::Test {
    std::string dir;
    ThrowOnFailure throwing;

    void SetUp() override;
    void TearDown() override;

    // Writes `bytes` as dir/name and returns the path as the manager's name.
    ShortString File(const std::string& name, const std::string& bytes);
    // A 4 x 2 TGA of the test pattern with 24 or 32 bits.
    ShortString Tga(const std::string& name, int bpp = 24);
};

// The message of the fatal stop `f` ends in, or "" when it returns.
std::string FatalMessage(const std::function<void()>& f);

// The slot that holds GL name `ref` (in use or not), or null.
TextureEntry* SlotOf(uint32_t ref);

// The line the recording GL writes for pixel or block data.
std::string Hash(const void* p, size_t n);
