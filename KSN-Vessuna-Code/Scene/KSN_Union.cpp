// Morph and selection unions, their blocks and the union-tree readers; see KSN_Union.h.
#include "KSN_Union.h"

#include "KSN_Mesh.h"
#include "QORTextBlock.h"

#include <cstdlib>
#include <cstring>

namespace {

void WriteIndent(FILE* file)
{
    for (int i = 0; i < TextFileIndent; ++i)
        std::fputc('\t', file);
}

// Numbers are written in the "C" notation, which the program keeps for LC_NUMERIC.
void WriteFloatLine(FILE* file, const char* key, float value)
{
    WriteIndent(file);
    std::fprintf(file, "%s\t%.8f\n", key, double(value));
}

void WriteIntLine(FILE* file, const char* key, int value)
{
    WriteIndent(file);
    std::fprintf(file, "%s\t%d\n", key, value);
}

float ParseFloat(const char* value) { return std::strtof(value, nullptr); }
bool ParseFlag(const char* value) { return std::strtol(value, nullptr, 10) != 0; }

// Folders are linked, and unions added, before they read: the tree owns them
// even when a damaged block makes the reading throw.
template <class TGroup>
bool LoadSubGroupOf(TKSN_TreeGroup& parent, FILE* file, const char* value)
{
    auto* group = new TGroup;
    group->SetName("%s", value);
    parent.LinkChild(group);
    group->LoadFromStream_Text(file);
    return true;
}

template <class TUnion>
void LoadUnionInto(TKSN_TreeGroup& group, FILE* file)
{
    auto* item = new TUnion;
    group.AddItem(item);
    item->LoadFromStream_Text(file);
}

} // namespace

// ============================================================================
// [SECTION] Morph unions
// ============================================================================

void TKSN_MorphUnion::CopyParametersToMorph(TKSN_Morph* morph)
{
    if (!morph)
        return;
    morph->Strength = Strength;
    morph->MinStrength = MinStrength;
    morph->MaxStrength = MaxStrength;
}

void TKSN_MorphUnion::CopyParametersFromMorph(TKSN_Morph* morph)
{
    if (!morph)
        return;
    Strength = morph->Strength;
    MinStrength = morph->MinStrength;
    MaxStrength = morph->MaxStrength;
}

void TKSN_MorphUnion::CopyParametersToAllItems()
{
    ValidateItems();
    for (unsigned id : ItemIDs)
        CopyParametersToMorph(GetMember(id));
}

bool TKSN_MorphUnion::IsBaseVertices()
{
    ValidateItems();
    for (unsigned id : ItemIDs) {
        TKSN_Morph* morph = GetMember(id);
        if (!morph || !morph->GetOwnerID())
            continue;
        auto* mesh = dynamic_cast<TKSN_Mesh*>(__GetThingyFromID(morph->GetOwnerID()));
        if (mesh && mesh->BaseVerticesMorph == morph)
            return true;
    }
    return false;
}

bool TKSN_MorphUnion::SaveToStream_Text(FILE* file, bool withHeader)
{
    TStartTextFileBlock block("morph", GetName(), file, withHeader);
    SaveBasicStuff_Text(file);
    WriteFloatLine(file, "Strength", Strength);
    WriteFloatLine(file, "MinStrength", MinStrength);
    WriteFloatLine(file, "MaxStrength", MaxStrength);
    // Written always, so a current union carries the key twice; readers take either.
    WriteIntLine(file, "Current", current ? 1 : 0);
    return true;
}

bool TKSN_MorphUnion::LoadFromStream_Text_ConsiderCommand(FILE* /*file*/, char* key, char* value)
{
    if (std::strcmp(key, "Strength") == 0) {
        Strength = ParseFloat(value);
        return true;
    }
    if (std::strcmp(key, "MinStrength") == 0) {
        MinStrength = ParseFloat(value);
        return true;
    }
    if (std::strcmp(key, "MaxStrength") == 0) {
        MaxStrength = ParseFloat(value);
        return true;
    }
    if (std::strcmp(key, "Current") == 0) {
        current = ParseFlag(value);
        return true;
    }
    return false;
}

// ============================================================================
// [SECTION] Selection unions
// ============================================================================

int TKSN_SelectionUnion::GetSelectionType()
{
    ValidateItems();
    if (ItemIDs.IsEmpty())
        return 0;
    TKSN_Selection* first = GetMember(ItemIDs[0]);
    return first ? int(first->GetSelectionType()) : 0;
}

bool TKSN_SelectionUnion::SaveToStream_Text(FILE* file, bool withHeader)
{
    TStartTextFileBlock block("selection", GetName(), file, withHeader);
    SaveBasicStuff_Text(file);
    return true;
}

bool TKSN_SelectionUnion::LoadFromStream_Text_ConsiderCommand(FILE* /*file*/, char* /*key*/, char* /*value*/)
{
    return false;
}

// ============================================================================
// [SECTION] Union-tree readers
// ============================================================================

bool TKSN_MorphUnionGroup::LoadSubGroup(FILE* file, char* /*key*/, char* value)
{
    return LoadSubGroupOf<TKSN_MorphUnionGroup>(*this, file, value);
}

bool TKSN_MorphUnionGroup::LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value)
{
    if (TKSN_TreeGroup::LoadFromStream_Text_ConsiderCommand(file, key, value))
        return true;
    if (QORstrcmpi(key, "morph") == 0) {
        LoadUnionInto<TKSN_MorphUnion>(*this, file);
        return true;
    }
    return false;
}

bool TKSN_SelectionUnionGroup::LoadSubGroup(FILE* file, char* /*key*/, char* value)
{
    return LoadSubGroupOf<TKSN_SelectionUnionGroup>(*this, file, value);
}

bool TKSN_SelectionUnionGroup::LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value)
{
    if (TKSN_TreeGroup::LoadFromStream_Text_ConsiderCommand(file, key, value))
        return true;
    if (QORstrcmpi(key, "selection") == 0) {
        LoadUnionInto<TKSN_SelectionUnion>(*this, file);
        return true;
    }
    return false;
}
