// A mesh in up to three GL buffers: indices, static vertex data stored planar (one block
// per attribute) and dynamic vertex data interleaved per vertex, rewritten each frame
// through a VertexIter. Copies share the buffers. Main thread only, with the GL context
// current; a mesh must not be drawn while an iterator keeps its dynamic buffer mapped.
#pragma once

#include "core/Color.h"
#include "core/Vec.h"
#include "gl/Gl.h"
#include "gl/Vbo.h"

#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace mirvo::gl {

class VboMesh;
using VboMeshRef = std::shared_ptr<VboMesh>;

class VboMesh {
  public:
    static constexpr int kTexUnits = 4;

    class Layout {
      public:
        enum State { NONE = 0, STATIC = 1, DYNAMIC = 2 };
        enum Attribute {
            ATTR_INDICES,
            ATTR_POSITIONS,
            ATTR_NORMALS,
            ATTR_COLORS_RGB,
            ATTR_COLORS_RGBA,
            ATTR_TEXCOORDS2D_0,
            ATTR_TEXCOORDS3D_0 = ATTR_TEXCOORDS2D_0 + kTexUnits,
            ATTR_TOTAL = ATTR_TEXCOORDS3D_0 + kTexUnits
        };
        enum CustomAttr {
            CUSTOM_ATTR_FLOAT = 0,
            CUSTOM_ATTR_FLOAT2 = 1,
            CUSTOM_ATTR_FLOAT3 = 2,
            CUSTOM_ATTR_FLOAT4 = 3
        };

        static std::size_t sizeOf(CustomAttr attr) { return 4 * componentsOf(attr); }
        static int componentsOf(CustomAttr attr) { return int(attr) + 1; }

        State getState(Attribute attr) const { return mAttributes[attr]; }
        bool has(Attribute attr) const { return mAttributes[attr] != NONE; }
        bool hasStatic(Attribute attr) const { return mAttributes[attr] == STATIC; }
        bool hasDynamic(Attribute attr) const { return mAttributes[attr] == DYNAMIC; }
        bool hasTexCoords(int unit) const;
        bool hasStaticData() const;
        bool hasDynamicData() const;

        void setStaticIndices() { mAttributes[ATTR_INDICES] = STATIC; }
        void setDynamicIndices() { mAttributes[ATTR_INDICES] = DYNAMIC; }
        void setStaticPositions() { mAttributes[ATTR_POSITIONS] = STATIC; }
        void setDynamicPositions() { mAttributes[ATTR_POSITIONS] = DYNAMIC; }
        void setStaticNormals() { mAttributes[ATTR_NORMALS] = STATIC; }
        void setDynamicNormals() { mAttributes[ATTR_NORMALS] = DYNAMIC; }
        void setStaticColorsRGB() { mAttributes[ATTR_COLORS_RGB] = STATIC; }
        void setDynamicColorsRGB() { mAttributes[ATTR_COLORS_RGB] = DYNAMIC; }
        void setStaticColorsRGBA() { mAttributes[ATTR_COLORS_RGBA] = STATIC; }
        void setDynamicColorsRGBA() { mAttributes[ATTR_COLORS_RGBA] = DYNAMIC; }
        void setStaticTexCoords2d(int unit = 0) { mAttributes[ATTR_TEXCOORDS2D_0 + unit] = STATIC; }
        void setDynamicTexCoords2d(int unit = 0) { mAttributes[ATTR_TEXCOORDS2D_0 + unit] = DYNAMIC; }
        void setStaticTexCoords3d(int unit = 0) { mAttributes[ATTR_TEXCOORDS3D_0 + unit] = STATIC; }
        void setDynamicTexCoords3d(int unit = 0) { mAttributes[ATTR_TEXCOORDS3D_0 + unit] = DYNAMIC; }

        void addStaticCustom(CustomAttr type) { mCustomStatic.emplace_back(type, 0); }
        void addDynamicCustom(CustomAttr type) { mCustomDynamic.emplace_back(type, 0); }
        void addStaticCustomFloat() { addStaticCustom(CUSTOM_ATTR_FLOAT); }
        void addDynamicCustomFloat() { addDynamicCustom(CUSTOM_ATTR_FLOAT); }

        std::array<State, ATTR_TOTAL> mAttributes{};
        // (type, byte offset); the offsets are filled in when a mesh is built.
        std::vector<std::pair<CustomAttr, std::size_t>> mCustomDynamic;
        std::vector<std::pair<CustomAttr, std::size_t>> mCustomStatic;
    };

    class VertexIter;

    static VboMeshRef create(std::size_t numVertices, std::size_t numIndices, const Layout& layout,
                             GLenum primitiveType);
    VboMesh(std::size_t numVertices, std::size_t numIndices, const Layout& layout, GLenum primitiveType);

    // Replaces the whole index buffer, growing it when there are more indices than before.
    void bufferIndices(const std::vector<std::uint32_t>& indices);
    // Planar storage only: the buffer holding the positions must have stride 0.
    void bufferPositions(const std::vector<Vec3f>& positions);

    // Discards the dynamic buffer and maps it for writing; every dynamic attribute of every
    // vertex must be written again.
    VertexIter mapVertexBuffer();

    void setCustomStaticLocation(std::size_t index, GLint location);
    void setCustomDynamicLocation(std::size_t index, GLint location);
    GLint getCustomStaticLocation(std::size_t index) const { return mObj->mCustomStaticLocations.at(index); }
    GLint getCustomDynamicLocation(std::size_t index) const
    {
        return mObj->mCustomDynamicLocations.at(index);
    }

    void enableClientStates() const;
    void bindAllData() const;
    void disableClientStates() const;
    static void unbindBuffers();

    GLenum getPrimitiveType() const { return mObj->mPrimitiveType; }
    std::size_t getNumVertices() const { return mObj->mNumVertices; }
    std::size_t getNumIndices() const { return mObj->mNumIndices; }
    const Layout& getLayout() const { return mObj->mLayout; }
    std::size_t getStaticStride() const { return mObj->mStaticStride; }
    std::size_t getDynamicStride() const { return mObj->mDynamicStride; }
    std::size_t getPositionOffset() const { return mObj->mPositionOffset; }
    const Vbo& getIndexVbo() const { return mObj->mBuffers[INDEX_BUFFER]; }
    const Vbo& getStaticVbo() const { return mObj->mBuffers[STATIC_BUFFER]; }
    const Vbo& getDynamicVbo() const { return mObj->mBuffers[DYNAMIC_BUFFER]; }

    // A failed unmap cannot throw from the iterator's release, so it is counted here and
    // reported once on standard error. `checkUnmap` throws VboFailedUnmapExc for failures
    // since the last check; a caller that must know calls it after releasing the iterator.
    bool hasUnmapFailed() const { return mObj->mUnmapFailures > 0; }
    void checkUnmap();

  private:
    enum { INDEX_BUFFER, STATIC_BUFFER, DYNAMIC_BUFFER, BUFFER_TOTAL };

    struct Obj {
        std::size_t mNumIndices = 0;
        std::size_t mNumVertices = 0;
        std::array<Vbo, BUFFER_TOTAL> mBuffers;
        std::size_t mPositionOffset = 0;
        std::size_t mNormalOffset = 0;
        std::size_t mColorRGBOffset = 0;
        std::size_t mColorRGBAOffset = 0;
        std::array<std::size_t, kTexUnits> mTexCoordOffset{};
        std::size_t mStaticStride = 0;
        std::size_t mDynamicStride = 0;
        GLenum mPrimitiveType = GL_POINTS;
        Layout mLayout;
        std::vector<GLint> mCustomStaticLocations;
        std::vector<GLint> mCustomDynamicLocations;
        unsigned mUnmapFailures = 0;
        bool mUnmapFailureReported = false;

        void recordUnmapFailure();
    };

    void initializeBuffers();
    std::size_t layOutStatic();
    std::size_t layOutDynamic();
    void bindPointers(const Vbo& buffer, Layout::State state, std::size_t stride) const;
    void bindCustomPointers(const Vbo& buffer,
                            const std::vector<std::pair<Layout::CustomAttr, std::size_t>>& attrs,
                            const std::vector<GLint>& locations, std::size_t stride) const;

    std::shared_ptr<Obj> mObj;

    friend class VertexIter;
};

// Write iterator over the mapped dynamic buffer, one vertex at a time. Copies share the
// mapping; the last copy unmaps the buffer.
class VboMesh::VertexIter {
  public:
    void setPosition(const Vec3f& position) { write(mPositionOffset, &position, sizeof(float) * 3); }
    void setNormal(const Vec3f& normal) { write(mNormalOffset, &normal, sizeof(float) * 3); }
    void setColorRGB(const Color& color) { write(mColorRGBOffset, &color, sizeof(float) * 3); }
    void setColorRGBA(const ColorA& color) { write(mColorRGBAOffset, &color, sizeof(float) * 4); }
    void setTexCoord2d(int unit, const Vec2f& coord)
    {
        write(mTexCoordOffset[unit], &coord, sizeof(float) * 2);
    }
    void setCustomFloat(std::size_t index, float value)
    {
        write(mObj->mCustomOffsets[index], &value, sizeof value);
    }

    VertexIter& operator++()
    {
        mPtr += mStride;
        return *this;
    }
    bool isDone() const { return mPtr >= mDataEnd; }
    std::size_t getIndex() const { return mStride == 0 ? 0 : std::size_t(mPtr - mData) / mStride; }

    // Unmaps now rather than at release, and throws VboFailedUnmapExc when GL lost the data.
    // Any later write through this iterator is a programming error.
    void unmap();

  private:
    struct Obj {
        Obj(const std::shared_ptr<VboMesh::Obj>& mesh, std::uint8_t* data, std::uint8_t* dataEnd);
        ~Obj();
        Obj(const Obj&) = delete;
        Obj& operator=(const Obj&) = delete;
        bool release();

        std::uint8_t* mData;
        std::uint8_t* mDataEnd;
        std::vector<std::size_t> mCustomOffsets;
        Vbo mVbo;
        std::shared_ptr<VboMesh::Obj> mMesh;
    };

    explicit VertexIter(VboMesh& mesh);

    void write(std::size_t offset, const void* value, std::size_t size)
    {
        assert(mObj->mData != nullptr && "write after unmap");
        assert(mPtr + offset + size <= mDataEnd && "write past the last vertex");
        std::memcpy(mPtr + offset, value, size);
    }

    std::shared_ptr<Obj> mObj;
    std::uint8_t* mPtr;
    std::uint8_t* mData;
    std::uint8_t* mDataEnd;
    std::size_t mPositionOffset;
    std::size_t mNormalOffset;
    std::size_t mColorRGBOffset;
    std::size_t mColorRGBAOffset;
    std::array<std::size_t, kTexUnits> mTexCoordOffset;
    std::size_t mStride;

    friend class VboMesh;
};

// Draws `count` vertices from `first` with the mesh's primitive type.
void drawArrays(const VboMesh& mesh, GLint first, GLsizei count);
inline void drawArrays(const VboMeshRef& mesh, GLint first, GLsizei count)
{
    drawArrays(*mesh, first, count);
}

} // namespace mirvo::gl
