// draw_fixture.h - the renderer against the recording GL and GLU, with a
// scene built in code (camera from (0, -10, 0) to the origin).
#pragma once

#include <gtest/gtest.h>

#include <cstdio>

#include "draw_helpers.h"
#include "glbind/glbind.h"
#include "recgl/recgl.h"
#include "render/particles.h"
#include "render/scenedraw.h"
#include "render/settings.h"
#include "render/shadows.h"
#include "render/tracks.h"
#include "support/support.h"

struct DrawTrace : ::testing::Test {
    ThrowOnFailure throwing;
    Scene s{};

    void SetUp() override {
        RecglUse();
        GlBind();
        GluBind();
        RecglReset();
        wireOverlayEnabled = true;
        anisotropyEnabled = true;
        worldScale = 1.0f;
        cameraEye = cameraTarget = Vector{0, 0, 0};
        InitScene(s, "trace", Vector{0, -10, 0}, Vector{0, 0, 0});
    }
    void TearDown() override {
        freeParticles(s);
        ReleaseScene(s);
        GluUnbind();
        GlUnbind();
        RecglReset();
        wireOverlayEnabled = true;
        worldScale = 1.0f;
    }
    std::vector<std::string> take() { return RecglTake(); }

    // A material whose shininess names the object that uses it.
    int32_t objectWithOwnMaterial(int32_t shine, Vector pivot = {0, 0, 0}) {
        int32_t m = AddMaterial(s);
        s.materials[m].shine = shine;
        return AddTriangle(s, m, pivot);
    }
};
