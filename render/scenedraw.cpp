#include "scenedraw.h"

#include <climits>

#include "../frame/frame.h"
#include "../glbind/glbind.h"
#include "scenedraw_internal.h"
#include "settings.h"
#include "tracks.h"

Vector cameraEye = {0, 0, 0};
Vector cameraTarget = {0, 0, 0};
float worldScale = 1.0f;
float highlightFactor = 0.0f;

const char CameraMissingDraw[] = "VELMAR: Scene not renderable without camera animation target and position track";
const char CameraMissingOnly[] = "Velmar: Scene not renderable without camera animation target and position track";

namespace {

const double FixedAspect = 1.3333333333333333;  // whatever the window's shape
const float WireLineWidth = 2.0f;
const float SpotCutoff = 180.0f;  // no spot lights
const float CameraOnlyScale = 1e-5f;

// Lookup tables of the material's state bytes; values past the end keep the
// previous state (blend, depth test) or GL_LESS (depth function).
const GLenum BlendFactors[][2] = {
    {0, 0},  // 0: blending off
    {GL_ONE, GL_ONE},
    {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA},
    {GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA},
    {GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR},
};
const int BlendModes = sizeof BlendFactors / sizeof BlendFactors[0];

struct DepthMode {
    GLboolean write;
    bool test;
};
const DepthMode DepthModes[] = {{GL_TRUE, true}, {GL_FALSE, true}, {GL_TRUE, false}, {GL_FALSE, false}};
const int DepthModeCount = sizeof DepthModes / sizeof DepthModes[0];

const GLenum DepthFuncs[] = {GL_LESS, GL_LEQUAL, GL_EQUAL, GL_GREATER, GL_GEQUAL};
const int DepthFuncCount = sizeof DepthFuncs / sizeof DepthFuncs[0];

const GLint FogModes[] = {GL_LINEAR, GL_EXP, GL_EXP2};
const int FogModeCount = sizeof FogModes / sizeof FogModes[0];

void applyBlend(uint8_t blend) {
    if (blend >= BlendModes) return;
    if (blend == 0) {
        GL.glDisable(GL_BLEND);
        return;
    }
    GL.glEnable(GL_BLEND);
    GL.glBlendFunc(BlendFactors[blend][0], BlendFactors[blend][1]);
}

void applyDepthTest(uint8_t depthtest) {
    if (depthtest >= DepthModeCount) return;
    GL.glDepthMask(DepthModes[depthtest].write);
    if (DepthModes[depthtest].test) GL.glEnable(GL_DEPTH_TEST);
    else GL.glDisable(GL_DEPTH_TEST);
}

void applyDepthFunc(uint8_t depthfunc) {
    GL.glDepthFunc(GL_LESS);
    if (depthfunc < DepthFuncCount) GL.glDepthFunc(DepthFuncs[depthfunc]);
}

void setColourParam(GLenum light, GLenum pname, Vector c) {
    const GLfloat v[4] = {c.x, c.y, c.z, 1.0f};
    GL.glLightfv(light, pname, v);
}

void setMaterialParam(GLenum pname, Vector c) {
    const GLfloat v[4] = {c.x, c.y, c.z, 1.0f};
    GL.glMaterialfv(GL_FRONT_AND_BACK, pname, v);
}

// The eight lights at `time`, under whatever modelview is current.
void placeLights(Scene& scene, float time) {
    for (int i = 0; i < SceneLightCount; ++i) {
        const SceneLight& l = scene.lights[i];
        GLenum id = GL_LIGHT0 + i;
        if (!l.enabled) {
            GL.glDisable(id);
            continue;
        }
        GL.glEnable(id);
        setColourParam(id, GL_AMBIENT, l.ambient);
        setColourParam(id, GL_DIFFUSE, l.diffuse);
        setColourParam(id, GL_SPECULAR, l.specular);
        GL.glLightf(id, GL_SPOT_CUTOFF, SpotCutoff);
        Vector p = l.pos;
        if (l.poskeycount > 0 && l.poskeys) p = evalLinearTrack(l.poskeys, l.poskeycount, time);
        const GLfloat pos[4] = {p.x, p.y, p.z, 1.0f};
        GL.glLightfv(id, GL_POSITION, pos);
    }
}

// Steps 3 and 4 of the draw: neutral state, then the wire overlays of every
// marked object, visible or not.
void neutralStateAndOverlays(Scene& scene, float time) {
    GL.glDisable(GL_BLEND);
    GL.glDepthMask(GL_TRUE);
    GL.glDisable(GL_LIGHTING);
    GL.glColor3f(1, 1, 1);
    if (!wireOverlayEnabled || !scene.objects) return;
    for (int32_t i = 0; i < scene.objectcount; ++i)
        if (scene.objects[i].wireframe) drawWireOverlay(scene, i, time, 1.0f);
}

void finishDraw() {
    GL.glDisable(GL_ALPHA_TEST);
    GL.glDepthMask(GL_TRUE);
}

void drawSceneWith(Scene& scene, float time, int passFlags) {
    setupCamera(scene, time);
    placeLights(scene, time);
    neutralStateAndOverlays(scene, time);
    runPasses(scene, time, passFlags);
    finishDraw();
}

// Steps 12 and 15: the arrays the object has (and the pass uses).
struct ArraysOn {
    bool normals, uvs, colours;
};

ArraysOn enableArrays(const SceneObject& o, bool withUv, bool withColours) {
    ArraysOn on{};
    GL.glEnableClientState(GL_VERTEX_ARRAY);
    GL.glVertexPointer(3, GL_FLOAT, sizeof(Vector), o.vertices);
    if (o.hasnormals && o.normals) {
        GL.glEnableClientState(GL_NORMAL_ARRAY);
        GL.glNormalPointer(GL_FLOAT, sizeof(Vector), o.normals);
        on.normals = true;
    }
    if (withUv && o.hasuv && o.uvs) {
        GL.glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        GL.glTexCoordPointer(2, GL_FLOAT, sizeof(TexCoord), o.uvs);
        on.uvs = true;
    }
    if (withColours && o.hascolors && o.colors) {
        GL.glEnableClientState(GL_COLOR_ARRAY);
        GL.glColorPointer(3, GL_FLOAT, sizeof(Vector), o.colors);
        on.colours = true;
    }
    return on;
}

void disableArrays(ArraysOn on) {
    GL.glDisableClientState(GL_VERTEX_ARRAY);
    if (on.normals) GL.glDisableClientState(GL_NORMAL_ARRAY);
    if (on.uvs) GL.glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    if (on.colours) GL.glDisableClientState(GL_COLOR_ARRAY);
}

// Steps 2-4: the object's place on the modelview stack (pushed).
void pushObjectMatrix(const SceneObject& o, float time) {
    pushTrackPlacement(o, time);
    GL.glTranslatef(o.pivot.x, o.pivot.y, o.pivot.z);
    GL.glRotatef(o.rotation.x, 1, 0, 0);
    GL.glRotatef(o.rotation.y, 0, 1, 0);
    GL.glRotatef(o.rotation.z, 0, 0, 1);
    GL.glTranslatef(-o.pivot.x, -o.pivot.y, -o.pivot.z);
}

// Steps 5 and 6: whether the object is drawn from this eye.
bool withinView(const Scene& scene, const SceneObject& o) {
    float dist = vecLength(vecSub(cameraEye, o.pivot));
    if (o.cullmode == 0) return true;
    if (o.cullmode == 1) return dist <= scene.viewdistance;
    return false;
}

void applyCulling(const SceneObject& o) {
    if (o.backfacecull) {
        GL.glEnable(GL_CULL_FACE);
        GL.glCullFace(GL_BACK);
    } else {
        GL.glDisable(GL_CULL_FACE);
    }
}

void applyTexture(const Material& m, bool anisotropy) {
    if (!m.textured) {
        GL.glDisable(GL_TEXTURE_2D);
        return;
    }
    GL.glEnable(GL_TEXTURE_2D);
    GL.glBindTexture(GL_TEXTURE_2D, m.glname);
    if (anisotropy) {
        GLfloat most = 1.0f;
        GL.glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &most);
        if (glAnisotropyLimit > 0 && most > glAnisotropyLimit) most = glAnisotropyLimit;
        GL.glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, most);
    }
    GLint wrap = m.texturewrap == 1 ? GL_CLAMP_TO_EDGE : GL_REPEAT;
    GL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    GL.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
}

// Step 16 (and the older form's plainer pass, which always adds).
void environmentPass(const SceneObject& o, const Material& m, bool chooseBlend) {
    GL.glEnable(GL_TEXTURE_2D);
    GL.glBindTexture(GL_TEXTURE_2D, m.envmapglname);
    GL.glEnable(GL_TEXTURE_GEN_S);
    GL.glEnable(GL_TEXTURE_GEN_T);
    GL.glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    GL.glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    GL.glDepthFunc(GL_EQUAL);
    GL.glEnable(GL_BLEND);
    if (chooseBlend && m.envmapblend) GL.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    else GL.glBlendFunc(GL_ONE, GL_ONE);
    GL.glColor4f(m.envmapcolor.x, m.envmapcolor.y, m.envmapcolor.z, m.envmapalpha);
    ArraysOn on = enableArrays(o, false, false);
    drawObjectGeometry(o);
    disableArrays(on);
    GL.glDepthFunc(GL_LEQUAL);
    GL.glDisable(GL_TEXTURE_GEN_S);
    GL.glDisable(GL_TEXTURE_GEN_T);
    GL.glDisable(GL_BLEND);
}

}  // namespace

// ------------------------------------------------------------ shared pieces

SceneObject* sceneObjectAt(Scene& scene, int32_t index) {
    if (!scene.objects || index < 0 || index >= scene.objectcount) return nullptr;
    return &scene.objects[index];
}

const Material* objectMaterial(const Scene& scene, const SceneObject& o) {
    if (!scene.materials || o.material < 0 || o.material >= scene.materialcount) return nullptr;
    return &scene.materials[o.material];
}

Vector trackOffset(const SceneObject& o, float time) {
    if (o.poskeycount <= 0 || !o.poskeys) return Vector{0, 0, 0};
    return evalLinearTrack(o.poskeys, o.poskeycount, time);
}

void pushTrackPlacement(const SceneObject& o, float time) {
    GL.glMatrixMode(GL_MODELVIEW);
    GL.glPushMatrix();
    if (o.poskeycount > 0) {
        Vector t = trackOffset(o, time);
        GL.glTranslatef(t.x, t.y, t.z);
    }
}

bool cameraTracksPresent(const Scene& scene) {
    return scene.camposkeycount > 0 && scene.camtargetkeycount > 0 && scene.camposkeys && scene.camtargetkeys;
}

void cameraProjection(const Scene& scene, float scale, const int32_t* pick) {
    GL.glEnable(GL_DEPTH_TEST);
    GL.glMatrixMode(GL_TEXTURE);
    GL.glLoadIdentity();
    GL.glMatrixMode(GL_PROJECTION);
    GL.glLoadIdentity();
    if (pick) {
        GLint viewport[4] = {0, 0, 0, 0};
        GL.glGetIntegerv(GL_VIEWPORT, viewport);
        GLU.gluPickMatrix(pick[0], pick[1], 1.0, 1.0, viewport);
    }
    GLU.gluPerspective((double)scene.camerafov * 180.0 / 3.14159265358979323846, FixedAspect, scene.cameranear,
                       scene.camerafar);
    GL.glScalef(scale, scale, scale);
}

void cameraLookAt(Vector eye, Vector target) {
    GLU.gluLookAt(eye.x, eye.y, eye.z, target.x, target.y, target.z, 0.0, 0.0, 1.0);
}

void drawObjectGeometry(const SceneObject& o) {
    if (o.rendermode == 1) {
        if (o.striplength > 0 && (!o.strip || !o.vertices)) return;
        GL.glDrawElements(GL_TRIANGLE_STRIP, o.striplength > 0 ? o.striplength : 0, GL_UNSIGNED_SHORT, o.strip);
        return;
    }
    int64_t count = o.facecount > 0 ? (int64_t)o.facecount * 3 : 0;
    if (count > INT_MAX || (count > 0 && (!o.faces || !o.vertices))) return;
    GL.glDrawElements(GL_TRIANGLES, (GLsizei)count, GL_UNSIGNED_INT, o.faces);
}

void runPasses(Scene& scene, float time, int flags, int32_t skip) {
    if (!scene.objects) return;
    // Only the pass numbers objects use are visited, in ascending order: the
    // same order as counting 0..maxpassno, without a loop over empty passes.
    int32_t pass = 0;
    while (pass <= scene.maxpassno) {
        bool more = false;
        int32_t next = 0;
        for (int32_t i = 0; i < scene.objectcount; ++i) {
            SceneObject& o = scene.objects[i];
            if (!o.visible || i == skip) continue;
            if (o.passno > pass) {
                if (o.passno <= scene.maxpassno && (!more || o.passno < next)) next = o.passno, more = true;
                continue;
            }
            if (o.passno != pass) continue;
            const Material* m = objectMaterial(scene, o);
            if (!m) continue;
            if (m->alphatest != 0) {
                GL.glEnable(GL_ALPHA_TEST);
                GL.glAlphaFunc(GL_GREATER, m->alphatest);
            } else {
                GL.glDisable(GL_ALPHA_TEST);
            }
            applyBlend(m->blend);
            applyDepthTest(m->depthtest);
            if (flags & PassDepthFunc) applyDepthFunc(m->depthfunc);
            if (flags & PassNames) GL.glLoadName((GLuint)i + 1);
            if (flags & PassLightScaled) drawObjectLightScaled(scene, i, time);
            else drawObject(scene, i, time);
        }
        if (!more) break;
        pass = next;
    }
}

void drawSprite(Vector p, Vector r, Vector u, float s) {
    Vector rs = vecScale(r, s), us = vecScale(u, s);
    Vector c1 = vecSub(p, rs), c2 = vecSub(p, us), c3 = vecAdd(p, us), c4 = vecAdd(p, rs);
    GL.glBegin(GL_TRIANGLE_STRIP);
    GL.glTexCoord2f(0, 0);
    GL.glVertex3f(c1.x, c1.y, c1.z);
    GL.glTexCoord2f(1, 0);
    GL.glVertex3f(c2.x, c2.y, c2.z);
    GL.glTexCoord2f(0, 1);
    GL.glVertex3f(c3.x, c3.y, c3.z);
    GL.glTexCoord2f(1, 1);
    GL.glVertex3f(c4.x, c4.y, c4.z);
    GL.glEnd();
}

// ------------------------------------------------------------ camera

void setupCamera(Scene& scene, float time) {
    if (!cameraTracksPresent(scene)) FatalStop(CameraMissingDraw);
    cameraProjection(scene, worldScale);
    cameraEye = evalCurveTrack(scene.camposkeys, scene.camposease, scene.camposkeycount, time);
    cameraTarget = evalCurveTrack(scene.camtargetkeys, scene.camtargetease, scene.camtargetkeycount, time);
    GL.glMatrixMode(GL_MODELVIEW);
    GL.glLoadIdentity();
    cameraLookAt(cameraEye, cameraTarget);
}

namespace {
void cameraOnlyAt(Scene& scene, Vector eye, Vector target) {
    cameraProjection(scene, CameraOnlyScale);
    cameraLookAt(eye, target);
    GL.glMatrixMode(GL_MODELVIEW);
    GL.glLoadIdentity();
}
}  // namespace

void setupCameraOnly(Scene& scene, float time) {
    if (!cameraTracksPresent(scene)) FatalStop(CameraMissingOnly);
    Vector eye = evalCurveTrack(scene.camposkeys, scene.camposease, scene.camposkeycount, time);
    Vector target = evalCurveTrack(scene.camtargetkeys, scene.camtargetease, scene.camtargetkeycount, time);
    cameraOnlyAt(scene, eye, target);
}

void setupCameraAt(Scene& scene, Vector eye, Vector target) {
    if (!cameraTracksPresent(scene)) FatalStop(CameraMissingOnly);
    cameraOnlyAt(scene, eye, target);
}

// ------------------------------------------------------------ the draw

void clearFrame() {
    GL.glClearColor(0, 0, 0, 0);
    GL.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    GL.glClear(GL_STENCIL_BUFFER_BIT);
}

void drawScene(Scene& scene, float time) { drawSceneWith(scene, time, PassDepthFunc); }

void drawSceneNoDepthFunc(Scene& scene, float time) { drawSceneWith(scene, time, 0); }

void drawSceneEyeLights(Scene& scene, float time) {
    if (!cameraTracksPresent(scene)) FatalStop(CameraMissingDraw);
    cameraProjection(scene, worldScale);
    cameraEye = evalCurveTrack(scene.camposkeys, scene.camposease, scene.camposkeycount, time);
    cameraTarget = evalCurveTrack(scene.camtargetkeys, scene.camtargetease, scene.camtargetkeycount, time);
    placeLights(scene, time);
    GL.glMatrixMode(GL_MODELVIEW);
    GL.glLoadIdentity();
    cameraLookAt(cameraEye, cameraTarget);
    neutralStateAndOverlays(scene, time);
    runPasses(scene, time, PassDepthFunc | PassLightScaled);
    finishDraw();
}

void drawObject(Scene& scene, int32_t index, float time) {
    SceneObject* op = sceneObjectAt(scene, index);
    const Material* mp = op ? objectMaterial(scene, *op) : nullptr;
    if (!mp) return;
    const SceneObject& o = *op;
    const Material& m = *mp;

    if (o.fog) {
        GL.glEnable(GL_FOG);
        if (o.fogmode < FogModeCount) GL.glFogi(GL_FOG_MODE, FogModes[o.fogmode]);
        GL.glFogf(GL_FOG_DENSITY, o.fogparams.x);
        GL.glFogf(GL_FOG_START, o.fogparams.y);
        GL.glFogf(GL_FOG_END, o.fogparams.z);
        GL.glFogfv(GL_FOG_COLOR, o.fogcolor);
    } else {
        GL.glDisable(GL_FOG);
    }
    pushObjectMatrix(o, time);
    if (withinView(scene, o)) {
        applyCulling(o);
        if (m.receivelight) GL.glEnable(GL_LIGHTING);
        else GL.glDisable(GL_LIGHTING);
        applyTexture(m, anisotropyEnabled);
        setMaterialParam(GL_AMBIENT, m.ambient);
        setMaterialParam(GL_DIFFUSE, m.diffuse);
        setMaterialParam(GL_SPECULAR, m.specular);
        GL.glShadeModel(GL_SMOOTH);
        GL.glMateriali(GL_FRONT_AND_BACK, GL_SHININESS, m.shine);
        // The scroll stays on the texture matrix through the environment
        // pass, so it moves the reflection too.
        GL.glMatrixMode(GL_TEXTURE);
        GL.glLoadIdentity();
        GL.glScalef(m.utile, m.vtile, 1);
        GL.glTranslatef(o.texturescroll.x * time, o.texturescroll.y * time, o.texturescroll.z * time);
        ArraysOn on = enableArrays(o, m.textured, true);
        GL.glColor4f(m.ambient.x, m.ambient.y, m.ambient.z, m.constantalpha);
        drawObjectGeometry(o);
        disableArrays(on);
        if (m.envmap) environmentPass(o, m, true);
    }
    GL.glMatrixMode(GL_MODELVIEW);
    GL.glPopMatrix();
    GL.glDisable(GL_FOG);
}

void drawObjectLightScaled(Scene& scene, int32_t index, float time) {
    SceneObject* op = sceneObjectAt(scene, index);
    const Material* mp = op ? objectMaterial(scene, *op) : nullptr;
    if (!mp) return;
    const SceneObject& o = *op;
    const Material& m = *mp;

    pushObjectMatrix(o, time);
    if (withinView(scene, o)) {
        applyCulling(o);
        if (m.receivelight) GL.glEnable(GL_LIGHTING);
        else GL.glDisable(GL_LIGHTING);
        applyTexture(m, false);
        float k = o.scalematerial ? scene.materialscale : 1.0f;
        Vector diffuse = vecScale(m.diffuse, k), specular = vecScale(m.specular, k);
        setMaterialParam(GL_AMBIENT, m.ambient);
        setMaterialParam(GL_DIFFUSE, o.scalematerial ? diffuse : m.diffuse);
        setMaterialParam(GL_SPECULAR, o.scalematerial ? specular : m.specular);
        GL.glShadeModel(GL_SMOOTH);
        GL.glMateriali(GL_FRONT_AND_BACK, GL_SHININESS, m.shine);
        GL.glMatrixMode(GL_TEXTURE);
        GL.glLoadIdentity();
        GL.glScalef(m.utile, m.vtile, 1);
        ArraysOn on = enableArrays(o, m.textured, true);
        Vector base = o.scalematerial ? diffuse : m.ambient;
        GL.glColor4f(base.x, base.y, base.z, m.constantalpha);
        drawObjectGeometry(o);
        disableArrays(on);
        if (m.envmap) environmentPass(o, m, false);
    }
    GL.glMatrixMode(GL_MODELVIEW);
    GL.glPopMatrix();
}

void drawWireOverlay(Scene& scene, int32_t index, float time, float grey) {
    GL.glLineWidth(WireLineWidth);
    GL.glDepthFunc(GL_LESS);
    SceneObject* op = sceneObjectAt(scene, index);
    if (!op) return;
    const SceneObject& o = *op;
    pushTrackPlacement(o, time);
    GL.glDisable(GL_CULL_FACE);
    GL.glDisable(GL_LIGHTING);
    GL.glDisable(GL_TEXTURE_2D);
    GL.glColor4f(grey, grey, grey, 1);
    GL.glBegin(GL_LINES);
    if (o.faces && o.vertices) {
        auto inside = [&](int32_t v) { return v >= 0 && v < o.vertexcount; };
        auto vertex = [&](int32_t v) { GL.glVertex3f(o.vertices[v].x, o.vertices[v].y, o.vertices[v].z); };
        for (int32_t f = 0; f < o.facecount; ++f) {
            const Face& face = o.faces[f];
            if (!inside(face.a) || !inside(face.b) || !inside(face.c)) continue;
            vertex(face.a), vertex(face.b);
            vertex(face.b), vertex(face.c);
            vertex(face.c), vertex(face.a);
        }
    }
    GL.glEnd();
    GL.glPopMatrix();
}

void drawSceneHighlight(Scene& scene, float time, float sx, float sy, float sz, float k, int32_t index) {
    highlightFactor = k;
    setupCameraOnly(scene, time);
    GL.glMatrixMode(GL_PROJECTION);
    GL.glScalef(sx, sy, sz);
    GL.glMatrixMode(GL_MODELVIEW);
    runPasses(scene, time, PassDepthFunc, index);
    GL.glMatrixMode(GL_PROJECTION);
    GL.glScalef(1, 1, -1);
    GL.glMatrixMode(GL_MODELVIEW);
    GL.glEnable(GL_BLEND);
    GL.glBlendFunc(GL_ONE, GL_ONE);
    drawObject(scene, index, 0);
    runPasses(scene, time, PassDepthFunc, index);
}
