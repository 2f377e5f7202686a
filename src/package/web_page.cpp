#include "package/web_page.h"

#include "package/byte_buffer.h"
#include "package/errors.h"

namespace qh {

namespace {

constexpr std::string_view open_mark = "<!--quillharbor:content-->";
constexpr std::string_view close_mark = "<!--/quillharbor:content-->";

std::string element(const char* id, const char* type, std::string_view text) {
    return std::string("<script type=\"") + type + "\" id=\"" + id + "\">" + std::string(text) +
           "</script>";
}

// The text of the element with `id` that stands at `at` in `content`, where
// `at` is moved past it.
std::string_view element_text(std::string_view content, size_t& at, const char* id) {
    const std::string head_end = std::string("id=\"") + id + "\">";
    const size_t head = content.find(head_end, at);
    const size_t start = head == std::string_view::npos ? head : head + head_end.size();
    const size_t stop = start == std::string_view::npos ? start : content.find("</script>", start);
    if (stop == std::string_view::npos)
        throw ContentError(std::string("the page's content has no whole element \"") + id + "\"");
    at = stop + 9;
    return content.substr(start, stop - start);
}

}  // namespace

bool is_web_player_page(std::span<const uint8_t> bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const size_t open = text.find(open_mark);
    return text.starts_with("<!DOCTYPE html>") && open != std::string_view::npos &&
           text.find(close_mark, open) != std::string_view::npos;
}

std::optional<WebContent> find_web_content(std::string_view page) {
    const size_t open = page.find(open_mark);
    if (open == std::string_view::npos) return std::nullopt;
    WebContent c;
    c.begin = open + open_mark.size();
    c.end = page.find(close_mark, c.begin);
    if (c.end == std::string_view::npos) return std::nullopt;
    const std::string_view content = page.substr(c.begin, c.end - c.begin);
    if (content.empty()) return c;
    size_t at = 0;
    c.package_base64 = element_text(content, at, web_package_element);
    c.stages_json = element_text(content, at, web_stages_element);
    return c;
}

std::string web_page_with_content(std::string_view player_page, std::span<const uint8_t> packed,
                                  std::string_view stages_json) {
    const std::optional<WebContent> c = find_web_content(player_page);
    if (!c) throw ContentError("the page is not the web player's: it has no content marks");
    if (stages_json.find('<') != std::string_view::npos)
        throw ContentError("the translated stages hold a \"<\", which could end their element");
    std::string page(player_page.substr(0, c->begin));
    page += element(web_package_element, "application/octet-stream",
                    base64_encode(packed.data(), packed.size()));
    page += element(web_stages_element, "application/json", stages_json);
    page += player_page.substr(c->end);
    return page;
}

}  // namespace qh
