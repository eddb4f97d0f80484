#include "log/log.h"

#include <iterator>

#include <utf8cpp/utf8.h>

#include "log/line_text.h"

namespace tierlock {

constinit BorrowedRef<IRkFramework> g_pFrame;

namespace {

const char16_t* LevelWord(LogLevel level) {
    switch (level) {
        case LogLevel::Info:
            return u"INFO ";
        case LogLevel::Error:
            return u"ERROR";
        case LogLevel::Core:
            return u"CORE ";
    }
    return u"INFO ";
}

}  // namespace

std::u16string WidenAscii(const char* text) {
    std::u16string wide;
    for (const char* p = text; p && *p; ++p) {
        wide.push_back(static_cast<unsigned char>(*p));
    }
    return wide;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::string valid;
    valid.reserve(text.size());
    utf8::replace_invalid(text.begin(), text.end(), std::back_inserter(valid));
    std::u16string wide;
    wide.reserve(valid.size());
    utf8::utf8to16(valid.begin(), valid.end(), std::back_inserter(wide));
    return wide;
}

IRkFramework* ProbeLogLevel(LogLevel level) noexcept {
    IRkFramework* frame = g_pFrame.Get();
    if (!frame) {
        return nullptr;
    }
    if (frame->Log(nullptr, static_cast<int32_t>(level)) != 0) {
        return nullptr;
    }
    return frame;
}

void WriteLogLine(IRkFramework* frame, LogLevel level, const char* tag,
                  std::u16string_view message) noexcept {
    try {
        std::u16string line;
        line.reserve(32 + message.size());
        line.append(u"[tierlock][");
        line.append(LevelWord(level));
        line.append(u"][");
        line.append(WidenAscii(tag));
        line.append(u"] ");
        line.append(message);
        line.push_back(u'\n');
        // The host reads up to the first zero character, as the line's stream would end there.
        frame->Log(line.c_str(), static_cast<int32_t>(level));
    } catch (...) {
    }
}

void WriteFormattedLine(IRkFramework* frame, LogLevel level, const char* tag,
                        const char16_t* format, std::span<const FormatArg> args) noexcept {
    try {
        LineText line;
        line.append(u"[tierlock][");
        line.append(LevelWord(level));
        line.append(u"][");
        for (const char* p = tag; p && *p; ++p) {
            line.push_back(static_cast<unsigned char>(*p));
        }
        line.append(u"] ");
        FormatWideInto(line, format, args);
        line.push_back(u'\n');
        // The host reads up to the first zero character, as the line's stream would end there.
        frame->Log(line.c_str(), static_cast<int32_t>(level));
    } catch (...) {
    }
}

}  // namespace tierlock
