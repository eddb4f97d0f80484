// The property bundles the plug-in hands to the host and reads back from it: the typed bundle
// IASBundle (narrow keys), the key/value bundle IRkBundle (case-insensitive wide keys) and the
// scan item IRKScanItem, all reference-counted through ISmartUnknown. The host reaches every
// operation by its table position, so the declaration order below is the binary interface.
#pragma once

#include <cstdint>

#include "abi/base.h"

// Type codes of IASBundle values.
inline constexpr uint32_t RK_BUNDLE_INT = 0;      // 32-bit integer, 4 bytes
inline constexpr uint32_t RK_BUNDLE_INT64 = 1;    // 64-bit integer, 8 bytes
inline constexpr uint32_t RK_BUNDLE_STRING = 2;   // narrow string with its NUL
inline constexpr uint32_t RK_BUNDLE_BINARY = 3;   // byte block
inline constexpr uint32_t RK_BUNDLE_WSTRING = 4;  // UTF-16 string with its NUL, size in bytes

// Reference counting of every object the plug-in hands out: add, drop, query (not COM's order).
// AddRef and Release return the new count; QueryInterface adds a reference for the caller.
struct ISmartUnknown {
    virtual uint32_t RK_CALL AddRef() = 0;                                      // 1
    virtual uint32_t RK_CALL Release() = 0;                                     // 2
    virtual int32_t RK_CALL QueryInterface(const RkGuid* iid, void** out) = 0;  // 3

  protected:
    ~ISmartUnknown() = default;
};

struct IASBundle;

// The data operations of IASBundle. Keys are NUL-terminated narrow strings compared byte by
// byte. Variable-size reads follow the two-call protocol: a null buffer or a short size answers
// RK_S_BUFFER_TOO_SMALL with the size needed written back.
struct IASBundleBase {
    virtual int32_t RK_CALL Clear() = 0;                                                     // 1
    virtual int32_t RK_CALL CopyTo(IASBundle* destination) = 0;                              // 2
    virtual int32_t RK_CALL PutInt(const char* key, uint32_t value) = 0;                     // 3
    virtual int32_t RK_CALL PutInt64(const char* key, uint32_t low, uint32_t high) = 0;      // 4
    virtual int32_t RK_CALL PutString(const char* key, const char* value) = 0;               // 5
    virtual int32_t RK_CALL PutWString(const char* key, const char16_t* value) = 0;          // 6
    virtual int32_t RK_CALL PutBinary(const char* key, const void* data, int32_t size) = 0;  // 7
    virtual int32_t RK_CALL GetInt(const char* key, uint32_t* value) = 0;                    // 8
    virtual int32_t RK_CALL GetInt64(const char* key, uint64_t* value) = 0;                  // 9
    virtual int32_t RK_CALL GetBinary(const char* key, void* buffer, int32_t* size) = 0;     // 10
    virtual int32_t RK_CALL GetString(const char* key, char* buffer, uint32_t* size) = 0;    // 11
    virtual int32_t RK_CALL GetWString(const char* key, char16_t* buffer,
                                       uint32_t* size) = 0;                // 12 (size in bytes)
    virtual int32_t RK_CALL GetCount(uint32_t* count) = 0;                 // 13
    virtual int32_t RK_CALL GetKeys(char* buffer, uint32_t* size) = 0;     // 14 (double-NUL list)
    virtual int32_t RK_CALL GetType(const char* key, uint32_t* type) = 0;  // 15
    virtual void* RK_DTOR_CALL ScalarDeletingDestructor(uint32_t flags) = 0;  // 16

  protected:
    ~IASBundleBase() = default;
};

// Two tables: the data operations first, the reference count second (AddRef and friends are
// reached through the second table, one pointer further into the object).
struct IASBundle : IASBundleBase, ISmartUnknown {
  protected:
    ~IASBundle() = default;
};

// Tagged byte blocks under wide keys compared without regard to ASCII case. Sizes in bytes.
struct IRkBundle : ISmartUnknown {
    virtual int32_t RK_CALL GetValue(const char16_t* key, void* buffer, int32_t* size,
                                     uint32_t* tag) = 0;  // 4
    virtual int32_t RK_CALL SetValue(const char16_t* key, const void* data, int32_t size,
                                     uint32_t tag) = 0;                     // 5
    virtual int32_t RK_CALL GetNames(char16_t* buffer, int32_t* size) = 0;  // 6 (lowered keys)

  protected:
    ~IRkBundle() = default;
};

// One file described for the host: seventeen fields, each with a setter (true on success) and
// a getter. String getters return the item's own copy (null when never set).
struct IRKScanItem : ISmartUnknown {
    virtual void* RK_DTOR_CALL ScalarDeletingDestructor(uint32_t flags) = 0;  // 4
    virtual bool RK_CALL SetValue1(uint32_t value) = 0;                       // 5
    virtual uint32_t RK_CALL GetValue1() = 0;                                 // 6
    virtual bool RK_CALL SetPath(const char16_t* path) = 0;                   // 7
    virtual const char16_t* RK_CALL GetPath() = 0;                            // 8
    // Holds one reference; the getter adds one for the caller.
    virtual bool RK_CALL SetAttachedObject(ISmartUnknown* object) = 0;         // 9
    virtual ISmartUnknown* RK_CALL GetAttachedObject() = 0;                    // 10
    virtual bool RK_CALL SetMd5(const uint8_t* digest, uint32_t length) = 0;   // 11 (16 bytes)
    virtual bool RK_CALL GetMd5(uint8_t* buffer, uint32_t length) = 0;         // 12
    virtual bool RK_CALL SetSha1(const uint8_t* digest, uint32_t length) = 0;  // 13 (20 bytes)
    virtual bool RK_CALL GetSha1(uint8_t* buffer, uint32_t length) = 0;        // 14
    virtual bool RK_CALL SetText1(const char* text) = 0;                       // 15
    virtual const char* RK_CALL GetText1() = 0;                                // 16
    virtual bool RK_CALL SetText2(const char* text) = 0;                       // 17
    virtual const char* RK_CALL GetText2() = 0;                                // 18
    virtual bool RK_CALL SetFlag(bool flag) = 0;                               // 19 (initially 1)
    virtual bool RK_CALL GetFlag() = 0;                                        // 20
    virtual bool RK_CALL SetValue2(uint32_t value) = 0;                        // 21
    virtual uint32_t RK_CALL GetValue2() = 0;                                  // 22
    virtual bool RK_CALL SetLevel(int32_t level) = 0;                          // 23
    virtual int32_t RK_CALL GetLevel() = 0;                                    // 24
    virtual bool RK_CALL SetSubLevel(int32_t subLevel) = 0;                    // 25
    virtual int32_t RK_CALL GetSubLevel() = 0;                                 // 26
    virtual bool RK_CALL SetText3(const char* text) = 0;                       // 27
    virtual const char* RK_CALL GetText3() = 0;                                // 28
    virtual bool RK_CALL SetRiskType(uint32_t type) = 0;                       // 29
    virtual uint32_t RK_CALL GetRiskType() = 0;                                // 30
    // A string pair ending in a double NUL; kept in a zeroed buffer of at least 261 units.
    virtual bool RK_CALL SetRiskName(const char16_t* names) = 0;  // 31
    virtual const char16_t* RK_CALL GetRiskName() = 0;            // 32
    virtual bool RK_CALL SetValue6(uint32_t value) = 0;           // 33
    virtual uint32_t RK_CALL GetValue6() = 0;                     // 34
    virtual bool RK_CALL SetValue7(uint32_t value) = 0;           // 35
    virtual uint32_t RK_CALL GetValue7() = 0;                     // 36
    virtual bool RK_CALL SetEngineId(uint32_t id) = 0;            // 37
    virtual uint32_t RK_CALL GetEngineId() = 0;                   // 38

  protected:
    ~IRKScanItem() = default;
};

// {EC62E9BC-408E-462E-B831-D2C502D2F406}
inline constexpr RkGuid IID_IASBundle = {
    0xEC62E9BC, 0x408E, 0x462E, {0xB8, 0x31, 0xD2, 0xC5, 0x02, 0xD2, 0xF4, 0x06}};
// {6DADA238-8BD1-4DE4-A224-7D27539DA995}
inline constexpr RkGuid IID_ISmartUnknown = {
    0x6DADA238, 0x8BD1, 0x4DE4, {0xA2, 0x24, 0x7D, 0x27, 0x53, 0x9D, 0xA9, 0x95}};
// {0A817E52-D5F7-4100-AB9F-BADCDBDCD9A5}
inline constexpr RkGuid IID_IRkBundle = {
    0x0A817E52, 0xD5F7, 0x4100, {0xAB, 0x9F, 0xBA, 0xDC, 0xDB, 0xDC, 0xD9, 0xA5}};
// {77126ED9-86E1-4E0B-B55C-85CC3E9B6BA8}
inline constexpr RkGuid IID_IRKScanItem = {
    0x77126ED9, 0x86E1, 0x4E0B, {0xB5, 0x5C, 0x85, 0xCC, 0x3E, 0x9B, 0x6B, 0xA8}};
