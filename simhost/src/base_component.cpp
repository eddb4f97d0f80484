#include "simhost/base_component.h"

#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace simhost {
namespace {

std::mutex g_callsMutex;
std::string g_calls;
std::atomic<int32_t> g_live{0};
std::atomic<uint64_t> g_clears{0};
std::atomic<ModuleLookupFn> g_moduleLookup{nullptr};

void Record(const std::string& line) {
    std::lock_guard lock(g_callsMutex);
    g_calls += line + "\n";
}

std::string Narrow(const char16_t* text) {
    std::string narrow;
    for (; text && *text; ++text) {
        narrow += static_cast<char>(*text);
    }
    return narrow;
}

std::string IdText(const RkGuid& iid) {
    char text[40];
    std::snprintf(text, sizeof(text), "%08X-%04X-%04X", static_cast<unsigned>(iid.Data1), iid.Data2,
                  iid.Data3);
    return text;
}

int Nibble(char16_t c) {
    return c <= u'9' ? c - u'0' : (c | 0x20) - u'a' + 10;
}

#ifndef _WIN32
// A shared object the process has loaded under that name (its SONAME), holding no reference.
void* LoadedObject(const std::string& name) {
    void* handle = name.empty() ? nullptr : dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle) {
        dlclose(handle);
    }
    return handle;
}
#endif

// A factory-made object: deleted with its last reference, counted while alive.
template <class Interface>
class Made : public Interface {
  public:
    Made() { ++g_live; }
    virtual ~Made() { --g_live; }

    uint32_t RK_CALL AddRef() override { return ++refs_; }
    uint32_t RK_CALL Release() override {
        const uint32_t left = --refs_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

  private:
    std::atomic<uint32_t> refs_{1};
};

class Loader final : public Made<INUVLoader> {
  public:
    void* RK_CALL GetFunction(const char16_t* library, const char* function) override {
        Record("GetFunction " + Narrow(library) + " " + function);
#ifdef _WIN32
        HMODULE module = GetModuleHandleW(reinterpret_cast<const wchar_t*>(library));
        return module ? reinterpret_cast<void*>(GetProcAddress(module, function)) : nullptr;
#else
        return nullptr;
#endif
    }
};

class ModuleLookup final : public Made<INUVModuleLookup> {
  public:
    void* RK_CALL GetModule(const char16_t* name) override {
        Record("GetModule " + Narrow(name));
#ifdef _WIN32
        return GetModuleHandleW(reinterpret_cast<const wchar_t*>(name));
#else
        const ModuleLookupFn lookup = g_moduleLookup.load();
        return lookup ? lookup(name) : LoadedObject(Narrow(name));
#endif
    }
};

class Service final : public Made<INUVObject> {};

}  // namespace

BaseComponent::BaseComponent(bool ownedByReferences) : ownedByReferences_(ownedByReferences) {
    if (ownedByReferences_) {
        refs_ = 1;
        ++g_live;
    }
}

BaseComponent* BaseComponent::MadeByFactory() {
    return new BaseComponent(true);
}

BaseComponent::~BaseComponent() {
    if (ownedByReferences_) {
        --g_live;
    }
}

uint32_t RK_CALL BaseComponent::AddRef() {
    return ++refs_;
}

uint32_t RK_CALL BaseComponent::Release() {
    uint32_t current = refs_.load();
    while (current != 0) {
        if (refs_.compare_exchange_weak(current, current - 1)) {
            if (current == 1 && ownedByReferences_) {
                delete this;
            }
            return current - 1;
        }
    }
    ++underflows_;
    return 0;
}

int32_t RK_CALL BaseComponent::BytesToHexText(const void* bytes, uint32_t length, uint32_t,
                                              char16_t* buffer) {
    static const char16_t kDigits[] = u"0123456789ABCDEF";
    if (!bytes || !buffer || length * 2 >= kHexTextChars) {
        return RK_E_INVALIDARG;
    }
    const auto* data = static_cast<const uint8_t*>(bytes);
    for (uint32_t i = 0; i < length; ++i) {
        buffer[2 * i] = kDigits[data[i] >> 4];
        buffer[2 * i + 1] = kDigits[data[i] & 15];
    }
    buffer[2 * length] = u'\0';
    return RK_S_OK;
}

int32_t RK_CALL BaseComponent::HexTextToBytes(const char16_t* text, uint32_t length, void* result) {
    {
        std::lock_guard lock(mutex_);
        ForgetIfCleared();
        decoded_.emplace_back(text, length);
    }
    if (const int32_t status = decodeStatus_.load(); status != 0) {
        return status;
    }
    auto* out = static_cast<uint8_t*>(result);
    const uint32_t count = length / 2;
    std::memcpy(out, &count, sizeof(count));
    std::memset(out + 4, 0, 4);
    for (uint32_t i = 0; i < count; ++i) {
        out[8 + i] = static_cast<uint8_t>(Nibble(text[2 * i]) << 4 | Nibble(text[2 * i + 1]));
    }
    return RK_S_OK;
}

void BaseComponent::SetFileDigests(const std::u16string& path, DigestTexts texts) {
    std::lock_guard lock(mutex_);
    digests_[path] = std::move(texts);
}

std::optional<BaseComponent::DigestTexts> BaseComponent::FileDigests(
    const std::u16string& path) const {
    std::lock_guard lock(mutex_);
    const auto found = digests_.find(path);
    if (found == digests_.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::vector<std::u16string> BaseComponent::decoded() const {
    std::lock_guard lock(mutex_);
    ForgetIfCleared();
    return decoded_;
}

void BaseComponent::ForgetIfCleared() const {
    if (const uint64_t clears = g_clears.load(); clears != clearsSeen_) {
        decoded_.clear();
        clearsSeen_ = clears;
    }
}

void SetModuleLookup(ModuleLookupFn lookup) {
    g_moduleLookup = lookup;
}

}  // namespace simhost

extern "C" {

int32_t RK_CALL CreateNUVObject(const RkGuid* iid, void** out) {
    using namespace simhost;
    if (!iid || !out) {
        return RK_E_INVALIDARG;
    }
    Record("create " + IdText(*iid));
    if (*iid == IID_NUVCompatLoader) {
        *out = static_cast<INUVLoader*>(new Loader());
    } else if (*iid == IID_NUVModuleLookup) {
        *out = static_cast<INUVModuleLookup*>(new ModuleLookup());
    } else if (*iid == IID_BaseComponent) {
        *out = static_cast<IBaseComponent*>(BaseComponent::MadeByFactory());
    } else if (*iid == IID_NUVBaseService1 || *iid == IID_NUVBaseService2 ||
               *iid == IID_NUVBaseService5 || *iid == IID_HolmBaseService) {
        *out = static_cast<INUVObject*>(new Service());
    } else {
        *out = nullptr;
        return RK_E_NOINTERFACE;
    }
    return RK_S_OK;
}

const char* BaseComponentCalls() {
    using namespace simhost;
    std::lock_guard lock(g_callsMutex);
    static std::string copy;
    copy = g_calls;
    return copy.c_str();
}

int32_t BaseComponentLiveObjects() {
    return simhost::g_live.load();
}

void BaseComponentClearCalls() {
    using namespace simhost;
    std::lock_guard lock(g_callsMutex);
    g_calls.clear();
    ++g_clears;
}

}  // extern "C"
