#pragma once
// Rendered frames taken off the drawing thread. The drawing thread fills a
// frame buffer and hands it over; a pool of workers consumes each frame in
// whatever order they get to it (PNG files), and one writer consumes every
// frame in the order handed over (ffmpeg's pipe). A buffer comes back when
// both are done with it. There is a fixed number of buffers, so memory stays
// bounded however slow the disk or the encoder: when all are in use, the
// drawing thread waits for one.
//
//   FramePipeline out({.frame_bytes = w * h * 4, .workers = 4, .buffers = 6},
//                     write_png_of_frame, pipe_to_ffmpeg);
//   for (...) {
//       FramePipeline::Frame& f = out.acquire();   // waits while none is free
//       render.take_read(f.rgba);
//       out.submit(f, n);
//   }
//   out.finish();   // waits for everything handed over
//
// A consumer that throws stops the pipeline: the frames after it are not
// consumed, and the next acquire, submit or finish throws its exception.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace qh::quill {

class FramePipeline {
public:
    struct Frame {
        uint64_t number = 0;
        std::vector<uint8_t> rgba;

    private:
        friend class FramePipeline;
        int holders = 0;  // consumers still to see it
    };
    using Consumer = std::function<void(const Frame&)>;

    struct Sizes {
        size_t frame_bytes = 0;
        unsigned workers = 1;  // the pool's threads, when there is a pool consumer
        size_t buffers = 3;    // frames in flight at most, the one being filled included
    };

    // Either consumer may be empty: that side does not run.
    FramePipeline(Sizes sizes, Consumer any_order, Consumer in_order);
    ~FramePipeline();  // lets the threads consume what was handed over, then stops them
    FramePipeline(const FramePipeline&) = delete;
    FramePipeline& operator=(const FramePipeline&) = delete;

    // A free buffer of frame_bytes bytes, for the drawing thread to fill.
    Frame& acquire();
    // Hands `frame` (from acquire) over as frame `number`.
    void submit(Frame& frame, uint64_t number);
    // Waits until every frame handed over is consumed, then stops the threads.
    void finish();

    // The number of workers for this machine: its cores, at least one.
    static unsigned default_workers();

private:
    void run(std::deque<Frame*>& queue, const Consumer& consume);
    void release(Frame& frame);  // with mutex_ held
    void rethrow_failure();      // with mutex_ held
    void stop();

    Consumer any_order_, in_order_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::unique_ptr<Frame>> frames_;
    std::deque<Frame*> free_, pool_queue_, writer_queue_;
    size_t in_flight_ = 0;  // frames handed over and not yet released
    std::exception_ptr failure_;
    bool closing_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace qh::quill
