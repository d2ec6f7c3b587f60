// The viewport panel's life, its pointer input to the current tool, the
// hover read-out and the polygon warnings under the pointer.
//
// Index:
//   [SECTION] Globals and helpers
//   [SECTION] Construction and lookup
//   [SECTION] Presses, motion, double clicks
//   [SECTION] Hover read-out
//   [SECTION] Polygon warnings and layer colours
#include "KSN_ViewportPanel.h"

#include "GuiMaster.h"
#include "KSN_Application.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_PolygonLayer.h"
#include "KSN_Project.h"
#include "KSN_RendererUtils.h"
#include "KSN_Tool.h"
#include "KSN_Viewport.h"
#include "KestruneEvents.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORThingy.h"
#include "QORglut.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>

// [SECTION] Globals and helpers

int OnPassive_Closest_ip = 0;
uint32_t OnPassive_Closest_Mesh_ID = 0;
char PolygonHoverOverWarningHint[256] = {};
bool WeakSelectionInHoveredOverPolygon = false;

namespace {

// A fixed text buffer that appends with bounded formatting; what does not
// fit is cut at a whole UTF-8 character.
class TReadoutBuffer {
public:
    TReadoutBuffer(char* data, size_t size) : Data(data), Size(size) { Data[0] = 0; }
    __attribute__((format(printf, 2, 3))) void Add(const char* format, ...)
    {
        if (Length + 1 >= Size) return;
        va_list args;
        va_start(args, format);
        const int n = std::vsnprintf(Data + Length, Size - Length, format, args);
        va_end(args);
        if (n < 0) {
            Data[Length] = 0;
            return;
        }
        if (size_t(n) < Size - Length) {
            Length += size_t(n);
            return;
        }
        Length = QORUtf8Prefix(std::string_view(Data, Size - 1), Size - 1).size();
        Data[Length] = 0;
    }
    void Number(float value, int maxDecimals)
    {
        char text[64];
        Add("%s", KSN_FormatReadoutNumber(text, sizeof text, value, maxDecimals));
    }
    const char* Text() const { return Data; }

private:
    char* Data;
    size_t Size;
    size_t Length = 0;
};

// Row vector (x, y, z, 1) times a matrix in OpenGL element order.
void TransformPoint(const float* m, const float* p, float* out)
{
    for (int c = 0; c < 3; ++c) out[c] = m[c] * p[0] + m[4 + c] * p[1] + m[8 + c] * p[2] + m[12 + c];
}

TKSN_Tool* CurrentTool() { return App ? App->currentTool : nullptr; }

// The last pick of the warning update, reused by the read-out of the same
// passive motion so that one motion costs one pick.
struct TPickCache {
    bool Valid = false;
    uint32_t ViewportID = 0;
    float Fx = 0.0f, Fy = 0.0f;
    bool Hit = false;
    TKSN_MeshRoot* Root = nullptr;
    int Polygon = 0;
};
TPickCache PickCache;

bool Pick(TKSN_Viewport* viewport, float fx, float fy, TKSN_MeshRoot*& root, int& polygon)
{
    if (PickCache.Valid && PickCache.ViewportID == viewport->GetID() && PickCache.Fx == fx && PickCache.Fy == fy) {
        PickCache.Valid = false;
        root = PickCache.Root;
        polygon = PickCache.Polygon;
        return PickCache.Hit;
    }
    root = nullptr;
    polygon = 0;
    return Project->GetClosestPolygonAndMesh(viewport, root, polygon, fx, fy, true, false, nullptr);
}

bool IsLockedFor(TKSN_Viewport* viewport, TKSN_Tool* tool)
{
    return (!tool || !tool->IgnoreLockedViewportStatus()) && viewport->IsLocked();
}

} // namespace

char* KSN_FormatReadoutNumber(char* out, int size, float value, int maxDecimals)
{
    int decimals = 0;
    const double a = std::fabs(double(value));
    if (a > 1e-30) {
        const int l = int(std::log10(a));   // truncated toward zero
        if (l < 0)
            decimals = std::min(-l, maxDecimals);
        else if (l < maxDecimals)
            decimals = maxDecimals - 1 - l;
    }
    std::snprintf(out, size_t(size), "%.*f", std::max(decimals, 0), double(value));
    return out;
}

void KSN_GetMirrorPoint(TKSN_Viewport* viewport, float fx, float fy, float& mx, float& my)
{
    if (!Project || Project->MirrorInViewport || !viewport) {
        mx = -fx;
        my = -fy;
        return;
    }
    const float p[3] = {fx, fy, 0.0f};
    float w[3];
    TransformPoint(viewport->InverseCombinedMatrix, p, w);
    const float mirrored[3] = {-w[0], -w[1], w[2]};
    float s[3];
    TransformPoint(viewport->CombinedMatrix, mirrored, s);
    mx = s[0];
    my = s[1];
}

void GetClosestVertexAndTVertexToMouseInViewport(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int polygon, float fx,
                                                 float fy, int& vertex, int& tvertex, float* position, float* uv)
{
    vertex = tvertex = -1;
    if (!mesh || !viewport || polygon < 0 || polygon >= mesh->polygonCount) return;
    const float* points = mesh->resolvedVertices ? mesh->resolvedVertices : mesh->baseVertices;
    if (!points) return;
    double best = 1e30;
    const int n = mesh->vGetPolyN(polygon);
    for (int c = 0; c < n; ++c) {
        const int v = mesh->vGetPolyV(polygon, c);
        if (v < 0 || v >= mesh->vertexCount) continue;
        const float* p = points + 3 * v;
        float s[3];
        TransformPoint(viewport->CombinedMatrix, p, s);
        const double d = std::sqrt(double(s[0] - fx) * (s[0] - fx) + double(s[1] - fy) * (s[1] - fy));
        if (d < best) {
            best = d;
            vertex = v;
            if (position) std::copy(p, p + 3, position);
            tvertex = mesh->vGetPolyVT(polygon, c);
            if (tvertex >= mesh->tVertexCount) tvertex = -1;
            if (tvertex != -1 && uv && mesh->tVertices) {
                uv[0] = mesh->tVertices[2 * tvertex];
                uv[1] = mesh->tVertices[2 * tvertex + 1];
            }
        }
    }
}

// [SECTION] Construction and lookup

TKSN_ViewportPanel::TKSN_ViewportPanel(TGui_Node* parent) : TKSN_Panel(parent)
{
    ShowName = false;
    BackgroundColor[0] = BackgroundColor[1] = BackgroundColor[2] = 0.25f;
    SetHint("%s", Lang.GetText(888));
    // The GL stipple patterns are set at the first Draw, so that panels can
    // be made before (or without) a GL context.
    MouseWheelEvent = new TQOREvent(KestruneEvents_CommandCB, GetID(), 280);
    DragDropEvent = new TQOREvent(KestruneEvents_CommandCB, GetID(), 469);
    SetName("ViewportPanel", false);
    KSN_NewViewportMarkers(this);
}

TKSN_ViewportPanel::TKSN_ViewportPanel(TGui_Node* parent, int index) : TKSN_ViewportPanel(parent)
{
    if (App && index >= 0 && index < 4 && App->viewports[index]) AssignViewport(App->viewports[index]->GetID());
}

TKSN_ViewportPanel::~TKSN_ViewportPanel() = default;

void TKSN_ViewportPanel::AssignViewport(uint32_t id)
{
    ViewportID = id;
    auto* viewport = dynamic_cast<TKSN_Viewport*>(id ? __GetThingyFromID(id) : nullptr);
    ViewportIndex = viewport ? viewport->index : -1;
}

TKSN_Viewport* TKSN_ViewportPanel::GetViewport() const
{
    if (!Project || ViewportID == 0) return nullptr;
    return dynamic_cast<TKSN_Viewport*>(__GetThingyFromID(ViewportID));
}

void TKSN_ViewportPanel::PixelToUnits(int x, int y, float& fx, float& fy) const
{
    const float w = float(std::max(Width, 1)), h = float(std::max(Height, 1));
    fx = 2.0f * float(x) / w - 1.0f;
    fy = 2.0f * (1.0f - float(y) / h) - 1.0f;
}

void TKSN_ViewportPanel::OnReshape()
{
    TGui_Node::OnReshape();
    auto* e = new TQOREvent(KestruneEvents_CommandCB, GetID(), 442);
    OnViewOrGeometryChanged();
    QOREvents_PushEvent(e);
}

void TKSN_ViewportPanel::OnViewOrGeometryChanged()
{
    TKSN_Viewport* viewport = GetViewport();
    if (!viewport) return;
    ++ViewChangedCount;
    Project->OnSingleViewportChanged(viewport);
    Invalidate();
    viewport->ClearRenderedPixels();
}

void TKSN_ViewportPanel::Invalidate()
{
    TKSN_Viewport* viewport = GetViewport();
    if (!viewport) return;
    if (RearViewPanel) RearViewPanel->Invalidate();
    viewport->SetRenderedSceneStatus(2);
}

// [SECTION] Presses, motion, double clicks

void TKSN_ViewportPanel::CallTool(TKSN_Tool* tool, TKSN_Mesh* mesh, TKSN_Viewport* viewport, bool motion, int button,
                                  int state, float fx, float fy)
{
    const bool mirrored = (Project->CanMirrorX() || Project->CanMirrorY()) &&
                          (tool->Flags & KSN_TOOL_MIRRORED_INPUT) && !(tool->Flags & KSN_TOOL_NO_MIRRORED_REPEATS);
    float mx = fx, my = fy;
    if (mirrored) KSN_GetMirrorPoint(viewport, fx, fy, mx, my);
    auto call = [&](float x, float y) {
        if (motion)
            tool->OnMotion(mesh, viewport, x, y);
        else
            tool->OnMouse(mesh, viewport, button, state, x, y);
    };
    if (!motion) {
        if (state == 0) tool->BeforeUse();
        IsMirrorStroke = false;
    }
    call(fx, fy);
    if (!mirrored) return;
    if (!motion) IsMirrorStroke = true;
    const float px = tool->PreviousX, py = tool->PreviousY;
    auto pass = [&](float prevX, float prevY, float x, float y) {
        tool->PreviousX = prevX;
        tool->PreviousY = prevY;
        call(x, y);
    };
    if (Project->CanMirrorX()) pass(-px, py, mx, fy);
    if (Project->CanMirrorY()) pass(px, -py, fx, my);
    if (Project->CanMirrorX() && Project->CanMirrorY()) pass(-px, -py, mx, my);
    tool->PreviousX = px;
    tool->PreviousY = py;
}

void TKSN_ViewportPanel::OnMouse(int button, int state, int x, int y)
{
    TGui_Node::OnMouse(button, state, x, y);
    TKSN_Viewport* viewport = GetViewport();
    if (!viewport) return;
    if (IsLockedFor(viewport, CurrentTool())) return;
    if (button == 0 && state == 1 && IgnoreNextLeftRelease) {
        IgnoreNextLeftRelease = false;
        return;
    }
    if (button == 0 && state == 0 && Project->GetCurrentViewport() != viewport) {
        // Only makes the viewport current: the tool sees neither this press nor its release.
        QOREvents_PushEvent(new TQOREvent(KestruneEvents_CommandCB, GetID(), 300));
        IgnoreNextLeftRelease = true;
        return;
    }
    IgnoreNextLeftRelease = false;
    float fx, fy;
    PixelToUnits(x, y, fx, fy);
    TKSN_Tool* tool = CurrentTool();
    if (state == 1 && tool) tool->PreProcess_fx_fy(fx, fy);
    Project->LastMouseFx = fx;
    Project->LastMouseFy = fy;
    if (IsRearView) return;
    if (button == 0 && state == 0) QORProcessEventNow(KestruneEvents_CommandCB, GetID(), 300);

    TKSN_Mesh* mesh = Project->GetPolyMesh();
    tool = CurrentTool();
    if (!tool || ((tool->Flags & KSN_TOOL_NEEDS_MESH) && !mesh) || !(tool->Flags & KSN_TOOL_MOUSE_INPUT)) return;
    TGui_Master* master = GetMaster();
    if (tool->ContinuousDrag && master) {
        master->DragX = state == 0 ? x : 0;
        master->DragY = state == 0 ? y : 0;
    }
    if (state == 1) {
        if (!master || master->GetOnMouseDownNode() != this) {
            tool->ReleasedOutside = 1;
            return;
        }
    } else {
        tool->PreviousX = fx;
        tool->PreviousY = fy;
    }
    CallTool(tool, mesh, viewport, false, button, state, fx, fy);
    if (state != 1) return;
    if (tool->ReturnToLinkedTool && App) {
        if (App->currentTool) App->currentTool->OnDeactivate(mesh);
        App->currentTool = tool->LinkedTool;
        if (App->currentTool) {
            App->currentTool->OnActivate(mesh);
            QOREvents_PushEvent(432);
        }
    }
    tool->AfterUse();
}

bool TKSN_ViewportPanel::OnMotion(int x, int y)
{
    const bool taken = TGui_Node::OnMotion(x, y);
    if (IgnoreNextLeftRelease) return taken;
    if (MainWindow && MainWindow->LockIcon) MainWindow->LockIcon->Hide();
    TKSN_Viewport* viewport = GetViewport();
    if (!viewport) return taken;
    TKSN_Tool* tool = CurrentTool();
    if (IsLockedFor(viewport, tool)) return taken;
    float fx, fy;
    PixelToUnits(x, y, fx, fy);
    if (tool) tool->PreProcess_fx_fy(fx, fy);
    Project->LastMouseFx = fx;
    Project->LastMouseFy = fy;
    TKSN_Mesh* mesh = Project->GetPolyMesh();
    if (IsRearView || !mesh || !tool || !(tool->Flags & KSN_TOOL_MOUSE_INPUT)) return taken;
    if (!tool->ContinuousDrag && !(tool->Flags & KSN_TOOL_MOTION_OUTSIDE)) {
        TGui_Master* master = GetMaster();
        if (!master || master->GetMouseOverNode() != this) return taken;
    }
    CallTool(tool, mesh, viewport, true, 0, 0, fx, fy);
    tool->PreviousX = fx;
    tool->PreviousY = fy;
    return taken;
}

bool TKSN_ViewportPanel::OnDoubleClick(int x, int y)
{
    TGui_Node::OnDoubleClick(x, y);
    TKSN_Viewport* viewport = GetViewport();
    if (!viewport) return false;
    if (viewport->IsLocked()) {
        QOREvents_PushEvent(new TQOREvent(nullptr, viewport->GetID(), 279));
        OS.WarningMessageNoRepeat(Lang.GetText(1461), viewport->GetName());
        return false;
    }
    if (IsRearView || viewport->IsRenderedImageDisplayed()) return false;
    QORProcessEventNow(KestruneEvents_CommandCB, GetID(), 300);
    TKSN_Mesh* mesh = Project->GetPolyMesh();
    TKSN_Tool* tool = CurrentTool();
    if (!mesh || !tool || !(tool->Flags & KSN_TOOL_MOUSE_INPUT)) return false;
    float fx, fy;
    PixelToUnits(x, y, fx, fy);
    tool->OnDoubleClick(mesh, viewport, fx, fy);
    return true;
}

void TKSN_ViewportPanel::OnEnter(int x, int y)
{
    TGui_Node::OnEnter(x, y);
    if (!GetViewport()) return;
    TKSN_Tool* tool = CurrentTool();
    if (tool && tool->DrawsOwnMouseCursor())
        QORglutHideCursor();
    else
        QORglutShowCursor();
}

void TKSN_ViewportPanel::OnExit(int x, int y, TGui_Node* next)
{
    TGui_Node::OnExit(x, y, next);
    QORglutShowCursor();
}

// [SECTION] Hover read-out

void TKSN_ViewportPanel::OnPassive(int x, int y)
{
    TGui_Node::OnPassive(x, y);
    TKSN_Viewport* viewport = GetViewport();
    if (!viewport) return;
    UpdatePolyInfoNode(x, y);
    float fx, fy;
    PixelToUnits(x, y, fx, fy);
    Project->LastMouseFx = fx;
    Project->LastMouseFy = fy;

    static char warningPart[1000], viewportLine[1000], objectPart[1000], polygonPart[1000], vertexPart[1000],
        uvPart[1000], layersPart[1000], hint[10000];
    TReadoutBuffer warning(warningPart, sizeof warningPart), line(viewportLine, sizeof viewportLine),
        object(objectPart, sizeof objectPart), poly(polygonPart, sizeof polygonPart),
        vert(vertexPart, sizeof vertexPart), uv(uvPart, sizeof uvPart), layers(layersPart, sizeof layersPart);

    char modeName[400] = {};
    switch (viewport->DisplayMode) {
    case 1: std::snprintf(modeName, sizeof modeName, "%s", Lang.GetText(1133)); break;
    case 2: std::snprintf(modeName, sizeof modeName, "%s", Lang.GetText(1134)); break;
    case 3: std::snprintf(modeName, sizeof modeName, "%s Maps", viewport->materialChannelName); break;
    case 4: std::snprintf(modeName, sizeof modeName, "%s", Lang.GetText(1135)); break;
    default: break;
    }
    line.Add("[b]Viewport:[/b] %s [b]Display Mode:[/b] %s\n", viewport->GetName(), modeName);

    OnPassive_Closest_ip = 0;
    OnPassive_Closest_Mesh_ID = 0;
    TKSN_MeshRoot* root = nullptr;
    int polygon = 0;
    const bool hit = !Project->InteractiveMotion && !Project->IsDeforming() && Pick(viewport, fx, fy, root, polygon);
    if (hit) {
        auto* mesh = dynamic_cast<TKSN_Mesh*>(root);
        if (!mesh) return;
        OnPassive_Closest_ip = polygon;
        OnPassive_Closest_Mesh_ID = mesh->GetID();
        DoDisplaySymmetricSideWarning(mesh, polygon);
        if (PolygonHoverOverWarningHint[0]) warning.Add("%s\n", PolygonHoverOverWarningHint);

        TKSN_Object* owner = mesh->GetOwnerObject();
        object.Add("[b]Object:[/b] %s", owner ? owner->GetName() : "");
        if (owner && owner->IsReadOnly()) object.Add(" , Read-Only");
        object.Add("\n");

        poly.Add("[b]Polygon:[/b] %d", polygon);
        poly.Add("    [b]Select:[/b] ");
        poly.Number(mesh->GetResolvedPSelect(polygon) * 100.0f, 1);
        const int count = mesh->vGetPolyN(polygon);
        poly.Add("\n    [b]Point Count:[/b]: ");
        poly.Number(float(count), 0);
        poly.Add("\n    [b]Points:[/b] ");
        const int listed = std::min(count, 10);
        for (int c = 0; c < listed; ++c) {
            poly.Add(" {");
            poly.Number(float(mesh->vGetPolyV(polygon, c)), 0);
            const int vt = mesh->vGetPolyVT(polygon, c);
            if (vt != -1) {
                poly.Add(", ");
                poly.Number(float(vt), 0);
            }
            poly.Add("}");
            if (c + 1 < listed) poly.Add(", ");
        }
        if (count > 10) poly.Add("...");
        poly.Add("\n");

        int vertex = -1, tvertex = -1;
        float position[3] = {}, texture[2] = {};
        GetClosestVertexAndTVertexToMouseInViewport(mesh, viewport, polygon, fx, fy, vertex, tvertex, position,
                                                    texture);
        if (vertex != -1) {
            vert.Add("[b]Vertex:[/b] %d, {", vertex);
            for (int i = 0; i < 3; ++i) {
                vert.Number(position[i], 4);
                if (i < 2) vert.Add(", ");
            }
            vert.Add("}    [b]Select:[/b] ");
            vert.Number(mesh->GetResolvedVSelect(vertex) * 100.0f, 1);
            vert.Add("\n");
        }
        if (tvertex != -1) {
            uv.Add("[b]UV:[/b] %d, {", tvertex);
            uv.Number(texture[0], 4);
            uv.Add(", ");
            uv.Number(texture[1], 4);
            uv.Add("}\n");
        }
        const uint32_t mask = mesh->GetPolyLayerFlags(polygon);
        if (mask) {
            layers.Add("[b]In Layers...[/b]\n");
            for (int i = 1; i <= 29; ++i)
                if ((mask & (1u << (i - 1))) && Project->PolygonLayers[i])
                    layers.Add("    %s\n", Project->PolygonLayers[i]->GetName());
        }
    }
    TReadoutBuffer all(hint, sizeof hint);
    for (const char* part : {warning.Text(), line.Text(), object.Text(), vert.Text(), poly.Text(), uv.Text(),
                             layers.Text()})
        all.Add("%s", part);
    OS.PrintHint("%s", all.Text());
    if (TKSN_Tool* tool = CurrentTool()) {
        if (tool->DrawsOwnMouseCursor()) QORglutHideCursor();
        QORglutPostRedisplay_Internal();
    }
}

// [SECTION] Polygon warnings and layer colours

void TKSN_ViewportPanel::UpdatePolyInfoNode(int x, int y)
{
    PolygonHoverOverWarningHint[0] = 0;
    PickCache.Valid = false;
    TKSN_Viewport* viewport = GetViewport();
    if (!Project || !viewport) return;
    TGui_Node* marker = MainWindow ? MainWindow->LockIcon : nullptr;
    if (marker) marker->Hide();
    WeakSelectionInHoveredOverPolygon = false;
    if (Project->InteractiveMotion || Project->IsDeforming()) return;

    const float u = viewport->XtoU(float(x)), v = viewport->YtoV(float(y));
    TKSN_MeshRoot* root = nullptr;
    int polygon = 0;
    const bool hit = Project->GetClosestPolygonAndMesh(viewport, root, polygon, u, v, true, false, nullptr);
    PickCache = {true, viewport->GetID(), u, v, hit, root, polygon};
    auto* mesh = hit ? dynamic_cast<TKSN_Mesh*>(root) : nullptr;
    if (!mesh || polygon < 0 || polygon >= mesh->polygonCount) return;

    TKSN_Tool* tool = CurrentTool();
    const bool painting = App && App->GetToolTypeTab() == 3;
    const bool locked = mesh->IsPolyLocked(polygon);
    const bool overlapping = painting && (mesh->PolygonFlags[polygon] & 0x20000000u);
    const int n = mesh->vGetPolyN(polygon);
    bool culled = false;
    if (App && App->vertexCullingValid && tool && tool->RequiredCullingCalculations())
        for (int c = 0; c < n && !culled; ++c) culled = Project->IsVertexCulled(mesh, viewport, mesh->vGetPolyV(polygon, c));
    const bool symmetric = DoDisplaySymmetricSideWarning(mesh, polygon);
    // Steeply angled: the brush would fade out there (the view direction
    // against the polygon's normal, as the stroke engine weighs it).
    const bool fade = tool && (tool->Flags & KSN_TOOL_POLYGON_INFO) && Project->DoAngleFade &&
                      tool->ActingAsABrush() && mesh->polygonNormals &&
                      GetFadeByAngleFactor(Project->FadeCutoff, Project->FadeFalloff, viewport->ViewVector,
                                           mesh->polygonNormals + 3 * size_t(polygon)) < 0.4f;
    if (tool && tool->CanActOnSelectionOnly() && mesh->GetSelectedVertexCount() > 0) {
        bool weak = true;
        if (App->selectionType == eSelectionType_Vertex) {
            for (int c = 0; c < n && weak; ++c) {
                const int vertex = mesh->vGetPolyV(polygon, c);
                if (vertex >= 0 && vertex < mesh->vertexCount && mesh->GetResolvedVSelect(vertex) > 0.0f) weak = false;
            }
        } else {
            weak = !(mesh->GetResolvedPSelect(polygon) > 0.0f);
        }
        WeakSelectionInHoveredOverPolygon = weak;
    }
    if (!locked && !overlapping && !culled && !symmetric && !fade && !WeakSelectionInHoveredOverPolygon) return;
    if (!marker) return;

    marker->Show();
    marker->Pop();
    marker->Empty();
    marker->SetPosition(AbsX + x + 10, AbsY + y - 10);
    if (TKSN_Layer* layer = ChoosePolygonLayer(mesh, polygon)) marker->SetColor(layer->Color);
    int text = 0;
    const char* image = "Attention_Icon";
    if (locked) {
        image = "Lock_icon";
        text = 1663;
    } else if (symmetric) {
        text = 1592;
    } else if (WeakSelectionInHoveredOverPolygon) {
        text = 1664;
    } else if (overlapping) {
        text = 1665;
    } else if (culled) {
        text = 1666;
    } else {
        text = 1667;
    }
    std::snprintf(PolygonHoverOverWarningHint, sizeof PolygonHoverOverWarningHint, "%s", Lang.GetText(text));
    if (TQORglutTexture* t = QORglut_Textures_GetTextureFromList(image)) {
        marker->SetGraphic(t);
        marker->SetSize(t->GetWidth(), t->GetHeight());
    }
}

bool DoDisplaySymmetricSideWarning(TKSN_Mesh* mesh, int polygon)
{
    if (!Project || !mesh || polygon < 0 || polygon >= mesh->polygonCount || !Project->DoUseSymmetry(mesh))
        return false;
    if (!App || App->GetToolTypeTab() != 3 || App->perVertexSymmetry) {
        const int32_t* partners = mesh->activePolygonPartnerA;
        return partners && partners[polygon] >= 0 && partners[polygon] != polygon;
    }
    const float* points = mesh->resolvedVertices ? mesh->resolvedVertices : mesh->baseVertices;
    const int n = mesh->vGetPolyN(polygon);
    if (!points || n <= 0) return false;
    double centre = 0.0;
    const int axis = std::clamp(mesh->symmetryAxis, 0, 2);
    for (int c = 0; c < n; ++c) {
        const int v = mesh->vGetPolyV(polygon, c);
        if (v >= 0 && v < mesh->vertexCount) centre += points[3 * v + axis];
    }
    // TODO(stub): the mesh's object matrix (world space unless the mesh
    // works in object space) is not applied; objects are not moved yet.
    centre /= n;
    if (mesh->symmetryState == 1) return centre < mesh->symmetryOffset;
    if (mesh->symmetryState == 2) return centre > mesh->symmetryOffset;
    return false;
}
