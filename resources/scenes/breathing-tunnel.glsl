// A tunnel that breathes with the low band: the walls close in on each beat, the rings race by
// at a speed you set, the mids light the walls and a loud bass flares in the far end.
uniform float speed; // min=0 max=4 default=1
uniform float breath; // min=0 max=1 default=0.4

void mainImage(out vec4 fragColor, in vec2 fragCoord)
{
    vec2 p = (2.0 * fragCoord - iResolution.xy) / iResolution.y;
    float low = 0.0;
    for (int i = 0; i < 4; i++) {
        low += texture(iChannel0, vec2((float(i) + 1.5) / 512.0, 0.25)).x;
    }
    low *= 0.25;
    float mid = texture(iChannel0, vec2(0.08, 0.25)).x;

    float r = length(p) * (1.0 + breath * low * low);
    float a = atan(p.y, p.x) / 3.14159;
    float depth = 0.4 / max(r, 0.002);
    float z = depth + iTime * speed;

    float rings = 0.5 + 0.5 * sin(z * 6.0);
    // Six ribs around, so that the two ends of the angle meet without a seam.
    float ribs = 0.5 + 0.5 * sin(a * 3.14159 * 6.0 + z * 0.7);
    float grain = texture(iChannel1, vec2(a, z * 0.05)).x;
    vec3 wall = mix(vec3(0.04, 0.15, 0.45), vec3(0.95, 0.35, 0.55), rings * ribs);
    wall *= 0.55 + 0.9 * mid + 0.25 * grain;

    float fog = clamp(r * 1.3, 0.0, 1.0);
    vec3 color = wall * fog + vec3(1.0, 0.75, 0.5) * low * low * low * (1.0 - fog);
    fragColor = vec4(color, 1.0);
}
