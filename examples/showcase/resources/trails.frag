#version 150
#include "resources/common.glsl"
// Five glowing balls circling on the beat, over what this effect drew the
// frame before ("tex", its feedback copy), faded and drifted outwards: the
// balls leave trails.
uniform float beat;
uniform vec2 resolution;
uniform sampler2D tex;
out vec4 fragColor;

void main() {
    vec2 uv = gl_FragCoord.xy / resolution;
    vec2 drift = (uv - 0.5) * 0.985 + 0.5;
    vec3 col = texture(tex, drift).rgb * 0.86;
    vec2 p = centred(gl_FragCoord.xy, resolution);
    for (int i = 0; i < 5; ++i) {
        float k = float(i);
        float t = beat * 0.5 + k * 1.2566;
        vec2 c = vec2(cos(t) * (0.4 + 0.3 * sin(beat * 0.25 + k)), sin(t * 1.3) * 0.6);
        col += palette(k * 0.2 + beat * 0.02) * 0.0025 / (dot(p - c, p - c) + 0.004);
    }
    fragColor = vec4(min(col, vec3(1.0)), 1.0);
}
