// settings.h - the renderer's switches, read while drawing.
//
// Both start true; the main program turns the wire overlay off before the
// show. `anisotropyEnabled` also shows as the "a" in the status text.
#pragma once

extern bool wireOverlayEnabled;  // draw the wire overlay of objects marked wireframe
extern bool anisotropyEnabled;   // maximum anisotropic filtering for material textures
