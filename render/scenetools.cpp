// The renderer's entry points the show does not call: flares, the black
// silhouettes under them, picking and object lookup by name.
#include <climits>
#include <cmath>

#include "../frame/frame.h"
#include "../glbind/glbind.h"
#include "scenedraw.h"
#include "scenedraw_internal.h"
#include "tracks.h"

namespace {

const float FlareProbePointSize = 5.0f;
const int SelectBufferSize = 512;

bool isFlare(const Scene& scene, const SceneObject& o) {
    const Material* m = objectMaterial(scene, o);
    return m && m->flaresize > 0;
}

Vector flarePoint(const SceneObject& o, float time) { return vecAdd(o.pivot, trackOffset(o, time)); }

// Window coordinate to the pixel column or row it lies in, kept inside int.
GLint pixelOf(float v) {
    if (!(v > (float)INT_MIN / 2)) return INT_MIN / 2;
    if (!(v < (float)INT_MAX / 2)) return INT_MAX / 2;
    return (GLint)std::trunc(v);
}

}  // namespace

void drawSilhouetteBlack(Scene& scene, int32_t index, float time) {
    SceneObject* op = sceneObjectAt(scene, index);
    if (!op) return;
    const SceneObject& o = *op;
    pushTrackPlacement(o, time);
    if (o.backfacecull) {
        GL.glEnable(GL_CULL_FACE);
        GL.glCullFace(GL_BACK);
    } else {
        GL.glDisable(GL_CULL_FACE);
    }
    GL.glDisable(GL_TEXTURE_2D);
    GL.glDisable(GL_LIGHTING);
    GL.glColor3f(0, 0, 0);
    GL.glEnableClientState(GL_VERTEX_ARRAY);
    GL.glVertexPointer(3, GL_FLOAT, sizeof(Vector), o.vertices);
    drawObjectGeometry(o);
    GL.glDisableClientState(GL_VERTEX_ARRAY);
    GL.glPopMatrix();
}

void drawFlareProbe(Scene& scene, float time) {
    setupCamera(scene, time);
    GL.glDisable(GL_BLEND);
    GL.glDisable(GL_TEXTURE_2D);
    GL.glDepthMask(GL_TRUE);
    // The probe points show their own colour, whatever the last draw lit.
    GL.glDisable(GL_LIGHTING);
    for (int32_t i = 0; i < scene.objectcount && scene.objects; ++i) {
        SceneObject& o = scene.objects[i];
        if (!isFlare(scene, o)) continue;
        o.visible = false;
        Vector p = flarePoint(o, time);
        Vector c = objectMaterial(scene, o)->ambient;
        GL.glEnable(GL_POINT_SMOOTH);
        GL.glPointSize(FlareProbePointSize);
        GL.glColor3f(c.x, c.y, c.z);
        GL.glBegin(GL_POINTS);
        GL.glVertex3f(p.x, p.y, p.z);
        GL.glEnd();
    }
    for (int32_t i = 0; i < scene.objectcount && scene.objects; ++i) {
        const SceneObject& o = scene.objects[i];
        const Material* m = objectMaterial(scene, o);
        if (o.visible && m && m->flaresize == 0) drawSilhouetteBlack(scene, i, time);
    }
    for (int32_t i = 0; i < scene.objectcount && scene.objects; ++i) {
        SceneObject& o = scene.objects[i];
        if (!isFlare(scene, o)) continue;
        Vector p = flarePoint(o, time);
        GL.glRasterPos3f(p.x, p.y, p.z);
        GLfloat raster[4] = {0, 0, 0, 0};
        GL.glGetFloatv(GL_CURRENT_RASTER_POSITION, raster);
        GLfloat block[3 * 3 * 3] = {};
        GL.glReadPixels(pixelOf(raster[0]) - 1, pixelOf(raster[1]) - 1, 3, 3, GL_RGB, GL_FLOAT, block);
        Vector most = {0, 0, 0};
        for (int k = 0; k < 9; ++k) {
            most.x = std::fmax(most.x, block[3 * k]);
            most.y = std::fmax(most.y, block[3 * k + 1]);
            most.z = std::fmax(most.z, block[3 * k + 2]);
        }
        o.flarecolor = most;
    }
    GL.glDisable(GL_ALPHA_TEST);
    GL.glDepthMask(GL_TRUE);
}

void drawFlares(Scene& scene, float time) {
    GL.glEnable(GL_TEXTURE_2D);
    GL.glDepthMask(GL_FALSE);
    Vector r, u;
    if (billboardBasis(cameraEye, cameraTarget, r, u)) {
        for (int32_t i = 0; i < scene.objectcount && scene.objects; ++i) {
            const SceneObject& o = scene.objects[i];
            if (!isFlare(scene, o)) continue;
            const Material& m = *objectMaterial(scene, o);
            GL.glBindTexture(GL_TEXTURE_2D, m.glname);
            GL.glDisable(GL_CULL_FACE);
            GL.glDisable(GL_DEPTH_TEST);
            GL.glDisable(GL_LIGHTING);
            GL.glEnable(GL_BLEND);
            GL.glBlendFunc(GL_ONE, GL_ONE);
            GL.glColor3f(o.flarecolor.x, o.flarecolor.y, o.flarecolor.z);
            drawSprite(flarePoint(o, time), r, u, m.flaresize);
        }
    }
    GL.glDepthMask(GL_TRUE);
}

int32_t pickObject(Scene& scene, float time, int32_t x, int32_t y) {
    if (!cameraTracksPresent(scene)) FatalStop(CameraMissingDraw);
    static GLuint buffer[SelectBufferSize];
    GL.glSelectBuffer(SelectBufferSize, buffer);
    GL.glRenderMode(GL_SELECT);
    GL.glInitNames();
    GL.glPushName(0);
    const int32_t point[2] = {x, y};
    cameraProjection(scene, worldScale, point);
    Vector eye = evalCurveTrack(scene.camposkeys, scene.camposease, scene.camposkeycount, time);
    Vector target = evalCurveTrack(scene.camtargetkeys, scene.camtargetease, scene.camtargetkeycount, time);
    GL.glMatrixMode(GL_MODELVIEW);
    GL.glLoadIdentity();
    cameraLookAt(eye, target);
    runPasses(scene, time, PassNames);
    GLint hits = GL.glRenderMode(GL_RENDER);
    // Records: name count, min depth, max depth, the names. An overflowing
    // buffer answers -1; the records that fit are still read.
    int32_t best = 0;
    GLuint bestDepth = 0;
    size_t at = 0;
    for (GLint h = 0; (hits < 0 || h < hits) && at + 3 <= (size_t)SelectBufferSize; ++h) {
        GLuint names = buffer[at], minDepth = buffer[at + 1];
        if (names > (GLuint)SelectBufferSize - at - 3) break;
        if (names > 0 && (best == 0 || minDepth < bestDepth)) {
            best = (int32_t)buffer[at + 3 + names - 1];
            bestDepth = minDepth;
        }
        at += 3 + names;
    }
    return best;
}

void showObjects(Scene& scene, const ShortString& name) {
    for (int32_t i = 0; i < scene.objectcount && scene.objects; ++i)
        if (scene.objects[i].name == name) scene.objects[i].visible = true;
}

void hideObjects(Scene& scene, const ShortString& name) {
    for (int32_t i = 0; i < scene.objectcount && scene.objects; ++i)
        if (scene.objects[i].name == name) scene.objects[i].visible = false;
}

int32_t findObject(const Scene& scene, const ShortString& name) {
    int32_t found = NoObject;
    for (int32_t i = 0; i < scene.objectcount && scene.objects; ++i)
        if (scene.objects[i].name == name) found = i;
    return found;
}
