#pragma once
// The quill commands. Each takes the arguments after its name and returns the
// exit status (0 success, 1 failure, 2 usage error).
#include <string>
#include <vector>

namespace qh::quill {

int cmd_pack(const std::vector<std::string>& argv);
int cmd_unpack(const std::vector<std::string>& argv);
int cmd_info(const std::vector<std::string>& argv);
int cmd_check(const std::vector<std::string>& argv);
int cmd_play(const std::vector<std::string>& argv);
int cmd_render(const std::vector<std::string>& argv);
int cmd_join(const std::vector<std::string>& argv);
int cmd_shadertoy(const std::vector<std::string>& argv);

}  // namespace qh::quill
