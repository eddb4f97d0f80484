// The host's base components, as the plug-in finds them already loaded in its process: the
// factory each component exports and the objects the plug-in asks it for, each operation at
// its fixed table position.
#pragma once

#include <cstdint>

#include "abi/base.h"

// Objects of the base components count references with their first two operations.
struct INUVObject {
    virtual uint32_t RK_CALL AddRef() = 0;   // 1
    virtual uint32_t RK_CALL Release() = 0;  // 2

  protected:
    ~INUVObject() = default;
};

// Resolves a system function for the compatibility exports.
struct INUVLoader : INUVObject {
    RK_PLACEHOLDER(3)
    RK_PLACEHOLDER(4)
    virtual void* RK_CALL GetFunction(const char16_t* library, const char* function) = 0;  // 5

  protected:
    ~INUVLoader() = default;
};

// The base services' module lookup: a module that is already loaded, never loading one.
struct INUVModuleLookup : INUVObject {
    RK_PLACEHOLDER(3)
    virtual void* RK_CALL GetModule(const char16_t* name) = 0;  // 4

  protected:
    ~INUVModuleLookup() = default;
};

// Digest bytes to hexadecimal text and back.
struct IBaseComponent : INUVObject {
    RK_PLACEHOLDER(3)
    RK_PLACEHOLDER(4)
    RK_PLACEHOLDER(5)
    // buffer holds kHexTextChars characters; the text is written NUL-terminated.
    virtual int32_t RK_CALL BytesToHexText(const void* bytes, uint32_t length, uint32_t flags,
                                           char16_t* buffer) = 0;  // 6
    virtual int32_t RK_CALL HexTextToBytes(const char16_t* text, uint32_t length,
                                           void* result) = 0;  // 7

    static constexpr uint32_t kHexTextChars = 516;

  protected:
    ~IBaseComponent() = default;
};

// Exported by every base component: a new object holding one reference for the caller.
using CreateNUVObjectFn = int32_t(RK_CALL*)(const RkGuid* iid, void** out);
inline constexpr char kCreateNUVObjectName[] = "CreateNUVObject";

// The loader object, from "NUVBase.win32.dll".
inline constexpr RkGuid IID_NUVCompatLoader = {
    0xF73595D8, 0xC098, 0x4549, {0xAD, 0xF9, 0x80, 0x42, 0xF8, 0x7A, 0xF3, 0x39}};
// The base services: the fourth from "HolmBase.dll", the others from "NUVBase.dll".
inline constexpr RkGuid IID_NUVBaseService1 = {
    0x52203844, 0x735C, 0x447B, {0xAC, 0xBC, 0x73, 0x45, 0x63, 0x37, 0x67, 0x2C}};
inline constexpr RkGuid IID_NUVBaseService2 = {
    0xDCBDC082, 0x7349, 0x4FB8, {0x88, 0x50, 0x35, 0x04, 0xCB, 0x47, 0x7C, 0x72}};
inline constexpr RkGuid IID_NUVModuleLookup = {
    0x62C4D866, 0xAC50, 0x4A39, {0xB2, 0xEC, 0xCA, 0x50, 0xE5, 0xAC, 0x94, 0xCD}};
inline constexpr RkGuid IID_HolmBaseService = {
    0x427FB576, 0xCFB6, 0x4786, {0x94, 0x0D, 0xE1, 0xD0, 0x0E, 0x55, 0x21, 0xBA}};
inline constexpr RkGuid IID_NUVBaseService5 = {
    0xFC588690, 0x8589, 0x4EDA, {0xBB, 0xB4, 0x2E, 0x41, 0x96, 0x4C, 0xB5, 0x80}};
// The digest text component, from the module the lookup names "module.base".
inline constexpr RkGuid IID_BaseComponent = {
    0x0DC96F71, 0x3DB7, 0x4EBE, {0x91, 0xDB, 0x8A, 0x49, 0x94, 0x1C, 0x0F, 0x3B}};
