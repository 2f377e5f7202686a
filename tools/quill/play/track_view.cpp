#include "track_view.h"

#include <GL/glew.h>
#include <imgui.h>
#include <imgui_impl_opengl3.h>
#include <imgui_impl_sdl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "play_clock.h"

namespace qh::quill {

namespace {

constexpr const char* panel_font = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
constexpr float font_size = 14.0f;
constexpr float label_width = 64.0f;
constexpr float column_width = 84.0f;
constexpr float curve_height = 90.0f;
constexpr float drag_pixels_per_step = 8.0f;

// Colours, ABGR as ImGui packs them.
constexpr ImU32 background = IM_COL32(22, 24, 28, 255);
constexpr ImU32 bar_row = IM_COL32(48, 52, 62, 255);
constexpr ImU32 beat_row = IM_COL32(34, 37, 44, 255);
constexpr ImU32 cursor_row_colour = IM_COL32(70, 60, 30, 255);
constexpr ImU32 selected_colour = IM_COL32(40, 80, 140, 255);
constexpr ImU32 text_colour = IM_COL32(220, 220, 220, 255);
constexpr ImU32 dim_text = IM_COL32(120, 124, 132, 255);
constexpr ImU32 key_colour = IM_COL32(255, 210, 90, 255);
constexpr ImU32 curve_colour = IM_COL32(120, 220, 140, 255);

// The nudge a key gives: 0.1, ten times that with shift, a tenth with ctrl.
float nudge_step(bool shift, bool ctrl) { return shift ? 1.0f : ctrl ? 0.01f : 0.1f; }

// The character a key types into the value, or 0.
char typed_char(SDL_Keycode k) {
    if (k >= SDLK_0 && k <= SDLK_9) return static_cast<char>('0' + (k - SDLK_0));
    if (k >= SDLK_KP_1 && k <= SDLK_KP_9) return static_cast<char>('1' + (k - SDLK_KP_1));
    if (k == SDLK_KP_0) return '0';
    if (k == SDLK_PERIOD || k == SDLK_KP_PERIOD) return '.';
    if (k == SDLK_MINUS || k == SDLK_KP_MINUS) return '-';
    return 0;
}

std::string row_label(const BeatRows& rows, int64_t row) {
    const int64_t per_bar = rows.per_beat * static_cast<int64_t>(beats_per_bar);
    const int64_t bar = row >= 0 ? row / per_bar : -((-row + per_bar - 1) / per_bar);
    const int64_t in_bar = row - bar * per_bar;
    char text[72];
    std::snprintf(text, sizeof text, "%lld.%lld.%lld", static_cast<long long>(bar + 1),
                  static_cast<long long>(in_bar / rows.per_beat + 1), static_cast<long long>(in_bar % rows.per_beat));
    return text;
}

}  // namespace

TrackView::TrackView(SDL_Window* window, void* gl_context) {
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;  // nothing written beside the project
    if (std::filesystem::exists(panel_font)) io.Fonts->AddFontFromFileTTF(panel_font, font_size);
    ImGui::StyleColorsDark();
    ImGui_ImplSDL2_InitForOpenGL(window, gl_context);
    ImGui_ImplOpenGL3_Init("#version 330 core");
}

TrackView::~TrackView() {
    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplSDL2_Shutdown();
    ImGui::DestroyContext();
}

void TrackView::mouse(const SDL_Event& event) {
    if (event.type != SDL_KEYDOWN && event.type != SDL_KEYUP && event.type != SDL_TEXTINPUT)
        ImGui_ImplSDL2_ProcessEvent(&event);
}

TrackView::Outcome TrackView::key(const SDL_KeyboardEvent& key, TrackPanel& panel) {
    const SDL_Keycode k = key.keysym.sym;
    const bool shift = (key.keysym.mod & KMOD_SHIFT) != 0;
    const bool ctrl = (key.keysym.mod & KMOD_CTRL) != 0;
    Outcome o;
    o.used = true;
    if (ctrl) {
        switch (k) {
            case SDLK_z: o.edited = shift ? panel.redo() : panel.undo(); return o;
            case SDLK_y: o.edited = panel.redo(); return o;
            case SDLK_c: panel.copy(); return o;
            case SDLK_v: o.edited = panel.paste(); return o;
            case SDLK_s: o.save = true; return o;
            case SDLK_UP: case SDLK_DOWN:
                panel.move(CursorStep::beat, k == SDLK_UP ? -1 : 1, shift);
                o.moved = true;
                return o;
            default: break;
        }
    }
    if (const char c = typed_char(k); c && !ctrl) {
        panel.type(c);
        return o;
    }
    switch (k) {
        case SDLK_UP: case SDLK_DOWN: panel.move(CursorStep::row, k == SDLK_UP ? -1 : 1, shift); o.moved = true; break;
        case SDLK_PAGEUP: case SDLK_PAGEDOWN:
            panel.move(CursorStep::bar, k == SDLK_PAGEUP ? -1 : 1, shift);
            o.moved = true;
            break;
        case SDLK_LEFT: case SDLK_RIGHT: panel.select_track(k == SDLK_LEFT ? -1 : 1, shift); break;
        case SDLK_BACKSPACE: panel.erase_typed(); break;
        case SDLK_RETURN: case SDLK_KP_ENTER: o.edited = panel.enter(); break;
        case SDLK_LEFTBRACKET: case SDLK_RIGHTBRACKET:
            o.edited = panel.nudge((k == SDLK_LEFTBRACKET ? -1.0f : 1.0f) * nudge_step(shift, ctrl));
            break;
        case SDLK_i: o.edited = panel.next_mode(); break;
        case SDLK_DELETE: o.edited = panel.delete_selection(); break;
        case SDLK_r: panel.set_rows_per_beat(panel.rows().next_choice(shift ? -1 : 1)); break;
        case SDLK_p: panel.toggle_pin(); break;
        default: o.used = false;
    }
    return o;
}

TrackView::Outcome TrackView::draw(TrackPanel& panel, float clock_beat, int window_width, int window_height,
                                   const std::string& note) {
    Outcome o;
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    ImGui::NewFrame();

    const int width = width_for(window_width);
    const float left = static_cast<float>(window_width - width);
    ImGui::SetNextWindowPos(ImVec2(left, 0));
    ImGui::SetNextWindowSize(ImVec2(static_cast<float>(width), static_cast<float>(window_height)));
    ImGui::Begin("tracks", nullptr,
                 ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoSavedSettings |
                     ImGuiWindowFlags_NoNav | ImGuiWindowFlags_NoBringToFrontOnFocus);
    ImDrawList* draw = ImGui::GetWindowDrawList();
    const float line = ImGui::GetTextLineHeightWithSpacing();
    const BeatRows& rows = panel.rows();
    const TrackEditor& editor = panel.editor();
    const std::vector<Track>& tracks = panel.tracks();
    const std::optional<size_t> cursor_track = panel.cursor_track();

    // The head: where the cursor is, the grid, what is typed, whether saved.
    char head[160];
    std::snprintf(head, sizeof head, "beat %.3f  %d rows/beat  %s%s", static_cast<double>(panel.cursor_beat()),
                  rows.per_beat, editor.unsaved() ? "unsaved" : "saved",
                  panel.typed().empty() ? "" : ("  value: " + panel.typed()).c_str());
    ImGui::TextUnformatted(head);
    ImGui::TextUnformatted(cursor_track ? track_label(panel.demo(), tracks[*cursor_track]).c_str() : "no track here");
    ImGui::TextColored(ImVec4(0.6f, 0.6f, 0.65f, 1), "%s", note.c_str());

    // Columns: as many tracks as fit, scrolled to keep the cursor's in view.
    const size_t fit = std::max<size_t>(1, static_cast<size_t>((width - label_width - 8) / column_width));
    const size_t cur = cursor_track.value_or(0);
    const size_t first = tracks.size() <= fit ? 0 : std::min(cur >= fit / 2 ? cur - fit / 2 : 0, tracks.size() - fit);
    const size_t last = std::min(tracks.size(), first + fit);

    ImVec2 origin = ImGui::GetCursorScreenPos();
    for (size_t t = first; t < last; ++t) {
        const ImVec2 at(origin.x + label_width + column_width * static_cast<float>(t - first), origin.y);
        const ControlPointCurve* c = editor.curve(tracks[t]);
        const std::string label = track_label(panel.demo(), tracks[t]);
        // A long name is cut at its column; the cursor's shows whole in the head.
        draw->PushClipRect(at, ImVec2(at.x + column_width - 6, at.y + 2 * line), true);
        draw->AddText(at, t == cur ? key_colour : text_colour, label.c_str());
        std::string sub = std::string(c ? curve_mode_name(c->mode) : "") + (tracks[t].pinned ? " pin" : "");
        draw->AddText(ImVec2(at.x, at.y + line), dim_text, sub.c_str());
        draw->PopClipRect();
    }
    origin.y += 2 * line + 4;

    // Rows: the cursor's row a third of the way down.
    const float grid_height = static_cast<float>(window_height) - origin.y - curve_height - 12;
    const int shown = std::max(1, static_cast<int>(grid_height / line));
    const int64_t top = panel.cursor_row() - shown / 3;
    const TrackPanel::Block sel = panel.selection();
    const int64_t clock_row = rows.row_at(clock_beat);
    for (int i = 0; i < shown; ++i) {
        const int64_t row = top + i;
        const float y = origin.y + line * static_cast<float>(i);
        const ImVec2 a(left, y), b(left + static_cast<float>(width), y + line);
        if (row == panel.cursor_row()) draw->AddRectFilled(a, b, cursor_row_colour);
        else if (rows.starts_bar(row)) draw->AddRectFilled(a, b, bar_row);
        else if (rows.starts_beat(row)) draw->AddRectFilled(a, b, beat_row);
        draw->AddText(ImVec2(origin.x, y), rows.starts_bar(row) ? text_colour : dim_text,
                      row_label(rows, row).c_str());
        if (row == clock_row) draw->AddText(ImVec2(origin.x + label_width - 12, y), curve_colour, ">");
        for (size_t t = first; t < last; ++t) {
            const float x = origin.x + label_width + column_width * static_cast<float>(t - first);
            if (t >= sel.first && t < sel.last && row >= sel.from && row <= sel.to)
                draw->AddRectFilled(ImVec2(x - 2, y), ImVec2(x + column_width - 4, y + line), selected_colour);
            const auto k = editor.key_at(tracks[t], rows, row);
            char cell[48] = "  .";
            if (k) {
                const ControlPoint& p = editor.curve(tracks[t])->control_points[*k];
                if (p.is_text()) std::snprintf(cell, sizeof cell, "\"%.8s\"", p.text.c_str());
                else std::snprintf(cell, sizeof cell, "%8.3f", static_cast<double>(p.value));
            }
            draw->AddText(ImVec2(x, y), k ? key_colour : dim_text, cell);
        }
    }

    // Clicks go to the cell under the mouse; a drag up or down on the cursor's
    // cell nudges its key.
    const ImGuiIO& io = ImGui::GetIO();
    const ImVec2 m = io.MousePos;
    const float grid_left = origin.x + label_width;
    if (m.x >= grid_left && m.y >= origin.y && m.y < origin.y + line * static_cast<float>(shown)) {
        const size_t t = first + static_cast<size_t>((m.x - grid_left) / column_width);
        const int64_t row = top + static_cast<int64_t>((m.y - origin.y) / line);
        if (ImGui::IsMouseClicked(ImGuiMouseButton_Left) && t < last) {
            panel.move_to(t, row);
            o.moved = true;
            drag_ = 0;
        }
        if (io.MouseWheel != 0) {
            panel.move(CursorStep::row, io.MouseWheel > 0 ? -1 : 1);
            o.moved = true;
        }
    }
    if (ImGui::IsMouseDragging(ImGuiMouseButton_Left)) {
        drag_ += -io.MouseDelta.y;
        while (std::abs(drag_) >= drag_pixels_per_step) {
            const float dir = drag_ > 0 ? 1.0f : -1.0f;
            o.edited = panel.nudge(dir * nudge_step(io.KeyShift, io.KeyCtrl)) || o.edited;
            drag_ -= dir * drag_pixels_per_step;
        }
    }

    // The cursor track's curve over the rows shown.
    const float cy = origin.y + line * static_cast<float>(shown) + 8;
    draw->AddRectFilled(ImVec2(left + 4, cy), ImVec2(left + width - 4, cy + curve_height), background);
    if (cursor_track) {
        const Track& track = tracks[*cursor_track];
        constexpr int samples = 160;
        std::vector<float> v(samples);
        for (int s = 0; s < samples; ++s)
            v[s] = track_value(panel.demo(), track, rows.beat_of(top) + static_cast<float>(shown) / rows.per_beat * s / (samples - 1));
        const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
        const float span = *hi - *lo > 1e-6f ? *hi - *lo : 1.0f;
        std::vector<ImVec2> points;
        for (int s = 0; s < samples; ++s)
            points.emplace_back(left + 8 + (width - 16) * static_cast<float>(s) / (samples - 1),
                                cy + curve_height - 6 - (curve_height - 12) * (v[s] - *lo) / span);
        draw->AddPolyline(points.data(), samples, curve_colour, 0, 1.5f);
        const float cx = left + 8 + (width - 16) * static_cast<float>(panel.cursor_row() - top) / shown;
        draw->AddLine(ImVec2(cx, cy), ImVec2(cx, cy + curve_height), key_colour);
        char range[64];
        std::snprintf(range, sizeof range, "%.3g .. %.3g", static_cast<double>(*lo), static_cast<double>(*hi));
        draw->AddText(ImVec2(left + 8, cy + 2), dim_text, range);
    }
    ImGui::End();
    ImGui::Render();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, window_width, window_height);
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    return o;
}

}  // namespace qh::quill
