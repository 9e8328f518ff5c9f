// Camera set-up: its calls in order, the scene's camera read at every
// set-up, the camera-only variants and both fatal messages.
#include "draw_fixture.h"

namespace {

using Lines = std::vector<std::string>;

TEST_F(DrawTrace, CameraSetUpCallsInOrderAndKeepsTheEye) {
    SetCameraTracks(s, {{0, {0, -10, 0}}, {10, {6, -10, 0}}}, {{0, {0, 0, 0}}, {10, {0, 0, 4}}});
    s.camerafov = 0.5f;
    s.cameranear = 2, s.camerafar = 300;
    setupCamera(s, 5);
    Vector eye = evalCurveTrack(s.camposkeys, s.camposease, 2, 5);
    Vector target = evalCurveTrack(s.camtargetkeys, s.camtargetease, 2, 5);
    EXPECT_EQ(cameraEye.x, eye.x);
    EXPECT_EQ(cameraEye.y, eye.y);
    EXPECT_EQ(cameraTarget.z, target.z);
    EXPECT_EQ(cameraEye.x, 3.0f);  // halfway along a two-key curve
    char perspective[128], lookAt[256];
    snprintf(perspective, sizeof perspective, "gluPerspective(%.17g, 1.3333333333333333, 2, 300)",
             (double)0.5f * 180.0 / 3.14159265358979323846);
    snprintf(lookAt, sizeof lookAt, "gluLookAt(%.9g, -10, 0, 0, 0, %.9g, 0, 0, 1)", eye.x, target.z);
    Lines got = take();
    Lines want = {"glEnable(GL_DEPTH_TEST)", "glMatrixMode(GL_TEXTURE)", "glLoadIdentity()",
                  "glMatrixMode(GL_PROJECTION)", "glLoadIdentity()", perspective, "glScalef(1, 1, 1)",
                  "glMatrixMode(GL_MODELVIEW)", "glLoadIdentity()", lookAt};
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        if (i == 5) {  // the fov in degrees, compared as a number
            ASSERT_EQ(got[i].rfind("gluPerspective(", 0), 0u);
            EXPECT_NEAR(std::stod(got[i].substr(15)), 28.64788975654116, 1e-6);
            EXPECT_EQ(got[i].substr(got[i].find(',')), ", 1.3333333333333333, 2, 300)");
        } else {
            EXPECT_EQ(got[i], want[i]) << i;
        }
    }
}

TEST_F(DrawTrace, TheSceneAndWorldScaleAreReadAtEverySetUp) {
    setupCamera(s, 0);
    take();
    worldScale = 2.5f;
    s.camerafar = 77;  // as a show part or the configuration file changes it
    setupCamera(s, 0);
    Lines got = take();
    EXPECT_EQ(Find(got, "glScalef(2.5, 2.5, 2.5)"), 6);
    EXPECT_NE(got[5].find(", 1, 77)"), std::string::npos) << got[5];
}

TEST_F(DrawTrace, AScenesWithoutCameraTracksStopsTheDrawWithItsMessage) {
    AddTriangle(s, AddMaterial(s));
    FinishScene(s);
    for (int which = 0; which < 2; ++which) {
        if (which == 0) SetCameraTracks(s, {}, {{0, {0, 0, 0}}});
        else SetCameraTracks(s, {{0, {0, 0, 0}}}, {});
        try {
            drawScene(s, 0);
            FAIL() << "drawScene went on";
        } catch (const Failure& f) {
            EXPECT_EQ(f.kind, FailFatalStop);
            EXPECT_EQ(f.message, "VELMAR: Scene not renderable without camera animation target and position track");
        }
        EXPECT_TRUE(take().empty());  // nothing drawn before the stop
        for (auto variant : {0, 1}) {
            try {
                if (variant == 0) setupCameraOnly(s, 0);
                else setupCameraAt(s, Vector{1, 2, 3}, Vector{0, 0, 0});
                FAIL() << "camera-only set-up went on";
            } catch (const Failure& f) {
                EXPECT_EQ(f.message, "Velmar: Scene not renderable without camera animation target and position track");
            }
        }
    }
}

TEST_F(DrawTrace, CameraOnlyPutsTheLookAtOnTheProjectionAndLeavesTheEye) {
    cameraEye = Vector{7, 7, 7};
    setupCameraOnly(s, 0);
    Lines got = take();
    ASSERT_EQ(got.size(), 10u);
    EXPECT_EQ(Slice(got, 0, 5), (Lines{"glEnable(GL_DEPTH_TEST)", "glMatrixMode(GL_TEXTURE)", "glLoadIdentity()",
                                       "glMatrixMode(GL_PROJECTION)", "glLoadIdentity()"}));
    EXPECT_EQ(got[5].rfind("gluPerspective(", 0), 0u);
    EXPECT_EQ(Slice(got, 6), (Lines{"glScalef(1e-05, 1e-05, 1e-05)", "gluLookAt(0, -10, 0, 0, 0, 0, 0, 0, 1)",
                                   "glMatrixMode(GL_MODELVIEW)", "glLoadIdentity()"}));
    EXPECT_EQ(cameraEye.x, 7.0f);

    setupCameraAt(s, Vector{1, 2, 3}, Vector{4, 5, 6});
    got = take();
    EXPECT_EQ(Find(got, "gluLookAt(1, 2, 3, 4, 5, 6, 0, 0, 1)"), 7);
    EXPECT_EQ(cameraEye.x, 7.0f);
}

TEST_F(DrawTrace, ClearFrameClearsColourAndDepthThenStencil) {
    clearFrame();
    EXPECT_EQ(take(), (Lines{"glClearColor(0, 0, 0, 0)", "glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT)",
                             "glClear(GL_STENCIL_BUFFER_BIT)"}));
}

}  // namespace
