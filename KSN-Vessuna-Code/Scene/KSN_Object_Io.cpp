// The "object" and "camera" blocks of the project file and the object tree
// reader; see KSN_Object.h.
//
// An object block holds the object's lines and, nested, its mesh's "mesh"
// block; a camera block holds the basics, the object's lines and four
// projection values. The object tree keeps only the entries whose block
// brought a mesh along.
#include "KSN_Object.h"

#include "KSN_Mesh.h"
#include "QORMaterial.h"
#include "QORString.h"
#include "QORTextBlock.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

namespace {

void WriteIndent(FILE* file)
{
    for (int i = 0; i < TextFileIndent; ++i)
        std::fputc('\t', file);
}

void WriteStringLine(FILE* file, const char* key, const std::string& value)
{
    WriteIndent(file);
    std::fprintf(file, "%s\t%s\n", key, value.c_str());
}

void WriteIntLine(FILE* file, const char* key, int value)
{
    WriteIndent(file);
    std::fprintf(file, "%s\t%d\n", key, value);
}

void WriteColorLine(FILE* file, const char* key, const float* rgb)
{
    WriteIndent(file);
    std::fprintf(file, "%s\t%.8f %.8f %.8f\n", key, double(rgb[0]), double(rgb[1]), double(rgb[2]));
}

bool ParseFlag(const char* value) { return std::strtol(value, nullptr, 10) != 0; }
float ParseFloat(const char* value) { return std::strtof(value, nullptr); }

// Reads up to three floats in sequence; those a short line does not give keep their value.
void ParseColor(const char* text, float* rgb)
{
    const char* at = text;
    for (int i = 0; i < 3; ++i) {
        char* end = nullptr;
        const float value = std::strtof(at, &end);
        if (end == at)
            return;
        rgb[i] = value;
        at = end;
    }
}

// File names written on another system keep only their last component.
std::string FileNameWithoutForeignFolders(const char* value)
{
    std::string name = value;
    CleanFileNameFromDifferent_OS(name.data());
    name.resize(std::strlen(name.c_str()));
    return name;
}

// An entry of the object tree joins the group only when its block held a mesh.
template <class TEntry>
void LoadEntryInto(TKSN_TreeGroup& group, FILE* file)
{
    auto entry = std::make_unique<TEntry>();
    entry->LoadFromStream_Text(file);
    if (entry->Mesh)
        group.AddItem(entry.release());
}

} // namespace

// ============================================================================
// [SECTION] The "object" block
// ============================================================================

bool TKSN_Object::SaveToStream(FILE* /*file*/) { return false; }
bool TKSN_Object::SaveToStream_Bin(FILE* /*file*/) { return false; }
bool TKSN_Object::LoadFromStream(FILE* /*file*/) { return false; }

bool TKSN_Object::SaveToStream_Text(FILE* file, bool withHeader)
{
    TStartTextFileBlock block("object", GetName(), file, withHeader);
    SaveBasicStuff_Text(file);
    WriteStringLine(file, "FileName", FileName);
    if (!OBJFileName.empty())
        WriteStringLine(file, "OBJFileName", OBJFileName);
    WriteColorLine(file, "WireFrameColor", WireFrameColor);
    WriteColorLine(file, "SolidColor", SolidColor);
    WriteIntLine(file, "RenderDoubleSided", RenderDoubleSided ? 1 : 0);
    WriteIntLine(file, "SymmetryEnabled", SymmetryEnabled ? 1 : 0);
    if (Mesh)
        Mesh->SaveToStream_Text(file, true);
    return true;
}

bool TKSN_Object::LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value)
{
    if (QORstrcmpi(key, "mesh") == 0) {
        // A second "mesh" block replaces the first.
        Mesh = std::make_unique<TKSN_Mesh>(this);
        Mesh->LoadFromStream_Text(file);
        Mesh->CleanPolygonsAfterEdit(false, true, true);
        Mesh->AfterRawBuild();
        Mesh->SetupAfterLoad();
        return true;
    }
    if (std::strcmp(key, "OBJFileName") == 0) {
        OBJFileName = FileNameWithoutForeignFolders(value);
        return true;
    }
    if (std::strcmp(key, "FileName") == 0) {
        FileName = FileNameWithoutForeignFolders(value);
        return true;
    }
    if (std::strcmp(key, "CanCastShadows") == 0) {
        CanCastShadows = ParseFlag(value);
        return true;
    }
    if (std::strcmp(key, "WireFrameColor") == 0) {
        ParseColor(value, WireFrameColor);
        return true;
    }
    if (std::strcmp(key, "SolidColor") == 0) {
        ParseColor(value, SolidColor);
        return true;
    }
    if (std::strcmp(key, "RenderDoubleSided") == 0) {
        RenderDoubleSided = ParseFlag(value);
        return true;
    }
    if (std::strcmp(key, "SymmetryEnabled") == 0) {
        SymmetryEnabled = ParseFlag(value);
        return true;
    }
    return false;
}

// ============================================================================
// [SECTION] The "camera" block
// ============================================================================

bool TKSN_Camera::SaveToStream_Text(FILE* file, bool withHeader)
{
    TStartTextFileBlock block("camera", GetName(), file, withHeader);
    // A full disk or a closed stream must not pass for a saved camera.
    if (!SaveBasicStuff_Text(file) || !TKSN_Object::SaveToStream_Text(file, false) || std::ferror(file))
        return false;
    const std::pair<const char*, float> lines[] = {
        {"FOV", FOV}, {"Aspect", Aspect}, {"HorizScale", HorizScale}, {"VertScale", VertScale}};
    for (const auto& [key, value] : lines) {
        // Numbers are written in the "C" notation, which the program keeps for LC_NUMERIC.
        WriteIndent(file);
        if (std::fprintf(file, "%s\t%.8f\n", key, double(value)) < 0) return false;
    }
    return std::ferror(file) == 0;
}

bool TKSN_Camera::LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value)
{
    if (TKSN_Object::LoadFromStream_Text_ConsiderCommand(file, key, value))
        return true;
    if (std::strcmp(key, "FOV") == 0) {
        FOV = ParseFloat(value);
        return true;
    }
    if (std::strcmp(key, "Aspect") == 0) {
        Aspect = ParseFloat(value);
        return true;
    }
    if (std::strcmp(key, "HorizScale") == 0) {
        HorizScale = ParseFloat(value);
        return true;
    }
    if (std::strcmp(key, "VertScale") == 0) {
        VertScale = ParseFloat(value);
        return true;
    }
    return false;
}

// ============================================================================
// [SECTION] The object tree reader
// ============================================================================

bool TKSN_ObjectTreeGroup::LoadSubGroup(FILE* file, char* /*key*/, char* value)
{
    auto* group = new TKSN_ObjectTreeGroup;
    group->SetName("%s", value);
    // Linked before it reads, so the tree owns it even if reading throws.
    LinkChild(group);
    group->LoadFromStream_Text(file);
    return true;
}

bool TKSN_ObjectTreeGroup::LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value)
{
    if (TKSN_TreeGroup::LoadFromStream_Text_ConsiderCommand(file, key, value))
        return true;
    if (QORstrcmpi(key, "object") == 0) {
        LoadEntryInto<TKSN_Object>(*this, file);
        return true;
    }
    if (QORstrcmpi(key, "camera") == 0) {
        LoadEntryInto<TKSN_Camera>(*this, file);
        return true;
    }
    return false;
}
