// Edits in place: each row edits a text and must give exactly the expected
// bytes, the untouched parts as they were and the new ones laid out like
// their neighbours; a refused edit leaves the text alone.
#include <gtest/gtest.h>

#include <functional>

#include "package/errors.h"
#include "package/json_source.h"

namespace qh {
namespace {

struct EditCase {
    const char* label;
    std::string before;
    std::function<void(JsonSource&)> edit;
    std::string after;  // empty: the edit is refused
};

TEST(JsonSource, EditsChangeOnlyTheEditedPlace) {
    const EditCase rows[] = {
        {"replace a nested value",
         "{\n  \"a\": {\"b\": [1, 2.50, 3e0]},\n  \"c\": 1.0e2\n}\n",
         [](JsonSource& s) { s.replace("/a/b/1", 7.0); },
         "{\n  \"a\": {\"b\": [1, 7.0, 3e0]},\n  \"c\": 1.0e2\n}\n"},
        {"replace a scalar by an object, a key with '/' in it",
         "{\n    \"x/y\": 0,\n    \"k\": 1\n}",
         [](JsonSource& s) { s.replace("/x~1y", JsonEditValue{{"z", 1}, {"a", {true}}}); },
         "{\n    \"x/y\": {\n        \"z\": 1,\n        \"a\": [\n            true\n        ]\n    },\n    \"k\": 1\n}"},
        {"add to an empty object, two-space file",
         "{\n  \"effects\": [\n    {}\n  ]\n}\n",
         [](JsonSource& s) { s.add_member("/effects/0", "name", "bg"); },
         "{\n  \"effects\": [\n    {\n      \"name\": \"bg\"\n    }\n  ]\n}\n"},
        {"add to an empty object, tab file",
         "{\n\t\"a\": 1,\n\t\"b\": { }\n}",
         [](JsonSource& s) { s.add_member("/b", "c", JsonEditValue{{"d", 2}}); },
         "{\n\t\"a\": 1,\n\t\"b\": {\n\t\t\"c\": {\n\t\t\t\"d\": 2\n\t\t}\n\t}\n}"},
        {"add to an object, four-space file, keys in the order written",
         "{\n    \"bpm\": 120.0,\n    \"effects\": {\n        \"old\": 1\n    }\n}\n",
         [](JsonSource& s) {
             s.add_member("/effects", "new", JsonEditValue{{"name", "n"}, {"feedback", false}});
         },
         "{\n    \"bpm\": 120.0,\n    \"effects\": {\n        \"old\": 1,\n        \"new\": {\n"
         "            \"name\": \"n\",\n            \"feedback\": false\n        }\n    }\n}\n"},
        {"add to an object, one-line file with its own spacing",
         "{ \"z\" : 1 ,\"a\":2 }",
         [](JsonSource& s) { s.add_member("", "m", JsonEditValue::array({1, 2})); },
         "{ \"z\" : 1 ,\"a\":2 ,\"m\" : [1 ,2] }"},
        {"append to a one-line array inside an indented file",
         "{\n  \"p\": [0.0, 1.0],\n  \"q\": []\n}",
         [](JsonSource& s) { s.append("/p", 2.0); },
         "{\n  \"p\": [0.0, 1.0, 2.0],\n  \"q\": []\n}"},
        {"append an object to an array of objects",
         "{\"e\": [\n   {\"name\": \"a\"}\n]}",
         [](JsonSource& s) { s.append("/e", JsonEditValue{{"name", "b"}, {"program", "p"}}); },
         "{\"e\": [\n   {\"name\": \"a\"},\n   {\n      \"name\": \"b\",\n      \"program\": \"p\"\n   }\n]}"},
        {"CRLF line ends kept and used",
         "{\r\n  \"a\": [\r\n    1\r\n  ]\r\n}\r\n",
         [](JsonSource& s) { s.add_member("", "b", JsonEditValue{{"c", 1}}); },
         "{\r\n  \"a\": [\r\n    1\r\n  ],\r\n  \"b\": {\r\n    \"c\": 1\r\n  }\r\n}\r\n"},
        {"remove a middle member, a first element, an only member",
         "{\n  \"a\": 1,\n  \"b\": [10, 20],\n  \"c\": {\"d\": 0},\n  \"e\": 3\n}",
         [](JsonSource& s) {
             s.remove("/c");
             s.remove("/b/0");
             s.remove("/a");
         },
         "{\n  \"b\": [20],\n  \"e\": 3\n}"},
        {"remove the only element", "[ {\"a\": 1} ]", [](JsonSource& s) { s.remove("/0"); }, "[]"},
        {"the later of two equal keys", "{\"k\": 1, \"k\": 2}",
         [](JsonSource& s) { s.replace("/k", 3); }, "{\"k\": 1, \"k\": 3}"},
        {"a key already there is refused", "{\"k\": 1}",
         [](JsonSource& s) { s.add_member("", "k", 2); }, ""},
        {"a path past an array's end is refused", "{\"k\": [1]}",
         [](JsonSource& s) { s.append("/k/1", 2); }, ""},
        {"appending to an object is refused", "{\"k\": {}}",
         [](JsonSource& s) { s.append("/k", 2); }, ""},
        {"insert among the elements of a multi-line array, and first",
         "{\"p\": [\n    {\"beat\": 0.0},\n    {\"beat\": 4.0}\n]}",
         [](JsonSource& s) { s.insert("/p", 1, JsonEditValue{{"beat", 2.0}}); s.insert("/p", 0, 9); },
         "{\"p\": [\n    9,\n    {\"beat\": 0.0},\n    {\n        \"beat\": 2.0\n    },\n    {\"beat\": 4.0}\n]}"},
        {"insert into a one-line array, and past its end",
         "{\n  \"p\": [0.0,1.0]\n}",
         [](JsonSource& s) { s.insert("/p", 1, 0.5); s.insert("/p", 7, 2.0); },
         "{\n  \"p\": [0.0,0.5,1.0,2.0]\n}"},
    };
    for (const EditCase& row : rows) {
        SCOPED_TRACE(row.label);
        JsonSource source(row.before, "project.json");
        if (row.after.empty()) {
            EXPECT_THROW(row.edit(source), ContentError);
            EXPECT_EQ(source.text(), row.before);
        } else {
            row.edit(source);
            EXPECT_EQ(source.text(), row.after);
        }
    }
}

}  // namespace
}  // namespace qh
