// Rewriting figure files with injected morphs.
//
// Index:
//   [SECTION] Blocks written into the tree
//   [SECTION] Linking and injecting
//   [SECTION] Materials
//   [SECTION] The rewrite
#include "KSN_CR2Inject.h"

#include "KSN_Application.h"
#include "KSN_CR2Import.h"
#include "KSN_CR2StringRes.h"
#include "KSN_CR2_Internal.h"
#include "KSN_Mesh.h"
#include "KSN_ObjWriter.h"
#include "KSN_Morph.h"
#include "KSN_Project.h"
#include "OS.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORString.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

std::string gFigureName;
std::string gBodyName;

namespace {

// ---------------------------------------------------------------------------
// [SECTION] Blocks written into the tree
// ---------------------------------------------------------------------------

// name ... interpStyleLocked: the entries a dial and a target share, with their limits.
void AddDialEntries(TQORCR2TreeNode* node, const char* name, const char* min, const char* max, const char* tracking)
{
    node->braced = true;
    node->AppendChild("name", name);
    node->AppendChild("initValue", "0");
    node->AppendChild("hidden", "0");
    node->AppendChild("forceLimits", "4");
    node->AppendChild("min", min);
    node->AppendChild("max", max);
    node->AppendChild("trackingScale", tracking);
    TQORCR2TreeNode* keys = node->AppendChild("keys", "");
    keys->braced = true;
    keys->AppendChild("static", "0");
    keys->AppendChild("k", "0 0");
    node->AppendChild("interpStyleLocked", "0");
}

float LengthSquared(const float* d) { return d[0] * d[0] + d[1] * d[1] + d[2] * d[2]; }

// A name line as the reader would have made it (first word, then the rest),
// so that the output reads back to the same tree: "Figure 1" is written
// without a trailing blank, a one-word name with one.
void AppendLine(TQORCR2TreeNode* parent, const std::string& text)
{
    std::string command(text.size() + 1, '\0'), parameter(text.size() + 1, '\0');
    GetCommandAndParameter(text.c_str(), command.data(), parameter.data());
    parent->AppendChild(command.c_str(), parameter.c_str());
}

void FillTarget(TQORCR2TreeNode* target, const char* name, TQORGroup2* group, const float* deltas, int moved)
{
    AddDialEntries(target, name, "-100000", "100000", "0.0196772");
    target->AppendChild("valueOpDeltaAdd", "");
    AppendLine(target, gFigureName);
    AppendLine(target, gBodyName);
    AppendLine(target, name);
    target->AppendChild("deltaAddDelta", "1.0");
    target->AppendChild("indexes", QORFormat("%d", moved).c_str());
    target->AppendChild("numbDeltas", QORFormat("%d", group->VertexCount).c_str());
    TQORCR2TreeNode* block = target->AppendChild("deltas", "");
    block->braced = true;
    for (int local = 0; local < group->VertexCount; ++local) {
        const float* d = deltas + 3 * size_t(group->Vertices[local]);
        if (LengthSquared(d) <= 1e-30f * 1e-30f) continue;
        block->AppendChild("d", QORFormat("%d %.8f %.8f %.8f", local, d[0], d[1], d[2]).c_str());
    }
}

// Moved local vertices of the group in the morph's dense deltas.
int CountMoved(TQORGroup2* group, const float* deltas, int vertexCount)
{
    int moved = 0;
    for (int local = 0; local < group->VertexCount; ++local) {
        const int v = group->Vertices[local];
        if (v >= 0 && v < vertexCount && LengthSquared(deltas + 3 * size_t(v)) > 1e-30f * 1e-30f) ++moved;
    }
    return moved;
}

bool AddBodyDial(TQORCR2TreeNode* root, const char* name)
{
    TQORCR2TreeNode* first = root->Find("actor", "body:3", true);
    if (!first) {
        OS.WarningMessage(Lang.GetText(1029), 1);
        OS.Message("Cannot find the body node! (2)");
        return false;
    }
    TQORCR2TreeNode* second = first->FindNext("actor", "body:3", true);
    if (!second) {
        OS.Message("Cannot find the body node! (2)");
        return false;
    }
    TQORCR2TreeNode* channels = second->Find("Channels", nullptr, false);
    if (!channels) {
        OS.Message("Cannot find the channels node!");
        return false;
    }
    channels->braced = true;
    AddDialEntries(channels->InsertFirstChild("valueParm", name), name, "-10000", "10000", "0.02");
    return true;
}

bool InjectMorph(TKSN_Mesh* mesh, TKSN_Morph* morph)
{
    const bool wasCompressed = morph->IsCompressed();
    mesh->BeginUsingMorph(morph);
    if (wasCompressed) morph->Expand();
    const float* deltas = morph->GetPointerToExpandedArray();
    const int vertexCount = morph->GetVCount();
    for (int i = 0; deltas && i < mesh->Groups2->GetItemCount(); ++i) {
        TQORGroup2* group = mesh->Groups2->GetItemAs(i);
        if (!group) break;
        auto* actor = static_cast<TQORCR2TreeNode*>(group->Pointer);
        if (!actor || group->VertexCount <= 0 || !group->Vertices) continue;
        TQORCR2TreeNode* channels = actor->Find("Channels", nullptr, false);
        if (!channels) continue;
        const int moved = CountMoved(group, deltas, vertexCount);
        if (moved == 0) continue;
        TQORCR2TreeNode* target = channels->Find("targetGeom", morph->GetName(), false);
        if (target) {
            target->Empty();
        } else {
            channels->braced = true;
            target = channels->InsertFirstChild("targetGeom", morph->GetName());
        }
        FillTarget(target, morph->GetName(), group, deltas, moved);
    }
    if (wasCompressed) morph->Compress();
    mesh->EndUsingMorph(morph);
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// [SECTION] Linking and injecting
// ---------------------------------------------------------------------------

void CR2_ClearActorLinks(TKSN_Mesh* mesh)
{
    for (int i = 0; mesh && mesh->Groups2 && i < mesh->Groups2->GetItemCount(); ++i)
        if (TQORGroup2* group = mesh->Groups2->GetItemAs(i)) group->Pointer = nullptr;
}

bool InjectMorphsIntoCR2Tree_OnVisit(TKSN_TreeGroup* group, int, void* userData)
{
    auto* root = static_cast<TQORCR2TreeNode*>(userData);
    TKSN_Mesh* mesh = Project ? Project->GetPolyMesh() : nullptr;
    if (!mesh) return false;
    if (group->IsReadOnly() || group->hidden) return true;
    for (int i = 0; group->items && i < group->items->Count(); ++i) {
        auto* morph = dynamic_cast<TKSN_Morph*>((*group->items)[i]);
        // The morphs of a figure import carry the read-only flag itself
        // (the morph class answers IsReadOnly() false for editing).
        if (!morph || morph->readOnly || morph == mesh->BaseVerticesMorph || morph == mesh->TempMorph) continue;
        if (Project->CR2SetupFullBodyMorphs && !AddBodyDial(root, morph->GetName())) return false;
        InjectMorph(mesh, morph);
    }
    return true;
}

void InjectMorphsIntoCR2Tree(TKSN_Mesh* mesh, TQORCR2TreeNode* root)
{
    if (!mesh || !root) return;
    TQORCR2TreeNode* first = root->Find("actor", nullptr, false);
    if (!first) return;
    TQORCR2TreeNode* second = first->FindNext("actor", first->GetParameter(), false);
    if (!second) return;
    for (TQORCR2TreeNode* actor = second; actor; actor = actor->FindNext("actor", nullptr, false))
        if (TQORGroup2* group = CR2_FindGroup(mesh, actor->GetParameter())) group->Pointer = actor;

    TQORCR2TreeNode* figure = root->Find("figure", nullptr, false);
    if (!figure) {
        OS.WarningMessage("%s", Lang.GetText(1030));
        return;
    }
    if (TQORCR2TreeNode* name = figure->Find("name", nullptr, false)) {
        gFigureName = name->GetParameter();
        CR2_ResolveStringRes(gFigureName);
    }
    if (TQORCR2TreeNode* body = figure->Find("root", nullptr, false)) {
        gBodyName = body->GetParameter();
        CR2_ResolveStringRes(gBodyName);
    }
    TKSN_TreeGroup::Traverse(mesh->MorphTree, 0, InjectMorphsIntoCR2Tree_OnVisit, root, false);
}

// ---------------------------------------------------------------------------
// [SECTION] Materials
// ---------------------------------------------------------------------------

bool ProcessMapForMaterial(TQORMaterial* material, const char* channelName, const char* mapKey,
                           TQORCR2TreeNode* materialEntry)
{
    TQORMaterialChannel* channel = material ? material->GetChannelFromName(channelName) : nullptr;
    if (!channel || !materialEntry) return false;
    if (TQORCR2TreeNode* entry = materialEntry->Find(mapKey, nullptr, false)) {
        std::string file = channel->GetMapFileName();
        if (!file.empty()) {
            MakeFileNameRuntimeRelative(file);
            entry->SetParameter(("\"" + file + "\"").c_str());
            TQORCR2TreeNode* next = entry->GetNext();
            if (!next || QORstrcmpi(next->GetCommand(), "0") != 0 || QORstrcmpi(next->GetParameter(), "0") != 0)
                entry->LinkNext(new TQORCR2TreeNode("0", "0"));
        } else {
            entry->SetParameter("NO_MAP");
        }
    }
    if (QORstrcmpi(channelName, "Color") == 0) {
        if (TQORCR2TreeNode* color = materialEntry->Find("KdColor", nullptr, false))
            color->SetParameter(
                QORFormat("%.4f %.4f %.4f 1.0", channel->Color[0], channel->Color[1], channel->Color[2]).c_str());
        if (channel->GetMapID() != 0)
            if (TQORCR2TreeNode* texture = materialEntry->Find("TextureColor", nullptr, false))
                texture->SetParameter("1 1 1 1");
    } else if (QORstrcmpi(channelName, "Bump") == 0) {
        if (TQORCR2TreeNode* strength = materialEntry->Find("bumpStrength", nullptr, false))
            strength->SetParameter(QORFormat("%.8f", channel->Strength).c_str());
    } else if (QORstrcmpi(channelName, "Transparency") == 0) {
        if (TQORCR2TreeNode* tMin = materialEntry->Find("tMin", nullptr, false)) {
            const std::string text = QORFormat("%.8f", channel->Strength);
            tMin->SetParameter(text.c_str());
            if (TQORCR2TreeNode* tMax = materialEntry->Find("tMax", nullptr, false)) tMax->SetParameter(text.c_str());
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// [SECTION] The rewrite
// ---------------------------------------------------------------------------

namespace {

TQORMaterial* FindMaterial(TKSN_Mesh* mesh, const char* name)
{
    for (int i = 0; mesh->Materials && i < mesh->Materials->GetItemCount(); ++i) {
        TQORMaterial* material = KSN_MaterialFromThingy(mesh->Materials->GetItem(i));
        if (!material) break;
        if (Morph_NamesEqual(material->GetName(), name)) return material;
    }
    return nullptr;
}

void WriteMaterials(TKSN_Mesh* mesh, TQORCR2TreeNode* root)
{
    TQORCR2TreeNode* figure = root->Find("figure", nullptr, false);
    if (!figure) return;
    for (TQORCR2TreeNode* entry = figure->GetChild(); entry; entry = entry->GetNext()) {
        if (QORstrcmpi(entry->GetCommand(), "material") != 0) continue;
        TQORMaterial* material = FindMaterial(mesh, entry->GetParameter());
        if (!material) {
            OS.WarningMessage(Lang.GetText(1034), entry->GetParameter());
            continue;
        }
        ProcessMapForMaterial(material, "Color", "textureMap", entry);
        ProcessMapForMaterial(material, "Bump", "bumpMap", entry);
        ProcessMapForMaterial(material, "Transparency", "transparencyMap", entry);
    }
}

// Asks for the new OBJ's name and writes it; false when the user cancelled.
bool WriteNewObj(TKSN_Project* project, TKSN_Mesh* mesh, TQORCR2TreeNode* root)
{
    OS.Message("Please choose a file name (and location) for the newly created OBJ file.");
    std::vector<char> path(size_t(TOS_PATH_BUFFER), '\0');
    std::vector<char> folder(size_t(TOS_PATH_BUFFER), '\0');
    if (App) std::snprintf(folder.data(), folder.size(), "%s", App->exportPath);
    if (!OS.ExecuteSaveFileDialog(path.data(), folder.data(), "Object Files", "OBJ", "", true)) {
        OS.WarningMessage("%s", Lang.GetText(1033));
        return false;
    }
    mesh->UpdateWeldedMorph(mesh->TempMorph);
    const bool ignoring = mesh->IgnoreWelding;
    mesh->IgnoreWelding = true;   // the new OBJ keeps the figure's own vertex numbering
    // The writer reports a file it cannot create itself.
    ExportObjectFile(mesh, path.data(), false, true, project->UseInternalNameforGroups);
    mesh->IgnoreWelding = ignoring;

    std::string linked = path.data();
    MakeFileNameRuntimeRelative(linked);
    for (TQORCR2TreeNode* entry = root->GetChild(); entry; entry = entry->GetNext())
        if (QORstrcmpi(entry->GetCommand(), "figureResFile") == 0) entry->SetParameter(linked.c_str());
    return true;
}

std::string ThumbnailPathFor(const char* outputPath)
{
    std::vector<char> buffer(std::strlen(outputPath) + 1);
    std::memcpy(buffer.data(), outputPath, buffer.size());
    RemoveExtensionFromFileName(buffer.data());
    return std::string(buffer.data()) + ".rsr";
}

// Deletes the half-written file unless it was handed over.
struct TPartFile {
    std::string path;
    FILE* file = nullptr;
    ~TPartFile()
    {
        if (file) std::fclose(file);
        if (!path.empty()) std::remove(path.c_str());
    }
};

}  // namespace

namespace {

void InjectMorphsIntoCR2FileOrThrow(TKSN_Project* project, const char* sourcePath, const char* outputPath);

}  // namespace

void TKSN_Project::InjectMorphsIntoCR2File(const char* sourcePath, const char* outputPath)
{
    try {
        InjectMorphsIntoCR2FileOrThrow(this, sourcePath, outputPath);
    } catch (const std::exception& error) {
        // Nothing is written: the part file goes with the unwinding.
        OS.WarningMessage("%s", error.what());
    }
}

namespace {

void InjectMorphsIntoCR2FileOrThrow(TKSN_Project* project, const char* sourcePath, const char* outputPath)
{
    TKSN_Mesh* mesh = project->GetPolyMesh();
    if (!mesh || !sourcePath || !outputPath) return;
    gFigureName.clear();
    gBodyName.clear();
    CR2_ClearActorLinks(mesh);
    struct TLinkGuard {
        TKSN_Mesh* mesh;
        ~TLinkGuard() { CR2_ClearActorLinks(mesh); }
    } linkGuard{mesh};

    // The output is written beside its final name and takes that name only
    // when it is complete, so a failure never leaves a cut figure behind.
    TPartFile part;
    part.file = std::fopen((std::string(outputPath) + ".part").c_str(), "wb");
    if (!part.file) {
        OS.WarningMessage(Lang.GetText(1020), outputPath);
        return;
    }
    part.path = std::string(outputPath) + ".part";

    project->UpdateAllChannelMapFileNames();
    if (!TOS::FileExists(sourcePath)) {
        OS.WarningMessage(Lang.GetText(1021), sourcePath);
        return;
    }
    std::unique_ptr<TQORCR2TreeNode> tree(ImportCR2Tree(sourcePath, true));
    if (!tree) return;

    if (project->CR2SaveNewOBJ && !WriteNewObj(project, mesh, tree.get())) return;
    if (project->ExportMorphs) InjectMorphsIntoCR2Tree(mesh, tree.get());
    if (project->CR2AutoRig) project->AutoRigCR2File(mesh, tree.get());
    WriteMaterials(mesh, tree.get());

    bool written = tree->PrintTree(part.file, tree->GetChild(), 0);
    written = std::fclose(part.file) == 0 && written;
    part.file = nullptr;
    if (!written || std::rename(part.path.c_str(), outputPath) != 0) {
        OS.WarningMessage(Lang.GetText(1020), outputPath);
        return;
    }
    part.path.clear();

    const std::string thumbnail = QORFormat("%sData%cVexmark.rsr", OS.GetMainPath(), '/');
    TOS::OS_CopyFile(ThumbnailPathFor(outputPath).c_str(), thumbnail.c_str());
}

}  // namespace
