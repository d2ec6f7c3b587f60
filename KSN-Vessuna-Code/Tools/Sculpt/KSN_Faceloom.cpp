// The head template (file, random state, settings text), its application to
// a mesh, and the head-morphing tool's panel and commands.
#include "KSN_Faceloom.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "KSN_Application.h"
#include "KSN_DeformerKinds.h"
#include "KSN_DeformerTouchup.h"
#include "KSN_Mesh.h"
#include "KSN_MeshArtifacts.h"
#include "KSN_MorphSelectionTree.h"
#include "KSN_Object.h"
#include "KSN_Parameter.h"
#include "KSN_Selection.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORMatrix.h"
#include "QORMemory.h"
#include "QORString.h"
#include "QORStringParser.h"

namespace {

TKSN_FaceloomProjectHooks Hooks;
void (*ImportSelectionSetHook)(const char* path) = nullptr;
void (*AutoLoadSelectionSetHook)() = nullptr;

constexpr int kUpdate = 10002, kReset = 10000, kRandomHead = 10001, kCreateSelections = 10005,
              kOpenSelectionSet = 10006;

const char* KindName(int kind)
{
    switch (kind) {
    case KSN_FACELOOM_TRANSLATE: return "Move";
    case KSN_FACELOOM_BULGE: return "Bulge";
    case KSN_FACELOOM_SCALE: return "Scale";
    case KSN_FACELOOM_ROTATE: return "Rotate";
    case KSN_FACELOOM_SMOOTH: return "Smooth";
    case KSN_FACELOOM_ARTIFACT_REMOVAL: return "Artifact Removal";
    case KSN_FACELOOM_FLATTEN: return Lang.GetText(673);
    default: return "";
    }
}

int KindFromWord(const char* word)
{
    static const std::pair<const char*, int> kinds[] = {
        {"Translate", KSN_FACELOOM_TRANSLATE}, {"Rotate", KSN_FACELOOM_ROTATE},
        {"ArtifactRemoval", KSN_FACELOOM_ARTIFACT_REMOVAL}, {"Smooth", KSN_FACELOOM_SMOOTH},
        {"Bulge", KSN_FACELOOM_BULGE}, {"Scale", KSN_FACELOOM_SCALE}, {"Flatten", KSN_FACELOOM_FLATTEN}};
    for (const auto& [name, kind] : kinds)
        if (QORstrcmpi(word, name) == 0) return kind;
    return 0;
}

// Text that is not a number reads as 0.
float ReadNumber(const char* text, bool* ok = nullptr)
{
    char* end = nullptr;
    const double v = std::strtod(text ? text : "", &end);
    const bool good = end && end != text && *end == '\0' && std::isfinite(v);
    if (ok) *ok = good;
    return good ? float(v) : 0.0f;
}

// The first top-level group of the tree named name (any case), or null.
TKSN_TreeGroup* FindTopGroup(TKSN_TreeGroup* tree, const char* name)
{
    if (!tree) return nullptr;
    for (TKSN_TreeGroup* g = tree->GetChild(); g; g = g->GetNext())
        if (QORstrcmpi(g->GetName(), name) == 0) return g;
    return nullptr;
}

// The thingy named name (any case) in group, its items and its sub-groups (not its siblings).
TKSN_Thingy* FindInGroup(TKSN_TreeGroup* group, const char* name)
{
    if (!group) return nullptr;
    if (group->items)
        for (TKSN_Thingy* item : *group->items)
            if (item && QORstrcmpi(item->GetName(), name) == 0) return item;
    for (TKSN_TreeGroup* g = group->GetChild(); g; g = g->GetNext()) {
        if (QORstrcmpi(g->GetName(), name) == 0) return g;
        if (TKSN_Thingy* found = FindInGroup(g, name)) return found;
    }
    return nullptr;
}

double Length3(const float* a, const float* b)
{
    double s = 0.0;
    for (int k = 0; k < 3; ++k) s += double(a[k] - b[k]) * double(a[k] - b[k]);
    return std::sqrt(s);
}

} // namespace

void KSN_SetFaceloomProjectHooks(const TKSN_FaceloomProjectHooks& hooks) { Hooks = hooks; }
const TKSN_FaceloomProjectHooks& KSN_GetFaceloomProjectHooks() { return Hooks; }
void KSN_SetFaceloomSelectionSetHooks(void (*importSet)(const char* path), void (*autoLoad)())
{
    ImportSelectionSetHook = importSet;
    AutoLoadSelectionSetHook = autoLoad;
}

// [SECTION] Template classes

TKSN_FaceloomTransform::TKSN_FaceloomTransform(int kind, TKSN_FaceloomSection* owner) : Kind(kind), Owner(owner)
{
    const float base = kind == KSN_FACELOOM_SCALE ? 1.0f : 0.0f;
    for (int k = 0; k < 3; ++k) Low[k] = High[k] = Base[k] = Current[k] = base;
    SetName("%s", KindName(kind));
}

TKSN_FaceloomSection::~TKSN_FaceloomSection()
{
    for (TKSN_FaceloomTransform* t : Transforms) delete t;
}

TKSN_FaceloomCategory::~TKSN_FaceloomCategory()
{
    for (TKSN_FaceloomSection* s : Sections) delete s;
}

TKSN_FaceloomTemplate::~TKSN_FaceloomTemplate()
{
    for (TKSN_FaceloomCategory* c : Categories) delete c;
}

void TKSN_FaceloomTemplate::LoadTemplate(const char* path)
{
    FILE* file = path ? std::fopen(path, "rb") : nullptr;
    if (!file) {
        OS.WarningMessage(Lang.GetText(1021), path ? path : "");
        return;
    }
    for (TKSN_FaceloomCategory* c : Categories) delete c;
    Categories.Clear();
    TKSN_FaceloomCategory* category = nullptr;
    TKSN_FaceloomSection* section = nullptr;
    TKSN_FaceloomTransform* transform = nullptr;
    char line[256], command[256], parameter[256];
    while (!std::feof(file) && !std::ferror(file)) {
        TOS::fgets(line, 255, file);
        GetCommandAndParameter(line, command, parameter);
        if (QORstrcmpi(command, "Category") == 0) {
            category = new TKSN_FaceloomCategory(this);
            category->SetName("%s", parameter);
            Categories.Add(category);
            continue;
        }
        if (!category) continue;
        if (QORstrcmpi(command, "hidden") == 0) {
            category->Hidden = true;
        } else if (QORstrcmpi(command, "Section") == 0) {
            section = new TKSN_FaceloomSection(category);
            section->SetName("%s", parameter);
            category->Sections.Add(section);
        } else if (section && QORstrcmpi(command, "optional") == 0) {
            section->Optional = true;
        } else if (section && QORstrcmpi(command, "Transform") == 0) {
            TQORStringParser words(parameter, false);
            if (words.Tokens.Count() < 7) continue;
            const int kind = KindFromWord(words.Tokens[0]);
            if (!kind) {
                OS.WarningMessage("Unrecognized transform %s", words.Tokens[0]);
                continue;
            }
            transform = new TKSN_FaceloomTransform(kind, section);
            for (int k = 0; k < 3; ++k) {
                transform->Low[k] = ReadNumber(words.Tokens[1 + k]);
                transform->High[k] = ReadNumber(words.Tokens[4 + k]);
            }
            section->Transforms.Add(transform);
        } else if (transform && QORstrcmpi(command, "Symmetry") == 0) {
            // The axis indexes the three coordinates: anything else is refused.
            bool ok = false;
            const float axis = ReadNumber(parameter, &ok);
            if (!ok || axis != std::floor(axis) || axis < -1.0f || axis > 2.0f)
                OS.WarningMessage("Invalid symmetry axis %s (the transform keeps %d)", parameter, transform->MirrorAxis);
            else
                transform->MirrorAxis = int(axis);
        } else if (transform && QORstrcmpi(command, "Exponent") == 0) {
            // A power of 0 or below makes the random factor meaningless (or infinite).
            bool ok = false;
            const float exponent = ReadNumber(parameter, &ok);
            if (!ok || !(exponent > 0.0f))
                OS.WarningMessage("Invalid exponent %s (the transform keeps %.1f)", parameter,
                                  double(transform->Exponent));
            else
                transform->Exponent = exponent;
        }
    }
    std::fclose(file);
}

void TKSN_FaceloomTemplate::ResetValues()
{
    for (TKSN_FaceloomCategory* c : Categories)
        for (TKSN_FaceloomSection* s : c->Sections)
            for (TKSN_FaceloomTransform* t : s->Transforms) {
                std::copy(t->Base, t->Base + 3, t->Current);
                t->RandomFlag = false;
            }
}

void TKSN_FaceloomCategory::GenerateRandomValues()
{
    for (TKSN_FaceloomSection* s : Sections)
        for (TKSN_FaceloomTransform* t : s->Transforms) {
            for (float& r : t->Random) r = float(QORrandom(1000)) / 1000.0f;
            t->RandomFlag = true;
        }
}

void TKSN_FaceloomCategory::UpdateValues()
{
    const float S = Owner ? Owner->Strength : 1.0f;
    const float symmetry = Owner ? Owner->Symmetry : 0.0f;
    for (TKSN_FaceloomSection* s : Sections)
        for (TKSN_FaceloomTransform* t : s->Transforms) {
            for (int c = 0; c < 3; ++c) {
                if (t->RandomFlag) {
                    const float target = float(double(t->Low[c]) + (double(t->High[c]) - double(t->Low[c])) *
                                                                        std::pow(double(t->Random[c]), double(t->Exponent)));
                    t->Current[c] = t->Base[c] + (target - t->Base[c]) * S;
                } else {
                    t->Current[c] = t->Base[c];
                }
            }
            if (t->MirrorAxis != -1) continue;
            if (t->Kind == KSN_FACELOOM_TRANSLATE) t->Current[0] *= 1.0f - symmetry;
            if (t->Kind == KSN_FACELOOM_ROTATE) {
                t->Current[1] *= 1.0f - symmetry;
                t->Current[2] *= 1.0f - symmetry;
            }
        }
}

void TKSN_FaceloomTemplate::GetSettings(TKSN_StringList* list)
{
    if (!list) return;
    for (TKSN_FaceloomCategory* c : Categories) {
        list->Add(QORFormat("Category %s", c->GetName()));
        for (TKSN_FaceloomSection* s : c->Sections) {
            list->Add(QORFormat("Section %s", s->GetName()));
            for (TKSN_FaceloomTransform* t : s->Transforms) {
                list->Add(QORFormat("Transform %s", t->GetName()));
                const float* v = t->RandomFlag ? t->Random : t->Base;
                list->Add(QORFormat(t->RandomFlag ? "RandomFactor %.8f %.8f %.8f" : "Value %.8f %.8f %.8f",
                                    double(v[0]), double(v[1]), double(v[2])));
            }
        }
    }
}

void TKSN_FaceloomTemplate::SetSettings(TKSN_StringList* list)
{
    if (!list) return;
    int categoryIndex = -1, sectionIndex = -1, transformIndex = -1;
    TKSN_FaceloomCategory* category = nullptr;
    TKSN_FaceloomSection* section = nullptr;
    TKSN_FaceloomTransform* transform = nullptr;
    for (int i = 0; i < list->Count(); ++i) {
        const std::string& line = (*list)[i];
        TQORStringParser words(line.c_str(), false);
        // One word is enough for the structure lines: a category with an
        // empty name must still advance the position.
        if (words.Tokens.Count() < 1) continue;
        const char* key = words.Tokens[0];
        if (QORstrcmpi(key, "Category") == 0) {
            ++categoryIndex;
            sectionIndex = transformIndex = -1;
            section = nullptr;
            transform = nullptr;
            category = categoryIndex < Categories.Count() ? Categories[categoryIndex] : nullptr;
            if (!category) {
                OS.WarningMessage("Category == NULL");
                return;
            }
        } else if (category && QORstrcmpi(key, "Section") == 0) {
            ++sectionIndex;
            transformIndex = -1;
            transform = nullptr;
            section = sectionIndex < category->Sections.Count() ? category->Sections[sectionIndex] : nullptr;
            if (!section) {
                OS.WarningMessage("Section == NULL");
                return;
            }
        } else if (section && QORstrcmpi(key, "Transform") == 0) {
            ++transformIndex;
            transform = transformIndex < section->Transforms.Count() ? section->Transforms[transformIndex] : nullptr;
            if (!transform) {
                OS.WarningMessage("Transform == NULL");
                return;
            }
        } else if (transform && words.Tokens.Count() >= 4) {
            const bool random = QORstrcmpi(key, "RandomFactor") == 0;
            if (!random && QORstrcmpi(key, "Value") != 0) continue;
            float v[3];
            for (int k = 0; k < 3; ++k) v[k] = ReadNumber(words.Tokens[1 + k]);
            std::copy(v, v + 3, random ? transform->Random : transform->Current);
            transform->RandomFlag = random;
        }
    }
}

// [SECTION] Application to a mesh

TKSN_Selection* TKSN_FaceloomSection::FindSelection(TKSN_Mesh* mesh)
{
    if (!mesh) return nullptr;
    TKSN_TreeGroup* group = FindTopGroup(mesh->SelectionTree, "Faceloom");
    return dynamic_cast<TKSN_Selection*>(FindInGroup(group, GetName()));
}

void TKSN_FaceloomSection::GenerateSelections(TKSN_Mesh* mesh)
{
    if (Optional || FindSelection(mesh)) return;
    TKSN_TreeGroup* group = FindTopGroup(mesh->SelectionTree, "Faceloom");
    if (!group) {
        group = new TKSN_TreeGroup;
        group->SetName("%s", "Faceloom");
        mesh->SelectionTree->LinkChild(group);
    }
    auto* selection = new TKSN_Selection(mesh->GetVCount(), mesh->GetID());
    selection->SetName("%s", GetName());
    group->AddItem(selection);
}

void TKSN_FaceloomTemplate::GenerateSelections(TKSN_Mesh* mesh)
{
    if (!mesh || !mesh->SelectionTree) return;
    for (TKSN_FaceloomCategory* c : Categories)
        for (TKSN_FaceloomSection* s : c->Sections) s->GenerateSelections(mesh);
}

void TKSN_FaceloomSection::Process(TKSN_Mesh* mesh, TKSN_Morph* morph)
{
    TKSN_Selection* selection = FindSelection(mesh);
    if (!selection) {
        if (Optional) return;
        OS.WarningMessage(Lang.GetText(1078), GetName());
        if (Owner && Owner->Owner) Owner->Owner->Incomplete = true;
        return;
    }
    mesh->BeginUsingSelection(selection);
    double sum = 0.0, k[3] = {0, 0, 0}, n[3] = {0, 0, 0};
    int v = 0;
    float w = 0.0f;
    for (bool more = selection->GetFirstValue(&v, &w); more; more = selection->GetNextValue(&v, &w)) {
        if (v < 0 || v >= mesh->GetVCount()) continue;
        const float* p = mesh->resolvedVertices + 3 * v;
        const float* b = mesh->baseVertices + 3 * v;
        sum += w;
        for (int c = 0; c < 3; ++c) {
            k[c] += double(w) * p[c];
            n[c] += double(w) * (b[c] < 0.0f ? -p[c] : p[c]);
        }
    }
    float centre[3] = {0, 0, 0}, mirrored[3] = {0, 0, 0};
    if (sum > 1e-30)
        for (int c = 0; c < 3; ++c) {
            centre[c] = float(k[c] / sum);
            mirrored[c] = float(n[c] / sum);
        }
    for (TKSN_FaceloomTransform* t : Transforms) t->Process(mesh, morph, selection, centre, mirrored);
    mesh->EndUsingSelection(selection);
}

void RotatePoint(const float*, const float* resolved, const float*, float* out, const float* angles, float weight,
                 const float* origin, int mirrorAxis)
{
    float m[16], rx[16], ry[16], rz[16], t[16];
    const float a[3] = {float(weight * angles[0] * M_PI / 180.0), float(weight * angles[1] * M_PI / 180.0),
                        float(weight * angles[2] * M_PI / 180.0)};
    const float cx = std::cos(a[0]), sx = std::sin(a[0]), cy = std::cos(a[1]), sy = std::sin(a[1]),
                cz = std::cos(a[2]), sz = std::sin(a[2]);
    const float mx[16] = {1, 0, 0, 0, 0, cx, sx, 0, 0, -sx, cx, 0, 0, 0, 0, 1};
    const float my[16] = {cy, 0, -sy, 0, 0, 1, 0, 0, sy, 0, cy, 0, 0, 0, 0, 1};
    const float mz[16] = {cz, sz, 0, 0, -sz, cz, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::memcpy(rx, mx, sizeof rx);
    std::memcpy(ry, my, sizeof ry);
    std::memcpy(rz, mz, sizeof rz);
    QORMatrix_MultiplyMatrix4x4(rx, ry, t);
    QORMatrix_MultiplyMatrix4x4(t, rz, m);
    float p[3] = {resolved[0], resolved[1], resolved[2]};
    // The base position decides the side (the caller passes it in resolved's place when it has none).
    const bool mirror = mirrorAxis >= 0 && mirrorAxis <= 2 && p[mirrorAxis] < 0.0f;
    if (mirror) p[mirrorAxis] = -p[mirrorAxis];
    const float o[3] = {origin[0], origin[1], origin[2]};
    const float d[3] = {p[0] - o[0], p[1] - o[1], p[2] - o[2]};
    for (int k = 0; k < 3; ++k) p[k] = m[k] * d[0] + m[4 + k] * d[1] + m[8 + k] * d[2] + o[k];
    if (mirror) p[mirrorAxis] = -p[mirrorAxis];
    for (int k = 0; k < 3; ++k) out[k] = p[k] - resolved[k];
}

void TKSN_FaceloomTransform::Process(TKSN_Mesh* mesh, TKSN_Morph* morph, TKSN_Selection* selection,
                                     const float* centre, const float* mirroredCentre)
{
    if (!mesh || !morph || !selection) return;
    TKSN_FaceloomTemplate* owner = Owner && Owner->Owner ? Owner->Owner->Owner : nullptr;
    const float* origin = MirrorAxis == -1 ? centre : mirroredCentre;
    const float direction[3] = {0.0f, 0.0f, -1.0f};
    if (Kind >= KSN_FACELOOM_TRANSLATE && Kind <= KSN_FACELOOM_SMOOTH) {
        const double range = Length3(High, Low);
        if (range > 1e-30 && 0.01 * range > Length3(Current, Base)) return;
    }
    float* deltas = morph->GetPointerToExpandedArray();
    if (!deltas) return;
    auto add = [&](int v, const float* out) {
        for (int k = 0; k < 3; ++k) {
            deltas[3 * v + k] += out[k];
            mesh->resolvedVertices[3 * v + k] += out[k];
        }
    };
    int v = 0;
    float w = 0.0f;
    switch (Kind) {
    case KSN_FACELOOM_TRANSLATE:
    case KSN_FACELOOM_BULGE:
    case KSN_FACELOOM_SCALE: {
        bool (*test)(TKSN_Tool*) =
            Kind == KSN_FACELOOM_TRANSLATE ? [](TKSN_Tool* t) { return dynamic_cast<TKSN_MoveInPlane*>(t) != nullptr; }
            : Kind == KSN_FACELOOM_BULGE   ? [](TKSN_Tool* t) { return dynamic_cast<TKSN_Bulge*>(t) != nullptr; }
                                           : [](TKSN_Tool* t) { return dynamic_cast<TKSN_Scale*>(t) != nullptr; };
        auto* deformer = dynamic_cast<TKSN_Deformer*>(Hooks.FindDeformer ? Hooks.FindDeformer(test) : nullptr);
        if (!deformer) return;
        if (deformer->CachesNormals) {
            deformer->CacheNormalsForObject(mesh->GetOwnerObject());
            deformer->SetTempInitNormalsForObject(mesh->GetOwnerObject());
        }
        for (bool more = selection->GetFirstValue(&v, &w); more; more = selection->GetNextValue(&v, &w)) {
            if (v < 0 || v >= mesh->GetVCount()) continue;
            float out[3] = {0, 0, 0};
            deformer->DeformVertex(mesh, nullptr, v, Current, w, origin, direction, out, MirrorAxis);
            add(v, out);
        }
        deformer->CleanAllCalchedData();
        break;
    }
    case KSN_FACELOOM_ROTATE:
        for (bool more = selection->GetFirstValue(&v, &w); more; more = selection->GetNextValue(&v, &w)) {
            if (v < 0 || v >= mesh->GetVCount()) continue;
            float out[3];
            const float* n = mesh->vertexNormals ? mesh->vertexNormals + 3 * v : nullptr;
            RotatePoint(mesh->baseVertices + 3 * v, mesh->resolvedVertices + 3 * v, n, out, Current, w, origin,
                        MirrorAxis);
            add(v, out);
        }
        break;
    case KSN_FACELOOM_SMOOTH:
    case KSN_FACELOOM_ARTIFACT_REMOVAL: {
        const float t = (owner ? owner->Touchup : 1.0f) * Current[0];
        if (t < 1e-30f || !mesh->TempMorph) return;
        const bool smooth = Kind == KSN_FACELOOM_SMOOTH;
        // Artifact removal smooths only where the morph so far creased the
        // surface against the unmorphed mesh, with a softened edge.
        std::unique_ptr<TKSN_Selection> artifacts;
        if (!smooth) {
            artifacts = std::make_unique<TKSN_Selection>(mesh->GetVCount(), mesh->GetID());
            artifacts->Copy(selection);
            artifacts->SetName("%s", "Artifact Map");
            artifacts->Expand();
            float* vertexNormals = nullptr;
            float* polygonNormals = nullptr;
            GetDataForSelectArtifacts(mesh, &vertexNormals, &polygonNormals);
            for (int i = 0; i < artifacts->GetVCount(); ++i)
                if (const float weight = artifacts->GetVSelect(i); weight != 0.0f)
                    artifacts->SetVSelect(i, weight * GetArtifactValue(mesh, i, vertexNormals, polygonNormals));
            QORfree(vertexNormals);
            QORfree(polygonNormals);
            mesh->SetCurrentSelection(artifacts.get(), true);
            mesh->BeginUsingSelection(artifacts.get());
            mesh->SoftenSelection(artifacts.get(), true, 0);
        }
        mesh->TempMorph->Clear();
        TKSN_Smooth::SmoothAllVertices(mesh, mesh->TempMorph, smooth ? selection : artifacts.get(), t, false,
                                       smooth ? 1.0f : 0.0f, !smooth);
        const float* temp = mesh->TempMorph->GetPointerToExpandedArray();
        for (int i = 0; i < mesh->GetVCount(); ++i) {
            for (int k = 0; k < 3; ++k) deltas[3 * i + k] += temp[3 * i + k];
            // Later transforms see the smoothed positions (start + every delta so
            // far); artifact removal stays out of their sight.
            if (smooth)
                for (int k = 0; k < 3; ++k) mesh->resolvedVertices[3 * i + k] += temp[3 * i + k];
        }
        mesh->TempMorph->Clear();
        if (artifacts) {
            mesh->EndUsingSelection(artifacts.get());
            mesh->SetCurrentSelection(selection, true);
        }
        break;
    }
    default: break;   // the application makes no flatten deformer
    }
}

bool TKSN_FaceloomTemplate::InitializeMorph(TKSN_Mesh* mesh)
{
    Morph = mesh ? mesh->GetCurrentMorph() : nullptr;
    if (!Morph) {
        if (App) App->WarningNoCurrentMorph(true);
        QOREvents_PushEvent(443);
        return false;
    }
    if (std::fabs(Morph->Strength - 1.0f) > 1e-30f) {
        Morph->Strength = 1.0f;
        OS.WarningMessage(Lang.GetText(1076), Morph->GetName());
    }
    return true;
}

void TKSN_FaceloomTemplate::ProcessCategory(TKSN_Mesh* mesh, TKSN_FaceloomCategory* category)
{
    TKSN_Selection* kept = mesh->GetCurrentSelectionZ();
    for (TKSN_FaceloomSection* s : category->Sections) s->Process(mesh, Morph);
    mesh->SetCurrentSelection(kept, true);
}

void TKSN_FaceloomTemplate::Process(TKSN_Mesh* mesh)
{
    if (!mesh) return;
    for (TKSN_FaceloomCategory* c : Categories) c->UpdateValues();
    if (AutoLoadSelectionSetHook) AutoLoadSelectionSetHook();
    if (!InitializeMorph(mesh)) return;
    Incomplete = false;
    // The user's selection weights survive the sections' use of theirs.
    const int type = App ? int(App->selectionType) : 0;
    std::vector<float> saved;
    if (type == 0)
        for (int v = 0; v < mesh->GetVCount(); ++v) saved.push_back(mesh->VertexInfo[v].Select);
    else if (type == 1)
        for (int p = 0; p < mesh->polygonCount; ++p) saved.push_back(mesh->Polygons[p].Select);
    if (App) App->selectionType = decltype(App->selectionType)(0);
    mesh->BeginUsingMorph(Morph);
    for (TKSN_FaceloomCategory* c : Categories) ProcessCategory(mesh, c);
    if (Incomplete) OS.WarningMessage("%s", Lang.GetText(1077));
    mesh->UpdateWeldedMorph(Morph);
    Morph->OnChanged();
    if (App) App->selectionType = decltype(App->selectionType)(type);
    if (type == 0)
        for (int v = 0; v < mesh->GetVCount() && v < int(saved.size()); ++v)
            mesh->VertexInfo[v].Select = std::clamp(saved[size_t(v)], 0.0f, 1.0f);
    else if (type == 1)
        for (int p = 0; p < mesh->polygonCount && p < int(saved.size()); ++p)
            mesh->Polygons[p].Select = std::clamp(saved[size_t(p)], 0.0f, 1.0f);
    mesh->OnSelectionChanged();
}

// [SECTION] The tool

TKSN_Faceloom::TKSN_Faceloom() : Template(std::make_unique<TKSN_FaceloomTemplate>())
{
    SetName("%s", Lang.GetText(1434));
    Template->LoadTemplate(QORFormat("%sData%cfs01.dat", OS.MainPath.c_str(), '/').c_str());
    IconName = "MoreTools";
    RebuildParametersWithPanel = false;
    Flags &= ~uint32_t(0x1 | 0x10 | 0x20 | 0x200 | 0x100000);
}

TKSN_Faceloom::~TKSN_Faceloom() = default;

void TKSN_Faceloom::UpdateParameters()
{
    AddPercentParameter(Lang.GetText(1436), Lang.GetText(1437), &Symmetry, 0.0f, 1.0f);
    AddPercentParameter(Lang.GetText(1438), Lang.GetText(1439), &Template->Strength, 0.0f, Template->SliderMaximum);
    AddPercentParameter(Lang.GetText(1440), Lang.GetText(1441), &Template->Touchup, 0.0f, Template->SliderMaximum);
    AddButtonParameter(Lang.GetText(1442), Lang.GetText(1442), CommandCB, kUpdate);
    AddButtonParameter(Lang.GetText(1444), Lang.GetText(1445), CommandCB, kReset);
    AddParameterSeparator("", "");
    AddButtonParameter(Lang.GetText(1446), Lang.GetText(1447), CommandCB, kRandomHead);
    for (int i = 0; i < Template->Categories.Count(); ++i) {
        TKSN_FaceloomCategory* c = Template->Categories[i];
        if (c->Hidden) continue;
        AddButtonParameter(c->GetName(), QORFormat(Lang.GetText(1449), c->GetName()).c_str(), CommandCB, i);
    }
    AddParameterSeparator("", "");
    AddButtonParameter(Lang.GetText(1450), Lang.GetText(1451), CommandCB, kOpenSelectionSet);
    AddButtonParameter(Lang.GetText(1452), Lang.GetText(1453), CommandCB, kCreateSelections);
    QOREvents_PushEvent(431);
}

void TKSN_Faceloom::OnDeactivate(TKSN_Mesh* mesh)
{
    if (!Template || !mesh) return;
    TKSN_TreeGroup* group = FindTopGroup(mesh->MorphTree, "Faceloom");
    auto* morph = dynamic_cast<TKSN_Morph*>(FindInGroup(group, "FaceloomMorph"));
    if (!morph) return;
    morph->Strength = 0.0f;
    OS.PrintMessage(Lang.GetText(1124), morph->GetName());
    if (Hooks.OnShapeChanged) Hooks.OnShapeChanged(mesh->GetOwnerObject());
}

TKSN_StringList* TKSN_Faceloom::SwapSettings(TKSN_Thingy* saved)
{
    auto* list = dynamic_cast<TKSN_StringList*>(saved);
    if (!list || !Template) return nullptr;
    auto* present = new TKSN_StringList;
    Template->GetSettings(present);
    Template->SetSettings(list);
    return present;
}

void TKSN_Faceloom::RecordUndo(const char* name, bool currentObjectOnly)
{
    if (Hooks.BeforeDeform) Hooks.BeforeDeform(name, currentObjectOnly);
    auto* settings = new TKSN_StringList;
    Template->GetSettings(settings);
    if (!Hooks.AddToolUndoNode || !Hooks.AddToolUndoNode(this, settings)) delete settings;
}

void TKSN_Faceloom::PrepareMorph(TKSN_Object* object, TKSN_Mesh* mesh)
{
    Template->Morph = mesh->GetCurrentMorph();
    if (Template->Morph) Template->Morph->Clear();
    object->ResolveVertices(true);
    mesh->RecalculateNormals(false);
}

bool TKSN_Faceloom::RunCommand(int command)
{
    TKSN_Object* object = Hooks.GetCurrentObject ? Hooks.GetCurrentObject() : nullptr;
    TKSN_Mesh* mesh = object ? object->Mesh.get() : nullptr;
    if (!mesh || !Template) return false;
    Template->Symmetry = Symmetry;
    switch (command) {
    case kUpdate:
        // Update clears the morph, so it is an undo step like the others:
        // another tool's edit in the same morph must come back.
        RecordUndo(Lang.GetText(818), true);
        PrepareMorph(object, mesh);
        Template->Process(mesh);
        break;
    case kReset:
        RecordUndo(Lang.GetText(817), true);
        Template->ResetValues();
        Template->Morph = mesh->GetCurrentMorph();
        if (Template->Morph) Template->Morph->Clear();
        break;
    case kCreateSelections:
        Template->GenerateSelections(mesh);
        QOREvents_PushEvent(440);
        break;
    case kOpenSelectionSet: {
        char path[4096] = "";
        std::string folder = QORFormat("%sSelection Sets%c", OS.MainPath.c_str(), '/');
        std::vector<char> folderBuffer(folder.begin(), folder.end());
        folderBuffer.push_back('\0');
        if (!OS.ExecuteOpenFileDialog(path, folderBuffer.data(), "Faceloom Character Setup", "SelSet", "", false))
            return false;
        OS.PrintMessage(Lang.GetText(1094), path);
        if (ImportSelectionSetHook) ImportSelectionSetHook(path);
        QOREvents_PushEvent(432);
        break;
    }
    default: {
        const bool whole = command == kRandomHead;
        if (!whole && (command < 0 || command >= Template->Categories.Count())) return false;
        if (Hooks.CreateCurrentMorphForMeshIfNecessary) Hooks.CreateCurrentMorphForMeshIfNecessary(mesh);
        RecordUndo(Lang.GetText(818), !whole);
        PrepareMorph(object, mesh);
        if (whole)
            for (TKSN_FaceloomCategory* c : Template->Categories) c->GenerateRandomValues();
        else
            Template->Categories[command]->GenerateRandomValues();
        Template->Process(mesh);
        break;
    }
    }
    QOREvents_PushEvent(7);
    return true;
}

bool TKSN_Faceloom::CommandCB(TQOREvent* event)
{
    TKSN_Parameter* parameter = nullptr;
    auto* tool = KSN_GetListParameterTool<TKSN_Faceloom>(event, &parameter);
    if (!tool || !parameter) return false;
    return tool->RunCommand(parameter->Command);
}
