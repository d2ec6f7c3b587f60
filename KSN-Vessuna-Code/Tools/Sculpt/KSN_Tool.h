// TODO(stub): stand-ins for the tool framework and the tools. Each tool has
// only its name, the name of its icon and its flags; the brush, selection,
// modelling and painting behaviour does not exist yet. The class families
// (navigators, selectable tools, paint brushes, chisels) are kept so that the
// run-time type tests of the application object work.
#pragma once

#include <cstdint>

#include "KSN_Thingy.h"

class TKSN_ToolList;
class TKSN_Mesh;
class TKSN_Viewport;

// TODO(stub): the interface every interactive tool implements.
class TKSN_Tool : public virtual TKSN_Thingy {
public:
    TKSN_Tool() = default;
    ~TKSN_Tool() override = default;

    // TODO(stub): the operations the project calls around tool changes,
    // viewport changes and idle time; the base answers are the tool base's.
    virtual void OnActivate(TKSN_Mesh* /*mesh*/) {}
    virtual void OnDeactivate(TKSN_Mesh* /*mesh*/) {}
    virtual void OnViewportChanged(TKSN_Viewport* /*oldViewport*/, TKSN_Viewport* /*newViewport*/) {}
    virtual void OnIdle(TKSN_Mesh* /*mesh*/, TKSN_Viewport* /*viewport*/) {}
    // Culling method in effect while the tool is current (0 none .. 4 per polygon).
    virtual int GetEffectiveCullingMethod() { return 0; }
    virtual bool DrawsOwnMouseCursor() { return false; }
    virtual void UpdateAllParameters() {}
    virtual void OnClearFocus() {}
    virtual float GetSize() { return 0.0f; }
    virtual float GetHardness() { return 0.0f; }
    virtual void ClearParameters() {}

    TKSN_ToolList* toolList = nullptr;   // the list the tool was added to
    const char* iconName = "";           // GUI image of its button
    uint32_t toolFlags = 0;

protected:
    void Describe(const char* name, const char* icon, uint32_t flags = 0)
    {
        SetName("%s", name);
        iconName = icon;
        toolFlags = flags;
    }
};

// TODO(stub): the families the run-time type tests ask about.
class TKSN_Navigator : public virtual TKSN_Tool {};
class TKSN_SelectableTool : public virtual TKSN_Tool {};
class TKSN_Brush : public virtual TKSN_Tool {};
class TKSN_SelectionBrush : public virtual TKSN_Brush, public virtual TKSN_SelectableTool {};
class TKSN_PaintBrush : public virtual TKSN_Brush {};
class TKSN_Chisel : public virtual TKSN_Tool {};
class TKSN_Deformer : public virtual TKSN_Tool {};
class TKSN_Modeler : public virtual TKSN_Tool {};
class TKSN_Transform : public virtual TKSN_Tool {};

// Default brush values, set before any brush is made.
extern float SelectionBrushSize, SelectionBrushNewAspect, SelectionBrushStrength, SelectionBrushHardness;
extern float PaintBrushSize, PaintBrushNewAspect, PaintBrushStrength, PaintBrushHardness;

#define KSN_STANDIN_TOOL(Class, Base, Name, Icon)               \
    class Class : public virtual Base {                         \
    public:                                                     \
        Class() { Describe(Name, Icon); }                       \
    };

// TODO(stub): every tool class below stands for its real tool.
KSN_STANDIN_TOOL(TKSN_MoveView, TKSN_Navigator, "Move View", "MoveView")
KSN_STANDIN_TOOL(TKSN_ZoomView, TKSN_Navigator, "Zoom View", "ZoomView")
KSN_STANDIN_TOOL(TKSN_RotateView, TKSN_Navigator, "Rotate View", "RotateView")
KSN_STANDIN_TOOL(TKSN_MoveTransform, TKSN_Transform, "Move", "MoveTransform")
KSN_STANDIN_TOOL(TKSN_RotateTransform, TKSN_Transform, "Rotate", "RotateTransform")
KSN_STANDIN_TOOL(TKSN_ScaleTransform, TKSN_Transform, "Scale", "ScaleTransform")
KSN_STANDIN_TOOL(TKSN_SculptBrush, TKSN_Tool, "Sculpt", "SculptBrush")
KSN_STANDIN_TOOL(TKSN_SculptSmoothBrush, TKSN_SculptBrush, "Smooth", "SculptSmoothBrush")
KSN_STANDIN_TOOL(TKSN_SculptEraserBrush, TKSN_SculptBrush, "Sculpt Eraser", "SculptEraserBrush")
KSN_STANDIN_TOOL(TKSN_SubdivideModeler, TKSN_Modeler, "Subdivide", "SubdivideModeler")
KSN_STANDIN_TOOL(TKSN_PolygonReductionModeler, TKSN_Modeler, "Polygon Reduction", "PolygonReductionModeler")
KSN_STANDIN_TOOL(TKSN_ExtrudeModeler, TKSN_Modeler, "Extrude", "ExtrudeModeler")
KSN_STANDIN_TOOL(TKSN_MergeObjects, TKSN_Modeler, "Merge Objects", "MergeObjects")
KSN_STANDIN_TOOL(TKSN_Picker, TKSN_SelectionBrush, "Picker", "Picker")
KSN_STANDIN_TOOL(TKSN_BoxSelectionBrush, TKSN_SelectionBrush, "Box Selection", "BoxSelectionBrush")
KSN_STANDIN_TOOL(TKSN_FreeHandSelectionBrush, TKSN_SelectionBrush, "Free-hand Selection", "FreeHandSelectionBrush")
KSN_STANDIN_TOOL(TKSN_BasicSelectionBrush_v4, TKSN_SelectableTool, "Selection Brush", "BasicSelectionBrush")
KSN_STANDIN_TOOL(TKSN_TouchupSelectionBrush_v4, TKSN_SelectableTool, "Touch-up Selection", "TouchupSelectionBrush")
KSN_STANDIN_TOOL(TKSN_EraserSelectionBrush_v4, TKSN_SelectableTool, "Selection Eraser", "EraserSelectionBrush")
KSN_STANDIN_TOOL(TKSN_BulgeChisel, TKSN_Chisel, "Bulge Chisel", "BulgeChisel")
KSN_STANDIN_TOOL(TKSN_ResurfaceChisel, TKSN_Chisel, "Resurface Chisel", "ResurfaceChisel")
KSN_STANDIN_TOOL(TKSN_ContourChisel, TKSN_Chisel, "Contour Chisel", "ContourChisel")
KSN_STANDIN_TOOL(TKSN_TouchupChisel, TKSN_Chisel, "Touch-up Chisel", "TouchupChisel")
KSN_STANDIN_TOOL(TKSN_MoveInPlane, TKSN_Deformer, "Move in Plane", "MoveInPlane")
KSN_STANDIN_TOOL(TKSN_Rotate, TKSN_Deformer, "Rotate Vertices", "Rotate")
KSN_STANDIN_TOOL(TKSN_Scale, TKSN_Deformer, "Scale Vertices", "Scale")
KSN_STANDIN_TOOL(TKSN_Bulge, TKSN_Deformer, "Bulge", "Bulge")
KSN_STANDIN_TOOL(TKSN_GeometricShaper, TKSN_Deformer, "Geometric Shaper", "GeometricShaper")
KSN_STANDIN_TOOL(TKSN_TouchupDeformer, TKSN_Deformer, "Touch-up Deformer", "TouchupDeformer")
KSN_STANDIN_TOOL(TKSN_WeldVertices, TKSN_Tool, "Weld Vertices", "WeldVertices")
KSN_STANDIN_TOOL(TKSN_Faceloom, TKSN_Tool, "Faceloom", "Faceloom")
KSN_STANDIN_TOOL(TKSN_LayerBrush, TKSN_SelectionBrush, "Layer Brush", "LayerBrush")
KSN_STANDIN_TOOL(TKSN_ColorBrush, TKSN_PaintBrush, "Color Brush", "ColorBrush")
KSN_STANDIN_TOOL(TKSN_CloneBrush, TKSN_PaintBrush, "Clone Brush", "CloneBrush")
KSN_STANDIN_TOOL(TKSN_RetouchBrush, TKSN_PaintBrush, "Retouch Brush", "RetouchBrush")
KSN_STANDIN_TOOL(TKSN_ColorCorrectionBrush, TKSN_PaintBrush, "Color Correction", "ColorCorrectionBrush")
KSN_STANDIN_TOOL(TKSN_LightAdjustBrush, TKSN_PaintBrush, "Light Adjust", "LightAdjustBrush")
KSN_STANDIN_TOOL(TKSN_TouchupEtcBrush, TKSN_PaintBrush, "Touch-up Brush", "TouchupEtcBrush")
KSN_STANDIN_TOOL(TKSN_CombinedGeometryBrush, TKSN_PaintBrush, "Combined Geometry", "CombinedGeometryBrush")
KSN_STANDIN_TOOL(TKSN_ConnectedLineBrush, TKSN_PaintBrush, "Connected Lines", "ConnectedLineBrush")
KSN_STANDIN_TOOL(TKSN_FloodFillBrush, TKSN_PaintBrush, "Flood Fill", "FloodFillBrush")
KSN_STANDIN_TOOL(TKSN_BleedBrush, TKSN_PaintBrush, "Bleed Brush", "BleedBrush")
KSN_STANDIN_TOOL(TKSN_EraserBrush, TKSN_PaintBrush, "Eraser", "EraserBrush")
KSN_STANDIN_TOOL(TKSN_ColorGrabberBrush, TKSN_PaintBrush, "Color Grabber", "ColorGrabberBrush")
KSN_STANDIN_TOOL(TKSN_TextureGrabberBrush, TKSN_PaintBrush, "Texture Grabber", "TextureGrabberBrush")
KSN_STANDIN_TOOL(TKSN_ProjectionBrush, TKSN_PaintBrush, "Projection Brush", "ProjectionBrush")
KSN_STANDIN_TOOL(TKSN_PaintWizard, TKSN_Tool, "Paint Wizard", "PaintWizard")
KSN_STANDIN_TOOL(TKSN_TileSetupTool, TKSN_Tool, "Tile Setup", "TileSetupTool")

#undef KSN_STANDIN_TOOL

// TODO(stub): the touch-up modeller and its symmetric variant.
class TKSN_TouchupModeler : public virtual TKSN_Modeler {
public:
    TKSN_TouchupModeler() { Describe("Touch-up Modeler", "TouchupModeler"); }
    void MakeSymmetricModeler()
    {
        symmetric = true;
        Describe("Symmetric Modeler", "SymmetricModeler");
    }
    bool symmetric = false;
};

// [SECTION] Affected lists
// The vertices and polygons one step of a tool (or the displacement bake)
// acts on. Process-wide, main thread only: a step prepares them, fills them
// and reads them before the next step prepares them again.
struct TKSN_AffectedVertex {
    int32_t Vertex;
    float Weight;   // the brush factor, 0..1 (0 where no brush is involved)
};
extern TKSN_AffectedVertex* gAffectedVertices;
extern int32_t gAffectedVertexCount;
extern int32_t* gAffectedPolygons;
extern int32_t gAffectedPolygonCount;
// Room for every vertex and polygon of the mesh (with withSubDs, of its
// largest subdivision level too) and both lists empty. The lists only grow.
void PrepareAffectedList(TKSN_Mesh* mesh, bool withSubDs);
// CleanAffectedLists (KSN_Application.h) frees both.
