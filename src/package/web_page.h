#pragma once
// A demo for the browser is one HTML page: the web player's page with the
// package and the translated shader stages as two elements between the
// player's content marks. The package there is the bytes every other system
// carries after its player (payload and trailer), in Base64.
//
//   std::string page = web_page_with_content(player_page, packed, stages_json);
//   if (const auto content = find_web_content(page)) {
//       std::vector<uint8_t> packed = base64_decode(content->package_base64);
//       ...find_package(packed, at) as for an executable
//   }
//
// Pure text work: the web player reads the same elements by their ids.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qh {

inline constexpr const char* web_package_element = "quillharbor-package";
inline constexpr const char* web_stages_element = "quillharbor-stages";

// Where the content of a page stands (views into it).
struct WebContent {
    size_t begin = 0, end = 0;        // the text between the two marks
    std::string_view package_base64;  // empty in a player page with no demo
    std::string_view stages_json;
};

// True for a page that has the player's content marks.
bool is_web_player_page(std::span<const uint8_t> bytes);

// The content of a page with both marks in order, nothing otherwise. Throws
// ContentError when what stands between them is not the two elements.
std::optional<WebContent> find_web_content(std::string_view page);

// `player_page` (with or without content) holding `packed` and `stages_json`
// instead. Throws ContentError for a page without the marks, and for stages
// that could end their element (a "<" in them).
std::string web_page_with_content(std::string_view player_page, std::span<const uint8_t> packed,
                                  std::string_view stages_json);

}  // namespace qh
