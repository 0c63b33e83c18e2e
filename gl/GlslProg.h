// A GLSL program built from vertex, fragment and optional geometry sources. Copies of a
// GlslProg share one GL program through its Obj, which deletes the program with the last
// reference. Main thread only, with the GL context current.
#pragma once

#include "core/DataSource.h"
#include "core/Exception.h"
#include "gl/Gl.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace mirvo::gl {

class GlslProg;
using GlslProgRef = std::shared_ptr<GlslProg>;

class GlslProg {
  public:
    // An empty source is skipped; the geometry values matter only with a geometry source.
    static GlslProgRef create(DataSourceRef vertexShader, DataSourceRef fragmentShader = {},
                              DataSourceRef geometryShader = {}, GLint geometryInputType = GL_POINTS,
                              GLint geometryOutputType = GL_TRIANGLES, GLint geometryOutputVertices = 0);
    // The same from source text.
    static GlslProgRef create(std::string_view vertexShader, std::string_view fragmentShader = {},
                              std::string_view geometryShader = {}, GLint geometryInputType = GL_POINTS,
                              GLint geometryOutputType = GL_TRIANGLES, GLint geometryOutputVertices = 0);

    GlslProg(std::string_view vertexShader, std::string_view fragmentShader, std::string_view geometryShader,
             GLint geometryInputType, GLint geometryOutputType, GLint geometryOutputVertices);

    void bind() const;
    static void unbind();

    void uniform(const std::string& name, float value);

    // Cached by name; a name the program lacks caches -1, which GL ignores on set.
    GLint getUniformLocation(const std::string& name);
    // Not cached: callers ask once while the program is bound.
    GLint getAttribLocation(const std::string& name) const;

    GLuint getHandle() const { return mObj->mHandle; }

  private:
    struct Obj {
        Obj();
        ~Obj();
        Obj(const Obj&) = delete;
        Obj& operator=(const Obj&) = delete;

        GLuint mHandle = 0;
        std::map<std::string, GLint> mUniformLocs;
    };

    void loadShader(std::string_view source, GLenum type);
    void setGeometryParameters(GLint inputType, GLint outputType, GLint outputVertices);
    void link();

    std::shared_ptr<Obj> mObj;
};

// A shader that does not compile. `what` is "VERTEX: ", "FRAGMENT: ", "GEOMETRY: " or
// "UNKNOWN: " followed by the driver's log, cut to 15000 characters.
class GlslProgCompileExc : public Exception {
  public:
    static constexpr std::size_t kMaxLogLength = 15000;

    GlslProgCompileExc(const std::string& log, GLint shaderType);
    GLint getShaderType() const { return mShaderType; }

  private:
    GLint mShaderType;
};

// A program whose shaders compiled but that does not link; `what` is "LINK: " followed
// by the driver's log, cut like the compile log.
class GlslProgLinkExc : public Exception {
  public:
    explicit GlslProgLinkExc(const std::string& log);
};

} // namespace mirvo::gl
