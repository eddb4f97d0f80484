// Reference-holding pointer for host services: storing a different object takes a reference
// on the new one and drops the one held on the old; destruction drops what is still held.
#pragma once

#include <utility>

namespace tierlock {

template <class T>
class HostRef {
  public:
    HostRef() = default;
    ~HostRef() { Reset(); }
    HostRef(const HostRef&) = delete;
    HostRef& operator=(const HostRef&) = delete;

    T* Get() const { return ptr_; }
    T* operator->() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }

    // Shares the caller's object: takes a reference of our own.
    void Assign(T* object) {
        if (object == ptr_) {
            return;
        }
        if (object) {
            object->AddRef();
        }
        Adopt(object);
    }

    // Takes over a reference the caller already holds (a service handed out by a query).
    void Adopt(T* object) {
        T* old = std::exchange(ptr_, object);
        if (old) {
            old->Release();
        }
    }

    void Reset() { Adopt(nullptr); }

    // Drops what is held and returns the slot for a query to write into.
    void** ResetAndReceive() {
        Reset();
        return reinterpret_cast<void**>(&ptr_);
    }

  private:
    T* ptr_ = nullptr;
};

}  // namespace tierlock
