#version 150
#include "resources/common.glsl"
// Over everything, from the screen's own copy ("tex"): colours pulled apart
// by "aberration" and the sound's level, a vignette, faint scanlines, and
// "fade" for the fade in and out.
uniform vec2 resolution;
uniform float beat;
uniform int sound;
uniform sampler2D tex;
uniform float aberration;
uniform float fade;
out vec4 fragColor;

void main() {
    vec2 uv = gl_FragCoord.xy / resolution;
    vec2 d = (uv - 0.5) * (aberration + float(sound) / 32767.0 * 0.02);
    vec3 col = vec3(texture(tex, uv + d).r, texture(tex, uv).g, texture(tex, uv - d).b);
    col *= 1.0 - 0.5 * dot(uv - 0.5, uv - 0.5) * 2.0;
    col *= 0.94 + 0.06 * sin(gl_FragCoord.y * 2.0);
    fragColor = vec4(col * fade, 1.0);
}
