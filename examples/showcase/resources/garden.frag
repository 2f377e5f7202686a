#version 330
// The garden's colours: the material's base colour lit from the light, in
// shadow where the shadow map says the light is blocked; the crystal glows.
// In the shadow pass only depth matters.
in vec3 v_normal;
in vec4 v_light;
in vec3 v_world;
flat in int v_tag;
uniform vec4 uBaseColorFactor;
uniform sampler2D uShadowMapTexture;
uniform int uIsShadowRenderPass;
uniform mat4 uLightMVPMatrix;
uniform float beat;
out vec4 fragColor;

void main() {
    if (uIsShadowRenderPass == 1) {
        fragColor = vec4(1.0);
        return;
    }
    vec3 l = v_light.xyz / v_light.w * 0.5 + 0.5;
    float lit = 1.0;
    if (all(greaterThan(l, vec3(0.0))) && all(lessThan(l, vec3(1.0)))) {
        float nearest = texture(uShadowMapTexture, l.xy).r;
        lit = l.z - 0.002 > nearest ? 0.35 : 1.0;
    }
    vec3 n = normalize(v_normal);
    float diffuse = max(dot(n, normalize(vec3(0.4, 1.0, 0.6))), 0.0);
    vec3 base = uBaseColorFactor.rgb;
    vec3 col = base * (0.25 + 0.75 * diffuse * lit);
    if (v_tag == 2) col = base * (0.8 + 0.4 * sin(beat * 3.14159)) + vec3(0.2);
    if (v_tag == 0) {  // rings on the floor, fading out with distance
        float d = length(v_world.xz);
        col *= 0.8 + 0.2 * sin(d * 4.0 - beat * 3.14159);
        col *= smoothstep(12.0, 3.0, d);
    }
    fragColor = vec4(col, 1.0);
}
