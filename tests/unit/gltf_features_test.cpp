// What a glTF asset uses that the player reads past (gltf_features.h).
#include <gtest/gtest.h>
#include <tiny_gltf.h>

#include "scene3d/gltf_features.h"

namespace qh {
namespace {

TEST(GltfFeatures, EachFeatureGivesOneLineAndAPlainAssetNone) {
    std::string joints = "0";
    for (int i = 1; i < 257; ++i) joints += ",0";
    const std::string big_skin = R"("nodes":[{}],"skins":[{"joints":[)" + joints + "]}]";
    const std::pair<const char*, const char*> rows[] = {  // an asset's members, part of its one line (null: none)
        {R"("meshes":[{"name":"Fox","primitives":[{"attributes":{},"targets":[{}]},{"attributes":{},"targets":[{}]}]}])",
         nullptr},  // drawn
        {R"("animations":[{"samplers":[{"input":0,"output":0,"interpolation":"CUBICSPLINE"}]}])", nullptr},  // played
        {R"("cameras":[{"type":"perspective","perspective":{"yfov":1,"znear":0.1}}])", "uses cameras (camera 0)"},
        {R"("extensions":{"KHR_lights_punctual":{"lights":[{"type":"point"}]}})", "uses punctual lights"},
        {R"("extensionsRequired":["KHR_draco_mesh_compression"])", "requires the extension \"KHR_draco"},
        {R"("meshes":[{"primitives":[{"attributes":{}}]}],"animations":[{"samplers":[{"input":0,"output":0}]}])",
         nullptr},
        {R"("textures":[{}],"materials":[{"name":"Tiles","pbrMetallicRoughness":{
            "baseColorTexture":{"index":0,"extensions":{"KHR_texture_transform":{"scale":[2,2]}}},
            "metallicRoughnessTexture":{"index":0}}}])",
         "texture coordinates or transforms for its metallic-roughness texture than for its base colour texture "
         "(material 0 \"Tiles\")"},
        {R"("textures":[{}],"materials":[{"pbrMetallicRoughness":{
            "baseColorTexture":{"index":0,"extensions":{"KHR_texture_transform":{"scale":[2,2]}}},
            "metallicRoughnessTexture":{"index":0,"extensions":{"KHR_texture_transform":{"scale":[2,2]}}}}}],
            "extensionsUsed":["KHR_texture_transform"],"extensionsRequired":["KHR_texture_transform"])",
         nullptr},
        {big_skin.c_str(), "skins of more joints than the 256 every device holds (skin 0, 257 joints)"},
    };
    for (const auto& [members, warning] : rows) {
        SCOPED_TRACE(members);
        const std::string text = std::string(R"({"asset":{"version":"2.0"},)") + members + "}";
        tinygltf::Model asset;
        std::string err, warn;
        ASSERT_TRUE(tinygltf::TinyGLTF().LoadASCIIFromString(&asset, &err, &warn, text.data(),
                                                             unsigned(text.size()), "")) << err;
        const std::vector<std::string> lines = unsupported_features(asset);
        ASSERT_EQ(lines.size(), warning ? 1u : 0u) << (lines.empty() ? "" : lines[0]);
        if (warning) {
            EXPECT_NE(lines[0].find(warning), std::string::npos) << lines[0];
        }
    }
}

}  // namespace
}  // namespace qh
