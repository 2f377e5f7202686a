#pragma once
// An environment variable set for as long as the object lives; what was
// there before (or its absence) comes back with its end.
//
//   test::ScopedEnv tmp("TMPDIR", dir.string());
#include <cstdlib>
#include <optional>
#include <string>

namespace qh::test {

class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::string& value) : name_(std::move(name)) {
        if (const char* old = std::getenv(name_.c_str())) old_ = old;
        setenv(name_.c_str(), value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_) setenv(name_.c_str(), old_->c_str(), 1);
        else unsetenv(name_.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

}  // namespace qh::test
