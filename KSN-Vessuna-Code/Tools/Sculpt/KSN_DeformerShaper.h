// The geometric shaper: pulls the selection towards a sphere, box, cylinder,
// plane or paraboloid fitted at the press in the view space of the drag.
#include "KSN_Deformer.h"

#ifndef KSN_DEFORMER_SHAPER_H
#define KSN_DEFORMER_SHAPER_H

// 1 / sqrt(x) by the bit trick and one Newton step (x > 0).
float KSN_FastInverseSqrt(float x);

class TKSN_GeometricShaper : public virtual TKSN_Deformer {
public:
    TKSN_GeometricShaper();

    bool* GetDirHorizPtr() override { return &Horizontal; }
    bool* GetDirVertPtr() override { return &Vertical; }
    bool* GetDirDepthPtr() override { return &Depth; }
    bool GetDirHoriz() override { return Horizontal; }
    bool GetDirVert() override { return Vertical; }
    bool GetDirDepth() override { return Depth; }
    void SetDirHoriz(bool on) override { Horizontal = on; }
    void SetDirVert(bool on) override { Vertical = on; }
    void SetDirDepth(bool on) override { Depth = on; }
    bool AllDirectionsExclusive() override { return true; }
    bool DepthIsExclusive() override { return false; }
    bool DirectionIsEnabled() override { return ShapeType >= 2 && ShapeType <= 4; }
    bool DirectionLocksMouse() override { return false; }
    bool DoesUseAutoCalcDepth() override;
    bool GetSelectionOriginFromMouse() override { return true; }
    void OnParameterChange(TKSN_Parameter* parameter) override;
    void UpdateParameters() override;
    bool OnMouse(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int button, int state, float fx, float fy) override;
    bool OnMotion(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy) override;
    void OnDraw(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy) override;
    void DeformVertex(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int vertex, const float* a, float weight,
                      const float* b, const float* c, float* out, int mirrorAxis) override;

    static bool Type_ListFunc(TQOREvent* event);

    // Each gives the target point q (view space) for the view-space point p.
    void DeformVertex_Sphere(const float* p, float* q) const;
    void DeformVertex_Box(const float* p, float* q) const;
    void DeformVertex_Cylinder(const float* p, float* q) const;
    void DeformVertex_SinglePlane(const float* p, float* q) const;
    // False: the vertex receives no delta.
    bool DeformVertex_Paraboloid(const float* p, float* q) const;

    int ShapeType = 0;   // 0 Sphere, 1 Box, 2 Cylinder, 3 Plane, 4 Paraboloid
    bool Horizontal = true, Vertical = false, Depth = false;
    float ShapePlanes[6][4] = {};   // normal and d: n.p + d = 0
    float ShapeRadius = 0.0f;
    int CylinderAxis = 0;
    float ParaboloidExponent = 0.5f;

private:
    // u (view space, relative to the centre) with its axial part kept and the rest scaled to radius.
    void ScaleAroundAxis(const float* p, float radius, float* q) const;
    void DrawOutline(const std::vector<float>& points, bool loop) const;
    void Project(const float* viewPoint, float* screen) const;
};

#endif // KSN_DEFORMER_SHAPER_H
