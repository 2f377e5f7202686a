#pragma once
// The persistence interface of every content record, and the two ways records
// find each other after reading.
//
// Binary form: references are stored as ResourceIds. While a package is read
// the Demo fills an IdentityMap; afterwards each record resolves its stored
// identities with `map.find<Effect>(id)`, which yields null for an unknown
// identity and for one that names a record of another class.
//
// JSON form: references are record names. The Demo fills one NameMap per
// table (NameTables) and each record resolves names with `lookup`.
//
// Both work with forward-declared classes, so a record can refer to any other
// without including its header.
#include <cstdint>
#include <map>
#include <string>

#include "package/binary_stream.h"
#include "package/json_value.h"

namespace qh {

class ProjectDir;

class ISerializable {
public:
    virtual ~ISerializable() = default;
    // `external` set: bulky payloads go to files in that directory and the JSON
    // names them; null: they are embedded as Base64.
    virtual JsonValue to_json(const ProjectDir* external) const = 0;
    virtual void write_binary(BinaryWriter& out) const = 0;
    // `dir` resolves the external files a record names.
    virtual void from_json(const JsonValue& value, const ProjectDir& dir) = 0;
    virtual void read_binary(BinaryReader& in) = 0;
};

class Event;
class Effect;
class ShaderProgram;
class Texture;
class AudioSample;
class EventGroup;
class Font;
class FontTexture;
class Data;
class Model;
class Scene;

enum class RecordKind : uint8_t {
    event, effect, shader_program, texture, audio_sample, event_group,
    font, font_texture, data, model, scene,
};

template <class T> struct RecordKindOf;
template <> struct RecordKindOf<Event> { static constexpr RecordKind value = RecordKind::event; };
template <> struct RecordKindOf<Effect> { static constexpr RecordKind value = RecordKind::effect; };
template <> struct RecordKindOf<ShaderProgram> { static constexpr RecordKind value = RecordKind::shader_program; };
template <> struct RecordKindOf<Texture> { static constexpr RecordKind value = RecordKind::texture; };
template <> struct RecordKindOf<AudioSample> { static constexpr RecordKind value = RecordKind::audio_sample; };
template <> struct RecordKindOf<EventGroup> { static constexpr RecordKind value = RecordKind::event_group; };
template <> struct RecordKindOf<Font> { static constexpr RecordKind value = RecordKind::font; };
template <> struct RecordKindOf<FontTexture> { static constexpr RecordKind value = RecordKind::font_texture; };
template <> struct RecordKindOf<Data> { static constexpr RecordKind value = RecordKind::data; };
template <> struct RecordKindOf<Model> { static constexpr RecordKind value = RecordKind::model; };
template <> struct RecordKindOf<Scene> { static constexpr RecordKind value = RecordKind::scene; };

// ResourceId -> record, shared by all tables while one package is read. A
// later record with the same identity replaces the earlier one.
class IdentityMap {
public:
    template <class T>
    void add(ResourceId id, T* record) {
        entries_[id] = Entry{RecordKindOf<T>::value, record};
    }

    template <class T>
    T* find(ResourceId id) const {
        auto it = entries_.find(id);
        if (it == entries_.end() || it->second.kind != RecordKindOf<T>::value) return nullptr;
        return static_cast<T*>(it->second.record);
    }

private:
    struct Entry {
        RecordKind kind;
        void* record;
    };
    std::map<ResourceId, Entry> entries_;
};

template <class T>
using NameMap = std::map<std::string, T*>;

// The record of that name, or null. As the project reader always has, an
// unknown name is entered into the map with no record.
template <class T>
T* lookup(NameMap<T>& map, const std::string& name) {
    return map[name];
}

struct NameTables {
    NameMap<Event> events;
    NameMap<Effect> effects;
    NameMap<ShaderProgram> shaders;
    NameMap<Texture> textures;
    NameMap<AudioSample> audio_samples;
    NameMap<EventGroup> event_groups;
    NameMap<Font> fonts;
    NameMap<FontTexture> font_textures;
    NameMap<Data> datas;
    NameMap<Model> models;
    NameMap<Scene> scenes;
};

}  // namespace qh
