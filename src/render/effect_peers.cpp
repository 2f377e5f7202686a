#include "render/effect_peers.h"

#include <utility>

namespace qh {

namespace {
SceneDrawer* installed_drawer = nullptr;
FontTextureGlName installed_font_texture_reader = nullptr;
}  // namespace

SceneDrawer* install_scene_drawer(SceneDrawer* drawer) {
    return std::exchange(installed_drawer, drawer);
}

SceneDrawer* scene_drawer() { return installed_drawer; }

FontTextureGlName install_font_texture_gl_name(FontTextureGlName reader) {
    return std::exchange(installed_font_texture_reader, reader);
}

uint32_t font_texture_gl_name(const FontTexture& texture) {
    return installed_font_texture_reader ? installed_font_texture_reader(texture) : 0;
}

}  // namespace qh
