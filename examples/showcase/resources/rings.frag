#version 150
#include "resources/common.glsl"
// Rings spreading from the middle on every beat, "size" apart.
uniform float beat;
uniform vec2 resolution;
uniform float size;
uniform float hue;
out vec4 fragColor;

void main() {
    vec2 p = centred(gl_FragCoord.xy, resolution);
    float r = length(p) - fract(beat) * 0.5;
    float ring = smoothstep(0.03, 0.0, abs(fract(r / size) - 0.5) * size);
    fragColor = vec4(palette(hue + 0.3) * ring, ring * 0.9);
}
