// velmar scene export IN.vlm OUT.gltf|OUT.glb - a scene file as glTF 2.0
// (see sceneasset.h), written by the asset library's glTF writer. What that
// writer leaves out (a camera bound to its node, lights) is added to the
// JSON it wrote (assetbytes.h).
#include <assimp/Exporter.hpp>
#include <assimp/GltfMaterial.h>
#include <assimp/scene.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "../../frame/frame.h"
#include "../../render/tracks.h"
#include "../../scene/scenefile.h"
#include "assetbytes.h"
#include "json.h"
#include "sceneasset.h"
#include "tool.h"
#include "toolgl.h"

namespace {

const char ExportHelp[] =
    "usage: velmar scene export IN.vlm OUT.gltf|OUT.glb [--textures DIR] [--fps N]\n"
    "Writes the scene as glTF 2.0 (+Y up): meshes, materials and their textures (as\n"
    "PNG or JPEG beside a .gltf with its .bin, packed in a .glb), the camera as a\n"
    "camera node that follows its eye track and looks at its target (a node named\n"
    "after it with .Target), lights (KHR_lights_punctual) and position tracks as\n"
    "animations. Prints\n"
    "  {\"out\":F,\"objects\":N,\"materials\":N,\"lights\":N,\"faces\":N,\"camera\":B,\"animated\":N,\n"
    "   \"files\":[...]}\n"
    "  --textures DIR  the scene's textures (default: Textures beside its folder)\n"
    "  --fps N         key frames per second of the animations' time (default 25)\n";

// Camera orientation samples between two key frames, so that a viewer's
// straight-line motion between them follows the engine's curves.
const int CameraSteps = 8;
const char CameraName[] = "Camera";

aiVector3D yUp(Vector v) {
    Vector p = assetToYUp(v);
    return aiVector3D(p.x, p.y, p.z);
}

// Names the writer gets: control characters would break the markers below.
std::string cleanName(std::string_view v) {
    std::string s(v);
    for (char& c : s)
        if ((unsigned char)c < 0x20 || c == 0x7f) c = '_';
    return s;
}

// A node the writer writes under a marker name, replaced in its JSON by the
// real name and the members the writer does not write.
std::string marker(size_t n) { return "\x01" + std::to_string(n) + "\x01"; }

struct Export {
    const Scene* s = nullptr;
    std::unique_ptr<aiScene> ai{new aiScene};
    bool glb = false;
    double fps = AssetDefaultFps;
    std::string textureDir, outFolder, stem;
    std::set<std::string> names, fileNames;
    std::vector<aiNode*> nodes;
    std::vector<aiNodeAnim*> channels;
    std::vector<aiTexture*> embedded;
    std::map<std::string, std::string> pathOf;                // texture name -> glTF path
    std::vector<std::pair<std::string, std::string>> files;  // beside a .gltf: name, bytes
    GltfAdditions add;
    std::string lightsJson;
    int32_t lights = 0, animated = 0;
    bool camera = false;
    std::vector<std::string> notes;
};

template <class T>
T* copyArray(const std::vector<T>& v) {
    T* a = new T[v.size()];
    std::copy(v.begin(), v.end(), a);
    return a;
}

aiNode* addNode(Export& ex, const std::string& name) {
    aiNode* n = new aiNode(name);
    ex.nodes.push_back(n);
    return n;
}

void addChannel(Export& ex, const std::string& node, const std::vector<aiVectorKey>& pos,
                const std::vector<aiQuatKey>& turn = {}) {
    aiNodeAnim* ch = new aiNodeAnim;
    ch->mNodeName = aiString(node);
    ch->mNumPositionKeys = (unsigned)pos.size(), ch->mPositionKeys = copyArray(pos);
    if (!turn.empty()) ch->mNumRotationKeys = (unsigned)turn.size(), ch->mRotationKeys = copyArray(turn);
    ex.channels.push_back(ch);
}

std::vector<aiVectorKey> positionKeys(const TrackKey* keys, int32_t count) {
    std::vector<aiVectorKey> v;
    for (int32_t i = 0; i < count; ++i) v.push_back(aiVectorKey(keys[i].frame, yUp(keys[i].point)));
    return v;
}

// The texture's path for the writer: a file beside a .gltf, or a picture
// packed into the .glb ("*N"). Empty, with a note, when it cannot be read.
std::string texturePath(Export& ex, const std::string& name) {
    if (ex.pathOf.count(name)) return ex.pathOf[name];
    std::string data, why;
    int code = 0;
    AssetPicture pic;
    if (!TryReadFile((ex.textureDir + "/" + name).c_str(), data, &code, &why) || !assetPicture(data, true, pic, why)) {
        ex.notes.push_back("texture " + name + " left out: " + why);
        return ex.pathOf[name] = "";
    }
    if (ex.glb) {
        aiTexture* t = new aiTexture;
        t->mWidth = (unsigned)pic.bytes.size(), t->mHeight = 0;
        t->pcData = new aiTexel[pic.bytes.size() / sizeof(aiTexel) + 1];
        memcpy(t->pcData, pic.bytes.data(), pic.bytes.size());
        strcpy(t->achFormatHint, pic.ext.substr(1).c_str());
        t->mFilename = aiString(name);
        ex.embedded.push_back(t);
        return ex.pathOf[name] = "*" + std::to_string(ex.embedded.size() - 1);
    }
    std::string file = assetUniqueName(ex.fileNames, cleanName(assetStem(name)) + pic.ext);
    ex.files.push_back({file, pic.bytes});
    return ex.pathOf[name] = file;
}

void materials(Export& ex) {
    const Scene& s = *ex.s;
    ex.ai->mNumMaterials = (unsigned)s.materialcount;
    ex.ai->mMaterials = new aiMaterial*[s.materialcount > 0 ? s.materialcount : 1];
    for (int32_t i = 0; i < s.materialcount; ++i) {
        const Material& m = s.materials[i];
        aiMaterial* a = ex.ai->mMaterials[i] = new aiMaterial;
        aiString name(cleanName(view(m.name)));
        a->AddProperty(&name, AI_MATKEY_NAME);
        aiColor3D diffuse(m.diffuse.x, m.diffuse.y, m.diffuse.z), ambient(m.ambient.x, m.ambient.y, m.ambient.z),
            specular(m.specular.x, m.specular.y, m.specular.z);
        a->AddProperty(&diffuse, 1, AI_MATKEY_COLOR_DIFFUSE);
        a->AddProperty(&ambient, 1, AI_MATKEY_COLOR_AMBIENT);
        a->AddProperty(&specular, 1, AI_MATKEY_COLOR_SPECULAR);
        float shine = (float)m.shine, opacity = m.blend ? m.constantalpha : 1;
        a->AddProperty(&shine, 1, AI_MATKEY_SHININESS);
        a->AddProperty(&opacity, 1, AI_MATKEY_OPACITY);
        if (m.blend || m.alphatest > 0) {
            aiString mode(m.blend ? "BLEND" : "MASK");
            a->AddProperty(&mode, AI_MATKEY_GLTF_ALPHAMODE);
            if (!m.blend) a->AddProperty(&m.alphatest, 1, AI_MATKEY_GLTF_ALPHACUTOFF);
        }
        std::string path = m.textured && m.texturename.len ? texturePath(ex, str(m.texturename)) : "";
        if (!path.empty()) {
            aiString p(path);
            a->AddProperty(&p, AI_MATKEY_TEXTURE_DIFFUSE(0));
        }
    }
}

// One mesh and node per object; the node stays at the origin and its
// position track moves it, as the engine draws it.
void objects(Export& ex) {
    const Scene& s = *ex.s;
    std::vector<aiMesh*> meshes;
    std::vector<aiVectorKey> none;
    for (int32_t i = 0; i < s.objectcount; ++i) {
        const SceneObject& o = s.objects[i];
        aiNode* node = addNode(ex, assetUniqueName(ex.names, cleanName(view(o.name))));
        if (o.poskeycount > 0) addChannel(ex, node->mName.C_Str(), positionKeys(o.poskeys, o.poskeycount));
        ex.animated += o.poskeycount > 0;
        if (o.facecount <= 0 || o.vertexcount <= 0) continue;
        const Material& tile = s.materials[o.material];
        aiMesh* mesh = new aiMesh;
        mesh->mName = node->mName;
        mesh->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
        mesh->mMaterialIndex = (unsigned)o.material;
        unsigned n = mesh->mNumVertices = (unsigned)o.vertexcount;
        mesh->mVertices = new aiVector3D[n];
        if (o.hasnormals && o.normals) mesh->mNormals = new aiVector3D[n];
        if (o.hasuv && o.uvs) mesh->mTextureCoords[0] = new aiVector3D[n], mesh->mNumUVComponents[0] = 2;
        if (o.hascolors && o.colors) mesh->mColors[0] = new aiColor4D[n];
        for (unsigned v = 0; v < n; ++v) {
            mesh->mVertices[v] = yUp(o.vertices[v]);
            if (mesh->mNormals) mesh->mNormals[v] = yUp(o.normals[v]);
            // The material's tiling goes into the coordinates; the library
            // counts texture rows from the bottom, the engine from the top.
            if (mesh->mTextureCoords[0])
                mesh->mTextureCoords[0][v] = aiVector3D(o.uvs[v].u * tile.utile, 1 - o.uvs[v].v * tile.vtile, 0);
            if (mesh->mColors[0]) mesh->mColors[0][v] = aiColor4D(o.colors[v].x, o.colors[v].y, o.colors[v].z, 1);
        }
        mesh->mNumFaces = (unsigned)o.facecount;
        mesh->mFaces = new aiFace[o.facecount];
        for (int32_t f = 0; f < o.facecount; ++f) {
            mesh->mFaces[f].mNumIndices = 3;
            mesh->mFaces[f].mIndices = new unsigned[3]{(unsigned)o.faces[f].a, (unsigned)o.faces[f].b, (unsigned)o.faces[f].c};
        }
        node->mNumMeshes = 1;
        node->mMeshes = new unsigned[1]{(unsigned)meshes.size()};
        meshes.push_back(mesh);
    }
    ex.ai->mNumMeshes = (unsigned)meshes.size();
    ex.ai->mMeshes = copyArray(meshes);
}

// Each light in use: a node at its place (on its track) and a point light.
void lights(Export& ex) {
    JsonOut j;
    jsonOpen(j, '[');
    for (const SceneLight& l : ex.s->lights) {
        if (!l.enabled) continue;
        std::string name = assetUniqueName(ex.names, cleanName(view(l.name).empty() ? "Light" : view(l.name)));
        aiNode* node = addNode(ex, marker(ex.nodes.size()));
        aiMatrix4x4::Translation(yUp(l.pos), node->mTransformation);
        if (l.poskeycount > 0) addChannel(ex, node->mName.C_Str(), positionKeys(l.poskeys, l.poskeycount));
        ex.add.nodes.push_back({node->mName.C_Str(), jsonQuoted(name) + ",\"extensions\":{\"KHR_lights_punctual\":{\"light\":" +
                                                         std::to_string(ex.lights++) + "}}"});
        jsonOpen(j, '{');
        jsonKey(j, "name"), jsonString(j, name);
        jsonKey(j, "type"), jsonString(j, "point");
        jsonKey(j, "color");
        jsonOpen(j, '[');
        jsonFloat(j, l.diffuse.x), jsonFloat(j, l.diffuse.y), jsonFloat(j, l.diffuse.z);
        jsonClose(j, ']');
        jsonKey(j, "intensity"), jsonFloat(j, 1);
        jsonClose(j, '}');
    }
    jsonClose(j, ']');
    if (ex.lights) {
        ex.add.members.push_back({"extensionsUsed", "[\"KHR_lights_punctual\"]"});
        ex.add.members.push_back({"extensions", "{\"KHR_lights_punctual\":{\"lights\":" + j.s + "}}"});
    }
}

// The rotation that turns a glTF camera (looking down -Z, +Y up) towards
// `target` with the engine's up (+Z, glTF's +Y) on top.
aiQuaternion lookAt(Vector eye, Vector target) {
    aiVector3D f = yUp(vecSub(target, eye)).NormalizeSafe(), up(0, 1, 0);
    aiVector3D r = f ^ up;
    if (r.SquareLength() < 1e-12f) r = aiVector3D(1, 0, 0);  // looking straight up or down
    r.Normalize();
    aiVector3D u = r ^ f;
    return aiQuaternion(aiMatrix3x3(r.x, u.x, -f.x, r.y, u.y, -f.y, r.z, u.z, -f.z));
}

void camera(Export& ex) {
    const Scene& s = *ex.s;
    if (s.camposkeycount <= 0 || s.camtargetkeycount <= 0 || !s.camposkeys || !s.camtargetkeys) return;
    std::string name = CameraName;
    for (int n = 2; ex.names.count(name) || ex.names.count(name + ".Target"); ++n) name = CameraName + ("." + std::to_string(n));
    ex.names.insert(name), ex.names.insert(name + ".Target");
    // Samples: every key frame of either track and steps between.
    std::vector<int32_t> frames;
    for (int32_t i = 0; i < s.camposkeycount; ++i) frames.push_back(s.camposkeys[i].frame);
    for (int32_t i = 0; i < s.camtargetkeycount; ++i) frames.push_back(s.camtargetkeys[i].frame);
    std::sort(frames.begin(), frames.end());
    frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
    for (size_t i = 0, n = frames.size(); i + 1 < n; ++i)
        for (int k = 1; k < CameraSteps; ++k) frames.push_back(frames[i] + (int32_t)(((int64_t)frames[i + 1] - frames[i]) * k / CameraSteps));
    std::sort(frames.begin(), frames.end());
    frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
    std::vector<aiVectorKey> eyes;
    std::vector<aiQuatKey> turns;
    for (int32_t f : frames) {
        Vector eye = evalCurveTrack(s.camposkeys, s.camposease, s.camposkeycount, (float)f);
        Vector target = evalCurveTrack(s.camtargetkeys, s.camtargetease, s.camtargetkeycount, (float)f);
        eyes.push_back(aiVectorKey(f, yUp(eye)));
        turns.push_back(aiQuatKey(f, lookAt(eye, target)));
    }
    aiNode* node = addNode(ex, marker(ex.nodes.size()));
    node->mTransformation = aiMatrix4x4(aiVector3D(1, 1, 1), turns[0].mValue, eyes[0].mValue);
    addChannel(ex, node->mName.C_Str(), eyes, turns);
    aiNode* aim = addNode(ex, name + ".Target");
    aiMatrix4x4::Translation(yUp(s.camtargetkeys[0].point), aim->mTransformation);
    addChannel(ex, name + ".Target", positionKeys(s.camtargetkeys, s.camtargetkeycount));
    ex.add.nodes.push_back({node->mName.C_Str(), jsonQuoted(name) + ",\"camera\":0"});
    JsonOut j;
    jsonOpen(j, '[');
    jsonOpen(j, '{');
    jsonKey(j, "name"), jsonString(j, name);
    jsonKey(j, "type"), jsonString(j, "perspective");
    jsonKey(j, "perspective");
    jsonOpen(j, '{');
    jsonKey(j, "aspectRatio"), jsonFloat(j, 4.0f / 3);
    jsonKey(j, "yfov"), jsonFloat(j, s.camerafov);
    jsonKey(j, "znear"), jsonFloat(j, s.cameranear > 0 ? s.cameranear : 0.01f);
    if (s.camerafar > s.cameranear) jsonKey(j, "zfar"), jsonFloat(j, s.camerafar);
    jsonClose(j, '}');
    jsonClose(j, '}');
    jsonClose(j, ']');
    ex.add.members.push_back({"cameras", j.s});
    ex.camera = true;
}

void assemble(Export& ex) {
    aiScene& a = *ex.ai;
    materials(ex);
    objects(ex);
    lights(ex);
    camera(ex);
    a.mRootNode = new aiNode(assetUniqueName(ex.names, cleanName(view(ex.s->name).empty() ? "scene" : view(ex.s->name))));
    a.mRootNode->addChildren((unsigned)ex.nodes.size(), ex.nodes.data());
    a.mNumTextures = (unsigned)ex.embedded.size();
    a.mTextures = copyArray(ex.embedded);
    if (!ex.channels.empty()) {
        aiAnimation* anim = new aiAnimation;
        anim->mName = aiString("velmar");
        anim->mTicksPerSecond = ex.fps;
        for (aiNodeAnim* ch : ex.channels)
            anim->mDuration = std::max(anim->mDuration, ch->mPositionKeys[ch->mNumPositionKeys - 1].mTime);
        anim->mNumChannels = (unsigned)ex.channels.size();
        anim->mChannels = copyArray(ex.channels);
        a.mNumAnimations = 1;
        a.mAnimations = new aiAnimation*[1]{anim};
    }
}

int runExport(const ToolArgs& a) {
    Export ex;
    const std::string& in = a.positional[0];
    const std::string& out = a.positional[1];
    size_t dot = assetBaseName(out).rfind('.');
    std::string ext = dot == std::string::npos ? "" : assetBaseName(out).substr(dot);
    for (char& c : ext) c = (char)tolower((unsigned char)c);
    if (ext != ".gltf" && ext != ".glb") toolFail("export writes .gltf or .glb, not \"" + out + "\"");
    ex.glb = ext == ".glb";
    for (auto& [k, v] : a.options) {
        if (k == "--textures") ex.textureDir = v;
        else if (k == "--fps") ex.fps = assetFps(k, v);
    }
    if (ex.textureDir.empty()) ex.textureDir = toolDefaultTextures(in);
    ex.outFolder = toolFolderOf(out);
    ex.stem = assetStem(out);
    ex.fileNames = {assetBaseName(out), ex.stem + ".bin"};

    Scene s{};
    struct Release {
        Scene& s;
        ~Release() { ReleaseScene(s); }
    } release{s};
    toolLoadScene(s, in);
    ex.s = &s;
    assemble(ex);

    Assimp::Exporter writer;
    const aiExportDataBlob* blob = writer.ExportToBlob(ex.ai.get(), ex.glb ? "glb2" : "gltf2");
    if (!blob) toolFail("cannot write glTF: " + std::string(writer.GetErrorString()));
    std::string doc((const char*)blob->data, blob->size), why;
    if (!ex.glb) {
        // The writer names its buffer file after a placeholder.
        std::string placeholder = "\"$blobfile.bin\"";
        size_t at = doc.find(placeholder);
        if (at != std::string::npos) doc.replace(at, placeholder.size(), jsonQuoted(ex.stem + ".bin"));
        for (const aiExportDataBlob* b = blob->next; b; b = b->next)
            ex.files.push_back({ex.stem + "." + b->name.C_Str(), std::string((const char*)b->data, b->size)});
    }
    if (!(ex.glb ? gltfPatchGlb(doc, ex.add, why) : gltfPatchJson(doc, ex.add, why))) toolFail(why);

    JsonOut j;
    jsonOpen(j, '{');
    jsonKey(j, "out"), jsonString(j, out);
    jsonKey(j, "objects"), jsonInt(j, s.objectcount);
    jsonKey(j, "materials"), jsonInt(j, s.materialcount);
    jsonKey(j, "lights"), jsonInt(j, ex.lights);
    int64_t faces = 0;
    for (int32_t i = 0; i < s.objectcount; ++i) faces += s.objects[i].facecount;
    jsonKey(j, "faces"), jsonInt(j, faces);
    jsonKey(j, "camera"), jsonBool(j, ex.camera);
    jsonKey(j, "animated"), jsonInt(j, ex.animated);
    jsonKey(j, "files");
    jsonOpen(j, '[');
    jsonString(j, out);
    for (auto& [name, bytes] : ex.files) {
        if (!TryWriteFileAtomic((ex.outFolder + "/" + name).c_str(), bytes, &why)) toolFail("cannot write " + name + ": " + why);
        jsonString(j, ex.outFolder + "/" + name);
    }
    jsonClose(j, ']');
    jsonClose(j, '}');
    if (!TryWriteFileAtomic(out.c_str(), doc, &why)) toolFail("cannot write " + out + ": " + why);
    for (const std::string& n : ex.notes) fprintf(stderr, "velmar scene export: note: %s\n", PrintableText(n).c_str());
    printf("%s\n", j.s.c_str());
    return 0;
}

}  // namespace

int cmdSceneExport(int argc, char** argv) {
    ToolArgs a = toolParse(argc, argv, {"--textures", "--fps"});
    if (a.help) return toolHelp(ExportHelp);
    if (a.positional.size() != 2) toolFail("export wants a scene file and an output file (see --help)");
    try {
        return runExport(a);
    } catch (const std::exception& e) {
        toolFail(a.positional[1] + ": " + e.what());
    }
}
