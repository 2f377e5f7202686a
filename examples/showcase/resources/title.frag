#version 150
#include "resources/common.glsl"
// Two text textures over the picture: the title ("tex") in the middle, the
// line below it ("tex1"); "glow" lights the letters up, "alpha" fades both.
uniform vec2 resolution;
uniform float beat;
uniform sampler2D tex;
uniform sampler2D tex1;
uniform float glow;
uniform float alpha;
out vec4 fragColor;

// The text texture's texel under a box `width` wide (0..1 of the screen)
// centred at `at`, as high as the texture's shape asks; texts are stored top
// row first.
vec4 text_at(sampler2D t, vec2 at, float width) {
    vec2 size = vec2(textureSize(t, 0));
    vec2 box = vec2(width, width * resolution.x / resolution.y * size.y / size.x);
    vec2 uv = (gl_FragCoord.xy / resolution - at) / box + 0.5;
    if (any(lessThan(uv, vec2(0.0))) || any(greaterThan(uv, vec2(1.0)))) return vec4(0.0);
    return texture(t, vec2(uv.x, 1.0 - uv.y));
}

void main() {
    vec4 title = text_at(tex, vec2(0.5, 0.56), 0.8);
    vec4 line = text_at(tex1, vec2(0.5, 0.42), 1.0);
    vec3 tint = palette(0.6 + 0.1 * sin(beat * 0.5));
    vec3 col = title.rgb * mix(vec3(1.0), tint, 0.5) * (1.0 + glow) + line.rgb * 0.85;
    float a = max(title.a, line.a) * alpha;
    fragColor = vec4(col, a);
}
