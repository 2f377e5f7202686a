#pragma once
// A JSON text edited in place, as an author would edit it by hand: the place
// (byte span) of every value in the text is known, and an edit changes only
// the bytes where the edited value stands. Untouched values keep their text,
// order and formatting byte for byte (spacing, indentation, CRLF line ends,
// key order, `130.0` versus `1.3e2`); a new value is laid out like its
// siblings (their indentation, their separators after ':' and ','), or like
// the rest of the file where it has none.
//
//   JsonSource project(read_text("project.json"), "project.json");  // ContentError on a syntax error
//   project.replace("/bpm", 128.0);
//   project.replace("/events/2/curves/0/points/1/value", 0.5);
//   project.add_member("/effects/0", "feedback", true);
//   project.append("/effects", JsonEditValue{{"name", "bg"}, {"program", "resources/bg.frag"}});
//   project.insert("/events/0/control_points/alpha/control_points", 1, JsonEditValue{{"beat", 2.0}, {"value", 0.5}});
//   project.remove("/events/3");
//   if (project.has("/shaders")) ...; JsonValue now = project.value();
//   write_text("project.json", project.text());
//
// Paths are JSON pointers: "" is the whole document, "/effects/0/name" a
// member of an element; "~1" stands for '/' and "~0" for '~' inside a key.
// Where an object holds one key twice, a path finds the later one, as the
// readers do. An edit whose path finds nothing, or a value of the wrong kind
// (add_member on an array, say), throws ContentError naming the path and
// leaves the text as it was. New values are ordered JSON, so the keys of an
// object written with an initialiser list stay in the order written (a
// JsonValue converts, with its keys sorted).
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "package/json_value.h"

namespace qh {

using JsonEditValue = nlohmann::ordered_json;

class JsonSource {
public:
    // `source` names the file in error messages.
    JsonSource(std::string text, std::string source);
    ~JsonSource();
    JsonSource(const JsonSource&);
    JsonSource& operator=(const JsonSource&);

    const std::string& text() const { return text_; }
    JsonValue value() const;  // the text parsed
    bool has(std::string_view path) const;

    // Sets the value at `path` (which must exist), the rest of the text kept.
    void replace(std::string_view path, const JsonEditValue& value);
    // Adds `key` at the end of the object at `path`; the key must be new.
    void add_member(std::string_view path, std::string_view key, const JsonEditValue& value);
    // Adds an element at the end of the array at `path`.
    void append(std::string_view path, const JsonEditValue& value);
    // Adds an element before element `index` of the array at `path` (at the
    // end when `index` is its size or more), laid out like that element.
    void insert(std::string_view path, size_t index, const JsonEditValue& value);
    // Removes the member or element at `path` with its separator.
    void remove(std::string_view path);

private:
    struct Node;
    struct Style;
    size_t find(std::string_view path) const;  // the node's index; throws when absent
    size_t find_container(std::string_view path, char kind) const;
    Style style_for(size_t container) const;
    void insert_last(size_t container, const std::string& key_text, const JsonEditValue& value);
    void splice(size_t begin, size_t end, const std::string& with);
    void scan();

    std::string text_;
    std::string source_;
    std::vector<Node> nodes_;  // [0] is the document's value
};

}  // namespace qh
