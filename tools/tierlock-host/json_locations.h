// Where things are in a JSON text: the line and column of a byte offset from one table of line
// starts, the offset at which the values named by JSON pointers begin, and the place of a
// syntax error. A UTF-8 byte-order mark is no part of the JSON text but keeps lines and
// columns as an editor shows them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tierlock_host {

struct TextPosition {
    size_t line = 0;    // from 1
    size_t column = 0;  // from 1, in characters
};

// "12:5"
std::string PositionText(const TextPosition& position);

class TextMap {
  public:
    // text as read, byte-order mark included.
    explicit TextMap(std::string_view text);

    bool hasByteOrderMark() const { return bom_ != 0; }
    // The JSON text, without the byte-order mark.
    std::string_view json() const { return text_.substr(bom_); }
    // The position of an offset into json().
    TextPosition PositionOf(size_t jsonOffset) const;

  private:
    static constexpr size_t kCheckpointBytes = 256;
    std::string_view text_;
    size_t bom_ = 0;
    std::vector<size_t> lineStarts_;
    // UTF-8 continuation bytes before each multiple of kCheckpointBytes, which add no column.
    std::vector<uint32_t> continuations_;
};

// "/rules/3/ruleid" from its tokens; "~" and "/" escaped.
std::string PointerToken(std::string_view key);

struct SyntaxError {
    size_t offset = 0;    // into the JSON text
    std::string pointer;  // the value being read when the error came
    std::string message;  // RapidJSON's own text
};

// Parses json as the plug-in does; answers the error when it is not one JSON document.
std::optional<SyntaxError> FindSyntaxError(std::string_view json);

// One value met on a walk through a JSON text, with its pointer and where it begins.
struct JsonValueSeen {
    enum class Kind { Null, Bool, Integer, Unsigned, BigInteger, Double, String, Object, Array };
    Kind kind = Kind::Null;
    const std::string& pointer;
    size_t offset = 0;      // into the JSON text
    int64_t integer = 0;    // Integer (fits 32 bits signed), Unsigned, BigInteger
    std::string_view text;  // String
    bool repeated = false;  // under a key an object holds twice, which the plug-in never reads
};

class JsonVisitor {
  public:
    virtual ~JsonVisitor() = default;
    virtual void Value(const JsonValueSeen& value) = 0;
    // A key met again in the same object; offset is that of the repeated key.
    virtual void RepeatedKey(const std::string& objectPointer, std::string_view key,
                             size_t offset) {}
    // An object key, with its offset, before its value.
    virtual void Key(const std::string& objectPointer, std::string_view key, size_t offset) {}
};

// Walks json in one pass, as far as it parses.
void WalkJson(std::string_view json, JsonVisitor& visitor);

// The offset at which each wanted value begins, found in one pass; a repeated key counts at its
// first occurrence, the one the plug-in reads.
std::unordered_map<std::string, size_t> ValueOffsets(std::string_view json,
                                                     const std::unordered_set<std::string>& wanted);

// Where nesting first goes deeper than limit, when it does (brackets outside strings).
std::optional<size_t> NestingBeyond(std::string_view json, size_t limit);

}  // namespace tierlock_host
