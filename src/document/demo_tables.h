#pragma once
// Every record class, and a walk over the Demo's eleven tables in the order of
// the binary record:
//
//   for_each_table(demo, [](auto& table, const char* key) { ... });
//
// `table` is the std::vector<std::unique_ptr<T>> and `key` its JSON key.
#include <string>
#include <type_traits>

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

// The name a record is known by in the project form: a shader program by its
// fragment shader's file name, a model by its file name.
template <class T>
const std::string& record_name(const T& record) {
    if constexpr (std::is_same_v<T, ShaderProgram>) {
        return record.fragment_shader_filename;
    } else if constexpr (std::is_same_v<T, Model>) {
        return record.filename;
    } else {
        return record.name;
    }
}

template <class D, class Fn>  // D is Demo or const Demo
void for_each_table(D& d, Fn&& fn) {
#define QH_VISIT_TABLE(Class, table) fn(d.table, #table);
    QH_RECORD_KINDS(QH_VISIT_TABLE)
#undef QH_VISIT_TABLE
}

}  // namespace qh
