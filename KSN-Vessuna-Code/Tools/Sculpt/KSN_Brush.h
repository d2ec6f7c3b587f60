// TKSN_Brush: the base of the classic brushes (sculpt, paint, touch-up and
// the classic selection brushes).
//
// To the tool base it adds its own shared size, strength and hardness (the
// SelectionBrush* globals, separate from the tool base's Tool* values) with
// their three panel parameters, the culling methods a brush supports (the
// user's choice is in effect), the list of stroke points brush kinds record,
// the round and rectangular guides, the stroke path with its outline of a
// given thickness, the brush falloff curve, and the restriction to the
// connected surface under the cursor that the project can switch on.
//
// Brushes take mirrored input (bits 0x2 and 0x4 set, 0x20000 clear).
// Main thread only.

// KSN_Tool.h ends by including the tool kinds, which stand on this header; so
// the tool base comes first and the guard follows it (no #pragma once here).
#include "KSN_Tool.h"

#ifndef KSN_BRUSH_H
#define KSN_BRUSH_H

// TODO(stub): the touch-up stroke pipeline's recorded stroke point; the brush
// base reads only its position (normalised viewport coordinates).
class TKSN_Brush_Point {
public:
    TKSN_Brush_Point() = default;
    TKSN_Brush_Point(float x, float y) : X(x), Y(y) {}
    virtual ~TKSN_Brush_Point() = default;
    float X = 0.0f, Y = 0.0f;
};

// Four corners (x, y) of one piece of a thick path's outline.
struct TKSN_LineSegment {
    float c0[2], c1[2], c2[2], c3[2];
};
struct TKSN_LineSegmentQuad : TKSN_LineSegment {
    bool Join = false;   // a join between two segments, else a segment
};

// Number of points outside the flooded surface that IsPointCulled turned away.
extern int LocalPointsSkipped;

class TKSN_Brush : public virtual TKSN_Tool {
public:
    TKSN_Brush();
    ~TKSN_Brush() override;

    bool ActingAsABrush() override { return true; }
    bool DepthIsEnabled() override { return false; }
    bool CanUseNoCulling() override { return true; }
    bool CanUseBackfaceCulling() override { return true; }
    bool CanUsePerVertexCulling() override { return true; }
    // The user's choice in the project.
    int GetEffectiveCullingMethod() override;
    void UpdateParameters() override;
    bool OnMouse(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int button, int state, float fx, float fy) override;
    bool OnMotion(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy) override;
    float GetSize() override { return SelectionBrushSize; }
    float GetNewAspect() override { return SelectionBrushNewAspect; }
    float GetHardness() override { return SelectionBrushHardness; }
    float GetStrength() override { return SelectionBrushStrength; }
    float GetStepPercent() override { return SelectionStepPercent; }
    float GetDensity() override { return SelectionBrushDensity; }
    float* GetSizePtr() override { return &SelectionBrushSize; }
    float* GetNewAspectPtr() override { return &SelectionBrushNewAspect; }
    float* GetHardnessPtr() override { return &SelectionBrushHardness; }
    float* GetStrengthPtr() override { return &SelectionBrushStrength; }
    float* GetDensityPtr() override { return &SelectionBrushDensity; }
    float* GetStepPercentPtr() override { return &SelectionStepPercent; }
    void SetSize(float v) override { SelectionBrushSize = v; }
    void SetNewAspect(float v) override { SelectionBrushNewAspect = v; }
    void SetHardness(float v) override { SelectionBrushHardness = v; }
    void SetStrength(float v) override { SelectionBrushStrength = v; }
    void SetStepPercent(float v) override { SelectionStepPercent = v; }
    void SetDensity(float v) override { SelectionBrushDensity = v; }
    // Deletes every point; the list keeps its storage.
    void OnClearFocus() override;
    bool DrawsOwnMouseCursor() override { return false; }

    virtual bool ConsiderAffectingVertex(TKSN_Mesh* /*mesh*/, TKSN_Viewport* /*viewport*/, int /*vertex*/,
                                         float /*fx*/, float /*fy*/)
    {
        return false;
    }
    // A white ellipse of radii rx, ry around (cx, cy) with a black one a pixel outside.
    virtual void DrawRoundGuide(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float cx, float cy, float rx, float ry);
    // A white rectangle of half sides hx, hy with a black one a pixel outside.
    virtual void DrawRectangularGuide(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float cx, float cy, float hx,
                                      float hy);
    virtual bool IsPointWithinBrushRange(TKSN_Viewport* /*viewport*/, float /*fx*/, float /*fy*/,
                                         const float* /*point*/)
    {
        return true;
    }
    // The recorded points from firstIndex on, joined to the mouse point, with a
    // stippled outline of the given thickness (normalised units) when > 0.0001.
    virtual void DrawPath(TKSN_Viewport* viewport, float fx, float fy, float thickness, bool closed,
                          bool drawPoints, int firstIndex);

    // Whether the vertex counts as culled for this brush in the viewport.
    bool IsPointCulled(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int vertex);
    void ProcessLocalPoints_OnMouse(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy);
    void ProcessLocalPoints_OnMotion(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy);
    // Floods the surface connected to vertex, flagging polygons 0x20.
    static void EnableVerticesForPainting(TKSN_Brush* brush, TKSN_Mesh* mesh, TKSN_Viewport* viewport, int vertex,
                                          float fx, float fy, int depth);

    bool HideCursorRings = false;
    bool WhiteCursorRings = false;
    float NearestDepth = 1e30f;
    std::unique_ptr<TQORNewStaticList<TKSN_Brush_Point*>> Points;   // owned points; growth step 1
};

// cos(d / r x pi / 2) ^ (2 (1 - hardness)): 1 at the centre, 0 at the rim.
float GetRadiusFactor(float d, float r, float hardness);
// Appends the outline quads of the path through points (the caller owns them).
// halfWidth in normalised x units; aspect = viewport height / width.
void CreateConnectedLineWithThickness(TQORNewStaticList<TKSN_Brush_Point*>* points,
                                      TQORNewStaticList<TKSN_LineSegmentQuad*>* quads, bool closed, float halfWidth,
                                      float aspect);

#endif // KSN_BRUSH_H
