#pragma once
// Model shaders the tests of several tiers draw with.
namespace qh::test {

// Each vertex placed by its four joints from "MatricesBlock", as skinned
// models are drawn; position at location 0, JOINTS_0 at 3, WEIGHTS_0 at 4.
inline constexpr const char* skinned_vertex_shader = R"(#version 330
layout(location = 0) in vec3 position;
layout(location = 3) in uvec4 joints;
layout(location = 4) in vec4 weights;
layout(std140) uniform MatricesBlock { mat4 joint_matrices[100]; };
uniform mat4 uModelViewProjMatrix;
void main() {
    mat4 skin = weights.x * joint_matrices[joints.x] + weights.y * joint_matrices[joints.y] +
                weights.z * joint_matrices[joints.z] + weights.w * joint_matrices[joints.w];
    gl_Position = uModelViewProjMatrix * skin * vec4(position, 1.0);
}
)";

}  // namespace qh::test
