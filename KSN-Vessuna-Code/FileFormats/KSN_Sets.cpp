// Morph, selection and layer sets (see KSN_Sets.h for the file layout).
//
// Index:
//   [SECTION] Writing
//   [SECTION] Morph and selection sets
//   [SECTION] Layer sets
//   [SECTION] The Faceloom selection set
#include "KSN_Sets.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "KSN_Application.h"
#include "KSN_Interchange_Internal.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_PolygonLayer.h"
#include "KSN_Project.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORMemory.h"
#include "QORPolyMesh.h"
#include "QORString.h"
#include "QORStringParser.h"
#include "QORTextBlock.h"

using namespace ksn_interchange;

namespace {

constexpr int kLayerSetPolygonCountText = 1035;
constexpr int kSelectionSetVertexCountText = 1036;
constexpr int kSelectionSetPolygonCountText = 1037;
constexpr int kMorphSetVertexCountText = 1038;
constexpr int kMorphSetPolygonCountText = 1039;
constexpr int kNoDefaultSelectionSetText = 1022;
constexpr int kLoadingSelectionSetText = 1023;
constexpr int kDownloadSelectionSetText = 1024;
constexpr int kDownloadPageText = 1025;
constexpr const char* kLayerSetVertexCountText =
    "The vertex count used in this layer set does not match the current object. This may or may not cause issues "
    "with the layer set.";

constexpr int CommandRefreshMorphs = 439;
constexpr int CommandRefreshSelections = 440;

// User layers a set carries; 30 and 31 are the project's Hidden and Locked layers.
constexpr int kLastSetLayerSlot = 29;

void WarnNoCurrentObject()
{
    if (App)
        App->WarningNoCurrentObject(true);
    else
        OS.WarningMessage("%s", Lang.GetText(259));
}

bool IsKey(const std::string& key, const char* name) { return QORstrcmpi(key.c_str(), name) == 0; }

// The current object's mesh and the set file, created for writing or opened
// for reading; null after the warning that says why when either is missing.
FILE* OpenSetFile(TKSN_Project* project, const char* path, bool forWriting, TKSN_Mesh*& mesh)
{
    mesh = project->GetPolyMesh();
    if (!mesh) {
        WarnNoCurrentObject();
        return nullptr;
    }
    FILE* file = forWriting ? CreateReplacing(path) : path ? std::fopen(path, "r") : nullptr;
    if (!file)
        OS.WarningMessage("%s", TextWith(forWriting ? kCannotCreateFileText : kCannotOpenFileText, path ? path : "")
                                    .c_str());
    return file;
}

// ============================================================================
// [SECTION] Writing
// ============================================================================

enum class ESetKind { Morphs, Selections, Layers };

void ExportSet(TKSN_Project* project, const char* path, ESetKind kind)
{
    TKSN_Mesh* mesh = nullptr;
    FILE* file = OpenSetFile(project, path, true, mesh);
    if (!file) return;
    TextFileIndent = 0;
    std::fprintf(file, "verify_vcount %d\n", mesh->GetVCount());
    std::fprintf(file, "verify_pcount %d\n", mesh->GetPCount());
    switch (kind) {
    case ESetKind::Morphs:
        mesh->MorphTree->typeKeyword = "morphs";
        mesh->MorphTree->SaveToStream_Text(file, true);
        break;
    case ESetKind::Selections:
        mesh->SelectionTree->typeKeyword = "selections";
        mesh->SelectionTree->SaveToStream_Text(file, true);
        break;
    case ESetKind::Layers:
        for (int slot = 0; slot <= kLastSetLayerSlot; ++slot) {
            TKSN_Layer* layer = project->PolygonLayers[slot];
            if (!layer || !layer->IsEnabled()) continue;
            std::fprintf(file, "slot\t%d\n", slot);
            layer->SaveToStream_Text(file, true);
        }
        if (mesh->GetPCount() > 0) {
            std::vector<uint32_t> words(size_t(mesh->GetPCount()));
            for (int p = 0; p < mesh->GetPCount(); ++p) words[size_t(p)] = mesh->Polygons[p].LayerFlags;
            SaveBinaryDataToTextFile(file, words.data(), int(words.size() * sizeof(uint32_t)), "PolygonLayerFlags");
        }
        break;
    }
    TextFileIndent = 0;
    std::fclose(file);
}

} // namespace

void TKSN_Project::ExportMorphSet(const char* path) { ExportSet(this, path, ESetKind::Morphs); }
void TKSN_Project::ExportSelectionSet(const char* path) { ExportSet(this, path, ESetKind::Selections); }
void TKSN_Project::ExportLayerSet(const char* path) { ExportSet(this, path, ESetKind::Layers); }

// ============================================================================
// [SECTION] Morph and selection sets
// ============================================================================

namespace {

struct TTreeSetTexts {
    int VertexCountText;
    int PolygonCountText;
    const char* Keyword;
};

// Reads a morph or selection set into the current mesh's tree. A vertex
// count that differs stops the reading before anything changed.
void ImportTreeSet(TKSN_Project* project, const char* path, bool merge, bool morphs)
{
    const TTreeSetTexts texts = morphs ? TTreeSetTexts{kMorphSetVertexCountText, kMorphSetPolygonCountText, "morphs"}
                                       : TTreeSetTexts{kSelectionSetVertexCountText, kSelectionSetPolygonCountText,
                                                       "selections"};
    TKSN_Mesh* mesh = nullptr;
    FILE* file = OpenSetFile(project, path, false, mesh);
    if (!file) return;
    bool emptied = merge;
    std::string line, key, value;
    while (ReadWholeLine(file, line)) {
        SplitKeyAndValue(line, key, value);
        if (IsKey(key, "verify_vcount")) {
            if (std::atoi(value.c_str()) != mesh->GetVCount()) {
                OS.WarningMessage("%s", Lang.GetText(texts.VertexCountText));
                break;
            }
        } else if (IsKey(key, "verify_pcount")) {
            if (std::atoi(value.c_str()) != mesh->GetPCount()) OS.WarningMessage("%s", Lang.GetText(texts.PolygonCountText));
        } else if (IsKey(key, texts.Keyword)) {
            TKSN_TreeGroup* tree = morphs ? static_cast<TKSN_TreeGroup*>(mesh->MorphTree)
                                          : static_cast<TKSN_TreeGroup*>(mesh->SelectionTree);
            if (!emptied) {
                emptied = true;
                if (morphs) {
                    mesh->SetCurrentMorph(nullptr);
                    tree->Empty();
                    mesh->TempMorph = nullptr;
                    mesh->BaseVerticesMorph = nullptr;
                    mesh->SetupSpecialMorphs();
                    mesh->SetCurrentMorph(nullptr);
                    QOREvents_PushEvent(CommandRefreshMorphs);
                } else {
                    mesh->SetCurrentSelection(nullptr, false);
                    tree->Empty();
                    // The hidden selections' group is the tree's next sibling
                    // and outlives the emptying; a second one would split them.
                    if (!tree->GetNext()) mesh->SetupSpecialSelections();
                    mesh->SetCurrentSelection(nullptr, false);
                    QOREvents_PushEvent(CommandRefreshSelections);
                }
            }
            tree->LoadFromStream_Text(file);
        }
    }
    std::fclose(file);
    // A set without count lines may hold items of another vertex count; they
    // are sized to this mesh so that no tool reads past their arrays.
    project->EnforceMorphAndSelectionSizes(mesh);
    project->SyncMeshIDs();
}

} // namespace

void TKSN_Project::ImportMorphSet(const char* path, bool merge) { ImportTreeSet(this, path, merge, true); }
void TKSN_Project::ImportSelectionSet(const char* path, bool merge) { ImportTreeSet(this, path, merge, false); }

// ============================================================================
// [SECTION] Layer sets
// ============================================================================

void TKSN_Project::ImportLayerSet(const char* path)
{
    TKSN_Mesh* mesh = nullptr;
    FILE* file = OpenSetFile(this, path, false, mesh);
    if (!file) return;
    int nextSlot = 0;          // files without slot lines fill the slots in order
    int recordedSlot = -1;     // the slot line just read, for the next "layer" block
    bool changed = false;
    std::string line, key, value;
    while (ReadWholeLine(file, line)) {
        SplitKeyAndValue(line, key, value);
        if (IsKey(key, "verify_vcount")) {
            if (std::atoi(value.c_str()) != mesh->GetVCount()) OS.WarningMessage("%s", kLayerSetVertexCountText);
        } else if (IsKey(key, "verify_pcount")) {
            if (std::atoi(value.c_str()) != mesh->GetPCount()) {
                OS.WarningMessage("%s", Lang.GetText(kLayerSetPolygonCountText));
                break;
            }
        } else if (IsKey(key, "slot")) {
            char* end = nullptr;
            const long slot = std::strtol(value.c_str(), &end, 10);
            recordedSlot = (end && end != value.c_str() && *end == 0 && slot >= 0 && slot <= kLastSetLayerSlot)
                               ? int(slot)
                               : -2;   // refused: its layer block is read and dropped
        } else if (IsKey(key, "layer")) {
            int slot = recordedSlot == -1 ? nextSlot : recordedSlot;
            if (slot < 0 || slot > kLastSetLayerSlot) {
                TKSN_Layer discarded;
                discarded.LoadFromStream_Text(file);
            } else {
                TKSN_Layer* layer = PolygonLayers[slot];
                layer->LoadFromStream_Text(file);
                layer->Enable();
                changed = true;
                nextSlot = slot + 1;
            }
            recordedSlot = -1;
        } else if (IsKey(key, "PolygonLayerFlags")) {
            int bytes = 0;
            void* data = nullptr;
            try {
                data = LoadBinaryDataArrayFromTextFile(file, &bytes);
            } catch (const std::exception&) {
                // A damaged block is dropped like one of another size.
                data = nullptr;
                bytes = 0;
            }
            const int count = mesh->GetPCount();
            if (data && count > 0 && bytes == count * int(sizeof(uint32_t))) {
                const auto* words = static_cast<const uint32_t*>(data);
                for (int p = 0; p < count; ++p) mesh->Polygons[p].LayerFlags = words[p];
                changed = true;
            }
            QORfree(data);
        }
    }
    std::fclose(file);
    if (changed) {
        UpdateLockedLayers();
        UpdateVisibleLayers();
    }
}

// ============================================================================
// [SECTION] The Faceloom selection set
// ============================================================================

void CheckAndAutoLoadFaceloomSelectionSet()
{
    if (!Project) return;
    TKSN_Object* object = Project->GetCurrentObject();   // a stale ID is cleared here
    if (!object || !object->Mesh) return;
    TKSN_Mesh* mesh = object->Mesh.get();
    for (TKSN_TreeGroup* group = mesh->SelectionTree ? mesh->SelectionTree->GetChild() : nullptr; group;
         group = group->GetNext())
        if (QORstrcmpi(group->GetName(), "Faceloom") == 0) return;

    std::string geometry = object->FileName;
    if (const char* ext = GetExtensionFromFileName(geometry.c_str()); ext && QORstrcmpi(ext, "CR2") == 0)
        geometry = object->OBJFileName;
    if (geometry.empty()) {
        OS.WarningMessage("%s", TextWith(kNoDefaultSelectionSetText, "").c_str());
        return;
    }
    // The name without folder, whichever separator the stored path uses.
    const size_t cut = geometry.find_last_of("/\\");
    const std::string geometryName = cut == std::string::npos ? geometry : geometry.substr(cut + 1);

    const std::string dataBase = std::string(OS.GetMainPath()) + "Data/Faceloom_DataBase.txt";
    FILE* file = std::fopen(dataBase.c_str(), "r");
    if (!file) {
        OS.WarningMessage("%s", TextWith(kCannotOpenFileText, dataBase).c_str());
        return;
    }
    std::string setName, line;
    while (ReadWholeLine(file, line)) {
        TQORStringParser parser(line.c_str(), false);
        if (parser.Tokens.Count() != 2) continue;
        if (QORstrcmpi(parser.Tokens[0], geometryName.c_str()) == 0) {
            setName = parser.Tokens[1];
            break;
        }
    }
    std::fclose(file);
    if (setName.empty()) {
        OS.WarningMessage("%s", TextWith(kNoDefaultSelectionSetText, geometryName).c_str());
        return;
    }
    const std::string setPath = std::string(OS.GetMainPath()) + "Selection Sets/" + setName;
    if (TOS::FileExists(setPath.c_str())) {
        OS.PrintMessage("%s", TextWith(kLoadingSelectionSetText, setName).c_str());
        Project->ImportSelectionSet(setPath.c_str(), true);
        QOREvents_PushEvent(CommandRefreshSelections);
    } else if (OS.MessageYesNo("%s", Lang.GetText(kDownloadSelectionSetText))) {
        OS.LaunchURL(Lang.GetText(kDownloadPageText));
    }
}
