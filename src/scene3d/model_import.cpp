#include "scene3d/model_import.h"

#include "scene3d/gltf_check.h"
#include "scene3d/model.h"

namespace qh {

ModelImport import_model(const Model& model, const ImageSink& take_image) {
    ModelImport out;
    if (!model.parsed) return out;
    // Parsing checked the asset, but a model's asset is a public field: the
    // GPU build trusts nothing it has not checked itself.
    if (std::string problem = check_gltf_model(model.gltf); !problem.empty()) {
        out.problems.push_back("the asset is unsound (" + problem + "); nothing is built");
        return out;
    }
    out.usable = true;

    ImageBudget budget;
    const std::vector<tinygltf::Image>& images = model.gltf.images;
    for (size_t i = 0; i < images.size(); ++i) {
        DecodedImage decoded;
        if (!images[i].image.empty()) {
            std::string problem;
            decoded = decode_rgba_image(images[i].image, budget, problem);
            if (!decoded.pixels) {
                out.problems.push_back("image " + std::to_string(i) + " (\"" + images[i].name +
                                       "\"): " + problem + "; it draws as white");
            }
        }
        if (take_image) take_image(i, decoded);
    }

    out.layout = build_model_layout(model.gltf);
    out.problems.insert(out.problems.end(), out.layout.problems.begin(), out.layout.problems.end());
    return out;
}

}  // namespace qh
