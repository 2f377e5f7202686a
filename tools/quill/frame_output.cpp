#include "frame_output.h"

#include <cstdio>

#include "ffmpeg.h"
#include "frame_pipeline.h"
#include "playback/offline_render.h"
#include "png_file.h"

namespace qh::quill {

std::string frame_file_name(uint64_t n) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%06llu.png", static_cast<unsigned long long>(n));
    return name;
}

uint64_t render_frames(OfflineRender& render, uint64_t first, uint64_t end, const FrameDestinations& to,
                       const std::function<bool(uint64_t drawn)>& go_on) {
    const int width = render.width(), height = render.height();
    FramePipeline::Consumer png, video;
    if (!to.png_dir.empty()) {
        png = [&](const FramePipeline::Frame& f) {
            write_png_file(to.png_dir / frame_file_name(f.number), f.rgba.data(), width, height);
        };
    }
    if (to.video) video = [&](const FramePipeline::Frame& f) { to.video->write(f.rgba); };
    // A frame being filled, one for each worker, one for the video's pipe.
    const unsigned workers = FramePipeline::default_workers();
    FramePipeline output({static_cast<size_t>(width) * static_cast<size_t>(height) * 4, workers, workers + 2}, png,
                         video);
    const auto hand_over = [&](uint64_t n) {
        FramePipeline::Frame& frame = output.acquire();
        render.take_read(frame.rgba);
        output.submit(frame, n);
    };
    uint64_t drawn = 0;
    for (uint64_t n = first; n < end; ++n) {
        render.draw(n);
        render.start_read();
        if (n > first) hand_over(n - 1);
        if (!go_on(++drawn)) break;
    }
    if (drawn > 0) hand_over(first + drawn - 1);
    output.finish();
    return drawn;
}

}  // namespace qh::quill
