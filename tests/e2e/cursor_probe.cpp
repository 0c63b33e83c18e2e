// Prints "visible" or "hidden" for the cursor the X server shows at this moment, so the
// end-to-end tests can tell whether the program hid its cursor. Screenshots cannot: they
// never contain the cursor. A hidden cursor is a fully transparent image, not an absent one.
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

#include <cstdio>

int main()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "cursor_probe: cannot open the display\n");
        return 2;
    }
    int eventBase = 0;
    int errorBase = 0;
    XFixesCursorImage* image =
        XFixesQueryExtension(display, &eventBase, &errorBase) ? XFixesGetCursorImage(display) : nullptr;
    if (!image) {
        std::fprintf(stderr, "cursor_probe: the display cannot report its cursor\n");
        XCloseDisplay(display);
        return 2;
    }
    bool anyOpaque = false;
    const unsigned long pixelCount = static_cast<unsigned long>(image->width) * image->height;
    for (unsigned long i = 0; i < pixelCount && !anyOpaque; ++i) {
        // Pixels are 32-bit ARGB held in longs.
        anyOpaque = ((image->pixels[i] >> 24) & 0xff) != 0;
    }
    std::puts(anyOpaque ? "visible" : "hidden");
    XFree(image);
    XCloseDisplay(display);
    return 0;
}
