#pragma once
// Model shaders the tests of several tiers draw with.
namespace qh::test {

// Each vertex placed by its four joints from "MatricesBlock", as skinned
// models are drawn; position at location 0, JOINTS_0 at 3, WEIGHTS_0 at 4.
// `v_light` is the skinned position as the light sees it.
inline constexpr const char* skinned_vertex_shader = R"(#version 330
layout(location = 0) in vec3 position;
layout(location = 3) in uvec4 joints;
layout(location = 4) in vec4 weights;
layout(std140) uniform MatricesBlock { mat4 joint_matrices[100]; };
uniform mat4 uModelViewProjMatrix;
uniform mat4 uLightMVPMatrix;
out vec4 v_light;
void main() {
    mat4 skin = weights.x * joint_matrices[joints.x] + weights.y * joint_matrices[joints.y] +
                weights.z * joint_matrices[joints.z] + weights.w * joint_matrices[joints.w];
    gl_Position = uModelViewProjMatrix * skin * vec4(position, 1.0);
    v_light = uLightMVPMatrix * skin * vec4(position, 1.0);
}
)";

// A model drawn with its base colour and texture (texture coordinates at
// location 2), darkened to 0.4 where the shadow map blocks the light.
inline constexpr const char* lit_vertex_shader = R"(#version 330
layout(location = 0) in vec3 position;
layout(location = 2) in vec2 texcoord;
uniform mat4 uModelViewProjMatrix;
uniform mat4 uLightMVPMatrix;
out vec2 v_texcoord;
out vec4 v_light;
void main() {
    gl_Position = uModelViewProjMatrix * vec4(position, 1.0);
    v_light = uLightMVPMatrix * vec4(position, 1.0);
    v_texcoord = texcoord;
}
)";

inline constexpr const char* lit_fragment_shader = R"(#version 330
in vec2 v_texcoord;
in vec4 v_light;
uniform vec4 uBaseColorFactor;
uniform sampler2D uBaseColorTexture;
uniform sampler2D uShadowMapTexture;
uniform int uIsShadowRenderPass;
out vec4 fragColor;
void main() {
    vec4 base = uBaseColorFactor * texture(uBaseColorTexture, v_texcoord);
    float lit = 1.0;
    if (uIsShadowRenderPass == 0) {
        vec3 l = v_light.xyz / v_light.w * 0.5 + 0.5;
        if (l.z - 0.0005 > texture(uShadowMapTexture, l.xy).r) lit = 0.4;
    }
    fragColor = vec4(base.rgb * lit, 1.0);
}
)";

// A model lit by its normals from a fixed direction in world space, no
// shadows: base colour texture (coordinates at location 2) times base colour
// factor. Skinned by "MatricesBlock" where the uniform "skinned" is 1; the
// program that draws with it declares that uniform (default 0).
inline constexpr const char* normal_lit_vertex_shader = R"(#version 330
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 2) in vec2 texcoord;
layout(location = 3) in uvec4 joints;
layout(location = 4) in vec4 weights;
layout(std140) uniform MatricesBlock { mat4 joint_matrices[100]; };
uniform mat4 uModelViewProjMatrix;
uniform mat4 uModelMatrix;
uniform float skinned;
out vec3 v_normal;
out vec2 v_texcoord;
void main() {
    mat4 skin = mat4(1.0);
    if (skinned > 0.5) {
        skin = weights.x * joint_matrices[joints.x] + weights.y * joint_matrices[joints.y] +
               weights.z * joint_matrices[joints.z] + weights.w * joint_matrices[joints.w];
    }
    gl_Position = uModelViewProjMatrix * skin * vec4(position, 1.0);
    v_normal = mat3(uModelMatrix) * mat3(skin) * normal;
    v_texcoord = texcoord;
}
)";

inline constexpr const char* normal_lit_fragment_shader = R"(#version 330
in vec3 v_normal;
in vec2 v_texcoord;
uniform vec4 uBaseColorFactor;
uniform sampler2D uBaseColorTexture;
out vec4 fragColor;
void main() {
    vec3 base = (uBaseColorFactor * texture(uBaseColorTexture, v_texcoord)).rgb;
    float diffuse = max(dot(normalize(v_normal), normalize(vec3(0.4, 0.8, 0.6))), 0.0);
    fragColor = vec4(base * (0.3 + 0.7 * diffuse), 1.0);
}
)";

}  // namespace qh::test
