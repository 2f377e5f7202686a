#pragma once
// The content document: the tables of records, the music and the tempo.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "package/serializable.h"

namespace qh {

// Called after each record is read (index from 0) and once at the end with
// index == total.
using LoadProgress = std::function<void(uint64_t index, uint64_t total)>;

class Demo {
public:
    Demo();
    ~Demo();

    float end_beat = 480.0f;
    float bpm = 130.0f;
    float beat_offset = 0.5f;
    uint64_t resource_count = 0;
};

}  // namespace qh
