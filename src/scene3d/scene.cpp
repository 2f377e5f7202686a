#include "scene3d/scene.h"

#include "package/json_lint.h"

namespace qh {

namespace {

// A nested record's warnings, prefixed with the scene they belong to.
template <class Lint>
void lint_nested(const JsonValue& value, const char* key, const std::string& context, Lint lint,
                 std::vector<std::string>& warnings) {
    if (!json_has(value, key)) return;
    const JsonValue& member = json_member(value, key);
    if (!member.is_object()) {
        warnings.push_back(context + ": \"" + key +
                           "\" is not an object; it reads as one with every member missing");
        return;
    }
    std::vector<std::string> nested;
    lint(member, nested);
    for (const std::string& w : nested) warnings.push_back(context + " " + w);
}

}  // namespace

JsonValue Scene::to_json(const ProjectDir* external) const {
    JsonValue j = JsonValue::object();
    j["name"] = name;
    if (camera) j["camera"] = camera->to_json(external);
    if (root_node) j["root_node"] = root_node->to_json(external);
    if (camera_scene) j["camera_scene"] = camera_scene->name;
    j["camera_scene_only_direction"] = camera_scene_only_direction;
    return j;
}

void Scene::write_binary(BinaryWriter& out) const {
    out.write_packed_string(name);
    // Only zero versus non-zero matters to the reader; 1 keeps packing
    // deterministic.
    out.write_u64(camera ? 1 : 0);
    if (camera) camera->write_binary(out);
    out.write_u64(root_node ? 1 : 0);
    if (root_node) root_node->write_binary(out);
    out.write_ref(camera_scene);
    out.write_bool(camera_scene_only_direction);
}

void Scene::from_json(const JsonValue& value, const ProjectDir& dir) {
    *this = Scene();
    name = json_text(json_member(value, "name"));
    if (json_has(value, "camera")) {
        camera = std::make_unique<Camera>();
        camera->from_json(json_member(value, "camera"), dir);
    }
    if (json_has(value, "root_node")) {
        root_node = std::make_unique<Node>();
        root_node->from_json(json_member(value, "root_node"), dir);
    }
    camera_scene_only_direction = json_bool(json_member(value, "camera_scene_only_direction"));
}

void Scene::read_binary(BinaryReader& in) {
    *this = Scene();
    name = in.read_packed_string("Scene name");
    if (in.read_u64("Scene camera marker") != 0) {
        camera = std::make_unique<Camera>();
        camera->read_binary(in);
    }
    if (in.read_u64("Scene root node marker") != 0) {
        root_node = std::make_unique<Node>();
        root_node->read_binary(in);
    }
    camera_scene_id = in.read_id("Scene camera_scene");
    camera_scene_only_direction = in.read_bool("Scene camera_scene_only_direction");
}

void Scene::wire(const IdentityMap& ids) {
    if (root_node) root_node->wire(ids);
    camera_scene = ids.find<Scene>(camera_scene_id);
}

void Scene::wire_names(const JsonValue& value, NameTables& names) {
    if (root_node && json_has(value, "root_node")) {
        root_node->wire_names(json_member(value, "root_node"), names);
    }
    if (json_has(value, "camera_scene")) {
        camera_scene = lookup(names.scenes, json_text(json_member(value, "camera_scene")));
    }
}

void lint_scene_json(const JsonValue& value, std::vector<std::string>& warnings) {
    const std::string own_name = json_text(json_member(value, "name"));
    const std::string context = lint_context("scene", own_name);
    expect_text(value, "name", context, warnings);
    expect_text(value, "camera_scene", context, warnings);
    expect_bool(value, "camera_scene_only_direction", context, warnings);
    const JsonValue& borrowed = json_member(value, "camera_scene");
    if (borrowed.is_string() && borrowed.get<std::string>() == own_name) {
        warnings.push_back(context + ": \"camera_scene\" names the scene itself" +
                           std::string(json_bool(json_member(value, "camera_scene_only_direction"))
                                           ? ", so its direction is recomputed from itself each frame"
                                           : ""));
    }
    lint_nested(value, "camera", context, &lint_camera_json, warnings);
    lint_nested(value, "root_node", context, &lint_node_json, warnings);
}

}  // namespace qh
