// Brush tiling: where a brush image laid as a repeating tile falls on the
// model, for the four tiling styles (0 projection from the viewport, 1 fixed
// plane, 2 cylinder, 3 sphere), the rendered tile image that previews it, the
// tile size setters and the undo record of a tiling change.
//
// Matrices here are row-major 4 x 4 with points as row vectors on the left
// (q = [p, 1] x M), except the viewport's own, which are in OpenGL order.
//
// The per-point functions run on the paint threads and the renderer's node
// threads as well as on the main thread; they only read the tiling members,
// which the main thread changes between strokes and renders.
//
// Index:
//   [SECTION] Tiling transform
//   [SECTION] Coordinates of points
//   [SECTION] When tiling is in use, the rendered tile image
//   [SECTION] Tile size and undo
#include "KSN_Project.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "KSN_Application.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_RenderSetup.h"
#include "KSN_Renderer4.h"
#include "KSN_ToolKinds.h"
#include "KSN_Undo.h"
#include "KSN_Viewport.h"
#include "OS.h"
#include "TouchupTiling.h"

namespace {

// Tool flag: the tool can work symmetrically.
constexpr uint32_t ToolFlagAllowsSymmetry = 0x10;
constexpr int kMaxRenderThreads = 32;

// q = [p, 1] x m, the first three components.
void TransformRow(const float* m, const float* p, float* q)
{
    for (int c = 0; c < 3; ++c) q[c] = p[0] * m[c] + p[1] * m[4 + c] + p[2] * m[8 + c] + m[12 + c];
}

TKSN_TileParameters TileParametersOf(const TKSN_Project& project)
{
    TKSN_TileParameters tile;
    tile.InvTileWidth = project.InvTileWidth;
    tile.InvTileHeight = project.InvTileHeight;
    tile.TileHeight = project.TileHeight;
    tile.TileRepeat = project.TileRepeat;
    return tile;
}

// The render set-up of the tile image; made on first use and kept for the
// run, like the viewports' own set-ups.
TKSN_RenderSetup* TiledRenderSetup()
{
    static TKSN_RenderSetup* setup = new TKSN_RenderSetup();
    return setup;
}

} // namespace

// ============================================================================
// [SECTION] Tiling transform
// ============================================================================

void TKSN_Project::BeforeConsiderTiling(TKSN_Viewport* viewport)
{
    UseCustomBrushMapping = false;

    // TilingMatrix = T x TileRotationMatrix, T moving TileCentre to the origin.
    const float* r = TileRotationMatrix;
    std::copy(r, r + 12, TilingMatrix);
    for (int c = 0; c < 4; ++c)
        TilingMatrix[12 + c] = r[12 + c] - (TileCentre[0] * r[c] + TileCentre[1] * r[4 + c] + TileCentre[2] * r[8 + c]);

    // Taken after the matrix is built: the new orientation holds from the
    // next call on, so a stroke never changes its mapping half way.
    if (AutoAlignTilingWithViewport)
        if (TKSN_Viewport* current = GetCurrentViewport()) {
            // The viewport's column-major array read row by row is the same
            // transform for row vectors.
            const float* m = current->GetRotationMatrix();
            std::copy(m, m + 16, TileRotationMatrix);
        }

    TileScaleX = TileScaleY = 1.0f;
    if (BrushImageLoaded && BrushTilingStyle == 0) {
        const int w = BrushImage.GetWidth(), h = BrushImage.GetHeight();
        if (w > 0 && h > 0) {
            if (h < w)
                TileScaleY = float(w) / float(h);
            else
                TileScaleX = float(h) / float(w);
            if (viewport) TileScaleY *= float(std::max(1, int(viewport->WindowHeight))) /
                                        float(std::max(1, int(viewport->WindowWidth)));
        }
    }
}

// ============================================================================
// [SECTION] Coordinates of points
// ============================================================================

void TKSN_Project::GetTiledUVMapForVertex(TKSN_Viewport* viewport, float* uv, const float* point,
                                          const float* reference, int)
{
    if (!uv || !point) return;
    if (UseCustomBrushMapping) {
        TransformRow(CustomBrushMappingMatrix, point, uv);
        return;
    }
    const TKSN_TileParameters tile = TileParametersOf(*this);
    float q[3], r[3];
    const float* ref = nullptr;
    if (BrushTilingStyle >= 1 && BrushTilingStyle <= 3) {
        TransformRow(TilingMatrix, point, q);
        if (reference) {
            TransformRow(TilingMatrix, reference, r);
            ref = r;
        }
    }
    switch (BrushTilingStyle) {
    case 0: {
        if (!viewport) return;
        const float* m = viewport->CombinedMatrix;   // OpenGL order
        float clip[4];
        for (int row = 0; row < 4; ++row)
            clip[row] = m[row] * point[0] + m[4 + row] * point[1] + m[8 + row] * point[2] + m[12 + row];
        const float w = std::fabs(clip[3]) > 1e-30f ? clip[3] : 1.0f;
        uv[0] = (clip[0] / w * TileRepeat * TileScaleX + 1.0f) * 0.5f;
        uv[1] = (clip[1] / w * TileRepeat * TileScaleY + 1.0f) * 0.5f;
        uv[2] = (uv[2] + 1.0f) * 0.5f;
        break;
    }
    case 1: ConvertVertexToFixedPlaneCoordinates(uv, q, ref, tile); break;
    case 2: ConvertVertexToCylindricalCoordinates(uv, q, ref, nullptr, tile); break;
    case 3: ConvertVertexToSphericalCoordinates(uv, q, ref, tile); break;
    default: break;
    }
}

void TKSN_Project::GetTiledUVMapForTriangle(TKSN_Viewport* viewport, float* uvA, float* uvB, float* uvC,
                                            const float* a, const float* b, const float* c, const float* reference,
                                            int, int, int)
{
    GetTiledUVMapForVertex(viewport, uvA, a, reference, 0);
    GetTiledUVMapForVertex(viewport, uvB, b, reference, 0);
    GetTiledUVMapForVertex(viewport, uvC, c, reference, 0);
}

void TKSN_Project::GetTiledUVMapForTriangle_ConsiderSymmetry_etc(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int i0,
                                                                 int i1, int i2, float* uvA, float* uvB, float* uvC,
                                                                 const float* reference)
{
    if (!mesh || !mesh->resolvedVertices) return;
    const int count = mesh->vertexCount;
    const int indices[3] = {i0, i1, i2};
    for (int v : indices)
        if (v < 0 || v >= count) return;

    TKSN_Tool* tool = App ? App->currentTool : nullptr;
    TKSN_Object* owner = mesh->OwnerObject;
    const bool mirrored = App && App->brushImageSymmetry && tool && owner && owner->SymmetryEnabled &&
                          ((tool->Flags & ToolFlagAllowsSymmetry) || TempDisableToolSymmetryCheck) && UseSymmetry;
    float positions[3][3];
    for (int k = 0; k < 3; ++k) {
        int v = indices[k];
        if (mirrored && !App->perVertexSymmetry) {
            mesh->GetSymmetricResolvedVertex_NewStyle(v, positions[k]);
            continue;
        }
        if (mirrored && mesh->activeVertexPartnerA) {
            const int partner = mesh->activeVertexPartnerA[v];
            if (partner >= 0 && partner < count) v = partner;
        }
        std::copy(mesh->resolvedVertices + 3 * size_t(v), mesh->resolvedVertices + 3 * size_t(v) + 3, positions[k]);
    }
    GetTiledUVMapForTriangle(viewport, uvA, uvB, uvC, positions[0], positions[1], positions[2], reference, i0, i1,
                             i2);
}

// ============================================================================
// [SECTION] When tiling is in use, the rendered tile image
// ============================================================================

bool TKSN_Project::UseBrushTiling()
{
    TKSN_Tool* tool = App ? App->currentTool : nullptr;
    if (dynamic_cast<TKSN_TileSetupTool*>(tool) || GetSpecialDisplayMode() == 2) return true;
    auto* brush = dynamic_cast<TKSN_PaintBrush*>(tool);
    const bool tiled = brush ? brush->UseBrushTiling() : TileBrushTexture;
    return tiled && BrushImageLoaded;
}

TQORImageMap* TKSN_Project::GetRenderedTileBrushImage()
{
    if (!BrushImageLoaded) return nullptr;
    TKSN_Viewport* viewport = GetCurrentViewport();
    if (!viewport) return &RenderedTileBrushImage;
    // A render of another size than the viewport shows is stale.
    TQORImageMap& rendered = TiledRenderSetup()->RenderedImage;
    if (rendered.GetWidth() != int(viewport->WindowWidth) || rendered.GetHeight() != int(viewport->WindowHeight))
        TiledPixelsValid = false;
    const bool rendering = !TiledPixelsValid;
    ValidateTiledPixels();
    if (rendering && rendered.GetPixels()) {
        RenderedTileBrushImage.SetDimensions(rendered.GetWidth(), rendered.GetHeight(), 4);
        if (rendered.GetBytesPerPixel() == 4)
            std::copy(rendered.GetPixels(), rendered.GetPixels() + rendered.GetPixelBytes(),
                      RenderedTileBrushImage.GetPixels());
    }
    return &RenderedTileBrushImage;
}

void TKSN_Project::ValidateTiledPixels()
{
    if (TiledPixelsValid) return;
    TKSN_Viewport* viewport = GetCurrentViewport();
    if (!viewport) return;
    TKSN_RenderSetup* setup = TiledRenderSetup();
    setup->InitializeDefaults(viewport);
    setup->RenderingType = KSN_RENDERING_SOFTWARE;
    setup->ViewMode = KSN_VIEWMODE_BRUSH_TILE;
    setup->UseDisplayLists = false;
    setup->ThreadCount = std::clamp(OS.GetNumberOfCPUs(), 1, kMaxRenderThreads);
    TKSN_Renderer4 renderer;
    renderer.RenderImage(setup);
    renderer.WaitForCompletion();
    TiledPixelsValid = true;
}

// ============================================================================
// [SECTION] Tile size and undo
// ============================================================================

void TKSN_Project::SetTileWidth(float width)
{
    TileWidth = width;
    InvTileWidth = std::fabs(width) > 1e-30f ? 1.0f / width : 0.0f;
}

void TKSN_Project::SetTileHeight(float height)
{
    TileHeight = height;
    InvTileHeight = std::fabs(height) > 1e-30f ? 1.0f / height : 0.0f;
}

void TKSN_Project::SetupUndoForTiling(const char* text, bool keepRedo)
{
    if (!keepRedo) EmptyRedoStack();
    SetupUndoRedoForTiling(UndoList, text);
}

void TKSN_Project::SetupUndoRedoForTiling(TKSN_Undo_Node*& list, const char* message)
{
    std::unique_ptr<TKSN_Undo_Node> node(CreateUndoNode(nullptr, KSN_UNDO_TILING, -1, 0));
    if (!node) return;
    if (message) node->SetMessage(message);
    auto* payload = new TKSN_Tiling_UndoNode;
    node->Payload = payload;
    payload->BrushTilingStyle = BrushTilingStyle;
    std::copy(TileRotationMatrix, TileRotationMatrix + 16, payload->TileRotationMatrix);
    std::copy(TileCentre, TileCentre + 3, payload->TileCentre);
    payload->TileWidth = TileWidth;
    payload->TileHeight = TileHeight;
    AddUndoRedoNode(list, node.release());
}
