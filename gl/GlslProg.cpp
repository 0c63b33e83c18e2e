#include "gl/GlslProg.h"

#include <algorithm>
#include <vector>

namespace mirvo::gl {

namespace {

std::string shaderInfoLog(GLuint shader)
{
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    if (length < 1) {
        return {};
    }
    std::vector<char> log(std::size_t(length) + 1, '\0');
    glGetShaderInfoLog(shader, length, nullptr, log.data());
    return std::string(log.data());
}

std::string programInfoLog(GLuint program)
{
    GLint length = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
    if (length < 1) {
        return {};
    }
    std::vector<char> log(std::size_t(length) + 1, '\0');
    glGetProgramInfoLog(program, length, nullptr, log.data());
    return std::string(log.data());
}

std::string compilePrefix(GLint shaderType)
{
    switch (shaderType) {
    case GL_VERTEX_SHADER:
        return "VERTEX: ";
    case GL_FRAGMENT_SHADER:
        return "FRAGMENT: ";
    case GL_GEOMETRY_SHADER_EXT:
        return "GEOMETRY: ";
    default:
        return "UNKNOWN: ";
    }
}

std::string cutLog(const std::string& log)
{
    return log.substr(0, GlslProgCompileExc::kMaxLogLength);
}

} // namespace

GlslProgCompileExc::GlslProgCompileExc(const std::string& log, GLint shaderType)
    : Exception(compilePrefix(shaderType) + cutLog(log)), mShaderType(shaderType)
{
}

GlslProgLinkExc::GlslProgLinkExc(const std::string& log) : Exception("LINK: " + cutLog(log))
{
}

GlslProg::Obj::Obj() : mHandle(glCreateProgram())
{
}

GlslProg::Obj::~Obj()
{
    if (mHandle != 0) {
        glDeleteProgram(mHandle);
    }
}

namespace {

// The whole text of a shader source; empty for no source. The buffer stays alive with the
// data source, which the caller holds for the duration of the build.
std::string_view sourceText(const DataSourceRef& source)
{
    if (!source) {
        return {};
    }
    const Buffer buffer = source->getBuffer();
    return std::string_view(static_cast<const char*>(buffer.getData()), buffer.getDataSize());
}

} // namespace

GlslProgRef GlslProg::create(DataSourceRef vertexShader, DataSourceRef fragmentShader,
                             DataSourceRef geometryShader, GLint geometryInputType, GLint geometryOutputType,
                             GLint geometryOutputVertices)
{
    return std::make_shared<GlslProg>(sourceText(vertexShader), sourceText(fragmentShader),
                                      sourceText(geometryShader), geometryInputType, geometryOutputType,
                                      geometryOutputVertices);
}

GlslProgRef GlslProg::create(std::string_view vertexShader, std::string_view fragmentShader,
                             std::string_view geometryShader, GLint geometryInputType,
                             GLint geometryOutputType, GLint geometryOutputVertices)
{
    return std::make_shared<GlslProg>(vertexShader, fragmentShader, geometryShader, geometryInputType,
                                      geometryOutputType, geometryOutputVertices);
}

GlslProg::GlslProg(std::string_view vertexShader, std::string_view fragmentShader,
                   std::string_view geometryShader, GLint geometryInputType, GLint geometryOutputType,
                   GLint geometryOutputVertices)
    : mObj(std::make_shared<Obj>())
{
    if (!vertexShader.empty()) {
        loadShader(vertexShader, GL_VERTEX_SHADER);
    }
    if (!fragmentShader.empty()) {
        loadShader(fragmentShader, GL_FRAGMENT_SHADER);
    }
    if (!geometryShader.empty()) {
        loadShader(geometryShader, GL_GEOMETRY_SHADER_EXT);
        setGeometryParameters(geometryInputType, geometryOutputType, geometryOutputVertices);
    }
    link();
}

void GlslProg::setGeometryParameters(GLint inputType, GLint outputType, GLint outputVertices)
{
    // Without the extension (a 3.2+ context) the shader declares its layout itself.
    if (epoxy_has_gl_extension("GL_EXT_geometry_shader4") ||
        epoxy_has_gl_extension("GL_ARB_geometry_shader4")) {
        glProgramParameteriEXT(mObj->mHandle, GL_GEOMETRY_INPUT_TYPE_EXT, inputType);
        glProgramParameteriEXT(mObj->mHandle, GL_GEOMETRY_OUTPUT_TYPE_EXT, outputType);
        glProgramParameteriEXT(mObj->mHandle, GL_GEOMETRY_VERTICES_OUT_EXT, outputVertices);
    }
}

void GlslProg::loadShader(std::string_view source, GLenum type)
{
    // The source need not be NUL-terminated, so its length goes along with it.
    const GLchar* text = source.data();
    const GLint length = GLint(source.size());
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &text, &length);
    glCompileShader(shader);

    GLint status = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    if (status != GL_TRUE) {
        std::string log = shaderInfoLog(shader);
        glDeleteShader(shader);
        throw GlslProgCompileExc(log, GLint(type));
    }
    glAttachShader(mObj->mHandle, shader);
    // Flagged for deletion now, freed by GL together with the program.
    glDeleteShader(shader);
}

void GlslProg::link()
{
    glLinkProgram(mObj->mHandle);
    // A program that failed to link would otherwise draw nothing with every location at -1
    // and no word of why.
    GLint status = GL_FALSE;
    glGetProgramiv(mObj->mHandle, GL_LINK_STATUS, &status);
    if (status != GL_TRUE) {
        throw GlslProgLinkExc(programInfoLog(mObj->mHandle));
    }
}

void GlslProg::bind() const
{
    glUseProgram(mObj->mHandle);
}

void GlslProg::unbind()
{
    glUseProgram(0);
}

void GlslProg::uniform(const std::string& name, float value)
{
    glUniform1f(getUniformLocation(name), value);
}

GLint GlslProg::getUniformLocation(const std::string& name)
{
    auto found = mObj->mUniformLocs.find(name);
    if (found != mObj->mUniformLocs.end()) {
        return found->second;
    }
    const GLint location = glGetUniformLocation(mObj->mHandle, name.c_str());
    mObj->mUniformLocs.emplace(name, location);
    return location;
}

GLint GlslProg::getAttribLocation(const std::string& name) const
{
    return glGetAttribLocation(mObj->mHandle, name.c_str());
}

} // namespace mirvo::gl
