// layers_internal.h - shared between the reader and the GL side of the unit.
#pragma once

#include <string>

#include "../frame/rtfile.h"
#include "layers.h"

// Gives a layer its GL texture while the file is read; null reads no texture.
using IfeTextureProc = uint32_t (*)(const ShortString& textureName, const ShortString& folder);

void ifeParseWith(InterfaceLayerSet& set, const std::string& text, const ShortString& fileName,
                  const ShortString& folder, IfeTextureProc textureFor);

// Frees the arrays; `release` (may be null) gives each layer's texture back.
void ifeFreeWith(InterfaceLayerSet& set, void (*release)(uint32_t));
