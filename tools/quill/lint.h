#pragma once
// What quill says of a document besides building it, the same in pack, check
// and render, each finding with what to write instead: content that reads in
// a surprising way, for example "bpm": 130 (an integral number) which the
// reader takes as 0, a model whose own cameras the player does not look through,
// names that name nothing (names.h), and a tempo or an end the demo cannot
// play with.
//
//   const DocumentFindings f = find_in_document(demo, &json);  // null for a package
//   print_warnings(file, f.warnings());   // pack and render warn with them
#include <filesystem>
#include <string>
#include <vector>

#include "names.h"
#include "package/json_value.h"

namespace qh {
class Demo;
}

namespace qh::quill {

std::vector<std::string> lint_project(const JsonValue& project);

// One line per feature per model that the player reads past
// (scene3d/gltf_features.h): model "resources/fox.glb": uses morph targets ...
std::vector<std::string> lint_models(const Demo& demo);

struct DocumentFindings {
    std::vector<std::string> text;    // lint_project: the project as written (none for a package)
    std::vector<std::string> models;  // lint_models
    std::vector<NameFinding> names;   // dangling_names
    // Shader files the project names that do not exist (the reader goes on
    // with empty texts); pack stops for them, check fails their programs.
    std::vector<NameFinding> missing;
    // The tempo and the end the whole demo rests on: empty, or what is
    // wrong with it and the fix. quill check fails them; render stops.
    std::string tempo;
    std::string end;

    // What render warns with: the text, the models, the names that have a
    // name to show and the missing files (check fails the rows that hold the
    // names and files; pack stops for a missing file).
    std::vector<std::string> warnings() const;
};

// `project` is the JSON the document was read from, or null for a package;
// `root` the folder its names resolve against.
DocumentFindings find_in_document(const Demo& demo, const JsonValue* project,
                                  const std::filesystem::path& root = {});

// A tempo or a beat as the findings write it: "120", "64.5".
std::string beats_text(float v);

// "quill: warning: FILE: WARNING" on standard error, one a line.
void print_warnings(const std::string& file, const std::vector<std::string>& warnings);

}  // namespace qh::quill
