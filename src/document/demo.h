#pragma once
// The content document: eleven tables of records, the music and the tempo.
//
//   Demo demo;
//   BinaryReader in(payload);
//   demo.read_binary(in, progress);      // tables, identities wired, tempo
//   DemoReader reader(demo, in, progress);           // the same, a record a call:
//   while (!reader.done()) reader.read_next();       // work may go between records
//   BinaryWriter out;  demo.write_binary(out);   // identities are a counter in table order
//
//   demo.from_json(project, ProjectDir("path/to/project"), progress);
//   JsonValue j = demo.to_json(&dir);    // external files written into dir
//
// Reading and writing never touch GL or the mixer; the device steps come after
// (playback/).
//
// To add a record class, give it the four ISerializable operations (and
// `wire`/`wire_names` when it refers to other records: both are called when
// present), then give it its row in one list per layer. Leaving it out of any
// of them stops the build.
//   kinds     QH_RECORD_KINDS (package/record_kinds.h), at the place of its
//             table in the package: its table here, its identity kind, its
//             name map, its place in every walk over the tables
//   document  QH_DOCUMENT_RECORDS (document/demo_tables.h, which includes its
//             header): the member holding its name in the project form, its
//             lint, its place in the project reader's order; a library of
//             its own joins QH_RECORD_LIBRARIES (src/CMakeLists.txt)
//   device    DemoPlayback::realize_record (playback/demo_playback.cpp): its
//             device work while loading; a device library of its own joins
//             QH_RECORD_DEVICE_LIBRARIES
//   tool      quill's `section_checks` (tools/quill/check.cpp) and
//             `reload_record` (tools/quill/play/play.cpp): its section of the
//             check report, and what play --watch does when its file changes
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "package/byte_buffer.h"
#include "package/serializable.h"

namespace qh {

// Called after each record is read (index from 0, total = resource_count) and
// once at the end with index == total.
using LoadProgress = std::function<void(uint64_t index, uint64_t total)>;

// A record of any table, as handed to a RecordRead callback.
struct RecordRef {
    RecordKind kind;
    void* record;

    template <class T>
    T* as() const {
        return kind == RecordKindOf<T>::value ? static_cast<T*>(record) : nullptr;
    }
};
// Called for each record of a package right after it is read, before the
// progress callback: the player does the record's device work there, so that
// the loading screen follows the work that takes the time. Links to other
// records are not wired yet.
using RecordRead = std::function<void(const RecordRef&)>;

class Demo : public ISerializable {
public:
    Demo();
    ~Demo() override;
    Demo(const Demo&) = delete;
    Demo& operator=(const Demo&) = delete;

#define QH_DEMO_TABLE(Class, table) std::vector<std::unique_ptr<Class>> table;
    QH_RECORD_KINDS(QH_DEMO_TABLE)
#undef QH_DEMO_TABLE
    ByteBuffer music;  // empty: no music
    float end_beat = 480.0f;
    float bpm = 130.0f;
    float beat_offset = 0.5f;
    uint64_t resource_count = 0;  // as stored; only the loading progress uses it

    JsonValue to_json(const ProjectDir* external) const override;
    void write_binary(BinaryWriter& out) const override;
    void from_json(const JsonValue& value, const ProjectDir& dir) override;
    void read_binary(BinaryReader& in) override;

    void from_json(const JsonValue& value, const ProjectDir& dir, const LoadProgress& progress);
    void read_binary(BinaryReader& in, const LoadProgress& progress,
                     const RecordRead& record_read = {});

    // Records in all tables together.
    uint64_t record_count() const;
};

// Reads a package into a document a record at a time, for a caller that has
// work of its own between records (the player draws a loading frame after
// each, and returns to the browser). Run to the end it is Demo::read_binary:
// the same bytes read in the same order, the same callbacks, the same errors.
// `in` must outlive it; the callbacks are kept.
class DemoReader {
public:
    DemoReader(Demo& demo, BinaryReader& in, LoadProgress progress = {}, RecordRead record_read = {});
    DemoReader(const DemoReader&) = delete;
    DemoReader& operator=(const DemoReader&) = delete;

    // The next record, with the counts of any tables before it (the first
    // call clears the document and reads resource_count first); once the
    // records are all read, the music, the links and the tempo, and then
    // done(). Throws as Demo::read_binary does; not to be called again then.
    void read_next();
    bool done() const { return done_; }

private:
    void read_rest();

    Demo& demo_;
    BinaryReader& in_;
    LoadProgress progress_;
    RecordRead record_read_;
    IdentityMap ids_;
    bool started_ = false;
    bool done_ = false;
    size_t table_ = 0;          // the table being read, in package order
    bool table_counted_ = false;  // its count is read
    uint64_t left_ = 0;         // its records not yet read
    uint64_t index_ = 0;        // records read so far, all tables
};

// The name every external music file has beside a project.
inline constexpr const char* music_file_name = "resources/music.mp3";

}  // namespace qh
