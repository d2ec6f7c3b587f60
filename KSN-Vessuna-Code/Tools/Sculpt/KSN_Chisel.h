// TKSN_Chisel and its four kinds: the sculpting tools that reshape a model
// iteration by iteration while the button is held, writing into each mesh's
// current morph target (on the modelling tab, tool-type tab 4, directly into
// the base vertices).
//
// The stroke engine (KSN_StrokeEngine.h) lists the weighted vertices under
// the brush; per mesh the chisel then works out a displacement for every
// listed vertex into the mesh's "Temp Morph" scratch, copies it to the mirror
// vertices when symmetry is on, cancels the locked axes, adds it to the morph
// and the resolved vertices, post-smooths the area, recomputes its normals and
// widens the octree around it. The kinds differ only in the reference
// geometry of an iteration (CalculateDirection) and the rule for one vertex
// (DeformVertex).
//
// Invariants:
// - Every array an iteration writes (morph deltas, "Temp Morph", resolved
//   and base positions, normals) belongs to the mesh handed to the hooks and
//   holds at least its vertex count; a mesh whose morph is shorter is skipped.
// - The current morph and one undo node (kind 1002) are made the first time
//   a stroke touches each mesh, so a whole stroke undoes in one step even
//   when it reaches a mesh only after its first iteration.
//
// Size, strength and hardness are the process-wide values shared with the
// deformers. Main thread only.
#include "KSN_StrokeEngine.h"

#ifndef KSN_CHISEL_H
#define KSN_CHISEL_H

#include <vector>

class TKSN_Morph;

// The "Post Smooth" value all chisels share (0..1).
extern float _PostSmoothStrength;
// The Contour chisel's screen-space push of the current iteration.
extern float UVTangentLine[3];

class TKSN_Chisel : public virtual TKSN_Brush_V4 {
public:
    TKSN_Chisel();

    virtual float GetTotalStrengthPure();
    virtual float GetTotalStrengthB();
    void OnFinishedStrokeForMesh(TKSN_MeshRoot* mesh) override;
    // The user's method with per vertex and per polygon turned into smart.
    int GetEffectiveCullingMethod() override;
    bool CanUseStickySelection() override { return true; }
    bool CanUseNoCulling() override { return true; }
    bool CanUseBackfaceCulling() override { return true; }
    bool CanUseSmartCulling() override { return true; }
    bool CanUsePerVertexCulling() override { return false; }
    bool IsDirectionEverUsed() override { return true; }
    bool DirectionIsEnabled() override { return true; }
    virtual bool GetSelectionOriginFromMouse() { return false; }
    bool DepthControlledHorizontally() override { return false; }
    virtual bool DoesUseAutoCalcDepth() { return false; }
    // Sets ChiselCentre and ChiselDirection for the iteration (the base: zero).
    virtual void CalculateDirection(TKSN_MeshRoot* mesh, TKSN_Viewport* viewport);
    virtual float GetTotalStrength();
    void BeforeFirstIteration() override {}
    float GetSize() override { return SelectionBrushSize; }
    float GetNewAspect() override { return DeformerNewAspect; }
    float GetHardness() override { return DeformerHardness; }
    float GetStrength() override { return DeformerStrength; }
    float GetStepPercent() override { return DeformerStepPercent; }
    float GetDensity() override { return DeformerDensity; }
    virtual float GetRigidness() { return DeformerRigidness; }
    float* GetSizePtr() override { return &SelectionBrushSize; }
    float* GetNewAspectPtr() override { return &DeformerNewAspect; }
    float* GetHardnessPtr() override { return &DeformerHardness; }
    float* GetStrengthPtr() override { return &DeformerStrength; }
    float* GetDensityPtr() override { return &DeformerDensity; }
    virtual bool* GetAutoSelectPtr() { return &DeformerAutoSelect; }
    virtual float* GetRigidnessPtr() { return &DeformerRigidness; }
    void SetSize(float v) override { SelectionBrushSize = v; }
    void SetNewAspect(float v) override { DeformerNewAspect = v; }
    void SetHardness(float v) override { DeformerHardness = v; }
    void SetStrength(float v) override { DeformerStrength = v; }
    void SetStepPercent(float v) override { DeformerStepPercent = v; }
    void SetDensity(float v) override { DeformerDensity = v; }
    virtual void SetAutoSelect(bool on) { DeformerAutoSelect = on; }
    virtual void SetRigidness(float v) { DeformerRigidness = v; }
    // Refused (warning 1019, command 10) outside tab 4 without a current morph union.
    bool OnMouse(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int button, int state, float fx, float fy) override;
    bool OnMotion(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy) override;
    void PerformIterationOnMesh(TKSN_MeshRoot* mesh) override;
    // Post-smoothing, normals and octree around the listed vertices.
    void UpdateMeshAfterIteration(TKSN_MeshRoot* mesh) override;
    virtual float GetPostSmoothStrength() { return _PostSmoothStrength; }
    virtual bool DoShowPostSmoothParameter() { return true; }
    virtual bool PreCalculateNormals() { return false; }
    void UpdateParameters() override;
    // The kind's rule for one vertex: out (3 floats, zeroed by the caller)
    // gets the displacement. strength is the total strength times weight;
    // morphDelta is null on the modelling tab.
    virtual void DeformVertex(TKSN_MeshRoot* mesh, TKSN_Viewport* viewport, int vertex, float* direction,
                              float strength, float* out, float* position, float* morphDelta, float weight);
    bool DoActOnWholeSelection() override { return false; }

    void DeformVertices(TKSN_MeshRoot* mesh, float totalStrength, float* morphDeltas);
    // ChiselCentre: weighted average position; ChiselDirection: normalised weighted average normal.
    void CalculateAveragePostionAndNormal(TKSN_MeshRoot* mesh);
    void PostSmoothMesh(TKSN_MeshRoot* mesh, float* deltas);

    float TotalStrengthB = 0.0f;
    float* IterationDeltas = nullptr;   // the mesh's "Temp Morph" deltas while its iteration runs
    float ChiselCentre[3] = {0, 0, 0};
    float ChiselDirection[3] = {0, 0, 0};

protected:
    static bool IsModellingTab();
    // The pen pressure when it varies the strength, else 1.
    float PressureScale() const;
    TKSN_Viewport* IterationViewport = nullptr;
    std::vector<TKSN_Mesh*> StrokeMeshes;   // meshes this stroke has made its morph and undo node for
    std::vector<float> ScratchDeltas;       // stands in for a mesh without "Temp Morph"
};

// Recomputes the normals of the polygons around the listed vertices (once
// each) and the listed vertices' normals as the normalised sum of them.
void RecalculateAffectedNormals(TKSN_MeshRoot* mesh, float* positions, float* polygonNormals, float* vertexNormals,
                                bool flag);

// [SECTION] Kinds

class TKSN_ResurfaceChisel : public virtual TKSN_Chisel {
public:
    TKSN_ResurfaceChisel();
    void UpdateParameters() override;
    void CalculateDirection(TKSN_MeshRoot* mesh, TKSN_Viewport* viewport) override;
    void DeformVertex(TKSN_MeshRoot* mesh, TKSN_Viewport* viewport, int vertex, float* direction, float strength,
                      float* out, float* position, float* morphDelta, float weight) override;
    float BuildUp = 0.5f;   // -1..1: how much faster hollows fill than bumps are cut
};

class TKSN_TouchupChisel : public virtual TKSN_Chisel {
public:
    enum : int { Smooth = 0, Smudge = 1, Sharpen = 2, Flatten = 3, Unmorph = 4 };
    TKSN_TouchupChisel();
    void UpdateParameters() override;
    void OnParameterChange(TKSN_Parameter* parameter) override;
    void CalculateDirection(TKSN_MeshRoot* mesh, TKSN_Viewport* viewport) override;
    float GetPostSmoothStrength() override;
    bool DoShowPostSmoothParameter() override;
    void DeformVertex(TKSN_MeshRoot* mesh, TKSN_Viewport* viewport, int vertex, float* direction, float strength,
                      float* out, float* position, float* morphDelta, float weight) override;
    static bool Type_ListFunc(TQOREvent* event);
    int TouchupType = Smooth;
    bool PreventSpreading = false;
    bool PreventShrinking = false;
};

class TKSN_ContourChisel : public virtual TKSN_Chisel {
public:
    TKSN_ContourChisel();
    void CalculateDirection(TKSN_MeshRoot* mesh, TKSN_Viewport* viewport) override;
    void DeformVertex(TKSN_MeshRoot* mesh, TKSN_Viewport* viewport, int vertex, float* direction, float strength,
                      float* out, float* position, float* morphDelta, float weight) override;
};

class TKSN_BulgeChisel : public virtual TKSN_Chisel {
public:
    enum : int { Normal = 0, Mushroom = 1, Spike = 2, Round = 3 };
    TKSN_BulgeChisel();
    float GetTotalStrengthB() override;
    void UpdateParameters() override;
    float GetTotalStrength() override;
    void CalculateDirection(TKSN_MeshRoot* mesh, TKSN_Viewport* viewport) override;
    bool PreCalculateNormals() override { return DoActOnWholeSelection(); }
    void DeformVertex(TKSN_MeshRoot* mesh, TKSN_Viewport* viewport, int vertex, float* direction, float strength,
                      float* out, float* position, float* morphDelta, float weight) override;
    static bool Type_ListFunc(TQOREvent* event);
    // World length of the brush radius in the current viewport.
    float GetWorldBrushRadius();
    float Sharpness = 1.0f;
    int BulgeType = Normal;
};

#endif // KSN_CHISEL_H
