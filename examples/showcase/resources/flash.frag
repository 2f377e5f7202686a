#version 150
#include "resources/common.glsl"
// A strobe: bursts of colour on every beat, in the hue "hue", decaying over
// the beat; "rate" doubles them.
uniform float beat;
uniform vec2 resolution;
uniform float hue;
uniform float rate;
out vec4 fragColor;

void main() {
    float t = fract(beat * rate);
    vec2 p = centred(gl_FragCoord.xy, resolution);
    float burst = exp(-t * 6.0) * smoothstep(1.6, 0.0, length(p));
    fragColor = vec4(palette(hue) * burst, burst * 0.8);
}
