#include "frame_pipeline.h"

#include <algorithm>
#include <stdexcept>

namespace qh::quill {

FramePipeline::FramePipeline(Sizes sizes, Consumer any_order, Consumer in_order)
    : any_order_(std::move(any_order)), in_order_(std::move(in_order)) {
    for (size_t i = 0; i < std::max<size_t>(sizes.buffers, 1); ++i) {
        frames_.push_back(std::make_unique<Frame>());
        frames_.back()->rgba.resize(sizes.frame_bytes);
        free_.push_back(frames_.back().get());
    }
    if (any_order_) {
        for (unsigned i = 0; i < std::max(sizes.workers, 1u); ++i) {
            threads_.emplace_back([this] { run(pool_queue_, any_order_); });
        }
    }
    if (in_order_) threads_.emplace_back([this] { run(writer_queue_, in_order_); });
}

FramePipeline::~FramePipeline() { stop(); }

unsigned FramePipeline::default_workers() { return std::max(std::thread::hardware_concurrency(), 1u); }

FramePipeline::Frame& FramePipeline::acquire() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return failure_ || !free_.empty(); });
    rethrow_failure();
    Frame* frame = free_.front();
    free_.pop_front();
    return *frame;
}

void FramePipeline::submit(Frame& frame, uint64_t number) {
    std::lock_guard lock(mutex_);
    if (closing_) throw std::logic_error("a frame submitted after the pipeline finished");
    frame.number = number;
    frame.holders = 0;
    if (any_order_) {
        pool_queue_.push_back(&frame);
        ++frame.holders;
    }
    if (in_order_) {
        writer_queue_.push_back(&frame);
        ++frame.holders;
    }
    if (frame.holders == 0) {
        free_.push_back(&frame);
    } else {
        ++in_flight_;
    }
    changed_.notify_all();
    rethrow_failure();
}

void FramePipeline::finish() {
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return in_flight_ == 0; });
    }
    stop();
    std::lock_guard lock(mutex_);
    rethrow_failure();
}

void FramePipeline::run(std::deque<Frame*>& queue, const Consumer& consume) {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return closing_ || !queue.empty(); });
        if (queue.empty()) return;
        Frame* frame = queue.front();
        queue.pop_front();
        if (!failure_) {
            lock.unlock();
            std::exception_ptr failed;
            try {
                consume(*frame);
            } catch (...) {
                failed = std::current_exception();
            }
            lock.lock();
            if (failed && !failure_) failure_ = failed;
        }
        release(*frame);
    }
}

void FramePipeline::release(Frame& frame) {
    if (--frame.holders == 0) {
        free_.push_back(&frame);
        --in_flight_;
    }
    changed_.notify_all();
}

void FramePipeline::rethrow_failure() {
    if (failure_) std::rethrow_exception(failure_);
}

void FramePipeline::stop() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
        changed_.notify_all();
    }
    for (std::thread& t : threads_) {
        if (t.joinable()) t.join();
    }
}

}  // namespace qh::quill
