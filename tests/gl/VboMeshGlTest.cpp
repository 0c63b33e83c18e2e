#include "gl/GlslProg.h"
#include "gl/VboMesh.h"

#include "GlTestContext.h"

#include <memory>
#include <string>
#include <vector>

namespace mirvo::gl {
namespace {

constexpr std::size_t kStars = 1000;

class VboMeshGl : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { sContext = std::make_unique<test::GlTestContext>(64, 64); }
    static void TearDownTestSuite() { sContext.reset(); }
    void SetUp() override { sContext->resetMatrices(); }

    static std::unique_ptr<test::GlTestContext> sContext;
};

std::unique_ptr<test::GlTestContext> VboMeshGl::sContext;

VboMesh::Layout galaxyLayout()
{
    VboMesh::Layout layout;
    layout.setStaticIndices();
    layout.setStaticPositions();
    layout.addDynamicCustomFloat();
    layout.addDynamicCustomFloat();
    return layout;
}

GLint bufferSize(const Vbo& vbo)
{
    vbo.bind();
    GLint size = 0;
    glGetBufferParameteriv(vbo.getTarget(), GL_BUFFER_SIZE, &size);
    glBindBuffer(vbo.getTarget(), 0);
    return size;
}

std::vector<float> bufferFloats(const Vbo& vbo, std::size_t count)
{
    std::vector<float> values(count);
    vbo.bind();
    glGetBufferSubData(vbo.getTarget(), 0, GLsizeiptr(count * sizeof(float)), values.data());
    glBindBuffer(vbo.getTarget(), 0);
    return values;
}

// Makes the driver report that a mapped buffer lost its contents.
class UnmapFailure {
  public:
    UnmapFailure()
    {
        // Resolve the real entry point first: libepoxy's stub overwrites the pointer on its
        // first call. Nothing is mapped, so this only raises a GL error, cleared here.
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glUnmapBuffer(GL_ARRAY_BUFFER);
        while (glGetError() != GL_NO_ERROR) {
        }
        sReal = epoxy_glUnmapBuffer;
        epoxy_glUnmapBuffer = &failing;
    }
    ~UnmapFailure() { epoxy_glUnmapBuffer = sReal; }

  private:
    static GLboolean GLAPIENTRY failing(GLenum target)
    {
        sReal(target);
        return GL_FALSE;
    }
    static inline PFNGLUNMAPBUFFERPROC sReal = nullptr;
};

TEST_F(VboMeshGl, TheGalaxyLayoutKeepsPositionsPlanarAndInterleavesTwoFloats)
{
    VboMeshRef mesh = VboMesh::create(kStars, kStars, galaxyLayout(), GL_POINTS);

    EXPECT_EQ(mesh->getStaticStride(), 0u);
    EXPECT_EQ(mesh->getPositionOffset(), 0u);
    EXPECT_EQ(mesh->getDynamicStride(), 8u);
    ASSERT_EQ(mesh->getLayout().mCustomDynamic.size(), 2u);
    EXPECT_EQ(mesh->getLayout().mCustomDynamic[0].second, 0u);
    EXPECT_EQ(mesh->getLayout().mCustomDynamic[1].second, 4u);
    EXPECT_EQ(mesh->getCustomDynamicLocation(0), -1);
    EXPECT_EQ(mesh->getCustomDynamicLocation(1), -1);
    EXPECT_EQ(mesh->getPrimitiveType(), GLenum(GL_POINTS));

    EXPECT_EQ(bufferSize(mesh->getStaticVbo()), GLint(kStars * 12));
    EXPECT_EQ(bufferSize(mesh->getDynamicVbo()), GLint(kStars * 8));
    EXPECT_EQ(bufferSize(mesh->getIndexVbo()), GLint(kStars * 4));
}

TEST_F(VboMeshGl, OnlyStaticDataMakesNoDynamicBuffer)
{
    VboMesh::Layout layout;
    layout.setStaticIndices();
    layout.setStaticPositions();
    layout.setStaticColorsRGBA();
    VboMeshRef mesh = VboMesh::create(10, 10, layout, GL_POINTS);

    EXPECT_FALSE(mesh->getDynamicVbo());
    EXPECT_EQ(mesh->getDynamicStride(), 0u);
    // Planar: the colours follow all the positions.
    EXPECT_EQ(bufferSize(mesh->getStaticVbo()), GLint(10 * 12 + 10 * 16));
}

TEST_F(VboMeshGl, TheIteratorIsDoneAfterExactlyOneWritePerVertexAndTheWritesLand)
{
    VboMeshRef mesh = VboMesh::create(kStars, kStars, galaxyLayout(), GL_POINTS);
    {
        VboMesh::VertexIter iter = mesh->mapVertexBuffer();
        for (std::size_t i = 0; i + 1 < kStars; ++i) {
            iter.setCustomFloat(0, float(i));
            iter.setCustomFloat(1, -float(i));
            ++iter;
        }
        EXPECT_FALSE(iter.isDone());
        iter.setCustomFloat(0, 7.f);
        iter.setCustomFloat(1, 8.f);
        ++iter;
        EXPECT_TRUE(iter.isDone());
    }
    EXPECT_FALSE(mesh->hasUnmapFailed());

    const std::vector<float> values = bufferFloats(mesh->getDynamicVbo(), kStars * 2);
    EXPECT_EQ(values[0], 0.f);
    EXPECT_EQ(values[1], -0.f);
    EXPECT_EQ(values[2 * 10], 10.f);
    EXPECT_EQ(values[2 * 10 + 1], -10.f);
    EXPECT_EQ(values[2 * (kStars - 1)], 7.f);
    EXPECT_EQ(values[2 * (kStars - 1) + 1], 8.f);
}

TEST_F(VboMeshGl, IndicesAndPositionsReplaceTheBufferContents)
{
    VboMeshRef mesh = VboMesh::create(4, 4, galaxyLayout(), GL_POINTS);

    mesh->bufferIndices({0, 1, 2, 3, 0, 1});
    EXPECT_EQ(bufferSize(mesh->getIndexVbo()), 6 * 4) << "more indices than created for grow the buffer";
    EXPECT_EQ(mesh->getNumIndices(), 6u);

    mesh->bufferPositions({Vec3f(1, 2, 3), Vec3f(4, 5, 6)});
    const std::vector<float> values = bufferFloats(mesh->getStaticVbo(), 6);
    EXPECT_EQ(values, (std::vector<float>{1, 2, 3, 4, 5, 6}));
}

TEST_F(VboMeshGl, AFailedUnmapIsRecordedWithoutThrowingFromTheRelease)
{
    VboMeshRef mesh = VboMesh::create(4, 4, galaxyLayout(), GL_POINTS);
    {
        UnmapFailure failure;
        testing::internal::CaptureStderr();
        EXPECT_NO_THROW({ VboMesh::VertexIter iter = mesh->mapVertexBuffer(); });
        EXPECT_NO_THROW({ VboMesh::VertexIter iter = mesh->mapVertexBuffer(); });
        const std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_EQ(errors, "OpenGL Vbo exception: Unmap failure\n") << "reported once";
    }
    EXPECT_TRUE(mesh->hasUnmapFailed());
    try {
        mesh->checkUnmap();
        ADD_FAILURE() << "the recorded failure was not thrown";
    } catch (const VboFailedUnmapExc& exc) {
        EXPECT_STREQ(exc.what(), "OpenGL Vbo exception: Unmap failure");
    }
    EXPECT_FALSE(mesh->hasUnmapFailed());
    EXPECT_NO_THROW(mesh->checkUnmap());

    UnmapFailure failure;
    VboMesh::VertexIter iter = mesh->mapVertexBuffer();
    EXPECT_THROW(iter.unmap(), VboFailedUnmapExc) << "an explicit unmap throws at once";
    EXPECT_TRUE(iter.isDone());
}

TEST_F(VboMeshGl, CustomAttributesReachTheShaderWhenDrawn)
{
    GlslProgRef prog = GlslProg::create(R"(
        #version 120
        attribute float a_red;
        attribute float a_green;
        varying vec2 v_color;
        void main() { v_color = vec2(a_red, a_green); gl_Position = ftransform(); })",
                                        R"(
        #version 120
        varying vec2 v_color;
        void main() { gl_FragColor = vec4(v_color, 0.0, 1.0); })");

    VboMesh::Layout layout;
    layout.setStaticPositions();
    layout.addDynamicCustomFloat();
    layout.addDynamicCustomFloat();
    VboMeshRef mesh = VboMesh::create(3, 0, layout, GL_TRIANGLES);
    mesh->bufferPositions({Vec3f(0, 0, 0), Vec3f(64, 0, 0), Vec3f(0, 64, 0)});
    mesh->setCustomDynamicLocation(0, prog->getAttribLocation("a_red"));
    mesh->setCustomDynamicLocation(1, prog->getAttribLocation("a_green"));
    {
        VboMesh::VertexIter iter = mesh->mapVertexBuffer();
        for (; !iter.isDone(); ++iter) {
            iter.setCustomFloat(0, 1.f);
            iter.setCustomFloat(1, 0.f);
        }
    }

    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    prog->bind();
    drawArrays(mesh, 0, 3);
    GlslProg::unbind();

    const test::Rgba8 inside = sContext->pixel(10, 10);
    EXPECT_GT(inside.r, 250);
    EXPECT_LT(inside.g, 5);
    const test::Rgba8 outside = sContext->pixel(60, 60);
    EXPECT_LT(outside.r, 5);

    GLint arrayBuffer = -1;
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &arrayBuffer);
    EXPECT_EQ(arrayBuffer, 0);
    EXPECT_EQ(glIsEnabled(GL_VERTEX_ARRAY), GL_FALSE);
}

} // namespace
} // namespace mirvo::gl
