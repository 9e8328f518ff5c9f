// base.h - binding of the Base services module (Modules/Base.so).
//
// `Base` is the entry-point table, filled by name from the one name list in
// modules/base/base_api.h. Slot 0 of the exit table releases it.
#pragma once

#include "../modules/base/base_api.h"

struct BaseServices {
    void* handle;
#define BS_SLOT(ret, name, params) ret(*name) params;
    BS_API_LIST(BS_SLOT)
    BS_EXTRA_LIST(BS_SLOT)  // 0 when the module lacks them
#undef BS_SLOT
};

extern BaseServices Base;

// Loads the module from `path`, binds the 54 names, calls BS_BaseInit with the
// command line and registers the exit procedure "Release base lib ..." at
// slot 0. On failure writes "error... <path> not found ..." to standard error
// and ends the process with exit code 1.
void BaseBind(const char* path, int argc, char** argv);

// Like BaseBind, without the exit: returns false when the module is missing.
bool BaseTryBind(const char* path, int argc, char** argv);

// Default location: Modules/Base.so beside the executable, unless
// VELMAR_MODULE_BASE names another file.
const char* BaseDefaultPath();

// Entry points of our own (BS_EXTRA_LIST), 0 when the module lacks them.
void* BaseExtra(const char* name);
