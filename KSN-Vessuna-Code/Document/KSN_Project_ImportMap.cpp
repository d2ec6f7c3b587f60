// Bringing image files into maps: a file as a new map, new pixels for an
// existing map, a file into the current map layer of a map; the notification
// after a whole map changed; the hint text of a material channel.
#include "KSN_Project.h"

#include "KSN_Layer.h"
#include "KSN_MapLayer.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Project_Maps_Internal.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORMaterialMapSource.h"
#include "QORString.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kMapsChangedCommand = 434;
constexpr int kMapManagerCommand = 435;
constexpr int kRefreshLayerWindowCommand = 436;
constexpr int kRenamedText = 1221;
constexpr int kCreateLayerForAlphaText = 1643;
constexpr int kOtherChannelText = 597;

// The last path component, extension included.
std::string FileNamePart(const char* path)
{
    const std::string text = path ? path : "";
    const size_t slash = text.find_last_of("/\\");
    return slash == std::string::npos ? text : text.substr(slash + 1);
}

// A mask that is absent or fully opaque carries nothing.
bool MaskIsOpaque(TQORImageMap& mask)
{
    const size_t bytes = mask.GetPixelBytes();
    const unsigned char* values = bytes ? mask.GetPixels() : nullptr;
    if (!values) return true;
    for (size_t i = 0; i < bytes; ++i)
        if (values[i] != 255) return false;
    return true;
}

void DropMask(TQORMaterialMapSource* map) { map->GetAlphaMask().SetDimensions(0, 0, 1); }

// Gives the map a free name after the file and tells the user when it had
// to differ from the file's name. With keepOwn the map's own present name
// does not count as taken, so a file of that name keeps it.
void NameAfterFile(TQORMaterialMapSource* map, const char* path, bool keepOwn)
{
    const std::string wanted = FileNamePart(path);
    std::vector<char> unique(KSN_NAME_BUFFER, '\0');
    if (keepOwn && wanted.size() < unique.size() && IsMapNameUnique(wanted.c_str(), map, nullptr))
        wanted.copy(unique.data(), wanted.size());
    else
        GetUniqueMapName(wanted.c_str(), unique.data());
    map->SetName("%s", unique.data());
    if (QORstrcmpi(unique.data(), wanted.c_str()) != 0)
        OS.WarningMessage(Lang.GetText(kRenamedText), wanted.c_str(), unique.data());
}

void PushMapsChanged()
{
    QOREvents_PushEvent(kMapsChangedCommand);
    QOREvents_PushEvent(kMapManagerCommand);
}

} // namespace

TQORMaterialMapSource* TKSN_Project::ImportMap(const char* path)
{
    KSN_MapsApp_CleanTemporaryMemory();
    TQORMaterialMapSource* map = CreateMapSource();
    if (!path || !map->ImportFile(path)) {
        Maps->items->Remove(map);
        delete map;
        return nullptr;
    }

    TKSN_LayerGroup* layerRoot = MapLayers ? MapLayers->GetRootLayerGroup() : nullptr;
    if (!layerRoot || layerRoot->GetAllLayers().empty()) {
        if (MaskIsOpaque(map->GetAlphaMask())) DropMask(map);
        if (map->HasAlphaMask()) {
            if (layerRoot && OS.MessageYesNo("%s", Lang.GetText(kCreateLayerForAlphaText))) {
                TKSN_LayerDefinition* layer = layerRoot->CreateNewLayer();
                if (layer) {
                    layer->SetName("Background");
                    layerRoot->SetCurrentLayer(layer);
                }
                OnMapLayerChanged();
                OnAllViewportsChanged();
                QOREvents_PushEvent(kRefreshLayerWindowCommand);
            } else {
                DropMask(map);
            }
        }
    }

    NameAfterFile(map, path, false);
    map->SetMapFileName(path);

    TKSN_Thingy* first = layerRoot && layerRoot->items->Count() > 0 ? (*layerRoot->items)[0] : nullptr;
    if (auto* layer = dynamic_cast<TKSN_MapLayer*>(first)) {
        if (TQORMaterialMapSource* layerMap = map->GetMapLayer(layer, true)) {
            layerMap->Copy(map);
            layerMap->GetAlphaMask().Copy(&map->GetAlphaMask());
        }
        map->InvalidateResolvedMap();
    }

    PushMapsChanged();
    return map;
}

bool TKSN_Project::ReplaceMap(TQORMaterialMapSource* map, const char* path)
{
    if (!map || !path || !map->ImportFile(path)) return false;
    if (map->GetHeight() != 0) map->SetAspect(float(map->GetWidth()) / float(map->GetHeight()));
    OnWholeMapChanged(map);
    map->SetMapFileName(path);
    OnMapTopologyChanged();
    PushMapsChanged();
    return true;
}

TQORMaterialMapSource* TKSN_Project::ImportMapIntoCurrentLayer(TQORMaterialMapSource* map, const char* path)
{
    if (!map || !path) return nullptr;
    KSN_MapsApp_CleanTemporaryMemory();
    TKSN_LayerGroup* root = MapLayers ? MapLayers->GetRootLayerGroup() : nullptr;
    if (!root) return nullptr;
    auto* layer = dynamic_cast<TKSN_MapLayer*>(__GetThingyFromID(root->GetCurrentLayerID()));
    if (!layer) {
        layer = root->items->Count() > 0 ? dynamic_cast<TKSN_MapLayer*>((*root->items)[0]) : nullptr;
        if (!layer) return nullptr;
        root->SetCurrentLayer(layer);
    }

    TQORMaterialMapSource* layerMap = map->GetMapLayer(layer, false);
    if (layerMap) {
        SetupUndoForMapEdit(layerMap, false);
    } else {
        layerMap = map->GetMapLayer(layer, true);
        if (!layerMap) return nullptr;
    }
    if (!layerMap->ImportFile(path)) return nullptr;
    if (layerMap->GetWidth() != map->GetWidth() || layerMap->GetHeight() != map->GetHeight())
        layerMap->Resize(map->GetWidth(), map->GetHeight());

    // Importing Skin.png into the layer of map Skin.png keeps its name.
    NameAfterFile(map, path, true);
    map->SetMapFileName(path);
    map->InvalidateResolvedMap();
    OnAllViewportsChanged();
    PushMapsChanged();
    return map;
}

void TKSN_Project::OnWholeMapChanged(TQORMaterialMapSource* map)
{
    if (map) map->OnWholeMapChanged();
    std::unique_ptr<TQORNewStaticList<TKSN_Mesh*>> meshes(GetMeshList());
    for (TKSN_Mesh* mesh : *meshes)
        if (mesh) mesh->InvalidateAllInOSpace();
}

void TKSN_Project::GetChannelHint(char* buffer, const char* name, int size)
{
    if (!buffer || size <= 0) return;
    static const struct {
        const char* Name;
        int Text;
    } hints[] = {{"Color", 588},    {"Bump", 590},     {"Transparency", 594},
                 {"Displacement", 604}, {"Ambient", 602}, {"Specular", 596}};
    const char* channel = name ? name : "";
    for (const auto& hint : hints)
        if (QORstrcmpi(channel, hint.Name) == 0) {
            std::snprintf(buffer, size_t(size), "%s", Lang.GetText(hint.Text));
            return;
        }
    std::snprintf(buffer, size_t(size), "%s\n%s", channel, Lang.GetText(kOtherChannelText));
}
