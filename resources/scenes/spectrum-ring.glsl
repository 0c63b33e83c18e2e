// A ring of the spectrum: each direction around the centre shows one band, the lows at the top,
// mirrored left and right, pushed outward by its level. The waveform trembles on a thin circle
// inside, and the whole ring swells a little with the bass.
uniform float ringSize; // min=0.1 max=0.45 default=0.28
uniform float glow; // min=0.2 max=3 default=1

vec3 hue(float h)
{
    return 0.5 + 0.5 * cos(6.28318 * (h + vec3(0.0, 0.33, 0.67)));
}

void mainImage(out vec4 fragColor, in vec2 fragCoord)
{
    vec2 p = (2.0 * fragCoord - iResolution.xy) / iResolution.y;
    float r = length(p);
    // 0 at the top, 1 at the bottom, the same on either side.
    float around = abs(atan(p.x, p.y)) / 3.14159;
    // The upper bins rarely move: give the lows more of the ring.
    float bin = around * around * 0.6 + 0.002;
    float level = texture(iChannel0, vec2(bin, 0.25)).x;
    float bass = texture(iChannel0, vec2(0.006, 0.25)).x;

    float inner = ringSize * (1.0 + 0.2 * bass * bass);
    float outer = inner + 0.45 * level * level + 0.005;
    float body = smoothstep(inner - 0.008, inner, r) * (1.0 - smoothstep(outer, outer + 0.008, r));
    float rim = glow * 0.015 / (abs(r - outer) + 0.015);

    float wave = texture(iChannel0, vec2(atan(p.y, p.x) / 6.28318 + 0.5, 0.75)).x - 0.5;
    float circle = 0.003 / (abs(r - inner * 0.75 - 0.12 * wave) + 0.003);

    vec3 tint = hue(around * 0.7 + 0.03 * iTime);
    vec3 color = tint * (0.75 * body + rim * level) + vec3(0.55, 0.6, 0.7) * circle;
    color += vec3(0.03, 0.015, 0.06) * max(0.0, 1.2 - r);
    fragColor = vec4(color, 1.0);
}
