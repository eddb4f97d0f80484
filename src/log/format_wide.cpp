// A small printf subset over UTF-16. No library in reach formats char16_t printf-style
// (swprintf works on wchar_t, which is 32-bit on Linux), and the message texts only use
// a handful of conversions, so the subset is written here with strict argument checks.
#include <charconv>

#include "log/log.h"

namespace tierlock {
namespace {

void AppendAscii(std::u16string& out, const char* begin, const char* end) {
    for (const char* p = begin; p != end; ++p) {
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*p)));
    }
}

template <class T>
void AppendNumber(std::u16string& out, T value, int base, bool upper) {
    char digits[24];
    auto [end, ec] = std::to_chars(digits, digits + sizeof(digits), value, base);
    if (upper) {
        for (char* p = digits; p != end; ++p) {
            if (*p >= 'a' && *p <= 'f') {
                *p = static_cast<char>(*p - 'a' + 'A');
            }
        }
    }
    AppendAscii(out, digits, end);
}

}  // namespace

std::u16string FormatWideArgs(const char16_t* format, std::span<const FormatArg> args) {
    std::u16string out;
    if (!format) {
        return out;
    }
    size_t next = 0;
    for (const char16_t* p = format; *p; ++p) {
        if (*p != u'%') {
            out.push_back(*p);
            continue;
        }
        ++p;
        if (*p == u'%') {
            out.push_back(u'%');
            continue;
        }
        bool is64 = false;
        if (p[0] == u'l' && p[1] == u'l') {
            is64 = true;
            p += 2;
        }
        const char16_t conversion = *p;
        const bool known = is64 ? conversion == u'u'
                                : (conversion == u'd' || conversion == u'u' || conversion == u'x' ||
                                   conversion == u'X' || conversion == u's');
        if (!known || next >= args.size()) {
            return {};
        }
        const FormatArg& arg = args[next++];
        if (conversion == u's') {
            if (arg.kind() == FormatArg::Kind::Ascii) {
                for (const char* c = arg.ascii(); c && *c; ++c) {
                    out.push_back(static_cast<unsigned char>(*c));
                }
                continue;
            }
            if (arg.kind() != FormatArg::Kind::Wide) {
                return {};
            }
            out.append(arg.text() ? arg.text() : u"(null)");
            continue;
        }
        if (arg.kind() != FormatArg::Kind::Integer) {
            return {};
        }
        // Integers narrower than the conversion are read the way a varargs slot would be.
        const uint32_t low = static_cast<uint32_t>(arg.bits());
        if (is64) {
            AppendNumber(out, arg.bits(), 10, false);
        } else if (conversion == u'd') {
            AppendNumber(out, static_cast<int32_t>(low), 10, false);
        } else if (conversion == u'u') {
            AppendNumber(out, low, 10, false);
        } else {
            AppendNumber(out, low, 16, conversion == u'X');
        }
    }
    // A message is the text up to its first zero character.
    const size_t zero = out.find(u'\0');
    if (zero != std::u16string::npos) {
        out.resize(zero);
    }
    return out;
}

}  // namespace tierlock
