// velmar scene info|dump|eval|resave, run as a user runs them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "scene_helpers.h"

namespace {

std::string Velmar() { return ShowDir() + "/velmar"; }

struct VelmarScene : ::testing::Test {
    std::string dir = MakeTempDir("vscene");
    ~VelmarScene() override { RemoveTree(dir); }
    std::string put(const std::string& name, const std::string& bytes) { return WriteFile(dir + "/" + name, bytes), dir + "/" + name; }
    std::string run(std::vector<std::string> args) {
        args.insert(args.begin(), {Velmar(), "scene"});
        RunResult r = RunProgram(args);
        EXPECT_TRUE(r.code == 0 && r.err.empty()) << r.err;
        return r.out;
    }
};

// A small scene written from the layout alone: one material, an object on a track with a triangle and every kind of
// array the dump shows, both camera tracks, a fixed and a moving light.
std::string SmallScene() {
    ChunkWriter w;
    TrackKey cam[3] = {{0, {0, 0, 0}}, {10, {6, 0, 0}}, {20, {12, 0, 0}}}, tgt[2] = {{0, {0, 0, 1}}, {20, {0, 0, 3}}},
             track[2] = {{0, {0, 0, 0}}, {100, {10, 0, 0}}};
    Vector v[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0.5f}};
    Face f{0, 1, 2};
    TexCoord uv[3] = {{0, 0}, {1, 0}, {0.25f, 1}};
    uint16_t strip[3] = {2, 1, 0};
    RotationKey rot{4, {0.5f, 0, 0, 1}};
    float matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 2.5f, -1, 0.125f, 1}, fog[4] = {0.25f, 0.5f, 0.75f, 1};
    w.u8(1, 0, 1), w.u8(2, 0, 2), w.str(3, 0, "tiny"), w.i32(5, 0, 1), w.i32(6, 0, 1), w.f32(7, 0, 0.75f), w.str(12, 0, "paint");
    w.f32(16, 0, 0.5f), w.u8(27, 0, 2), w.flag(94, 0, 1), w.i32(22, 0, -7), w.i32(10, 0, 3), w.i32(11, 0, 2);
    w.chunk(10, 70, 0, 3, cam, 16, true), w.chunk(10, 71, 0, 2, tgt, 16, true), w.str(33, 0, "thing"), w.i32(34, 0, 3);
    w.i32(35, 0, 1), w.i32(37, 0, 2), w.i32(38, 0, 1), w.i32(40, 0, 3), w.i32(41, 0, 4), w.flag(42, 0, 1), w.u8(47, 0, 1);
    w.chunk(12, 48, 0, 1, matrix, 64), w.chunk(7, 98, 0, 1, fog, 16), w.chunk(6, 51, 0, 3, v, 12, true), w.chunk(9, 52, 0, 1, &f, 12);
    w.chunk(9, 99, 0, 1, &f, 12), w.chunk(5, 54, 0, 3, uv, 8), w.chunk(2, 50, 0, 3, strip, 2), w.chunk(11, 57, 0, 1, &rot, 20);
    w.chunk(10, 56, 0, 2, track, 16, true), w.str(72, 0, "fixed"), w.vec(75, 0, {1, 2, 3}), w.flag(74, 0, 1);
    w.str(72, 1, "moving"), w.i32(73, 1, 2), w.chunk(10, 79, 1, 2, track, 16, true);
    return w.bytes;
}

// The lights after the named ones: unnamed, off, at the origin.
std::string Unnamed(const std::string& light, int n = 6) { return n ? "," + light + Unnamed(light, n - 1) : ""; }

TEST_F(VelmarScene, DumpInfoAndEvalShowTheLoadedScene) {
    std::string want =
        R"({"chunkcount":0,"versionmajor":1,"versionminor":2,"name":"tiny","sceneparam":0,"materialcount":1,"objectcount":1,"maxpassno":4,)"
        R"("camerafov":0.75,"cameranear":0,"camerafar":0,"camposkeycount":3,"camtargetkeycount":2,"shadowquadcount":0,)"
        R"("materials":[{"name":"paint","texturename":"","transparency":0,"glname":0,"utile":0.5,"vtile":0,"depth":24,"textured":false,)"
        R"("ambient":[0,0,0],"diffuse":[0,0,0],"specular":[0,0,0],"shine":-7,"envmaptexture":"","envmap":false,"envmapglname":0,"magtype":0,)"
        R"("receivelight":false,"alphatest":0,"depthtest":0,"blend":2,"texturewrap":0,"constantalpha":0,"flaresize":0,"depthfunc":0,)"
        R"("envmapcolor":[0,0,0],"envmapalpha":0,"envmapblend":true}],"objects":[{"rendermode":1,"hasnormals":false,"hasuv":true,)"
        R"("hascolors":false,"visible":false,"name":"thing","vertexcount":3,"facecount":1,"material":0,"poskeycount":2,"rotkeycount":1,)"
        R"("scalekeycount":0,"striplength":3,"backfacecull":false,"passno":4,"cullmode":0,"matrix":[1,0,0,0,0,1,0,0,0,0,1,0,2.5,-1,0.125,1],)"
        R"("pivot":[0,0,0],"flarecolor":[0,0,0],"particleenabled":false,"deltavector":[0,0,0],"deltavectorspread":[0,0,0],"color":[0,0,0],)"
        R"("colorspread":[0,0,0],"colorattrib":0,"power":0,"deltapower":0,"newparticle":0,"particletexture":"","particleglname":0,"size":0,)"
        R"("wireframe":0,"spareflag":0,"rotation":[0,0,0],"texturescroll":[0,0,0],"strip":[2,1,0],"faces":[[0,1,2]],"origfaces":[[0,1,2]],)"
        R"("vertices":[[0,0,0],[1,0,0],[0,1,0.5]],"colors":null,"uvs":[[0,0],[1,0],[0.25,1]],"normals":null,"facenormals":[[0,0.4472136,)"
        R"(-0.8944272]],"poskeys":[[0,0,0,0],[100,10,0,0]],"rotkeys":[[4,0.5,0,0,1]],"scalekeys":null,"neighbours":[[-1,-1,-1]],"lightvisible":1,)"
        R"("contour":1,"facecenters":[[0.33333334,0.33333334,0.16666667]],"castshadow":false,"scalematerial":false,"fog":false,"fogmode":0,)"
        R"("fogparams":[0,0,0],"fogcolor":[0.25,0.5,0.75,1]}],"camposkeys":[[0,0,0,0],[10,6,0,0],[20,12,0,0]],"camtargetkeys":[[0,0,0,1],[20,0,0,)"
        R"(3]],"camposease":[[1,0,0],[2,0,0],[1,0,0]],"camtargetease":[[0,0,0.33333334],[0,0,0.33333334]],"volumearray":12,"volumeindex":[[0,1,2],)"
        R"([2,3,0],[4,5,6],[6,7,4],[8,9,10],[10,11,8]],"particles":null,"lights":[{"name":"fixed","pos":[1,2,3],"poskeycount":0,"ambient":[0,0,0],)"
        R"("diffuse":[0,0,0],"specular":[0,0,0],"enabled":true,"poskeys":null},{"name":"moving","pos":[0,0,0],"poskeycount":2,"ambient":[0,0,0],)"
        R"("diffuse":[0,0,0],"specular":[0,0,0],"enabled":false,"poskeys":[[0,0,0,0],[100,10,0,0]]})" +
        Unnamed(R"({"name":"","pos":[0,0,0],"poskeycount":0,"ambient":[0,0,0],"diffuse":[0,0,0],"specular":[0,0,0])"
                R"(,"enabled":false,"poskeys":null})") +
        R"(],"particlecount":0,"viewdistance":0,"shadowlength":1000,"materialscale":0})" "\n";
    EXPECT_EQ(run({"dump", put("tiny.vlm", SmallScene())}), want);
    // Bytes between chunks are skipped in steps of 4 from where a chunk ends (after the first at an odd offset);
    // 'F' without '!' and "F!" off the step start none.
    std::string tiny = SmallScene(), file = put("junk.vlm", "abcd" + tiny.substr(0, 21) + "F?..wxyz" + tiny.substr(21, 21) +
                                                                std::string(12, '\0') + "!F!F" + tiny.substr(42));
    EXPECT_EQ(run({"info", file}),
              R"({"file":")" + file + R"(","version":"1.2","name":"tiny","materials":1,"objects":1,"faces":1,"vertices":3,)"
              R"("keys":{"camera position":3,"camera target":2,"object position":2,"object rotation":1,"object scale":0,)"
              R"("light position":2},"chunks":39,"kinds":[[1,1],[2,1],[3,1],[5,1],[6,1],[7,1],[10,1],[11,1],[12,1],[16,1],[22,1],)"
              R"([27,1],[33,1],[34,1],[35,1],[37,1],[38,1],[40,1],[41,1],[42,1],[47,1],[48,1],[50,1],[51,1],[52,1],[54,1],[56,1],)"
              R"([57,1],[70,1],[71,1],[72,2],[73,1],[74,1],[75,1],[79,1],[94,1],[98,1],[99,1]],"skipped":28})" "\n");
    std::string off = Unnamed(R"({"name":"","pos":[0,0,0]})");
    // Camera eye at 5: 2.625 on its curve; target with ease (0, 0, 1/3) at both keys, u = 1/4: (27 + 36 + 24 + 3) / 64.
    EXPECT_EQ(run({"eval", file, "--at", "5"}),
              R"({"t":5,"camera":{"eye":[2.625,0,0],"target":[0,0,1.40625]},"objects":[{"name":"thing","pos":[0.5,0,0]}],)"
              R"("lights":[{"name":"fixed","pos":[1,2,3]},{"name":"moving","pos":[0.5,0,0]})" + off + "]}\n");
    ChunkWriter w;  // no camera, an object without keys
    w.i32(5, 0, 1), w.i32(6, 0, 1);
    EXPECT_EQ(run({"eval", put("nocam.vlm", w.bytes), "--at", "1"}),
              R"({"t":1,"camera":null,"objects":[{"name":"","pos":[0,0,0]}],"lights":[{"name":"","pos":[0,0,0]})" + off +
                  R"(,{"name":"","pos":[0,0,0]}]})" "\n");
}

// Resave writes what the saver makes of the loaded file (for the rich scene: the same bytes); info sums over objects and
// lights. A file that cannot be loaded leaves nothing, and every command says why in one line.
TEST_F(VelmarScene, ResaveAndBadFilesWithOneLineAndExitCode2) {
    Scene s;
    MakeRichScene(s);
    std::string rich = put("rich.vlm", SaveSceneData(s));
    ReleaseScene(s);
    EXPECT_EQ(run({"resave", rich, dir + "/new.vlm"}), "");
    EXPECT_TRUE(ReadFileText(dir + "/new.vlm") == ReadFileText(rich));
    EXPECT_NE(run({"info", rich}).find(R"("faces":9,"vertices":11,"keys":{"camera position":3,"camera target":2,"object position":3,)"
                                       R"("object rotation":3,"object scale":1,"light position":3})"),
              std::string::npos);
    ChunkWriter corrupt, noMaterial;
    corrupt.raw(3, 4, 2, 4, 0, 0, "abcd"), noMaterial.i32(5, 0, 0), noMaterial.i32(6, 0, 1);
    for (auto [file, message] : std::vector<std::pair<std::string, std::string>>{
             {put("empty.vlm", ""), "read past end of " + dir + "/empty.vlm"},  // guards an empty scene file
             {put("size.vlm", corrupt.bytes), dir + "/size.vlm: Chunk size corruption !"},
             {put("m.vlm", noMaterial.bytes), "Scene corruption ! (" + dir + "/m.vlm) object 0 \"\": material 0 does not exist"},
             {dir + "/missing.vlm", "cannot read " + dir + "/missing.vlm: no such file"}})
        for (std::string sub : {"info", "dump", "resave"}) {
            std::vector<std::string> args = {Velmar(), "scene", sub, file, dir + "/out.vlm"};
            RunResult r = RunProgram({args.begin(), args.end() - (sub == "resave" ? 0 : 1)});
            EXPECT_TRUE(r.code == 2 && r.out.empty() && r.err.rfind("velmar scene: " + message, 0) == 0) << sub << ": " << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
            EXPECT_NE(access((dir + "/out.vlm").c_str(), F_OK), 0) << "written";
        }
    RunResult r = RunProgram({Velmar(), "scene", "eval", dir + "/empty.vlm"});
    EXPECT_TRUE(r.code == 2 && r.err.find("--at") != std::string::npos) << r.err;
    EXPECT_EQ(RunProgram({Velmar(), "scene", "spin", dir + "/empty.vlm"}).code, 2);
    r = RunProgram({Velmar(), "scene", "--help"});
    EXPECT_TRUE(r.code == 0 && r.out.find("velmar scene dump FILE") != std::string::npos);
}

}  // namespace
