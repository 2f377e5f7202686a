#include "names.h"

#include <algorithm>
#include <map>
#include <set>
#include <span>
#include <string_view>

#include "document/demo_tables.h"
#include "package/json_lint.h"
#include "timeline/scene_keys.h"
#include "timeline/text_value.h"

namespace qh::quill {

namespace {

using Names = std::vector<std::string_view>;

std::string in_quotes(std::string_view name) {
    return JsonValue(std::string(name)).dump(-1, ' ', false, JsonValue::error_handler_t::replace);
}

template <class T>
Names names_of(const std::vector<std::unique_ptr<T>>& table) {
    Names names;
    for (const auto& record : table)
        if (record) names.push_back(record_name(*record));
    return names;
}

bool identifier_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Insertions, deletions, substitutions and swaps of neighbours each count
// one: the slips of typing.
size_t edit_distance(std::string_view a, std::string_view b) {
    const size_t w = b.size() + 1;
    std::vector<size_t> d((a.size() + 1) * w);
    for (size_t i = 0; i <= a.size(); ++i) d[i * w] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t& here = d[i * w + j];
            here = std::min({d[(i - 1) * w + j] + 1, d[i * w + j - 1] + 1,
                             d[(i - 1) * w + j - 1] + (a[i - 1] != b[j - 1])});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                here = std::min(here, d[(i - 2) * w + j - 2] + 1);
        }
    }
    return d.back();
}

// The name a slip most likely came from: at most a third of the name's
// length away (at least one edit, at most three) and fewer edits than either
// name is long; on a tie the byte-wise smallest, so the answer does not
// depend on the order of the tables. A package from anywhere may hold
// millions of names: longer names than anyone types are not compared, and
// the looking stops for good once its budget is spent.
class Suggester {
public:
    // The candidates are the names of each list.
    std::string hint(std::string_view name, std::initializer_list<std::span<const std::string_view>> lists) {
        if (name.size() > max_length) return {};
        const size_t limit = std::clamp<size_t>(name.size() / 3, 1, 3);
        const std::string_view* best = nullptr;
        size_t best_distance = limit + 1;
        for (std::span<const std::string_view> list : lists) {
            for (const std::string_view& c : list) {
                const bool near = c.size() <= max_length && c.size() + limit >= name.size() &&
                                  name.size() + limit >= c.size();
                const size_t cost = near ? (name.size() + 1) * (c.size() + 1) : 1;
                if (cost > budget_) {
                    budget_ = 0;
                    break;
                }
                budget_ -= cost;
                if (!near) continue;
                const size_t d = edit_distance(name, c);
                if (d == 0 || d > limit || d >= std::min(name.size(), c.size())) continue;
                if (d < best_distance || (d == best_distance && c < *best)) {
                    best = &c;
                    best_distance = d;
                }
            }
        }
        return best ? " (did you mean " + in_quotes(*best) + "?)" : "";
    }

private:
    static constexpr size_t max_length = 128;
    size_t budget_ = 50'000'000;  // steps, a cell of a distance table each: well under a second
};

// What an effect event's curves can drive through one program, worked out
// once per program: a package may hold many events and long texts.
struct ProgramNames {
    Names uniforms;  // its uniform definitions, in order
    std::set<std::string_view> uniform_set;
    std::string glsl;  // both stages, includes expanded; made when first asked
    std::set<std::string_view> identifiers;  // in `glsl`
    std::set<std::string_view> declared;     // the words of its "uniform ...;" declarations
    bool glsl_made = false;
};

// What an effect's curves can drive besides its program's uniforms.
struct EffectNames {
    Names texts;  // its text textures
    std::set<std::string_view> text_set;
    bool text_missing = false;  // a text texture of its list names nothing
    bool scene = false;         // it draws a scene, or names one that is missing
};

// The effect members of a group by name, for its events' "MEMBER.PARAMETER"
// overrides.
struct GroupNames {
    std::map<std::string_view, std::vector<const Event*>> members;
    bool member_missing = false;
    std::vector<std::string> candidates;  // every MEMBER.PARAMETER, up to a bound
    Names candidate_names;                // views of `candidates`
};

class Finder {
public:
    Finder(const Demo& demo, const JsonValue* project) : demo_(demo), project_(project) {}

    std::vector<NameFinding> run() {
        text_textures();
        includes();
        effects();
        groups();
        events();
        return std::move(out_);
    }

private:
    void add(const void* record, const std::string& label, std::string message, bool named = true) {
        out_.push_back({record, label, std::move(message), named});
    }

    // Element `i` of the project's table `key`; null without a project.
    const JsonValue& element(const char* key, size_t i) const {
        static const JsonValue none;
        if (!project_) return none;
        const JsonValue& table = json_member(*project_, key);
        return table.is_array() && i < table.size() ? table[i] : none;
    }

    // A link that resolved to nothing; `written` is what the project names
    // there. `what` is the link, `kind` what it should name.
    void missing(const void* record, const std::string& label, const JsonValue& written,
                 const char* what, const char* kind, const Names& candidates, const char* unnamed) {
        if (!written.is_string()) {
            add(record, label, unnamed, false);
            return;
        }
        const std::string& name = written.get_ref<const std::string&>();
        add(record, label,
            std::string(what) + " " + in_quotes(name) + " names no " + kind + suggest_.hint(name, {candidates}));
    }

    // The null entries of a list of links; those with no name written are
    // counted in one finding ("2 unresolved textures").
    template <class T>
    void missing_in(const void* record, const std::string& label, const std::vector<T*>& links,
                    const JsonValue& written, const char* what, const char* kind, const Names& candidates) {
        size_t unnamed = 0;
        for (size_t k = 0; k < links.size(); ++k) {
            if (links[k]) continue;
            const bool has = written.is_array() && k < written.size() && written[k].is_string();
            if (has) missing(record, label, written[k], what, kind, candidates, "");
            else ++unnamed;
        }
        if (unnamed > 0)
            add(record, label, std::to_string(unnamed) + " unresolved " + what + (unnamed > 1 ? "s" : ""), false);
    }

    void text_textures() {
        const Names fonts = names_of(demo_.fonts);
        for (size_t i = 0; i < demo_.font_textures.size(); ++i) {
            const FontTexture* t = demo_.font_textures[i].get();
            if (!t || t->font) continue;
            missing(t, lint_context("text texture", t->name),
                    json_member(element("font_textures", i), "font"), "font", "font", fonts,
                    "no font (renders nothing)");
        }
    }

    // An #include is spliced only when it names another program's fragment
    // file exactly; any other is left to the driver, which says no more than
    // that it is not found.
    void includes() {
        const Names programs = names_of(demo_.shaders);
        const std::string_view directive = "#include \"";
        for (const auto& p : demo_.shaders) {
            if (!p) continue;
            const std::string& text = p->fragment_shader_source;
            std::set<std::string_view> said;
            for (size_t at = text.find(directive); at != std::string::npos; at = text.find(directive, at + 1)) {
                const size_t begin = at + directive.size(), end = text.find_first_of("\"\n", begin);
                if (end == std::string::npos || text[end] != '"') continue;
                const std::string_view name(text.data() + begin, end - begin);
                const bool known = std::any_of(demo_.shaders.begin(), demo_.shaders.end(), [&](const auto& q) {
                    return q && q->fragment_shader_filename == name;
                });
                if (known || !said.insert(name).second) continue;
                add(p.get(), lint_context("shader", p->fragment_shader_filename),
                    "#include " + in_quotes(name) + " names no program's fragment file" +
                        suggest_.hint(name, {programs}));
            }
        }
    }

    void effects() {
        const Names programs = names_of(demo_.shaders), scenes = names_of(demo_.scenes),
                    textures = names_of(demo_.textures), texts = names_of(demo_.font_textures),
                    effects = names_of(demo_.effects);
        for (size_t i = 0; i < demo_.effects.size(); ++i) {
            const Effect* e = demo_.effects[i].get();
            if (!e) continue;
            const JsonValue& j = element("effects", i);
            const std::string label = lint_context("effect", e->name);
            if (!e->program)
                missing(e, label, json_member(j, "program"), "program", "shader", programs,
                        "no program (draws nothing)");
            // No scene is no fault: the effect draws its quad.
            if (!e->scene && json_member(j, "scene").is_string()) {
                missing(e, label, json_member(j, "scene"), "scene", "scene", scenes, "");
                scene_missing_.insert(e);
            }
            missing_in(e, label, e->textures, json_member(j, "textures"), "texture", "texture", textures);
            missing_in(e, label, e->font_textures, json_member(j, "font_textures"), "text texture",
                       "text texture", texts);
            missing_in(e, label, e->effects, json_member(j, "effects"), "input effect", "effect", effects);
        }
    }

    void groups() {
        const Names events = names_of(demo_.events);
        for (size_t i = 0; i < demo_.event_groups.size(); ++i) {
            const EventGroup* g = demo_.event_groups[i].get();
            if (!g) continue;
            missing_in(g, lint_context("event group", g->name), g->events,
                       json_member(element("event_groups", i), "events"), "member event", "event", events);
        }
    }

    void events() {
        const Names effects = names_of(demo_.effects), samples = names_of(demo_.audio_samples),
                    groups = names_of(demo_.event_groups);
        for (size_t i = 0; i < demo_.events.size(); ++i) {
            const Event* e = demo_.events[i].get();
            if (!e) continue;
            const JsonValue& j = element("events", i);
            const std::string label = lint_context("event", e->name);
            switch (e->type) {
                case Event::type_effect:
                    if (!e->effect)
                        missing(e, label, json_member(j, "effect"), "effect", "effect", effects,
                                "effect event with no effect");
                    effect_curves(*e, label);
                    break;
                case Event::type_audio_sample:
                    if (!e->audio_sample)
                        missing(e, label, json_member(j, "audio_sample"), "audio_sample", "audio sample",
                                samples, "sample event with no sample");
                    for (const auto& [name, curve] : e->curves)
                        add(e, label, "curve " + in_quotes(name) + " drives nothing: a sample event has no parameters");
                    break;
                case Event::type_group:
                    if (!e->group)
                        missing(e, label, json_member(j, "group"), "group", "event group", groups,
                                "group event with no group");
                    group_curves(*e, label);
                    break;
                default:
                    break;  // never active; quill check says so
            }
            placeholders(*e, label);
        }
    }

    ProgramNames& program_names(const ShaderProgram& p) {
        auto [it, made] = programs_.try_emplace(&p);
        if (made) {
            for (const UniformDef& def : p.uniform_defs) it->second.uniforms.push_back(def.name);
            it->second.uniform_set.insert(it->second.uniforms.begin(), it->second.uniforms.end());
        }
        return it->second;
    }

    // Whether the program's GLSL holds `name` as an identifier (anywhere,
    // comments too: this only rules a uniform out). Both stages count: a
    // uniform is looked up in the linked program.
    bool in_glsl(const ShaderProgram& p, std::string_view name) { return glsl_names(p).identifiers.count(name) != 0; }

    // Whether the GLSL declares `name` a uniform (or uses it in a uniform's declaration).
    bool declared_uniform(const ShaderProgram& p, std::string_view name) {
        return glsl_names(p).declared.count(name) != 0;
    }

    ProgramNames& glsl_names(const ShaderProgram& p) {
        ProgramNames& names = program_names(p);
        if (!names.glsl_made) {
            names.glsl = p.vertex_shader_source + "\n" + expand_includes(p.fragment_shader_source, demo_.shaders, &p);
            const std::string& text = names.glsl;
            bool in_uniform = false;  // between "uniform" and its ";"
            for (size_t at = 0; at < text.size();) {
                if (!identifier_char(text[at])) {
                    in_uniform = in_uniform && text[at] != ';';
                    ++at;
                    continue;
                }
                size_t end = at;
                while (end < text.size() && identifier_char(text[end])) ++end;
                const std::string_view word = std::string_view(text).substr(at, end - at);
                names.identifiers.insert(word);
                if (in_uniform) names.declared.insert(word);
                in_uniform = in_uniform || word == "uniform";
                at = end;
            }
            names.glsl_made = true;
        }
        return names;
    }

    EffectNames& effect_names(const Effect& fx) {
        auto [it, made] = effects_.try_emplace(&fx);
        EffectNames& names = it->second;
        if (made) {
            for (const FontTexture* t : fx.font_textures) {
                if (t) names.texts.push_back(t->name);
                else names.text_missing = true;
            }
            names.text_set.insert(names.texts.begin(), names.texts.end());
            names.scene = fx.scene || scene_missing_.count(&fx);
        }
        return names;
    }

    void effect_curves(const Event& e, const std::string& label) {
        const Effect* fx = e.effect;
        if (!fx || !fx->program) return;  // the effect's own finding says why
        const ShaderProgram& program = *fx->program;
        const ProgramNames& uniforms = program_names(program);
        const EffectNames& own = effect_names(*fx);
        std::string sceneless;  // the scene keys of an effect with no scene, in one finding
        size_t sceneless_count = 0;
        for (const auto& [name, curve] : e.curves) {
            if (own.text_set.count(name)) continue;
            // A text may be meant for a text texture of the effect that is missing.
            if (own.text_missing && std::any_of(curve.control_points.begin(), curve.control_points.end(),
                                                [](const ControlPoint& p) { return p.is_text(); }))
                continue;
            const std::string head = "curve " + in_quotes(name) + " drives nothing: ";
            if (uniforms.uniform_set.count(name)) {
                if (!in_glsl(program, name))
                    add(&e, label, head + "uniform " + in_quotes(name) + " is not in the GLSL of " +
                                       in_quotes(program.fragment_shader_filename));
                continue;
            }
            const bool scene_key = std::find(scene_key_names.begin(), scene_key_names.end(), name) !=
                                   scene_key_names.end();
            if (scene_key && own.scene) continue;
            if (scene_key) {
                sceneless += (sceneless.empty() ? "" : ", ") + in_quotes(name);
                ++sceneless_count;
                continue;
            }
            if (declared_uniform(program, name)) {
                add(&e, label,
                    head + in_quotes(program.fragment_shader_filename) + " declares uniform " + in_quotes(name) +
                        " but the program's \"uniform_defs\" has no entry for it; add {\"name\": " +
                        in_quotes(name) + ", \"min_val\": 0.0, \"max_val\": 1.0, \"default_val\": 0.0} there");
                continue;
            }
            const std::span<const std::string_view> keys =
                own.scene ? std::span<const std::string_view>(scene_key_names) : std::span<const std::string_view>();
            add(&e, label,
                head + (own.scene ? "no uniform, text texture, camera, light or animation key"
                                  : "no uniform or text texture") +
                    " of that name" + suggest_.hint(name, {uniforms.uniforms, own.texts, keys}));
        }
        if (sceneless_count > 0)
            add(&e, label,
                (sceneless_count == 1 ? "curve " + sceneless + " drives" : "curves " + sceneless + " drive") +
                    " nothing: effect " + in_quotes(fx->name) + " draws no scene");
    }

    GroupNames& group_names(const EventGroup& g) {
        auto [it, made] = groups_.try_emplace(&g);
        GroupNames& names = it->second;
        if (!made) return names;
        std::set<const Event*> seen;
        for (const Event* m : g.events) {
            if (!m) names.member_missing = true;
            if (!m || m->type != Event::type_effect || !seen.insert(m).second) continue;
            names.members[m->name].push_back(m);
            if (!m->effect || !m->effect->program) continue;
            const auto offer = [&](std::string_view parameter) {
                if (names.candidates.size() < max_override_candidates)
                    names.candidates.push_back(m->name + "." + std::string(parameter));
            };
            for (std::string_view u : program_names(*m->effect->program).uniforms) offer(u);
            for (std::string_view t : effect_names(*m->effect).texts) offer(t);
        }
        names.candidate_names.assign(names.candidates.begin(), names.candidates.end());
        return names;
    }

    // A group event's curves override its effect members' uniforms and text
    // textures as "MEMBER.PARAMETER" (a member's name may hold dots too). A
    // member that is missing, or whose effect or program is, has its own
    // finding, and what may be meant for it is not judged.
    void group_curves(const Event& e, const std::string& label) {
        if (!e.group || e.curves.empty()) return;
        const GroupNames& g = group_names(*e.group);
        if (g.member_missing) return;
        for (const auto& [name, curve] : e.curves) {
            const std::string_view whole(name);
            bool driven = false, unjudged = false;
            for (size_t dot = whole.find('.'); dot != std::string_view::npos && !driven;
                 dot = whole.find('.', dot + 1)) {
                const auto it = g.members.find(whole.substr(0, dot));
                if (it == g.members.end()) continue;
                const std::string_view parameter = whole.substr(dot + 1);
                for (const Event* m : it->second) {
                    if (!m->effect || !m->effect->program) {
                        unjudged = true;
                        continue;
                    }
                    driven = driven || program_names(*m->effect->program).uniform_set.count(parameter) ||
                             effect_names(*m->effect).text_set.count(parameter);
                }
            }
            if (driven || unjudged) continue;
            add(&e, label,
                "curve " + in_quotes(name) +
                    " drives nothing: no MEMBER.PARAMETER of a member's uniform or text texture" +
                    suggest_.hint(name, {g.candidate_names}));
        }
    }

    // Each unknown "<NAME>" once per curve. Placeholders are capitals, so
    // only capitals, digits and "_" after a capital look like one; "<b>" or
    // "<3" is plain text.
    void placeholders(const Event& e, const std::string& label) {
        const std::span<const std::string_view> known(text_placeholders);
        const auto capital = [](char c) { return c >= 'A' && c <= 'Z'; };
        for (const auto& [name, curve] : e.curves) {
            std::set<std::string_view> seen;
            for (const ControlPoint& p : curve.control_points) {
                const std::string& text = p.text;
                for (size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at + 1)) {
                    size_t end = at + 1;
                    if (end == text.size() || !capital(text[end])) continue;
                    while (end < text.size() && (capital(text[end]) || (text[end] >= '0' && text[end] <= '9') ||
                                                 text[end] == '_'))
                        ++end;
                    if (end == text.size() || text[end] != '>') continue;
                    const std::string_view token(text.data() + at, end + 1 - at);
                    if (std::find(known.begin(), known.end(), token) != known.end() || !seen.insert(token).second)
                        continue;
                    add(&e, label,
                        "curve " + in_quotes(name) + ": text placeholder " + in_quotes(token) +
                            " is unknown and shows as written" + suggest_.hint(token, {known}));
                }
            }
        }
    }

    const Demo& demo_;
    const JsonValue* project_;
    Suggester suggest_;
    static constexpr size_t max_override_candidates = 10'000;
    std::map<const ShaderProgram*, ProgramNames> programs_;
    std::map<const Effect*, EffectNames> effects_;
    std::map<const EventGroup*, GroupNames> groups_;
    std::set<const Effect*> scene_missing_;  // effects whose scene names nothing
    std::vector<NameFinding> out_;
};

}  // namespace

std::vector<NameFinding> dangling_names(const Demo& demo, const JsonValue* project) {
    return Finder(demo, project).run();
}

std::vector<std::string> name_warnings(const std::vector<NameFinding>& findings) {
    std::vector<std::string> lines;
    for (const NameFinding& f : findings)
        if (f.named) lines.push_back(f.line());
    return lines;
}

}  // namespace qh::quill
