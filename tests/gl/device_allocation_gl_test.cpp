// Allocations the device refuses come back as a failure for the caller, with
// no GL error left behind, and errors pending from before are not theirs.
#include <GL/glew.h>

#include <functional>
#include <string>

#include "gl/gl_context.h"
#include "render/gl/device_allocation.h"
#include "render/gl/gl_objects.h"

namespace qh {
namespace {

class DeviceAllocationGl : public gltest::GlTest {};

TEST_F(DeviceAllocationGl, ARefusedAllocationIsAFailureAndLeavesNoErrorPending) {
    GLint max_side = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_side);
    const GlTexture texture = GlTexture::generate();
    const GlBuffer buffer = GlBuffer::generate();
    glBindTexture(GL_TEXTURE_2D, texture);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    const auto rgba = [](GLsizei w, GLsizei h) {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    };
    struct Row {
        const char* name;
        std::function<void()> allocate;
        const char* problem;  // part of the failure; null: the allocation is made
    };
    const Row rows[] = {
        {"a small texture", [&] { rgba(4, 4); }, nullptr},
        {"a texture wider than the device's largest", [&] { rgba(max_side + 1, 1); }, "GL_INVALID_VALUE"},
#ifndef __SANITIZE_ADDRESS__  // its allocator ends the run on such a request rather than fail it
        {"a buffer of a terabyte",
         [] { glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(1) << 40, nullptr, GL_STATIC_DRAW); },
         "out of memory"},
#endif
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        glEnable(0xFFFF);  // an error of someone else's: GL_INVALID_ENUM
        const std::string why = allocate_checked(row.allocate);
        if (row.problem) {
            EXPECT_NE(why.find(row.problem), std::string::npos) << why;
        } else {
            EXPECT_EQ(why, "");
        }
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
}

}  // namespace
}  // namespace qh
