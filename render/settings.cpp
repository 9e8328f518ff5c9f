#include "settings.h"

bool wireOverlayEnabled = true;
bool anisotropyEnabled = true;
