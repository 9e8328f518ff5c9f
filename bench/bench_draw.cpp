// Renderer speed: the engine's own CPU time per call against a GL whose
// functions do nothing (the recording GL with tracing off), then the frame
// rate of the same scene in the real headless context.
//
//   build/bench/bench_draw [SECONDS]   (seconds per real-context figure, 3)
//
// Figures: drawScene of 200 objects of 1000 triangles each; runParticles
// with a full pool of 5000; castShadowVolumes of a closed 100 000-face
// caster; frames per second of the 200-object scene at 1024 x 768.
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <vector>

#include "frame/frame.h"
#include "glbind/glbind.h"
#include "player/show.h"
#include "recgl/recgl.h"
#include "render/particles.h"
#include "render/scenedraw.h"
#include "render/settings.h"
#include "render/shadows.h"
#include "render/tracks.h"
#include "scene/precalc.h"
#include "support/support.h"

namespace {

double cpuNow() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}
double wallNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

template <class T>
T* block(size_t n) {
    return (T*)Base.BS_MemGet(n * sizeof(T), "bench");
}

// A closed grid on a torus (every edge shared by two faces), centred at c.
void torus(SceneObject& o, int nx, int ny, Vector c, float size) {
    o.vertexcount = nx * ny;
    o.facecount = 2 * nx * ny;
    o.vertices = block<Vector>((size_t)o.vertexcount);
    o.normals = block<Vector>((size_t)o.vertexcount);
    o.uvs = block<TexCoord>((size_t)o.vertexcount);
    o.hasnormals = o.hasuv = true;
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x) {
            double u = 2 * M_PI * x / nx, v = 2 * M_PI * y / ny;
            double r = 3 + std::cos(v);
            int i = y * nx + x;
            o.vertices[i] = Vector{(float)(c.x + size * r * std::cos(u)), (float)(c.y + size * r * std::sin(u)),
                                   (float)(c.z + size * std::sin(v))};
            o.normals[i] = Vector{(float)(std::cos(v) * std::cos(u)), (float)(std::cos(v) * std::sin(u)),
                                  (float)std::sin(v)};
            o.uvs[i] = TexCoord{(float)x / nx, (float)y / ny};
        }
    o.faces = block<Face>((size_t)o.facecount);
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x) {
            int a = y * nx + x, b = y * nx + (x + 1) % nx, cc = ((y + 1) % ny) * nx + (x + 1) % nx,
                d = ((y + 1) % ny) * nx + x;
            o.faces[2 * (y * nx + x)] = Face{a, b, cc};
            o.faces[2 * (y * nx + x) + 1] = Face{a, cc, d};
        }
    o.origfaces = block<Face>((size_t)o.facecount);
    std::copy(o.faces, o.faces + o.facecount, o.origfaces);
    o.pivot = c;
    o.visible = true;
}

void camera(Scene& s, Vector eye, Vector target) {
    s.camposkeycount = s.camtargetkeycount = 1;
    s.camposkeys = block<TrackKey>(1);
    s.camtargetkeys = block<TrackKey>(1);
    s.camposease = block<Vector>(1);
    s.camtargetease = block<Vector>(1);
    s.camposkeys[0] = TrackKey{0, eye};
    s.camtargetkeys[0] = TrackKey{0, target};
    computeEase(s);
}

// Objects of 1000 triangles (a 25 x 20 torus) in a grid, two materials,
// lit, with backface culling, two passes.
void manyObjects(Scene& s, int count) {
    s.name = S("bench");
    s.camerafov = 0.8f, s.cameranear = 1, s.camerafar = 2000, s.viewdistance = 1000, s.shadowlength = 1000;
    camera(s, Vector{0, -120, 80}, Vector{0, 0, 0});
    s.materialcount = 2;
    s.materials = block<Material>(2);
    for (int m = 0; m < 2; ++m) {
        Material& mat = s.materials[m];
        mat.ambient = Vector{0.2f, 0.2f, 0.2f}, mat.diffuse = Vector{0.8f, 0.6f, 0.4f}, mat.specular = Vector{1, 1, 1};
        mat.shine = 20, mat.receivelight = true, mat.utile = mat.vtile = 1, mat.constantalpha = 1;
        mat.blend = (uint8_t)(m ? 2 : 0), mat.depthtest = (uint8_t)(m ? 1 : 0);
    }
    s.objectcount = count;
    s.objects = block<SceneObject>((size_t)count);
    int side = (int)std::ceil(std::sqrt((double)count));
    for (int i = 0; i < count; ++i) {
        SceneObject& o = s.objects[i];
        torus(o, 25, 20, Vector{(float)(i % side - side / 2) * 10.0f, (float)(i / side - side / 2) * 10.0f, 0}, 1.0f);
        o.material = i % 2, o.passno = i % 2, o.backfacecull = true;
    }
    s.maxpassno = 1;
    s.lights[0].enabled = true;
    s.lights[0].pos = Vector{0, 0, 100};
    s.lights[0].diffuse = Vector{1, 1, 1};
}

template <class F>
double perCall(F f, int calls) {
    f();  // warm
    double t0 = cpuNow();
    for (int i = 0; i < calls; ++i) f();
    return (cpuNow() - t0) / calls;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = argc > 1 ? atof(argv[1]) : 3.0;
    if (!(seconds > 0)) seconds = 3.0;
    BindLinkedBase();
    RecglUse();
    GlBind();
    GluBind();
    RecglTracing(false);
    wireOverlayEnabled = false;

    Scene scene{};
    manyObjects(scene, 200);
    double draw = perCall([&] { drawScene(scene, 0); }, 200);
    printf("drawScene, 200 objects x 1000 triangles: %.3f ms CPU per frame (goal < 0.5)\n", draw * 1e3);

    allocParticles(scene, 5000);
    for (int i = 0; i < 4; ++i) {
        SceneObject& o = scene.objects[i];
        o.particleenabled = true, o.power = 100, o.deltapower = 0, o.newparticle = 2000, o.size = 1;
        o.colorspread = Vector{0.5f, 0.5f, 0.5f}, o.deltavectorspread = Vector{0.1f, 0.1f, 0.1f};
        o.colorattrib = 3;
    }
    runParticles(scene, 0);  // fills the pool
    for (int i = 0; i < 4; ++i) scene.objects[i].newparticle = 10;
    double particles = perCall([&] { runParticles(scene, 0); }, 500);
    printf("runParticles, full pool of 5000: %.3f ms CPU per call (goal < 1)\n", particles * 1e3);

    Scene caster{};
    caster.name = S("caster");
    camera(caster, Vector{0, -30, 20}, Vector{0, 0, 0});
    caster.camerafov = 0.8f, caster.cameranear = 1, caster.camerafar = 1000, caster.shadowlength = 1000;
    caster.materialcount = 1;
    caster.materials = block<Material>(1);
    caster.objectcount = 1;
    caster.objects = block<SceneObject>(1);
    torus(caster.objects[0], 250, 200, Vector{0, 0, 0}, 1.0f);
    caster.objects[0].castshadow = true;
    PrepareObjectGeometry(caster.objects[0]);
    FindNeighbours(caster.objects[0]);
    PrepareVolumes(caster);
    double shadow = perCall([&] { castShadowVolumes(caster, Vector{3, 2, 12}, 0); }, 100);
    printf("castShadowVolumes, closed caster of %d faces: %.3f ms CPU per call, %d quads (goal < 3)\n",
           caster.objects[0].facecount, shadow * 1e3, caster.shadowquadcount);

    // The real headless context at 1024 x 768.
    GluUnbind();
    GlUnbind();
    unsetenv("VELMAR_MODULE_OPENGL32_DLL");
    unsetenv("VELMAR_MODULE_GLU32_DLL");
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("VELMAR_MODULE_WM", (ModuleDir() + "/WM.so").c_str(), 1);
    WmBind();
    GlBind();
    GluBind();
    if (OpenWindow("bench_draw") != 0) {
        printf("real context: no window could be opened\n");
        return 1;
    }
    const GLubyte* renderer = GL.glGetString(GL_RENDERER);
    ShowSetGlState();
    GL.glViewport(0, 0, 1024, 768);
    freeParticles(scene);
    auto fps = [&]() {
        int frames = 0;
        double t0 = wallNow(), end = t0 + seconds;
        while (wallNow() < end) {
            clearFrame();
            drawScene(scene, (float)frames);
            GL.glFinish();
            ++frames;
        }
        return frames / (wallNow() - t0);
    };
    printf("real context (%s), 1024 x 768: %.1f frames per second of the 200-object scene\n",
           renderer ? (const char*)renderer : "?", fps());
    WmUnbind();
    return 0;
}
