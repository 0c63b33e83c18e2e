#include "gl/VboMesh.h"

#include <cstdio>

namespace mirvo::gl {

namespace {

constexpr std::size_t kVec3Bytes = 12;
constexpr std::size_t kVec4Bytes = 16;
constexpr std::size_t kVec2Bytes = 8;
constexpr std::size_t kIndexBytes = 4;

using Layout = VboMesh::Layout;

int texUnitOf(int unit)
{
    return GL_TEXTURE0 + unit;
}

} // namespace

bool Layout::hasTexCoords(int unit) const
{
    return has(Attribute(ATTR_TEXCOORDS2D_0 + unit)) || has(Attribute(ATTR_TEXCOORDS3D_0 + unit));
}

bool Layout::hasStaticData() const
{
    for (int attr = ATTR_POSITIONS; attr < ATTR_TOTAL; ++attr) {
        if (mAttributes[attr] == STATIC) {
            return true;
        }
    }
    return !mCustomStatic.empty();
}

bool Layout::hasDynamicData() const
{
    for (int attr = ATTR_POSITIONS; attr < ATTR_TOTAL; ++attr) {
        if (mAttributes[attr] == DYNAMIC) {
            return true;
        }
    }
    return !mCustomDynamic.empty();
}

VboMeshRef VboMesh::create(std::size_t numVertices, std::size_t numIndices, const Layout& layout,
                           GLenum primitiveType)
{
    return std::make_shared<VboMesh>(numVertices, numIndices, layout, primitiveType);
}

VboMesh::VboMesh(std::size_t numVertices, std::size_t numIndices, const Layout& layout, GLenum primitiveType)
    : mObj(std::make_shared<Obj>())
{
    mObj->mLayout = layout;
    mObj->mPrimitiveType = primitiveType;
    mObj->mNumIndices = numIndices;
    mObj->mNumVertices = numVertices;
    initializeBuffers();
}

void VboMesh::initializeBuffers()
{
    const Layout& layout = mObj->mLayout;
    if (layout.has(Layout::ATTR_INDICES) && !mObj->mBuffers[INDEX_BUFFER]) {
        mObj->mBuffers[INDEX_BUFFER] = Vbo(GL_ELEMENT_ARRAY_BUFFER);
    }

    if (layout.hasStaticData()) {
        mObj->mBuffers[STATIC_BUFFER] = Vbo(GL_ARRAY_BUFFER);
        const std::size_t size = layOutStatic();
        mObj->mBuffers[STATIC_BUFFER].bind();
        mObj->mBuffers[STATIC_BUFFER].bufferData(size, nullptr, GL_STATIC_DRAW);
    }

    if (layout.hasDynamicData()) {
        mObj->mBuffers[DYNAMIC_BUFFER] = Vbo(GL_ARRAY_BUFFER);
        mObj->mDynamicStride = layOutDynamic();
        mObj->mBuffers[DYNAMIC_BUFFER].bind();
        mObj->mBuffers[DYNAMIC_BUFFER].bufferData(mObj->mDynamicStride * mObj->mNumVertices, nullptr,
                                                  GL_STREAM_DRAW);
    }

    mObj->mCustomStaticLocations.assign(layout.mCustomStatic.size(), -1);
    mObj->mCustomDynamicLocations.assign(layout.mCustomDynamic.size(), -1);

    if (layout.has(Layout::ATTR_INDICES)) {
        mObj->mBuffers[INDEX_BUFFER].bind();
        mObj->mBuffers[INDEX_BUFFER].bufferData(kIndexBytes * mObj->mNumIndices, nullptr,
                                                layout.hasStatic(Layout::ATTR_INDICES) ? GL_STATIC_DRAW
                                                                                       : GL_STREAM_DRAW);
    }

    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

// Static data is planar: one block of mNumVertices entries per attribute, in the standard
// attribute order, then the custom attributes. Returns the total size in bytes.
std::size_t VboMesh::layOutStatic()
{
    Obj& obj = *mObj;
    Layout& layout = obj.mLayout;
    const std::size_t count = obj.mNumVertices;
    std::size_t offset = 0;

    if (layout.hasStatic(Layout::ATTR_POSITIONS)) {
        obj.mPositionOffset = offset;
        offset += kVec3Bytes * count;
    }
    if (layout.hasStatic(Layout::ATTR_NORMALS)) {
        obj.mNormalOffset = offset;
        offset += kVec3Bytes * count;
    }
    if (layout.hasStatic(Layout::ATTR_COLORS_RGB)) {
        obj.mColorRGBOffset = offset;
        offset += kVec3Bytes * count;
    } else if (layout.hasStatic(Layout::ATTR_COLORS_RGBA)) {
        obj.mColorRGBAOffset = offset;
        offset += kVec4Bytes * count;
    }
    for (int unit = 0; unit < kTexUnits; ++unit) {
        if (layout.hasStatic(Layout::Attribute(Layout::ATTR_TEXCOORDS2D_0 + unit))) {
            obj.mTexCoordOffset[unit] = offset;
            offset += kVec2Bytes * count;
        } else if (layout.hasStatic(Layout::Attribute(Layout::ATTR_TEXCOORDS3D_0 + unit))) {
            obj.mTexCoordOffset[unit] = offset;
            offset += kVec3Bytes * count;
        }
    }
    for (auto& [type, customOffset] : layout.mCustomStatic) {
        customOffset = offset;
        offset += Layout::sizeOf(type) * count;
    }
    obj.mStaticStride = 0;
    return offset;
}

// Dynamic data is interleaved: the same order within one vertex. Returns the stride.
std::size_t VboMesh::layOutDynamic()
{
    Obj& obj = *mObj;
    Layout& layout = obj.mLayout;
    std::size_t offset = 0;

    if (layout.hasDynamic(Layout::ATTR_POSITIONS)) {
        obj.mPositionOffset = offset;
        offset += kVec3Bytes;
    }
    if (layout.hasDynamic(Layout::ATTR_NORMALS)) {
        obj.mNormalOffset = offset;
        offset += kVec3Bytes;
    }
    if (layout.hasDynamic(Layout::ATTR_COLORS_RGB)) {
        obj.mColorRGBOffset = offset;
        offset += kVec3Bytes;
    } else if (layout.hasDynamic(Layout::ATTR_COLORS_RGBA)) {
        obj.mColorRGBAOffset = offset;
        offset += kVec4Bytes;
    }
    for (int unit = 0; unit < kTexUnits; ++unit) {
        if (layout.hasDynamic(Layout::Attribute(Layout::ATTR_TEXCOORDS2D_0 + unit))) {
            obj.mTexCoordOffset[unit] = offset;
            offset += kVec2Bytes;
        } else if (layout.hasDynamic(Layout::Attribute(Layout::ATTR_TEXCOORDS3D_0 + unit))) {
            obj.mTexCoordOffset[unit] = offset;
            offset += kVec3Bytes;
        }
    }
    for (auto& [type, customOffset] : layout.mCustomDynamic) {
        customOffset = offset;
        offset += Layout::sizeOf(type);
    }
    return offset;
}

void VboMesh::bufferIndices(const std::vector<std::uint32_t>& indices)
{
    const Vbo& buffer = mObj->mBuffers[INDEX_BUFFER];
    assert(buffer && "bufferIndices on a mesh without indices");
    buffer.bind();
    buffer.bufferData(kIndexBytes * indices.size(), indices.data(),
                      mObj->mLayout.hasStatic(Layout::ATTR_INDICES) ? GL_STATIC_DRAW : GL_STREAM_DRAW);
    mObj->mNumIndices = indices.size();
}

void VboMesh::bufferPositions(const std::vector<Vec3f>& positions)
{
    const Layout& layout = mObj->mLayout;
    assert(layout.has(Layout::ATTR_POSITIONS) && "bufferPositions on a mesh without positions");
    const bool isStatic = layout.hasStatic(Layout::ATTR_POSITIONS);
    assert((isStatic ? mObj->mStaticStride : mObj->mDynamicStride) == 0 &&
           "bufferPositions needs planar storage");
    assert(positions.size() <= mObj->mNumVertices && "more positions than vertices");
    const Vbo& buffer = mObj->mBuffers[isStatic ? STATIC_BUFFER : DYNAMIC_BUFFER];
    buffer.bind();
    buffer.bufferSubData(std::ptrdiff_t(mObj->mPositionOffset), kVec3Bytes * positions.size(),
                         positions.data());
}

VboMesh::VertexIter VboMesh::mapVertexBuffer()
{
    return VertexIter(*this);
}

void VboMesh::setCustomStaticLocation(std::size_t index, GLint location)
{
    mObj->mCustomStaticLocations.at(index) = location;
}

void VboMesh::setCustomDynamicLocation(std::size_t index, GLint location)
{
    mObj->mCustomDynamicLocations.at(index) = location;
}

void VboMesh::enableClientStates() const
{
    const Layout& layout = mObj->mLayout;
    if (layout.has(Layout::ATTR_POSITIONS)) {
        glEnableClientState(GL_VERTEX_ARRAY);
    } else {
        glDisableClientState(GL_VERTEX_ARRAY);
    }
    if (layout.has(Layout::ATTR_NORMALS)) {
        glEnableClientState(GL_NORMAL_ARRAY);
    } else {
        glDisableClientState(GL_NORMAL_ARRAY);
    }
    if (layout.has(Layout::ATTR_COLORS_RGB) || layout.has(Layout::ATTR_COLORS_RGBA)) {
        glEnableClientState(GL_COLOR_ARRAY);
    } else {
        glDisableClientState(GL_COLOR_ARRAY);
    }
    for (int unit = 0; unit < kTexUnits; ++unit) {
        if (layout.hasTexCoords(unit)) {
            glClientActiveTexture(texUnitOf(unit));
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        }
    }
    // A location still at -1 means the shader lacks the attribute; GL would reject it.
    for (GLint location : mObj->mCustomStaticLocations) {
        if (location >= 0) {
            glEnableVertexAttribArray(GLuint(location));
        }
    }
    for (GLint location : mObj->mCustomDynamicLocations) {
        if (location >= 0) {
            glEnableVertexAttribArray(GLuint(location));
        }
    }
}

void VboMesh::bindPointers(const Vbo& buffer, Layout::State state, std::size_t stride) const
{
    const Obj& obj = *mObj;
    const Layout& layout = obj.mLayout;
    const auto at = [](std::size_t offset) { return reinterpret_cast<const void*>(offset); };
    const auto glStride = GLsizei(stride);

    buffer.bind();
    if (layout.getState(Layout::ATTR_NORMALS) == state) {
        glNormalPointer(GL_FLOAT, glStride, at(obj.mNormalOffset));
    }
    if (layout.getState(Layout::ATTR_COLORS_RGB) == state) {
        glColorPointer(3, GL_FLOAT, glStride, at(obj.mColorRGBOffset));
    } else if (layout.getState(Layout::ATTR_COLORS_RGBA) == state) {
        glColorPointer(4, GL_FLOAT, glStride, at(obj.mColorRGBAOffset));
    }
    for (int unit = 0; unit < kTexUnits; ++unit) {
        if (layout.getState(Layout::Attribute(Layout::ATTR_TEXCOORDS2D_0 + unit)) == state) {
            glClientActiveTexture(texUnitOf(unit));
            glTexCoordPointer(2, GL_FLOAT, glStride, at(obj.mTexCoordOffset[unit]));
        } else if (layout.getState(Layout::Attribute(Layout::ATTR_TEXCOORDS3D_0 + unit)) == state) {
            glClientActiveTexture(texUnitOf(unit));
            glTexCoordPointer(3, GL_FLOAT, glStride, at(obj.mTexCoordOffset[unit]));
        }
    }
    if (layout.getState(Layout::ATTR_POSITIONS) == state) {
        glVertexPointer(3, GL_FLOAT, glStride, at(obj.mPositionOffset));
    }
}

void VboMesh::bindCustomPointers(const Vbo& buffer,
                                 const std::vector<std::pair<Layout::CustomAttr, std::size_t>>& attrs,
                                 const std::vector<GLint>& locations, std::size_t stride) const
{
    if (attrs.empty()) {
        return;
    }
    buffer.bind();
    for (std::size_t i = 0; i < attrs.size(); ++i) {
        if (locations[i] < 0) {
            continue;
        }
        glVertexAttribPointer(GLuint(locations[i]), Layout::componentsOf(attrs[i].first), GL_FLOAT, GL_FALSE,
                              GLsizei(stride), reinterpret_cast<const void*>(attrs[i].second));
    }
}

void VboMesh::bindAllData() const
{
    const Obj& obj = *mObj;
    if (obj.mLayout.has(Layout::ATTR_INDICES)) {
        obj.mBuffers[INDEX_BUFFER].bind();
    }
    if (obj.mBuffers[STATIC_BUFFER]) {
        bindPointers(obj.mBuffers[STATIC_BUFFER], Layout::STATIC, obj.mStaticStride);
    }
    if (obj.mBuffers[DYNAMIC_BUFFER]) {
        bindPointers(obj.mBuffers[DYNAMIC_BUFFER], Layout::DYNAMIC, obj.mDynamicStride);
    }
    if (obj.mBuffers[STATIC_BUFFER]) {
        bindCustomPointers(obj.mBuffers[STATIC_BUFFER], obj.mLayout.mCustomStatic, obj.mCustomStaticLocations,
                           obj.mStaticStride);
    }
    if (obj.mBuffers[DYNAMIC_BUFFER]) {
        bindCustomPointers(obj.mBuffers[DYNAMIC_BUFFER], obj.mLayout.mCustomDynamic,
                           obj.mCustomDynamicLocations, obj.mDynamicStride);
    }
}

void VboMesh::disableClientStates() const
{
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    for (int unit = 0; unit < kTexUnits; ++unit) {
        if (mObj->mLayout.hasTexCoords(unit)) {
            glClientActiveTexture(texUnitOf(unit));
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        }
    }
    for (GLint location : mObj->mCustomStaticLocations) {
        if (location >= 0) {
            glDisableVertexAttribArray(GLuint(location));
        }
    }
    for (GLint location : mObj->mCustomDynamicLocations) {
        if (location >= 0) {
            glDisableVertexAttribArray(GLuint(location));
        }
    }
}

void VboMesh::unbindBuffers()
{
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void VboMesh::Obj::recordUnmapFailure()
{
    ++mUnmapFailures;
    if (!mUnmapFailureReported) {
        mUnmapFailureReported = true;
        std::fprintf(stderr, "%s\n", VboFailedUnmapExc().what());
    }
}

void VboMesh::checkUnmap()
{
    if (mObj->mUnmapFailures > 0) {
        mObj->mUnmapFailures = 0;
        throw VboFailedUnmapExc();
    }
}

VboMesh::VertexIter::Obj::Obj(const std::shared_ptr<VboMesh::Obj>& mesh, std::uint8_t* data,
                              std::uint8_t* dataEnd)
    : mData(data), mDataEnd(dataEnd), mVbo(mesh->mBuffers[DYNAMIC_BUFFER]), mMesh(mesh)
{
    for (const auto& custom : mesh->mLayout.mCustomDynamic) {
        mCustomOffsets.push_back(custom.second);
    }
}

// Returns false when GL reports that the buffer's contents were lost while mapped.
bool VboMesh::VertexIter::Obj::release()
{
    if (mData == nullptr) {
        return true;
    }
    mData = nullptr;
    mDataEnd = nullptr;
    mVbo.bind();
    const bool unmapped = glUnmapBuffer(mVbo.getTarget()) == GL_TRUE;
    glBindBuffer(mVbo.getTarget(), 0);
    return unmapped;
}

VboMesh::VertexIter::Obj::~Obj()
{
    if (!release()) {
        mMesh->recordUnmapFailure();
    }
}

VboMesh::VertexIter::VertexIter(VboMesh& mesh)
{
    VboMesh::Obj& meshObj = *mesh.mObj;
    const Vbo& buffer = meshObj.mBuffers[DYNAMIC_BUFFER];
    assert(buffer && "mapVertexBuffer on a mesh without dynamic data");
    const std::size_t size = meshObj.mNumVertices * meshObj.mDynamicStride;

    buffer.bind();
    // Orphan the old storage so the driver need not wait for draws still reading it.
    buffer.bufferData(size, nullptr, GL_STREAM_DRAW);
    auto* data = static_cast<std::uint8_t*>(glMapBuffer(GL_ARRAY_BUFFER, GL_WRITE_ONLY));
    // A failed map leaves an empty range: the iterator is done at once and writes nothing.
    auto* dataEnd = data == nullptr ? nullptr : data + size;

    mObj = std::make_shared<Obj>(mesh.mObj, data, dataEnd);
    mPtr = data;
    mData = data;
    mDataEnd = dataEnd;
    mPositionOffset = meshObj.mPositionOffset;
    mNormalOffset = meshObj.mNormalOffset;
    mColorRGBOffset = meshObj.mColorRGBOffset;
    mColorRGBAOffset = meshObj.mColorRGBAOffset;
    mTexCoordOffset = meshObj.mTexCoordOffset;
    mStride = meshObj.mDynamicStride;
}

void VboMesh::VertexIter::unmap()
{
    mPtr = mDataEnd;
    if (!mObj->release()) {
        throw VboFailedUnmapExc();
    }
}

void drawArrays(const VboMesh& mesh, GLint first, GLsizei count)
{
    mesh.enableClientStates();
    mesh.bindAllData();
    glDrawArrays(mesh.getPrimitiveType(), first, count);
    VboMesh::unbindBuffers();
    mesh.disableClientStates();
}

} // namespace mirvo::gl
