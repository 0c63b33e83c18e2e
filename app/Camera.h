// The window camera: an eye, a view direction and an orientation, with the model-view
// and projection matrices computed lazily and cached. CameraPersp is the perspective
// camera the renderer builds the default window matrices from. Plain values.
#pragma once

#include "core/Matrix44.h"
#include "core/Quat.h"
#include "core/Vec.h"

#include <array>

namespace mirvo {

class Camera {
  public:
    virtual ~Camera() = default;

    // Corners of the near and far rectangles in world space: top-left, top-right,
    // bottom-right, bottom-left.
    virtual std::array<Vec3f, 4> getNearClipCoordinates() const;
    virtual std::array<Vec3f, 4> getFarClipCoordinates() const;
    virtual bool isPersp() const = 0;
    virtual const Matrix44f& getProjectionMatrix() const;
    virtual const Matrix44f& getModelViewMatrix() const;
    virtual const Matrix44f& getInverseModelViewMatrix() const;
    const Matrix44f& getInverseProjectionMatrix() const;

    void lookAt(const Vec3f& eye, const Vec3f& target);

    const Vec3f& getEyePoint() const { return mEyePoint; }
    void setEyePoint(const Vec3f& eye);
    const Vec3f& getViewDirection() const { return mViewDirection; }
    void setViewDirection(const Vec3f& direction);
    const Quatf& getOrientation() const { return mOrientation; }
    void setOrientation(const Quatf& orientation);
    const Vec3f& getWorldUp() const { return mWorldUp; }
    void setWorldUp(const Vec3f& worldUp);
    float getCenterOfInterest() const { return mCenterOfInterest; }
    void setCenterOfInterest(float distance) { mCenterOfInterest = distance; }

    float getFov() const { return mFov; }
    void setFov(float degrees);
    float getAspectRatio() const { return mAspectRatio; }
    void setAspectRatio(float aspectRatio);
    float getNearClip() const { return mNearClip; }
    void setNearClip(float nearClip);
    float getFarClip() const { return mFarClip; }
    void setFarClip(float farClip);

    // The near rectangle; valid once the projection has been computed.
    void getFrustum(float* left, float* top, float* right, float* bottom, float* nearClip,
                    float* farClip) const;

  protected:
    Camera();
    Camera(const Camera&) = default;
    Camera& operator=(const Camera&) = default;

    virtual void calcModelView() const;
    virtual void calcInverseModelView() const;
    virtual void calcProjection() const = 0;

    Vec3f mEyePoint;
    Vec3f mViewDirection;
    Quatf mOrientation;
    float mCenterOfInterest = 0.0f;
    Vec3f mWorldUp{0.0f, 1.0f, 0.0f};

    float mFov = 0.0f;
    float mAspectRatio = 0.0f;
    float mNearClip = 0.0f;
    float mFarClip = 0.0f;

    mutable Vec3f mU;
    mutable Vec3f mV;
    mutable Vec3f mW;

    mutable Matrix44f mProjectionMatrix;
    mutable Matrix44f mInverseProjectionMatrix;
    mutable bool mProjectionCached = false;
    mutable Matrix44f mModelViewMatrix;
    mutable bool mModelViewCached = false;
    mutable Matrix44f mInverseModelViewMatrix;
    mutable bool mInverseModelViewCached = false;

    mutable float mFrustumLeft = 0.0f;
    mutable float mFrustumRight = 0.0f;
    mutable float mFrustumTop = 0.0f;
    mutable float mFrustumBottom = 0.0f;
};

class CameraPersp : public Camera {
  public:
    // The camera that shows the plane z = 0 one unit per pixel for a view of
    // pixelWidth x pixelHeight, with the given vertical field of view in degrees.
    CameraPersp(int pixelWidth, int pixelHeight, float fovDegrees);

    bool isPersp() const override { return true; }

    void setPerspective(float verticalFovDegrees, float aspectRatio, float nearPlane, float farPlane);
    const Vec2f& getLensShift() const { return mLensShift; }

  protected:
    void calcProjection() const override;

  private:
    Vec2f mLensShift;
};

} // namespace mirvo
