// Star point sprites: the bin's magnitude (0..1) sets the sprite size and how saturated
// and bright its colour is; the bin's index sets the hue.
#version 120

attribute float a_hue;
attribute float a_magnitude;

uniform float u_minStarRadius;
uniform float u_maxStarRadius;
uniform float u_minStarColorSaturation;
uniform float u_maxStarColorSaturation;
uniform float u_minStarColorValue;
uniform float u_maxStarColorValue;

varying vec3 v_color;

vec3 hsvToRgb(float h, float s, float v)
{
    vec3 k = clamp(abs(mod(h * 6.0 + vec3(0.0, 4.0, 2.0), 6.0) - 3.0) - 1.0, 0.0, 1.0);
    return v * mix(vec3(1.0), k, s);
}

void main()
{
    float magnitude = clamp(a_magnitude, 0.0, 1.0);
    gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;
    gl_PointSize = mix(u_minStarRadius, u_maxStarRadius, magnitude);
    float saturation = mix(u_minStarColorSaturation, u_maxStarColorSaturation, magnitude);
    float value = mix(u_minStarColorValue, u_maxStarColorValue, magnitude);
    v_color = hsvToRgb(a_hue, saturation, value);
}
