// The host's base component, written from the operations the plug-in relies on. Its factory,
// CreateNUVObject, makes the loader object, the base services and the digest text component
// and records every call the plug-in makes of them. The digest text component turns bytes into
// upper-case hexadecimal text and decodes a text after an 8-byte head that holds the decoded
// length; it also keeps the MD5 and SHA-1 texts of files by path, for a host whose file cache
// hands them out. Part of simhost, and also built as a library of its own, which tests and the
// tool load under the components' names: on Windows base_component.dll, copied to each name;
// natively one shared object per name, named so by its SONAME.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "abi/nuv_base.h"

#if defined(_WIN32) && defined(SIMHOST_BASE_COMPONENT_DLL)
#define SIMHOST_COMPONENT_EXPORT __declspec(dllexport)
#else
#define SIMHOST_COMPONENT_EXPORT
#endif

namespace simhost {

class BaseComponent final : public IBaseComponent {
  public:
    struct DigestTexts {
        std::u16string md5;
        std::u16string sha1;
    };

    // Owned by its user: a release never deletes it, and refs() and underflows() tell how the
    // plug-in held it.
    BaseComponent() = default;
    // Made by the factory: deleted when its last reference is dropped, counted while alive.
    static BaseComponent* MadeByFactory();
    ~BaseComponent();
    BaseComponent(const BaseComponent&) = delete;
    BaseComponent& operator=(const BaseComponent&) = delete;

    uint32_t RK_CALL AddRef() override;
    uint32_t RK_CALL Release() override;
    int32_t RK_CALL BytesToHexText(const void* bytes, uint32_t length, uint32_t flags,
                                   char16_t* buffer) override;
    int32_t RK_CALL HexTextToBytes(const char16_t* text, uint32_t length, void* result) override;

    // The digest texts of the file at path; none until they are set.
    void SetFileDigests(const std::u16string& path, DigestTexts texts);
    std::optional<DigestTexts> FileDigests(const std::u16string& path) const;

    // A status other than 0 is answered by HexTextToBytes, which then decodes nothing.
    void SetDecodeStatus(int32_t status) { decodeStatus_ = status; }
    // The texts it was asked to decode, in order.
    std::vector<std::u16string> decoded() const;

    uint32_t refs() const { return refs_.load(); }
    uint32_t underflows() const { return underflows_.load(); }

  private:
    explicit BaseComponent(bool ownedByReferences);

    bool ownedByReferences_ = false;
    std::atomic<uint32_t> refs_{0};
    std::atomic<uint32_t> underflows_{0};
    std::atomic<int32_t> decodeStatus_{0};
    // Empties decoded_ when BaseComponentClearCalls ran since it last looked; under mutex_.
    void ForgetIfCleared() const;

    mutable std::mutex mutex_;
    mutable std::vector<std::u16string> decoded_;
    mutable uint64_t clearsSeen_ = 0;
    std::map<std::u16string, DigestTexts> digests_;
};

// Where the module lookup service finds modules off Windows (on Windows: GetModuleHandleW);
// without one, the shared objects the process has loaded, by SONAME.
using ModuleLookupFn = void* (*)(const char16_t* name);
void SetModuleLookup(ModuleLookupFn lookup);

}  // namespace simhost

extern "C" {

// The factory the plug-in finds by name in a loaded component.
SIMHOST_COMPONENT_EXPORT int32_t RK_CALL CreateNUVObject(const RkGuid* iid, void** out);

// The calls seen, one line each: "create <id>", "GetFunction <library> <function>",
// "GetModule <name>".
using BaseComponentCallsFn = const char* (*)();
SIMHOST_COMPONENT_EXPORT const char* BaseComponentCalls();
// Objects the factory made that are still alive.
using BaseComponentLiveObjectsFn = int32_t (*)();
SIMHOST_COMPONENT_EXPORT int32_t BaseComponentLiveObjects();
// Forgets the calls, and the texts every object has decoded, seen so far.
SIMHOST_COMPONENT_EXPORT void BaseComponentClearCalls();

}  // extern "C"
