#include <windows.h>

#include <new>

#include "platform/critical_section.h"

namespace tierlock::platform {
namespace {

static_assert(sizeof(CRITICAL_SECTION) <= 64);

ZmLockerCSEx g_processLocker;

}  // namespace

ZmLockerCSEx::ZmLockerCSEx() {
    InitializeCriticalSection(new (m_section) CRITICAL_SECTION);
}

ZmLockerCSEx::~ZmLockerCSEx() {
    DeleteCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(m_section));
}

void ZmLockerCSEx::Lock() {
    EnterCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(m_section));
}

void ZmLockerCSEx::Unlock() {
    LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(m_section));
}

ZmLockerCSEx& ProcessLocker() {
    return g_processLocker;
}

}  // namespace tierlock::platform
