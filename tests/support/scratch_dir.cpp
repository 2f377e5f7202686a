#include "support/scratch_dir.h"

#include <stdexcept>
#include <system_error>

#include <stdlib.h>

namespace qh::test {

ScratchDir::ScratchDir(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data()))
        throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

}  // namespace qh::test
