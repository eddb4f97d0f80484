// Diagnostic lines: composed here, handed one call per line to the host framework's Log.
#pragma once

#include <concepts>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "abi/host.h"
#include "abi/host_ref.h"

namespace tierlock {

enum class LogLevel : int32_t { Info = 30, Error = 35, Core = 50 };

// The host framework stored by Init; the sink of every line.
extern BorrowedRef<IRkFramework> g_pFrame;

// One argument of FormatWide: an integer of any width, a zero-terminated UTF-16 string, or a
// zero-terminated ASCII name (a tag, a property key) widened one unit per byte as WidenAscii
// does, but only when the line is written.
class FormatArg {
  public:
    enum class Kind : uint8_t { Integer, Wide, Ascii, WideView };

    template <std::integral T>
    FormatArg(T value)  // NOLINT(google-explicit-constructor): arguments convert implicitly
        : kind_(Kind::Integer), bits_(static_cast<uint64_t>(static_cast<int64_t>(value))) {
        if constexpr (std::is_unsigned_v<T>) {
            bits_ = static_cast<uint64_t>(value);
        }
    }
    FormatArg(const char16_t* text) : kind_(Kind::Wide), text_(text) {}                // NOLINT
    FormatArg(const std::u16string& text) : kind_(Kind::Wide), text_(text.c_str()) {}  // NOLINT
    FormatArg(const char* name) : kind_(Kind::Ascii), ascii_(name) {}                  // NOLINT
    // Text that need not be terminated, such as a fixed field: read up to its first zero.
    FormatArg(std::u16string_view text)  // NOLINT
        : kind_(Kind::WideView), bits_(text.size()), text_(text.data()) {}

    Kind kind() const { return kind_; }
    uint64_t bits() const { return bits_; }  // a view's length
    const char16_t* text() const { return text_; }
    const char* ascii() const { return ascii_; }

  private:
    Kind kind_;
    uint64_t bits_ = 0;
    const char16_t* text_ = nullptr;
    const char* ascii_ = nullptr;
};

// printf-style formatting of a UTF-16 format: %s (UTF-16 string), %d, %u, %x, %X, %llu, %%.
// A format that cannot be formatted with the given arguments yields an empty string.
std::u16string FormatWideArgs(const char16_t* format, std::span<const FormatArg> args);

template <class... Args>
std::u16string FormatWide(const char16_t* format, const Args&... args) {
    if constexpr (sizeof...(Args) == 0) {
        return FormatWideArgs(format, {});
    } else {
        const FormatArg list[] = {FormatArg(args)...};
        return FormatWideArgs(format, list);
    }
}

// An ASCII name (a tag, a property key) as UTF-16, one unit per byte; null gives "".
std::u16string WidenAscii(const char* text);

// UTF-8 to UTF-16 for message texts; invalid input becomes replacement characters.
std::u16string Utf8ToUtf16(std::string_view text);

// Asks the host whether lines of this level are wanted. Returns the framework to write to,
// or null when nothing is to be written (no framework yet, or the probe refused).
IRkFramework* ProbeLogLevel(LogLevel level) noexcept;

// Composes "[tierlock][LEVEL][tag] message\n" and hands it to the framework.
void WriteLogLine(IRkFramework* frame, LogLevel level, const char* tag,
                  std::u16string_view message) noexcept;
// The same, with the message formatted straight into the line: a usual line costs no
// allocation.
void WriteFormattedLine(IRkFramework* frame, LogLevel level, const char* tag,
                        const char16_t* format, std::span<const FormatArg> args) noexcept;

// The one log procedure: a refused level costs one probe call and nothing else.
template <class... Args>
void Log(LogLevel level, const char* tag, const char16_t* format, const Args&... args) noexcept {
    IRkFramework* frame = ProbeLogLevel(level);
    if (!frame) {
        return;
    }
    // Logging never changes the outcome of the operation that logs: nothing below throws.
    if constexpr (sizeof...(Args) == 0) {
        WriteFormattedLine(frame, level, tag, format, {});
    } else {
        const FormatArg list[] = {FormatArg(args)...};
        WriteFormattedLine(frame, level, tag, format, list);
    }
}

}  // namespace tierlock
