// What both ImGui drawers (the panels and the notices) share: how their contexts are made, the
// current ImGui context for a scope, and the scene's GL state that ImGui's OpenGL2 renderer does
// not put back. Main thread, with the window's GL context current.
#pragma once

#include "gl/Gl.h"

#include <imgui.h>

namespace mirvo::params::tw {

// Makes one ImGui context current for a scope and puts the previous one back.
class ContextScope {
  public:
    explicit ContextScope(ImGuiContext* context) : mPrevious(ImGui::GetCurrentContext())
    {
        ImGui::SetCurrentContext(context);
    }
    ~ContextScope() { ImGui::SetCurrentContext(mPrevious); }
    ContextScope(const ContextScope&) = delete;
    ContextScope& operator=(const ContextScope&) = delete;

  private:
    ImGuiContext* mPrevious;
};

// The GL state the scene relies on that ImGui's renderer does not put back itself.
class SceneStateGuard {
  public:
    SceneStateGuard()
    {
        glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &mArrayBuffer);
        glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &mElementBuffer);
        glGetIntegerv(GL_CURRENT_PROGRAM, &mProgram);
        glGetIntegerv(GL_ACTIVE_TEXTURE, &mActiveTexture);
        glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT |
                     GL_LINE_BIT | GL_POINT_BIT | GL_TEXTURE_BIT);
        glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT | GL_CLIENT_PIXEL_STORE_BIT);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
        glUseProgram(0);
        glActiveTexture(GL_TEXTURE0);
    }
    ~SceneStateGuard()
    {
        glPopClientAttrib();
        glPopAttrib();
        glActiveTexture(GLenum(mActiveTexture));
        glUseProgram(GLuint(mProgram));
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, GLuint(mElementBuffer));
        glBindBuffer(GL_ARRAY_BUFFER, GLuint(mArrayBuffer));
    }
    SceneStateGuard(const SceneStateGuard&) = delete;
    SceneStateGuard& operator=(const SceneStateGuard&) = delete;

  private:
    GLint mArrayBuffer = 0;
    GLint mElementBuffer = 0;
    GLint mProgram = 0;
    GLint mActiveTexture = GL_TEXTURE0;
};

// A new ImGui context that writes nothing to disk and leaves the cursor to the application.
inline ImGuiContext* createQuietContext()
{
    ImGuiContext* context = ImGui::CreateContext();
    ContextScope scope(context);
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.LogFilename = nullptr;
    io.ConfigFlags |= ImGuiConfigFlags_NoMouseCursorChange;
    return context;
}

} // namespace mirvo::params::tw
