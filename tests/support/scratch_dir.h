#pragma once
// A directory of its own under the system's temporary folder for one test:
// made by mkdtemp, so no other process, run or test shares it, and removed
// with everything in it when the object goes.
#include <filesystem>
#include <string>

namespace qh::test {

class ScratchDir {
public:
    explicit ScratchDir(const std::string& prefix = "qh-test");
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

}  // namespace qh::test
