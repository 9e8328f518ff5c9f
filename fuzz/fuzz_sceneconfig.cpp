// Scene configuration reader: any text applied to a small scene either
// changes it within its arrays or ends in the conversion error; material
// numbers never leave the material table.
#include "fuzz_support.h"
#include "sceneconfig/sceneconfig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInit();
    static Material materials[2];
    static SceneObject objects[3];
    Scene s{};
    s.materialcount = size % 3 == 0 ? 0 : 2;  // also a scene without materials
    s.materials = s.materialcount ? materials : nullptr;
    s.objectcount = 3;
    s.objects = objects;
    for (int i = 0; i < 2; ++i) materials[i] = Material{}, materials[i].name = S(i ? "b" : "a");
    for (int i = 0; i < 3; ++i) objects[i] = SceneObject{}, objects[i].name = S(i ? "y" : "x");
    if (!Accepted([&] { ApplySceneConfig(s, std::string((const char*)data, size)); })) return 0;
    for (int i = 0; i < 3; ++i) {
        if (objects[i].material != 0 && (objects[i].material < 0 || objects[i].material >= s.materialcount)) abort();
        if (objects[i].passno > s.maxpassno) abort();
    }
    if (s.maxpassno < 0) abort();
    return 0;
}
