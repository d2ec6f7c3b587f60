// TKSN_Deformer: the base of the tools that reshape the selection by a drag.
//
// A drag changes every affectable object at once. Each motion step first
// takes the previous step's temporary deltas ("Temp Morph") off the resolved
// vertices, then the kind rebuilds the temporary morph from the press state
// and adds it back; the release folds the temporary morph into the current
// morph target (its key frame at the current animation frame above 0) or into
// the base vertices, and clears it. How far a vertex follows comes from its
// selection weight reshaped by the shared Rigidness.
//
// What the deformers need of the project comes through
// TKSN_DeformerProjectHooks (filled by the project); unset entries answer as
// a project with no objects, no morph union, no symmetry and no axis locks.
//
// Main thread only, except the subtraction of the previous step, which runs
// on the worker pool in disjoint chunks of the selected-vertex list.
// The tool header includes the tool kinds, which include this header: the
// guard sits after the tool header so either order of inclusion works.
#include "KSN_Tool.h"

#ifndef KSN_DEFORMER_H
#define KSN_DEFORMER_H

#include <functional>
#include <vector>

class TKSN_Morph;
class TKSN_Object;

struct TKSN_DeformerProjectHooks {
    // The affectable objects' meshes in object-list order: a mesh, allowed by
    // the project, not "COMPLETELY_LOCKED", at least one selected vertex, and
    // (after a current morph was made for it when needed) a current morph
    // that is not read-only.
    void (*GetAffectableMeshes)(std::vector<TKSN_Mesh*>& out) = nullptr;
    // False without a current morph union; else its strength.
    bool (*GetCurrentMorphUnionStrength)(float& strength) = nullptr;
    // Makes the current union's morphs current in their meshes.
    void (*SyncCurrentMorphs)() = nullptr;
    // Opens the undo step of a deformation.
    void (*BeforeDeform)(const char* name) = nullptr;
    void (*SetDeformingFlag)(bool on) = nullptr;
    bool (*DoUseSymmetry)(TKSN_Mesh* mesh) = nullptr;
    // The project's Lock X, Y and Z switches.
    void (*GetAxisLocks)(bool& x, bool& y, bool& z) = nullptr;
    // After base vertices changed: mirror pairs are found again.
    void (*OnSymmetrySettingsChanged)(TKSN_Mesh* mesh) = nullptr;
    void (*OnAllViewportsChanged)() = nullptr;
    // World dimensions and the auto-view viewports after a drag.
    void (*AfterDrag)() = nullptr;
};
void KSN_SetDeformerProjectHooks(const TKSN_DeformerProjectHooks& hooks);
const TKSN_DeformerProjectHooks& KSN_GetDeformerProjectHooks();

// The affectable meshes now (empty without the hook).
std::vector<TKSN_Mesh*> KSN_GetAffectableMeshes();
// Makes the current union's morphs current (nothing without the hook).
void TKSN_Project_SyncCurrrentMorphs();
// A list parameter served by callback through the list protocol; not yet in
// any list (the caller adds or inserts it).
TKSN_Parameter* KSN_MakeListParameter(TKSN_Tool* tool, const char* name, const char* hint,
                                      bool (*callback)(TQOREvent*));

class TKSN_Deformer : public virtual TKSN_Tool, public TKSN_SelectableTool {
public:
    TKSN_Deformer();

    bool DirectionIsEnabled() override { return true; }
    bool IsDirectionEverUsed() override { return true; }
    bool CanUseSensitiveMouse() override { return true; }
    bool CanUseNoCulling() override { return false; }
    bool CanUseBackfaceCulling() override { return false; }
    bool CanUsePerVertexCulling() override { return false; }
    bool RequiredCullingCalculations() override { return false; }
    int GetEffectiveCullingMethod() override { return 0; }
    bool DoFastSelectionAndDeformation() override { return false; }
    bool UsesSizeParameter() override { return false; }
    bool UsesHardnessParameter() override { return false; }

    float GetSize() override;
    void SetSize(float v) override;
    float* GetSizePtr() override;
    float GetNewAspect() override { return DeformerNewAspect; }
    float* GetNewAspectPtr() override { return &DeformerNewAspect; }
    void SetNewAspect(float v) override { DeformerNewAspect = v; }
    float GetStrength() override { return DeformerStrength; }
    float* GetStrengthPtr() override { return &DeformerStrength; }
    void SetStrength(float v) override { DeformerStrength = v; }
    float GetHardness() override { return DeformerHardness; }
    float* GetHardnessPtr() override { return &DeformerHardness; }
    void SetHardness(float v) override { DeformerHardness = v; }
    float GetStepPercent() override { return DeformerStepPercent; }
    void SetStepPercent(float v) override { DeformerStepPercent = v; }
    float GetDensity() override { return DeformerDensity; }
    float* GetDensityPtr() override { return &DeformerDensity; }
    void SetDensity(float v) override { DeformerDensity = v; }

    bool OnMouse(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int button, int state, float fx, float fy) override;
    bool OnMotion(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy) override;
    void AfterUse() override;
    void UpdateParameters() override;
    // The text goes in as a value, so a '%' in a name shows literally.
    void PrintHint(TKSN_Mesh* mesh, const char* format, ...) override __attribute__((format(printf, 3, 4)));

    virtual bool CanSnapToClosestVertex() { return true; }
    virtual bool DoSnapToClosestVertex();
    virtual bool UseTransfromsToAdjustMorphDeltas() { return true; }
    virtual bool DoGetXYZCentreBasedOnMouseClickAndSelectionOnMouseDown() { return false; }
    virtual bool DoesUseAutoCalcDepth() { return false; }
    virtual bool GetSelectionOriginFromMouse() { return false; }
    virtual bool GetOriginAndOrientation(float* origin, float* orientation);
    // Rounds values in place to the digits the strength picks and shows them as percentages.
    virtual void PrintStrengthHintAndSnapPrecision(TKSN_Mesh* mesh, const char* label, float strength,
                                                   float* values, int count, int fineDigits, int coarseDigits);
    // One vertex's delta into out; mirrorAxis -1 for none.
    virtual void DeformVertex(TKSN_Mesh* /*mesh*/, TKSN_Viewport* /*viewport*/, int /*vertex*/, const float* /*a*/,
                              float /*weight*/, const float* /*b*/, const float* /*c*/, float* /*out*/,
                              int /*mirrorAxis*/)
    {
    }
    virtual void DeformSelectedVertices(TKSN_Mesh* mesh, TKSN_Viewport* viewport, const float* a, const float* b,
                                        const float* c, bool useWeldMap, bool symmetryPlaneRule);
    virtual void DeformAllVertices(TKSN_Mesh* mesh, TKSN_Viewport* viewport, const float* a, const float* b,
                                   const float* c);
    virtual float GetRigidness() { return DeformerRigidness; }
    virtual float* GetRigidnessPtr() { return &DeformerRigidness; }
    virtual void SetRigidness(float v) { DeformerRigidness = v; }

    // The Rigidness blend of a selection weight.
    float EffectiveWeight(float w) const;
    void ResolveTempMorphs(TKSN_Mesh* mesh);
    // One motion step on every affectable mesh that carries a temp morph: clear it (and re-resolve it when
    // resolveBeforeHint), let hint speak for the first such mesh only, deform the selection by (a, b, c), resolve.
    void DeformStepOnAffectableMeshes(TKSN_Viewport* viewport, const float* a, const float* b, const float* c,
                                      bool resolveBeforeHint, const std::function<void(TKSN_Mesh*)>& hint);
    void SetupRigidness();
    void GetXYZCentreBasedOnSelection(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float* centre, float* unused);
    void GetXYZCentreBasedOnMouseClickAndSelection(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float x, float y,
                                                   float* centre, float* screenPoint);
    void CacheNormals();
    void CacheNormalsForObject(TKSN_Object* object);
    void SetTempInitNormalsForObject(TKSN_Object* object);
    void CleanAllCalchedData();
    void AddAutoDepthCalParameter();
    // "Calculate Depth By...": Center, Surface, Closest, Farthest, Variable.
    static bool AutoDepthCalc_ListFunc(TQOREvent* event);
    // Axis locks of the project for this tool (all false when it does not honour them).
    void GetLocks(bool* locks);

    float* InitNormals = nullptr;   // not owned
    bool CachesNormals = false;
    float SelectionBoxMin[3] = {}, SelectionBoxMax[3] = {};
    float PressModelView[16] = {}, PressProjection[16] = {}, PressObjectToScreen[16] = {};
    float SelectionNormal[3] = {};
    float PressInverseModelView[16] = {}, PressInverseProjection[16] = {}, PressScreenToObject[16] = {};
    float ViewBoxMin[3] = {}, ViewBoxMax[3] = {};
    float Centre[3] = {};
    float AutoDepthValue = 0.5f;
    int AutoDepthMode = 0;
    float RigidLow = 0.0f, RigidMid = 0.0f, RigidHigh = 0.0f;
    float MaxSelectionWeight = 1.0f;
    bool DeformActive = false;
};

// [SECTION] View helpers shared by the kinds (OpenGL element order).
// Screen axes to object space: the inverse (transposed) view rotation.
void KSN_ViewToObject(TKSN_Viewport* viewport, const float* in, float* out);
// Object space to screen axes: the view rotation.
void KSN_ObjectToView(TKSN_Viewport* viewport, const float* in, float* out);
// The viewing direction in object space (towards the viewer).
void KSN_ViewingDirection(TKSN_Viewport* viewport, float* out);

#endif // KSN_DEFORMER_H
