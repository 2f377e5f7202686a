#pragma once
// Storage made on the device (a texture's texels, a buffer's bytes) can fail
// for want of memory, and GL says so only through glGetError. Every such
// allocation goes through `allocate_checked`, so the failure is seen at the
// call that caused it, never as a stream of errors from later draws:
//
//   std::string why = allocate_checked([&] { glTexImage2D(...); });
//   if (!why.empty()) ...leave the resource out, with one "Warn:" line
//   require_allocation("effect \"fade\": colour target", why);  // or: throws
//
// What a failure costs is chosen per resource:
//  - fatal (DeviceAllocationError; the player ends loading with its fatal
//    report, quill prints it and exits 1), for what the demo cannot run
//    without: an effect's colour target and screen copy (every frame is
//    composed through them) and a model's vertex buffers (its scenes would
//    draw nothing);
//  - left out with one "Warn:" line naming it, for what the demo can play
//    without: an image texture (binds nothing), a model's image (draws
//    white), a text texture (shows nothing), a scene's shadow target (no
//    shadow pass).
// This header needs no GL, so the player can catch the error type.
#include <functional>
#include <stdexcept>
#include <string>

namespace qh {

class DeviceAllocationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Drops the GL errors already pending (they are not this allocation's), runs
// `allocate` and returns "" when GL raised no error, otherwise why: "the
// device is out of memory" for GL_OUT_OF_MEMORY, the error's name for any
// other. Needs a current context.
std::string allocate_checked(const std::function<void()>& allocate);

// Throws DeviceAllocationError("WHAT cannot be made: PROBLEM") unless
// `problem` is empty.
void require_allocation(const std::string& what, const std::string& problem);

}  // namespace qh
