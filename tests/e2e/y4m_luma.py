"""The luma planes of a raw .y4m video, for the render cases: luma_frames(path) -> (width,
height, [bytes of each frame's luma])."""


def luma_frames(path):
    data = open(path, "rb").read()
    header, rest = data.split(b"\n", 1)
    fields = {f[:1]: f[1:] for f in header.split()[1:]}
    width, height = int(fields[b"W"]), int(fields[b"H"])
    luma = width * height
    frame_size = luma + 2 * ((width + 1) // 2) * ((height + 1) // 2)
    frames, at = [], 0
    while at < len(rest):
        at = rest.index(b"\n", at) + 1
        frames.append(rest[at:at + luma])
        at += frame_size
    return width, height, frames
