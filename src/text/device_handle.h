#pragma once
// A move-only owner of a pointer made by a device library (an SDL surface, a
// font renderer's font), carrying the function that frees it. As with the GL
// name owners (render/gl/gl_objects.h), the freeing function is chosen where
// the pointer was made, so a record that keeps one in its `Gpu` member is
// still read, written and destroyed by code that links no device library.
//
//   DeviceHandle<SDL_Surface> s(SDL_CreateRGBSurface(...), SDL_FreeSurface);
//   s.get();      // the pointer, or null
//   s.reset();    // frees it now
#include <utility>

namespace qh {

template <class T>
class DeviceHandle {
public:
    using Release = void (*)(T*);

    DeviceHandle() = default;
    DeviceHandle(T* pointer, Release release) : pointer_(pointer), release_(release) {}
    DeviceHandle(DeviceHandle&& other) noexcept
        : pointer_(std::exchange(other.pointer_, nullptr)),
          release_(std::exchange(other.release_, nullptr)) {}
    DeviceHandle& operator=(DeviceHandle&& other) noexcept {
        if (this != &other) {
            reset();
            pointer_ = std::exchange(other.pointer_, nullptr);
            release_ = std::exchange(other.release_, nullptr);
        }
        return *this;
    }
    DeviceHandle(const DeviceHandle&) = delete;
    DeviceHandle& operator=(const DeviceHandle&) = delete;
    ~DeviceHandle() { reset(); }

    T* get() const { return pointer_; }
    T* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

    void reset() {
        T* p = std::exchange(pointer_, nullptr);
        if (p && release_) release_(p);
    }

private:
    T* pointer_ = nullptr;
    Release release_ = nullptr;
};

}  // namespace qh
