// A small printf subset over UTF-16. No library in reach formats char16_t printf-style
// (swprintf works on wchar_t, which is 32-bit on Linux), and the message texts only use
// a handful of conversions, so the subset is written here with strict argument checks.
#include <charconv>

#include "log/line_text.h"
#include "log/log.h"

namespace tierlock {
namespace {

template <class Out>
void AppendAscii(Out& out, const char* begin, const char* end) {
    for (const char* p = begin; p != end; ++p) {
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*p)));
    }
}

template <class Out, class T>
void AppendNumber(Out& out, T value, int base, bool upper) {
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

// Appends the formatted message to out. False when the format cannot be formatted with args;
// out may then hold part of it.
template <class Out>
bool FormatInto(Out& out, const char16_t* format, std::span<const FormatArg> args) {
    if (!format) {
        return true;
    }
    size_t next = 0;
    for (const char16_t* p = format; *p; ++p) {
        if (*p != u'%') {
            // The literal run up to the next conversion goes over in one piece.
            const char16_t* run = p;
            while (p[1] != u'\0' && p[1] != u'%') {
                ++p;
            }
            out.append(run, static_cast<size_t>(p - run + 1));
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
            return false;
        }
        const FormatArg& arg = args[next++];
        if (conversion == u's') {
            if (arg.kind() == FormatArg::Kind::Ascii) {
                for (const char* c = arg.ascii(); c && *c; ++c) {
                    out.push_back(static_cast<unsigned char>(*c));
                }
                continue;
            }
            if (arg.kind() == FormatArg::Kind::WideView) {
                const char16_t* text = arg.text();
                size_t length = 0;
                while (length < arg.bits() && text[length] != u'\0') {
                    ++length;
                }
                out.append(text, length);
                continue;
            }
            if (arg.kind() != FormatArg::Kind::Wide) {
                return false;
            }
            out.append(arg.text() ? arg.text() : u"(null)");
            continue;
        }
        if (arg.kind() != FormatArg::Kind::Integer) {
            return false;
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
    return true;
}

// A message is the text up to its first zero character; one that cannot be formatted is empty.
template <class Out>
void FormatMessage(Out& out, const char16_t* format, std::span<const FormatArg> args) {
    const size_t start = out.size();
    if (!FormatInto(out, format, args)) {
        out.resize(start);
        return;
    }
    const char16_t* text = out.data();
    for (size_t i = start; i < out.size(); ++i) {
        if (text[i] == u'\0') {
            out.resize(i);
            return;
        }
    }
}

}  // namespace

std::u16string FormatWideArgs(const char16_t* format, std::span<const FormatArg> args) {
    std::u16string out;
    FormatMessage(out, format, args);
    return out;
}

void FormatWideInto(LineText& line, const char16_t* format, std::span<const FormatArg> args) {
    FormatMessage(line, format, args);
}

}  // namespace tierlock
