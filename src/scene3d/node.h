#pragma once
// The root node of a scene: a name and the model it shows. The glTF node
// tree inside the model is not mirrored here; drawing walks the asset.
//
//   Binary form: name (packed string), then the model's identity (0: none).
//     n.read_binary(in);  ...all tables read...  n.wire(ids);
//   JSON form: "name", and "model" (the model's stored file name) when set.
//     n.from_json(obj, dir);  ...models read...  n.wire_names(obj, names);
//
// An identity or name that matches no model (or a record of another class)
// leaves `model` null.
#include <string>
#include <vector>

#include "package/serializable.h"

namespace qh {

class Node : public ISerializable {
public:
    JsonValue to_json(const ProjectDir* external) const override;
    void write_binary(BinaryWriter& out) const override;
    void from_json(const JsonValue& value, const ProjectDir& dir) override;
    void read_binary(BinaryReader& in) override;

    void wire(const IdentityMap& ids);
    // `value` is this node's own JSON object; the models table is keyed by
    // file name.
    void wire_names(const JsonValue& value, NameTables& names);

    Model* model = nullptr;
    std::string name;

    ResourceId model_id = 0;  // as read from a package, until `wire`
};

// Warns about a "name" or "model" that is not a text (a "model" then names no
// model).
void lint_node_json(const JsonValue& value, std::vector<std::string>& warnings);

}  // namespace qh
