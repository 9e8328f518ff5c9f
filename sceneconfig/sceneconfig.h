// sceneconfig.h - the scene configuration file: a text file that overrides,
// by name, the camera of a loaded scene and the look of its materials,
// objects and lights; and its writer, which dumps a scene's look with
// comments and proposes blending and drawing passes from each material's
// texture depth and transparency.
//
// Lines: "#" comment; key=value for the scene ("camerafov", "cameranear",
// "camerafar"); kind(name).key=value for "material", "object" and "light".
// Vectors are x,y,z; a flag is true only for "1". The last entry of a name
// wins; an unknown name addresses entry 0.
#pragma once

#include "../frame/shortstring.h"
#include "../scene/scene.h"

// Applies the file to a loaded scene and recomputes `maxpassno`. A missing
// file is FatalStop "Config file (<name>) not found.".
void ReadSceneConfig(Scene& scene, const ShortString& fileName);

// The same from text in memory.
void ApplySceneConfig(Scene& scene, const std::string& text);

// Writes the scene's settings (lines end in CR LF). A file that cannot be
// written is a run-time error.
// A setting the reader would give to another entry or read otherwise (a
// name holding ')', '.', '=' or a line feed; a value with a line feed; a
// line over 255 characters) is left out, with a comment and a log line.
// `note`, when given, is one more comment line at the end of the comment
// block.
void WriteSceneConfig(const Scene& scene, const ShortString& fileName);
std::string SceneConfigText(const Scene& scene, const std::string& note = "");

// The writer's proposal for a material, from its texture's bits per pixel
// and its transparency: 0 (24 bits, opaque), 1 (24 bits, transparent) or 2
// (32 bits), both the material's blend and its objects' pass; -1 for none.
int SceneConfigProposal(const Material& m);
