// velmar scene render - a scene drawn by the engine itself, headless, into a
// PNG picture; `velmar scene` hands its other subcommands to cmd_scene.cpp.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "../../frame/frame.h"
#include "../../glbind/glbind.h"
#include "../../player/show.h"
#include "../../render/particles.h"
#include "../../render/scenedraw.h"
#include "../../render/scenedraw_internal.h"
#include "../../render/shadows.h"
#include "../../render/tracks.h"
#include "../../scene/scenefile.h"
#include "../../textures/texman.h"
#include "json.h"
#include "toolgl.h"
#include "tool.h"

int cmdScene(int argc, char** argv);  // info, dump, eval, resave

namespace {

const char RenderHelp[] =
    "usage: velmar scene render FILE --at T --out PICTURE.png [--size WxH] [--shadow LIGHT]\n"
    "                           [--textures DIR] [--particles STEPS]\n"
    "Draws the scene with the engine at key-frame time T, headless, and writes\n"
    "the picture as a PNG (RGB, top row first). Prints\n"
    "  {\"out\":F,\"width\":W,\"height\":H,\"t\":T,\"shadow\":N,\"shadowquads\":Q,\"particles\":P}\n"
    "  --size WxH        picture size (default 1024x768; the perspective is always\n"
    "                    4:3, as in the show, so other shapes stretch)\n"
    "  --shadow LIGHT    casts stencil shadow volumes from light 0..7 (its\n"
    "                    position at T) and darkens the shadowed pixels\n"
    "  --textures DIR    texture folder (default: Textures beside the scene's folder)\n"
    "  --particles STEPS particle steps run before the picture (default 1 when\n"
    "                    the scene has emitters; 0 draws none)\n"
    "A scene without camera tracks, a missing texture or a malformed file: one\n"
    "line on stderr, exit 2.\n";

const int MaxSide = 8192;
const int MaxParticleSteps = 100000;
const int32_t PoolSize = 5000;  // as the show gives its emitting scenes
const float ShadowDarkness = 0.5f;

// Everything the command opened, closed again however it ends.
struct RenderSession {
    ToolGl gl;  // closed after the scene's blocks are given back
    Scene scene{};
    ~RenderSession() {
        freeParticles(scene);
        ReleaseScene(scene);
    }
};

void parseSize(const std::string& v, int& w, int& h) {
    char* end = nullptr;
    long a = strtol(v.c_str(), &end, 10);
    if (end == v.c_str() || (*end != 'x' && *end != 'X')) toolFail("--size wants WxH, not \"" + v + "\"");
    const char* rest = end + 1;
    long b = strtol(rest, &end, 10);
    if (end == rest || *end) toolFail("--size wants WxH, not \"" + v + "\"");
    if (a < 1 || b < 1 || a > MaxSide || b > MaxSide)
        toolFail("--size: each side from 1 to " + std::to_string(MaxSide) + ", not \"" + v + "\"");
    w = (int)a, h = (int)b;
}

void writeAll(const std::string& path, const std::string& bytes) {
    std::string tmp = path + ".tmp-" + std::to_string(getpid());
    FILE* f = fopen(tmp.c_str(), "wb");
    if (!f) toolFail("cannot write " + path + ": " + strerror(errno));
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = (fclose(f) == 0) && ok;
    if (!ok || rename(tmp.c_str(), path.c_str()) != 0) {
        int e = errno;
        unlink(tmp.c_str());
        toolFail("cannot write " + path + ": " + strerror(e));
    }
}

std::string encodePng(int w, int h, const std::vector<uint8_t>& bottomUp) {
    std::vector<uint8_t> rows(bottomUp.size());
    size_t stride = (size_t)w * 3;
    for (int y = 0; y < h; ++y) memcpy(&rows[(size_t)y * stride], &bottomUp[(size_t)(h - 1 - y) * stride], stride);
    return toolPng(w, h, 3, rows.data(), stride);
}

bool hasEmitters(const Scene& s) {
    for (int32_t i = 0; i < s.objectcount && s.objects; ++i)
        if (s.objects[i].particleenabled) return true;
    return false;
}

int32_t liveParticles(const Scene& s) {
    int32_t n = 0;
    for (int32_t i = 0; i < s.particlecount; ++i) n += !s.particles[i].free;
    return n;
}


int render(const ToolArgs& a) {
    const std::string& file = a.positional[0];
    bool hasAt = false;
    float at = 0;
    std::string out, textures;
    int w = 1024, h = 768, shadow = -1;
    long steps = -1;
    for (auto& [k, v] : a.options) {
        if (k == "--at") hasAt = true, at = (float)toolNumber(k, v);
        else if (k == "--out") out = v;
        else if (k == "--size") parseSize(v, w, h);
        else if (k == "--textures") textures = v;
        else if (k == "--shadow") {
            long n = toolInt(k, v);
            if (n < 0 || n >= SceneLightCount) toolFail("--shadow wants a light 0..7, not \"" + v + "\"");
            shadow = (int)n;
        } else if (k == "--particles") {
            steps = toolInt(k, v);
            if (steps < 0 || steps > MaxParticleSteps)
                toolFail("--particles wants 0.." + std::to_string(MaxParticleSteps) + " steps, not \"" + v + "\"");
        }
    }
    if (!hasAt) toolFail("render wants --at T (see --help)");
    if (out.empty()) toolFail("render wants --out PICTURE.png (see --help)");
    if (textures.empty()) textures = toolDefaultTextures(file);
    if (textures.size() > 250) toolFail("the texture folder's path is too long: " + textures);

    RenderSession r;
    toolLoadScene(r.scene, file);
    Scene& s = r.scene;
    if (!cameraTracksPresent(s)) toolFail(CameraMissingDraw);
    bool emitters = hasEmitters(s);
    if (steps < 0) steps = emitters ? 1 : 0;

    toolOpenGl(r.gl, w, h, true);
    SetupSceneTextures(s, S(textures));
    if (emitters && steps > 0) allocParticles(s, PoolSize);

    ShowSetGlState();
    GL.glViewport(0, 0, w, h);
    // Earlier particle steps only move the pool: their pictures are cleared.
    for (long i = 0; i + 1 < steps; ++i) {
        clearFrame();
        setupCamera(s, at);
        runParticles(s, at);
    }
    clearFrame();
    drawScene(s, at);
    if (shadow >= 0) {
        const SceneLight& l = s.lights[shadow];
        Vector lightPos = l.poskeycount > 0 && l.poskeys ? evalLinearTrack(l.poskeys, l.poskeycount, at) : l.pos;
        castShadowVolumes(s, lightPos, at);
        darkenShadows(ShadowDarkness);
    }
    if (steps > 0) runParticles(s, at);
    GL.glFinish();

    std::vector<uint8_t> pixels((size_t)w * h * 3);
    GL.glPixelStorei(GL_PACK_ALIGNMENT, 1);
    GL.glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    writeAll(out, encodePng(w, h, pixels));

    JsonOut j;
    jsonOpen(j, '{');
    jsonKey(j, "out"), jsonString(j, out);
    jsonKey(j, "width"), jsonInt(j, w);
    jsonKey(j, "height"), jsonInt(j, h);
    jsonKey(j, "t"), jsonFloat(j, at);
    jsonKey(j, "shadow");
    if (shadow >= 0) jsonInt(j, shadow);
    else jsonNull(j);
    jsonKey(j, "shadowquads"), jsonInt(j, shadow >= 0 ? s.shadowquadcount : 0);
    jsonKey(j, "particles"), jsonInt(j, liveParticles(s));
    jsonClose(j, '}');
    printf("%s\n", j.s.c_str());
    return 0;
}

}  // namespace

int cmdSceneRender(int argc, char** argv) {
    ToolArgs a = toolParse(argc, argv, {"--at", "--out", "--size", "--shadow", "--textures", "--particles"});
    if (a.help) return toolHelp(RenderHelp);
    if (a.positional.size() != 1) toolFail("render wants one scene file (see --help)");
    return render(a);
}

int cmdSceneConfigWrite(int argc, char** argv);
int cmdSceneConfigApply(int argc, char** argv);
int cmdSceneImport(int argc, char** argv);
int cmdSceneExport(int argc, char** argv);

int cmdSceneWithRender(int argc, char** argv) {
    if (argc >= 1 && !strcmp(argv[0], "render")) return cmdSceneRender(argc - 1, argv + 1);
    if (argc >= 1 && !strcmp(argv[0], "config-write")) return cmdSceneConfigWrite(argc - 1, argv + 1);
    if (argc >= 1 && !strcmp(argv[0], "config-apply")) return cmdSceneConfigApply(argc - 1, argv + 1);
    if (argc >= 1 && !strcmp(argv[0], "import")) return cmdSceneImport(argc - 1, argv + 1);
    if (argc >= 1 && !strcmp(argv[0], "export")) return cmdSceneExport(argc - 1, argv + 1);
    int code = cmdScene(argc, argv);
    for (int i = 0; i < argc; ++i)
        if (!strcmp(argv[i], "--help") || !strcmp(argv[i], "-h")) {
            printf("       velmar scene render FILE --at T --out PICTURE.png [...]  (velmar scene render --help)\n");
            printf("       velmar scene config-write SCENE OUT.cfg [--textures DIR]\n");
            printf("       velmar scene config-apply SCENE CFG OUT.vlm\n");
            printf("       velmar scene import MODEL OUT.vlm [...]  (velmar scene import --help)\n");
            printf("       velmar scene export IN.vlm OUT.gltf|OUT.glb [...]  (velmar scene export --help)\n");
            break;
        }
    return code;
}
