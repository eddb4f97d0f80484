#include "json_locations.h"

#include <algorithm>

#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>

namespace tierlock_host {

std::string PositionText(const TextPosition& position) {
    return std::to_string(position.line) + ":" + std::to_string(position.column);
}

TextMap::TextMap(std::string_view text) : text_(text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        bom_ = 3;
    }
    lineStarts_.push_back(0);
    uint32_t continuations = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i % kCheckpointBytes == 0) {
            continuations_.push_back(continuations);
        }
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            lineStarts_.push_back(i + 1);
        }
        continuations += (c & 0xC0) == 0x80;
    }
}

TextPosition TextMap::PositionOf(size_t jsonOffset) const {
    const size_t offset = std::min(jsonOffset + bom_, text_.size());
    const auto next = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset);
    const size_t line = static_cast<size_t>(next - lineStarts_.begin());
    size_t start = std::max(*(next - 1), line == 1 ? bom_ : 0);
    // Continuation bytes between the line start and the offset, from the nearest checkpoints.
    auto before = [&](size_t at) {
        size_t count = at / kCheckpointBytes < continuations_.size()
                           ? continuations_[at / kCheckpointBytes]
                           : 0;
        for (size_t i = at - at % kCheckpointBytes; i < at; ++i) {
            count += (static_cast<unsigned char>(text_[i]) & 0xC0) == 0x80;
        }
        return count;
    };
    start = std::min(start, offset);
    return {line, offset - start - (before(offset) - before(start)) + 1};
}

std::string PointerToken(std::string_view key) {
    std::string token = "/";
    for (char c : key) {
        token += c == '~' ? "~0" : c == '/' ? "~1" : std::string(1, c);
    }
    return token;
}

namespace {

// Follows the JSON pointer of every value as the reader goes, and where each value and key
// begins.
class PointerTracker : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, PointerTracker> {
  public:
    using Kind = JsonValueSeen::Kind;

    PointerTracker(const char* text, const rapidjson::StringStream& stream, JsonVisitor* visitor)
        : text_(text), stream_(stream), visitor_(visitor) {}

    // The reader reads strings and numbers through a copy of the stream, so the stream still
    // stands at their first character when they are handed over; literals and brackets have
    // been taken from it by then.
    bool Null() { return Scalar(Kind::Null, 0, {}, 4); }
    bool Bool(bool b) { return Scalar(Kind::Bool, b, {}, b ? 4 : 5); }
    bool Int(int i) { return Scalar(Kind::Integer, i); }
    bool Uint(unsigned u) { return Scalar(u <= 0x7FFFFFFFu ? Kind::Integer : Kind::Unsigned, u); }
    bool Int64(int64_t i) { return Scalar(Kind::BigInteger, i); }
    bool Uint64(uint64_t u) { return Scalar(Kind::BigInteger, static_cast<int64_t>(u)); }
    bool Double(double) { return Scalar(Kind::Double, 0); }
    bool String(const char* text, rapidjson::SizeType length, bool) {
        return Scalar(Kind::String, 0, std::string_view(text, length));
    }
    bool StartObject() { return Open(false); }
    bool StartArray() { return Open(true); }
    bool Key(const char* name, rapidjson::SizeType length, bool) {
        Frame& frame = frames_.back();
        pointer_.resize(frame.length);
        const std::string_view key(name, length);
        const size_t at = stream_.Tell();
        if (visitor_) {
            visitor_->Key(pointer_, key, at);
        }
        frame.repeated = !frame.keys.emplace(key).second;
        if (frame.repeated && visitor_) {
            visitor_->RepeatedKey(pointer_, key, at);
        }
        pointer_ += PointerToken(key);
        return true;
    }
    bool EndObject(rapidjson::SizeType) { return Close(); }
    bool EndArray(rapidjson::SizeType) { return Close(); }

    const std::string& pointer() const { return pointer_; }

  private:
    struct Frame {
        bool array;
        size_t index;
        size_t length;  // of the container's own pointer
        std::unordered_set<std::string> keys;
        bool repeated;
    };

    bool Scalar(Kind kind, int64_t integer, std::string_view text = {}, size_t taken = 0) {
        Begin(kind, integer, text, stream_.Tell() - taken);
        End();
        return true;
    }
    bool Open(bool array) {
        size_t at = stream_.Tell();
        while (at > 0 && text_[at] != (array ? '[' : '{')) {
            --at;
        }
        Begin(array ? Kind::Array : Kind::Object, 0, {}, at);
        frames_.push_back(Frame{array, 0, pointer_.size(), {}, false});
        return true;
    }
    bool Close() {
        pointer_.resize(frames_.back().length);
        frames_.pop_back();
        End();
        return true;
    }
    void Begin(Kind kind, int64_t integer, std::string_view text, size_t offset) {
        if (!frames_.empty() && frames_.back().array) {
            pointer_.resize(frames_.back().length);
            pointer_ += "/" + std::to_string(frames_.back().index);
        }
        if (!visitor_) {
            return;
        }
        const bool repeated = std::any_of(frames_.begin(), frames_.end(),
                                          [](const Frame& frame) { return frame.repeated; });
        visitor_->Value({kind, pointer_, offset, integer, text, repeated});
    }
    void End() {
        if (!frames_.empty() && frames_.back().array) {
            ++frames_.back().index;
        }
    }

    const char* text_;
    const rapidjson::StringStream& stream_;
    JsonVisitor* visitor_;
    std::vector<Frame> frames_;
    std::string pointer_;
};

class OffsetRecorder : public JsonVisitor {
  public:
    explicit OffsetRecorder(const std::unordered_set<std::string>& wanted) : wanted_(wanted) {}
    std::unordered_map<std::string, size_t> offsets;

    void Value(const JsonValueSeen& value) override {
        if (!value.repeated && wanted_.count(value.pointer) != 0) {
            offsets.emplace(value.pointer, value.offset);
        }
    }

  private:
    const std::unordered_set<std::string>& wanted_;
};

rapidjson::ParseResult Walk(std::string_view json, JsonVisitor* visitor, std::string* pointer) {
    const std::string copy(json);  // the reader wants a terminated string
    rapidjson::StringStream stream(copy.c_str());
    PointerTracker tracker(copy.c_str(), stream, visitor);
    rapidjson::Reader reader;
    const rapidjson::ParseResult result =
        reader.Parse<rapidjson::kParseIterativeFlag>(stream, tracker);
    if (pointer) {
        *pointer = tracker.pointer();
    }
    return result;
}

}  // namespace

void WalkJson(std::string_view json, JsonVisitor& visitor) {
    Walk(json, &visitor, nullptr);
}

std::optional<SyntaxError> FindSyntaxError(std::string_view json) {
    std::string pointer;
    const rapidjson::ParseResult result = Walk(json, nullptr, &pointer);
    if (!result.IsError()) {
        return std::nullopt;
    }
    return SyntaxError{result.Offset(), pointer, rapidjson::GetParseError_En(result.Code())};
}

std::unordered_map<std::string, size_t> ValueOffsets(
    std::string_view json, const std::unordered_set<std::string>& wanted) {
    OffsetRecorder recorder(wanted);
    Walk(json, &recorder, nullptr);
    return std::move(recorder.offsets);
}

std::optional<size_t> NestingBeyond(std::string_view json, size_t limit) {
    size_t depth = 0;
    bool inString = false;
    for (size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) {
                return i;
            }
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return std::nullopt;
}

}  // namespace tierlock_host
