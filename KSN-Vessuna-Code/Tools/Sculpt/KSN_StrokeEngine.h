// TKSN_Brush_V4: the stroke engine of the chisels and the stroke-engine
// selection brushes.
//
// A stroke is a run of iterations: one at the press and one per motion event
// that reaches the tool (no spacing). Each iteration finds the vertices under
// the brush by the tool's effective culling method, weighs each one (brush
// shape, hardness, depth fade, angle fade, optionally the selection), puts
// them into the affected-vertex list (KSN_AffectedLists.h) and hands every
// touched mesh to the derived tool through Prepare / Perform / Update hooks.
// Derived classes only say what an iteration does to the listed vertices.
//
// Smart culling (KSN_SmartCulling.cpp) starts at the polygon under the brush
// centre and floods over connected polygons that face the brush, so only the
// surface under the brush that is connected to the picked point is listed; a
// stroke sticks to the mesh it started on.
//
// Invariants:
// - The affected list always indexes the mesh handed to the hooks; a pick on
//   a subdivision level is mapped to its owner mesh and owner polygon first,
//   so every array an iteration writes belongs to that one mesh.
// - The use-symmetry flag is worked out for each mesh before its scan or
//   flood fill (never left over from the mesh handled before).
//
// Stroke state and the brush frame are process-wide: one stroke at a time,
// main thread only.
#include "KSN_Tool.h"

#ifndef KSN_STROKE_ENGINE_H
#define KSN_STROKE_ENGINE_H

#include "QORTimer.h"

class TKSN_Object;

// [SECTION] Stroke state (one stroke at a time)
extern TKSN_MeshRoot* SmartCulling_Mesh;     // the mesh a smart-culled stroke sticks to
extern int32_t SmartCulling_ip;              // polygon of SmartCulling_Mesh under the brush centre
extern float SmartCulling_StartingPoint[3];  // world position picked under the brush centre
extern float SmartCulling_AverageNormal[3];  // normal of the picked polygon (auto-align)
extern int32_t SmartCulling_IterationCount;  // iterations since the press
extern bool SmartCulling_MultBySelectionValues;
extern float SmartCulling_BrushSize;         // effective size of the iteration (normalised x units)
extern float SmartCulling_Hardness;          // effective hardness of the iteration (0..1)
extern float SmartCulling_VertexMult;        // extra weight factor, 1 every iteration
extern float SmartCulling_DepthLength, SmartCulling_DepthLengthInv;   // world length of the brush radius
extern bool SmartCulling_DepthFade, SmartCulling_AutoAlignBrush, SmartCulling_Backface;
extern int32_t SmartCull_BitmapWidth, SmartCull_BitmapHeight;
extern const unsigned char* SmartCull_BitmapData;         // brush-shape image, one byte per pixel
extern const unsigned char* SmartCull_BitmapDataSimple;   // its simplified image
extern unsigned char SmartCull_Bitmap_ucHardness;
extern float SmartCull_Strength;
extern int32_t ChiseledVertexCount;          // vertices moved in the iteration (derived tools count)
// The brush frame of the iteration: brush x and y are the viewport's
// normalised coordinates measured from the brush centre.
extern float WorldToBrushMatrix[16], BrushToWorldMatrix[16];
extern float WorldToBrushRotationMatrix[16], BrushToWorldRotationMatrix[16];
extern float BrushAlignmentRelativeRotationMatrix[16];
extern float WorldToBrushZDir[3];            // brush z axis in world space, towards the viewer
extern TQORAverageTime AverageTimerForSmartCulling;
// The project's stroke settings, read once per iteration.
extern TKSN_StrokeSettings SmartCulling_Settings;

// Whether Shift is down at this moment (sticky selection); tests replace it.
extern bool (*KSN_StrokeShiftHeldNow)();

// The custom property that marks a mesh an iteration listed vertices of.
constexpr const char* KSN_BRUSH_V4_TOUCHED = "BRUSH_V4_TOUCHED";

class TKSN_Brush_V4 : public virtual TKSN_Tool, public TKSN_SelectableTool {
public:
    TKSN_Brush_V4();

    bool ActingAsABrush() override { return true; }
    bool CanUseExtraSoft() override { return true; }
    bool CanUseNoCulling() override { return true; }
    bool CanUseBackfaceCulling() override { return true; }
    bool CanUseSmartCulling() override { return true; }
    bool CanUsePerVertexCulling() override { return true; }
    bool CanActOnSelectionOnly() override { return !DoActOnWholeSelection(); }
    bool RequiredCullingCalculations() override;
    bool DoAutoAlign() override;
    // Maps the user's culling choice (0 none .. 4 per polygon) to one the tool supports.
    int GetEffectiveCullingMethod() override;
    void UpdateParameters() override;
    bool OnMouse(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int button, int state, float fx, float fy) override;
    bool OnMotion(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy) override;
    void OnDraw(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy) override;

    // [SECTION] Iteration hooks, in slot order
    virtual void BeforeFirstIteration() {}
    virtual void OnFinishedStrokeForMesh(TKSN_MeshRoot* /*mesh*/) {}
    virtual void OnFinishedStroke();
    virtual bool CanUseStickySelection() { return false; }
    // True makes each iteration act on every selected vertex instead of the footprint.
    virtual bool DoActOnWholeSelection() { return false; }
    virtual void PrepareMeshForIterationIteration(TKSN_MeshRoot* mesh);
    virtual void PerformIteration();
    virtual void PerformIterationOnMesh(TKSN_MeshRoot* /*mesh*/) {}
    // Invalidates the display lists of the octree nodes around the listed vertices.
    virtual void UpdateMeshAfterIteration(TKSN_MeshRoot* mesh);
    // The tool can snap and the user has "Snap To Closest Vertex" on.
    virtual bool DoSnapToClosestVertex();
    virtual bool CanSnapToClosestVertex() { return false; }

    // [SECTION] Smart culling (KSN_SmartCulling.cpp)
    bool DoSmartCulling();
    // The brush frame from the viewport around the current point (step 5 of an iteration).
    void SetupBrushFrame(TKSN_Viewport* viewport);
    // Aligns the brush frame to polygon SmartCulling_ip of SmartCulling_Mesh.
    void AutoAlignBrushFrame(TKSN_Viewport* viewport);
    // Averages each listed weight over the corners of the polygons around it ("ExtraSoftBrushStrokes").
    static void SoftenAffectedWeights(TKSN_MeshRoot* mesh);

    bool UseSymmetry = false;   // whether the mesh in hand uses symmetry
    bool DepthFadeOn = false;   // depth fade applies in this iteration

protected:
    // Works out UseSymmetry for the mesh's owner (and readies its maps).
    void UpdateUseSymmetry(TKSN_MeshRoot* mesh);
    // The octree scan of culling methods 0, 1, 3 and 4 over one mesh.
    void ScanMesh(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int culling, const float* min, const float* max);
};

// Weighs vertex v of mesh for a stroke-engine tool and lists it when it
// counts; answers whether a flood fill may go on through v. fx, fy unused.
bool SmartBackface_ConsiderVertex(TKSN_MeshRoot* mesh, TKSN_Viewport* viewport, void* tool, float fx, float fy,
                                  int v);
using TKSN_ConsiderVertexFunc = bool (*)(TKSN_MeshRoot* mesh, TKSN_Viewport* viewport, void* data, float fx,
                                         float fy, int v);
// Flood fill from startPolygon over polygons that are not hidden and (while
// SmartCulling_Backface) whose normal has a dot product >= 0 with zDir.
void SmartBackface_PerformIteration_B(TKSN_MeshRoot* mesh, int startPolygon, TKSN_Viewport* viewport, float fx,
                                      float fy, TKSN_ConsiderVertexFunc consider, void* data, const float* zDir);

// The vertex-to-polygon table of the mesh, built when it is stale.
void KSN_EnsureVertexPolygons(TKSN_MeshRoot* mesh);

#endif // KSN_STROKE_ENGINE_H
