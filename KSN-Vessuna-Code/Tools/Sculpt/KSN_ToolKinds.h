// The tool families and kinds that later subsystems build. Each stands on
// the real bases (TKSN_Tool, TKSN_Brush, TKSN_SelectableTool) and has only
// its name, the name of its icon and the flags it sets; the families are kept
// so that the run-time type tests of the application and the project work.
#pragma once

#include "KSN_Brush.h"
#include "KSN_Chisel.h"
#include "KSN_StrokeEngine.h"
#include "KSN_SculptBrush.h"
#include "KSN_Tool.h"
#include "KSN_DeformerKinds.h"
#include "KSN_DeformerShaper.h"
#include "KSN_DeformerTouchup.h"
#include "KSN_Faceloom.h"

// TODO(stub): the navigators, transforms and modellers of later subsystems.
class TKSN_Navigator : public virtual TKSN_Tool {};
class TKSN_Modeler : public virtual TKSN_Tool {};
class TKSN_Transform : public virtual TKSN_Tool {};
// TODO(stub): the classic selection brushes.
class TKSN_SelectionBrush : public virtual TKSN_Brush, public TKSN_SelectableTool {};
// TODO(stub): the paint brushes. The project document asks them these
// questions; until the brushes exist each answers as a plain colour brush.
class TKSN_PaintBrush : public virtual TKSN_Brush {
public:
    // The touch-up blend type (2 blur, 3 smudge read the viewport's picture).
    virtual int GetBlendType() { return 0; }
    // The brush stamps the project's brush image.
    virtual bool UseBrushImage() { return false; }
    // The brush lays the brush image as a tile instead of following the footprint.
    virtual bool UseBrushTiling() { return false; }
    // The brush culls per vertex whatever the project's culling method.
    virtual bool DoPerVertexCulling() { return false; }
};

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
KSN_STANDIN_TOOL(TKSN_SubdivideModeler, TKSN_Modeler, "Subdivide", "SubdivideModeler")
KSN_STANDIN_TOOL(TKSN_PolygonReductionModeler, TKSN_Modeler, "Polygon Reduction", "PolygonReductionModeler")
KSN_STANDIN_TOOL(TKSN_ExtrudeModeler, TKSN_Modeler, "Extrude", "ExtrudeModeler")
KSN_STANDIN_TOOL(TKSN_MergeObjects, TKSN_Modeler, "Merge Objects", "MergeObjects")
KSN_STANDIN_TOOL(TKSN_Picker, TKSN_SelectionBrush, "Picker", "Picker")
KSN_STANDIN_TOOL(TKSN_BoxSelectionBrush, TKSN_SelectionBrush, "Box Selection", "BoxSelectionBrush")
KSN_STANDIN_TOOL(TKSN_FreeHandSelectionBrush, TKSN_SelectionBrush, "Free-hand Selection", "FreeHandSelectionBrush")
KSN_STANDIN_TOOL(TKSN_BasicSelectionBrush_v4, TKSN_Brush_V4, "Selection Brush", "BasicSelectionBrush")
KSN_STANDIN_TOOL(TKSN_TouchupSelectionBrush_v4, TKSN_Brush_V4, "Touch-up Selection", "TouchupSelectionBrush")
KSN_STANDIN_TOOL(TKSN_EraserSelectionBrush_v4, TKSN_Brush_V4, "Selection Eraser", "EraserSelectionBrush")
KSN_STANDIN_TOOL(TKSN_WeldVertices, TKSN_Tool, "Weld Vertices", "WeldVertices")
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
