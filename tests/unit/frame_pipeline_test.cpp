#include "frame_pipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

namespace qh::quill {
namespace {

// Frames handed over by one thread reach each consumer once, whole (a buffer
// reused before both consumers are done shows as another frame's bytes), the
// writer in order, from no more buffers than allowed; a consumer's failure
// reaches the drawing side instead of hanging it.
TEST(FramePipeline, EveryFrameReachesEachConsumerOnceFromBoundedBuffers) {
    struct Row {
        const char* name;
        unsigned workers;
        size_t buffers;
        bool pool, writer;
        int fail_at;  // the writer throws at this frame; -1: never
    };
    const Row rows[] = {
        {"pool and writer", 3, 5, true, true, -1},
        {"one buffer", 2, 1, true, true, -1},
        {"writer only", 1, 2, false, true, -1},
        {"pool only", 4, 3, true, false, -1},
        {"writer fails", 2, 3, true, true, 7},
    };
    constexpr int frames = 60;
    constexpr size_t bytes = 4096;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::mutex seen_mutex;
        std::multiset<uint64_t> pooled;
        std::vector<uint64_t> written;
        std::set<const void*> buffers;
        bool torn = false;
        auto check = [&](const FramePipeline::Frame& f) {
            std::this_thread::yield();
            const bool whole = std::all_of(f.rgba.begin(), f.rgba.end(),
                                           [&](uint8_t b) { return b == static_cast<uint8_t>(f.number * 7 + 1); });
            std::lock_guard lock(seen_mutex);
            torn |= !whole;
            buffers.insert(f.rgba.data());
        };
        FramePipeline::Consumer pool, writer;
        if (row.pool) {
            pool = [&](const FramePipeline::Frame& f) {
                check(f);
                std::lock_guard lock(seen_mutex);
                pooled.insert(f.number);
            };
        }
        if (row.writer) {
            writer = [&](const FramePipeline::Frame& f) {
                if (static_cast<int>(f.number) == row.fail_at) throw std::runtime_error("disk full");
                check(f);
                std::lock_guard lock(seen_mutex);
                written.push_back(f.number);
            };
        }
        std::string failure;
        try {
            FramePipeline pipeline({bytes, row.workers, row.buffers}, pool, writer);
            for (uint64_t n = 0; n < frames; ++n) {
                FramePipeline::Frame& f = pipeline.acquire();
                std::fill(f.rgba.begin(), f.rgba.end(), static_cast<uint8_t>(n * 7 + 1));
                pipeline.submit(f, n);
            }
            pipeline.finish();
        } catch (const std::runtime_error& e) {
            failure = e.what();
        }
        EXPECT_FALSE(torn) << "a consumer saw a buffer refilled under it";
        EXPECT_LE(buffers.size(), row.buffers);
        if (row.fail_at >= 0) {
            EXPECT_EQ(failure, "disk full");
            EXPECT_EQ(written.size(), static_cast<size_t>(row.fail_at));
            continue;
        }
        EXPECT_EQ(failure, "");
        std::vector<uint64_t> all(frames);
        for (uint64_t n = 0; n < frames; ++n) all[n] = n;
        if (row.writer) {
            EXPECT_EQ(written, all);
        }
        if (row.pool) {
            EXPECT_EQ(std::vector<uint64_t>(pooled.begin(), pooled.end()), all);
        }
    }
}

}  // namespace
}  // namespace qh::quill
