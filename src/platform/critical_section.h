#pragma once

namespace tierlock::platform {

// A Windows critical section behind two virtual operations. Elsewhere a mutex stands in.
class ZmLockerCSEx {
  public:
    ZmLockerCSEx();
    virtual ~ZmLockerCSEx();
    ZmLockerCSEx(const ZmLockerCSEx&) = delete;
    ZmLockerCSEx& operator=(const ZmLockerCSEx&) = delete;

    virtual void Lock();
    virtual void Unlock();

  private:
    // Room for the platform's lock object, so that no Windows header leaks out of this folder.
    alignas(8) unsigned char m_section[64];
};

// The process-wide lock: set up when the module is loaded, deleted when it is unloaded.
ZmLockerCSEx& ProcessLocker();

// Holds a ZmLockerCSEx for one scope.
class ZmLockerGuard {
  public:
    explicit ZmLockerGuard(ZmLockerCSEx& locker) : m_locker(locker) { m_locker.Lock(); }
    ~ZmLockerGuard() { m_locker.Unlock(); }
    ZmLockerGuard(const ZmLockerGuard&) = delete;
    ZmLockerGuard& operator=(const ZmLockerGuard&) = delete;

  private:
    ZmLockerCSEx& m_locker;
};

}  // namespace tierlock::platform
