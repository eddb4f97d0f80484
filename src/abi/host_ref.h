// The one holder for every reference-counted pointer the plug-in keeps. Its type says whether
// the holder owns a reference: a counted holder takes a reference on what it stores and drops
// the one on what it stored before; a borrowed holder (the framework, the cloud engine, the
// services the process tree helper uses) only keeps the pointer and never adds or releases.
// The pointer is atomic, so one thread may store while others read.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

#include "abi/base.h"

namespace tierlock {

enum class Hold { Counted, Borrowed };

template <class T, Hold kHold = Hold::Counted>
class HostRef {
  public:
    constexpr HostRef() noexcept = default;
    ~HostRef() {
        if constexpr (kHold == Hold::Counted) {
            Reset();
        }
    }
    HostRef(const HostRef&) = delete;
    HostRef& operator=(const HostRef&) = delete;

    T* Get() const noexcept { return ptr_.load(std::memory_order_acquire); }
    T* operator->() const noexcept { return Get(); }
    explicit operator bool() const noexcept { return Get() != nullptr; }

    // Takes over a reference the caller already holds (what a query or a factory handed out).
    // When that is the object already held, the reference held before is the one dropped.
    void Adopt(T* object) noexcept {
        T* old = ptr_.exchange(object, std::memory_order_acq_rel);
        if constexpr (kHold == Hold::Counted) {
            if (old) {
                old->Release();
            }
        }
    }

    // Shares the caller's object: a counted holder takes a reference of its own.
    void Assign(T* object) noexcept {
        if (object == Get()) {
            return;
        }
        if constexpr (kHold == Hold::Counted) {
            if (object) {
                object->AddRef();
            }
        }
        Adopt(object);
    }

    void Reset() noexcept { Adopt(nullptr); }

    // Hands what is held, with its reference, to the caller and leaves the holder empty.
    [[nodiscard]] T* Detach() noexcept { return ptr_.exchange(nullptr, std::memory_order_acq_rel); }

    // Runs handOut(T** out), which writes an object carrying one reference for the caller (or
    // null), keeps what it wrote and answers handOut's status.
    template <class HandOut>
    int32_t Receive(HandOut&& handOut) {
        T* received = nullptr;
        const int32_t status = std::forward<HandOut>(handOut)(&received);
        Adopt(received);
        return status;
    }

    // Asks source for the interface iid and keeps what it hands out, whatever the status.
    template <class Source>
    int32_t Query(Source* source, const RkGuid& iid) {
        return Receive(
            [&](T** out) { return source->QueryInterface(&iid, reinterpret_cast<void**>(out)); });
    }

  private:
    std::atomic<T*> ptr_{nullptr};
};

// A pointer held without a reference of its own.
template <class T>
using BorrowedRef = HostRef<T, Hold::Borrowed>;

}  // namespace tierlock
