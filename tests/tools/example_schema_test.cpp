#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include <rapidjson/document.h>
#include <rapidjson/schema.h>
#include <rapidjson/stringbuffer.h>

#include "tool_process.h"

namespace tools_test {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::unique_ptr<rapidjson::SchemaDocument> LoadSchema(const fs::path& path) {
    rapidjson::Document document;
    document.Parse(ReadText(path).c_str());
    EXPECT_FALSE(document.HasParseError()) << path;
    return std::make_unique<rapidjson::SchemaDocument>(document);
}

// RapidJSON's own validator; why names the failing keyword and where it failed.
bool Validates(const rapidjson::SchemaDocument& schema, const std::string& text, std::string* why) {
    rapidjson::Document document;
    document.Parse(text.c_str());
    if (document.HasParseError()) {
        *why = "not JSON";
        return false;
    }
    rapidjson::SchemaValidator validator(schema);
    if (document.Accept(validator)) {
        return true;
    }
    rapidjson::StringBuffer where;
    validator.GetInvalidDocumentPointer().StringifyUriFragment(where);
    *why = std::string(validator.GetInvalidSchemaKeyword()) + " at " + where.GetString();
    return false;
}

const fs::path kExamples = "examples";

// The schema accepts an example configuration exactly when the plug-in loads it with nothing
// rejected. The scenarios are validated by the tool itself whenever the replay tests run them.
TEST(ExampleSchemas, EveryExampleIsJudgedAsThePluginJudgesIt) {
    const auto schema = LoadSchema(kExamples / "tierlock.schema.json");
    int configurations = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(kExamples)) {
        const std::string name = entry.path().filename().string();
        std::string why;
        if (name.ends_with(".json") && !name.ends_with(".schema.json") &&
            !name.ends_with(".scenario.json")) {
            ++configurations;
            const bool valid = Validates(*schema, ReadText(entry.path()), &why);
            const ToolRun check = RunTool("check examples/" + name);
            EXPECT_EQ(valid, check.status == 0) << name << ": " << why << "\n" << check.out;
        }
    }
    EXPECT_GE(configurations, 1);
}

// What the schema says, and what the plug-in does with the same document.
TEST(ExampleSchemas, ConfigurationSchemaAcceptsWhatThePluginKeeps) {
    const auto schema = LoadSchema(kExamples / "tierlock.schema.json");
    const std::string item = R"({"id":1,"srclvl":"70.3","popwnd":"1"})";
    auto config = [](const std::string& items, const std::string& rules = "") {
        return R"({"enable":1,"matchmode":[{"modeid":1,"mode":[)" + items + R"(]}],"rules":[)" +
               (rules.empty() ? R"({"id":1,"eventtype":1,"ruleid":"101,102","modeid":1})" : rules) +
               "]}";
    };
    const struct {
        const char* name;
        std::string document;
        bool valid;
        int checkStatus;
    } cases[] = {
        {"empty lists", R"({"matchmode":[],"rules":[]})", true, 0},
        {"one item", config(item), true, 0},
        {"every level form",
         config(R"({"srclvl":"0.3,70.65535,80","dstlvl":"10.0","plvl":"0","chainlvl":"",)"
                R"("popwnd":"阻止"})"),
         true, 0},
        {"rules missing", R"({"matchmode":[]})", false, 1},
        {"root not an object", "[]", false, 2},
        {"modeid a string", R"({"matchmode":[{"modeid":"1","mode":[)" + item + "]}],\"rules\":[]}",
         false, 1},
        {"modeid beyond 32 bits",
         R"({"matchmode":[{"modeid":4294967295,"mode":[)" + item + "]}],\"rules\":[]}", false, 1},
        {"empty mode", R"({"matchmode":[{"modeid":1,"mode":[]}],"rules":[]})", false, 1},
        {"empty popwnd", config(R"({"srclvl":"70.3","popwnd":""})"), false, 1},
        {"no level list", config(R"({"id":1,"popwnd":"1"})"), false, 1},
        {"only any level", config(R"({"srclvl":"0.0","popwnd":"1"})"), false, 1},
        {"sub-level too large", config(item + R"(,{"dstlvl":"70.70000,80","popwnd":"1"})"), false,
         1},
        {"0.0 beside other entries", config(R"({"srclvl":"70.3,0.0","dstlvl":"10","popwnd":"1"})"),
         false, 1},
        {"item not an object", config(item + ",3"), false, 1},
        {"rule not an object", config(item, "3"), false, 1},
        // No schema can tell that a rule names a mode the document does not configure.
        {"rule without its mode", config(item, R"({"id":2,"modeid":9})"), true, 1},
        // Stricter than the plug-in, which ignores values of another type: they are mistakes.
        {"enable true", R"({"enable":true,"matchmode":[],"rules":[]})", false, 0},
    };
    int n = 0;
    for (const auto& c : cases) {
        std::string why;
        EXPECT_EQ(Validates(*schema, c.document, &why), c.valid) << c.name << ": " << why;
        const std::string file = "schema_case_" + std::to_string(n++) + ".json";
        WriteText(file, c.document);
        EXPECT_EQ(RunTool("check " + file).status, c.checkStatus) << c.name;
    }
}

}  // namespace
}  // namespace tools_test
