#include "render/effect_peers.h"

#include <utility>

namespace qh {

namespace {
SceneDrawer* installed_drawer = nullptr;
}  // namespace

SceneDrawer* install_scene_drawer(SceneDrawer* drawer) {
    return std::exchange(installed_drawer, drawer);
}

SceneDrawer* scene_drawer() { return installed_drawer; }

}  // namespace qh
