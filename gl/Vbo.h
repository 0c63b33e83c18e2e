// A shared handle to one GL buffer object. Copies share the buffer; the last one deletes
// it. Main thread only, with the GL context current.
#pragma once

#include "core/Exception.h"
#include "gl/Gl.h"

#include <cstddef>
#include <memory>

namespace mirvo::gl {

class Vbo {
  public:
    // An empty handle: no buffer until one is assigned.
    Vbo() = default;
    // A new buffer for GL_ARRAY_BUFFER or GL_ELEMENT_ARRAY_BUFFER.
    explicit Vbo(GLenum target);

    void bind() const;
    void bufferData(std::size_t size, const void* data, GLenum usage) const;
    void bufferSubData(std::ptrdiff_t offset, std::size_t size, const void* data) const;

    GLenum getTarget() const { return mObj->mTarget; }
    GLuint getId() const { return mObj->mId; }
    explicit operator bool() const { return mObj != nullptr; }

  private:
    struct Obj {
        explicit Obj(GLenum target);
        ~Obj();
        Obj(const Obj&) = delete;
        Obj& operator=(const Obj&) = delete;

        GLenum mTarget;
        GLuint mId = 0;
    };

    std::shared_ptr<Obj> mObj;
};

class VboExc : public Exception {
  public:
    using Exception::Exception;
};

// GL lost the contents of a mapped buffer (glUnmapBuffer returned false).
class VboFailedUnmapExc : public VboExc {
  public:
    VboFailedUnmapExc() : VboExc("OpenGL Vbo exception: Unmap failure") {}
};

} // namespace mirvo::gl
