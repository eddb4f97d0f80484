// The host's base components, used only when they are already loaded in the process: the
// loader object behind the compatibility exports, the base services and the digest text
// component. Created on first use, kept until the process ends.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "abi/nuv_base.h"

namespace tierlock::components {

class NUVComponents {
  public:
    NUVComponents() = default;
    // Drops the references held; the process-wide instance is never destroyed.
    ~NUVComponents();
    NUVComponents(const NUVComponents&) = delete;
    NUVComponents& operator=(const NUVComponents&) = delete;

    // The loader holder: a cell holding the loader object from "NUVBase.win32.dll", or null
    // when that component is not loaded. Made once; an allocation failure reaches the caller
    // and the next call tries again.
    INUVLoader** GetCompatLoader();

    // The digest text component with one reference added for the caller, or null. While none
    // has been made, each call tries again.
    IBaseComponent* GetBaseComponent();

  private:
    enum Service { kFirst, kSecond, kModuleLookup, kFourth, kFifth, kServiceCount };

    void MakeBaseServices();

    std::once_flag m_loaderMade;
    INUVLoader** m_loader = nullptr;
    std::once_flag m_servicesMade;
    INUVObject* m_services[kServiceCount] = {};
    std::atomic<IBaseComponent*> m_baseComponent{nullptr};
};

// The components of this process.
NUVComponents& ProcessComponents();

inline INUVLoader** GetCompatLoader() {
    return ProcessComponents().GetCompatLoader();
}
inline IBaseComponent* GetBaseComponent() {
    return ProcessComponents().GetBaseComponent();
}

}  // namespace tierlock::components
