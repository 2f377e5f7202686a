// The player in a browser page. The page (src/app/web/page.html, with the
// demo put in by `quill pack --target web`) holds the package and the
// translated shader stages as elements; the browser calls one step of the
// player per animation frame.
#include <emscripten.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "app/fatal_report.h"
#include "app/player.h"
#include "package/byte_buffer.h"
#include "package/errors.h"
#include "package/trailer.h"
#include "package/web_page.h"
#include "render/stage_translations.h"

// The text of the page's element `id`, null when there is none; the caller frees it.
EM_JS(char*, qh_page_text, (const char* id), {
    const element = document.getElementById(UTF8ToString(id));
    if (!element) return 0;
    const text = element.textContent;
    const size = lengthBytesUTF8(text) + 1;
    const copy = _malloc(size);
    stringToUTF8(text, copy, size);
    return copy;
});
EM_JS(int, qh_display_width, (), { return quillharbor.displayWidth(); });
EM_JS(int, qh_viewer_ready, (), { return quillharbor.viewerReady() ? 1 : 0; });
EM_JS(void, qh_frame_drawn, (uint32_t elapsed_ms, float beat), { quillharbor.frameDrawn(beat, elapsed_ms); });
EM_JS(void, qh_ended, (int status), { quillharbor.ended(status); });

namespace {

std::optional<std::string> page_text(const char* id) {
    char* text = qh_page_text(id);
    if (!text) return std::nullopt;
    std::string copy(text);
    std::free(text);
    return copy;
}

// The package's payload, from the bytes the page carries in Base64.
std::vector<uint8_t> page_payload() {
    const std::optional<std::string> base64 = page_text(qh::web_package_element);
    if (!base64 || base64->empty()) qh::report_missing_package();
    std::vector<uint8_t> packed;
    try {
        packed = qh::base64_decode(*base64);
    } catch (const qh::ContentError& e) {
        qh::report_fatal_error(std::string("the page's package: ") + e.what());
    }
    qh::PackageLocation at;
    const qh::TrailerStatus status = qh::find_package(packed, at);
    if (status == qh::TrailerStatus::no_package) qh::report_missing_package();
    if (status != qh::TrailerStatus::found) qh::report_fatal_error(qh::describe(status, "the page"));
    const auto begin = packed.begin() + static_cast<std::ptrdiff_t>(at.payload_offset);
    return std::vector<uint8_t>(begin, begin + static_cast<std::ptrdiff_t>(at.payload_size));
}

// Both live until the demo ends, past main(): the browser keeps calling.
std::unique_ptr<qh::StageTranslations> stages;
std::unique_ptr<qh::Player> player;
bool looping = false;

void end(int status) {
    if (looping) emscripten_cancel_main_loop();
    looping = false;
    player.reset();  // what it opened, last first
    qh::use_stage_translations(nullptr);
    stages.reset();
    qh_ended(status);
}

void frame() {
    try {
        if (!player->step()) end(player->stop());
    } catch (const qh::FatalExit&) {
        end(1);
    }
}

void read_stages() {
    const std::optional<std::string> json = page_text(qh::web_stages_element);
    try {
        stages = std::make_unique<qh::StageTranslations>(
            json ? qh::StageTranslations::from_json(*json) : qh::StageTranslations());
    } catch (const qh::ContentError& e) {
        qh::report_fatal_error(e.what());
    }
    qh::use_stage_translations(stages.get());
}

}  // namespace

int main() {
    player = std::make_unique<qh::Player>(qh::PlayerHost{
        .read_payload = page_payload,
        .viewer_ready = [] { return qh_viewer_ready() != 0; },
        .display_width = [] { return qh_display_width(); },
        .frame_drawn = [](uint32_t elapsed_ms, float beat) { qh_frame_drawn(elapsed_ms, beat); },
    });
    try {
        read_stages();
        if (const auto status = player->start()) {
            end(*status);
            return *status;
        }
    } catch (const qh::FatalExit&) {
        end(1);
        return 1;
    }
    // Returns at once; the page keeps the program and calls frame() per animation frame.
    looping = true;
    emscripten_set_main_loop(frame, 0, false);
    return 0;
}
