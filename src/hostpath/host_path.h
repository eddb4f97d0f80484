// The form in which every path reaches the host's report and the rules: a sysnative path
// becomes its system32 form, and the change is logged.
#pragma once

#include <string>
#include <string_view>

namespace tierlock {

// A null path gives "".
std::u16string ConvertFilePath(const char16_t* path);
// The same text without a copy when the path has no other form: the answer views path itself,
// or converted, which then holds the new form.
std::u16string_view ConvertFilePathView(const char16_t* path, std::u16string& converted);

}  // namespace tierlock
