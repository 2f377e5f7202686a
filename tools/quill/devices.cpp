#include "devices.h"

#include <cstdio>

#include "cli.h"
#include "document/demo_io.h"
#include "document_io.h"

namespace qh::quill {

bool DeviceSession::open(const std::string& command, const std::string& file, bool verbose) {
    JsonValue json;  // a project as written; null for a package
    {
        ProgressBar bar("reading");
        PlayerLines lines(verbose);
        demo = open_document(file, [&](uint64_t i, uint64_t n) { bar.update(i, n); }, nullptr, &json);
    }
    // A project shows the names as written; a package keeps none of a link that names nothing.
    const bool project = json.is_object();
    findings = find_in_document(*demo, project ? &json : nullptr, project ? project_dir_of(file).root() : std::filesystem::path());
    if (window.open(64, 36)) return true;
    std::fprintf(stderr,
                 "quill %s: cannot create an OpenGL context (%s).\n"
                 "On a machine with no display, run it under Xvfb: xvfb-run -a quill %s %s\n",
                 command.c_str(), window.error().c_str(), command.c_str(), file.c_str());
    return false;
}

}  // namespace qh::quill
