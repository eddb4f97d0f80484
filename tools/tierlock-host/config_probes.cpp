#include "config_probes.h"

#include <functional>

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

namespace tierlock_host {

const JsonValue* Member(const JsonValue& object, const char* key) {
    if (!object.IsObject()) {
        return nullptr;
    }
    auto it = object.FindMember(key);
    return it == object.MemberEnd() ? nullptr : &it->value;
}

std::optional<int64_t> IntMember(const JsonValue& object, const char* key) {
    const JsonValue* value = Member(object, key);
    if (!value || !value->IsInt()) {
        return std::nullopt;
    }
    return value->GetInt();
}

const char* StringMember(const JsonValue& object, const char* key) {
    const JsonValue* value = Member(object, key);
    return value && value->IsString() ? value->GetString() : nullptr;
}

namespace {

using JsonWriter = rapidjson::Writer<rapidjson::StringBuffer>;

// {"matchmode":[<modes>],"rules":[<rules>]}
std::string Configuration(const std::function<void(JsonWriter&)>& writeModes,
                          const std::function<void(JsonWriter&)>& writeRules) {
    rapidjson::StringBuffer buffer;
    JsonWriter w(buffer);
    w.StartObject();
    w.Key("matchmode");
    w.StartArray();
    writeModes(w);
    w.EndArray();
    w.Key("rules");
    w.StartArray();
    writeRules(w);
    w.EndArray();
    w.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

void ModeZero(JsonWriter& w, const std::function<void(JsonWriter&)>& writeItem) {
    w.StartObject();
    w.Key("modeid");
    w.Int(0);
    w.Key("mode");
    w.StartArray();
    writeItem(w);
    w.EndArray();
    w.EndObject();
}

void Nothing(JsonWriter&) {}

}  // namespace

std::string ElementProbe(const JsonValue& element) {
    return Configuration([&](JsonWriter& w) { element.Accept(w); }, Nothing);
}

std::string ItemProbe(const JsonValue& item) {
    return Configuration(
        [&](JsonWriter& w) { ModeZero(w, [&](JsonWriter& w) { item.Accept(w); }); },
        [](JsonWriter& w) {
            w.StartObject();
            w.Key("modeid");
            w.Int(0);
            w.EndObject();
        });
}

std::string LevelProbe(const char* key, const char* text) {
    return Configuration(
        [&](JsonWriter& w) {
            ModeZero(w, [&](JsonWriter& w) {
                w.StartObject();
                w.Key(key);
                w.String(text);
                w.Key("popwnd");
                w.String("-");
                w.EndObject();
            });
        },
        Nothing);
}

}  // namespace tierlock_host
