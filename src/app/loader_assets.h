#pragma once
// The loading screen's logo (PNG) and sound (WAV), made by
// assets/make_loader_assets.cpp and compiled into the player at build time.
#include <cstdint>
#include <span>

namespace qh::embedded {

extern const std::span<const uint8_t> loader_logo;
extern const std::span<const uint8_t> loader_sound;

}  // namespace qh::embedded
