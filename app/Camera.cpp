#include "app/Camera.h"

#include <cmath>

namespace mirvo {

namespace {

// Half of a degree in radians, in the two roundings the camera has always used: the
// distance to the picture plane takes the shorter one, the frustum the longer one.
constexpr float kHalfDegreeForDistance = 0.00872664f;
constexpr float kHalfDegreeForFrustum = 0.008726646f;

} // namespace

Camera::Camera() = default;

std::array<Vec3f, 4> Camera::getNearClipCoordinates() const
{
    getProjectionMatrix();
    getModelViewMatrix();
    const Vec3f viewDirection = mViewDirection.normalized();
    const Vec3f center = mEyePoint + viewDirection * mNearClip;
    return {center + mV * mFrustumTop + mU * mFrustumLeft, center + mV * mFrustumTop + mU * mFrustumRight,
            center + mV * mFrustumBottom + mU * mFrustumRight,
            center + mV * mFrustumBottom + mU * mFrustumLeft};
}

std::array<Vec3f, 4> Camera::getFarClipCoordinates() const
{
    getProjectionMatrix();
    getModelViewMatrix();
    const Vec3f viewDirection = mViewDirection.normalized();
    const float ratio = mFarClip / mNearClip;
    const Vec3f center = mEyePoint + viewDirection * mFarClip;
    return {center + mV * (mFrustumTop * ratio) + mU * (mFrustumLeft * ratio),
            center + mV * (mFrustumTop * ratio) + mU * (mFrustumRight * ratio),
            center + mV * (mFrustumBottom * ratio) + mU * (mFrustumRight * ratio),
            center + mV * (mFrustumBottom * ratio) + mU * (mFrustumLeft * ratio)};
}

const Matrix44f& Camera::getProjectionMatrix() const
{
    if (!mProjectionCached) {
        calcProjection();
    }
    return mProjectionMatrix;
}

const Matrix44f& Camera::getInverseProjectionMatrix() const
{
    if (!mProjectionCached) {
        calcProjection();
    }
    return mInverseProjectionMatrix;
}

const Matrix44f& Camera::getModelViewMatrix() const
{
    if (!mModelViewCached) {
        calcModelView();
    }
    return mModelViewMatrix;
}

const Matrix44f& Camera::getInverseModelViewMatrix() const
{
    if (!mInverseModelViewCached) {
        calcInverseModelView();
    }
    return mInverseModelViewMatrix;
}

void Camera::lookAt(const Vec3f& eye, const Vec3f& target)
{
    mEyePoint = eye;
    mViewDirection = (target - eye).normalized();
    mOrientation = Quatf(Matrix44f::alignZAxisWithTarget(-mViewDirection, mWorldUp)).normalized();
    mModelViewCached = false;
    mInverseModelViewCached = false;
}

void Camera::setEyePoint(const Vec3f& eye)
{
    mEyePoint = eye;
    mModelViewCached = false;
    mInverseModelViewCached = false;
}

void Camera::setViewDirection(const Vec3f& direction)
{
    mViewDirection = direction.normalized();
    mOrientation = Quatf(Matrix44f::alignZAxisWithTarget(-mViewDirection, mWorldUp)).normalized();
    mModelViewCached = false;
    mInverseModelViewCached = false;
}

void Camera::setOrientation(const Quatf& orientation)
{
    mOrientation = orientation.normalized();
    mViewDirection = mOrientation * Vec3f(0.0f, 0.0f, -1.0f);
    mModelViewCached = false;
    mInverseModelViewCached = false;
}

void Camera::setWorldUp(const Vec3f& worldUp)
{
    mWorldUp = worldUp.normalized();
    mOrientation = Quatf(Matrix44f::alignZAxisWithTarget(-mViewDirection, mWorldUp)).normalized();
    mModelViewCached = false;
    mInverseModelViewCached = false;
}

void Camera::setFov(float degrees)
{
    mFov = degrees;
    mProjectionCached = false;
}

void Camera::setAspectRatio(float aspectRatio)
{
    mAspectRatio = aspectRatio;
    mProjectionCached = false;
}

void Camera::setNearClip(float nearClip)
{
    mNearClip = nearClip;
    mProjectionCached = false;
}

void Camera::setFarClip(float farClip)
{
    mFarClip = farClip;
    mProjectionCached = false;
}

void Camera::getFrustum(float* left, float* top, float* right, float* bottom, float* nearClip,
                        float* farClip) const
{
    getProjectionMatrix();
    *left = mFrustumLeft;
    *top = mFrustumTop;
    *right = mFrustumRight;
    *bottom = mFrustumBottom;
    *nearClip = mNearClip;
    *farClip = mFarClip;
}

void Camera::calcModelView() const
{
    mW = -mViewDirection.normalized();
    mU = mOrientation * Vec3f(1.0f, 0.0f, 0.0f);
    mV = mOrientation * Vec3f(0.0f, 1.0f, 0.0f);

    Matrix44f& m = mModelViewMatrix;
    const Vec3f rows[3] = {mU, mV, mW};
    for (int row = 0; row < 3; ++row) {
        m.at(row, 0) = rows[row].x;
        m.at(row, 1) = rows[row].y;
        m.at(row, 2) = rows[row].z;
        m.at(row, 3) = -rows[row].dot(mEyePoint);
    }
    m.at(3, 0) = 0.0f;
    m.at(3, 1) = 0.0f;
    m.at(3, 2) = 0.0f;
    m.at(3, 3) = 1.0f;
    mModelViewCached = true;
    mInverseModelViewCached = false;
}

void Camera::calcInverseModelView() const
{
    if (!mModelViewCached) {
        calcModelView();
    }
    mInverseModelViewMatrix = mModelViewMatrix.inverted();
    mInverseModelViewCached = true;
}

CameraPersp::CameraPersp(int pixelWidth, int pixelHeight, float fovDegrees)
{
    const float width = float(pixelWidth);
    const float height = float(pixelHeight);
    const float eyeDistance = (height / 2.0f) / std::tan(fovDegrees * kHalfDegreeForDistance);

    mFov = fovDegrees;
    mAspectRatio = width / height;
    mNearClip = 0.1f * eyeDistance;
    mFarClip = 10.0f * eyeDistance;
    mProjectionCached = false;
    lookAt(Vec3f(width / 2.0f, height / 2.0f, eyeDistance), Vec3f(width / 2.0f, height / 2.0f, 0.0f));
}

void CameraPersp::setPerspective(float verticalFovDegrees, float aspectRatio, float nearPlane, float farPlane)
{
    mFov = verticalFovDegrees;
    mAspectRatio = aspectRatio;
    mNearClip = nearPlane;
    mFarClip = farPlane;
    mProjectionCached = false;
}

void CameraPersp::calcProjection() const
{
    mFrustumTop = mNearClip * std::tan(mFov * kHalfDegreeForFrustum);
    mFrustumBottom = -mFrustumTop;
    mFrustumRight = mFrustumTop * mAspectRatio;
    mFrustumLeft = -mFrustumRight;

    mProjectionMatrix = Matrix44f::createFrustum(mFrustumLeft, mFrustumRight, mFrustumBottom, mFrustumTop,
                                                 mNearClip, mFarClip);
    mInverseProjectionMatrix = mProjectionMatrix.inverted();
    mProjectionCached = true;
}

} // namespace mirvo
