// A base component for the tests, written from the operations the plug-in relies on: its
// factory makes the loader object, the base services and the digest text component, and it
// records every call the plug-in makes of it. On Windows it is a DLL loaded under the
// components' names; natively the test links it and registers it as those modules.
#pragma once

#include <cstdint>

#include "abi/nuv_base.h"

#if defined(_WIN32) && defined(NUV_COMPONENT_BUILD)
#define NUV_EXPORT __declspec(dllexport)
#else
#define NUV_EXPORT
#endif

extern "C" {

NUV_EXPORT int32_t RK_CALL CreateNUVObject(const RkGuid* iid, void** out);

// The calls seen, one line each: "create <id>", "GetFunction <library> <function>",
// "GetModule <name>".
using NuvTestLogFn = const char* (*)();
NUV_EXPORT const char* NuvTestLog();
using NuvTestLiveObjectsFn = int32_t (*)();
NUV_EXPORT int32_t NuvTestLiveObjects();
NUV_EXPORT void NuvTestClearLog();

}  // extern "C"
