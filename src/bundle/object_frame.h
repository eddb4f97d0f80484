// The frame under every object the plug-in hands to the host: an atomic reference count and
// the two hooks that run, in this order, when the last reference goes: final release (nothing
// to do for our objects) and self-destruction. SmartUnknownImpl puts ISmartUnknown on top of it
// once for every object class.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <new>
#include <type_traits>

#include "abi/boundary.h"
#include "abi/bundle.h"
#include "bundle/memory.h"

namespace tierlock::Base {

// The frame needs no lock of its own: the count is atomic and each object guards its data.
struct empty_locker {
    void lock() noexcept {}
    void unlock() noexcept {}
};

// Objects live in bundle memory, so tests can count every construction and destruction.
struct default_object_creator {
    template <class T>
    [[nodiscard]] static T* CreateInstance() noexcept {
        static_assert(std::is_nothrow_default_constructible_v<T>);
        void* memory = AllocateBundleMemory(MemoryKind::Object, sizeof(T));
        return memory ? ::new (memory) T() : nullptr;
    }
    template <class T>
    static void DestroyInstance(T* object) noexcept {
        object->~T();
        ReleaseBundleMemory(MemoryKind::Object, object);
    }
};

class CNUVObjectBase {
  public:
    CNUVObjectBase(const CNUVObjectBase&) = delete;
    CNUVObjectBase& operator=(const CNUVObjectBase&) = delete;

  protected:
    CNUVObjectBase() noexcept = default;
    ~CNUVObjectBase() = default;

    // The frame table, in slot order.
    virtual void FinalRelease() noexcept {}
    virtual void DestroySelf() noexcept = 0;

    std::atomic<uint32_t> m_refCount{0};
};

// One instantiation per object class; the count starts at 0 and the creator takes the first
// reference.
template <class T, class Locker = empty_locker, class Creator = default_object_creator>
class CNUVObjectImpl : public CNUVObjectBase {
  public:
    [[nodiscard]] static T* CreateInstance() noexcept {
        return Creator::template CreateInstance<T>();
    }

  protected:
    CNUVObjectImpl() noexcept = default;
    ~CNUVObjectImpl() = default;

    void DestroySelf() noexcept override { Creator::DestroyInstance(static_cast<T*>(this)); }

    uint32_t InternalAddRef() noexcept {
        return m_refCount.fetch_add(1, std::memory_order_relaxed) + 1;
    }
    // Whoever drops the last reference must see every write made under the other references.
    uint32_t InternalRelease() noexcept {
        const uint32_t left = m_refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) {
            {
                std::lock_guard<Locker> guard(m_frameLocker);
                FinalRelease();
            }
            DestroySelf();
        }
        return left;
    }

    // The table's destructor entry: destroys, and frees the memory when asked to.
    void* DestroyByFlags(uint32_t flags) noexcept {
        T* self = static_cast<T*>(this);
        if (flags & RK_DELETE_FLAG) {
            Creator::DestroyInstance(self);
        } else {
            self->~T();
        }
        return self;
    }

  private:
    [[no_unique_address]] Locker m_frameLocker;
};

// The reference counting of every object the plug-in hands out, written once: T implements
// Interface, whose id is kInterfaceId, and the object answers that id and IID_ISmartUnknown.
// The interface's tables come first in the object, the frame's after them.
template <class T, class Interface, const RkGuid& kInterfaceId>
class SmartUnknownImpl : public Interface, public CNUVObjectImpl<T> {
  public:
    uint32_t RK_CALL AddRef() override {
        return CatchReturn(uint32_t{0}, [&] { return this->InternalAddRef(); });
    }
    uint32_t RK_CALL Release() override {
        return CatchReturn(uint32_t{0}, [&] { return this->InternalRelease(); });
    }
    // Adds a reference for the caller to what it hands out.
    int32_t RK_CALL QueryInterface(const RkGuid* iid, void** out) override {
        return CatchReturn(RK_E_NOINTERFACE, [&] {
            if (!out) {
                return RK_E_INVALIDARG;
            }
            *out = nullptr;
            if (!iid) {
                return RK_E_INVALIDARG;
            }
            void* served = nullptr;
            if (*iid == kInterfaceId) {
                served = static_cast<Interface*>(this);
            } else if (*iid == IID_ISmartUnknown) {
                served = static_cast<ISmartUnknown*>(this);
            } else {
                return RK_E_NOINTERFACE;
            }
            this->InternalAddRef();
            *out = served;
            return RK_S_OK;
        });
    }

  protected:
    SmartUnknownImpl() noexcept = default;
    ~SmartUnknownImpl() = default;
};

// The factories' common shape: a new object whose one reference goes to the caller.
template <class Impl, class Interface>
[[nodiscard]] int32_t CreateAndHandOut(Interface** out) noexcept {
    return CatchReturn(RK_E_OUTOFMEMORY, [&] {
        if (!out) {
            return RK_E_INVALIDARG;
        }
        *out = nullptr;
        Impl* object = Impl::CreateInstance();
        if (!object) {
            return RK_E_OUTOFMEMORY;
        }
        object->AddRef();
        *out = object;
        return RK_S_OK;
    });
}

}  // namespace tierlock::Base
