// An oscilloscope: the newest 512 samples as a green trace over a phosphor grid. The trace
// thickens with the high band, and the screen glows faintly with the overall level.
uniform float brightness; // min=0.2 max=3 default=1
uniform float height; // min=0.2 max=2 default=1

void mainImage(out vec4 fragColor, in vec2 fragCoord)
{
    vec2 uv = fragCoord / iResolution.xy;
    float pixel = 1.0 / iResolution.x;
    // Two neighbouring samples: the trace is the segment between them, so steep edges stay joined.
    float a = 0.5 + height * (texture(iChannel0, vec2(uv.x, 0.75)).x - 0.5);
    float b = 0.5 + height * (texture(iChannel0, vec2(uv.x + pixel, 0.75)).x - 0.5);
    float lowest = min(a, b);
    float highest = max(a, b);
    float gap = max(0.0, max(lowest - uv.y, uv.y - highest)) * iResolution.y;

    float high = texture(iChannel0, vec2(0.3, 0.25)).x;
    float level = texture(iChannel0, vec2(0.02, 0.25)).x;
    float width = 1.0 + 3.0 * high;
    float trace = brightness * width / (gap + width);
    trace = trace * trace * trace;

    vec2 cell = abs(fract(uv * vec2(10.0, 8.0) + 0.5) - 0.5) * iResolution.xy / vec2(10.0, 8.0);
    float grid = 1.0 - smoothstep(0.0, 1.5, min(cell.x, cell.y));
    float centre = 1.0 - smoothstep(0.0, 1.5, abs(uv.y - 0.5) * iResolution.y);

    vec3 color = vec3(0.2, 1.0, 0.4) * trace;
    color += vec3(0.05, 0.12, 0.08) * (grid + centre);
    color += vec3(0.0, 0.04, 0.02) * level;
    fragColor = vec4(color, 1.0);
}
