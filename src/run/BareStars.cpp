// Raw GL point sprites for the frame benchmark.
#include "src/run/BareStars.h"

#include "core/Rand.h"
#include "core/Resources.h"
#include "src/scenes/Galaxy.h"

#include <stdexcept>
#include <string>

namespace mirvo {

namespace {

std::string readResourceText(const std::string& name)
{
    const Buffer buffer = app::loadResource(name)->getBuffer();
    return std::string(static_cast<const char*>(buffer.getData()), buffer.getDataSize());
}

GLuint compile(GLenum type, const std::string& source)
{
    const GLuint shader = glCreateShader(type);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint status = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    if (status != GL_TRUE) {
        glDeleteShader(shader);
        throw std::runtime_error("the bare star shader does not compile");
    }
    return shader;
}

} // namespace

BareStars::BareStars(std::size_t maxStars) : mMaxStars(maxStars)
{
    const GLuint vertex = compile(GL_VERTEX_SHADER, readResourceText("stars.vert"));
    const GLuint fragment = compile(GL_FRAGMENT_SHADER, readResourceText("stars.frag"));
    mProgram = glCreateProgram();
    glAttachShader(mProgram, vertex);
    glAttachShader(mProgram, fragment);
    glLinkProgram(mProgram);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    mHueLocation = glGetAttribLocation(mProgram, "a_hue");
    mMagnitudeLocation = glGetAttribLocation(mProgram, "a_magnitude");

    Rand rand(214);
    const std::vector<Vec3f> positions = Galaxy::generateStarPositions(rand, mMaxStars);
    glGenBuffers(1, &mPositions);
    glBindBuffer(GL_ARRAY_BUFFER, mPositions);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(positions.size() * sizeof(Vec3f)), positions.data(),
                 GL_STATIC_DRAW);
    glGenBuffers(1, &mStream);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

BareStars::~BareStars()
{
    glDeleteBuffers(1, &mStream);
    glDeleteBuffers(1, &mPositions);
    glDeleteProgram(mProgram);
}

void BareStars::draw(const std::vector<float>& spectrum, int count, const Vec3f& rotationDegrees)
{
    if (spectrum.empty()) {
        return;
    }
    const std::size_t n = spectrum.size();
    const GLsizeiptr streamBytes = static_cast<GLsizeiptr>(mMaxStars * 2 * sizeof(float));
    glBindBuffer(GL_ARRAY_BUFFER, mStream);
    glBufferData(GL_ARRAY_BUFFER, streamBytes, nullptr, GL_STREAM_DRAW);
    auto* stream = static_cast<float*>(glMapBuffer(GL_ARRAY_BUFFER, GL_WRITE_ONLY));
    for (std::size_t i = 0; i < mMaxStars; ++i) {
        const std::size_t bin = i % n;
        stream[i * 2] = static_cast<float>(bin) / static_cast<float>(n);
        stream[i * 2 + 1] = spectrum[bin];
    }
    glUnmapBuffer(GL_ARRAY_BUFFER);

    glEnable(GL_VERTEX_PROGRAM_POINT_SIZE);
    glEnable(GL_POINT_SPRITE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);

    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    const float scale = (200.0f + 15000.0f) * 0.5f;
    glScalef(scale, scale, scale);
    glRotatef(rotationDegrees.x, 1.0f, 0.0f, 0.0f);
    glRotatef(rotationDegrees.y, 0.0f, 1.0f, 0.0f);
    glRotatef(rotationDegrees.z, 0.0f, 0.0f, 1.0f);

    glUseProgram(mProgram);
    glUniform1f(glGetUniformLocation(mProgram, "u_minStarRadius"), 5.0f);
    glUniform1f(glGetUniformLocation(mProgram, "u_maxStarRadius"), 75.0f);
    glUniform1f(glGetUniformLocation(mProgram, "u_minStarColorSaturation"), 0.0f);
    glUniform1f(glGetUniformLocation(mProgram, "u_maxStarColorSaturation"), 0.8f);
    glUniform1f(glGetUniformLocation(mProgram, "u_minStarColorValue"), 0.25f);
    glUniform1f(glGetUniformLocation(mProgram, "u_maxStarColorValue"), 0.7f);

    glBindBuffer(GL_ARRAY_BUFFER, mPositions);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, nullptr);
    glBindBuffer(GL_ARRAY_BUFFER, mStream);
    glEnableVertexAttribArray(static_cast<GLuint>(mHueLocation));
    glEnableVertexAttribArray(static_cast<GLuint>(mMagnitudeLocation));
    glVertexAttribPointer(static_cast<GLuint>(mHueLocation), 1, GL_FLOAT, GL_FALSE, 8, nullptr);
    glVertexAttribPointer(static_cast<GLuint>(mMagnitudeLocation), 1, GL_FLOAT, GL_FALSE, 8,
                          reinterpret_cast<const void*>(sizeof(float)));

    glDrawArrays(GL_POINTS, 0, count);

    glDisableVertexAttribArray(static_cast<GLuint>(mHueLocation));
    glDisableVertexAttribArray(static_cast<GLuint>(mMagnitudeLocation));
    glDisableClientState(GL_VERTEX_ARRAY);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glUseProgram(0);
    glPopMatrix();

    glDisable(GL_VERTEX_PROGRAM_POINT_SIZE);
    glDisable(GL_POINT_SPRITE);
    glDisable(GL_BLEND);
}

} // namespace mirvo
