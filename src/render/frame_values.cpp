#include "render/frame_values.h"

namespace qh {

FrameValues& frame_values() {
    static FrameValues values;
    return values;
}

}  // namespace qh
