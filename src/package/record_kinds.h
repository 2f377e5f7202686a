#pragma once
// The record classes of a document, in the order of the package's tables.
// Everything that goes over all of them is made from this one list: the
// identity map's kinds and the name tables (serializable.h), the Demo's
// tables and the walk over them (document/). What a layer does differently
// per class is in one list of that layer, which the build checks against
// this one; document/demo.h names them.
//
//   #define QH_TABLE_NAME(Class, table) #table,
//   const char* names[] = {QH_RECORD_KINDS(QH_TABLE_NAME)};
//
// `table` names the Demo's member and is the table's key in the project form.
#define QH_RECORD_KINDS(X)            \
    X(Event, events)                  \
    X(Effect, effects)                \
    X(ShaderProgram, shaders)         \
    X(Texture, textures)              \
    X(AudioSample, audio_samples)     \
    X(EventGroup, event_groups)       \
    X(Font, fonts)                    \
    X(FontTexture, font_textures)     \
    X(Data, datas)                    \
    X(Model, models)                  \
    X(Scene, scenes)
