// The map commands (458-477): resizing, normalising, inverting, making grey,
// clearing and recolouring the highlighted maps, folding their alpha masks,
// creating, renaming and deleting maps, and binding maps to material
// channels (also by a drop on a viewport). Every pixel edit records its
// map-edit undo step before the pixels change.
#include "KestruneEvents.h"

#include "GuiEditField.h"
#include "KSN_Application.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_MainWindow_Panels.h"
#include "KSN_Commands_FileIO.h"
#include "KSN_MapLayer.h"
#include "KSN_MapPixelOps.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "KSN_Startup_Services.h"
#include "KSN_Viewport.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"
#include "QORString.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

void Push(int command) { QOREvents_PushEvent(command); }

void WarnNoMap() { OS.WarningMessageNoRepeat("%s", Lang.GetText(1541)); }

template <class T> T* Resolve(uint32_t id) { return id ? dynamic_cast<T*>(__GetThingyFromID(id)) : nullptr; }


// The project's map list, highlighted maps only, in list order.
std::vector<TQORMaterialMapSource*> ListHighlighted()
{
    std::vector<TQORMaterialMapSource*> maps;
    std::unique_ptr<TQORNewStaticList<TQORMaterialMapSource*>> list(Project->GetMapList());
    if (list)
        for (TQORMaterialMapSource* map : *list)
            if (map && map->multiSelected) maps.push_back(map);
    return maps;
}

TKSN_MapLayer* CurrentMapLayer()
{
    TKSN_LayerGroup* root = Project->MapLayers ? Project->MapLayers->GetRootLayerGroup() : nullptr;
    if (!root) return nullptr;
    if (auto* layer = Resolve<TKSN_MapLayer>(root->GetCurrentLayerID())) return layer;
    auto* first = root->items && root->items->Count() > 0 ? dynamic_cast<TKSN_MapLayer*>((*root->items)[0]) : nullptr;
    if (first) root->SetCurrentLayer(first);
    return first;
}

// The image a pixel command edits: the map's image of the current map
// layer, or the map itself while there are no map layers.
TQORMaterialMapSource* TargetImage(TQORMaterialMapSource* map, TKSN_MapLayer* layer, bool create)
{
    return layer ? map->GetMapLayer(layer, create) : map;
}

size_t PixelCount(TQORImageMap* image) { return size_t(image->GetWidth()) * size_t(image->GetHeight()); }

// The target's mask bytes when the mask has the target's size, else null.
unsigned char* MaskOf(TQORMaterialMapSource* target)
{
    TQORImageMap& mask = target->GetAlphaMask();
    if (mask.GetWidth() != target->GetWidth() || mask.GetHeight() != target->GetHeight() ||
        mask.GetPixelBytes() < PixelCount(target))
        return nullptr;
    return mask.GetPixels();
}

bool HasRGB(TQORMaterialMapSource* target)
{
    return target && target->GetBytesPerPixel() == 3 && PixelCount(target) > 0 && target->GetPixels();
}

// [SECTION] Resize (459)

bool ResizeMaps()
{
    App->CleanTemporaryMemory();
    std::vector<TQORMaterialMapSource*> maps = KSN_HighlightedTreeMaps();
    if (maps.empty()) {
        WarnNoMap();
        Push(12);
        return false;
    }
    TKSN_NewMapWindow* window = KSN_GetNewMapWindow();
    const int width = window ? window->GetMapWidth() : QORDefaultTextureSize;
    const int height = window ? window->GetMapHeight() : QORDefaultTextureSize;
    std::vector<TKSN_LayerDefinition*> layers;
    if (Project->MapLayers) layers = Project->MapLayers->GetAllLayers();
    int resized = 0;
    for (TQORMaterialMapSource* map : maps) {
        if (map->GetWidth() == width && map->GetHeight() == height) continue;
        Project->SetupUndoForMapEdit(map, false);
        for (TKSN_LayerDefinition* layer : layers)
            if (TQORMaterialMapSource* image = map->GetMapLayer(layer, false))
                Project->SetupUndoForMapEdit(image, false);
        map->Resize(width, height);
        ++resized;
        Project->OnWholeMapChanged(map);
    }
    if (resized == 1)
        OS.PrintMessage(Lang.GetText(1104), width, height);
    else if (resized > 1)
        OS.PrintMessage(Lang.GetText(1105), resized, width, height);
    Project->OnMapTopologyChanged();
    if (window) window->Hide();
    Push(434);
    return true;
}

// [SECTION] Pixel edits (460-463, 476)

bool NormaliseMaps()
{
    TKSN_MapLayer* layer = CurrentMapLayer();
    int changed = 0;
    for (TQORMaterialMapSource* map : ListHighlighted()) {
        TQORMaterialMapSource* target = TargetImage(map, layer, false);
        if (!HasRGB(target)) continue;
        Project->SetupUndoForMapEdit(target, false);
        KSN_NormaliseMapPixels(target->GetPixels(), MaskOf(target), PixelCount(target));
        Project->OnWholeMapChanged(map);
        ++changed;
    }
    if (!changed) {
        WarnNoMap();
        Push(12);
    }
    Push(299);
    Push(434);
    return true;
}

bool InvertOrGrey(bool grey)
{
    TKSN_MapLayer* layer = CurrentMapLayer();
    int changed = 0;
    for (TQORMaterialMapSource* map : ListHighlighted()) {
        TQORMaterialMapSource* target = TargetImage(map, layer, false);
        if (!HasRGB(target)) continue;
        Project->SetupUndoForMapEdit(target, false);
        if (grey) {
            KSN_GreyMapPixels(target->GetPixels(), PixelCount(target));
            OS.PrintMessage(Lang.GetText(230), map->GetName());
        } else {
            KSN_InvertMapPixels(target->GetPixels(), PixelCount(target));
            OS.PrintMessage(Lang.GetText(773), map->GetName());
        }
        Project->OnWholeMapChanged(map);
        ++changed;
    }
    if (!changed) {
        WarnNoMap();
        Push(12);
    }
    if (grey) Project->OnAllViewportsChanged();
    Push(434);
    return true;
}

unsigned char ToByte(float v) { return (unsigned char)std::clamp(int(v * 255.0f), 0, 255); }

bool ClearMaps()
{
    std::vector<TQORMaterialMapSource*> maps = KSN_HighlightedTreeMaps();
    if (maps.empty()) {
        WarnNoMap();
        return false;
    }
    TKSN_MapLayer* layer = CurrentMapLayer();
    const unsigned char colour[3] = {ToByte(App->secondaryPaintColor[0]), ToByte(App->secondaryPaintColor[1]),
                                     ToByte(App->secondaryPaintColor[2])};
    const bool alt = MainWindow && MainWindow->IsAltHeld();
    for (TQORMaterialMapSource* map : maps) {
        TQORMaterialMapSource* target = TargetImage(map, layer, alt);
        if (!HasRGB(target)) continue;
        Project->SetupUndoForMapEdit(target, false);
        unsigned char* p = target->GetPixels();
        const size_t count = PixelCount(target);
        for (size_t i = 0; i < count; ++i, p += 3) std::memcpy(p, colour, 3);
        if (unsigned char* mask = MaskOf(target)) std::memset(mask, alt ? 255 : 0, count);
        map->InvalidateResolvedMap();
        Project->OnWholeMapChanged(map);
        if (maps.size() == 1) OS.PrintMessageNoRepeat(Lang.GetText(1106), map->GetName());
    }
    if (maps.size() > 1) OS.PrintMessage(Lang.GetText(1107), int(maps.size()));
    Push(456);
    Push(434);
    return true;
}

bool ChooseDefaultColour()
{
    std::vector<TQORMaterialMapSource*> maps = KSN_HighlightedTreeMaps();
    if (maps.empty()) {
        WarnNoMap();
        Push(12);
        return false;
    }
    const float* start = maps.front()->GetDefaultColor();
    float chosen[3];
    if (OS.ExecuteColorDialog(chosen, start))
        for (TQORMaterialMapSource* map : maps) map->SetDefaultColor(chosen);
    Push(434);
    return true;
}

bool FoldAlpha()
{
    const int base[3] = {int(App->secondaryPaintColor[0] * 255.0f), int(App->secondaryPaintColor[1] * 255.0f),
                         int(App->secondaryPaintColor[2] * 255.0f)};
    for (TQORMaterialMapSource* map : ListHighlighted()) {
        if (!HasRGB(map)) continue;
        const unsigned char* mask = MaskOf(map);
        if (!mask) continue;
        Project->SetupUndoForMapEdit(map, false);
        KSN_FoldAlphaMapPixels(map->GetPixels(), mask, PixelCount(map), base);
        map->GetAlphaMask().SetDimensions(0, 0, 1);
        Project->OnWholeMapChanged(map);
    }
    Push(299);
    Push(435);
    return true;
}

// [SECTION] Binding maps to channels (468, 469)

bool SameName(const char* a, const char* b) { return QORstrcmpi(a, b) == 0; }

void BindChannel(TQORMaterialChannel* channel, TQORMaterialMap* binding, TQORMaterialMapSource* map)
{
    channel->SetMapID(binding ? int(binding->GetID()) : 0);
    channel->SetMapFileName(map ? map->GetMapFileName() : "");
}

bool BindMap(TQOREvent* event)
{
    auto* mesh = Resolve<TKSN_Mesh>(event->idParameters[1]);
    auto* material = Resolve<TQORMaterial>(event->idParameters[2]);
    if (!mesh || !material) return false;
    TKSN_Object* object = mesh->OwnerObject;
    Project->SetupUndoForMapAssignments(object, Lang.GetText(819), false);
    auto* channel = Resolve<TQORMaterialChannel>(event->idParameters[0]);
    if (!channel) return false;
    const uint32_t mapID = event->idParameters[3];
    auto* map = Resolve<TQORMaterialMapSource>(mapID);
    auto* shown = Resolve<TQORMaterialMap>(channel->GetMapID());
    if (shown && map && shown->GetMapSourceID() == map->GetID()) return false;
    if ((!shown || channel->GetMapID() == 0) && mapID == 0) return false;
    // A request that names a map that is gone would clear the channel; it is
    // refused instead so that nothing is lost.
    if (mapID != 0 && !map) return false;
    TQORMaterialMap* binding = map ? Project->GetMapFromSource(mesh, map, true) : nullptr;
    const char* objectName = object ? object->GetName() : "";
    if (event->intParameters[0] == 1) {
        for (int i = 0; mesh->Materials && i < mesh->Materials->GetItemCount(); ++i) {
            TQORMaterial* m = KSN_MaterialFromThingy(mesh->Materials->GetItem(i));
            if (!m) break;
            for (TQORMaterialChannel* c : m->ArbChannels)
                if (c && SameName(c->GetName(), channel->GetName())) BindChannel(c, binding, map);
        }
        if (map)
            OS.PrintMessageNoRepeat(Lang.GetText(1253), map->GetName(), channel->GetName(), objectName);
        else
            OS.PrintMessageNoRepeat(Lang.GetText(1256), channel->GetName(), objectName);
    } else {
        BindChannel(channel, binding, map);
        if (map)
            OS.PrintMessageNoRepeat(Lang.GetText(1254), map->GetName(), channel->GetName(), material->GetName(),
                                    objectName);
        else
            OS.PrintMessageNoRepeat(Lang.GetText(1255), channel->GetName(), material->GetName(), objectName);
    }
    if (Project->DoesChannelInvalidateSubDRender(channel))
        mesh->InvalidateAllInOSpace();
    else
        mesh->InvalidateAllOctreeNodeDisplayLists();
    Push(299);
    if (map) Project->OnWholeMapChanged(map);
    Project->OnMapTopologyChanged();
    if (SameName(channel->GetName(), "Transparency") && mapID == 0 && channel->Strength > 0.9f &&
        OS.MessageYesNo("%s", Lang.GetText(635)))
        channel->Strength = 0.0f;
    Push(434);
    return true;
}

bool DropMapOnViewport(TQOREvent* event)
{
    auto* panel = Resolve<TKSN_ViewportPanel>(event->GetOwnerID());
    TKSN_Viewport* viewport = panel ? panel->GetViewport() : nullptr;
    if (!viewport) return false;
    if (viewport->DisplayMode != 3) {
        OS.WarningMessage("%s", Lang.GetText(1075));
        Push(278);
        return false;
    }
    const char* payload = event->GetStringParameter(0);
    if (!payload || !*payload) return false;
    const size_t n = std::strlen(payload) + 1;
    std::vector<char> command(n, '\0'), parameter(n, '\0');
    GetCommandAndParameter(payload, command.data(), parameter.data());
    unsigned id = 0;
    if (std::sscanf(parameter.data(), "%u", &id) != 1) return false;
    auto* map = Resolve<TQORMaterialMapSource>(id);
    if (!map) return false;
    const float w = float(std::max(panel->Width, 1)), h = float(std::max(panel->Height, 1));
    const float fx = 2.0f * float(event->GetX()) / w - 1.0f;
    const float fy = 2.0f * (1.0f - float(event->GetY()) / h) - 1.0f;
    TKSN_MeshRoot* root = nullptr;
    int polygon = -1;
    if (!Project->GetClosestPolygonAndMesh(viewport, root, polygon, fx, fy, false, true) || polygon < 0) return true;
    auto* mesh = dynamic_cast<TKSN_Mesh*>(root);
    if (!mesh || polygon >= mesh->polygonCount) return true;
    const int index = mesh->Polygons[polygon].Material;
    TQORMaterial* material = mesh->Materials && index >= 0 && index < mesh->Materials->GetItemCount()
                                 ? KSN_MaterialFromThingy(mesh->Materials->GetItem(index))
                                 : nullptr;
    if (!material) {
        OS.WarningMessage("%s", Lang.GetText(1250));
        return false;
    }
    TQORMaterialChannel* channel = Project->GetActiveChannelFromMaterial(viewport, material);
    if (!channel) {
        OS.WarningMessage("%s", Lang.GetText(1075));
        Push(278);
        return false;
    }
    bool whole = false;
    if (mesh->Materials->GetItemCount() >= 2) {
        const char* objectName = mesh->OwnerObject ? mesh->OwnerObject->GetName() : "";
        whole = OS.MessageYesNo(Lang.GetText(1252), objectName, material->GetName());
    }
    auto* bind = new TQOREvent(nullptr, 0, 468);
    channel->RegisterForLookup();
    mesh->RegisterForLookup();
    material->RegisterForLookup();
    bind->idParameters[0] = channel->GetID();
    bind->idParameters[1] = mesh->GetID();
    bind->idParameters[2] = material->GetID();
    bind->idParameters[3] = map->GetID();
    bind->intParameters[0] = whole ? 1 : 0;
    QOREvents_PushEvent(bind);
    return true;
}

// [SECTION] Deleting, creating, renaming (470-473)

bool DeleteMaps()
{
    std::vector<TQORMaterialMapSource*> maps = KSN_HighlightedTreeMaps();
    const int count = Project->Maps ? Project->Maps->GetSelectedCount(true, true) : 0;
    if (maps.empty() || count == 0) {
        WarnNoMap();
        Push(12);
        return false;
    }
    const bool yes = count == 1 ? OS.MessageYesNo("%s", Lang.GetText(304))
                                : OS.MessageYesNo("Are you sure you want to delete the %d selected items?", count);
    if (!yes) return false;
    std::vector<TQORMaterialChannel*> transparency;
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(Project->GetObjectList());
    if (objects)
        for (TKSN_Object* object : *objects) {
            TKSN_Mesh* mesh = object ? object->Mesh.get() : nullptr;
            for (int i = 0; mesh && mesh->Materials && i < mesh->Materials->GetItemCount(); ++i) {
                TQORMaterial* material = KSN_MaterialFromThingy(mesh->Materials->GetItem(i));
                if (!material) break;
                for (TQORMaterialChannel* c : material->ArbChannels) {
                    if (!c || !SameName(c->GetName(), "Transparency")) continue;
                    auto* binding = Resolve<TQORMaterialMap>(c->GetMapID());
                    TQORMaterialMapSource* source = binding ? binding->GetMapSource() : nullptr;
                    if (source && source->multiSelected) transparency.push_back(c);
                }
            }
        }
    if (!transparency.empty() && OS.MessageYesNo("%s", Lang.GetText(636)))
        for (TQORMaterialChannel* c : transparency) c->Strength = 0.0f;
    // The touch-up renderer and the vertex culling read the maps and the
    // visible lists; they stop before anything is deleted under them.
    CancelAllViewportDependentWorkhorses();
    Project->Maps->DeleteSelectedItems();
    Project->CleanMapBindings();
    Push(432);
    return true;
}

bool CreateMap(TQOREvent* event)
{
    TKSN_NewMapWindow* window = KSN_GetNewMapWindow();
    if (!window) return false;
    const int width = window->GetMapWidth(), height = window->GetMapHeight();
    auto* field = Resolve<TGui_EditText>(event->GetOwnerID());
    if (!field) field = window->NameField;
    const std::string name = field && field->EditField && field->EditField->GetText() ? field->EditField->GetText() : "";
    std::vector<char> message(2048, '\0');
    if (!IsMapNameUnique(name.c_str(), nullptr, message.data())) {
        message.back() = '\0';
        if (message[0])
            OS.ErrorMessage("%s", message.data());
        else
            OS.ErrorMessage(Lang.GetText(1215), name.c_str());
        return false;
    }
    window->Hide();
    TQORMaterialMapSource* map = Project->CreateMapSource();
    map->SetDimensions(width, height, 3);
    map->SetName("%s", name.c_str());
    const float* colour = map->GetDefaultColor();
    unsigned char rgb[3];
    for (int c = 0; c < 3; ++c) rgb[c] = (unsigned char)std::clamp(int(colour[c] * 255.0f), 0, 255);
    unsigned char* p = map->GetPixels();
    for (size_t i = 0; p && i < PixelCount(map); ++i) std::memcpy(p + 3 * i, rgb, 3);
    map->OnWholeMapChanged();
    Project->ClearManagerSelections(nullptr);
    map->RegisterForLookup();
    Project->Maps->SelectItem(map->GetID(), false, false);
    map->MakeThumbnail(nullptr, nullptr);
    map->PushPixelsToVirtualMemory();
    Push(435);
    Push(434);
    Push(12);
    return true;
}

bool OpenNewMapWindow(int mode)
{
    TKSN_NewMapWindow* window = KSN_GetNewMapWindow();
    if (!window) return false;
    window->Mode = mode;
    if (mode == TKSN_NewMapWindow::ModeResize) {
        std::vector<TQORMaterialMapSource*> maps = KSN_HighlightedTreeMaps();
        window->MapToResize = maps.empty() ? nullptr : maps.front();
        if (maps.empty()) {
            WarnNoMap();
            Push(12);
            return false;
        }
    }
    window->Execute();
    return true;
}

bool RenameMap()
{
    auto* map = Project->Maps ? Resolve<TQORMaterialMapSource>(Project->Maps->GetSelectedItemID()) : nullptr;
    if (!map) {
        OS.WarningMessageNoRepeat("%s", Lang.GetText(1542));
        Push(12);
        return false;
    }
    if (MainWindow && MainWindow->RenameWindow)
        MainWindow->RenameWindow->Execute(map, map->GetName(), 435, -1, IsMapNameUnique, nullptr, nullptr, nullptr,
                                          nullptr);
    return true;
}

} // namespace

bool Kestrune_Events_MapsCB(TQOREvent* event)
{
    KestruneEvents_PostRedisplay();
    if (!event || !App || !Project) return false;
    switch (event->GetCommand()) {
    case 459: return ResizeMaps();
    case 460: return NormaliseMaps();
    case 461: return InvertOrGrey(false);
    case 462: return InvertOrGrey(true);
    case 463: return ClearMaps();
    case 464: return ChooseDefaultColour();
    case 465: return true;
    case 466: return OpenNewMapWindow(TKSN_NewMapWindow::ModeResize);
    case 467: return true;
    case 468: return BindMap(event);
    case 469: return DropMapOnViewport(event);
    case 470: return DeleteMaps();
    case 471: return CreateMap(event);
    case 472: return OpenNewMapWindow(TKSN_NewMapWindow::ModeCreate);
    case 473: return RenameMap();
    case 474: Project->OnMapTopologyChanged(); return true;
    case 475: OS.Message("%s", Lang.GetText(1642)); return true;
    case 476: return FoldAlpha();
    default: return false;
    }
}
