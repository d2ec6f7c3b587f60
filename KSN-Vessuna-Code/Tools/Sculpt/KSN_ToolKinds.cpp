// The tool framework's side of the application object's declared interface:
// making, linking, testing and deleting the tools.
#include "KSN_ToolKinds.h"

#include "KSN_Application.h"
#include "KSN_ToolList.h"

void KSN_MakeApplicationTools(TKSN_Application* app)
{
    SelectionBrushSize = 0.1f;
    SelectionBrushNewAspect = 1.0f;
    SelectionBrushStrength = 1.0f;
    SelectionBrushHardness = 0.1f;
    PaintBrushSize = 0.1f;
    PaintBrushNewAspect = 1.0f;
    PaintBrushStrength = 1.0f;
    PaintBrushHardness = 0.0f;

    auto add = [app](TKSN_Tool* tool, TKSN_ToolList* list) { app->AddToolToList(tool, list); };

    app->moveViewTool = new TKSN_MoveView;
    add(app->moveViewTool, app->navigationTools);
    app->zoomViewTool = new TKSN_ZoomView;
    add(app->zoomViewTool, app->navigationTools);
    app->rotateViewTool = new TKSN_RotateView;
    add(app->rotateViewTool, app->navigationTools);

    add(new TKSN_MoveTransform, app->transformationTools);
    add(new TKSN_RotateTransform, app->transformationTools);
    add(new TKSN_ScaleTransform, app->transformationTools);

    add(new TKSN_SculptBrush, app->sculptTools);
    add(new TKSN_SculptSmoothBrush, app->sculptTools);
    add(new TKSN_SculptEraserBrush, app->sculptTools);

    add(new TKSN_SubdivideModeler, app->modelingTools);
    add(new TKSN_PolygonReductionModeler, app->modelingTools);
    add(new TKSN_ExtrudeModeler, app->modelingTools);
    add(new TKSN_TouchupModeler, app->modelingTools);
    auto* symmetric = new TKSN_TouchupModeler;
    symmetric->MakeSymmetricModeler();
    add(symmetric, app->modelingTools);
    add(new TKSN_MergeObjects, app->modelingTools);

    add(new TKSN_Picker, app->selectionTools);
    add(new TKSN_BoxSelectionBrush, app->selectionTools);
    add(new TKSN_FreeHandSelectionBrush, app->selectionTools);
    add(new TKSN_BasicSelectionBrush_v4, app->selectionTools);
    add(new TKSN_TouchupSelectionBrush_v4, app->selectionTools);
    add(new TKSN_EraserSelectionBrush_v4, app->selectionTools);

    add(new TKSN_BulgeChisel, app->deformationTools);
    add(new TKSN_ResurfaceChisel, app->deformationTools);
    add(new TKSN_ContourChisel, app->deformationTools);
    add(new TKSN_TouchupChisel, app->deformationTools);
    add(nullptr, app->deformationTools);
    add(new TKSN_MoveInPlane, app->deformationTools);
    add(new TKSN_Rotate, app->deformationTools);
    add(new TKSN_Scale, app->deformationTools);
    add(new TKSN_Bulge, app->deformationTools);
    add(new TKSN_GeometricShaper, app->deformationTools);
    add(new TKSN_TouchupDeformer, app->deformationTools);

    add(new TKSN_WeldVertices, app->additionalUtilities);
    app->faceloomTool = new TKSN_Faceloom;
    add(app->faceloomTool, app->additionalUtilities);

    app->layerBrushTool = new TKSN_LayerBrush;

    add(new TKSN_ColorBrush, app->paintTools);
    add(new TKSN_CloneBrush, app->paintTools);
    add(new TKSN_RetouchBrush, app->paintTools);
    add(new TKSN_ColorCorrectionBrush, app->paintTools);
    add(new TKSN_LightAdjustBrush, app->paintTools);
    add(new TKSN_TouchupEtcBrush, app->paintTools);
    add(new TKSN_CombinedGeometryBrush, app->paintTools);
    add(new TKSN_ConnectedLineBrush, app->paintTools);
    add(new TKSN_FloodFillBrush, app->paintTools);
    add(new TKSN_BleedBrush, app->paintTools);
    add(new TKSN_EraserBrush, app->paintTools);
    add(nullptr, app->paintTools);
    app->textureGrabberTool = new TKSN_TextureGrabberBrush;
    app->colorGrabberTool = new TKSN_ColorGrabberBrush;
    add(app->colorGrabberTool, app->paintTools);
    add(app->textureGrabberTool, app->paintTools);
    add(nullptr, app->paintTools);
    add(new TKSN_ProjectionBrush, app->paintTools);
    add(new TKSN_PaintWizard, app->paintTools);
    auto* tileSetup = new TKSN_TileSetupTool;
    app->tileSetupTool = tileSetup;
    add(tileSetup, app->paintTools);
}

void KSN_DeleteTool(TKSN_Tool* tool) { delete tool; }

void KSN_SetToolList(TKSN_Tool* tool, TKSN_ToolList* list)
{
    if (tool) tool->ToolList = list;
}

bool KSN_IsPaintBrush(const TKSN_Tool* tool) { return dynamic_cast<const TKSN_PaintBrush*>(tool) != nullptr; }

bool KSN_IsSelectableTool(const TKSN_Tool* tool)
{
    return dynamic_cast<const TKSN_SelectableTool*>(tool) != nullptr;
}

// TODO(stub): the touch-up stroke pipeline's paint hit grid.
void PaintGridClean() {}
