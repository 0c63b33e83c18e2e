// A soft round star: a hot, nearly white core inside a coloured halo that fades to nothing
// at the sprite's edge, so overlapping stars add up to light rather than squares.
//
// Products only, and no discard: a software renderer shades each sprite's whole square, and
// with a loud song thousands of large sprites make the fill the frame's cost. The core is
// (1 - r^2)^24, within a few hundredths of exp(-24 r^2) where it shows; beyond the circle both
// terms are 0, which the additive blend leaves as it was.
#version 120

varying vec3 v_color;

void main()
{
    vec2 p = gl_PointCoord * 2.0 - 1.0;
    float t = max(1.0 - dot(p, p), 0.0);
    float halo = t * t;
    float t4 = halo * halo;
    float t8 = t4 * t4;
    float core = t8 * t8 * t8;
    vec3 color = v_color * halo + vec3(core) * 0.6;
    gl_FragColor = vec4(color, min(halo + core, 1.0));
}
