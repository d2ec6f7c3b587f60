// The selection weight operations: Select All, Invert, Soften, Harden,
// Normalize, Grow, Shrink and the select and unselect commands of the
// Manager's double clicks. Every one runs inside the selection-edit bracket:
// BeforeSelect (one undo step for every affectable object), the work,
// AfterFullSelection(false) and, except Select All, the flash.
//
// The commands that also change objects BeforeSelect does not record (those
// the affect mode or read-only state excludes: 252, 253, 255, 257) record a
// selection undo node of their own for each such object before touching it,
// so that one Undo gives back every weight they changed.
#include "KSN_Commands_Selection.h"
#include "KSN_Commands_Selection_Internal.h"

#include "KSN_Gui_MainWindow.h"
#include "KSN_SelectionBlocks.h"
#include "KSN_Undo.h"
#include "QORMaterial.h"
#include "OS.h"
#include "QORLanguage.h"

#include <algorithm>
#include <cmath>
#include <vector>

using namespace ksn_selection_cmd;

namespace {

float Clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

void Begin(const char* label) { Project->BeforeSelect(label); }

void Finish(bool flash)
{
    Project->AfterFullSelection(false);
    if (flash) Project->SetFlashSelection();
}

// An undo node for an object that BeforeSelect has left out.
void RecordIfUnrecorded(TKSN_Object* object, const char* label)
{
    if (!Affectable(object)) Project->SetupCurrentUndo(object, KSN_UNDO_SELECTION, 0, label, false);
}

bool ShiftHeld()
{
    TKSN_MainWindow* w = GetMainWindow();
    return w ? w->IsShiftHeld() : OS.IsShiftHeld();
}
bool AltHeld()
{
    TKSN_MainWindow* w = GetMainWindow();
    return w ? w->IsAltHeld() : OS.IsAltHeld();
}

// Every visible and unlocked item of the current selection type gets value(old).
// Where each item reads only its own old weight (no weld rule to follow), the
// items are split over the worker pool; value must then be a plain function.
// Returns true when that split pass found no vertex hidden or locked.
template <class F>
bool ForEditableItems(TKSN_Mesh* mesh, F&& value, bool throughSetVSelect)
{
    const int type = SelectionType();
    if (type == 0 && (!throughSetVSelect || !mesh->Welded || mesh->IgnoreWelding)) {
        TQORVertexInfo* info = mesh->VertexInfo;
        const size_t count = size_t(std::max(mesh->GetVCount(), 0));
        // Each block notes whether it skipped a vertex, in its own slot.
        std::vector<uint8_t> skipped(ksn_selection_blocks::BlockCount(count), 0);
        ksn_selection_blocks::ForBlocks(count, [&](size_t block, size_t first, size_t end) {
            uint32_t seen = 0;
            for (size_t v = first; v < end; ++v) {
                const uint32_t flags = info[v].Flags;
                seen |= flags;
                if ((flags & HiddenOrLocked) == 0) info[v].Select = Clamp01(value(info[v].Select));
            }
            skipped[block] = (seen & HiddenOrLocked) != 0;
        });
        return std::find(skipped.begin(), skipped.end(), 1) == skipped.end();
    } else if (type == 0) {
        for (int v = 0; v < mesh->GetVCount(); ++v) {
            if (!VertexEditable(mesh, v)) continue;
            const float w = value(mesh->GetResolvedVSelect(v));
            if (throughSetVSelect)
                mesh->SetVSelect(v, w);
            else
                mesh->VertexInfo[v].Select = Clamp01(w);
        }
    } else if (type == 1) {
        ksn_selection_blocks::ForBlocks(size_t(std::max(mesh->GetPCount(), 0)), [&](size_t, size_t first, size_t end) {
            for (size_t p = first; p < end; ++p)
                if (PolygonEditable(mesh, int(p))) mesh->Polygons[p].Select = Clamp01(value(mesh->Polygons[p].Select));
        });
    }
    return false;
}

// The largest weight of the editable items of the current selection type, at
// least start. Blocks on the pool each take their own largest, combined in
// block order: a largest that starts at +0 and only moves to a greater value
// comes out the same in any order.
float LargestEditableWeight(TKSN_Mesh* mesh, float start)
{
    const int type = SelectionType();
    if (type != 0 && type != 1) return start;
    const size_t count = size_t(std::max(type == 0 ? mesh->GetVCount() : mesh->GetPCount(), 0));
    std::vector<float> largest(ksn_selection_blocks::BlockCount(count), 0.0f);
    ksn_selection_blocks::ForBlocks(count, [&](size_t block, size_t first, size_t end) {
        float m = 0.0f;
        if (type == 0) {
            for (size_t v = first; v < end; ++v)
                if (VertexEditable(mesh, int(v))) m = std::max(m, mesh->VertexInfo[v].Select);
        } else {
            for (size_t p = first; p < end; ++p)
                if (PolygonEditable(mesh, int(p))) m = std::max(m, mesh->Polygons[p].Select);
        }
        largest[block] = m;
    });
    for (float m : largest) start = std::max(start, m);
    return start;
}

// 236
bool SelectAll()
{
    OS.PrintMessage("%s", Lang.GetText(17));
    Begin(Lang.GetText(17));
    for (TKSN_Object* o : ObjectsWhere(Affectable)) {
        TKSN_Mesh* mesh = o->Mesh.get();
        // With no vertex hidden or locked every vertex now weighs 1, which
        // spares the conversion below reading them back.
        mesh->UniformVertexWeightKnown = ForEditableItems(mesh, [](float) { return 1.0f; }, false);
        mesh->UniformVertexWeight = 1.0f;
    }
    Finish(false);
    return true;
}

// 238
bool Invert()
{
    OS.PrintMessageNoRepeat("%s", Lang.GetText(579));
    Begin(Lang.GetText(21));
    for (TKSN_Object* o : ObjectsWhere(Affectable)) {
        ForEditableItems(o->Mesh.get(), [](float w) { return 1.0f - w; }, true);
        o->Mesh->OnSelectionChanged();
    }
    Finish(true);
    return true;
}

// 243
bool Soften()
{
    OS.PrintMessageNoRepeat("%s", Lang.GetText(578));
    const int mode = ShiftHeld() ? 1 : AltHeld() ? 2 : 0;
    Begin(Lang.GetText(31));
    for (TKSN_Object* o : ObjectsWhere(HasSelection)) {
        o->Mesh->SoftenSelection(false, mode);
        o->Mesh->OnSelectionChanged();
    }
    Finish(true);
    return true;
}

// 244. The thresholds and factors are single-precision values on purpose:
// a vertex of exactly 0.299 counts as selected.
bool Harden()
{
    OS.PrintMessageNoRepeat("%s", Lang.GetText(1008));
    Begin(Lang.GetText(33));
    const bool partial = OS.IsAltHeld();
    const int type = SelectionType();
    for (TKSN_Object* o : ObjectsWhere(HasSelection)) {
        TKSN_Mesh* mesh = o->Mesh.get();
        // One loop per rule, so that the item loops carry no test of the Alt key.
        if (type == 0 && partial)
            ForEditableItems(mesh, [](float v) { return v >= 0.299f ? 0.9f * v + 0.1f : 0.9f * v; }, true);
        else if (type == 0)
            ForEditableItems(mesh, [](float v) { return v >= 0.299f ? 1.0f : 0.0f; }, true);
        else if (type == 1 && partial)
            ForEditableItems(mesh, [](float v) {
                const float x = (v - 0.0499f) / 0.9501f;
                if (x <= 0.0f) return 0.0f;
                return float(std::pow(double(x), double(0.8f)));
            }, true);
        else if (type == 1)
            ForEditableItems(mesh, [](float v) { return v >= 0.0499f ? 1.0f : 0.0f; }, true);
        mesh->OnSelectionChanged();
    }
    Finish(true);
    return true;
}

// 245
bool Normalize()
{
    if (!Project->GetPolyMesh()) return false;
    OS.PrintMessageNoRepeat("%s", Lang.GetText(1009));
    Begin(Lang.GetText(771));
    float largest = 0.0f;
    for (TKSN_Object* o : ObjectsWhere(HasSelection)) largest = LargestEditableWeight(o->Mesh.get(), largest);
    if (largest <= 1e-30f) return true;
    for (TKSN_Object* o : ObjectsWhere(HasSelection))
        ForEditableItems(o->Mesh.get(), [largest](float w) { return w / largest; }, false);
    Finish(true);
    return true;
}

// 246, 247
bool GrowOrShrink(bool grow)
{
    OS.PrintMessageNoRepeat("%s", Lang.GetText(grow ? 1172 : 1173));
    Begin(Lang.GetText(grow ? 1174 : 1176));
    for (TKSN_Object* o : ObjectsWhere(Affectable)) {
        if (grow)
            o->Mesh->GrowSelection();
        else
            o->Mesh->ShrinkSelection();
    }
    Finish(true);
    return true;
}

// The highlight flags of a mesh's materials (groups), read up to the first
// entry of another class.
template <class List, class Item>
std::vector<bool> HighlightFlags(List* list)
{
    std::vector<bool> flags;
    if (!list) return flags;
    for (int i = 0; i < list->GetItemCount(); ++i) {
        auto* item = dynamic_cast<Item*>(list->GetItem(i));
        if (!item) break;
        flags.push_back(item->multiSelected);
    }
    return flags;
}

std::vector<bool> MaterialHighlights(TKSN_Mesh* mesh)
{
    return HighlightFlags<TQORMaterialList, TQORMaterial>(mesh->Materials);
}
std::vector<bool> GroupHighlights(TKSN_Mesh* mesh) { return HighlightFlags<TQORGroup2List, TQORGroup2>(mesh->Groups2); }

bool IsHighlighted(const std::vector<bool>& flags, int index)
{
    return index >= 0 && index < int(flags.size()) && flags[size_t(index)];
}

void SetCornersToMaster(TKSN_Mesh* mesh, int p, float value)
{
    const TQORPolygon& polygon = mesh->Polygons[p];
    for (int c = 0; c < polygon.Count; ++c) {
        const int v = polygon.Points[c].V;
        if (v < 0 || v >= mesh->GetVCount()) continue;
        mesh->VertexInfo[mesh->GetEffectiveVertex(v)].Select = value;
    }
}

// 252 (adds the highlighted materials) and 254 (the selection becomes the highlighted groups)
bool SelectBy(bool groups)
{
    const char* label = Lang.GetText(groups ? 986 : 942);
    OS.PrintMessageNoRepeat("%s", label);
    Begin(label);
    const int type = SelectionType();
    for (TKSN_Object* o : groups ? ObjectsWhere(Affectable) : ObjectsWhere(HasMesh)) {
        TKSN_Mesh* mesh = o->Mesh.get();
        if (!groups) RecordIfUnrecorded(o, label);
        const std::vector<bool> flags = groups ? GroupHighlights(mesh) : MaterialHighlights(mesh);
        const int listCount = groups ? (mesh->Groups2 ? mesh->Groups2->GetItemCount() : 0)
                                     : (mesh->Materials ? mesh->Materials->GetItemCount() : 0);
        for (int p = 0; p < mesh->GetPCount(); ++p) {
            if (!PolygonEditable(mesh, p)) continue;
            const int index = groups ? mesh->Polygons[p].Group : mesh->Polygons[p].Material;
            if (index < 0 || index >= listCount) continue;
            const bool on = IsHighlighted(flags, index);
            if (!groups && !on) continue;
            const float value = on ? 1.0f : 0.0f;
            if (type == 0)
                SetCornersToMaster(mesh, p, value);
            else if (type == 1)
                mesh->Polygons[p].Select = value;
        }
    }
    Finish(true);
    return true;
}

// 253, 255
bool UnselectBy(bool groups)
{
    const char* label = groups ? Lang.GetText(292) : "Unselect By Material";
    Begin(label);
    for (TKSN_Object* o : ObjectsWhere(HasMesh)) {
        TKSN_Mesh* mesh = o->Mesh.get();
        const std::vector<bool> flags = groups ? GroupHighlights(mesh) : MaterialHighlights(mesh);
        if (std::find(flags.begin(), flags.end(), true) == flags.end()) continue;
        RecordIfUnrecorded(o, label);
        for (int i = 0; i < int(flags.size()); ++i) {
            if (!flags[size_t(i)]) continue;
            if (groups)
                mesh->SelectGroup(i, 0.0f);
            else
                mesh->SelectMaterial(i, 0.0f);
        }
    }
    Finish(true);
    return true;
}

// 256
bool SelectHighlightedObjects()
{
    Begin(Lang.GetText(17));
    for (TKSN_Object* o : ObjectsWhere(Highlighted)) {
        if (o->IsReadOnly()) {
            OS.WarningMessageNoRepeat(Lang.GetText(1193), o->GetName());
            continue;
        }
        RecordIfUnrecorded(o, Lang.GetText(17));
        ForEditableItems(o->Mesh.get(), [](float) { return 1.0f; }, true);
    }
    Finish(true);
    return true;
}

// 257
bool ClearHighlightedObjects()
{
    Begin(Lang.GetText(17));
    for (TKSN_Object* o : ObjectsWhere(Highlighted)) {
        RecordIfUnrecorded(o, Lang.GetText(17));
        for (int v = 0; v < o->Mesh->GetVCount(); ++v) o->Mesh->SetVSelect(v, 0.0f);
    }
    Finish(true);
    return true;
}

} // namespace

bool KSN_SelectionWeightCommand(int id)
{
    switch (id) {
    case 236: return SelectAll();
    case 238: return Invert();
    case 243: return Soften();
    case 244: return Harden();
    case 245: return Normalize();
    case 246: return GrowOrShrink(true);
    case 247: return GrowOrShrink(false);
    case 252: return SelectBy(false);
    case 253: return UnselectBy(false);
    case 254: return SelectBy(true);
    case 255: return UnselectBy(true);
    case 256: return SelectHighlightedObjects();
    case 257: return ClearHighlightedObjects();
    default: return false;
    }
}
