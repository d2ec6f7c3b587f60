// The project file's reader, the set-up after load, the settings of a new
// project, and the swap that opens a project file in place of the open one.
//
// A load always fills a freshly constructed project. Whatever goes wrong (no
// file, no header, a block its reader refuses, a file that ends before its
// blocks are closed) the load answers false with a warning naming the file
// and the line where reading stopped, and the caller throws the new project
// away: the open project and the application state it depends on are kept.
//
// Index:
//   [SECTION] Lines and numbers
//   [SECTION] Top-level keys
//   [SECTION] Loading
//   [SECTION] Set-up after load
//   [SECTION] Default settings
//   [SECTION] Opening a project in place of the open one
#include "KSN_Project.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "KSN_Layer.h"
#include "KSN_MapLayer.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_PolygonLayer.h"
#include "KSN_Project_File_Internal.h"
#include "KSN_Project_Internal.h"
#include "KSN_SculptLayer.h"
#include "KSN_Union.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"
#include "QORString.h"
#include "QORTextBlock.h"

// Globals the mesh and object readers use during a load.
int32_t LoadProjectMeshCounter = 0;
bool MainObjectLoaded = false;

namespace {

constexpr char HeaderText[] = "Kestrune Project File";
// Interface command: the map layers changed.
constexpr int CommandMapLayersChanged = 436;

// [SECTION] Lines and numbers

// One whole line of any length without its line end (LF, CR LF or CR).
// False at the end of the file when nothing was read.
bool ReadWholeLine(FILE* file, std::string& line)
{
    line.clear();
    int c = 0;
    bool any = false;
    while ((c = std::fgetc(file)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (c == '\r') {
            const int next = std::fgetc(file);
            if (next != '\n' && next != EOF) std::ungetc(next, file);
            break;
        }
        if (c != 0) line += char(c);
    }
    return any;
}

// The 1-based line that holds the byte at offset: where reading stopped.
int LineAtOffset(const char* path, long offset)
{
    FILE* file = std::fopen(path, "rb");
    if (!file) return 0;
    int line = 1;
    for (long at = 0; at < offset; ++at) {
        const int c = std::fgetc(file);
        if (c == EOF) break;
        if (c == '\n') ++line;
    }
    std::fclose(file);
    return line;
}

bool ParseFlag(const char* value) { return std::atoi(value) != 0; }

// All count numbers or nothing.
bool ParseFloats(const char* text, float* out, int count)
{
    std::vector<float> values(static_cast<size_t>(count));
    const char* at = text;
    for (float& v : values) {
        if (std::sscanf(at, "%f", &v) != 1) return false;
        while (*at == ' ' || *at == '\t') ++at;
        while (*at && *at != ' ' && *at != '\t') ++at;
    }
    for (int i = 0; i < count; ++i) out[i] = values[size_t(i)];
    return true;
}

// Components that do not parse keep their values.
void ParseColour(const char* text, float* rgb)
{
    float c[3] = {rgb[0], rgb[1], rgb[2]};
    std::sscanf(text, "%f %f %f", &c[0], &c[1], &c[2]);
    for (int i = 0; i < 3; ++i) rgb[i] = c[i];
}

bool Is(const char* key, const char* name) { return QORstrcmpi(key, name) == 0; }

// A load that cannot go on: what stopped it, as the warning tells it.
struct TLoadStop {
    std::string Why;
};

} // namespace

// ============================================================================
// [SECTION] Top-level keys
// ============================================================================

bool TKSN_Project::LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value)
{
    struct TFlagKey {
        const char* Key;
        bool TKSN_Project::*Field;
    };
    static const TFlagKey FlagKeys[] = {
        {"MirrorX", &TKSN_Project::MirrorX},
        {"MirrorY", &TKSN_Project::MirrorY},
        {"MirrorInViewport", &TKSN_Project::MirrorInViewport},
        {"PaintOnBackFaces", &TKSN_Project::PaintOnBackFaces},
        {"WireframeOverlay", &TKSN_Project::WireframeOverlay},
        {"VertexOverlay", &TKSN_Project::VertexOverlay},
        {"DoAngleFade", &TKSN_Project::DoAngleFade},
        {"ExtraSoftBrushStrokes", &TKSN_Project::ExtraSoftBrushStrokes},
        {"ExportVerticesOnly", &TKSN_Project::ExportVerticesOnly},
        {"ExportGroups", &TKSN_Project::ExportGroups},
        {"ExportGroupsAsSeparateFiles", &TKSN_Project::ExportGroupsAsSeparateFiles},
        {"ExportChangedGroups", &TKSN_Project::ExportChangedGroups},
        {"ExportMorphs", &TKSN_Project::ExportMorphs},
        {"FlipNormalsOnImport", &TKSN_Project::FlipNormalsOnImport},
        {"FlipUVsHorizontallyOnImport", &TKSN_Project::FlipUVsHorizontallyOnImport},
        {"FlipUVsVerticallyOnImport", &TKSN_Project::FlipUVsVerticallyOnImport},
        {"ScaleOnImport", &TKSN_Project::ScaleOnImport},
        {"UseInternalNameforGroups", &TKSN_Project::UseInternalNameforGroups},
        {"CenterOnImport", &TKSN_Project::CenterOnImport},
        {"ImportMaps", &TKSN_Project::ImportMaps},
        {"ImportMorphs", &TKSN_Project::ImportMorphs},
        {"RenderMixColors", &TKSN_Project::RenderMixColors},
        {"RenderColorMaps", &TKSN_Project::RenderColorMaps},
        {"RenderBumpMaps", &TKSN_Project::RenderBumpMaps},
        {"RenderSpecularMaps", &TKSN_Project::RenderSpecularMaps},
        {"RenderTransparencyMaps", &TKSN_Project::RenderTransparencyMaps},
        {"RenderDisplacementMaps", &TKSN_Project::RenderDisplacementMaps},
        {"RenderAmbientMaps", &TKSN_Project::RenderAmbientMaps},
        {"RenderDoubleSided", &TKSN_Project::RenderDoubleSided},
        {"CR2AutoRig", &TKSN_Project::CR2AutoRig},
        {"CR2SetupFullBodyMorphs", &TKSN_Project::CR2SetupFullBodyMorphs},
        {"CR2SaveNewOBJ", &TKSN_Project::CR2SaveNewOBJ},
        {"AutoFixSeams", &TKSN_Project::AutoFixSeams},
        {"UseSymmetry", &TKSN_Project::UseSymmetry},
        {"FlipSymmetry", &TKSN_Project::FlipSymmetry},
        {"TileBrushTexture", &TKSN_Project::TileBrushTexture},
        {"FlipBrushTextureX", &TKSN_Project::FlipBrushTextureX},
        {"FlipBrushTextureY", &TKSN_Project::FlipBrushTextureY},
        {"FastPainting", &TKSN_Project::FastPainting},
        {"ShowCheckeredBackground", &TKSN_Project::ShowCheckeredBackground},
        {"AutoAlignTilingWithViewport", &TKSN_Project::AutoAlignTilingWithViewport},
    };
    struct TFloatKey {
        const char* Key;
        float TKSN_Project::*Field;
    };
    static const TFloatKey FloatKeys[] = {
        {"FadeFalloff", &TKSN_Project::FadeFalloff},
        {"FadeCutoff", &TKSN_Project::FadeCutoff},
        {"TileRepeat", &TKSN_Project::TileRepeat},
        {"ScaleFactor", &TKSN_Project::ScaleFactor},
        {"WeldThreshold", &TKSN_Project::WeldThreshold},
        {"Time", &TKSN_Project::Time},
        {"GlobalDisplacementStrengthB", &TKSN_Project::GlobalDisplacementStrengthB},
        {"GlobalBumpStrength", &TKSN_Project::GlobalBumpStrength},
        {"RenderQualityB", &TKSN_Project::RenderQualityB},
    };

    for (const TFlagKey& k : FlagKeys)
        if (Is(key, k.Key)) {
            this->*k.Field = ParseFlag(value);
            return true;
        }
    for (const TFloatKey& k : FloatKeys)
        if (Is(key, k.Key)) {
            this->*k.Field = float(std::atof(value));
            return true;
        }
    if (Is(key, "NavShowOrigin")) {
        NavShowOrigin = ParseFlag(value);
        return true;
    }
    if (Is(key, "ViewportConfiguration")) {
        KSN_FileApp_SetViewportConfiguration(std::atoi(value));
        return true;
    }
    if (Is(key, "BrushTilingStyle")) {
        BrushTilingStyle = std::atoi(value);
        return true;
    }
    if (Is(key, "TileSize")) {
        // Older files stored the tile's size; the repeat count is its inverse.
        const double size = std::atof(value);
        if (size > 1e-30) TileRepeat = float(1.0 / size);
        return true;
    }
    if (std::strcmp(key, "BackgroundColor1") == 0 || std::strcmp(key, "BackgroundColor2") == 0) {
        ParseColour(value, KSN_FileApp_BackgroundColor(key[15] == '2' ? 1 : 0));
        return true;
    }
    if (std::strcmp(key, "WireframeColor") == 0) {
        ParseColour(value, WireframeColor);
        return true;
    }
    if (Is(key, "TileCentre")) return ParseFloats(value, TileCentre, 3);
    if (std::strcmp(key, "GlobalOrientationMatrix") == 0)
        return ParseFloats(value, KSN_FileApp_OrientationMatrix(), 16);
    if (Is(key, "TileRotationMatrix")) return ParseFloats(value, TileRotationMatrix, 16);

    if (Is(key, "layer")) {
        // The n-th layer block fills slot n - 1; beyond the last slot it stays unread.
        if (CurrentLayerIndex >= 0 && CurrentLayerIndex < KSN_POLYGON_LAYER_COUNT) {
            TKSN_Layer* layer = PolygonLayers[CurrentLayerIndex];
            layer->LoadFromStream_Text(file);
            layer->Enable();
            ++CurrentLayerIndex;
        }
        return true;
    }
    if (Is(key, "viewport")) {
        const int index = std::atoi(value);
        if (index >= 0 && index <= 3) KSN_FileApp_LoadViewport(file, index);
        return true;
    }
    TKSN_TreeGroup* tree = nullptr;
    if (Is(key, "mapLayers")) tree = MapLayers;
    else if (Is(key, "sculptLayers")) tree = SculptLayers;
    else if (Is(key, "objects")) tree = Objects;
    else if (Is(key, "morphs")) tree = MorphUnions;
    else if (Is(key, "selections")) tree = SelectionUnions;
    if (tree) {
        tree->Empty();
        tree->LoadFromStream_Text(file);
        return true;
    }
    if (Is(key, "map")) {
        // The block's value is its writer's list position; the order of the
        // blocks gives the same numbers back.
        if (TQORMaterialMapSource* source = CreateMapSource()) source->LoadFromStream_Text(file);
        return true;
    }
    return false;
}

// ============================================================================
// [SECTION] Loading
// ============================================================================

namespace {

bool IsProjectHeader(const std::string& line)
{
    return line.size() >= std::strlen(HeaderText) && QORstrncmpi(line.c_str(), HeaderText, int(std::strlen(HeaderText))) == 0;
}

} // namespace

bool TKSN_Project::LoadProject_v2(const char* path)
{
    if (!path) return false;
    KSN_FileApp_CleanTemporaryMemory();

    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path, "rb"), std::fclose);
    if (!file) {
        OS.WarningMessage(Lang.GetText(1021), path);
        return false;
    }
    std::string line;
    ReadWholeLine(file.get(), line);
    if (!IsProjectHeader(line)) {
        OS.WarningMessage("Cannot read \"%s\", line 1: %s", path, Lang.GetText(1017));
        return false;
    }

    float* orientation = KSN_FileApp_OrientationMatrix();
    for (int i = 0; i < 16; ++i) orientation[i] = (i % 5 == 0) ? 1.0f : 0.0f;
    FileName = path;
    KSN_FileApp_PrepareViewportsForLoad();
    KSN_FileApp_SetWaitCursor(true);
    LoadProjectMeshCounter = 0;
    CurrentLayerIndex = 0;
    TextFileIndent = 0;
    MainObjectLoaded = false;

    std::string stop;
    std::string last;
    try {
        while (ReadWholeLine(file.get(), line)) {
            OS.DoProgress();
            std::vector<char> trimmed(line.begin(), line.end());
            trimmed.push_back('\0');
            DeleteLeadingAndTrailingWhiteSpace(trimmed.data());
            if (!trimmed[0]) continue;
            last = trimmed.data();
            std::vector<char> key(trimmed.size() + 1), value(trimmed.size() + 1);
            GetCommandAndParameter(trimmed.data(), key.data(), value.data());
            LoadFromStream_Text_ConsiderCommand(file.get(), key.data(), value.data());
        }
        // A nested reader that met the end of the file hands back without its
        // "}"; the top level's own closing brace must be the last line read.
        if (last != "}") stop = "the file ends before its blocks are closed";
    } catch (const std::exception& error) {
        stop = error.what();
    }
    if (stop.empty()) {
        std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(GetObjectList());
        for (TKSN_Object* object : *objects)
            if (object->Mesh && object->Mesh->MeshBlockRefused) {
                stop = QORFormat("the mesh of the object '%s' is damaged", object->GetName());
                break;
            }
    }
    const long stoppedAt = std::ftell(file.get());
    file.reset();
    TextFileIndent = 0;

    if (!stop.empty()) {
        KSN_FileApp_SetWaitCursor(false);
        OS.WarningMessage("Cannot read \"%s\", line %d: %s", path, LineAtOffset(path, stoppedAt), stop.c_str());
        return false;
    }
    SetupAfterLoad();
    KSN_FileApp_SetWaitCursor(false);
    return true;
}

// ============================================================================
// [SECTION] Set-up after load
// ============================================================================

namespace {

std::vector<TKSN_Object*> ObjectsWithMeshes(TKSN_Project& project)
{
    std::vector<TKSN_Object*> out;
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(project.GetObjectList());
    for (TKSN_Object* object : *objects)
        if (object && object->Mesh) out.push_back(object);
    return out;
}

void StampMeshID(TKSN_Mesh* mesh)
{
    std::unique_ptr<TQORNewStaticList<TKSN_Morph*>> morphs(mesh->GetMorphList());
    for (TKSN_Morph* morph : *morphs) morph->SetOwnerID(mesh->GetID());
    std::unique_ptr<TQORNewStaticList<TKSN_Selection*>> selections(mesh->GetSelectionList());
    for (TKSN_Selection* selection : *selections) selection->SetOwnerID(mesh->GetID());
}

} // namespace

void TKSN_Project::SyncMeshIDs()
{
    for (TKSN_Object* object : ObjectsWithMeshes(*this)) StampMeshID(object->Mesh.get());
}

bool TKSN_Project::SetupObjectsAfterLoad_OnVisit(TKSN_TreeGroup* group, int, void* project)
{
    auto* self = static_cast<TKSN_Project*>(project);
    if (!group || !self) return true;
    for (TKSN_Thingy* item : *group->items) {
        auto* object = dynamic_cast<TKSN_Object*>(item);
        if (!object || !object->Mesh) continue;
        object->ResolveVertices(true);
        TKSN_Mesh* mesh = object->Mesh.get();
        mesh->RecalculateNormals(true);
        mesh->CalculateBounds();
        float squared = 0.0f;
        for (int c = 0; c < 3; ++c) squared += (mesh->boundsMax[c] - mesh->boundsMin[c]) * (mesh->boundsMax[c] - mesh->boundsMin[c]);
        self->SceneRadius = std::fmax(self->SceneRadius, 0.5f * std::sqrt(squared));
    }
    return true;
}

void TKSN_Project::SetupAfterLoad()
{
    if (UseSymmetry) SymmetryPanelCollapsed = false;
    KSN_FileApp_NameViewportsAfterLoad();
    for (TKSN_Object* object : ObjectsWithMeshes(*this)) object->Mesh->SetActiveUVWs(CurrentViewportIndex);
    CurrentLayerIndex = 0;

    PolygonLayers[30]->DisplayFlags |= TKSN_Layer::Hidden;
    PolygonLayers[30]->SetName("%s", "Hidden Layer");
    PolygonLayers[31]->Locked = true;
    PolygonLayers[31]->SetName("%s", "Locked Layer");
    PolygonLayers[0]->SetName("%s", Lang.GetText(544));
    PolygonLayers[0]->Enable();
    for (int slot : {0, 30, 31}) PolygonLayers[slot]->IsBuiltIn = true;

    EnforceMorphAndSelectionSizes();
    CleanupLayerFlagsAndSuch();

    TKSN_TreeGroup::Traverse(Objects, 0, SetCurrentObject_OnVisit, this, false);
    TKSN_TreeGroup::Traverse(Objects, 0, SetCurrentMorphAndSelection_OnVisit, this, false);
    if (!GetCurrentObject()) {
        CurrentObjectID = 0;
        if (auto* first = dynamic_cast<TKSN_Object*>(GetFirstThingy(Objects))) SetCurrentObject(first);
    }
    OnSymmetrySettingsChanged(true);

    for (TKSN_Object* object : ObjectsWithMeshes(*this)) {
        TKSN_Mesh* mesh = object->Mesh.get();
        StampMeshID(mesh);
        if (!mesh->Materials) continue;
        for (int m = 0; m < mesh->Materials->GetItemCount(); ++m) {
            TQORMaterial* material = mesh->Materials->GetItemAs(m);
            if (!material) break;
            for (TQORMaterialChannel* channel : material->ArbChannels) {
                const int index = channel->TextureIndex;
                channel->TextureIndex = -1;
                if (index < 0 || !Maps || index >= Maps->items->Count()) continue;
                auto* source = dynamic_cast<TQORMaterialMapSource*>((*Maps->items)[index]);
                if (!source) continue;
                if (TQORMaterialMap* binding = GetMapFromSource(mesh, source, true)) channel->SetMapID(int(binding->GetID()));
            }
        }
    }
    OnMapTopologyChanged();

    SceneRadius = 0.0f;
    UpdateVisibleLayers();
    TKSN_TreeGroup::Traverse(Objects, 0, UpdateLockedLayers_OnVisit, this, false);

    CreateUnionsFromMissingMorphs();
    CreateUnionsFromMissingSelections();
    CleanupMeshMorphGroupings();
    CleanupMeshSelectionGroupings();
    {
        std::unique_ptr<TQORNewStaticList<TKSN_MorphUnion*>> unions(GetMorphUnionList());
        for (TKSN_MorphUnion* u : *unions) u->CopyParametersToAllItems();
    }

    TKSN_TreeGroup::Traverse(Objects, 0, SetupObjectsAfterLoad_OnVisit, this, false);
    if (std::fabs(SceneRadius) <= 1e-30f) SceneRadius = 1.0f;

    {
        std::unique_ptr<TQORNewStaticList<TKSN_MorphUnion*>> unions(GetMorphUnionList());
        for (TKSN_MorphUnion* u : *unions)
            if (u->current) {
                SetCurrentMorphUnion(u);
                break;
            }
    }
    OnMapLayerChanged();

    bool alpha = false;
    std::unique_ptr<TQORNewStaticList<TQORMaterialMapSource*>> maps(GetMapList());
    for (TQORMaterialMapSource* source : *maps)
        if (source->HasAlphaMask()) alpha = true;
    if (alpha && MapLayers && MapLayers->GetAllLayers().empty()) {
        if (OS.MessageYesNo("%s", Lang.GetText(1643))) {
            if (TKSN_LayerDefinition* layer = MapLayers->CreateNewLayer()) {
                layer->SetName("%s", "Background");
                MapLayers->SetCurrentLayer(layer);
            }
            OnMapLayerChanged();
            for (int i = 0; i < 4; ++i)
                if (KSN_FileApp_ViewportShown(i)) OnSingleViewportChanged(KSN_ProjectApp_Viewport(i));
            QOREvents_PushEvent(CommandMapLayersChanged);
        } else {
            for (TQORMaterialMapSource* source : *maps) source->GetAlphaMask().SetDimensions(0, 0, 1);
        }
    }
}

// ============================================================================
// [SECTION] Default settings
// ============================================================================

void TKSN_Project::UseDefaultSettings()
{
    NavShowOrigin = false;
    MirrorX = MirrorY = false;
    MirrorInViewport = true;
    PaintOnBackFaces = WireframeOverlay = VertexOverlay = DoAngleFade = false;
    FadeFalloff = 0.8f;
    FadeCutoff = 0.05f;
    ExtraSoftBrushStrokes = false;
    TileRepeat = 1.0f;
    ExportVerticesOnly = false;
    ExportGroups = true;
    ExportGroupsAsSeparateFiles = false;
    ExportChangedGroups = ExportMorphs = true;
    FlipNormalsOnImport = FlipUVsHorizontallyOnImport = FlipUVsVerticallyOnImport = false;
    ScaleOnImport = UseInternalNameforGroups = false;
    ScaleFactor = 1.0f;
    CenterOnImport = false;
    ImportMaps = true;
    ImportMorphs = false;
    GlobalDisplacementStrengthB = GlobalBumpStrength = 1.0f;
    RenderQualityB = 0.8f;
    RenderMixColors = false;
    RenderColorMaps = RenderBumpMaps = RenderSpecularMaps = RenderAmbientMaps = true;
    RenderDoubleSided = false;
    RenderTransparencyMaps = RenderDisplacementMaps = true;
    CR2AutoRig = false;
    CR2SetupFullBodyMorphs = true;
    CR2SaveNewOBJ = AutoFixSeams = UseSymmetry = FlipSymmetry = false;
    TileBrushTexture = true;
    FlipBrushTextureX = FlipBrushTextureY = FastPainting = false;
    for (float& c : WireframeColor) c = 0.0f;
    ShowCheckeredBackground = true;
    BrushTilingStyle = 0;
    AutoAlignTilingWithViewport = false;

    TileWidth = TileHeight = InvTileWidth = InvTileHeight = TileScaleX = TileScaleY = 1.0f;
    SpecialDisplayMode = 0;
    for (int i = 0; i < 16; ++i) TileRotationMatrix[i] = (i % 5 == 0) ? 1.0f : 0.0f;
    for (float& c : TileCentre) c = 0.0f;
    TilingWorkFlag = false;
    FigureContentPath = ":Runtime:Geometries:Kestrune:";
    CurrentLayerIndex = 0;
    PaintCurrentChannel = true;
    PaintColor = PaintBump = PaintTransparency = PaintDisplacement = PaintAmbient = PaintSpecular = false;
    PaintOnSelectionOnly = true;
    MixColorAndTexture = false;
    WeldOnImport = false;
    SymmetryPanelCollapsed = true;
    KSN_FileApp_UseDefaultSettings();
}

// ============================================================================
// [SECTION] Opening a project in place of the open one
// ============================================================================

bool KSN_LoadProjectInPlace(const char* path, int* currentViewport)
{
    if (currentViewport) *currentViewport = -1;
    if (!path) return false;

    // The header is checked before anything is touched.
    {
        std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path, "rb"), std::fclose);
        if (!file) {
            OS.WarningMessage(Lang.GetText(1021), path);
            return false;
        }
        std::string line;
        ReadWholeLine(file.get(), line);
        if (!IsProjectHeader(line)) {
            OS.WarningMessage("Cannot read \"%s\", line 1: %s", path, Lang.GetText(1017));
            return false;
        }
    }

    TKSN_FileAppState kept;
    TKSN_Project* previous = Project;
    auto* fresh = new TKSN_Project();
    Project = fresh;
    KSN_FileApp_SetViewportConfiguration(-1);
    bool loaded = false;
    try {
        loaded = fresh->LoadProject_v2(path);
    } catch (const std::exception& error) {
        OS.WarningMessage("Cannot read \"%s\": %s", path, error.what());
    }
    if (!loaded) {
        delete fresh;
        Project = previous;
        kept.Restore();
        return false;
    }
    // Whatever the old project's teardown asks of `Project` is its own.
    Project = previous;
    delete previous;
    Project = fresh;
    const int current = KSN_FileApp_FinishSwap();
    if (current >= 0) Project->SetCurrentViewportIndex(current);
    if (currentViewport) *currentViewport = current;
    return true;
}
