#include "gl/Vbo.h"

namespace mirvo::gl {

Vbo::Obj::Obj(GLenum target) : mTarget(target)
{
    glGenBuffers(1, &mId);
}

Vbo::Obj::~Obj()
{
    glDeleteBuffers(1, &mId);
}

Vbo::Vbo(GLenum target) : mObj(std::make_shared<Obj>(target))
{
}

void Vbo::bind() const
{
    glBindBuffer(mObj->mTarget, mObj->mId);
}

void Vbo::bufferData(std::size_t size, const void* data, GLenum usage) const
{
    glBufferData(mObj->mTarget, GLsizeiptr(size), data, usage);
}

void Vbo::bufferSubData(std::ptrdiff_t offset, std::size_t size, const void* data) const
{
    glBufferSubData(mObj->mTarget, GLintptr(offset), GLsizeiptr(size), data);
}

} // namespace mirvo::gl
