// Device side of UniformDef: the upload of its value.
#include <GL/glew.h>

#include "render/uniform_def.h"

namespace qh {

void UniformDef::upload(float value) const {
    if (gpu.location != -1) glUniform1f(gpu.location, value);
}

}  // namespace qh
