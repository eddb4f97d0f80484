// Where things are in a JSON text: the line and column of a parse error, and the line on which
// each value of the document begins, by its path ("rules[2]", "matchmode[0].mode[1]").
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tierlock_host {

struct TextPosition {
    size_t line = 0;    // from 1
    size_t column = 0;  // from 1, in characters
};

TextPosition PositionOf(std::string_view text, size_t offset);

struct SyntaxError {
    size_t offset = 0;
    TextPosition position;
    std::string message;  // RapidJSON's own text
};

// Parses text as the plug-in does; answers the error when it is not one JSON document.
std::optional<SyntaxError> FindSyntaxError(std::string_view text);

// The line each value up to maxDepth levels down starts on. A repeated key keeps its first
// occurrence, the one the plug-in reads.
std::map<std::string, size_t> ValueLines(std::string_view text, size_t maxDepth);

}  // namespace tierlock_host
