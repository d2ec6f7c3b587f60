// The project's management of maps: making and binding map sources, cleaning
// bindings and file names, saving and exporting maps and single layers, the
// current map layer and layer order, and the overdraw masks that follow every
// change of map topology.
//
// [SECTION] Helpers
// [SECTION] Hooks
// [SECTION] Making and binding maps
// [SECTION] Housekeeping
// [SECTION] Saving and exporting
// [SECTION] Change handling
#include "KSN_Project.h"
#include "KSN_Project_Import.h"

#include "KSN_Layer.h"
#include "KSN_MapLayer.h"
#include "KSN_Mesh.h"
#include "KSN_MeshBlock.h"
#include "KSN_Mesh_Paint.h"
#include "KSN_Overdraw.h"
#include "KSN_Project_Maps_Internal.h"
#include "KSN_SculptLayer.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORGL.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"
#include "QORMemory.h"
#include "QORString.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

// [SECTION] Helpers

namespace {

constexpr int kNewMapNameText = 1065;        // "New Map.PNG"
constexpr int kCannotCreateFileText = 1020;  // "Cannot create the file %s"
constexpr int kNoLayerDataText = 1633;       // "There is no data in the current layer for this map."
constexpr int kRefreshLayerWindowCommand = 436;
constexpr const char* kOverdrawRenderedProperty = "OVERDRAW_MAP_RENDERED";

template <class T>
T* ThingyAs(uint32_t ID)
{
    return ID ? dynamic_cast<T*>(__GetThingyFromID(ID)) : nullptr;
}

// The interface text carries one "%s"; it is substituted rather than used as
// a format, so a path holding "%" prints as it is.
std::string SubstituteText(const char* text, const std::string& value)
{
    std::string result = text ? text : "";
    const size_t at = result.find("%s");
    if (at != std::string::npos) result.replace(at, 2, value);
    return result;
}

// Calls visit(material) for each material of the mesh in list order; the
// walk ends at the first entry that is not a material.
template <class F>
void ForEachMaterial(TKSN_Mesh* mesh, F&& visit)
{
    if (!mesh || !mesh->Materials) return;
    for (int i = 0; i < mesh->Materials->GetItemCount(); ++i) {
        TQORMaterial* material = KSN_MaterialFromThingy(mesh->Materials->GetItem(i));
        if (!material) return;
        visit(material);
    }
}

template <class F>
void ForEachChannel(TQORMaterial* material, F&& visit)
{
    for (TQORMaterialChannel* channel : material->ArbChannels)
        if (channel) visit(channel);
}

// The extension after the last dot of the last path component; "" for none.
std::string ExtensionOf(const std::string& path)
{
    const std::string name = fs::path(path).filename().string();
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

// The path without ".extension" of its last component; the path itself when
// the last component has no dot.
std::string WithoutExtension(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
    return path.substr(0, dot);
}

// The last path component, extension included.
std::string FileNamePart(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The folder part up to and including the last "/"; "" without one.
std::string FolderPart(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Position of the first export type equal to the extension (any case); -1 none.
int FindExportType(const TKSN_NameList& types, const std::string& extension)
{
    if (extension.empty()) return -1;
    for (size_t i = 0; i < types.size(); ++i)
        if (QORstrcmpi(types[i].c_str(), extension.c_str()) == 0) return int(i);
    return -1;
}

// Writes through a sibling file of the same extension (the image writer picks
// the format by extension) and moves it over path only once it is complete,
// so a failed write leaves the old file as it was.
bool WriteReplacingFile(const std::string& path, bool deleteFirst, const std::function<bool(const char*)>& write)
{
    if (path.empty()) return false;
    const fs::path target(path);
    std::string hidden = target.stem().string();
    hidden.insert(0, 1, '.');
    hidden.append(".saving").append(target.extension().string());
    const fs::path temporary = target.parent_path() / hidden;
    std::error_code error;
    fs::remove(temporary, error);
    if (!write(temporary.string().c_str())) {
        fs::remove(temporary, error);
        return false;
    }
    // rename replaces an existing file in one step; deleting first only
    // matters where the platform cannot replace.
    if (deleteFirst) TOS::OS_DeleteFile(path.c_str());
    fs::rename(temporary, target, error);
    if (error) {
        fs::remove(temporary, error);
        return false;
    }
    return true;
}

// Which operation chooses a file name: they differ in the default name, the
// dialog's first type and what the file format becomes.
enum class EMapFileChoice { PromptedSave, Export, ExportLayer };

// The first steps of the save and export commands: the dialog and the checks
// of the chosen name. False when the user cancelled or refused to overwrite.
// knownType receives the export type the chosen extension names ("" when the
// first type was appended).
bool ChooseMapFileName(TQORMaterialMapSource* source, EMapFileChoice choice, std::string& path,
                       std::string& knownType)
{
    const bool exporting = choice != EMapFileChoice::PromptedSave;
    if (exporting) KSN_MapsApp_CleanTemporaryMemory();

    const TKSN_NameList types = KSN_GetExportImageFileTypes();
    const std::string name = source->GetName();
    int typeIndex = FindExportType(types, ExtensionOf(name));
    if (choice == EMapFileChoice::Export) KSN_MapsApp_SetDialogTypeIndex(typeIndex);
    const std::string filter = KSN_MapsApp_ExportImageFilter();

    std::string defaultName = name;
    if (exporting && typeIndex < 0) {
        defaultName = name + "." + (types.empty() ? std::string("PNG") : types.front());
        typeIndex = 0;
    }

    std::vector<char> chosen(TOS_PATH_BUFFER, '\0');
    const std::string exportPath = KSN_MapsApp_ExportPath();
    std::vector<char> folder(std::max<size_t>(TOS_PATH_BUFFER, exportPath.size() + 1), '\0');
    exportPath.copy(folder.data(), exportPath.size());
    int32_t dialogType = typeIndex < 0 ? 0 : typeIndex;
    if (!OS.ExecuteSaveFileDialogMultipleTypes(chosen.data(), folder.data(), filter.c_str(), defaultName.c_str(), true,
                                               &dialogType))
        return false;
    path = chosen.data();

    const int known = FindExportType(types, ExtensionOf(path));
    if (known >= 0) {
        knownType = types[size_t(known)];
        return true;
    }
    knownType.clear();
    path = WithoutExtension(path) + "." + (types.empty() ? std::string("PNG") : types.front());
    if (TOS::FileExists(path.c_str()) &&
        !OS.MessageYesNo("The file %s exists.\n\nDo you want to overwrite it?", path.c_str()))
        return false;
    return true;
}

// The current map layer of a map-layer tree's root: the root's current
// layer when it is a map layer, else the root's first item when that is one
// (it becomes current). Null when neither.
TKSN_MapLayer* CurrentMapLayer(TKSN_LayerGroup* root)
{
    if (!root) return nullptr;
    if (auto* layer = ThingyAs<TKSN_MapLayer>(root->GetCurrentLayerID())) return layer;
    auto* first = root->items->Count() > 0 ? dynamic_cast<TKSN_MapLayer*>((*root->items)[0]) : nullptr;
    if (first) root->SetCurrentLayer(first);
    return first;
}

} // namespace

// [SECTION] Hooks

namespace {

void HookGetMapList(std::vector<TQORMaterialMapSource*>& maps)
{
    if (!Project) return;
    std::unique_ptr<TQORNewStaticList<TQORMaterialMapSource*>> list(Project->GetMapList());
    for (TQORMaterialMapSource* map : *list) maps.push_back(map);
}

TKSN_MapLayerGroup* HookGetMapLayerGroup() { return Project ? Project->MapLayers : nullptr; }

TQORMaterialMap* HookCreateNewMapForBlock(TKSN_Mesh* mesh)
{
    return Project ? Project->CreateNewMap(mesh, nullptr) : nullptr;
}

TQORMaterialMap* HookGetMapFromSource(TKSN_Mesh* mesh, TQORMaterialMapSource* source, bool create)
{
    return Project && mesh ? Project->GetMapFromSource(mesh, source, create) : nullptr;
}

TQORMaterialMap* HookCreateNewMap(TKSN_Mesh* mesh, TQORMaterialMapSource* source)
{
    return Project ? Project->CreateNewMap(mesh, source) : nullptr;
}

TQORMaterialChannel* HookGetActiveChannelFromMaterial(TKSN_Viewport* viewport, TQORMaterial* material)
{
    return Project ? Project->GetActiveChannelFromMaterial(viewport, material) : nullptr;
}

TQORMaterialMapSource* HookImportMap(const char* path) { return Project ? Project->ImportMap(path) : nullptr; }

void HookOnWholeMapChanged(TQORMaterialMapSource* source)
{
    if (Project)
        Project->OnWholeMapChanged(source);
    else if (source)
        source->OnWholeMapChanged();
}

} // namespace

// The hooks look the project up on each call, so they stay valid across
// project replacements; every project constructor registers them again.
void TKSN_Project::RegisterMapHooks()
{
    QORMaterialMapSource_ProjectHooks.GetMapList = HookGetMapList;
    QORMaterialMapSource_ProjectHooks.GetMapLayerGroup = HookGetMapLayerGroup;
    // The map layers reach the maps through the map sources' own hooks,
    // which then serve the project's map list above.
    QORMaterialMapSource_RegisterMapLayerHooks();

    KSN_MeshBlockProjectHooks.CreateNewMap = HookCreateNewMapForBlock;
    KSN_MeshBlockProjectHooks.SaveSculptLayers = KSN_SaveMeshSculptLayers;
    KSN_MeshBlockProjectHooks.LoadSculptLayer = KSN_LoadMeshSculptLayer;

    // TODO(stub): the mesh's painting hooks are set as one record; the
    // application's entry for the paint depth buffer keeps the mesh's own
    // answer until its code registers it.
    TKSN_MeshPaintingHooks painting;
    painting.GetMapFromSource = HookGetMapFromSource;
    painting.CreateNewMap = HookCreateNewMap;
    painting.ImportMap = HookImportMap;
    painting.OnWholeMapChanged = HookOnWholeMapChanged;
    painting.GetActiveChannelFromMaterial = HookGetActiveChannelFromMaterial;
    painting.GetImportMapsOption = KSN_ProjectImport_GetImportMapsOption;
    painting.LocateFile = KSN_ProjectImportApp_LocateFile;
    KSN_SetMeshPaintingHooks(painting);
}

// [SECTION] Making and binding maps

TQORMaterialMapSource* TKSN_Project::CreateMapSource()
{
    auto* source = new TQORMaterialMapSource();
    source->SetName("%s", Lang.GetText(kNewMapNameText));
    source->SetLayerTopGroup(MapLayers);
    float white[3] = {1.0f, 1.0f, 1.0f};
    source->InitializeBlank(white);
    Maps->AddItem(source);
    return source;
}

TQORMaterialMap* TKSN_Project::CreateNewMap(TKSN_Mesh* mesh, TQORMaterialMapSource* source)
{
    if (!mesh || !mesh->MaterialMaps) return nullptr;
    auto* binding = new TQORMaterialMap();
    mesh->MaterialMaps->Add(binding);
    if (!source) source = CreateMapSource();
    binding->SetMapSource(source->GetID());
    binding->InitializeQuadTree();
    return binding;
}

TQORMaterialMap* TKSN_Project::GetMapFromSource(TKSN_Mesh* mesh, TQORMaterialMapSource* source, bool create)
{
    if (!source) return nullptr;
    assert(mesh && "GetMapFromSource needs the mesh whose bindings are searched");
    if (mesh->MaterialMaps)
        for (TQORMaterialMap* binding : *mesh->MaterialMaps)
            if (binding && binding->GetMapSourceID() == source->GetID()) return binding;
    return create ? CreateNewMap(mesh, source) : nullptr;
}

void TKSN_Project::AssignMapToMaterialChannel(TKSN_Mesh* mesh, TQORMaterialMapSource* source, TQORMaterial* material,
                                              const char* channelName)
{
    if (!mesh || !source || !material) return;
    TQORMaterialChannel* channel = material->GetChannelFromName(channelName);
    if (!channel) QORThrowException("Channel == NULL in AssignMapToMaterialChannel");
    TQORMaterialMap* binding = GetMapFromSource(mesh, source, true);
    if (!binding) QORThrowException("Map == NULL in AssignMapToMaterialChannel");
    channel->SetMapID(int(binding->GetID()));
}

TQORMaterialChannel* TKSN_Project::GetActiveChannelFromMaterial(TKSN_Viewport* viewport, TQORMaterial* material)
{
    const char* shown = KSN_MapsApp_ViewportChannelName(viewport);
    if (!material || !shown) return nullptr;
    for (TQORMaterialChannel* channel : material->ArbChannels)
        if (channel && QORstrcmpi(channel->GetName(), shown) == 0) return channel;
    return nullptr;
}

// [SECTION] Housekeeping

void TKSN_Project::CleanMapBindings()
{
    std::unique_ptr<TQORNewStaticList<TKSN_Mesh*>> meshes(GetMeshList());
    for (TKSN_Mesh* mesh : *meshes)
        if (mesh) mesh->CleanMapBindings();
}

void TKSN_Project::UpdateAllChannelMapFileNames()
{
    std::unique_ptr<TQORNewStaticList<TKSN_Mesh*>> meshes(GetMeshList());
    for (TKSN_Mesh* mesh : *meshes) {
        ForEachMaterial(mesh, [](TQORMaterial* material) {
            ForEachChannel(material, [](TQORMaterialChannel* channel) {
                if (channel->GetMapID() == 0) return;
                auto* binding = ThingyAs<TQORMaterialMap>(channel->GetMapID());
                if (!binding) return;
                TQORMaterialMapSource* source = binding->GetMapSource();
                if (!source) {
                    channel->SetMapFileName("");
                    return;
                }
                const std::string name = FolderPart(source->GetMapFileName()) + source->GetName();
                OS.PrintMessage("%s", name.c_str());
                source->SetMapFileName(name.c_str());
                channel->SetMapFileName(name.c_str());
            });
        });
    }
}

void TKSN_Project::ResolveMapLayers()
{
    std::unique_ptr<TQORNewStaticList<TQORMaterialMapSource*>> maps(GetMapList());
    for (TQORMaterialMapSource* map : *maps)
        if (map) map->ResolveLayers(false);
}

// A no-op by design: maps are kept in their working layout; callers keep the
// call as the hook where an optimisation pass would go.
void TKSN_Project::OptimizeMaps() {}

// [SECTION] Saving and exporting

bool TKSN_Project::SaveMap(TQORMaterialMapSource* source, const char* path, bool deleteFirst)
{
    if (!source || !path || !path[0]) return false;
    source->InvalidateResolvedMap();
    source->ResolveLayers(true);
    const bool saved =
        WriteReplacingFile(path, deleteFirst, [source](const char* file) { return source->ExportFile(file); });
    // The display composite has the checkerboard that the export left out.
    source->InvalidateResolvedMap();
    return saved;
}

bool TKSN_Project::SaveMapToFileWithPrompt(TQORMaterialMapSource* source, bool deleteFirst)
{
    if (!source) return false;
    std::string path, knownType;
    if (!ChooseMapFileName(source, EMapFileChoice::PromptedSave, path, knownType)) return false;
    if (!SaveMap(source, path.c_str(), deleteFirst)) {
        OS.ErrorMessage("Error saving the file...\n\n%s", path.c_str());
        return false;
    }
    source->SetName("%s", FileNamePart(path).c_str());
    source->SetMapFileName(path.c_str());
    return true;
}

void TKSN_Project::ExportMap(TQORMaterialMapSource* source)
{
    if (!source) return;
    std::string path, knownType;
    if (!ChooseMapFileName(source, EMapFileChoice::Export, path, knownType)) return;
    if (!source->GetPixels()) return;
    if (!SaveMap(source, path.c_str(), false)) {
        OS.WarningMessage("%s", SubstituteText(Lang.GetText(kCannotCreateFileText), path).c_str());
        return;
    }
    if (!knownType.empty()) {
        // TODO(stub): the map source has no setter for its file format; its
        // block reader's "FileFormat" key is the one way in. The name it
        // derives is replaced just below.
        std::string key = "FileFormat";
        source->LoadFromStream_Text_ConsiderCommand(nullptr, key.data(), knownType.data());
    }
    source->SetMapFileName(path.c_str());
    source->SetName("%s", FileNamePart(path).c_str());

    std::unique_ptr<TQORNewStaticList<TKSN_Mesh*>> meshes(GetMeshList());
    for (TKSN_Mesh* mesh : *meshes) {
        ForEachMaterial(mesh, [&](TQORMaterial* material) {
            ForEachChannel(material, [&](TQORMaterialChannel* channel) {
                auto* binding = ThingyAs<TQORMaterialMap>(channel->GetMapID());
                if (binding && binding->GetMapSourceID() == source->GetID()) channel->SetMapFileName(path.c_str());
            });
        });
    }
}

void TKSN_Project::ExportMapCurrentLayer(TQORMaterialMapSource* source)
{
    if (!source) return;
    std::string path, knownType;
    if (!ChooseMapFileName(source, EMapFileChoice::ExportLayer, path, knownType)) return;

    TKSN_MapLayer* layer = CurrentMapLayer(MapLayers ? MapLayers->GetRootLayerGroup() : nullptr);
    TQORMaterialMapSource* layerMap = layer ? source->GetMapLayer(layer, false) : nullptr;
    if (!layer || !layerMap) {
        OS.WarningMessage("%s", Lang.GetText(kNoLayerDataText));
        return;
    }
    if (!layerMap->GetPixels()) return;
    const bool saved =
        WriteReplacingFile(path, false, [layerMap](const char* file) { return layerMap->ExportFile(file); });
    if (!saved) OS.WarningMessage("%s", SubstituteText(Lang.GetText(kCannotCreateFileText), path).c_str());
}

// [SECTION] Change handling

void TKSN_Project::OnMapLayerChanged()
{
    if (!MapLayers) return;
    if (TKSN_LayerGroup* root = MapLayers->GetRootLayerGroup()) {
        CurrentMapLayer(root);
    } else {
        // Only a layer group keeps a current layer (so the base layer cannot
        // be made current here either); the layer window shows what there is.
        QOREvents_PushEvent(kRefreshLayerWindowCommand);
    }

    std::unique_ptr<TQORNewStaticList<TKSN_Mesh*>> meshes(GetMeshList());
    for (TKSN_Mesh* mesh : *meshes)
        if (mesh && mesh->LayerDataSet) mesh->LayerDataSet->CleanLayers();

    // The whole tree, so layers in sub-folders get distinct order keys too;
    // the group's own items take 0, 1, 2 ... in list order.
    MapLayers->NumberLayers();
}

void TKSN_Project::OnMapTopologyChanged()
{
    KSN_MapsApp_InvalidateRenderedScenes();
    TKSN_glDisplayList::InvalidateAll();

    std::unique_ptr<TQORNewStaticList<TKSN_Mesh*>> meshes(GetMeshList());
    for (TKSN_Mesh* mesh : *meshes)
        if (mesh) mesh->OnMapTopologyChanged();

    // Only bindings that receive paint get an overdraw mask drawn below.
    UpdateAllMapBindingRelevantFlags(GetCurrentViewport());

    for (TKSN_Mesh* mesh : *meshes)
        if (mesh) mesh->TestForPaintingOverlap();

    std::unique_ptr<TQORNewStaticList<TQORMaterialMapSource*>> maps(GetMapList());
    for (TQORMaterialMapSource* map : *maps) {
        if (!map) continue;
        TQORImageMap& overdraw = map->GetOverdrawMap();
        overdraw.SetDimensions(map->GetWidth(), map->GetHeight(), 1);
        overdraw.ClearToValue(0);
        map->SetCustomBooleanProperty(kOverdrawRenderedProperty, false);
    }

    for (TKSN_Mesh* mesh : *meshes) {
        if (!mesh || !mesh->MaterialMaps || mesh->GetTVCount() <= 0 || !mesh->tVertices) continue;
        const int tvCount = mesh->GetTVCount();
        const int polygonCount = mesh->GetPCount();
        for (TQORMaterialMap* binding : *mesh->MaterialMaps) {
            TQORMaterialMapSource* source = binding ? binding->GetMapSource() : nullptr;
            if (!source || !binding->RelevantToPainting) continue;
            source->SetCustomBooleanProperty(kOverdrawRenderedProperty, true);
            TQORImageMap& overdraw = source->GetOverdrawMap();
            unsigned char* pixels = overdraw.GetPixels();
            if (!pixels) continue;
            const int w = overdraw.GetWidth(), h = overdraw.GetHeight(), step = overdraw.GetBytesPerPixel();
            const float scaleU = float(source->GetWidth()), scaleV = float(source->GetHeight());
            std::vector<float> corners;   // (x, y) pairs of the corners that have a texture vertex
            for (int32_t p : binding->PolygonList) {
                if (p < 0 || p >= polygonCount) continue;
                const int n = mesh->vGetPolyN(p);
                if (n < 3) continue;
                corners.clear();
                for (int k = 0; k < n; ++k) {
                    const int vt = mesh->vGetPolyVT(p, k);
                    if (vt < 0 || vt >= tvCount) continue;   // a corner without UVs has no place in the map
                    corners.push_back(mesh->tVertices[2 * vt] * scaleU);
                    corners.push_back(mesh->tVertices[2 * vt + 1] * scaleV);
                }
                const size_t kept = corners.size() / 2;
                for (size_t k = 1; k + 1 < kept; ++k)
                    RasterizeTriangle_OverdrawBuffer(&corners[0], &corners[2 * k], &corners[2 * k + 2], w, h, pixels,
                                                     step);
            }
        }
    }

    for (TQORMaterialMapSource* map : *maps) {
        if (!map) continue;
        TQORImageMap& overdraw = map->GetOverdrawMap();
        if (map->GetCustomBooleanProperty(kOverdrawRenderedProperty))
            BlurOverdrawMap(overdraw.GetPixels(), overdraw.GetWidth(), overdraw.GetHeight());
        else
            overdraw.ClearToValue(255);
    }

    OnMapLayerChanged();
}
