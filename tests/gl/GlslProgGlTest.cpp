#include "gl/GlslProg.h"

#include "GlTestContext.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace mirvo::gl {
namespace {

constexpr const char* kVertexShader = R"(
#version 120
uniform float u_scale;
attribute float a_hue;
varying float v_hue;
void main() {
    v_hue = a_hue;
    gl_Position = gl_ModelViewProjectionMatrix * (gl_Vertex * u_scale);
})";

constexpr const char* kFragmentShader = R"(
#version 120
uniform float u_alpha;
varying float v_hue;
void main() { gl_FragColor = vec4(v_hue, 0.0, 0.0, u_alpha); })";

class GlslProgGl : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { sContext = std::make_unique<test::GlTestContext>(64, 64); }
    static void TearDownTestSuite() { sContext.reset(); }
    static std::unique_ptr<test::GlTestContext> sContext;
};

std::unique_ptr<test::GlTestContext> GlslProgGl::sContext;

// Counts the driver's uniform lookups by standing in for libepoxy's entry point.
class UniformLookupCounter {
  public:
    explicit UniformLookupCounter(GLuint program)
    {
        // The first call resolves the real entry point; only then can it be wrapped.
        glGetUniformLocation(program, "u_scale");
        sReal = epoxy_glGetUniformLocation;
        sCount = 0;
        epoxy_glGetUniformLocation = &counting;
    }
    ~UniformLookupCounter() { epoxy_glGetUniformLocation = sReal; }
    int count() const { return sCount; }

  private:
    static GLint GLAPIENTRY counting(GLuint program, const GLchar* name)
    {
        ++sCount;
        return sReal(program, name);
    }
    static inline PFNGLGETUNIFORMLOCATIONPROC sReal = nullptr;
    static inline int sCount = 0;
};

template <typename Exc> std::string messageOf(const std::string& vertex, const std::string& fragment)
{
    try {
        GlslProg::create(vertex, fragment);
    } catch (const Exc& exc) {
        return exc.what();
    }
    return "(nothing thrown)";
}

TEST_F(GlslProgGl, CompileErrorsNameTheFailingStageBeforeTheDriverLog)
{
    const std::string vertexMessage =
        messageOf<GlslProgCompileExc>("void main() { gl_Position = ; }", kFragmentShader);
    EXPECT_EQ(vertexMessage.rfind("VERTEX: ", 0), 0u) << vertexMessage;
    EXPECT_GT(vertexMessage.size(), std::string("VERTEX: ").size()) << "the driver's log is missing";

    const std::string fragmentMessage =
        messageOf<GlslProgCompileExc>(kVertexShader, "void main() { nope(); }");
    EXPECT_EQ(fragmentMessage.rfind("FRAGMENT: ", 0), 0u) << fragmentMessage;

    try {
        GlslProg::create(kVertexShader, "void main() { nope(); }");
    } catch (const GlslProgCompileExc& exc) {
        EXPECT_EQ(exc.getShaderType(), GL_FRAGMENT_SHADER);
    }
}

TEST_F(GlslProgGl, AProgramThatDoesNotLinkIsReported)
{
    // Compiles, but the function it calls exists nowhere.
    const std::string message = messageOf<GlslProgLinkExc>(
        "void helper(); void main() { helper(); gl_Position = gl_Vertex; }", kFragmentShader);
    EXPECT_EQ(message.rfind("LINK: ", 0), 0u) << message;
}

TEST_F(GlslProgGl, SettingAUniformTwiceAsksTheDriverOnce)
{
    GlslProgRef prog = GlslProg::create(kVertexShader, kFragmentShader);
    prog->bind();
    UniformLookupCounter counter(prog->getHandle());

    prog->uniform("u_scale", 1.f);
    prog->uniform("u_scale", 2.f);
    EXPECT_EQ(counter.count(), 1);

    // A name the program lacks is cached as -1 too.
    EXPECT_EQ(prog->getUniformLocation("u_missing"), -1);
    EXPECT_EQ(prog->getUniformLocation("u_missing"), -1);
    EXPECT_EQ(counter.count(), 2);

    GLfloat scale = 0.f;
    glGetUniformfv(prog->getHandle(), prog->getUniformLocation("u_scale"), &scale);
    EXPECT_FLOAT_EQ(scale, 2.f);
    GlslProg::unbind();
}

TEST_F(GlslProgGl, BuildsFromDataSourcesLikeFromText)
{
    const auto dir = std::filesystem::temp_directory_path() / ("mirvo-glsl-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "ok.vert") << kVertexShader;
    std::ofstream(dir / "bad.frag") << "void main() { gl_FragColor = ; }";

    EXPECT_NO_THROW(GlslProg::create(DataSourcePath::create(dir / "ok.vert"), DataSourceRef()));
    EXPECT_THROW(
        GlslProg::create(DataSourcePath::create(dir / "ok.vert"), DataSourcePath::create(dir / "bad.frag")),
        GlslProgCompileExc);
    std::filesystem::remove_all(dir);
}

TEST_F(GlslProgGl, CopiesShareOneProgramAndAnEmptyFragmentSourceIsSkipped)
{
    GlslProgRef prog = GlslProg::create(kVertexShader, "");
    GLint attached = 0;
    glGetProgramiv(prog->getHandle(), GL_ATTACHED_SHADERS, &attached);
    EXPECT_EQ(attached, 1);

    const GLuint handle = prog->getHandle();
    {
        GlslProg copy = *prog;
        EXPECT_EQ(copy.getHandle(), handle);
        prog.reset();
        EXPECT_EQ(glIsProgram(handle), GL_TRUE) << "deleted while a copy still uses it";
    }
    EXPECT_EQ(glIsProgram(handle), GL_FALSE);
}

} // namespace
} // namespace mirvo::gl
