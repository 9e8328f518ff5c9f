#include "scene.h"

#include "../frame/base.h"

int64_t SceneFaceTotal(const Scene& r) {
    int64_t total = 0;
    if (r.objects)
        for (int32_t i = 0; i < r.objectcount; ++i) total += r.objects[i].facecount;
    return total;
}

namespace {

#define RELEASE_NOTHING(type, name)
#define RELEASE_ARRAY(type, name, count) Base.BS_MemFree((void**)&r.name);

void releaseObject(SceneObject& r) { SCENE_OBJECT_FIELDS(RELEASE_NOTHING, RELEASE_ARRAY, RELEASE_ARRAY) }

void releaseLight(SceneLight& r) { SCENE_LIGHT_FIELDS(RELEASE_NOTHING, RELEASE_ARRAY, RELEASE_ARRAY) }

#undef RELEASE_NOTHING
#undef RELEASE_ARRAY

}  // namespace

void ReleaseScene(Scene& scene) {
    for (SceneLight& l : scene.lights) releaseLight(l);
    if (scene.objects)
        for (int32_t i = 0; i < scene.objectcount; ++i) releaseObject(scene.objects[i]);
    Base.BS_MemFree((void**)&scene.camposkeys);
    Base.BS_MemFree((void**)&scene.camtargetkeys);
    Base.BS_MemFree((void**)&scene.camposease);
    Base.BS_MemFree((void**)&scene.camtargetease);
    Base.BS_MemFree((void**)&scene.materials);
    Base.BS_MemFree((void**)&scene.objects);
    Base.BS_MemFree((void**)&scene.volumearray);
    Base.BS_MemFree((void**)&scene.volumeindex);
}
