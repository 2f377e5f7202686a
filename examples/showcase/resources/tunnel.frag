#version 150
#include "resources/common.glsl"
// A tunnel lined with the grain image, flying in at "speed", twisting by
// "twist", coloured around the hue wheel from "hue"; "fade" brings it up.
uniform float beat;
uniform vec2 resolution;
uniform sampler2D tex;
uniform float speed;
uniform float hue;
uniform float twist;
uniform float fade;
out vec4 fragColor;

void main() {
    vec2 p = centred(gl_FragCoord.xy, resolution);
    p *= rot(beat * 0.05 * twist);
    float r = length(p);
    float a = atan(p.y, p.x) / (2.0 * PI);
    vec2 uv = vec2(a * 3.0 + twist * 0.1 / r, 0.6 / r + beat * speed * 0.25);
    vec3 grain = texture(tex, uv).rgb;
    float rings = 0.5 + 0.5 * sin(uv.y * 12.0 - beat * PI);
    vec3 col = palette(hue + 0.15 * uv.y) * (0.35 + 0.65 * grain) * (0.6 + 0.4 * rings);
    col *= smoothstep(0.0, 0.6, r);           // dark in the distance
    col += palette(hue + 0.5) * 0.08 / (r + 0.05) * smoothstep(0.3, 0.0, r);
    fragColor = vec4(col * fade, 1.0);
}
