// Shared by the showcase's programs. Include it right after a program's own
// "#version" line:  #include "resources/common.glsl"
// It has no #version (the including program has one) and no main, so built
// on its own it does not compile: `quill check` lists it as included only.
const float PI = 3.14159265;

// A smooth rainbow: t in 0..1 runs once around the hues.
vec3 palette(float t) {
    return 0.5 + 0.5 * cos(6.28318 * (t + vec3(0.0, 0.33, 0.67)));
}

float hash(vec2 p) {
    return fract(sin(dot(p, vec2(127.1, 311.7))) * 43758.5453);
}

// Value noise, 0..1.
float noise(vec2 p) {
    vec2 i = floor(p);
    vec2 f = fract(p);
    vec2 u = f * f * (3.0 - 2.0 * f);
    return mix(mix(hash(i), hash(i + vec2(1.0, 0.0)), u.x),
               mix(hash(i + vec2(0.0, 1.0)), hash(i + vec2(1.0, 1.0)), u.x), u.y);
}

mat2 rot(float a) {
    float c = cos(a), s = sin(a);
    return mat2(c, -s, s, c);
}

// Pixel coordinates to -aspect..aspect across, -1..1 up.
vec2 centred(vec2 frag, vec2 size) {
    return (2.0 * frag - size) / size.y;
}
