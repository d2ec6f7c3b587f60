// The move, scale, rotate and bulge deformers. Each turns the mouse travel
// since the press into the parameters of its change (OnMotion) and those
// parameters with a vertex's effective weight into a delta (DeformVertex);
// press, release, Rigidness, symmetry and the axis locks are the base's.
#include "KSN_Deformer.h"

#ifndef KSN_DEFORMER_KINDS_H
#define KSN_DEFORMER_KINDS_H

// Moves the selection in the screen plane, or along the viewing direction
// while the depth switch is on.
class TKSN_MoveInPlane : public virtual TKSN_Deformer {
public:
    TKSN_MoveInPlane();
    bool DepthControlledHorizontally() override { return false; }
    bool CanSnapToClosestVertex() override { return false; }
    bool OnMotion(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy) override;
    void OnDraw(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy) override;
    // a x weight.
    void DeformVertex(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int vertex, const float* a, float weight,
                      const float* b, const float* c, float* out, int mirrorAxis) override;
};

// Scales the selection about the point under the mouse, per view axis.
class TKSN_Scale : public virtual TKSN_Deformer {
public:
    TKSN_Scale();
    void PreProcess_fx_fy(float& /*fx*/, float& /*fy*/) override {}
    bool DepthIsExclusive() override { return false; }
    bool DoGetXYZCentreBasedOnMouseClickAndSelectionOnMouseDown() override { return true; }
    bool DoesUseAutoCalcDepth() override { return true; }
    bool GetSelectionOriginFromMouse() override { return true; }
    void UpdateParameters() override;
    bool OnMotion(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy) override;
    void OnDraw(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy) override;
    // a: the factors along the view axes, b: the centre.
    void DeformVertex(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int vertex, const float* a, float weight,
                      const float* b, const float* c, float* out, int mirrorAxis) override;
};

// Turns the selection softly about the point under the mouse through the two
// soft-rotation tables; the weight picks the fraction of the angle.
class TKSN_Rotate : public virtual TKSN_Deformer {
public:
    TKSN_Rotate();
    bool DoesUseAutoCalcDepth() override { return true; }
    bool GetSelectionOriginFromMouse() override { return true; }
    const char* GetDepthName() override;
    const char* GetDepthHint() override;
    void UpdateParameters() override;
    bool OnMouse(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int button, int state, float fx, float fy) override;
    bool OnMotion(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy) override;
    void OnDraw(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy) override;
    void DeformVertex(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int vertex, const float* a, float weight,
                      const float* b, const float* c, float* out, int mirrorAxis) override;

    float PressCentre[3] = {0.0f, 0.0f, 0.0f};
};

// Pushes the selection out along its press-time normals, or dents it in.
class TKSN_Bulge : public virtual TKSN_Deformer {
public:
    TKSN_Bulge();
    bool CanSnapToClosestVertex() override { return false; }
    bool DirectionIsEnabled() override { return false; }
    bool IsDirectionEverUsed() override { return false; }
    bool OnMotion(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy) override;
    // InitNormals[vertex] x (a.x x weight).
    void DeformVertex(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int vertex, const float* a, float weight,
                      const float* b, const float* c, float* out, int mirrorAxis) override;
};

#endif // KSN_DEFORMER_KINDS_H
