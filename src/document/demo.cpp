#include "document/demo.h"

#include <utility>

#include "document/demo_tables.h"
#include "package/project_dir.h"

namespace qh {

namespace {

// Effects name their font textures and scenes in the project form; render/
// cannot see those classes, so the document tells it how.
const EffectNameReaders effect_name_readers{
    [](const FontTexture& t) -> const std::string& { return record_name(t); },
    [](const Scene& s) -> const std::string& { return record_name(s); }};

void clear_tables(Demo& d) {
    for_each_table(d, [](auto& table, const char*) { table.clear(); });
}

class ProgressCounter {
public:
    ProgressCounter(const LoadProgress& progress, uint64_t total) : progress_(progress), total_(total) {}
    void record_done() {
        if (progress_) progress_(index_, total_);
        ++index_;
    }
    void finish() {
        if (progress_) progress_(total_, total_);
    }

private:
    const LoadProgress& progress_;
    uint64_t total_;
    uint64_t index_ = 0;
};

constexpr size_t table_count = 0
#define QH_COUNT_TABLE(Class, table) +1
    QH_RECORD_KINDS(QH_COUNT_TABLE)
#undef QH_COUNT_TABLE
    ;

// fn(table, key) for the table at `index` in package order.
template <class Fn>
void visit_table(Demo& d, size_t index, Fn&& fn) {
    size_t i = 0;
    for_each_table(d, [&](auto& table, const char* key) {
        if (i++ == index) fn(table, key);
    });
}

// One record of a table: its 8-byte identity, then the record.
template <class T>
void read_binary_record(BinaryReader& in, std::vector<std::unique_ptr<T>>& table, const char* key,
                        IdentityMap& ids, const RecordRead& record_read) {
    const ResourceId id = in.read_id(key);
    auto record = std::make_unique<T>();
    record->read_binary(in);
    ids.add<T>(id, record.get());
    T* read = record.get();
    table.push_back(std::move(record));
    if (record_read) record_read(RecordRef{RecordKindOf<T>::value, read});
}

// Reads one JSON table, entering each record into its name map.
template <class T>
void read_json_table(const JsonValue& project, Demo& d, NameTables& names, const ProjectDir& dir,
                     ProgressCounter& progress) {
    const JsonValue& array = json_member(project, RecordTable<T>::key);
    if (!array.is_array()) return;
    for (const JsonValue& element : array) {
        auto record = std::make_unique<T>();
        record->from_json(element, dir);
        (names.*RecordTable<T>::names)[record_name(*record)] = record.get();
        (d.*RecordTable<T>::rows).push_back(std::move(record));
        progress.record_done();
    }
}

// Each record wires the names of its own JSON element. (Looking the record up
// by name instead would wire a later record with an earlier one's names and
// leave the earlier record unwired whenever two records share a name.)
template <class T>
void wire_json_table(const JsonValue& array, std::vector<std::unique_ptr<T>>& table,
                     NameTables& names) {
    if constexpr (requires { table[0]->wire_names(array, names); }) {
        if (!array.is_array()) return;
        size_t i = 0;
        for (const JsonValue& element : array) table[i++]->wire_names(element, names);
    }
}

uint64_t json_table_size(const JsonValue& project, const char* key) {
    const JsonValue& array = json_member(project, key);
    return array.is_array() ? array.size() : 0;
}

}  // namespace

Demo::Demo() = default;
Demo::~Demo() = default;

uint64_t Demo::record_count() const {
    uint64_t n = 0;
    for_each_table(*this, [&](const auto& table, const char*) { n += table.size(); });
    return n;
}

void Demo::write_binary(BinaryWriter& out) const {
    // Identities are a counter over the tables in record order, so the same
    // document always gives the same bytes.
    ResourceId next = 1;
    for_each_table(*this, [&](const auto& table, const char*) {
        for (const auto& record : table) out.assign_id(record.get(), next++);
    });
    out.write_u64(record_count());
    for_each_table(*this, [&](const auto& table, const char*) {
        out.write_u64(table.size());
        for (const auto& record : table) {
            out.write_u64(out.id_of(record.get()));
            record->write_binary(out);
        }
    });
    music.write_binary(out);
    out.write_f32(end_beat);
    out.write_f32(bpm);
    out.write_f32(beat_offset);
}

void Demo::read_binary(BinaryReader& in) { read_binary(in, LoadProgress{}); }

void Demo::read_binary(BinaryReader& in, const LoadProgress& progress, const RecordRead& record_read) {
    DemoReader reader(*this, in, progress, record_read);
    while (!reader.done()) reader.read_next();
}

DemoReader::DemoReader(Demo& demo, BinaryReader& in, LoadProgress progress, RecordRead record_read)
    : demo_(demo),
      in_(in),
      progress_(std::move(progress)),
      record_read_(std::move(record_read)) {}

void DemoReader::read_next() {
    if (done_) return;
    if (!started_) {
        clear_tables(demo_);
        demo_.resource_count = in_.read_u64("resource_count");
        started_ = true;
    }
    for (; table_ < table_count; ++table_, table_counted_ = false) {
        bool read = false;
        visit_table(demo_, table_, [&](auto& table, const char* key) {
            // Every element starts with its 8-byte identity.
            if (!table_counted_) left_ = in_.read_count(key, 8);
            table_counted_ = true;
            if (left_ == 0) return;
            read_binary_record(in_, table, key, ids_, record_read_);
            --left_;
            read = true;
        });
        if (read) {
            if (progress_) progress_(index_, demo_.resource_count);
            ++index_;
            return;
        }
    }
    read_rest();
}

void DemoReader::read_rest() {
    demo_.music.data = in_.read_scrambled_bytes("music");

    // Records that refer to others resolve their identities once all are read.
    for_each_table(demo_, [&](auto& table, const char*) {
        for (auto& record : table) {
            if constexpr (requires { record->wire(ids_); }) record->wire(ids_);
        }
    });

    demo_.end_beat = in_.read_f32("end_beat");
    demo_.bpm = in_.read_f32("bpm");
    demo_.beat_offset = in_.read_f32("beat_offset");
    done_ = true;
    if (progress_) progress_(demo_.resource_count, demo_.resource_count);
}

JsonValue Demo::to_json(const ProjectDir* external) const {
    JsonValue j = JsonValue::object();
    // Keys are sorted, so only the order of the files written matters here:
    // the music first, then the tables in package order. Where two records
    // name one file, the later one's bytes are what the folder keeps, the
    // same on every unpack.
    put_file_bytes(j, "music", music_file_name, music.data, external);
    for_each_table(*this, [&](const auto& table, const char* key) {
        JsonValue array = JsonValue::array();
        for (const auto& record : table) {
            if constexpr (std::is_same_v<std::decay_t<decltype(*record)>, Effect>) {
                array.push_back(record->to_json(external, effect_name_readers));
            } else {
                array.push_back(record->to_json(external));
            }
        }
        j[key] = std::move(array);
    });
    j["end_beat"] = static_cast<double>(end_beat);
    j["bpm"] = static_cast<double>(bpm);
    j["beat_offset"] = static_cast<double>(beat_offset);
    return j;
}

void Demo::from_json(const JsonValue& value, const ProjectDir& dir) {
    from_json(value, dir, LoadProgress{});
}

void Demo::from_json(const JsonValue& j, const ProjectDir& dir, const LoadProgress& progress_callback) {
    clear_tables(*this);
    resource_count = 0;
    for_each_table(*this, [&](const auto&, const char* key) {
        resource_count += json_table_size(j, key);
    });
    ProgressCounter progress(progress_callback, resource_count);
    NameTables names;

    // Every table is read before any record wires its names, so a reference
    // finds its record whichever table comes first.
    for_each_class_as_read([&](auto type) {
        read_json_table<typename decltype(type)::type>(j, *this, names, dir, progress);
    });
    for_each_table(*this, [&](auto& table, const char* key) {
        wire_json_table(json_member(j, key), table, names);
    });

    music = take_file_bytes(j, "music", music_file_name, dir);
    end_beat = json_float(json_member(j, "end_beat"));
    bpm = json_float(json_member(j, "bpm"));
    beat_offset = json_float(json_member(j, "beat_offset"));
    progress.finish();
}

}  // namespace qh
