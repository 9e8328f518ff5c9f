// The recording GLU: the GLU names the program binds, each call written as
// one line into the recording GL's trace (so GL and GLU calls interleave in
// call order). gluBuild2DMipmaps returns 0 and makes no GL calls of its own.
#include "../../glbind/gl_api.h"
#include "recgl_format.h"

#define RECGL_EXPORT extern "C" __attribute__((visibility("default")))

extern "C" void recglAppend(const char* line);

#define RECGLU_DEFINE(ret, name, params, args)                                           \
    RECGL_EXPORT ret name params {                                                       \
        static const auto names = recgl::argNames(#args);                                \
        [](auto... a) { recglAppend(recgl::line(#name, names, {a...}).c_str()); } args; \
        return ret();                                                                    \
    }
GLU_API_LIST(RECGLU_DEFINE)

// The rest of the table: present so that the binding finds every name;
// never called by the program, written bare if they are.
#define RECGLU_UNTYPED(name) RECGL_EXPORT void name(void) { recglAppend(#name "(...)"); }
#define RECGLU_SKIP(name)
GLU_NAME_LIST(RECGLU_UNTYPED, RECGLU_SKIP)
