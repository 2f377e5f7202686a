#version 150
#include "resources/common.glsl"
// Behind the garden: a night sky from deep blue to violet, with stars that
// twinkle on the beat.
uniform vec2 resolution;
uniform float beat;
out vec4 fragColor;

void main() {
    vec2 uv = gl_FragCoord.xy / resolution;
    vec3 col = mix(vec3(0.02, 0.03, 0.10), vec3(0.20, 0.08, 0.30), uv.y);
    vec2 cell = floor(gl_FragCoord.xy / 6.0);
    float star = step(0.995, hash(cell));
    col += star * (0.5 + 0.5 * sin(beat * PI + hash(cell + 7.0) * 6.28)) * smoothstep(0.3, 0.8, uv.y);
    fragColor = vec4(col, 1.0);
}
