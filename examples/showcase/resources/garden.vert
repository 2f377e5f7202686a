#version 330
// The garden model. The tentacle ("uTag" 1) is skinned by the joint matrices
// of "MatricesBlock"; every instance after the first stands on a ring around
// the middle; only the first instance draws the floor ("uTag" 0).
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 3) in uvec4 joints;
layout(location = 4) in vec4 weights;
layout(std140) uniform MatricesBlock { mat4 joint_matrices[100]; };
uniform mat4 uModelViewProjMatrix;
uniform mat4 uModelMatrix;
uniform mat4 uLightMVPMatrix;
uniform mat4 uModelViewMatrix;
uniform int uTag;
uniform int uInstance;
uniform float beat;
out vec3 v_normal;
out vec4 v_light;
out vec3 v_world;
flat out int v_tag;

void main() {
    vec4 p = vec4(position, 1.0);
    vec3 n = normal;
    if (uTag == 1) {
        mat4 skin = weights.x * joint_matrices[joints.x] + weights.y * joint_matrices[joints.y] +
                    weights.z * joint_matrices[joints.z] + weights.w * joint_matrices[joints.w];
        p = skin * p;
        n = mat3(skin) * n;
    }
    if (uTag == 2) {  // the crystal turns and bobs
        float a = beat * 0.8;
        p.xz = mat2(cos(a), -sin(a), sin(a), cos(a)) * p.xz;
        n.xz = mat2(cos(a), -sin(a), sin(a), cos(a)) * n.xz;
        p.y += 0.25 * sin(beat * 1.57);
    }
    if (uInstance > 0) {
        if (uTag == 0) {  // one floor is enough
            gl_Position = vec4(0.0);
            return;
        }
        float a = 6.28318 * float(uInstance) / 6.0;
        p.xz = mat2(cos(a), -sin(a), sin(a), cos(a)) * (p.xz + vec2(3.2, 0.0));
        n.xz = mat2(cos(a), -sin(a), sin(a), cos(a)) * n.xz;
        p.xyz *= 0.8;
    }
    gl_Position = uModelViewProjMatrix * p;
    v_light = uLightMVPMatrix * p;
    v_world = (uModelMatrix * p).xyz;
    v_normal = mat3(uModelMatrix) * n;
    v_tag = uTag;
}
