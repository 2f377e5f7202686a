#include "scene3d/node.h"

#include "package/json_lint.h"
#include "scene3d/model.h"

namespace qh {

JsonValue Node::to_json(const ProjectDir*) const {
    JsonValue j = JsonValue::object();
    j["name"] = name;
    if (model) j["model"] = model->stored_filename();
    return j;
}

void Node::write_binary(BinaryWriter& out) const {
    out.write_packed_string(name);
    out.write_ref(model);
}

void Node::from_json(const JsonValue& value, const ProjectDir&) {
    *this = Node();
    name = json_text(json_member(value, "name"));
}

void Node::read_binary(BinaryReader& in) {
    *this = Node();
    name = in.read_packed_string("Node name");
    model_id = in.read_id("Node model");
}

void Node::wire(const IdentityMap& ids) { model = ids.find<Model>(model_id); }

void Node::wire_names(const JsonValue& value, NameTables& names) {
    if (json_has(value, "model")) model = lookup(names.models, json_text(json_member(value, "model")));
}

void lint_node_json(const JsonValue& value, std::vector<std::string>& warnings) {
    const std::string context = lint_context("node", json_text(json_member(value, "name")));
    expect_text(value, "name", context, warnings);
    expect_text(value, "model", context, warnings);
}

}  // namespace qh
