// TQOR3DViewport: the camera arithmetic of one orthographic 3D view.
//
// A view keeps a look-at point, a world-to-view rotation R, a zoom (the world
// length of one eye-space unit) and its window rectangle, plus the matrices
// the viewport derives from them (projection P, model-view MV, combined P·MV)
// and the six planes of the view volume. U and V are normalised window
// coordinates: -1..1 across the width and height, U to the right, V upwards,
// while window pixel rows grow downwards.
//
// Matrices are 16 floats in OpenGL element order (element 4c + r is row r,
// column c; x' = m0 x + m4 y + m8 z + m12). Invariant: the transposed rotation
// is always the transpose of R.
//
// The navigation setters (SetZoom, SetLookAt, SetRotationMatrix) do nothing
// while IsNavLocked() answers true; loading and copying use the loading-only
// variants, which lift every lock for the length of the call.
//
// Changed on the main thread only; the culler and the software renderer read
// it from their threads while tools keep navigation locked.
#pragma once

#include <cstdint>

class TQOR3DViewport {
public:
    TQOR3DViewport();

    // Stores the rectangle; aspect = height / width, each counted as at least
    // 1 pixel so that a collapsed window keeps the maths finite.
    void Resize(int x, int y, int w, int h);

    void SetZoom(float zoom);
    // The zoom; magnitudes at most 1e-30 (and NaN) read as 1e-30.
    float GetZoom() const;
    // The largest of the zoom, the default zoom factor x 1e-6 and 1e-10.
    float GetZoomFactor() const;
    float GetDefaultZoomFactor() const { return DefaultZoomFactor; }

    float* GetLookAt() { return LookAt; }
    void GetLookAt(float* out) const;
    // Moves the look-at point to p (clipped into centre ± range when clip is
    // on and a centre is given) and follows the move with the view offsets.
    void SetLookAt(const float* p, const float* centre, float range, bool clip);
    // R := m and the transposed rotation := transpose of m.
    void SetRotationMatrix(const float* m);

    void SetZoomForLoadingOnly(float zoom);
    void SetLookAtForLoadingOnly(const float* p);
    void SetRotationMatrixForLoadingOnly(const float* m);

    void Lock() { Locked = true; }
    void Unlock() { Locked = false; }
    bool IsLocked() const { return Loading ? false : Locked; }
    void NavLock() { NavigationLock = true; }
    void NavUnlock() { NavigationLock = false; }
    bool IsNavLocked() const;
    void SetAutoView(bool on) { AutoView = on; }
    bool GetAutoView() const { return AutoView; }

    // Window pixels (relative to the viewport's own area) <-> U and V.
    float XtoU(float x) const;
    float UtoX(float u) const;
    float YtoV(float y) const;
    float VtoY(float v) const;

    // Pulls point (3 floats) back into the cube centre ± range along the ray
    // from the look-at point, face by face in the order +x, -x, +y, -y, +z, -z.
    void ClipPointInWorldRange(float* point, const float* centre, float range) const;
    // False only when the box, grown by |margin|, lies wholly on the outer
    // side of one view-volume plane. Allocates nothing.
    bool CubeInView(const float* min, const float* max, float margin) const;
    // Bounding radius, near and far for a world box.
    void CalculateNearAndFar(const float* min, const float* max);
    // The six planes from the current P and MV.
    void calcViewVolumePlanes();

    const float* GetRotationMatrix() const { return RotationMatrix; }

    // ---- data (fields in declared order) --------------------------------
    float LookAt[3] = {0, 0, 0};
    float Zoom = 1.0f;
    bool NavigationLock = false;
    bool Locked = false;
    bool AutoView = false;
    bool Loading = false;                 // raised only inside a loading-only setter
    int32_t index = -1;                   // slot 0..3 among the application's viewports
    float ViewOffsetU = 0.0f, ViewOffsetV = 0.0f;
    float RotationMatrix[16];
    float TransposedRotationMatrix[16];
    float ProjectionMatrix[16];
    float ModelViewMatrix[16];
    float CombinedMatrix[16];             // P·MV, world to clip space
    float ViewVector[3] = {0, 0, 1};      // world direction towards the viewer
    float DefaultRotationMatrix[16];
    float InverseCombinedMatrix[16];
    float DefaultZoomFactor = 1.0f;
    float Near = 0.01f, Far = 10.0f;
    int32_t WindowX = 0, WindowY = 0, WindowWidth = 640, WindowHeight = 480;
    float Aspect = 0.75f;                 // height / width
    float BoundingRadius = 0.0f;
    bool shown = true;                    // part of the current window layout
    float ViewVolumePlanes[6][4] = {};    // right, left, bottom, top, near, far; unnormalised
};

// The product A·B of two OpenGL-order matrices (B applied first); out may alias.
void KSN_MatrixProduct(const float* a, const float* b, float* out);
// The matrix glOrtho(left, right, bottom, top, near, far) builds, without a context.
void KSN_OrthoMatrix(float* out, double left, double right, double bottom, double top, double nearZ, double farZ);
