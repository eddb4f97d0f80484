#include "nuv_component.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/native_functions.h"
#endif

namespace {

std::mutex g_mutex;
std::string g_log;
std::atomic<int32_t> g_live{0};

void Record(const std::string& line) {
    std::lock_guard lock(g_mutex);
    g_log += line + "\n";
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

template <class Interface>
class Object : public Interface {
  public:
    Object() { ++g_live; }
    virtual ~Object() { --g_live; }

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

class Loader final : public Object<INUVLoader> {
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

class ModuleLookup final : public Object<INUVModuleLookup> {
  public:
    void* RK_CALL GetModule(const char16_t* name) override {
        Record("GetModule " + Narrow(name));
#ifdef _WIN32
        return GetModuleHandleW(reinterpret_cast<const wchar_t*>(name));
#else
        return tierlock::platform::os::ModuleHandle(name);
#endif
    }
};

class Component final : public Object<IBaseComponent> {
  public:
    int32_t RK_CALL BytesToHexText(const void* bytes, uint32_t length, uint32_t,
                                   char16_t* buffer) override {
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
    int32_t RK_CALL HexTextToBytes(const char16_t* text, uint32_t length, void* result) override {
        if (!text || !result || length % 2) {
            return RK_E_INVALIDARG;
        }
        auto* out = static_cast<uint8_t*>(result);
        for (uint32_t i = 0; i < length; i += 2) {
            const auto digit = [](char16_t c) {
                return c <= u'9' ? c - u'0' : (c | 0x20) - u'a' + 10;
            };
            out[i / 2] = static_cast<uint8_t>(digit(text[i]) * 16 + digit(text[i + 1]));
        }
        return RK_S_OK;
    }
};

class Service final : public Object<INUVObject> {};

}  // namespace

extern "C" {

int32_t RK_CALL CreateNUVObject(const RkGuid* iid, void** out) {
    if (!iid || !out) {
        return RK_E_INVALIDARG;
    }
    Record("create " + IdText(*iid));
    if (*iid == IID_NUVCompatLoader) {
        *out = static_cast<INUVLoader*>(new Loader());
    } else if (*iid == IID_NUVModuleLookup) {
        *out = static_cast<INUVModuleLookup*>(new ModuleLookup());
    } else if (*iid == IID_BaseComponent) {
        *out = static_cast<IBaseComponent*>(new Component());
    } else if (*iid == IID_NUVBaseService1 || *iid == IID_NUVBaseService2 ||
               *iid == IID_NUVBaseService5 || *iid == IID_HolmBaseService) {
        *out = static_cast<INUVObject*>(new Service());
    } else {
        *out = nullptr;
        return RK_E_NOINTERFACE;
    }
    return RK_S_OK;
}

const char* NuvTestLog() {
    std::lock_guard lock(g_mutex);
    static std::string copy;
    copy = g_log;
    return copy.c_str();
}

int32_t NuvTestLiveObjects() {
    return g_live.load();
}

void NuvTestClearLog() {
    std::lock_guard lock(g_mutex);
    g_log.clear();
}

}  // extern "C"
