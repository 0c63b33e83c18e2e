// A soft round star: a hot, nearly white core inside a coloured halo that fades to nothing
// at the sprite's edge, so overlapping stars add up to light rather than squares.
#version 120

varying vec3 v_color;

void main()
{
    vec2 p = gl_PointCoord * 2.0 - 1.0;
    float r2 = dot(p, p);
    if (r2 >= 1.0) {
        discard;
    }
    float core = exp(-r2 * 24.0);
    float halo = (1.0 - r2) * (1.0 - r2);
    vec3 color = v_color * halo + vec3(core) * 0.6;
    gl_FragColor = vec4(color, clamp(halo + core, 0.0, 1.0));
}
