#pragma once
// Every record class, and what goes over all of them:
//
//   for_each_table(demo, [](auto& table, const char* key) { ... });
//   visit_record(ref, Overloads{[](Texture& t) { ... },
//                               [](OneOf<Event, Data> auto&) { ... }, ...});
//   record_name(program)     // the name the project form knows it by
//
// `table` is the std::vector<std::unique_ptr<T>> and `key` its JSON key; the
// walk goes in the order of the binary record. A visitor takes every class,
// so one that leaves a class out does not compile.
//
// QH_DOCUMENT_RECORDS is the document's list, one row per class; a list
// elsewhere that must place every kind says so with names_every_kind_once.
#include <concepts>
#include <cstddef>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "audio/audio_sample.h"
#include "package/byte_buffer.h"
#include "document/demo.h"
#include "render/effect.h"
#include "render/shader_program.h"
#include "render/texture.h"
#include "scene3d/model.h"
#include "scene3d/scene.h"
#include "text/font.h"
#include "text/font_texture.h"
#include "timeline/event.h"
#include "timeline/event_group.h"

namespace qh {

#define QH_LIST_KIND(Class, table) RecordKind::table,
inline constexpr RecordKind all_record_kinds[] = {QH_RECORD_KINDS(QH_LIST_KIND)};
#undef QH_LIST_KIND
inline constexpr size_t record_kind_count = std::size(all_record_kinds);

// True when `rows` place every record kind exactly once (`kind_of` gives a
// row's kind): a list that must say something of every class checks itself
// with it at compile time.
template <class Rows, class KindOf = std::identity>
constexpr bool names_every_kind_once(const Rows& rows, KindOf kind_of = {}) {
    bool seen[record_kind_count] = {};
    size_t count = 0;
    for (const auto& row : rows) {
        const auto i = static_cast<size_t>(std::invoke(kind_of, row));
        if (i >= record_kind_count || seen[i]) return false;
        seen[i] = true;
        ++count;
    }
    return count == record_kind_count;
}

// The table's key in the project form ("shaders").
constexpr const char* table_key(RecordKind kind) {
#define QH_TABLE_KEY(Class, table) #table,
    constexpr const char* keys[] = {QH_RECORD_KINDS(QH_TABLE_KEY)};
#undef QH_TABLE_KEY
    return keys[static_cast<size_t>(kind)];
}

// Where a class's records are: its table's key, the Demo's table and the name map.
template <class T>
struct RecordTable;
#define QH_RECORD_TABLE(Class, table)                         \
    template <>                                               \
    struct RecordTable<Class> {                               \
        static constexpr const char* key = #table;            \
        static constexpr auto rows = &Demo::table;            \
        static constexpr auto names = &NameTables::table;     \
    };
QH_RECORD_KINDS(QH_RECORD_TABLE)
#undef QH_RECORD_TABLE

template <class D, class Fn>  // D is Demo or const Demo
void for_each_table(D& d, Fn&& fn) {
#define QH_VISIT_TABLE(Class, table) fn(d.table, #table);
    QH_RECORD_KINDS(QH_VISIT_TABLE)
#undef QH_VISIT_TABLE
}

// fn(std::type_identity<Class>{}) for every class, in table order.
template <class Fn>
void for_each_record_class(Fn&& fn) {
#define QH_VISIT_CLASS(Class, table) fn(std::type_identity<Class>{});
    QH_RECORD_KINDS(QH_VISIT_CLASS)
#undef QH_VISIT_CLASS
}

// A visitor made of lambdas, and the parameter of one that takes several
// classes alike: [](OneOf<Font, Model> auto& record) { ... }.
template <class... Fs>
struct Overloads : Fs... {
    using Fs::operator()...;
};
template <class... Fs>
Overloads(Fs...) -> Overloads<Fs...>;

template <class T, class... Ts>
concept OneOf = (std::same_as<T, Ts> || ...);

// fn(record) with the record as its own class.
template <class Fn>
decltype(auto) visit_record(const RecordRef& ref, Fn&& fn) {
#define QH_VISIT_RECORD(Class, table) \
    if (ref.kind == RecordKind::table) return fn(*static_cast<Class*>(ref.record));
    QH_RECORD_KINDS(QH_VISIT_RECORD)
#undef QH_VISIT_RECORD
    throw std::logic_error("not a record kind");
}

// The record at `index` in the table of `kind`; std::out_of_range past its end.
inline RecordRef record_at(Demo& d, RecordKind kind, size_t index) {
#define QH_RECORD_AT(Class, table) \
    if (kind == RecordKind::table) return RecordRef{kind, d.table.at(index).get()};
    QH_RECORD_KINDS(QH_RECORD_AT)
#undef QH_RECORD_AT
    throw std::logic_error("not a record kind");
}

// ---- The document's list ----------------------------------------------------

// One row per record class, in the order the project reader reads the tables:
// those whose names others refer to first. (Names are wired once every table
// is read; the order decides which faulty record is reported first when there
// are several, so a broken project names the same fault each time.)
//
//   X(Class, the member holding the name the project form refers to it by,
//     the lint of its JSON element, or nullptr when nothing in it can read
//     surprisingly)
#define QH_DOCUMENT_RECORDS(X)                                             \
    X(Texture, name, lint_texture_json)                                    \
    X(ShaderProgram, fragment_shader_filename, lint_shader_program_json)   \
    X(Font, name, lint_font_json)                                          \
    X(FontTexture, name, lint_font_texture_json)                           \
    X(Data, name, nullptr)                                                 \
    X(Model, filename, lint_model_json)                                    \
    X(Scene, name, lint_scene_json)                                        \
    X(Effect, name, lint_effect_json)                                      \
    X(AudioSample, name, lint_audio_sample_json)                           \
    X(EventGroup, name, lint_event_group_json)                             \
    X(Event, name, lint_event_json)

using JsonLint = void (*)(const JsonValue& element, std::vector<std::string>& warnings);

template <class T>
struct DocumentRecord;
#define QH_DOCUMENT_RECORD(Class, name_member, lint_function)                \
    template <>                                                              \
    struct DocumentRecord<Class> {                                           \
        static constexpr std::string Class::*name = &Class::name_member;     \
        static constexpr JsonLint lint = lint_function;                      \
    };
QH_DOCUMENT_RECORDS(QH_DOCUMENT_RECORD)
#undef QH_DOCUMENT_RECORD

#define QH_READING_KIND(Class, name_member, lint_function) RecordKindOf<Class>::value,
inline constexpr RecordKind project_reading_order[] = {QH_DOCUMENT_RECORDS(QH_READING_KIND)};
#undef QH_READING_KIND
static_assert(names_every_kind_once(project_reading_order),
              "QH_DOCUMENT_RECORDS has one row for each record class");

// fn(std::type_identity<Class>{}) for every class, in the project reader's order.
template <class Fn>
void for_each_class_as_read(Fn&& fn) {
#define QH_VISIT_AS_READ(Class, name_member, lint_function) fn(std::type_identity<Class>{});
    QH_DOCUMENT_RECORDS(QH_VISIT_AS_READ)
#undef QH_VISIT_AS_READ
}

// The name a record is known by in the project form: a shader program by its
// fragment shader's file name, a model by its file name.
template <class T>
const std::string& record_name(const T& record) {
    return record.*DocumentRecord<T>::name;
}

}  // namespace qh
