// The touch-up deformer (smooth, flatten, unmorph by a vertical drag) and the
// smoothing routine it shares with the head-morphing tool.
#include "KSN_Deformer.h"

#ifndef KSN_DEFORMER_TOUCHUP_H
#define KSN_DEFORMER_TOUCHUP_H

class TKSN_Selection;

// Writes vertex's smoothed position into target (3 floats per vertex) from
// the positions in source. Nothing is written when the neighbourhood's
// weights sum to 0. With distanceWeighting the amount shrinks by the mean
// distance over the mesh's longest edge (clamped to 0..1; a longest edge of
// 0 keeps the amount).
void Smooth_Vertex(TKSN_Mesh* mesh, int vertex, float amount, const float* source, float* target, bool alongNormal,
                   bool preventShrinking, bool distanceWeighting);

class TKSN_Smooth {
public:
    // floor(amount) + 1 passes (the last at the fraction); each smoothed
    // vertex's delta in morph becomes smoothed - resolved. selection null:
    // the mesh's own selection weights.
    static void SmoothAllVertices(TKSN_Mesh* mesh, TKSN_Morph* morph, TKSN_Selection* selection, float amount,
                                  bool alongNormal, float preventShrinking, bool distanceWeighting);
};

class TKSN_TouchupDeformer : public virtual TKSN_Deformer {
public:
    TKSN_TouchupDeformer();

    float GetStrength() override { return TouchupStrength; }
    float* GetStrengthPtr() override { return &TouchupStrength; }
    void SetStrength(float v) override { TouchupStrength = v; }
    bool DirectionIsEnabled() override { return false; }
    bool DepthIsEnabled() override { return false; }
    bool GetSelectionOriginFromMouse() override { return false; }
    bool CanSnapToClosestVertex() override { return false; }
    bool DoesUseAutoCalcDepth() override { return TouchupType == 1; }
    void PreProcess_fx_fy(float& fx, float& fy) override { TKSN_Tool::PreProcess_fx_fy(fx, fy); }

    bool OnMouse(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int button, int state, float fx, float fy) override;
    bool OnMotion(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy) override;
    void UpdateParameters() override;
    void OnParameterChange(TKSN_Parameter* parameter) override;
    void DeformVertex(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int vertex, const float* a, float weight,
                      const float* b, const float* c, float* out, int mirrorAxis) override;

    virtual void DeformVertex_Unmorph(TKSN_Mesh* mesh, int vertex, const float* a, float weight, float* out);
    virtual void DeformVertex_Flatten(TKSN_Mesh* mesh, int vertex, const float* a, float weight, const float* b,
                                      const float* c, float* out, int mirrorAxis);
    virtual void DeformVertex_Smooth() {}

    // The member form: Rigidness mix, weld map, symmetry-plane rule and axis locks.
    void SmoothAllVerticesNonStatic(TKSN_Mesh* mesh, TKSN_Morph* morph, TKSN_Selection* selection, float amount,
                                    bool alongNormal, float preventShrinking, bool distanceWeighting,
                                    bool useWeldMap);

    static bool Type_ListFunc(TQOREvent* event);

    bool OnMotion_Smooth(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy);
    bool OnMotion_Flatten(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy);
    bool OnMotion_Unmorph(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy);

    TKSN_Morph* UnmorphFrame = nullptr;   // not owned
    float TouchupStrength = 1.0f;
    bool PreventSpreading = false;
    bool PreventShrinking = false;
    int TouchupType = 0;   // 0 Smooth, 1 Flatten, 2 Unmorph
};

#endif // KSN_DEFORMER_TOUCHUP_H
