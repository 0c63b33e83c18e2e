// A hidden window with a compatibility-profile context for the gl tests, with matrices
// that put the origin at the top-left corner, one unit per pixel, y downward, and a
// helper that reads pixels back in the same coordinates.
#pragma once

#include "gl/Gl.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <stdexcept>

namespace mirvo::gl::test {

struct Rgba8 {
    std::uint8_t r, g, b, a;
};

class GlTestContext {
  public:
    GlTestContext(int width, int height) : mWidth(width), mHeight(height)
    {
        if (glfwInit() != GLFW_TRUE) {
            throw std::runtime_error("no display for the gl tests (is DISPLAY set?)");
        }
        glfwDefaultWindowHints();
        glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
        glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 2);
        glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 1);
        glfwWindowHint(GLFW_DEPTH_BITS, 24);
        mWindow = glfwCreateWindow(width, height, "gl test", nullptr, nullptr);
        if (mWindow == nullptr) {
            glfwTerminate();
            throw std::runtime_error("could not create a GL 2.1 window");
        }
        glfwMakeContextCurrent(mWindow);
        resetMatrices();
    }

    ~GlTestContext()
    {
        glfwDestroyWindow(mWindow);
        glfwTerminate();
    }

    GlTestContext(const GlTestContext&) = delete;
    GlTestContext& operator=(const GlTestContext&) = delete;

    void resetMatrices() const
    {
        glViewport(0, 0, mWidth, mHeight);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, mWidth, mHeight, 0, -1000, 1000);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_BLEND);
        glColor4f(1, 1, 1, 1);
    }

    // (x, y) from the top-left corner, as the drawing coordinates.
    Rgba8 pixel(int x, int y) const
    {
        glFinish();
        Rgba8 result{};
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(x, mHeight - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, &result);
        return result;
    }

    int width() const { return mWidth; }
    int height() const { return mHeight; }
    GLFWwindow* window() const { return mWindow; }

  private:
    int mWidth;
    int mHeight;
    GLFWwindow* mWindow = nullptr;
};

// One context for a whole test program, for state that outlives a suite (the panels' layer
// keeps its GL objects until exit). Never destroyed: the process ends with it current.
inline GlTestContext& sharedGlTestContext(int width, int height)
{
    static GlTestContext* context = new GlTestContext(width, height);
    return *context;
}

inline bool operator==(const Rgba8& a, const Rgba8& b)
{
    return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

inline std::ostream& operator<<(std::ostream& out, const Rgba8& c)
{
    return out << "rgba(" << int(c.r) << ", " << int(c.g) << ", " << int(c.b) << ", " << int(c.a) << ")";
}

} // namespace mirvo::gl::test
