#include <mutex>
#include <new>

#include "platform/critical_section.h"

namespace tierlock::platform {
namespace {

static_assert(sizeof(std::recursive_mutex) <= 64);

// A critical section may be entered again by the thread that holds it.
std::recursive_mutex& Section(unsigned char* storage) {
    return *std::launder(reinterpret_cast<std::recursive_mutex*>(storage));
}

ZmLockerCSEx g_processLocker;

}  // namespace

ZmLockerCSEx::ZmLockerCSEx() {
    new (m_section) std::recursive_mutex;
}

ZmLockerCSEx::~ZmLockerCSEx() {
    Section(m_section).~recursive_mutex();
}

void ZmLockerCSEx::Lock() {
    Section(m_section).lock();
}

void ZmLockerCSEx::Unlock() {
    Section(m_section).unlock();
}

ZmLockerCSEx& ProcessLocker() {
    return g_processLocker;
}

}  // namespace tierlock::platform
