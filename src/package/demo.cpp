#include "package/demo.h"

namespace qh {

Demo::Demo() = default;
Demo::~Demo() = default;

}  // namespace qh
