// The recording GL itself: the lines later tests compare against must be
// stable and must tell different calls apart.
#include <gtest/gtest.h>

#include "glbind/glbind.h"
#include "recgl/recgl.h"
#include "support/support.h"

namespace {

struct RecglTest : ::testing::Test {
    void SetUp() override {
        RecglBind();
    }
    void TearDown() override {
        RecglUnbind();
        RecglReset();
    }
};

TEST_F(RecglTest, EnumsAreNamedByWhatTheParameterMeans) {
    GL.glBlendFunc(GL_ZERO, GL_ONE_MINUS_SRC_ALPHA);
    GL.glStencilOp(GL_KEEP, GL_ZERO, GL_INCR);
    GL.glBegin(GL_QUADS);
    GL.glEnd();
    GL.glDrawElements(GL_TRIANGLES, 0, GL_UNSIGNED_SHORT, nullptr);
    GL.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    GL.glClear(0);
    GL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    GL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 3);
    GL.glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    GL.glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, 16);
    GL.glColorMask(GL_TRUE, GL_FALSE, GL_TRUE, GL_FALSE);
    GL.glEnable(0x9999);
    GL.glBindTexture(GL_TEXTURE_2D, 1);
    EXPECT_EQ(RecglTake(), (std::vector<std::string>{
                               "glBlendFunc(GL_ZERO, GL_ONE_MINUS_SRC_ALPHA)",
                               "glStencilOp(GL_KEEP, GL_ZERO, GL_INCR)",
                               "glBegin(GL_QUADS)",
                               "glEnd()",
                               "glDrawElements(GL_TRIANGLES, 0, GL_UNSIGNED_SHORT, 0)",
                               "glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT)",
                               "glClear(0x0)",
                               "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR)",
                               "glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 3)",
                               "glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE)",
                               "glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, 16)",
                               "glColorMask(GL_TRUE, GL_FALSE, GL_TRUE, GL_FALSE)",
                               "glEnable(0x9999)",
                               "glBindTexture(GL_TEXTURE_2D, 1)",
                           }));
}

TEST_F(RecglTest, NumbersAreWrittenShortAndExact) {
    GL.glColor4f(0.8f, 0.8f, 0.8f, 1.0f);
    GL.glTranslatef(-0.25f, 1e-7f, 123456.0f);
    GL.glClearDepth(1.0);
    GL.glVertex2f(0.1f + 0.2f, 1.0f / 3.0f);
    GL.glViewport(0, 0, 256, 256);
    EXPECT_EQ(RecglTake(), (std::vector<std::string>{
                               "glColor4f(0.8, 0.8, 0.8, 1)",
                               "glTranslatef(-0.25, 1e-07, 123456)",
                               "glClearDepth(1)",
                               "glVertex2f(0.3, 0.33333334)",
                               "glViewport(0, 0, 256, 256)",
                           }));
}

TEST_F(RecglTest, ArraysAreListedAndPixelDataHashed) {
    const GLfloat pos[4] = {1, 2, 3, 0};
    const GLfloat dir[3] = {0, -1, 0};
    GL.glLightfv(GL_LIGHT0, GL_POSITION, pos);
    GL.glLightfv(GL_LIGHT0, GL_SPOT_DIRECTION, dir);
    std::vector<unsigned char> a(4 * 4 * 3, 7), b = a;
    b[47] = 8;  // the last byte of the last pixel
    GL.glTexImage2D(GL_TEXTURE_2D, 0, 3, 4, 4, 0, GL_RGB, GL_UNSIGNED_BYTE, a.data());
    GL.glTexImage2D(GL_TEXTURE_2D, 0, 3, 4, 4, 0, GL_RGB, GL_UNSIGNED_BYTE, a.data());
    GL.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 4, 4, 0, GL_RGB, GL_UNSIGNED_BYTE, b.data());
    GL.glTexImage2D(GL_TEXTURE_2D, 0, 3, 4, 4, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    GLU.gluBuild2DMipmaps(GL_TEXTURE_2D, 4, 2, 2, GL_RGBA, GL_UNSIGNED_BYTE, a.data());
    const GLuint names[2] = {5, 9};
    GL.glDeleteTextures(2, names);
    auto lines = RecglTake();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], "glLightfv(GL_LIGHT0, GL_POSITION, [1, 2, 3, 0])");
    EXPECT_EQ(lines[1], "glLightfv(GL_LIGHT0, GL_SPOT_DIRECTION, [0, -1, 0])");
    EXPECT_EQ(lines[2].rfind("glTexImage2D(GL_TEXTURE_2D, 0, 3, 4, 4, 0, GL_RGB, GL_UNSIGNED_BYTE, #", 0), 0u);
    EXPECT_EQ(lines[2], lines[3]);  // same data, same line
    std::string hashA = lines[2].substr(lines[2].find('#')), hashB = lines[4].substr(lines[4].find('#'));
    EXPECT_NE(hashA, hashB);
    EXPECT_EQ(lines[4].rfind("glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, ", 0), 0u);
    EXPECT_EQ(lines[5], "glTexImage2D(GL_TEXTURE_2D, 0, 3, 4, 4, 0, GL_RGB, GL_UNSIGNED_BYTE, 0)");
    EXPECT_EQ(lines[6].rfind("gluBuild2DMipmaps(GL_TEXTURE_2D, 4, 2, 2, GL_RGBA, GL_UNSIGNED_BYTE, #", 0), 0u);
    EXPECT_EQ(lines[7], "glDeleteTextures(2, [5, 9])");
}

TEST_F(RecglTest, QueriesAnswerPlausibly) {
    GLuint t[3] = {};
    GL.glGenTextures(2, t);
    GL.glGenTextures(1, t + 2);
    EXPECT_EQ(t[0], 1u);
    EXPECT_EQ(t[1], 2u);
    EXPECT_EQ(t[2], 3u);
    GLint vp[4] = {};
    GL.glViewport(10, 20, 300, 200);
    GL.glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(vp[2], 300);
    EXPECT_EQ(vp[3], 200);
    GLfloat m[16];
    GL.glGetFloatv(GL_MODELVIEW_MATRIX, m);
    EXPECT_EQ(m[0], 1.0f);
    EXPECT_EQ(m[1], 0.0f);
    EXPECT_EQ(m[15], 1.0f);
    EXPECT_STREQ((const char*)GL.glGetString(GL_RENDERER), "recording GL");
    auto lines = RecglTake();
    EXPECT_EQ(lines[0], "glGenTextures(2, [1, 2])");
    EXPECT_EQ(lines[3], "glGetIntegerv(GL_VIEWPORT, [10, 20, 300, 200])");
    EXPECT_EQ(lines[4], "glGetFloatv(GL_MODELVIEW_MATRIX, [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1])");
    // A reset starts the names again.
    RecglReset();
    GL.glGenTextures(1, t);
    EXPECT_EQ(t[0], 1u);
}

TEST_F(RecglTest, WithTracingOffItIsANullGl) {
    RecglTracing(false);
    GLuint t = 0;
    GL.glEnable(GL_BLEND);
    GL.glGenTextures(1, &t);
    EXPECT_EQ(t, 1u);
    EXPECT_TRUE(RecglTake().empty());
    RecglTracing(true);
    GL.glDisable(GL_BLEND);
    EXPECT_EQ(RecglTake(), std::vector<std::string>{"glDisable(GL_BLEND)"});
}

}  // namespace
