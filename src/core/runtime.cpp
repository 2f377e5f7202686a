#include "core/runtime.h"

namespace qh {

ScreenSize ScreenSize::from_desktop_width(int32_t desktop_width) {
    ScreenSize s;
    s.width = desktop_width;
    s.height = static_cast<int32_t>(static_cast<int64_t>(desktop_width) * 9 / 16);
    s.render_width = s.width;
    s.render_height = s.height;
    return s;
}

Runtime& runtime() {
    static Runtime r;
    return r;
}

float beat_at(uint32_t elapsed_ms, float bpm, float beat_offset) {
    const float elapsed = static_cast<float>(elapsed_ms);
    return elapsed * bpm / 60000.0f - beat_offset;
}

bool timeline_ended(float beat, float end_beat) {
    return beat > end_beat && beat < 10000.0f;
}

}  // namespace qh
