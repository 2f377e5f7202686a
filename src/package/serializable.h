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
#include "package/record_kinds.h"

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

#define QH_DECLARE_RECORD(Class, table) class Class;
QH_RECORD_KINDS(QH_DECLARE_RECORD)
#undef QH_DECLARE_RECORD

#define QH_RECORD_KIND(Class, table) table,
enum class RecordKind : uint8_t { QH_RECORD_KINDS(QH_RECORD_KIND) };
#undef QH_RECORD_KIND

template <class T> struct RecordKindOf;
#define QH_RECORD_KIND_OF(Class, table)                                \
    template <> struct RecordKindOf<Class> {                           \
        static constexpr RecordKind value = RecordKind::table;         \
    };
QH_RECORD_KINDS(QH_RECORD_KIND_OF)
#undef QH_RECORD_KIND_OF

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

// The record of that name, or null. An unknown name is entered into the map
// with no record; that hides nothing, since names are wired only once every
// table has been read and no record is added after that.
template <class T>
T* lookup(NameMap<T>& map, const std::string& name) {
    return map[name];
}

// One name map per table, named like the table.
struct NameTables {
#define QH_NAME_MAP(Class, table) NameMap<Class> table;
    QH_RECORD_KINDS(QH_NAME_MAP)
#undef QH_NAME_MAP
};

}  // namespace qh
