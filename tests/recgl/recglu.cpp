// The recording GLU: the GLU names the program binds, each call written as
// one line into the recording GL's trace (so GL and GLU calls interleave in
// call order). Selected with VELMAR_MODULE_GLU32_DLL. gluBuild2DMipmaps
// returns 0 and makes no GL calls of its own.
#include <type_traits>

#include "../../glbind/gl_api.h"
#include "recgl_format.h"

#define RECGL_EXPORT extern "C" __attribute__((visibility("default")))

extern "C" void recglAppend(const char* line);

namespace {

template <class R>
struct Call {
    const char* name;
    const recgl::ArgNames& names;
    template <class... A>
    R operator()(A... a) const {
        recgl::Line l;
        recgl::begin(l, name, names);
        (recgl::arg(l, a), ...);
        recgl::end(l);
        recglAppend(l.text.c_str());
        if constexpr (!std::is_void_v<R>) return R{};
    }
};

}  // namespace

#define RECGLU_DEFINE(ret, name, params, args)                \
    RECGL_EXPORT ret name params {                            \
        static const recgl::ArgNames argNames(#args);         \
        return Call<ret>{#name, argNames} args;               \
    }
GLU_API_LIST(RECGLU_DEFINE)
#undef RECGLU_DEFINE

// The rest of the table: present so that the binding finds every name;
// never called by the program, written bare if they are.
#define RECGLU_UNTYPED(name) \
    RECGL_EXPORT void name(void) { recglAppend(#name "(...)"); }
#define RECGLU_SKIP(name)
GLU_NAME_LIST(RECGLU_UNTYPED, RECGLU_SKIP)
#undef RECGLU_UNTYPED
#undef RECGLU_SKIP
