#pragma once
// Model shaders the tests of several tiers draw with.
#include <string>

namespace qh::test {

// skin_matrix(): the vertex's four joints from "MatricesBlock" (of
// `joints` matrices; shaders written for the first players declare 100) by
// their weights; JOINTS_0 at location 3, WEIGHTS_0 at 4.
inline std::string skinning(int joints) {
    return R"(layout(location = 3) in uvec4 joints;
layout(location = 4) in vec4 weights;
layout(std140) uniform MatricesBlock { mat4 joint_matrices[)" + std::to_string(joints) + R"(]; };
mat4 skin_matrix() {
    return weights.x * joint_matrices[joints.x] + weights.y * joint_matrices[joints.y] +
           weights.z * joint_matrices[joints.z] + weights.w * joint_matrices[joints.w];
}
)";
}
inline const std::string skinning_glsl = skinning(100);

// base_colour(): the base colour factor times the base colour texture at the
// texture coordinates.
inline const std::string base_colour_glsl = R"(in vec2 v_texcoord;
uniform vec4 uBaseColorFactor;
uniform sampler2D uBaseColorTexture;
vec4 base_colour() { return uBaseColorFactor * texture(uBaseColorTexture, v_texcoord); }
)";

// Each vertex placed by its skin, as skinned models are drawn; position at
// location 0. `v_light` is the skinned position as the light sees it.
inline const std::string skinned_vertex_shader = "#version 330\n" + skinning_glsl + R"(
layout(location = 0) in vec3 position;
uniform mat4 uModelViewProjMatrix;
uniform mat4 uLightMVPMatrix;
out vec4 v_light;
void main() {
    mat4 skin = skin_matrix();
    gl_Position = uModelViewProjMatrix * skin * vec4(position, 1.0);
    v_light = uLightMVPMatrix * skin * vec4(position, 1.0);
}
)";

// With lit_fragment_shader: texture coordinates at location 2. Instance i
// stands i * "spread" along x, where the program declares that uniform.
inline constexpr const char* lit_vertex_shader = R"(#version 330
layout(location = 0) in vec3 position;
layout(location = 2) in vec2 texcoord;
uniform mat4 uModelViewProjMatrix;
uniform mat4 uLightMVPMatrix;
uniform int uInstance;
uniform float spread;
out vec2 v_texcoord;
out vec4 v_light;
void main() {
    vec4 p = vec4(position + vec3(float(uInstance) * spread, 0.0, 0.0), 1.0);
    gl_Position = uModelViewProjMatrix * p;
    v_light = uLightMVPMatrix * p;
    v_texcoord = texcoord;
}
)";

// A model drawn with its base colour, darkened to 0.4 where the shadow map
// is nearer the light by more than `bias`; `switchable`: only while the
// uniform "shadowed" is 1 (the program declares it).
inline std::string lit_fragment_shader(const char* bias = "0.0005", bool switchable = false) {
    return "#version 330\n" + base_colour_glsl + R"(in vec4 v_light;
uniform sampler2D uShadowMapTexture;
uniform int uIsShadowRenderPass;
uniform float shadowed;
out vec4 fragColor;
void main() {
    float lit = 1.0;
    if (uIsShadowRenderPass == 0)" + (switchable ? " && shadowed > 0.5" : "") + R"() {
        vec3 l = v_light.xyz / v_light.w * 0.5 + 0.5;
        if (l.z - )" + bias + R"( > texture(uShadowMapTexture, l.xy).r) lit = 0.4;
    }
    fragColor = vec4(base_colour().rgb * lit, 1.0);
}
)";
}

// A model lit by its normals from a fixed direction in world space, no
// shadows, in its base colour (texture coordinates at location 2). Skinned
// where the uniform "skinned" is 1; the program that draws with it declares
// that uniform (default 0).
inline std::string normal_lit_vertex(int joints) {
    return "#version 330\n" + skinning(joints) + R"(
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 2) in vec2 texcoord;
uniform mat4 uModelViewProjMatrix;
uniform mat4 uModelMatrix;
uniform float skinned;
out vec3 v_normal;
out vec2 v_texcoord;
void main() {
    mat4 skin = skinned > 0.5 ? skin_matrix() : mat4(1.0);
    gl_Position = uModelViewProjMatrix * skin * vec4(position, 1.0);
    v_normal = mat3(uModelMatrix) * mat3(skin) * normal;
    v_texcoord = texcoord;
}
)";
}
inline const std::string normal_lit_vertex_shader = normal_lit_vertex(100);

inline const std::string normal_lit_fragment_shader = "#version 330\n" + base_colour_glsl + R"(in vec3 v_normal;
out vec4 fragColor;
void main() {
    float diffuse = max(dot(normalize(v_normal), normalize(vec3(0.4, 0.8, 0.6))), 0.0);
    fragColor = vec4(base_colour().rgb * (0.3 + 0.7 * diffuse), 1.0);
}
)";

}  // namespace qh::test
