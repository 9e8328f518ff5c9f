#include "shadows.h"

#include <climits>
#include <cstring>

#include "../glbind/glbind.h"
#include "scenedraw_internal.h"

float shadowExtrusion = 1000.0f;

namespace {

inline float dot(Vector a, Vector b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// The per-face buffers the pass reads and writes, all present.
bool hasShadowBuffers(const SceneObject& o) {
    return o.facecount > 0 && o.faces && o.vertices && o.facecenters && o.facenormals && o.neighbours &&
           o.lightvisible && o.contour;
}

// The two triangles of each quad, twice: front faces count up, back faces
// down.
void drawVolumes(const Scene& scene) {
    int64_t count = (int64_t)scene.shadowquadcount * 6;
    if (!scene.volumeindex || count <= 0 || count > INT_MAX) count = 0;
    GL.glStencilOp(GL_KEEP, GL_KEEP, GL_INCR);
    GL.glCullFace(GL_BACK);
    GL.glDrawElements(GL_TRIANGLES, (GLsizei)count, GL_UNSIGNED_INT, scene.volumeindex);
    GL.glStencilOp(GL_KEEP, GL_KEEP, GL_DECR);
    GL.glCullFace(GL_FRONT);
    GL.glDrawElements(GL_TRIANGLES, (GLsizei)count, GL_UNSIGNED_INT, scene.volumeindex);
}

}  // namespace

void markLightFacing(SceneObject& object, Vector lightPos, Vector offset) {
    if (!hasShadowBuffers(object)) return;
    for (int32_t f = 0; f < object.facecount; ++f) {
        Vector p = vecAdd(object.facecenters[f], offset);
        object.lightvisible[f] = dot(vecSub(p, lightPos), object.facenormals[f]) > 0 ? 1 : 0;
    }
}

void findSilhouette(SceneObject& object) {
    if (!hasShadowBuffers(object)) return;
    std::memset(object.contour, 0, (size_t)object.facecount * sizeof(ContourFlags));
    for (int32_t f = 0; f < object.facecount; ++f) {
        if (!object.lightvisible[f]) continue;
        for (int e = 0; e < 3; ++e) {
            int32_t n = object.neighbours[f].edge[e];
            // Any index outside the faces is a border edge, like -1.
            bool border = n < 0 || n >= object.facecount;
            if (border || !object.lightvisible[n]) object.contour[f].edge[e] = 1;
        }
    }
}

void buildVolumeQuads(Scene& scene, SceneObject& object, Vector lightPos, Vector offset) {
    if (!hasShadowBuffers(object) || !scene.volumearray) return;
    int64_t room = 3 * SceneFaceTotal(scene);  // quads the buffer holds
    float k = shadowExtrusion;
    for (int32_t f = 0; f < object.facecount; ++f) {
        const ContourFlags& c = object.contour[f];
        if (!(c.edge[0] | c.edge[1] | c.edge[2])) continue;
        for (int e = 0; e < 3; ++e) {
            if (!c.edge[e]) continue;
            int32_t ia = FaceCorner(object.faces[f], e), ib = FaceCorner(object.faces[f], e + 1);
            if (ia < 0 || ia >= object.vertexcount || ib < 0 || ib >= object.vertexcount) continue;
            int64_t q = scene.shadowquadcount;
            if (q < 0 || q >= room) return;
            Vector a = vecAdd(object.vertices[ia], offset);
            Vector b = vecAdd(object.vertices[ib], offset);
            Vector* corner = scene.volumearray + 4 * q;
            corner[0] = a;
            corner[1] = vecAdd(a, vecScale(vecSub(a, lightPos), k));
            corner[2] = vecAdd(b, vecScale(vecSub(b, lightPos), k));
            corner[3] = b;
            scene.shadowquadcount = (int32_t)(q + 1);
        }
    }
}

void castShadowVolumes(Scene& scene, Vector lightPos, float time) {
    shadowExtrusion = scene.shadowlength;
    GL.glEnable(GL_CULL_FACE);
    GL.glEnable(GL_DEPTH_TEST);
    GL.glEnable(GL_STENCIL_TEST);
    GL.glDepthMask(GL_FALSE);
    GL.glDepthFunc(GL_LEQUAL);
    GL.glDisable(GL_LIGHTING);
    GL.glDisable(GL_TEXTURE_2D);
    GL.glDisable(GL_BLEND);
    GL.glStencilFunc(GL_ALWAYS, 0, 0xFFFFFFFFu);
    GL.glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    scene.shadowquadcount = 0;
    for (int32_t i = 0; i < scene.objectcount && scene.objects; ++i) {
        SceneObject& o = scene.objects[i];
        if (!o.visible || !o.castshadow) continue;
        scene.shadowquadcount = 0;
        // The pivot rotation is not applied: shadows follow the unrotated
        // mesh moved by its track.
        Vector offset = trackOffset(o, time);
        markLightFacing(o, lightPos, offset);
        findSilhouette(o);
        buildVolumeQuads(scene, o, lightPos, offset);
        GL.glEnableClientState(GL_VERTEX_ARRAY);
        GL.glVertexPointer(3, GL_FLOAT, sizeof(Vector), scene.volumearray);
        drawVolumes(scene);
        GL.glDisableClientState(GL_VERTEX_ARRAY);
    }
    GL.glCullFace(GL_BACK);
    GL.glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    GL.glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    GL.glDepthMask(GL_TRUE);
    GL.glEnable(GL_TEXTURE_2D);
}

void darkenShadows(float strength) {
    if (!(strength > 0)) strength = 0;
    if (strength > 1) strength = 1;
    GL.glMatrixMode(GL_PROJECTION);
    GL.glPushMatrix();
    GL.glLoadIdentity();
    GL.glMatrixMode(GL_MODELVIEW);
    GL.glPushMatrix();
    GL.glLoadIdentity();
    GL.glDisable(GL_DEPTH_TEST);
    GL.glDisable(GL_LIGHTING);
    GL.glDisable(GL_TEXTURE_2D);
    GL.glDisable(GL_CULL_FACE);
    GL.glDisable(GL_FOG);
    GL.glDisable(GL_ALPHA_TEST);
    GL.glEnable(GL_STENCIL_TEST);
    GL.glStencilFunc(GL_NOTEQUAL, 0, 0xFFFFFFFFu);
    GL.glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    GL.glEnable(GL_BLEND);
    GL.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    GL.glColor4f(0, 0, 0, strength);
    // Identity matrices: the square -1..1 covers the whole viewport.
    GL.glBegin(GL_TRIANGLE_STRIP);
    GL.glVertex2f(-1, -1);
    GL.glVertex2f(1, -1);
    GL.glVertex2f(-1, 1);
    GL.glVertex2f(1, 1);
    GL.glEnd();
    GL.glDisable(GL_BLEND);
    GL.glDisable(GL_STENCIL_TEST);
    GL.glEnable(GL_DEPTH_TEST);
    GL.glMatrixMode(GL_PROJECTION);
    GL.glPopMatrix();
    GL.glMatrixMode(GL_MODELVIEW);
    GL.glPopMatrix();
}
