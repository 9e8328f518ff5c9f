// velmar scene import MODEL OUT.vlm - a model or scene in any format the
// asset library reads, as a scene file (see sceneasset.h).
//
// The library reads, triangulates, works out missing normals and joins
// identical vertices; this unit flattens its node tree into objects at fixed
// orientation, turns node motion into position tracks, and takes materials,
// textures, lights and one camera.
#include <assimp/DefaultLogger.hpp>
#include <assimp/GltfMaterial.h>
#include <assimp/Importer.hpp>
#include <assimp/LogStream.hpp>
#include <assimp/MemoryIOWrapper.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "../../frame/frame.h"
#include "../../modules/tl/tl_api.h"
#include "../../scene/scenefile.h"
#include "../../sceneconfig/sceneconfig.h"
#include "assetbytes.h"
#include "json.h"
#include "sceneasset.h"
#include "tool.h"
#include "toolgl.h"
#include "tools/scenebuild/scenebuild.h"

namespace {

const char ImportHelp[] =
    "usage: velmar scene import MODEL OUT.vlm [--textures DIR] [--camera NAME] [--up y|z] [--fps N]\n"
    "Reads a model or scene in any format the Open Asset Import Library reads (glTF 2.0,\n"
    "FBX, OBJ, 3DS, Collada and many more) and writes it as a scene file. Prints\n"
    "  {\"out\":F,\"objects\":N,\"materials\":N,\"lights\":N,\"faces\":N,\"vertices\":N,\n"
    "   \"textures\":[...],\"camera\":S|null,\"animated\":N,\"dropped\":{...}}\n"
    "  --textures DIR  where the textures go (default: Textures beside OUT's folder)\n"
    "  --camera NAME   the camera to take (default: the file's first; none: one that\n"
    "                  frames the scene from the front and above)\n"
    "  --up y|z        the file's up axis (default: z for FBX files that say so, else y)\n"
    "  --fps N         key frames per second of the file's animation time (default 25)\n"
    "What is left out is counted in \"dropped\" and said on standard error. A file the\n"
    "library cannot read: its message on one line, exit 2, nothing written.\n";

// The library's messages that mean it went on past broken data (dropping the
// faces it could not read): such a file is refused as malformed.
const char* const BrokenFileMessages[] = {"Ignoring empty face", "out-of-range indices"};

const float Pi = 3.14159265358979f;
const float DefaultFov = 60 * Pi / 180;
const size_t TextureNameLimit = 64;

// Every file the library opens (the model and what lies beside it: material
// libraries, buffers, pictures) is read whole by the program's one rule, so
// a pipe or a folder named there cannot stall the import.
struct RuleIO : Assimp::IOSystem {
    bool Exists(const char* path) const override {
        struct stat st;
        return stat(path, &st) == 0 && S_ISREG(st.st_mode);
    }
    char getOsSeparator() const override { return '/'; }
    Assimp::IOStream* Open(const char* path, const char* mode) override {
        std::string data;
        int code = 0;
        if (!mode || mode[0] != 'r' || !TryReadFile(path, data, &code)) return nullptr;
        uint8_t* copy = new uint8_t[data.size() + 1];
        memcpy(copy, data.data(), data.size());
        return new Assimp::MemoryIOStream(copy, data.size(), true);
    }
    void Close(Assimp::IOStream* s) override { delete s; }
};

// The library's warnings and errors, without its "Warn, T0: " prefix.
struct LibraryMessages : Assimp::LogStream {
    std::vector<std::string> lines;
    void write(const char* m) override {
        std::string s = m;
        size_t colon = s.find(": ");
        if (colon != std::string::npos) s.erase(0, colon + 2);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
        lines.push_back(s);
    }
};

struct Dropped {
    int64_t points = 0, lines = 0;
    int32_t materials = 0, lights = 0, cameras = 0, textures = 0, animations = 0;
};

// One import: the library's scene, what the options say and what was made.
struct Import {
    const aiScene* ai = nullptr;
    std::string model, modelBytes, folder, textureDir;
    bool zUp = false;
    double fps = AssetDefaultFps, tps = AssetDefaultFps;  // frames a second; the animation's ticks a second
    std::map<std::string, const aiNodeAnim*> channels;     // of the first animation, by node name
    std::map<unsigned, int32_t> materialOf;                // the library's material -> the scene's
    std::vector<int> passes;                               // the pass each material proposes
    Scene s{};
    Dropped dropped;
    int32_t animated = 0;
    std::vector<std::string> notes;
    // Textures to write (name, bytes) and the names given to each source.
    std::vector<std::pair<std::string, std::string>> pictures;
    std::map<std::string, std::pair<std::string, int>> pictureOf;  // source -> name, depth
    std::set<std::string> pictureNames;
    Vector low{0, 0, 0}, high{0, 0, 0};  // of every vertex
    bool bounded = false;
    ~Import() { ReleaseScene(s); }
};

Vector engine(const Import& im, const aiVector3D& v) {
    Vector p{v.x, v.y, v.z};
    return im.zUp ? p : assetFromYUp(p);
}

// ------------------------------------------------------------ node motion

// A channel's value at `t` ticks: its keys held at the ends, mixed between.
template <class Key, class Value, class Mix>
Value keyAt(const Key* k, unsigned n, double t, Mix mix) {
    const Key* later = std::upper_bound(k, k + n, t, [](double x, const Key& key) { return x < key.mTime; });
    if (later == k) return k[0].mValue;
    if (later == k + n) return k[n - 1].mValue;
    double span = later->mTime - later[-1].mTime;
    return mix(later[-1].mValue, later->mValue, span > 0 ? (float)((t - later[-1].mTime) / span) : 0.0f);
}

aiVector3D vectorAt(const aiVectorKey* k, unsigned n, double t) {
    return keyAt<aiVectorKey, aiVector3D>(k, n, t, [](const aiVector3D& a, const aiVector3D& b, float f) { return a + (b - a) * f; });
}

aiQuaternion turnAt(const aiQuatKey* k, unsigned n, double t) {
    return keyAt<aiQuatKey, aiQuaternion>(k, n, t, [](const aiQuaternion& a, const aiQuaternion& b, float f) {
        aiQuaternion q;
        aiQuaternion::Interpolate(q, a, b, f);
        return q;
    });
}

const aiNodeAnim* channelOf(const Import& im, const aiNode* n) {
    auto it = im.channels.find(n->mName.C_Str());
    return it == im.channels.end() ? nullptr : it->second;
}

// The node's own transform at `t` ticks: its channel where it has keys, its
// fixed transform for the rest.
aiMatrix4x4 localAt(const Import& im, const aiNode* n, double t) {
    const aiNodeAnim* ch = channelOf(im, n);
    if (!ch) return n->mTransformation;
    aiVector3D scale, pos;
    aiQuaternion turn;
    n->mTransformation.Decompose(scale, turn, pos);
    if (ch->mNumPositionKeys) pos = vectorAt(ch->mPositionKeys, ch->mNumPositionKeys, t);
    if (ch->mNumRotationKeys) turn = turnAt(ch->mRotationKeys, ch->mNumRotationKeys, t);
    if (ch->mNumScalingKeys) scale = vectorAt(ch->mScalingKeys, ch->mNumScalingKeys, t);
    return aiMatrix4x4(scale, turn, pos);
}

aiMatrix4x4 worldAt(const Import& im, const aiNode* n, double t) {
    aiMatrix4x4 m;
    for (; n; n = n->mParent) m = localAt(im, n, t) * m;
    return m;
}

aiMatrix4x4 worldAtRest(const aiNode* n) {
    aiMatrix4x4 m;
    for (; n; n = n->mParent) m = n->mTransformation * m;
    return m;
}

int32_t frameOf(const Import& im, double ticks) {
    double f = std::round(ticks / im.tps * im.fps);
    return std::isnan(f) ? 0 : (int32_t)std::clamp(f, -2147483647.0, 2147483647.0);
}

// The key frames at which a node's origin (and, with `withTurn`, its
// direction) changes: its own keys and every key of its ancestors. Each
// frame keeps the ticks of its first key, so a key is met exactly.
std::vector<std::pair<int32_t, double>> motionFrames(const Import& im, const aiNode* node, bool withTurn) {
    std::vector<double> t;
    for (const aiNode* n = node; n; n = n->mParent) {
        const aiNodeAnim* ch = channelOf(im, n);
        if (!ch) continue;
        bool all = n != node || withTurn;
        for (unsigned i = 0; i < ch->mNumPositionKeys; ++i) t.push_back(ch->mPositionKeys[i].mTime);
        for (unsigned i = 0; all && i < ch->mNumRotationKeys; ++i) t.push_back(ch->mRotationKeys[i].mTime);
        for (unsigned i = 0; all && i < ch->mNumScalingKeys; ++i) t.push_back(ch->mScalingKeys[i].mTime);
    }
    std::sort(t.begin(), t.end());
    std::vector<std::pair<int32_t, double>> frames;
    for (double x : t)
        if (std::isfinite(x) && (frames.empty() || frameOf(im, x) != frames.back().first)) frames.push_back({frameOf(im, x), x});
    return frames;
}

Vector originAt(const Import& im, const aiNode* n, double t) { return engine(im, worldAt(im, n, t) * aiVector3D(0, 0, 0)); }

// The node's origin over time (less `rest` when `offsets`); empty when it
// never leaves `rest`, its place at rest.
std::vector<TrackKey> originTrack(const Import& im, const aiNode* node, Vector rest, bool offsets) {
    std::vector<TrackKey> keys;
    bool moves = false;
    float still = 1e-6f * (1 + vecLength(rest));
    for (auto [frame, t] : motionFrames(im, node, false)) {
        Vector p = originAt(im, node, t), off = vecSub(p, rest);
        moves = moves || vecLength(off) > still;
        keys.push_back({frame, offsets ? off : p});
    }
    if (!moves) keys.clear();
    return keys;
}

// ------------------------------------------------------------ textures

std::string safeName(const std::string& name) {
    std::string out;
    for (unsigned char c : name) out += isalnum(c) || c == '.' || c == '-' || c == '_' ? (char)c : '_';
    return out;
}

// A name in the texture folder: the picture's own, or one made unique when a
// different file already has it.
std::string pictureName(Import& im, const std::string& stem, const AssetPicture& pic) {
    std::string base = safeName(stem).substr(0, TextureNameLimit);
    for (int n = 1;; ++n) {
        std::string name = base + (n > 1 ? "." + std::to_string(n) : "") + pic.ext;
        if (im.pictureNames.count(name)) continue;
        std::string there;
        int code = 0;
        if (TryReadFile((im.textureDir + "/" + name).c_str(), there, &code) && there != pic.bytes) continue;
        im.pictureNames.insert(name);
        return name;
    }
}

// The material's base colour or diffuse picture, written into the texture
// folder; its name and depth, or an empty name (with a note) when there is
// none the engine can load.
std::pair<std::string, int> texture(Import& im, const aiMaterial* mat) {
    aiString path;
    if (mat->GetTexture(aiTextureType_BASE_COLOR, 0, &path) != AI_SUCCESS &&
        mat->GetTexture(aiTextureType_DIFFUSE, 0, &path) != AI_SUCCESS)
        return {"", 24};
    std::string source = path.C_Str();
    if (im.pictureOf.count(source)) return im.pictureOf[source];
    AssetPicture pic;
    std::string why, stem = assetStem(source);
    bool ok = false;
    if (const aiTexture* t = im.ai->GetEmbeddedTexture(source.c_str())) {
        // Packed in the file: a picture file's bytes, or raw BGRA texels.
        if (stem.empty() || stem[0] == '*') stem = assetStem(im.model) + "_" + source.substr(source[0] == '*');
        if (t->mFilename.length) stem = assetStem(t->mFilename.C_Str());
        if (stem.empty()) stem = assetStem(im.model);
        if (t->mHeight == 0) {
            ok = assetPicture(std::string((const char*)t->pcData, t->mWidth), false, pic, why);
        } else if ((uint64_t)t->mWidth * t->mHeight <= (uint64_t)TX_MAX_PIXELS) {
            std::vector<uint8_t> rgba((size_t)t->mWidth * t->mHeight * 4);
            for (size_t i = 0; i < (size_t)t->mWidth * t->mHeight; ++i) {
                const aiTexel& x = t->pcData[i];
                rgba[i * 4] = x.r, rgba[i * 4 + 1] = x.g, rgba[i * 4 + 2] = x.b, rgba[i * 4 + 3] = x.a;
            }
            pic = assetPictureRgba(rgba.data(), (int)t->mWidth, (int)t->mHeight), ok = true;
        }
    } else {
        // A file beside the model; a path from another machine by its name.
        std::string rel = source, data;
        std::replace(rel.begin(), rel.end(), '\\', '/');
        int code = 0;
        bool read = !rel.empty() && (TryReadFile((rel[0] == '/' ? rel : im.folder + "/" + rel).c_str(), data, &code) ||
                                     TryReadFile((im.folder + "/" + assetBaseName(rel)).c_str(), data, &code));
        ok = read && assetPicture(data, false, pic, why);
        if (!read) why = "no such file beside the model";
    }
    std::pair<std::string, int> result{"", 24};
    if (ok) {
        result = {pictureName(im, stem, pic), pic.depth};
        im.pictures.push_back({result.first, pic.bytes});
    } else {
        ++im.dropped.textures;
        im.notes.push_back("texture " + source + " left out: " + (why.empty() ? "not a picture" : why));
    }
    return im.pictureOf[source] = result;
}

// ------------------------------------------------------------ the scene

// The materials the objects use, in the order they are first used (the
// library's glTF reader gives them so too): the library's number -> ours.
void usedMaterials(Import& im, const aiNode* node) {
    for (unsigned k = 0; k < node->mNumMeshes; ++k) {
        const aiMesh* mesh = im.ai->mMeshes[node->mMeshes[k]];
        if ((mesh->mPrimitiveTypes & aiPrimitiveType_TRIANGLE) && !im.materialOf.count(mesh->mMaterialIndex))
            im.materialOf[mesh->mMaterialIndex] = (int32_t)im.materialOf.size();
    }
    for (unsigned c = 0; c < node->mNumChildren; ++c) usedMaterials(im, node->mChildren[c]);
}

void materials(Import& im) {
    std::vector<unsigned> order(im.materialOf.size());
    for (auto [from, to] : im.materialOf) order[to] = from;
    im.dropped.materials = (int32_t)(im.ai->mNumMaterials - order.size());
    for (unsigned i : order) {
        const aiMaterial* mat = im.ai->mMaterials[i];
        aiString name;
        mat->Get(AI_MATKEY_NAME, name);
        auto [tex, depth] = texture(im, mat);
        Material& m = sbMat(im.s, sbMaterial(im.s, name.C_Str(), tex.c_str()));
        aiColor3D c;
        if (mat->Get(AI_MATKEY_COLOR_DIFFUSE, c) == AI_SUCCESS || mat->Get(AI_MATKEY_BASE_COLOR, c) == AI_SUCCESS)
            m.diffuse = {c.r, c.g, c.b};
        if (mat->Get(AI_MATKEY_COLOR_AMBIENT, c) == AI_SUCCESS) m.ambient = {c.r, c.g, c.b};
        if (mat->Get(AI_MATKEY_COLOR_SPECULAR, c) == AI_SUCCESS) m.specular = {c.r, c.g, c.b};
        float shine = 0, opacity = 1;
        if (mat->Get(AI_MATKEY_SHININESS, shine) == AI_SUCCESS && std::isfinite(shine))
            m.shine = (int32_t)std::clamp(shine, 0.0f, 128.0f);
        if (mat->Get(AI_MATKEY_OPACITY, opacity) != AI_SUCCESS || !(opacity >= 0 && opacity <= 1)) opacity = 1;
        m.constantalpha = opacity;
        m.transparency = 1 - opacity;
        m.depth = (uint8_t)depth;
        // Blending and its pass as the configuration writer proposes, but a
        // glTF material says itself: opaque, alpha tested (MASK, in pass 0)
        // or alpha blended. What blends reads the depth without writing it.
        aiString mode;
        float cutoff = 0.5f;
        int p = std::max(SceneConfigProposal(m), 0);
        if (mat->Get(AI_MATKEY_GLTF_ALPHAMODE, mode) == AI_SUCCESS) p = mode == aiString("BLEND") ? 2 : 0;
        if (mode == aiString("MASK")) mat->Get(AI_MATKEY_GLTF_ALPHACUTOFF, cutoff), m.alphatest = cutoff;
        m.blend = (uint8_t)p;
        if (p > 0) m.depthtest = 1;
        im.passes.push_back(p);
    }
}

// Each triangle mesh a node uses becomes an object with the node's fixed
// transform in its vertices; points and lines are counted and left out.
void objects(Import& im, const aiNode* node, std::set<std::string>& names) {
    aiMatrix4x4 w = worldAtRest(node);
    aiMatrix3x3 turn(w), normalTurn = aiMatrix3x3(w).Inverse().Transpose();
    bool mirrored = turn.Determinant() < 0;
    for (unsigned k = 0; k < node->mNumMeshes; ++k) {
        const aiMesh* mesh = im.ai->mMeshes[node->mMeshes[k]];
        if (!(mesh->mPrimitiveTypes & aiPrimitiveType_TRIANGLE)) {
            (mesh->mPrimitiveTypes & aiPrimitiveType_POINT ? im.dropped.points : im.dropped.lines) += mesh->mNumFaces;
            continue;
        }
        if (mesh->mNumVertices > (unsigned)INT32_MAX) toolFail(im.model + ": a mesh with more vertices than a scene file holds");
        Mesh m;
        for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
            m.vertices.push_back(engine(im, w * mesh->mVertices[v]));
            if (mesh->mNormals) m.normals.push_back(engine(im, (normalTurn * mesh->mNormals[v]).NormalizeSafe()));
            if (mesh->mTextureCoords[0]) m.uvs.push_back({mesh->mTextureCoords[0][v].x, mesh->mTextureCoords[0][v].y});
            if (mesh->mColors[0]) m.colors.push_back({mesh->mColors[0][v].r, mesh->mColors[0][v].g, mesh->mColors[0][v].b});
        }
        for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
            const aiFace& face = mesh->mFaces[f];
            if (face.mNumIndices != 3) continue;
            Face t{(int32_t)face.mIndices[0], (int32_t)face.mIndices[1], (int32_t)face.mIndices[2]};
            if (mirrored) std::swap(t.b, t.c);  // a mirroring transform turns the faces over
            m.faces.push_back(t);
        }
        for (const Vector& v : m.vertices) {
            im.low = im.bounded ? Vector{std::min(im.low.x, v.x), std::min(im.low.y, v.y), std::min(im.low.z, v.z)} : v;
            im.high = im.bounded ? Vector{std::max(im.high.x, v.x), std::max(im.high.y, v.y), std::max(im.high.z, v.z)} : v;
            im.bounded = true;
        }
        std::string name = assetUniqueName(names, node->mName.C_Str());
        int32_t material = im.materialOf[mesh->mMaterialIndex];
        int32_t o = sbObject(im.s, name.c_str(), material, m);
        sbObj(im.s, o).passno = im.passes[material];
        std::vector<TrackKey> track = originTrack(im, node, engine(im, w * aiVector3D(0, 0, 0)), true);
        std::vector<RotationKey> turns;
        std::vector<TrackKey> scales;
        if (const aiNodeAnim* ch = channelOf(im, node)) {
            // Carried as the file has them, in the engine's axes.
            for (unsigned i = 0; i < ch->mNumRotationKeys; ++i) {
                const aiQuaternion& q = ch->mRotationKeys[i].mValue;
                Vector axis = engine(im, aiVector3D(q.x, q.y, q.z));
                turns.push_back({frameOf(im, ch->mRotationKeys[i].mTime), {q.w, axis.x, axis.y, axis.z}});
            }
            for (unsigned i = 0; i < ch->mNumScalingKeys; ++i) {
                const aiVector3D& v = ch->mScalingKeys[i].mValue;
                scales.push_back({frameOf(im, ch->mScalingKeys[i].mTime), im.zUp ? Vector{v.x, v.y, v.z} : Vector{v.x, v.z, v.y}});
            }
        }
        if (!track.empty()) sbObjectTrack(im.s, o, track);
        if (!turns.empty() || !scales.empty()) sbObjectTurnKeys(im.s, o, turns, scales);
        im.animated += !track.empty() || !turns.empty() || !scales.empty();
    }
    for (unsigned c = 0; c < node->mNumChildren; ++c) objects(im, node->mChildren[c], names);
}

Vector centre(const Import& im) { return vecScale(vecAdd(im.low, im.high), 0.5f); }
float radius(const Import& im) {
    float r = vecLength(vecSub(im.high, im.low)) / 2;
    return r > 0 && std::isfinite(r) ? r : 1;
}

// A colour of at most 1 in each part: light intensities above 1 keep their hue.
Vector unitColour(const aiColor3D& c) {
    float top = std::max({c.r, c.g, c.b, 1.0f});
    return std::isfinite(top) ? Vector{c.r / top, c.g / top, c.b / top} : Vector{1, 1, 1};
}

void lights(Import& im) {
    int32_t slot = 0;
    std::set<std::string> names;
    for (unsigned i = 0; i < im.ai->mNumLights; ++i) {
        const aiLight* l = im.ai->mLights[i];
        bool kind = l->mType == aiLightSource_DIRECTIONAL || l->mType == aiLightSource_POINT || l->mType == aiLightSource_SPOT;
        if (!kind || slot == SceneLightCount) {
            ++im.dropped.lights;
            continue;
        }
        // The light's node places it (some readers copy the node's place
        // into the light too, which is not added again).
        const aiNode* node = im.ai->mRootNode->FindNode(l->mName);
        aiMatrix4x4 w = node ? worldAtRest(node) : aiMatrix4x4();
        Vector pos = node ? engine(im, w * aiVector3D(0, 0, 0)) : engine(im, l->mPosition);
        std::vector<TrackKey> keys;
        if (l->mType == aiLightSource_DIRECTIONAL) {
            // Far back against its direction: the engine's lights all have a place.
            Vector dir = vecNormalize(engine(im, aiMatrix3x3(w) * l->mDirection));
            pos = vecSub(centre(im), vecScale(dir, 10 * radius(im)));
        } else if (node) {
            keys = originTrack(im, node, pos, false);
        }
        // A reader whose format has one colour for a light (glTF) gives it
        // as the ambient colour too: that would light every face alike.
        aiColor3D ambient = l->mColorAmbient == l->mColorDiffuse ? aiColor3D(0, 0, 0) : l->mColorAmbient;
        std::string name = assetUniqueName(names, l->mName.C_Str());
        sbLight(im.s, slot++, name.c_str(), pos, unitColour(l->mColorDiffuse), unitColour(ambient),
                unitColour(l->mColorSpecular), keys);
    }
    if (slot == 0) {
        // Unlit, the engine's lit materials would be black: a light where the
        // camera starts, a little above it.
        sbLight(im.s, 0, "light", vecAdd(im.s.camposkeys[0].point, Vector{0, 0, radius(im) / 2}));
        im.notes.push_back("the file has no light the engine keeps: one white light added at the camera");
    }
}

void camera(Import& im, const std::string& wanted, std::string& used) {
    const aiCamera* cam = nullptr;
    std::string names;
    for (unsigned i = 0; i < im.ai->mNumCameras; ++i) {
        const aiCamera* c = im.ai->mCameras[i];
        names += std::string(names.empty() ? "" : ", ") + c->mName.C_Str();
        if (!cam && (wanted.empty() || wanted == c->mName.C_Str())) cam = c;
    }
    if (!cam && !wanted.empty())
        toolFail(im.model + " has no camera \"" + wanted + "\"" + (names.empty() ? "" : " (it has " + names + ")"));
    im.dropped.cameras = (int32_t)im.ai->mNumCameras - (cam ? 1 : 0);
    Vector c = centre(im);
    float r = radius(im);
    std::vector<TrackKey> eye, target;
    float fov = DefaultFov, nearClip = 0, farClip = 0;
    if (!cam) {
        // From the front (-Y) and above, the whole bounds in view.
        float d = r / std::sin(fov / 2) * 1.1f, up = 30 * Pi / 180;
        eye.push_back({0, vecAdd(c, Vector{0, -d * std::cos(up), d * std::sin(up)})});
        target.push_back({0, c});
    } else {
        used = cam->mName.C_Str();
        const aiNode* node = im.ai->mRootNode->FindNode(cam->mName);
        for (auto [frame, t] : node ? motionFrames(im, node, false) : std::vector<std::pair<int32_t, double>>{})
            eye.push_back({frame, originAt(im, node, t)});
        if (eye.empty()) eye.push_back({0, node ? originAt(im, node, 0) : engine(im, cam->mPosition)});
        std::vector<TdsKey> tds;
        const aiNode* aim = im.ai->mRootNode->FindNode((used + ".Target").c_str());
        aiString format;
        bool from3ds = im.ai->mMetaData && im.ai->mMetaData->Get("SourceAsset_Format", format) &&
                       strstr(format.C_Str(), "3DS") &&
                       tdsCameraTarget((const uint8_t*)im.modelBytes.data(), im.modelBytes.size(), used, tds);
        if (aim) {
            for (auto [frame, t] : motionFrames(im, aim, false)) target.push_back({frame, originAt(im, aim, t)});
            if (target.empty()) target.push_back({0, originAt(im, aim, 0)});
        } else if (from3ds) {
            // The library drops a 3DS camera's target: read from the file, in
            // its own axes, which the library turns with its root node.
            for (const TdsKey& k : tds)
                target.push_back({frameOf(im, k.frame), engine(im, im.ai->mRootNode->mTransformation * aiVector3D(k.x, k.y, k.z))});
        } else {
            // Along the look direction, as far as the scene's centre.
            float dist = std::max(vecLength(vecSub(c, eye[0].point)), r * 0.01f);
            auto frames = node ? motionFrames(im, node, true) : std::vector<std::pair<int32_t, double>>{};
            if (frames.empty()) frames.push_back({0, 0.0});
            for (auto [frame, t] : frames) {
                aiMatrix4x4 w = node ? worldAt(im, node, t) : aiMatrix4x4();
                Vector from = node ? originAt(im, node, t) : engine(im, cam->mPosition);
                Vector dir = vecNormalize(engine(im, aiMatrix3x3(w) * cam->mLookAt));
                target.push_back({frame, vecAdd(from, vecScale(dir, dist))});
            }
        }
        // The library's horizontal angle, spread over the engine's 4:3 picture;
        // its glTF reader gives the vertical angle times the aspect instead.
        bool gltf = im.ai->mMetaData && im.ai->mMetaData->Get("SourceAsset_Format", format) && strstr(format.C_Str(), "glTF");
        if (gltf && cam->mAspect > 0 && cam->mHorizontalFOV > 0 && cam->mHorizontalFOV / cam->mAspect < Pi)
            fov = cam->mHorizontalFOV / cam->mAspect;
        else if (cam->mHorizontalFOV > 0 && cam->mHorizontalFOV < Pi)
            fov = 2 * std::atan(std::tan(cam->mHorizontalFOV / 2) * 3 / 4);
        nearClip = cam->mClipPlaneNear, farClip = cam->mClipPlaneFar;
    }
    float d = vecLength(vecSub(c, eye[0].point));
    if (!(nearClip > 0)) nearClip = std::max((d - r) * 0.5f, (d + r) * 1e-4f);
    if (!(farClip > nearClip)) farClip = std::max((d + r) * 2, nearClip * 1e4f);
    sbCamera(im.s, eye, target);
    im.s.camerafov = fov, im.s.cameranear = nearClip, im.s.camerafar = farClip;
}

// The library believes the counts a file declares (an OFF file that claims
// billions of faces had it take 16 GB before it gave up): its memory is held
// to what a model of the file's size can need, so such a file fails at once.
void capMemory(size_t fileBytes) {
    struct rlimit r;
    rlim_t cap = ((rlim_t)4 << 30) + (rlim_t)fileBytes * 16;
    if (getrlimit(RLIMIT_AS, &r) == 0 && (r.rlim_cur == RLIM_INFINITY || r.rlim_cur > cap)) {
        r.rlim_cur = cap;
        setrlimit(RLIMIT_AS, &r);
    }
}

const aiScene* readModel(Assimp::Importer& imp, Import& im) {
    static LibraryMessages* messages = nullptr;
    if (!messages) {
        Assimp::DefaultLogger::create("", Assimp::Logger::NORMAL, 0);
        Assimp::DefaultLogger::get()->attachStream(messages = new LibraryMessages, Assimp::Logger::Warn | Assimp::Logger::Err);
    }
    messages->lines.clear();
    imp.SetIOHandler(new RuleIO);
    const aiScene* ai = imp.ReadFile(im.model, aiProcess_Triangulate | aiProcess_GenSmoothNormals |
                                                   aiProcess_JoinIdenticalVertices | aiProcess_SortByPType |
                                                   aiProcess_ValidateDataStructure | aiProcess_FlipUVs |
                                                   aiProcess_GenUVCoords | aiProcess_TransformUVCoords);
    if (!ai) toolFail(im.model + ": " + imp.GetErrorString());
    for (const std::string& line : messages->lines)
        for (const char* broken : BrokenFileMessages)
            if (line.find(broken) != std::string::npos) toolFail(im.model + ": " + line);
    if (!ai->mRootNode) toolFail(im.model + ": the file holds no scene");
    return ai;
}

int runImport(const ToolArgs& a) {
    Import im;
    im.model = a.positional[0];
    const std::string& out = a.positional[1];
    std::string wantedCamera, up;
    for (auto& [k, v] : a.options) {
        if (k == "--textures") im.textureDir = v;
        else if (k == "--camera") wantedCamera = v;
        else if (k == "--fps") im.fps = assetFps(k, v);
        else if (k == "--up" && (v == "y" || v == "z")) up = v;
        else if (k == "--up") toolFail("--up wants y or z, not \"" + v + "\"");
    }
    if (im.textureDir.empty()) im.textureDir = toolDefaultTextures(out);
    im.folder = toolFolderOf(im.model);
    if (access(toolFolderOf(out).c_str(), W_OK) != 0) toolFail("cannot write " + out + ": " + strerror(errno));
    im.modelBytes = toolReadFile(im.model);
    capMemory(im.modelBytes.size());

    Assimp::Importer imp;
    im.ai = readModel(imp, im);
    int32_t fileUp = 1;
    if (up.empty()) up = im.ai->mMetaData && im.ai->mMetaData->Get("UpAxis", fileUp) && fileUp == 2 ? "z" : "y";
    im.zUp = up == "z";
    if (im.ai->mNumAnimations) {
        const aiAnimation* anim = im.ai->mAnimations[0];
        if (anim->mTicksPerSecond > 0 && std::isfinite(anim->mTicksPerSecond)) im.tps = anim->mTicksPerSecond;
        for (unsigned i = 0; i < anim->mNumChannels; ++i) im.channels[anim->mChannels[i]->mNodeName.C_Str()] = anim->mChannels[i];
        im.dropped.animations = (int32_t)im.ai->mNumAnimations - 1;
    }

    sbBegin(im.s, assetStem(im.model).c_str());
    usedMaterials(im, im.ai->mRootNode);
    materials(im);
    std::set<std::string> names;
    objects(im, im.ai->mRootNode, names);
    int64_t faces = 0, vertices = 0;
    for (int32_t i = 0; i < im.s.objectcount; ++i) faces += im.s.objects[i].facecount, vertices += im.s.objects[i].vertexcount;
    if (faces == 0)
        toolFail(im.model + ": nothing the engine draws (" + std::to_string(im.dropped.points) + " points, " +
                 std::to_string(im.dropped.lines) + " lines, no triangles)");
    if (faces > INT32_MAX / 12) toolFail(im.model + ": more faces than a scene file holds");
    std::string cameraName;
    camera(im, wantedCamera, cameraName);
    lights(im);
    sbFinish(im.s);
    std::string bytes = SaveSceneData(im.s);

    // Everything is made: only now is anything written.
    std::string why;
    if (!im.pictures.empty() && mkdir(im.textureDir.c_str(), 0777) != 0 && errno != EEXIST)
        toolFail("cannot make the texture folder " + im.textureDir + ": " + strerror(errno));
    for (auto& [name, data] : im.pictures)
        if (!TryWriteFileAtomic((im.textureDir + "/" + name).c_str(), data, &why)) toolFail("cannot write " + name + ": " + why);
    if (!TryWriteFileAtomic(out.c_str(), bytes, &why)) toolFail("cannot write " + out + ": " + why);

    const Dropped& d = im.dropped;
    if (d.points || d.lines)
        im.notes.push_back("left out: " + std::to_string(d.points) + " points, " + std::to_string(d.lines) +
                           " lines (the engine draws triangles)");
    if (d.lights)
        im.notes.push_back("left out: " + std::to_string(d.lights) +
                           " of the file's lights (the engine has 8, each a point light; ambient and area lights it has not)");
    if (d.cameras) im.notes.push_back("left out: " + std::to_string(d.cameras) + " of the file's cameras (one is taken)");
    if (d.animations) im.notes.push_back("left out: " + std::to_string(d.animations) + " animations after the first");
    for (const std::string& n : im.notes) fprintf(stderr, "velmar scene import: note: %s\n", PrintableText(n).c_str());

    JsonOut j;
    jsonOpen(j, '{');
    jsonKey(j, "out"), jsonString(j, out);
    jsonKey(j, "objects"), jsonInt(j, im.s.objectcount);
    jsonKey(j, "materials"), jsonInt(j, im.s.materialcount);
    int32_t lightCount = 0;
    for (const SceneLight& l : im.s.lights) lightCount += l.enabled;
    jsonKey(j, "lights"), jsonInt(j, lightCount);
    jsonKey(j, "faces"), jsonInt(j, faces);
    jsonKey(j, "vertices"), jsonInt(j, vertices);
    jsonKey(j, "textures");
    jsonOpen(j, '[');
    for (auto& p : im.pictures) jsonString(j, p.first);
    jsonClose(j, ']');
    jsonKey(j, "camera");
    if (cameraName.empty()) jsonNull(j);
    else jsonString(j, cameraName);
    jsonKey(j, "animated"), jsonInt(j, im.animated);
    jsonKey(j, "dropped");
    jsonOpen(j, '{');
    const std::pair<const char*, int64_t> counts[] = {
        {"points", d.points},   {"lines", d.lines},       {"materials", d.materials},  {"lights", d.lights},
        {"cameras", d.cameras}, {"textures", d.textures}, {"animations", d.animations}};
    for (auto [k, v] : counts) jsonKey(j, k), jsonInt(j, v);
    jsonClose(j, '}');
    jsonClose(j, '}');
    printf("%s\n", j.s.c_str());
    return 0;
}

}  // namespace

int cmdSceneImport(int argc, char** argv) {
    ToolArgs a = toolParse(argc, argv, {"--textures", "--camera", "--up", "--fps"});
    if (a.help) return toolHelp(ImportHelp);
    if (a.positional.size() != 2) toolFail("import wants a model file and an output scene file (see --help)");
    try {
        return runImport(a);
    } catch (const std::exception& e) {  // the library's or ours: out of memory above all
        toolFail(a.positional[0] + ": " + e.what());
    }
}
