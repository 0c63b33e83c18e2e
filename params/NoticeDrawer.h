// Short boxes of text over everything else in a window, in its bottom-left corner: white
// text on a dark backdrop, so that it reads on any scene. Drawn with the panel layer's text
// renderer, whether the panels are shown or not. Main thread, with the window's GL context
// current for draw and for the destructor (the drawer owns a font texture).
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace mirvo::params {

struct NoticeBox {
    std::vector<std::string> lines;
    float opacity = 1.0f; // 0 to 1, text and backdrop together
};

class NoticeDrawer {
  public:
    // Where a box was drawn, in pixels from the window's top-left corner.
    struct Rect {
        float x = 0, y = 0, width = 0, height = 0;
    };

    NoticeDrawer();
    ~NoticeDrawer();
    NoticeDrawer(const NoticeDrawer&) = delete;
    NoticeDrawer& operator=(const NoticeDrawer&) = delete;

    // Boxes are given top to bottom and stacked up from the bottom-left corner of a window
    // of width x height pixels. `scale` enlarges text and spacing, e.g. by the content scale.
    void draw(const std::vector<NoticeBox>& boxes, int width, int height, float scale);

    // The boxes of the last draw, in the order given.
    const std::vector<Rect>& getLastBoxes() const;

  private:
    class Impl;
    std::unique_ptr<Impl> mImpl;
};

} // namespace mirvo::params
