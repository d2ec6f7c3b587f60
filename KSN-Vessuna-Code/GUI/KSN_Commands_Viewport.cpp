// The viewport commands (259-314): making a viewport current, standard and
// copied orientations, locking, framing, the look-at point, the mouse wheel,
// display and viewing modes, layouts and maximising, refreshes, flashing, the
// two pan scrollers (live variables) and the real-time drawing bracket.
//
// The target panel of a command is the viewport panel its owner names, else
// the main window's current panel; its viewport is the target viewport.
#include "KestruneEvents.h"

#include "GuiDropDown.h"
#include "GuiGauge.h"
#include "GuiButton.h"
#include "KSN_Application.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_MainWindow_Panels.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "KSN_ViewportOptionsWindow.h"
#include "KSN_ViewportPanel.h"
#include "KSN_Viewport.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORGL.h"
#include "QORLanguage.h"
#include "QORMaterialMapSource.h"
#include "QORString.h"
#include "QORglut.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

TKSN_ViewportPanel* PanelFromOwner(TQOREvent* event)
{
    return dynamic_cast<TKSN_ViewportPanel*>(event->GetOwnerID() ? __GetThingyFromID(event->GetOwnerID()) : nullptr);
}

TKSN_ViewportPanel* TargetPanel(TQOREvent* event)
{
    if (TKSN_ViewportPanel* panel = PanelFromOwner(event)) return panel;
    return MainWindow ? MainWindow->GetCurrentViewportPanel() : nullptr;
}

bool LockedResponse(TKSN_Viewport* viewport)
{
    if (!viewport->IsLocked()) return false;
    QOREvents_PushEvent(new TQOREvent(nullptr, viewport->GetID(), 279));
    OS.WarningMessage(Lang.GetText(1461), viewport->GetName());
    return true;
}

void PushPanelCommand(TKSN_ViewportPanel* panel, int command)
{
    QOREvents_PushEvent(new TQOREvent(nullptr, panel->GetID(), command));
}

void Transform(const float* m, const float* p, float* out)
{
    for (int c = 0; c < 3; ++c) out[c] = m[c] * p[0] + m[4 + c] * p[1] + m[8 + c] * p[2] + m[12 + c];
}

// The project's objects that have a mesh and that the project may affect.
std::vector<TKSN_Object*> AffectableMeshObjects()
{
    std::vector<TKSN_Object*> out;
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> list(Project->GetObjectList());
    if (!list) return out;
    for (TKSN_Object* object : *list)
        if (object && object->Mesh && Project->CanAffectObject(object)) out.push_back(object);
    return out;
}

// The framing style (-1: nothing to frame) and its message text.
int ChooseFraming(int& text)
{
    const std::vector<TKSN_Object*> objects = AffectableMeshObjects();
    const int n = int(objects.size());
    int selected = 0;
    const bool shift = MainWindow && MainWindow->IsShiftHeld();
    if (!shift)
        for (TKSN_Object* object : objects) selected += object->Mesh->GetSelectedVertexCount();
    if (selected > 0) {
        text = 1186;
        return KSN_FRAME_SELECTION;
    }
    if (Project->FrameMode == 1 || n == 1) {
        text = 1187;
        return KSN_FRAME_OBJECT;
    }
    if (n > 0) {
        text = 1188;
        return KSN_FRAME_ALL;
    }
    return -1;
}

// TODO(stub): stands for TKSN_ZoomView::PerformZoom of the navigation tools:
// scales the view by factor about the point (u, v) in viewport units, which
// stays over the same world point, tells the project and queues 281.
void PerformZoom(TKSN_Viewport* viewport, float factor, float u, float v)
{
    const float zoom = viewport->GetZoom(), next = zoom * factor;
    const float* r = viewport->RotationMatrix;
    const float right[3] = {r[0], r[4], r[8]}, up[3] = {r[1], r[5], r[9]};
    const float shift = zoom - next, vy = v * viewport->Aspect;
    float lookAt[3];
    viewport->GetLookAt(lookAt);
    for (int i = 0; i < 3; ++i) lookAt[i] += shift * (u * right[i] + vy * up[i]);
    viewport->SetZoom(next);
    viewport->SetLookAt(lookAt, nullptr, 0.0f, false);
    Project->OnSingleViewportChanged(viewport);
    QOREvents_PushEvent(281);
}

bool Orientation(TQOREvent* event, int command)
{
    if ((command == 269 || command == 270) && MainWindow && MainWindow->GetOnMouseDownNode()) return false;
    TKSN_ViewportPanel* panel = TargetPanel(event);
    TKSN_Viewport* viewport = panel ? panel->GetViewport() : nullptr;
    if (!viewport) return false;
    if (command != 269 && LockedResponse(viewport)) return false;
    if (viewport->IsNavLocked()) return false;
    NavSetupUndo(viewport);
    OS.PrintMessageNoRepeat("%s", Lang.GetText(command == 269 ? 1454 : 991 + (command - 270)));
    const bool autoView = event->intParameters[0] == 1;
    switch (command) {
    case 269: viewport->CloneViewport(0, autoView); break;
    case 270: viewport->SetToFront(autoView); break;
    case 271: viewport->SetToBack(autoView); break;
    case 272: viewport->SetToLeft(autoView); break;
    case 273: viewport->SetToRight(autoView); break;
    case 274: viewport->SetToTop(autoView); break;
    default: viewport->SetToBottom(autoView); break;
    }
    Project->OnSingleViewportChanged(viewport);
    Project->OnFinishedNavigating(command == 269);
    PushPanelCommand(panel, 279);
    return true;
}

bool MouseWheel(TQOREvent* event)
{
    TKSN_ViewportPanel* panel = TargetPanel(event);
    TKSN_Viewport* viewport = panel ? panel->GetViewport() : nullptr;
    if (!viewport || !App) return false;
    const int wheel = event->intParameters[0];
    static const int pairs[4][2] = {{105, 106}, {103, 104}, {107, 108}, {109, 110}};
    static const int flags[4] = {1, 2, 3, 4};   // strength, size, density, hardness in mouseWheelModes
    for (int i = 0; i < 4; ++i) {
        if (!App->mouseWheelModes[flags[i]]) continue;
        if (wheel != 0) {
            auto* e = new TQOREvent(KestruneEvents_CommandCB, 0, wheel > 0 ? pairs[i][0] : pairs[i][1]);
            e->intParameters[0] = 1;
            QOREvents_PushEvent(e);
        }
        return true;
    }
    if (!App->mouseWheelModes[0] || wheel == 0) return true;
    const float s = App->mouseWheelSensitivity;
    const float f = 1.05f * s + 2.0f * (1.0f - s);
    const float factor = wheel > 0 ? 1.0f / f : f;
    if (App->zoomViewTool) {
        OS.PrintMessageNoRepeat("%s", Lang.GetText(983));
        PerformZoom(viewport, factor, viewport->XtoU(float(event->GetX())), viewport->YtoV(float(event->GetY())));
    }
    return true;
}

void RefreshEverything()
{
    OS.PrintMessageNoRepeat("%s", Lang.GetText(1597));
    if (std::unique_ptr<TQORNewStaticList<TQORMaterialMapSource*>> maps(Project->GetMapList()); maps)
        for (TQORMaterialMapSource* map : *maps) Project->OnWholeMapChanged(map);
    TKSN_glDisplayList::InvalidateAll();
    if (std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(Project->GetObjectList()); objects)
        for (TKSN_Object* object : *objects)
            if (object && object->Mesh) object->Mesh->InvalidateAllInOSpace();
    Project->OnAllViewportsChanged();
    Project->OnFullSurfaceChanged();
    Project->OnMapLayerChanged();
    Project->OnMapTopologyChanged();
    Project->OnSymmetrySettingsChanged(true);
    Project->AfterFullSelection(true);
    Project->ClearFlashSelection();
}

bool FrameOne(TQOREvent* event)
{
    TKSN_ViewportPanel* panel = TargetPanel(event);
    TKSN_Viewport* viewport = panel ? panel->GetViewport() : nullptr;
    if (!viewport) return false;
    if (LockedResponse(viewport)) return false;
    if (viewport->IsNavLocked()) return false;
    NavSetupUndo(viewport);
    int text = 0;
    const int style = ChooseFraming(text);
    if (style >= 0) {
        if (event->intParameters[0] != 1) OS.PrintMessage("%s", Lang.GetText(text));
        viewport->FrameView(Project->GetCurrentObject(), TKSN_Framing_Style(style));
    }
    Project->OnFinishedNavigating(false);
    return true;
}

bool FrameShown(TQOREvent* event)
{
    int text = 0;
    const int style = ChooseFraming(text);
    for (TKSN_Viewport* viewport : App->viewports) {
        if (!viewport || !viewport->shown || viewport->IsNavLocked()) continue;
        NavSetupUndo(viewport);
        if (style < 0) continue;
        if (event->intParameters[0] != 1) OS.PrintMessageNoRepeat("%s", Lang.GetText(text));
        viewport->FrameView(Project->GetCurrentObject(), TKSN_Framing_Style(style));
    }
    Project->OnFinishedNavigating(false);
    return true;
}

bool CentreLookAt(TQOREvent* event, int axis, bool toZero)
{
    TKSN_ViewportPanel* panel = TargetPanel(event);
    TKSN_Viewport* viewport = panel ? panel->GetViewport() : nullptr;
    if (!viewport) return false;
    float lookAt[3];
    viewport->GetLookAt(lookAt);
    if (toZero) {
        lookAt[axis] = 0.0f;
    } else {
        // Nothing to centre on when no affectable object has a mesh: the look-at stays.
        float low = std::numeric_limits<float>::max(), high = std::numeric_limits<float>::lowest();
        bool any = false;
        for (TKSN_Object* object : AffectableMeshObjects()) {
            TKSN_Mesh* mesh = object->Mesh.get();
            const float* points = mesh->resolvedVertices ? mesh->resolvedVertices : mesh->baseVertices;
            if (!points) continue;
            for (int v = 0; v < mesh->vertexCount; ++v) {
                low = std::min(low, points[3 * v + axis]);
                high = std::max(high, points[3 * v + axis]);
                any = true;
            }
        }
        if (!any) return true;
        lookAt[axis] = 0.5f * (low + high);
    }
    NavSetupUndo(viewport);
    viewport->SetLookAt(lookAt, nullptr, 0.0f, false);
    panel->OnViewOrGeometryChanged();
    return true;
}

bool Maximise(TQOREvent* event)
{
    TKSN_ViewportPanel* panel = TargetPanel(event);
    if (!MainWindow || !panel) return true;
    TKSN_MainWindow& w = *MainWindow;
    if (TKSN_Viewport* viewport = panel->GetViewport(); viewport && Project->GetCurrentViewport() != viewport)
        Project->SetCurrentViewport(viewport);
    for (TKSN_ViewportPanel* p : w.ViewportPanels)
        if (p) p->OnViewOrGeometryChanged();
    TGui_Node* moved = nullptr;
    if (!w.MaximizedViewportPanel) {
        w.MaximizedViewportPanel = panel;
        panel->Pop();
        moved = panel;
    } else {
        moved = w.MaximizedViewportPanel;
        moved->Push();
        w.MaximizedViewportPanel = nullptr;
    }
    moved->KeepOnTop = false;
    Project->OnAllViewportsChanged();
    w.UpdateViewports();
    KestruneEvents_PostRedisplay();
    return true;
}

bool ViewingMode(TQOREvent* event)
{
    TKSN_ViewportPanel* panel = PanelFromOwner(event);
    if (!panel) return false;
    if (Project->GetMode() == 3 && event->GetIndex() < 3) event->SetIndex(3);
    if (event->GetIndex() == 4 && panel->ViewMode != 4) panel->PreviousViewMode = panel->ViewMode;
    if (Project->SpecialDisplayMode != 0) Project->SetSpecialDisplayMode(0);
    panel->ViewMode = event->GetIndex();
    return true;
}

// The viewport of 307 and 308: the owner panel's, else the current one (no panel then).
TKSN_Viewport* DisplayTarget(TQOREvent* event, TKSN_ViewportPanel*& panel)
{
    panel = PanelFromOwner(event);
    return panel ? panel->GetViewport() : Project->GetCurrentViewport();
}

void RefillDisplayMenus(TKSN_ViewportPanel* panel)
{
    if (panel) UpdateDisplayModeMenu(panel, panel->DisplayOptions);
}

void OptionsWindowMenus()
{
    if (auto* w = MainWindow ? dynamic_cast<TKSN_ViewportOptionsWindow*>(MainWindow->ViewportOptionsWindow) : nullptr)
        w->UpdateMenus();
}

bool ChannelMaps(TQOREvent* event)
{
    TKSN_ViewportPanel* panel = nullptr;
    TKSN_Viewport* viewport = DisplayTarget(event, panel);
    if (!viewport) return false;
    if (Project->SpecialDisplayMode != 0) Project->SetSpecialDisplayMode(0);
    const char* wanted = event->GetStringParameter(0);
    for (const std::string& name : KSN_DisplayableChannelNames()) {
        if (!wanted || QORstrcmpi(name.c_str(), wanted) != 0) continue;
        std::snprintf(viewport->materialChannelName, sizeof viewport->materialChannelName, "%s", name.c_str());
        viewport->DisplayMode = 3;
        OS.PrintMessageNoRepeat(Lang.GetText(1497), name.c_str());
        break;
    }
    if (Project->GetSpecialDisplayMode() == 1) Project->ToggleSpecialDisplayMode(1);
    RefillDisplayMenus(panel);
    Project->OnMapTopologyChanged();
    OptionsWindowMenus();
    Project->OnSingleViewportChanged(viewport);
    return true;
}

bool DisplayMode(TQOREvent* event)
{
    TKSN_ViewportPanel* panel = nullptr;
    TKSN_Viewport* viewport = DisplayTarget(event, panel);
    if (!viewport) return false;
    if (Project->SpecialDisplayMode != 0) Project->SetSpecialDisplayMode(0);
    const int mode = event->intParameters[0];
    if (mode != viewport->DisplayMode && (mode == 1 || mode == 2 || mode == 4))
        OS.PrintMessageNoRepeat(Lang.GetText(1497), Lang.GetText(mode == 1 ? 1133 : mode == 2 ? 1134 : 1135));
    viewport->DisplayMode = mode;
    RefillDisplayMenus(panel);
    OptionsWindowMenus();
    Project->OnFullSurfaceChanged();
    Project->OnSingleViewportChanged(viewport);
    return true;
}

bool PanScroller(TQOREvent* event, bool horizontal)
{
    auto* viewport = dynamic_cast<TKSN_Viewport*>(__GetThingyFromID(event->idParameters[0]));
    auto* gauge = dynamic_cast<TGui_Gauge*>(event->dispatcherID ? __GetThingyFromID(event->dispatcherID) : nullptr);
    if (!viewport || !gauge) return false;
    if (std::fabs(double(gauge->Maximum) - double(gauge->Minimum)) < 1e-30) return true;
    if (event->operationMode != 0 && event->operationMode != 1) return true;
    float lookAt[3], l[3];
    viewport->GetLookAt(lookAt);
    Transform(viewport->RotationMatrix, lookAt, l);
    const float* c = Project->WorldCentre;
    if (event->operationMode == 0) {
        event->floatParameters[0] = horizontal ? l[0] - c[0] : -(l[1] - c[1]);
        return true;
    }
    const float v = event->floatParameters[0];
    const float local[3] = {horizontal ? v + c[0] : l[0], horizontal ? l[1] : c[1] - v, l[2]};
    float next[3];
    Transform(viewport->TransposedRotationMatrix, local, next);
    viewport->SetLookAt(next, Project->WorldCentre, Project->SceneRadius, true);
    QOREvents_PushEvent(new TQOREvent(nullptr, viewport->GetID(), 298));
    return true;
}

bool Pan(TQOREvent* event)
{
    TKSN_Viewport* viewport = Project->GetCurrentViewport();
    if (!viewport) return false;
    float lookAt[3], s[3], next[3];
    viewport->GetLookAt(lookAt);
    Transform(viewport->CombinedMatrix, lookAt, s);
    s[0] += event->floatParameters[0];
    s[1] += event->floatParameters[1];
    Transform(viewport->InverseCombinedMatrix, s, next);
    viewport->SetLookAt(next, Project->WorldCentre, Project->SceneRadius, true);
    Project->InteractiveMotion = true;
    Project->OnSingleViewportChanged(viewport);
    return true;
}

bool RealTimeDrawing(int command)
{
    static const char* const lines[6] = {"eBeginRealTimeDrawing",          "eUpdateRealTimeDrawing",
                                         "eEndRealTimeDrawing",            "eBeginRealTimeDrawingForTiling",
                                         "eUpdateRealTimeDrawingForTiling", "eEndRealTimeDrawingForTiling"};
    bool& flag = Project->InteractiveMotion;
    const bool tiling = Project->SpecialDisplayMode == 2;
    auto debug = [&] { OS.DebugMessage("%s", lines[command - 260]); };
    switch (command) {
    case 260:
        if (!flag) {
            debug();
            flag = true;
            Project->OnAllViewportsChanged();
        }
        break;
    case 261:
        if (flag) {
            debug();
            Project->OnAllViewportsChanged();
        }
        break;
    case 262:
        debug();
        flag = false;
        Project->OnAllViewportsChanged();
        break;
    case 263:
        if (!flag && tiling) {
            debug();
            flag = true;
            Project->OnAllViewportsChanged();
        }
        break;
    case 264:
        if (flag && tiling) {
            debug();
            Project->OnAllViewportsChanged();
        } else if (!tiling) {
            Project->TiledPixelsValid = false;
        } else {
            Project->OnAllViewportsChanged();
        }
        break;
    default:
        if (tiling) {
            debug();
            flag = false;
            Project->OnAllViewportsChanged();
        }
        break;
    }
    return true;
}

void FlashOrientation(TKSN_ViewportPanel* panel)
{
    if (!panel || !panel->OrientationOptions) return;
    panel->OrientationOptions->Flash(false);
    if (panel->OrientationOptions->Box) panel->OrientationOptions->Box->Flash(false);
}

} // namespace

bool Kestrune_Events_ViewportCB(TQOREvent* event)
{
    if (!event) return false;
    const int command = event->GetCommand();
    if (command < 260 || command > 313) return false;
    if (!Project) return false;
    TKSN_MainWindow* w = GetMainWindow();
    switch (command) {
    case 260: case 261: case 262: case 263: case 264: case 265: return RealTimeDrawing(command);
    case 266: return Pan(event);
    case 267: {
        TKSN_ViewportPanel* panel = PanelFromOwner(event);
        if (!panel) return false;
        if (panel->OrientationOptions) UpdateOrientationOptionDDB(panel->OrientationOptions, panel);
        return true;
    }
    case 268: {
        TKSN_ViewportPanel* panel = TargetPanel(event);
        TKSN_Viewport* viewport = panel ? panel->GetViewport() : nullptr;
        if (!viewport) return false;
        if (viewport->IsLocked())
            viewport->Unlock();
        else
            viewport->Lock();
        return true;
    }
    case 269: case 270: case 271: case 272: case 273: case 274: case 275: return Orientation(event, command);
    case 276: {
        TKSN_ViewportPanel* panel = TargetPanel(event);
        if (!panel) return false;
        panel->Flash(false);
        return true;
    }
    case 277:
        if (w)
            for (TKSN_ViewportPanel* p : w->ViewportPanels)
                if (p) p->Flash(false);
        return true;
    case 278: {
        TKSN_ViewportPanel* panel = w ? w->GetCurrentViewportPanel() : nullptr;
        if (panel && panel->DisplayOptions) {
            panel->DisplayOptions->Flash(false);
            if (panel->DisplayOptions->Box) panel->DisplayOptions->Box->Flash(false);
        }
        return true;
    }
    case 279: {
        TKSN_ViewportPanel* panel = PanelFromOwner(event);
        if (!panel && w) {
            auto* viewport = dynamic_cast<TKSN_Viewport*>(__GetThingyFromID(event->GetOwnerID()));
            panel = viewport ? w->GetViewportPanelFromViewport(viewport) : w->GetCurrentViewportPanel();
        }
        if (!panel) return false;
        FlashOrientation(panel);
        return true;
    }
    case 280: return MouseWheel(event);
    case 281: Project->OnFinishedNavigating(false); return true;
    case 282: Project->OnFinishedNavigating(true); return true;
    case 283: RefreshEverything(); return true;
    case 284: return FrameOne(event);
    case 285: return FrameShown(event);
    case 286: case 287: case 288: {
        TKSN_ViewportPanel* panel = TargetPanel(event);
        TKSN_Viewport* viewport = panel ? panel->GetViewport() : nullptr;
        if (!viewport) return false;
        NavSetupUndo(viewport);
        viewport->FrameView(Project->GetCurrentObject(), TKSN_Framing_Style(command - 286));
        Project->OnFinishedNavigating(false);
        return true;
    }
    case 289: case 290: case 291: return CentreLookAt(event, command - 289, false);
    case 292: case 293: case 294: return CentreLookAt(event, command - 292, true);
    case 295: {
        if (!w) return true;
        bool pushed = false;
        for (TKSN_ViewportPanel* p : w->ViewportPanels) {
            if (!p || p->ViewMode != 4) continue;
            auto* e = new TQOREvent(nullptr, p->GetID(), 303);
            e->SetIndex(p->PreviousViewMode);
            QOREvents_PushEvent(e);
            pushed = true;
        }
        if (pushed) KestruneEvents_PostRedisplay();
        return true;
    }
    case 296: case 297: case 304: case 313: return true;
    case 298: {
        auto* viewport = dynamic_cast<TKSN_Viewport*>(__GetThingyFromID(event->GetOwnerID()));
        TKSN_ViewportPanel* panel = viewport && w ? w->GetViewportPanelFromViewport(viewport) : nullptr;
        if (panel)
            panel->OnViewOrGeometryChanged();
        else if (viewport)
            Project->OnSingleViewportChanged(viewport);
        KestruneEvents_PostRedisplay();
        return true;
    }
    case 299:
        Project->OnAllViewportsChanged();
        if (w)
            for (TKSN_ViewportPanel* p : w->ViewportPanels)
                if (p) p->OnViewOrGeometryChanged();
        KestruneEvents_PostRedisplay();
        return true;
    case 300: {
        TKSN_ViewportPanel* panel = PanelFromOwner(event);
        if (!panel) return false;
        if (TKSN_Viewport* viewport = panel->GetViewport()) Project->SetCurrentViewport(viewport);
        return true;
    }
    case 301:
        if (w && App) {
            App->viewportLayout = event->GetIndex();
            w->MaximizedViewportPanel = nullptr;
            if (event->GetIndex() == 5) {
                if (App->viewports[0]) App->viewports[0]->SetAutoView(false);
                if (App->viewports[1]) App->viewports[1]->SetToTop(true);
                if (App->viewports[2]) App->viewports[2]->SetToLeft(true);
                if (App->viewports[3]) App->viewports[3]->SetToBack(true);
            }
            w->UpdateViewports();
        }
        Project->OnFinishedNavigating(false);
        return true;
    case 302: return Maximise(event);
    case 303: return ViewingMode(event);
    case 305: return PanelFromOwner(event) != nullptr;
    case 306:
        if (w) w->OnCurrentViewportChanged();
        return true;
    case 307: return ChannelMaps(event);
    case 308: return DisplayMode(event);
    case 309: {
        TKSN_ViewportPanel* panel = w ? w->GetCurrentViewportPanel() : nullptr;
        TKSN_Viewport* viewport = panel ? panel->GetViewport() : nullptr;
        if (!viewport) return false;
        viewport->DisplayMode = event->intParameters[0];
        RefillDisplayMenus(panel);
        OptionsWindowMenus();
        Project->OnSingleViewportChanged(viewport);
        return true;
    }
    case 310: return PanScroller(event, true);
    case 311: return PanScroller(event, false);
    case 312:
        if (TKSN_Object* object = Project->GetCurrentObject(); object && App)
            for (TKSN_Viewport* viewport : App->viewports)
                if (viewport) viewport->FrameView(object, KSN_FRAME_OBJECT);
        Project->OnAllViewportsChanged();
        return true;
    default: return true;
    }
}
