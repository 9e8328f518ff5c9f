// The recording GL's line format, linked in so the tests can write the
// lines they expect (pixel hashes included) exactly as the library does.
#include "../recgl/recgl_format.cpp"
