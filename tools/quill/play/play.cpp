// quill play: the edit loop. The demo plays from its folder (or a packed
// file) in a window of its own, with the player's frame composition and clock,
// keys that pause and seek music and picture together, an overlay, with
// --watch what is saved on disk taken in while it plays, and with --edit the
// track view beside the picture, whose edits change the playing document.
#include <GL/glew.h>
#include <SDL.h>

#include <glm/geometric.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "core/runtime.h"
#include "devices.h"
#include "document/demo_io.h"
#include "document/demo_tables.h"
#include "document_io.h"
#include "package/errors.h"
#include "platform/font_library.h"
#include "platform/gl_window.h"
#include "play_clock.h"
#include "play_status.h"
#include "playback/demo_playback.h"
#include "playback/frame_composition.h"
#include "playback/program_reload.h"
#include "project_watch.h"
#include "render/gl/gl_util.h"
#include "text/text_overlay.h"
#include "curve_text.h"
#include "fly_camera.h"
#include "render/effect.h"
#include "scene3d/scene.h"
#include "track_view.h"

namespace qh::quill {

namespace {

const char* const usage =
    "usage: quill play FILE [--size WxH] [--fullscreen] [--from SECONDS] [--loop A:B] [--watch]\n"
    "                  [--edit] [--verbose]\n"
    "\n"
    "Plays FILE (a project.json or a packed player) in a window, with the player's\n"
    "frames and clock but no loading screen and no finale. The window is 1280 x 720\n"
    "and resizable unless --size or --fullscreen say otherwise.\n"
    "\n"
    "  --from SECONDS  start this far into the music\n"
    "  --loop A:B      play from A to B seconds again and again (starts at A\n"
    "                  unless --from says otherwise)\n"
    "  --watch         take in what is saved: a shader source rebuilds its program\n"
    "                  and the programs that #include it; an image, a sound or the\n"
    "                  music is read again; project.json, a font or a model reads\n"
    "                  the whole project again. Playing goes on at the same time.\n"
    "                  A shader that no longer builds keeps its last good program\n"
    "                  and a project.json that no longer reads keeps the last good\n"
    "                  document; why is shown in the overlay and printed.\n"
    "  --edit          open the track view beside the picture (FILE must be a\n"
    "                  project.json; implies --watch): keys of the curves on rows\n"
    "                  of beats, set and changed while the demo plays\n"
    "  --verbose       also print what the player prints while it reads and builds\n"
    "                  (the files it loads, the driver's logs)\n"
    "\n"
    "Keys:\n"
    "  space           pause or go on (music and picture together)\n"
    "  left, right     one bar back or forward (4 beats); with shift, eight bars\n"
    "  home            back to the start of the music\n"
    "  L               mark where a loop starts, then where it ends; again: no loop\n"
    "  O               show or hide the overlay (time, beat, bar, frame rate, the\n"
    "                  events playing, what did not build)\n"
    "  tab             show or hide the track view (a project.json only)\n"
    "  escape          quit\n"
    "Keys in the track view (they go before the ones above):\n"
    "  up, down        one row; with ctrl one beat; page up, page down one bar;\n"
    "                  with shift the selection grows\n"
    "  left, right     the track before or after; with shift the selection grows\n"
    "  0-9 . -, enter  type a value, then set it as a key at the cursor\n"
    "  [ ]             nudge the key down or up by 0.1 (shift: 1, ctrl: 0.01);\n"
    "                  dragging a key up or down with the mouse does the same\n"
    "  I               the track's next interpolation (step, linear, smooth)\n"
    "  delete          delete the keys of the selection\n"
    "  ctrl-C, ctrl-V  copy the selected rows of the selected tracks; paste\n"
    "                  them at the cursor\n"
    "  ctrl-Z, ctrl-Y  undo, redo (ctrl-shift-Z redoes too)\n"
    "  R, shift-R      more or fewer rows per beat (1, 2, 3, 4, 6, 8)\n"
    "  P               pin the track's event (or group) so its tracks stay\n"
    "  F               fly the camera of the scene the track's event draws: drag\n"
    "                  in the picture to turn, W A S D to move, Q E down and up\n"
    "                  (shift: faster); C sets the event's camera keys at the\n"
    "                  cursor row to what the view shows, G its light's direction\n"
    "                  keys (the light behind the view); F again lands\n"
    "  ctrl-S          save: the edited values are written into project.json where\n"
    "                  they stand, the rest of its text kept; the file before goes\n"
    "                  to project.json.bak. When project.json changes on disk with\n"
    "                  no unsaved edits it is read again; with unsaved edits the\n"
    "                  view says so: ctrl-S writes the edits into the changed file,\n"
    "                  F5 reads the file and drops them.\n"
    "At the demo's end beat the preview pauses.\n"
    "\n"
    "The overlay's font is DejaVu Sans from Debian's fonts-dejavu-core.\n"
    "Needs a display (run it under Xvfb where there is none). Sound goes to the\n"
    "default audio device, else nowhere.\n"
    "Exit status: 0 after escape or closing the window, 1 FILE cannot be read or\n"
    "no window opens, 2 usage error.\n";

constexpr const char* overlay_font_path = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr int overlay_point_size = 15;
constexpr uint32_t watch_interval_ms = 200;
constexpr uint32_t min_frame_ms = 16;  // about 60 frames a second where no vertical sync paces them
constexpr size_t log_lines_shown = 12;

struct Options {
    std::filesystem::path file;
    int width = 1280, height = 720;
    bool fullscreen = false;
    bool watch = false;
    bool edit = false;
    std::optional<double> from;
    std::optional<std::pair<double, double>> loop;
    bool verbose = false;  // show what the player prints while it reads and builds
    bool is_project() const { return file.extension() == ".json"; }
};

Options parse_options(const Args& args) {
    Options o;
    if (args.positional.size() != 1) throw UsageError("play needs one package or project file");
    o.file = args.positional[0];
    if (args.has("--size")) std::tie(o.width, o.height) = size_option("--size", args.value("--size"));
    o.fullscreen = args.flag("--fullscreen");
    o.edit = args.flag("--edit");
    o.watch = args.flag("--watch") || o.edit;
    if (o.edit && !o.is_project()) throw UsageError("--edit needs a project.json");
    o.verbose = args.flag("--verbose");
    if (args.has("--from")) {
        o.from = number_option(args, "--from", 0);
        if (*o.from < 0) throw UsageError("--from needs seconds, 0 or more");
    }
    if (args.has("--loop")) {
        o.loop = parse_loop_seconds(args.value("--loop"));
        if (!o.loop) throw UsageError("--loop takes A:B in seconds, with 0 <= A < B");
    }
    return o;
}

// Each line followed by a newline.
std::string joined_lines(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines) out += l + "\n";
    return out;
}

void say(const std::string& text) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

// The document read from disk, not yet on the device.
struct Loaded {
    std::unique_ptr<Demo> demo;
    JsonValue project;  // null for a packed file
};

Loaded read_document(const Options& options) {
    PlayerLines lines(options.verbose);
    Loaded l;
    if (options.is_project()) {
        l.project = read_project_json(options.file);
        l.demo = std::make_unique<Demo>();
        l.demo->from_json(l.project, project_dir_of(options.file));
    } else {
        l.demo = open_package(options.file);
    }
    return l;
}

// One preview: the document on the device, its clock, and what the watch
// looks at. The document and its device side are replaced whole when the
// project must be read again; everything else changes in place.
class Preview {
public:
    Preview(const Options& options, ShownGlWindow& window)
        : options_(options), window_(window), dir_(project_dir_of(options.file)) {}

    ~Preview() {
        panel_.reset();  // it edits the document
        playback_.reset();  // its music and samples go before the document they point into
        demo_.reset();
    }

    void start(Loaded loaded) {
        if (options_.edit) show_panel();
        double seconds = options_.loop ? options_.loop->first : 0.0;
        if (options_.from) seconds = *options_.from;
        std::unique_ptr<DemoPlayback> playback = make_playback(*loaded.demo);
        install(std::move(loaded), std::move(playback), seconds, false);
        if (options_.loop)
            clock_->set_loop(clock_->beat_of_seconds(options_.loop->first),
                             clock_->beat_of_seconds(options_.loop->second));
    }

    void open_overlay() {
        if (!std::filesystem::exists(overlay_font_path)) {
            say(std::string("quill play: no overlay: its font ") + overlay_font_path +
                " is missing (Debian's fonts-dejavu-core installs it)");
            return;
        }
        if (!overlay_.open(overlay_font_path, overlay_point_size))
            say("quill play: no overlay: " + overlay_.error());
    }

    // One frame: events, the watch, the clock, the picture. False to quit.
    bool frame() {
        const uint32_t started = SDL_GetTicks();
        if (!handle_events()) return false;
        if (options_.watch && started - last_poll_ >= watch_interval_ms) {
            last_poll_ = started;
            poll_files();
        }
        float beat = clock_->beat(SDL_GetTicks());
        if (const auto back = clock_->loop_target(beat)) {
            seek(*back);
            beat = *back;
        } else if (!clock_->paused() && timeline_ended(beat, demo_->end_beat)) {
            set_paused(true);
            say("quill play: the end beat is reached; paused (home or left to go back)");
            beat = clock_->beat(SDL_GetTicks());
        }

        const ScreenSize& screen = runtime().screen;
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glViewport(0, 0, screen.render_width, screen.render_height);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        playback_->compose_frame(beat);
        if (show_overlay_ && overlay_.is_open()) {
            overlay_.set_lines(status_lines(status(beat), *demo_), screen.width);
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
            overlay_.draw(screen.width, screen.height);
        }
        if (fly_) {
            fly_step();
            playback_->scene_views().hold(*fly_scene_, fly_->camera());
        }
        if (panel_shown()) {
            // Paused too: a seek by key moves the cursor, and one by the cursor
            // lands on its row.
            panel_->follow(beat);
            panel_->refresh();
            int w = 0, h = 0;
            window_.drawable_size(w, h);
            if (view_->draw(*panel_, beat, w, h, edit_note_).moved) seek(panel_->cursor_beat());
        }
        window_.swap();
        count_frame();
        const uint32_t spent = SDL_GetTicks() - started;
        SDL_Delay(spent < min_frame_ms ? min_frame_ms - spent : 2);
        return true;
    }

private:
    // ---- The document on the device ----------------------------------------

    // The document's device side, made whole: a document the device cannot
    // take (DeviceAllocationError) throws before anything playing is touched.
    std::unique_ptr<DemoPlayback> make_playback(Demo& demo) {
        PlayerLines lines(options_.verbose);
        auto playback = std::make_unique<DemoPlayback>(demo);
        playback->realize();
        playback->prepare();
        playback->warm_up();
        return playback;
    }

    void install(Loaded loaded, std::unique_ptr<DemoPlayback> playback, double seconds, bool paused) {
        // The track view's place and grid outlive the document it edits.
        const bool had_panel = panel_ != nullptr;
        const int64_t row = had_panel ? panel_->cursor_row() : 0;
        const int per_beat = panel_ ? panel_->rows().per_beat : BeatRows{}.per_beat;
        fly_.reset();  // its scene goes with the document
        panel_.reset();
        playback_.reset();  // its music and samples go before the document they point into
        demo_ = std::move(loaded.demo);
        project_ = std::move(loaded.project);
        playback_ = std::move(playback);
        collect_build_problems();

        const std::optional<float> loop_from = clock_ ? clock_->loop_start() : std::nullopt;
        const std::optional<float> loop_to = clock_ ? clock_->loop_end() : std::nullopt;
        clock_.emplace(demo_->bpm, demo_->beat_offset);
        if (loop_from && loop_to) clock_->set_loop(*loop_from, *loop_to);
        else if (loop_from) clock_->mark(*loop_from);
        playback_->start_music();
        const float beat = clock_->beat_of_seconds(seconds);
        clock_->start(playback_->music().seek(beat, demo_->bpm, demo_->beat_offset), beat);
        if (paused) set_paused(true);
        watch_files();
        if (options_.is_project()) {
            panel_ = std::make_unique<TrackPanel>(*demo_);
            panel_->set_rows_per_beat(per_beat);
            panel_->move_to(0, had_panel ? row : BeatRows{per_beat}.row_at(beat));
        }
        disk_changed_ = false;
    }

    void collect_build_problems() {
        shader_problems_.clear();
        MessagesOnce once;
        for (ProgramFailure& f : failed_programs(demo_->shaders, demo_->effects)) {
            say("quill play: " + f.program->fragment_shader_filename + " does not build:\n" +
                joined_lines(once.lines(f.messages)));
            shader_problems_[f.program] = std::move(f.messages);
        }
    }

    void watch_files() {
        if (!options_.watch) return;
        files_.clear();
        if (options_.is_project()) {
            files_ = project_files(project_, *demo_);
            files_.insert(files_.begin(), WatchedFile{options_.file.filename().string(), {}, false});
        } else {
            files_.push_back(WatchedFile{options_.file.filename().string(), {}, false});
        }
        watch_.emplace(dir_.root(), names_of(files_));
    }

    // ---- Clock, music and keys ---------------------------------------------

    void seek(float beat) {
        clock_->seek(beat, playback_->music().seek(beat, demo_->bpm, demo_->beat_offset));
    }

    void set_paused(bool paused) {
        if (paused == clock_->paused()) return;
        if (paused) {
            clock_->pause(SDL_GetTicks());
            playback_->music().pause();
            playback_->samples().pause();
        } else {
            // Music and clock go on together from where the picture stands.
            const float beat = clock_->beat(SDL_GetTicks());
            const uint32_t origin = playback_->music().seek(beat, demo_->bpm, demo_->beat_offset);
            playback_->music().resume();
            playback_->samples().resume();
            clock_->resume(origin);
        }
    }

    bool handle_events() {
        SDL_Event e;
        while (SDL_PollEvent(&e)) {
            if (e.type == SDL_QUIT) return false;
            if (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) resize();
            if (view_) view_->mouse(e);
            if (fly_ && e.type == SDL_MOUSEMOTION && (e.motion.state & SDL_BUTTON_LMASK) &&
                e.motion.x < runtime().screen.width)
                fly_->turn(static_cast<float>(e.motion.xrel), static_cast<float>(e.motion.yrel));
            if (e.type != SDL_KEYDOWN) continue;
            if (fly_key(e.key)) continue;
            const SDL_Keycode key = e.key.keysym.sym;
            if (key == SDLK_TAB && !e.key.repeat) {
                if (panel_shown()) hide_panel();
                else show_panel();
                continue;
            }
            if (key == SDLK_F5 && disk_changed_) {
                reload_all();  // the author chose the file over the edits
                continue;
            }
            if (panel_shown()) {
                const TrackView::Outcome o = view_->key(e.key, *panel_);
                if (o.moved) seek(panel_->cursor_beat());
                if (o.save) save_project();
                if (o.used) continue;
            }
            const bool shift = (e.key.keysym.mod & KMOD_SHIFT) != 0;
            const float beat = clock_->beat(SDL_GetTicks());
            if (key == SDLK_ESCAPE) return false;
            if (key == SDLK_RIGHT || key == SDLK_LEFT) {
                const int bars = (shift ? 8 : 1) * (key == SDLK_RIGHT ? 1 : -1);
                seek(clock_->step_target(beat, bars));
            }
            if (key == SDLK_HOME) seek(clock_->start_beat());
            if (e.key.repeat) continue;
            if (key == SDLK_SPACE) set_paused(!clock_->paused());
            if (key == SDLK_l) clock_->mark(beat);
            if (key == SDLK_o) show_overlay_ = !show_overlay_;
        }
        return true;
    }

    // Effects' targets follow the picture's size, as they are made at the
    // player's: the window less the track view where it shows.
    void resize() {
        int w = 0, h = 0;
        window_.drawable_size(w, h);
        if (w <= 0 || h <= 0) return;
        if (show_panel_ && view_) w = std::max(1, w - TrackView::width_for(w));
        runtime().screen = ScreenSize{w, h, w, h};
        if (demo_) create_effect_objects(demo_->effects, runtime().screen);
    }

    // ---- The track view -----------------------------------------------------

    void note(const std::string& text) {
        edit_note_ = text;
        say("quill play: " + text);
    }

    // ---- Fly mode -----------------------------------------------------------

    // F flies the camera of the scene the cursor's event draws; C writes what
    // the view shows as that event's camera keys at the cursor row, G its
    // light's direction; F again lands. True for a key fly mode took.
    bool fly_key(const SDL_KeyboardEvent& k) {
        if (!panel_shown() || (k.keysym.mod & KMOD_CTRL)) return false;
        const SDL_Keycode key = k.keysym.sym;
        if (key == SDLK_f && !k.repeat) {
            if (fly_) land();
            else take_off();
            return true;
        }
        if (!fly_) return false;
        if (key == SDLK_c || key == SDLK_g) {
            const Track track{{fly_event_, {}}, std::nullopt, false};
            const bool camera = key == SDLK_c;
            const int64_t row = panel_->cursor_row();
            const SceneView& view = playback_->scene_views().of(*fly_scene_);
            const bool set =
                camera ? panel_->editor().set_keys(track, panel_->rows(), row, fly_->camera_keys(), fly_->start_camera_keys())
                       : panel_->editor().set_keys(track, panel_->rows(), row, fly_->light_keys(),
                                                   FlyCamera::light_keys_of(view.light, view.light.direction));
            note(std::string(set ? "" : "not ") + (camera ? "camera" : "light") + " keys set at beat " +
                 std::to_string(panel_->cursor_beat()) + " of " + demo_->events[fly_event_]->name);
            return true;
        }
        // Held down, they move the view each frame (fly_step).
        return key == SDLK_w || key == SDLK_a || key == SDLK_s || key == SDLK_d || key == SDLK_q || key == SDLK_e;
    }

    void take_off() {
        const auto t = panel_->cursor_track();
        const Event* e = t ? demo_->events[panel_->tracks()[*t].id.event].get() : nullptr;
        Scene* scene = e && e->effect ? e->effect->scene : nullptr;
        const std::optional<Camera>& camera = scene ? playback_->scene_views().of(*scene).camera : std::nullopt;
        if (!camera) {
            note("fly mode needs a track of an event that draws a scene with a camera");
            return;
        }
        fly_.emplace(*camera);
        fly_scene_ = scene;
        fly_event_ = panel_->tracks()[*t].id.event;
        fly_speed_ = std::max(1.0f, glm::length(camera->position) * 0.25f);
        last_fly_tick_ = SDL_GetTicks();
        note("flying " + e->name + "'s camera: drag to turn, W A S D to move, Q E down and up (shift: faster); "
             "C sets camera keys, G light keys, F lands");
    }

    void land() {
        fly_.reset();
        playback_->scene_views().release();
        note("landed: the keys' camera again");
    }

    void fly_step() {
        const uint32_t now = SDL_GetTicks();
        const float seconds = static_cast<float>(now - last_fly_tick_) / 1000.0f;
        last_fly_tick_ = now;
        const uint8_t* held = SDL_GetKeyboardState(nullptr);
        if (held[SDL_SCANCODE_LCTRL] || held[SDL_SCANCODE_RCTRL]) return;  // ctrl-S is no step back
        const glm::vec3 along(static_cast<float>(held[SDL_SCANCODE_D] - held[SDL_SCANCODE_A]),
                              static_cast<float>(held[SDL_SCANCODE_E] - held[SDL_SCANCODE_Q]),
                              static_cast<float>(held[SDL_SCANCODE_W] - held[SDL_SCANCODE_S]));
        const bool fast = held[SDL_SCANCODE_LSHIFT] || held[SDL_SCANCODE_RSHIFT];
        fly_->move(along, fly_speed_ * seconds * (fast ? 5.0f : 1.0f));
    }

    // Ctrl-S: the edited curves written into project.json as it is on disk
    // now, the file before kept beside it. Over a file changed on disk
    // meanwhile this keeps the author's other changes and reads it again.
    void save_project() {
        const std::string name = options_.file.filename().string();
        const std::filesystem::path backup = options_.file.string() + ".bak";
        try {
            const std::string disk = read_text(options_.file);
            const CurveText w = write_curves(disk, name, *demo_, panel_->editor().touched());
            if (!w.refused.empty()) {
                note("not saved: " + w.refused);
                return;
            }
            for (const std::string& c : w.rewritten)
                say("quill play: " + c + ": its points were out of order in " + name + "; written whole");
            if (w.text != disk) {
                replace_file(backup, disk);
                replace_file(options_.file, w.text);
            }
            panel_->editor().mark_saved();
            project_ = parse_json_text(w.text, name);
        } catch (const std::exception& e) {
            note(std::string("not saved: ") + e.what());
            return;
        }
        // Our own write is no news; anything else that changed is.
        std::vector<size_t> changed = watch_->poll();
        std::erase(changed, size_t{0});
        if (disk_changed_) {
            reload_all();  // reads every file again
            note(name + " saved over the changes on disk, which it keeps; the file before is " +
                 backup.filename().string());
            return;
        }
        note(name + " saved; the file before is " + backup.filename().string());
        take_changes(changed);
    }

    bool panel_shown() const { return show_panel_ && panel_ && view_; }

    void show_panel() {
        if (!options_.is_project()) {
            say("quill play: a packed file has no project to edit; play its project.json instead");
            return;
        }
        if (!view_) view_.emplace(window_.window(), window_.context());
        show_panel_ = true;
        resize();
    }

    void hide_panel() {
        show_panel_ = false;
        resize();
    }

    void count_frame() {
        ++frames_;
        const uint32_t now = SDL_GetTicks();
        if (now - fps_since_ >= 1000) {
            fps_ = static_cast<float>(frames_) * 1000.0f / static_cast<float>(now - fps_since_);
            frames_ = 0;
            fps_since_ = now;
        }
    }

    PlayStatus status(float beat) const {
        PlayStatus s;
        s.beat = beat;
        s.seconds = clock_->seconds_of_beat(beat);
        s.fps = fps_;
        s.paused = clock_->paused();
        s.loop_from = clock_->loop_start();
        s.loop_to = clock_->loop_end();
        s.problems = notes_;
        // In table order, so that a shared file's message goes with the same program each frame.
        MessagesOnce once;
        for (const auto& program : demo_->shaders) {
            const auto failed = shader_problems_.find(program.get());
            if (failed == shader_problems_.end()) continue;
            s.problems.push_back(program->fragment_shader_filename +
                                 " does not build (the last good program stays):");
            std::vector<std::string> lines = once.lines(failed->second);
            if (lines.size() > log_lines_shown) lines.resize(log_lines_shown);
            for (const std::string& l : lines) s.problems.push_back("  " + l);
        }
        return s;
    }

    // ---- Reloading ----------------------------------------------------------

    // The new document is read and made on the device beside the playing
    // one, so that a document that cannot be read or made (a file gone, the
    // device out of memory) leaves the last good one playing.
    void reload_all() {
        Loaded loaded;
        std::unique_ptr<DemoPlayback> playback;
        try {
            loaded = read_document(options_);
            playback = make_playback(*loaded.demo);
        } catch (const std::exception& e) {
            notes_ = {std::string(e.what()), "(the last good document stays)"};
            say(std::string("quill play: ") + e.what() + "\nquill play: the last good document stays");
            return;
        }
        notes_.clear();
        const float beat = clock_->beat(SDL_GetTicks());
        const double seconds = clock_->seconds_of_beat(beat);
        install(std::move(loaded), std::move(playback), seconds, clock_->paused());
        say("quill play: " + options_.file.filename().string() + " read again");
    }

    void poll_files() { take_changes(watch_->poll()); }

    void take_changes(const std::vector<size_t>& changed) {
        if (changed.empty()) return;
        bool all = false, programs = false, music = false;
        for (size_t i : changed) {
            const WatchedFile& f = files_[i];
            if (i == 0) all = true;  // project.json, or the packed file
            music = music || f.music;
            for (const FileUse& use : f.uses) {
                try {
                    if (!reload_record(use, programs)) all = true;
                } catch (const std::exception& e) {
                    say("quill play: " + f.name + ": " + e.what() + " (the last good one stays)");
                }
            }
        }
        if (all && panel_ && panel_->editor().unsaved()) {
            // Neither side is dropped: the edits stay in the window, the file on disk.
            if (!disk_changed_) {
                disk_changed_ = true;
                note(options_.file.filename().string() +
                     " changed on disk; your edits stay: ctrl-S writes them into it, F5 reads it instead");
            }
            all = false;
        }
        if (all) {
            reload_all();
            return;
        }
        if (music) restart_music();
        if (programs) rebuild_programs();
    }

    // Reads one record again from its element of the project; false when
    // only reading the whole project again will do. The tool's list: what a
    // change to each record class's file does.
    bool reload_record(const FileUse& use, bool& programs) {
        const JsonValue& element = json_member(project_, table_key(use.kind))[use.index];
        const RecordRef record = record_at(*demo_, use.kind, use.index);
        return visit_record(record, Overloads{
            [&](ShaderProgram& p) {
                PlayerLines lines(options_.verbose);
                ShaderProgram fresh;
                fresh.from_json(element, dir_);
                p.vertex_shader_source = fresh.vertex_shader_source;
                p.fragment_shader_source = fresh.fragment_shader_source;
                programs = true;
                return true;
            },
            [&](OneOf<Texture, AudioSample> auto& r) {
                {
                    PlayerLines lines(options_.verbose);
                    r.from_json(element, dir_);  // throws before it changes anything when the file is gone
                    playback_->realize_record(record);
                }
                say("quill play: " + r.name + " read again");
                return true;
            },
            // What uses these is made with the document.
            [](OneOf<Font, Model, Data, Event, Effect, EventGroup, FontTexture, Scene> auto&) {
                return false;
            },
        });
    }

    void restart_music() {
        bool found = false;
        demo_->music.data = dir_.read_optional(music_file_name, found);
        const float beat = clock_->beat(SDL_GetTicks());
        const bool paused = clock_->paused();
        playback_->start_music();
        clock_->resume(playback_->music().seek(beat, demo_->bpm, demo_->beat_offset));
        if (paused) {
            clock_->pause(SDL_GetTicks());
            playback_->music().pause();
        }
        say(std::string("quill play: ") + music_file_name + (found ? " read again" : " is gone: no music"));
    }

    void rebuild_programs() {
        ProgramReload r;
        {
            PlayerLines lines(options_.verbose);
            r = rebuild_stale_programs(demo_->shaders, demo_->effects, runtime().screen);
        }
        for (const ShaderProgram* p : r.rebuilt) {
            shader_problems_.erase(p);
            say("quill play: " + p->fragment_shader_filename + " rebuilt");
        }
        for (const auto& p : demo_->shaders) {
            if (p && p->usable() && !program_is_stale(*p, demo_->shaders)) shader_problems_.erase(p.get());
        }
        MessagesOnce once;
        for (const ProgramFailure& f : r.failed) {
            shader_problems_[f.program] = f.messages;
            say("quill play: " + f.program->fragment_shader_filename +
                " does not build; the last good program stays:\n" + joined_lines(once.lines(f.messages)));
        }
    }

    const Options& options_;
    ShownGlWindow& window_;
    ProjectDir dir_;
    std::unique_ptr<Demo> demo_;
    JsonValue project_;
    std::unique_ptr<DemoPlayback> playback_;
    std::optional<PlayClock> clock_;

    std::vector<WatchedFile> files_;  // [0] is FILE itself
    std::optional<FileWatch> watch_;
    uint32_t last_poll_ = 0;
    std::map<const ShaderProgram*, std::vector<CompilerMessage>> shader_problems_;
    std::vector<std::string> notes_;

    std::optional<FlyCamera> fly_;  // flying: the camera the picture is seen through
    const Scene* fly_scene_ = nullptr;
    size_t fly_event_ = 0;
    float fly_speed_ = 1;  // units a second
    uint32_t last_fly_tick_ = 0;
    std::unique_ptr<TrackPanel> panel_;  // null for a packed file
    std::optional<TrackView> view_;      // made when first shown
    bool show_panel_ = false;
    bool disk_changed_ = false;  // project.json changed under unsaved edits
    std::string edit_note_;

    TextOverlay overlay_;
    bool show_overlay_ = true;
    uint32_t frames_ = 0, fps_since_ = 0;
    float fps_ = 0;
};

}  // namespace

int cmd_play(const std::vector<std::string>& argv) {
    const Args args =
        parse_args(argv, {"--size", "--from", "--loop"}, {"--fullscreen", "--watch", "--edit", "--verbose"});
    if (args.flag("--help")) {
        std::fputs(usage, stdout);
        return exit_ok;
    }
    const Options options = parse_options(args);

    // Reading needs no device, so a malformed file is reported before any window opens.
    Loaded first = read_document(options);

    // Declared in the order of tear-down, last first.
    SdlSession sdl;
    FontLibrary fonts;
    ShownGlWindow window;
    Mixer mixer;
    fonts.open();
    if (!window.open("quill play: " + options.file.string(), options.width, options.height,
                     options.fullscreen ? ShownGlWindow::fullscreen : ShownGlWindow::resizable)) {
        std::fprintf(stderr,
                     "quill play: cannot open a window (%s).\n"
                     "It needs a display; on a machine with none, run it under Xvfb:\n"
                     "  xvfb-run -a quill play %s\n",
                     window.error().c_str(), options.file.string().c_str());
        return exit_failure;
    }
    {
        PlayerLines lines(options.verbose);
        mixer.open();
    }
    if (!mixer.note().empty()) {
        say("quill play: this machine has no sound device it can open; playing in silence" +
            (options.verbose ? " (" + mixer.note() + ")" : std::string()));
    }
    int w = 0, h = 0;
    window.drawable_size(w, h);
    runtime().screen = ScreenSize{w, h, w, h};
    set_composition_state();

    Preview preview(options, window);
    preview.open_overlay();
    preview.start(std::move(first));
    check_gl_errors("flushing");
    while (preview.frame()) {
    }
    return exit_ok;
}

}  // namespace qh::quill
