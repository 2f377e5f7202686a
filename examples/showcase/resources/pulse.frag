#version 150
#include "resources/common.glsl"
// The trails ("tex", an input effect) under the sound: the spectrum as bars
// rising from the bottom and the waveform as a line across the middle, both
// read from "sound_texture"; the whole picture breathes with "sound".
// "bars" scales the bars, "hue" colours them.
uniform vec2 resolution;
uniform float beat;
uniform int sound;
uniform sampler2D tex;
uniform sampler2D sound_texture;
uniform float bars;
uniform float hue;
out vec4 fragColor;

void main() {
    vec2 uv = gl_FragCoord.xy / resolution;
    float level = float(sound) / 32767.0;
    vec3 col = texture(tex, (uv - 0.5) * (1.0 - 0.15 * level) + 0.5).rgb;

    // 64 bars over the lower half of the spectrum.
    float band = floor(uv.x * 64.0) / 64.0;
    float spectrum = texture(sound_texture, vec2(band * 0.5 + 0.004, 0.25)).r;
    float edge = fract(uv.x * 64.0);
    if (uv.y < spectrum * bars && edge > 0.15 && edge < 0.85) {
        col = mix(col, palette(hue + band * 0.6), 0.85);
    }
    float wave = texture(sound_texture, vec2(uv.x, 0.75)).r - 0.5;
    float line = smoothstep(0.006, 0.0, abs(uv.y - 0.55 - wave * 0.5));
    col += palette(hue + 0.5) * line;
    fragColor = vec4(col, 1.0);
}
