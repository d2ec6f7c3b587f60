// Live interface variables (15-116): check boxes, gauges and fields hold no
// value of their own; their event names a variable by id and is called with
// mode 0 (get: the handler writes the value into the event) at every layout
// and mode 1 (set: the handler stores the event's value) on a change. Gets
// only copy a value: they run on every layout pass. Follow-ups are always
// queued, so a layout never changes the tree it lays out.
#include "KestruneEvents.h"

#include "GuiGauge.h"
#include "GuiTheme.h"
#include "KSN_Application.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_Mesh.h"
#include "KSN_Morph.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "KSN_Union.h"
#include "OS.h"
#include "QOREvents.h"
#include "KSN_StrokeEngine.h"
#include "KSN_ToolKinds.h"
#include "QORLanguage.h"
#include "QORString.h"

#include <cmath>
#include <memory>


namespace {

enum : int32_t { ModeGet = 0, ModeSet = 1 };

bool PaintChannelBoxShown = false;

bool IsGet(const TQOREvent* e) { return e->operationMode == ModeGet; }
bool IsSet(const TQOREvent* e) { return e->operationMode == ModeSet; }

// Percent variables travel multiplied by 100.
void ProcessLivePercentEvent(TQOREvent* e, float* variable)
{
    if (IsGet(e))
        e->floatParameters[0] = *variable * 100.0f;
    else if (IsSet(e))
        *variable = e->floatParameters[0] * 0.01f;
}

// A bool row: get writes, set stores and then runs the row's follow-up.
template <class F>
bool LiveBool(TQOREvent* e, bool* variable, F&& afterSet)
{
    if (IsGet(e)) {
        e->intParameters[0] = *variable ? 1 : 0;
    } else if (IsSet(e)) {
        *variable = e->intParameters[0] != 0;
        afterSet();
    }
    return true;
}

bool LiveBool(TQOREvent* e, bool* variable)
{
    return LiveBool(e, variable, [] {});
}

template <class F>
bool LiveFloat(TQOREvent* e, float* variable, F&& afterSet)
{
    if (IsGet(e)) {
        e->floatParameters[0] = *variable;
    } else if (IsSet(e)) {
        *variable = e->floatParameters[0];
        afterSet();
    }
    return true;
}

template <class F>
bool LivePercent(TQOREvent* e, float* variable, F&& afterSet)
{
    const bool set = IsSet(e);
    ProcessLivePercentEvent(e, variable);
    if (set) afterSet();
    return true;
}

// Paint-on-channel flags: any named channel on warns that paint may go where
// the viewport does not show it; the first time as a box, later on the panel.
bool PaintChannel(TQOREvent* e, bool* flag)
{
    return LiveBool(e, flag, [] {
        WarningAboutNotPaintingOnCurrentChannelWasGiven = false;
        TKSN_Project* p = Project;
        const bool any = p->PaintColor || p->PaintBump || p->PaintTransparency || p->PaintDisplacement ||
                         p->PaintAmbient || p->PaintSpecular || p->PaintNoChannel;
        if (!any) return;
        if (!PaintChannelBoxShown) {
            PaintChannelBoxShown = true;
            OS.Message("%s", Lang.GetText(1157));
        } else {
            OS.WarningMessageNoRepeat("%s", Lang.GetText(1157));
        }
    });
}

// Only one thing at a time follows the mouse wheel.
bool MouseWheel(TQOREvent* e, int index)
{
    if (IsGet(e)) {
        e->intParameters[0] = App->mouseWheelModes[index] ? 1 : 0;
    } else if (IsSet(e)) {
        const bool on = e->intParameters[0] != 0;
        App->SetAllMouseWheelDudesToFalse();
        App->mouseWheelModes[index] = on;
    }
    return true;
}

// [Brush tiling] Tiling needs a brush image to tile: without one the user
// is told which feature wanted it and nothing changes.
constexpr int kTextNeedsBrushImage = 1483;   // "Please specify a brush image before using this feature (%s)"
constexpr int kTextTileBrushImage = 342;
constexpr int kTextBrushTileView = 1481;
constexpr int kTextBrushTileSetup = 1485;
constexpr int kTextOn = 1463;
constexpr int kTextOff = 1464;
constexpr int kCommandPreviousTool = 153;
constexpr int kCommandRefreshInterface = 432;
constexpr int kCommandViewportCaptions = 455;
constexpr int kToolTypeTabPaint = 3;

bool HasBrushImage(TKSN_Project* p) { return p->GetCurrentTextureBrushImage() != nullptr; }

bool TileToolIsCurrent()
{
    return App->tileSetupTool && App->currentTool == static_cast<TKSN_Tool*>(App->tileSetupTool);
}

bool ToggleBrushTiling(TKSN_Project* p)
{
    if (!HasBrushImage(p)) {
        OS.WarningMessage(Lang.GetText(kTextNeedsBrushImage), Lang.GetText(kTextTileBrushImage));
        return true;
    }
    p->TileBrushTexture = !p->TileBrushTexture;
    if (TileToolIsCurrent() && !p->TileBrushTexture) QOREvents_PushEvent(kCommandPreviousTool);
    p->OnAllViewportsChanged();
    p->InvalidateOverlay();
    QOREvents_PushEvent(kCommandRefreshInterface);
    OS.PrintMessageNoRepeat("%s - %s", Lang.GetText(kTextTileBrushImage),
                            Lang.GetText(p->TileBrushTexture ? kTextOn : kTextOff));
    return true;
}

bool ToggleBrushTileView(TKSN_Project* p)
{
    if (!HasBrushImage(p)) {
        OS.WarningMessageNoRepeat(Lang.GetText(kTextNeedsBrushImage), Lang.GetText(kTextBrushTileView));
        p->SetSpecialDisplayMode(0);
        QOREvents_PushEvent(kCommandViewportCaptions);
        return true;
    }
    p->ToggleSpecialDisplayMode(2);
    OS.PrintMessageNoRepeat("%s - %s", Lang.GetText(kTextBrushTileView),
                            Lang.GetText(p->GetSpecialDisplayMode() == 2 ? kTextOn : kTextOff));
    p->OnAllViewportsChanged();
    return true;
}

bool ChooseTileSetupTool(TKSN_Project* p)
{
    if (TileToolIsCurrent()) {
        QOREvents_PushEvent(kCommandPreviousTool);
        return true;
    }
    TKSN_Tool* tileTool = App->tileSetupTool;
    if (!tileTool) return true;
    if (!HasBrushImage(p)) {
        OS.WarningMessageNoRepeat(Lang.GetText(kTextNeedsBrushImage), Lang.GetText(kTextBrushTileSetup));
        return true;
    }
    App->SetToolTypeTab(kToolTypeTabPaint);
    p->TileBrushTexture = true;
    p->ChangeTool(p->GetPolyMesh(), tileTool->ToolList, tileTool);
    return true;
}

// A set never leaves all three axes locked.
bool DeformLock(TQOREvent* e, bool* flag, int id)
{
    return LiveBool(e, flag, [id] {
        TKSN_Project* p = Project;
        if (p->DeformLockX && p->DeformLockY && p->DeformLockZ) (id == 51 ? p->DeformLockX : p->DeformLockZ) = false;
    });
}

bool ActionTarget(TQOREvent* e, int mode)
{
    if (IsGet(e)) {
        e->intParameters[0] = Project->AffectMode == mode ? 1 : 0;
    } else if (IsSet(e)) {
        Project->AffectMode = mode;
        Project->InvalidateAffectedObjectsStencil();
    }
    return true;
}

void ToggleSelectionType()
{
    if (App->selectionType == eSelectionType_Vertex) {
        App->SetSelectionType(eSelectionType_Polygon);
        OS.PrintMessageNoRepeat("%s", Lang.GetText(1495));
    } else {
        App->SetSelectionType(eSelectionType_Vertex);
        OS.PrintMessageNoRepeat("%s", Lang.GetText(1494));
    }
    Project->OnFullSurfaceChanged();
    Project->OnAllViewportsChanged();
}

void SwitchSelectionType(eSelectionType type, int undoText, int messageText)
{
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(Project->GetObjectList());
    int selected = 0;
    if (objects)
        for (TKSN_Object* object : *objects)
            if (TKSN_Mesh* mesh = object ? object->Mesh.get() : nullptr) selected += mesh->GetSelectedVertexCount();
    if (selected) Project->BeforeSelect(Lang.GetText(undoText));
    App->SetSelectionType(type);
    Project->InvalidateAffectedObjectsStencil();
    if (objects)
        for (TKSN_Object* object : *objects)
            if (TKSN_Mesh* mesh = object ? object->Mesh.get() : nullptr) {
                mesh->OnSelectionChanged();
                mesh->GetSelectedVertexCount();
            }
    OS.PrintMessageNoRepeat("%s", Lang.GetText(messageText));
    Project->SetFlashSelection();
    Project->OnAllViewportsChanged();
    Project->OnFullSurfaceChanged();
}

bool SelectionTypeIs(TQOREvent* e, eSelectionType type, int undoText, int messageText)
{
    if (IsGet(e))
        e->intParameters[0] = App->selectionType == type ? 1 : 0;
    else if (IsSet(e))
        SwitchSelectionType(type, undoText, messageText);
    return true;
}

bool Culling(int method)
{
    if (method == 1) OS.WarningMessageNoRepeat("%s", Lang.GetText(1670));
    Project->SetCullingMethod(method);
    QOREvents_PushEvent(431);
    return true;
}

// A drag that ends within one pixel of a whole strength lands on it.
float SnapToGauge(float s, const TGui_Gauge* gauge)
{
    const float r = float(KSN_RoundForInterface(s));
    const int width = gauge->Width > 0 ? gauge->Width : 1;
    return std::fabs(s - r) < (gauge->Maximum - gauge->Minimum) * 0.01f / float(width) ? r : s;
}

void SetMorphStrength(TKSN_Morph* morph, float strength)
{
    morph->Strength = strength;
    auto* mesh = dynamic_cast<TKSN_Mesh*>(__GetThingyFromID(morph->GetOwnerID()));
    if (mesh && mesh->GetOwnerObject()) Project->OnShapeChanged(mesh->GetOwnerObject(), true, true);
}

// Drops member IDs that name no morph any more, then gives the rest strength.
void SetUnionMembers(TKSN_MorphUnion* u, float strength)
{
    for (int i = u->ItemIDs.Count() - 1; i >= 0; --i)
        if (!dynamic_cast<TKSN_Morph*>(__GetThingyFromID(u->ItemIDs[i]))) u->ItemIDs.Delete(i);
    for (unsigned id : u->ItemIDs) SetMorphStrength(dynamic_cast<TKSN_Morph*>(__GetThingyFromID(id)), strength);
}

// Morph or union strength, shown as a percentage. The members always take
// the value the union gets, so a union and its morphs never disagree.
bool MorphStrength(TQOREvent* e)
{
    TQORThingy* thingy = e->intParameters[0] ? __GetThingyFromID(uint32_t(e->intParameters[0])) : nullptr;
    auto* u = dynamic_cast<TKSN_MorphUnion*>(thingy);
    auto* morph = u ? nullptr : dynamic_cast<TKSN_Morph*>(thingy);
    if (!u && !morph) return true;
    if (IsGet(e)) {
        e->floatParameters[0] = 100.0f * (u ? u->Strength : morph->Strength);
        return true;
    }
    if (!IsSet(e)) return true;
    auto* gauge = e->dispatcherID ? dynamic_cast<TGui_Gauge*>(__GetThingyFromID(e->dispatcherID)) : nullptr;
    float s = e->floatParameters[0] * 0.01f;
    if (gauge) s = SnapToGauge(s, gauge);
    if (u) {
        u->Strength = s;
        SetUnionMembers(u, s);
        if (u->multiSelected) {
            std::unique_ptr<TQORNewStaticList<TKSN_MorphUnion*>> unions(Project->GetMorphUnionList());
            if (unions)
                for (TKSN_MorphUnion* v : *unions) {
                    if (v == u || !v->multiSelected || v->IsBaseVertices()) continue;
                    v->Strength = s > v->MaxStrength ? v->MaxStrength : std::max(s, v->MinStrength);
                    SetUnionMembers(v, v->Strength);
                }
        }
    } else {
        SetMorphStrength(morph, s);
    }
    if (gauge) {
        char caption[64];
        std::snprintf(caption, sizeof caption, "%.0f", 100.0f * s);
        gauge->SetName(caption, true);
    }
    QOREvents_PushEvent(7);
    return true;
}

bool MorphUndoBracket(TQOREvent* e)
{
    if (!Project->GetPolyMesh()) return false;
    if (e->GetMouseState() == 0)
        Project->SetupUndoForMorphMixerValues(nullptr, Lang.GetText(1240));
    else if (e->GetMouseState() == 1)
        Project->DeleteLastMorphMixerUndoNodeIfNoChange();
    return true;
}

TKSN_Mesh* OwnerMesh(TQOREvent* e)
{
    auto* object = e->GetOwnerID() ? dynamic_cast<TKSN_Object*>(__GetThingyFromID(e->GetOwnerID())) : nullptr;
    return object ? object->Mesh.get() : nullptr;
}

bool ObjectRow(TQOREvent* e)
{
    TKSN_Mesh* mesh = OwnerMesh(e);
    if (!mesh) return false;
    char text[QOR_FLOAT_WITH_COMMAS_MAX];
    switch (e->GetCommand()) {
    case 20:
        Project->OnSymmetrySettingsChanged(mesh, true);
        Project->OnAllViewportsChanged();
        return true;
    case 21:
        if (IsGet(e)) {
            e->floatParameters[0] = float(mesh->TargetMaxSubDPolygonCount);
        } else if (IsSet(e)) {
            mesh->TargetMaxSubDPolygonCount = int32_t(e->floatParameters[0]);
            FloatToStringWithCommas(text, float(mesh->TargetMaxSubDPolygonCount), 4);
            OS.PrintMessageNoRepeat("%s - %s", Lang.GetText(1595), text);
        }
        return true;
    case 22:
        if (IsGet(e)) {
            e->floatParameters[0] = float(mesh->GetCurrentSubDLevel());
        } else if (IsSet(e)) {
            mesh->SetCurrentSubDLevel(int(e->floatParameters[0]));
            FloatToStringWithCommas(text, float(mesh->GetCurrentSubDLevel()), 4);
            OS.PrintMessageNoRepeat("%s - %s", Lang.GetText(1614), text);
        }
        return true;
    // TODO(stub): the mesh keeps no symmetry offset or precision yet; ids 17
    // to 19 refuse until it does.
    default: return false;
    }
}

} // namespace

int32_t KSN_RoundForInterface(float value)
{
    return value >= 0.0f ? int32_t(std::floor(value + 0.5f)) : int32_t(value);
}

void ProcessLiveBoolEvent(TQOREvent* event, bool* variable, int32_t followUp)
{
    LiveBool(event, variable, [followUp] {
        if (followUp) QOREvents_PushEvent(followUp);
    });
}

void ProcessLiveFloatEvent(TQOREvent* event, float* variable) { LiveFloat(event, variable, [] {}); }

bool Kestrune_Events_InterfaceVariablesCB(TQOREvent* e)
{
    if (!e || !Project || !App) return false;
    bool handled = false;
    const bool toolResult = Kestrune_Events_ToolCommandCB(e, &handled);
    if (handled) return toolResult;

    TKSN_Project* p = Project;
    // Mixing and flipping shape the colourised brush image the brushes paint with.
    const auto brushImageChanged = [p] {
        p->CreateColorizedBrushImage();
        p->InvalidateOverlay();
        p->OnAllViewportsChanged();
    };
    const auto stencil = [p] { p->InvalidateAffectedObjectsStencil(); };
    const int id = e->GetCommand();
    switch (id) {
    case 17:
    case 18:
    case 19:
    case 20:
    case 21:
    case 22: return ObjectRow(e);
    case 23: return LiveFloat(e, &p->TileRepeat, [p] { p->TiledPixelsValid = false; });
    case 24:
    case 25:
    case 26:
    case 27: p->SetPaintMappingStyle(id - 24); return true;
    case 29: return LiveBool(e, &p->MixColorAndTexture, brushImageChanged);
    case 30: return LiveBool(e, &p->FlipBrushTextureX, brushImageChanged);
    case 31: return LiveBool(e, &p->FlipBrushTextureY, brushImageChanged);
    case 32:
        return LiveBool(e, &p->TileBrushTexture, [p] {
            if (TileToolIsCurrent() && !p->TileBrushTexture) QOREvents_PushEvent(kCommandPreviousTool);
            p->OnAllViewportsChanged();
            p->InvalidateOverlay();
            QOREvents_PushEvent(432);
        });
    case 37:
        return LiveBool(e, &p->PaintOverlayFlag, [p] {
            if (p->PaintOverlayFlag) p->InvalidateOverlay();
        });
    case 38: return LiveBool(e, &p->FastPainting);
    case 39:
        p->PaintOnSelectionOnly = true;
        if (IsSet(e)) OS.DebugMessage("%s", "PaintOnSelectionOnly should always be true from now on");
        return true;
    case 40: return LiveBool(e, &p->AntiAliasPaint, [p] { p->OnAllViewportsChanged(); });
    case 41:
        p->ToggleSpecialDisplayMode(1);
        App->PrintMessageForBoolChange(p->SpecialDisplayMode == 1, Lang.GetText(1465));
        return true;
    case 43:
        p->ToggleSpecialDisplayMode(3);
        App->PrintMessageForBoolChange(p->SpecialDisplayMode == 3, Lang.GetText(1657));
        return true;
    case 45: return LiveBool(e, &p->ForceWireframeOverlayForModeler, [p] { p->OnAllViewportsChanged(); });
    case 46: return LiveBool(e, &NavShowOrigin);
    case 47: return LiveBool(e, &App->autoCentre);
    case 48: return LiveBool(e, &App->snapToClosestVertex, [] { QOREvents_PushEvent(431); });
    case 49: return DeformLock(e, &p->DeformLockX, id);
    case 50: return DeformLock(e, &p->DeformLockY, id);
    case 51: return DeformLock(e, &p->DeformLockZ, id);
    case 55: return LiveBool(e, &p->BrushMarkedVerticesOnly, [] { App->stateFlags &= ~1u; });
    case 56:
        return LiveBool(e, &p->DoAngleFade, [p] {
            p->InvalidateAffectedObjectsStencil();
            if (!App->perVertexSymmetry && p->DoAngleFade) OS.WarningMessage("%s", Lang.GetText(1662));
            p->InvalidateAffectedObjectsStencil();
            QOREvents_PushEvent(431);
        });
    case 57: return LivePercent(e, &p->FadeFalloff, stencil);
    case 58: return LivePercent(e, &p->FadeCutoff, stencil);
    case 59: return LiveBool(e, &p->MirrorX);
    case 60: return LiveBool(e, &p->MirrorY);
    case 61: return LiveBool(e, &SmartCulling_AutoAlignBrush);
    case 62: return LiveBool(e, &SmartCulling_DepthFade);
    case 63: return LiveBool(e, &SmartCulling_Backface);
    case 64: return LiveBool(e, &p->ExtraSoftBrushStrokes);
    case 65:
        return LivePercent(e, &QORglutWigits_InterfaceBrightness, [] {
            OS.PrintMessageNoRepeat("%s - %.0f", Lang.GetText(365), double(QORglutWigits_InterfaceBrightness * 100.0f));
        });
    case 66: return MorphStrength(e);
    case 67: return MorphUndoBracket(e);
    case 71: return LiveBool(e, &App->tabletPressureVariesStrength);
    case 72: return LiveBool(e, &App->tabletPressureVariesPseudoSize);
    case 73: return LiveBool(e, &App->tabletPressureVariesDensity);
    case 74: return LiveBool(e, &App->tabletPressureVariesHardness);
    case 75: return ActionTarget(e, 0);
    case 76: return ActionTarget(e, 1);
    case 78: return PaintChannel(e, &p->PaintCurrentChannel);
    case 79: return PaintChannel(e, &p->PaintColor);
    case 80: return PaintChannel(e, &p->PaintBump);
    case 81: return PaintChannel(e, &p->PaintTransparency);
    case 82: return PaintChannel(e, &p->PaintDisplacement);
    case 83: return PaintChannel(e, &p->PaintSpecular);
    case 84: return PaintChannel(e, &p->PaintAmbient);
    case 85: return PaintChannel(e, &p->PaintNoChannel);
    case 86:
    case 87:
    case 88:
    case 89:
    case 90: return MouseWheel(e, id - 86);
    case 91: return LivePercent(e, &App->mouseWheelSensitivity, [] {});
    case 92: return LivePercent(e, &App->tabletSensitivity, [] {});
    case 93: return LivePercent(e, &App->tabletCutoff, [] {});
    case 94: ToggleSelectionType(); return true;
    case 95: return SelectionTypeIs(e, eSelectionType_Vertex, 7, 1494);
    case 96: return SelectionTypeIs(e, eSelectionType_Polygon, 8, 1495);
    case 97:
    case 98:
    case 99:
    case 100:
    case 101: return Culling(id - 97);
    case 102:
        if (IsGet(e)) {
            e->floatParameters[0] = float(App->CurrentFrame);
        } else if (IsSet(e)) {
            App->CurrentFrame = KSN_RoundForInterface(e->floatParameters[0]);
            OS.PrintMessage("CurrentFrame is now frame %d", App->CurrentFrame);
            QOREvents_PushEvent(7);
        }
        return true;
    case 36: return ToggleBrushTiling(p);
    case 42: return ToggleBrushTileView(p);
    case 44: return ChooseTileSetupTool(p);
    default: return false;
    }
}
