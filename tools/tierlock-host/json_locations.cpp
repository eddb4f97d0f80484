#include "json_locations.h"

#include <set>
#include <vector>

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>

namespace tierlock_host {

TextPosition PositionOf(std::string_view text, size_t offset) {
    TextPosition position{1, 1};
    for (size_t i = 0; i < offset && i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            ++position.line;
            position.column = 1;
        } else if ((c & 0xC0) != 0x80) {  // UTF-8 continuation bytes add no character
            ++position.column;
        }
    }
    return position;
}

std::optional<SyntaxError> FindSyntaxError(std::string_view text) {
    rapidjson::Document document;
    // Iterative, as the plug-in parses: a deep document is an answer, not a stack overflow.
    document.Parse<rapidjson::kParseIterativeFlag>(text.data(), text.size());
    if (!document.HasParseError()) {
        return std::nullopt;
    }
    SyntaxError error;
    error.offset = document.GetErrorOffset();
    error.position = PositionOf(text, error.offset);
    error.message = rapidjson::GetParseError_En(document.GetParseError());
    return error;
}

namespace {

// Follows the path of every value as the reader goes and notes where each one starts.
class LineRecorder : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, LineRecorder> {
  public:
    LineRecorder(std::string_view text, const rapidjson::StringStream& stream, size_t maxDepth)
        : text_(text), stream_(stream), maxDepth_(maxDepth) {}

    std::map<std::string, size_t> lines;

    bool Default() {
        Begin();
        End();
        return true;
    }
    bool String(const char*, rapidjson::SizeType, bool) { return Default(); }
    bool StartObject() {
        Begin();
        frames_.push_back(Frame{false, 0, {}, {}});
        return true;
    }
    bool Key(const char* name, rapidjson::SizeType length, bool) {
        Frame& frame = frames_.back();
        frame.key.assign(name, length);
        frame.repeated = !frame.keys.insert(frame.key).second;
        return true;
    }
    bool EndObject(rapidjson::SizeType) {
        frames_.pop_back();
        End();
        return true;
    }
    bool StartArray() {
        Begin();
        frames_.push_back(Frame{true, 0, {}, {}});
        return true;
    }
    bool EndArray(rapidjson::SizeType) {
        frames_.pop_back();
        End();
        return true;
    }

  private:
    struct Frame {
        bool array;
        size_t index;
        std::string key;
        std::set<std::string> keys;
        bool repeated = false;
    };

    // A value starts where the reader stands, less the opening bracket already read.
    void Begin() {
        std::string path;
        for (const Frame& frame : frames_) {
            if (frame.repeated) {
                return;
            }
            if (frame.array) {
                path += "[" + std::to_string(frame.index) + "]";
            } else {
                path += (path.empty() ? "" : ".") + frame.key;
            }
        }
        if (frames_.size() <= maxDepth_) {
            const size_t offset = stream_.Tell() > 0 ? stream_.Tell() - 1 : 0;
            lines.emplace(path, PositionOf(text_, offset).line);
        }
    }
    void End() {
        if (!frames_.empty() && frames_.back().array) {
            ++frames_.back().index;
        }
    }

    std::string_view text_;
    const rapidjson::StringStream& stream_;
    size_t maxDepth_;
    std::vector<Frame> frames_;
};

}  // namespace

std::map<std::string, size_t> ValueLines(std::string_view text, size_t maxDepth) {
    const std::string copy(text);  // the reader wants a terminated string
    rapidjson::StringStream stream(copy.c_str());
    LineRecorder recorder(text, stream, maxDepth);
    rapidjson::Reader reader;
    reader.Parse<rapidjson::kParseIterativeFlag>(stream, recorder);
    return recorder.lines;
}

}  // namespace tierlock_host
