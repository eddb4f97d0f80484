// The form in which every path reaches the host's report and the rules: a sysnative path
// becomes its system32 form, and the change is logged.
#pragma once

#include <string>

namespace tierlock {

// A null path gives "".
std::u16string ConvertFilePath(const char16_t* path);

}  // namespace tierlock
