// Pose files MAT and MOR (see KSN_PoseFile.h).
//
// Index:
//   [SECTION] Paths and the thumbnail
//   [SECTION] MAT
//   [SECTION] MOR
#include "KSN_PoseFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "KSN_Application.h"
#include "KSN_Interchange_Internal.h"
#include "KSN_Mesh.h"
#include "KSN_Morph.h"
#include "KSN_Project.h"
#include "OS.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORPolyMesh.h"
#include "QORString.h"

using namespace ksn_interchange;

// ============================================================================
// [SECTION] Paths and the thumbnail
// ============================================================================

namespace {

// Position of the extension's dot in the file name part of path, or npos.
size_t ExtensionDot(const std::string& path)
{
    const size_t dot = path.rfind('.');
    const size_t slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string::npos;
    return dot;
}

} // namespace

std::string KSN_GetMORCompanionPath(const std::string& path)
{
    const size_t dot = ExtensionDot(path);
    std::string stem = dot == std::string::npos ? path : path.substr(0, dot);
    const std::string extension = dot == std::string::npos ? std::string() : path.substr(dot);
    if (stem.size() >= 3 && QORstrcmpi(stem.c_str() + stem.size() - 3, "MOR") == 0)
        stem.replace(stem.size() - 3, 3, "REM");
    else
        stem += "_REM";
    return stem + extension;
}

void KSN_CopyPoseThumbnail(const char* path)
{
    if (!path) return;
    const std::string out(path);
    const size_t dot = ExtensionDot(out);
    const std::string thumbnail = (dot == std::string::npos ? out : out.substr(0, dot)) + ".rsr";
    const std::string stock = std::string(OS.GetMainPath()) + "Data/Vexmark.PNG";
    TOS::OS_CopyFile(thumbnail.c_str(), stock.c_str());
}

// ============================================================================
// [SECTION] MAT
// ============================================================================

namespace {

constexpr int kExportedMATText = 1087;

// The map line of a channel and the fixed line after it.
void WriteMapLines(FILE* file, const char* keyword, TQORMaterialChannel* channel)
{
    const char* map = channel->GetMapFileName();
    if (map && map[0])
        std::fprintf(file, "\t\t%s \"%s\"\n", keyword, map);
    else
        std::fprintf(file, "\t\t%s NO_MAP\n", keyword);
    std::fprintf(file, " \t\t\t\t0 0 \n");
}

} // namespace

void TKSN_Project::ExportMATFile(const char* path)
{
    TKSN_Mesh* mesh = GetPolyMesh();
    if (!mesh) return;
    FILE* file = CreateReplacing(path);
    if (!file) {
        OS.WarningMessage("%s", TextWith(kCannotCreateFileText, path ? path : "").c_str());
        return;
    }
    std::fprintf(file, "{\n");
    std::fprintf(file, "version\n");
    std::fprintf(file, "\t{\n");
    std::fprintf(file, "\tnumber 4.01\n");
    std::fprintf(file, "\t}\n");
    std::fprintf(file, "figure\n");
    std::fprintf(file, "\t{\n");
    const int count = mesh->Materials ? mesh->Materials->GetItemCount() : 0;
    for (int i = 0; i < count; ++i) {
        TQORMaterial* material = mesh->Materials->GetItemAs(i);
        if (!material) break;
        TQORMaterialChannel* color = material->GetChannelFromName("Color");
        TQORMaterialChannel* transparency = material->GetChannelFromName("Transparency");
        TQORMaterialChannel* bump = material->GetChannelFromName("Bump");
        std::fprintf(file, "\tmaterial %s\n", material->GetName());
        std::fprintf(file, "\t\t{\n");
        if (color)
            std::fprintf(file, "\t\tKdColor %.4f %.4f %.4f 1\n", double(color->Color[0]), double(color->Color[1]),
                         double(color->Color[2]));
        if (transparency) {
            std::fprintf(file, "\t\ttMin %.4f \n", double(transparency->Strength));
            std::fprintf(file, "\t\ttMax %.4f \n", double(transparency->Strength));
        }
        if (bump) std::fprintf(file, "\t\tbumpStrength %.4f \n", double(bump->Strength));
        if (color) WriteMapLines(file, "textureMap", color);
        if (bump) WriteMapLines(file, "bumpMap", bump);
        if (transparency) WriteMapLines(file, "transparencyMap", transparency);
        std::fprintf(file, "\t\t}\n");
    }
    std::fprintf(file, "\t}\n");
    std::fprintf(file, "}\n");
    std::fclose(file);
    OS.PrintMessage("%s", TextWith(kExportedMATText, path).c_str());
    KSN_CopyPoseThumbnail(path);
}

// ============================================================================
// [SECTION] MOR
// ============================================================================

namespace {

// A delta shorter than this moves nothing.
constexpr double kMovedLength = 1e-30;

bool IsMoved(const float* d)
{
    return std::sqrt(double(d[0]) * d[0] + double(d[1]) * d[1] + double(d[2]) * d[2]) > kMovedLength;
}

// A group name up to its first ':' (figure part names carry ":1" and the like).
std::string ActorName(const char* name)
{
    std::string n = name ? name : "";
    const size_t colon = n.find(':');
    if (colon != std::string::npos) n.resize(colon);
    return n;
}

void WriteGroupTarget(FILE* file, TQORGroup2* group, TKSN_Morph* morph, const char* parameter, const char* morphName,
                      bool hidden, const std::vector<int>& moved)
{
    std::fprintf(file, "\t\tactor %s:1\n", ActorName(group->GetName()).c_str());
    std::fprintf(file, "\t\t{\n");
    std::fprintf(file, "\t\t\tchannels\n");
    std::fprintf(file, "\t\t\t{\n");
    std::fprintf(file, "\t\ttargetGeom %s\n", parameter);
    std::fprintf(file, "\t\t\t{\n");
    if (hidden) {
        std::fprintf(file, "\t\t\tname -\n");
        std::fprintf(file, "\t\t\thidden 1\n");
        std::fprintf(file, "\t\t\tindexes 0\n");
        std::fprintf(file, "\t\t\tnumbDeltas 0\n");
    } else {
        std::fprintf(file, "\t\t\tname %s\n", morphName);
        std::fprintf(file, "\t\t\thidden 0\n");
        std::fprintf(file, "\t\t\tinterpStyleLocked 0\n");
        std::fprintf(file, "\t\t\tvalueOpDeltaAdd\n\t\t\t\t\t\t\t%s\n\t\t\t\t\t\t\t%s\n\t\t\t\t\t\t\t%s\n", "Figure", "BODY:1",
                     morphName);
        std::fprintf(file, "\t\t\tindexes %d\n", int(moved.size()));
        std::fprintf(file, "\t\t\tdeltaAddDelta 1.000000\n");
        std::fprintf(file, "\t\t\tnumbDeltas %d\n", group->VertexCount);
        std::fprintf(file, "\t\t\tdeltas\n");
        std::fprintf(file, "\t\t\t\t{\n");
        for (int local : moved) {
            const float* d = morph->GetVertex(group->Vertices[local]);
            std::fprintf(file, "\t\t\t\td %d %.8f %.8f %.8f\n", local, double(d[0]), double(d[1]), double(d[2]));
        }
        std::fprintf(file, "\t\t\t\t}\n");
    }
    std::fprintf(file, "\t\t\t}\n");
    std::fprintf(file, "\t\t\t}\n");
    std::fprintf(file, "\t\t}\n");
}

} // namespace

void TKSN_Project::ExportMORFile(const char* path, const char* parameterName, bool hidden)
{
    TKSN_Mesh* mesh = GetPolyMesh();
    if (!mesh) {
        if (App) App->WarningNoCurrentObject(true);
        return;
    }
    TKSN_Morph* morph = mesh->GetCurrentMorph();
    if (!morph) {
        if (App) App->WarningNoCurrentMorph(true);
        return;
    }
    FILE* file = CreateReplacing(path);
    if (!file) {
        OS.WarningMessage("%s", TextWith(kCannotOpenFileText, path ? path : "").c_str());
        return;
    }
    const char* parameter = parameterName ? parameterName : "";
    const char* morphName = morph->GetName();

    std::fprintf(file, "{\n");
    std::fprintf(file, "\tversion\n");
    std::fprintf(file, "\t{\n");
    std::fprintf(file, "\t\tnumber 4.01\n");
    std::fprintf(file, "\t}\n");
    std::fprintf(file, "\tactor BODY:1\n");
    std::fprintf(file, "\t{\n");
    std::fprintf(file, "\t\tchannels\n");
    std::fprintf(file, "\t\t{\n");
    std::fprintf(file, "\t\t\tvalueParm %s\n", parameter);
    std::fprintf(file, "\t\t\t{\n");
    std::fprintf(file, "\t\t\tname %s\n", morphName);
    std::fprintf(file, "\t\t\thidden %d\n", hidden ? 1 : 0);
    std::fprintf(file, "\t\t\tkeys\n");
    std::fprintf(file, "\t\t\t{\n");
    std::fprintf(file, "\t\t\t\tstatic 0\n");
    std::fprintf(file, "\t\t\t\tk 0  1\n");
    std::fprintf(file, "\t\t\t}\n");
    std::fprintf(file, "\t\t\t}\n");
    std::fprintf(file, "\t\t}\n");
    std::fprintf(file, "\t}\n");

    mesh->ResolveGroupVertexMaps();
    mesh->BeginUsingMorph(morph);
    const bool wasCompressed = morph->IsCompressed();
    if (wasCompressed) morph->Expand();
    const int groups = mesh->Groups2 ? mesh->Groups2->GetItemCount() : 0;
    const int vertexCount = std::min(mesh->GetVCount(), morph->GetVCount());
    for (int g = 0; g < groups; ++g) {
        TQORGroup2* group = mesh->Groups2->GetItemAs(g);
        if (!group) break;
        std::vector<int> moved;
        for (int local = 0; local < group->VertexCount; ++local) {
            const int vertex = group->Vertices[local];
            if (vertex >= 0 && vertex < vertexCount && IsMoved(morph->GetVertex(vertex))) moved.push_back(local);
        }
        if (!moved.empty()) WriteGroupTarget(file, group, morph, parameter, morphName, hidden, moved);
    }
    if (wasCompressed) morph->Compress();
    mesh->EndUsingMorph(morph);

    std::fprintf(file, "}\n");
    std::fclose(file);
    KSN_CopyPoseThumbnail(path);
}
