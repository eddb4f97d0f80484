// The process-wide table of system library functions that the native readers call, resolved
// by name at run time because older systems lack some of them.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tierlock::native {

class NtFunctionTable {
  public:
    // Created on first use; lives until the process ends.
    static NtFunctionTable& Instance();

    // Looks every name up once. Readers built at the same moment all wait for the whole fill,
    // so none of them finds a function missing that is merely not entered yet.
    void Fill();

    // The function's address, or null when the system library does not export it.
    void* Find(std::string_view name) const;

  private:
    NtFunctionTable() = default;

    std::once_flag m_filled;
    std::unordered_map<std::string, void*> m_functions;
};

}  // namespace tierlock::native
