// The OBJ writers. Index:
//   [SECTION] Paths and names
//   [SECTION] Whole object
//   [SECTION] One file per group
#include "KSN_ObjWriter.h"

#include "KSN_MtlFile.h"
#include "OS.h"
#include "QORLanguage.h"
#include "QORMatrix.h"
#include "QORMaterial.h"
#include "QORPolyMesh.h"
#include "QORString.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

namespace {

constexpr int kCannotCreateFileText = 1020;   // "Cannot create the file %s"

// ============================================================================
// [SECTION] Paths and names
// ============================================================================

std::string WithoutExtension(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1) return path;
    return path.substr(0, dot);
}

std::string FileNameOnly(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The interface text's "%s" replaced by value, so that a path holding '%' prints as it is.
std::string Substitute(const char* text, const std::string& value)
{
    std::string result = text ? text : "";
    const size_t at = result.find("%s");
    if (at != std::string::npos) result.replace(at, 2, value);
    return result;
}

std::string CutAtColon(const char* name)
{
    std::string s = name ? name : "";
    const size_t colon = s.find(':');
    return colon == std::string::npos ? s : s.substr(0, colon);
}

// A file that is closed on every path; Close reports whether all was written.
struct TOutFile {
    FILE* File = nullptr;
    std::vector<char> Buffer = std::vector<char>(1 << 20);
    explicit TOutFile(const std::string& path) : File(std::fopen(path.c_str(), "w"))
    {
        if (File) std::setvbuf(File, Buffer.data(), _IOFBF, Buffer.size());
    }
    ~TOutFile() { Close(); }
    bool Close()
    {
        if (!File) return false;
        const bool ok = !std::ferror(File);
        const bool closed = std::fclose(File) == 0;
        File = nullptr;
        return ok && closed;
    }
};

} // namespace

std::string KSN_ObjLibraryPath(const char* objPath)
{
    return WithoutExtension(objPath ? objPath : "") + ".mtl";
}

std::string KSN_GroupFileSuffix(const char* groupName)
{
    std::string s = CutAtColon(groupName);
    for (char& c : s) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 32 || u == 127 || std::strchr("/\\<>:\"|?*", c)) c = '_';
    }
    if (s.find_first_not_of('.') == std::string::npos) s.assign(1, '_');   // empty, ".", "..": never a folder
    return s;
}

// ============================================================================
// [SECTION] Whole object
// ============================================================================

bool ExportObjectFile(TQORPolyMesh* mesh, const char* path, bool verticesOnly, bool writeGroups,
                      bool internalNames)
{
    if (!mesh || !path) return false;
    const std::string library = KSN_ObjLibraryPath(path);
    TOS::OS_DeleteFile(path);
    TOS::OS_DeleteFile(library.c_str());
    if (!SaveMTLFile(mesh, library.c_str()))
        OS.WarningMessage("%s", Substitute(Lang.GetText(kCannotCreateFileText), library).c_str());

    TOutFile out(path);
    if (!out.File) {
        OS.WarningMessage("%s", Substitute(Lang.GetText(kCannotCreateFileText), path).c_str());
        return false;
    }
    FILE* f = out.File;
    std::fprintf(f, "# Exported by Kestrune Vessuna\n");
    std::fprintf(f, "# https://www.kestrune.example/vessuna\n");
    std::fprintf(f, "mtllib %s\n", FileNameOnly(library).c_str());
    std::fprintf(f, "# Vertex Count %d\n", mesh->vertexCount);
    const float* v = mesh->resolvedVertices;
    for (int i = 0; i < mesh->vertexCount; ++i)
        std::fprintf(f, "v %.8f %.8f %.8f\n", v[3 * i], v[3 * i + 1], v[3 * i + 2]);
    const float* n = mesh->vertexNormals;
    for (int i = 0; i < mesh->vertexCount; ++i)
        std::fprintf(f, "vn %.8f %.8f %.8f\n", n[3 * i], n[3 * i + 1], n[3 * i + 2]);
    if (!verticesOnly)
        for (int i = 0; i < mesh->tVertexCount; ++i)
            std::fprintf(f, "vt %.8f %.8f\n", mesh->tVertices[2 * i], mesh->tVertices[2 * i + 1]);

    const bool welded = mesh->Welded && !mesh->IgnoreWelding;
    int previousMaterial = -1, previousGroup = -1;
    for (int p = 0; p < mesh->polygonCount; ++p) {
        const TQORPolygon& polygon = mesh->Polygons[p];
        int corners = 0;
        for (int c = 0; polygon.Points && c < polygon.Count; ++c) corners += polygon.Points[c].V >= 0;
        if (corners < 3) continue;   // a bare "f" is no polygon to any reader

        if (polygon.Material != previousMaterial) {
            if (TQORMaterial* material =
                    polygon.Material >= 0 ? KSN_MaterialFromThingy(mesh->Materials->GetItem(polygon.Material))
                                          : nullptr)
                std::fprintf(f, "usemtl %s\n", material->GetName());
            previousMaterial = polygon.Material;
        }
        if ((writeGroups || internalNames) && polygon.Group != previousGroup) {
            if (TQORGroup2* group = polygon.Group >= 0 ? mesh->Groups2->GetItemAs(polygon.Group) : nullptr) {
                const std::string name = CutAtColon(group->GetName());
                if (internalNames) std::fprintf(f, "#  InternalName: %s\n", name.c_str());
                if (writeGroups) std::fprintf(f, "g %s\n", name.c_str());
            }
            previousGroup = polygon.Group;
        }
        std::fputc('f', f);
        for (int c = 0; c < polygon.Count; ++c) {
            int vertex = polygon.Points[c].V;
            if (vertex < 0) continue;
            if (welded) vertex = mesh->VertexInfo[vertex].WeldMaster;
            const int vt = polygon.Points[c].VT;
            if (verticesOnly || vt < 0)
                std::fprintf(f, " %d//%d", vertex + 1, vertex + 1);
            else
                std::fprintf(f, " %d/%d/%d", vertex + 1, vt + 1, vertex + 1);
        }
        std::fputc('\n', f);
    }
    if (!out.Close()) {
        OS.WarningMessage("%s", Substitute(Lang.GetText(kCannotCreateFileText), path).c_str());
        return false;
    }
    return true;
}

// ============================================================================
// [SECTION] One file per group
// ============================================================================

int KSN_ExportGroupsAsSeparateObjects(TQORPolyMesh* mesh, const char* path, bool verticesOnly, bool changedOnly)
{
    if (!mesh || !path) return 0;
    struct TWeldSuspension {
        TQORPolyMesh* Mesh;
        bool Old;
        ~TWeldSuspension() { Mesh->IgnoreWelding = Old; }
    } suspension{mesh, mesh->IgnoreWelding};
    mesh->IgnoreWelding = true;

    const std::string base = WithoutExtension(path);
    const std::string library = base + ".mtl";
    TOS::OS_DeleteFile(library.c_str());
    if (!SaveMTLFile(mesh, library.c_str())) {
        const std::string message = QORFormat("Error saving the file %s", library.c_str());
        OS.ErrorMessage("%s", message.c_str());
        throw std::runtime_error(message);
    }
    if (mesh->Groups2->GetItemCount() == 0) return 0;
    mesh->ResolveGroupVertexMaps();

    std::vector<int> vertexMap(size_t(mesh->vertexCount));
    std::vector<int> textureMap(size_t(mesh->tVertexCount));
    float lo[3], hi[3];
    Points_Bounds(mesh->baseVertices, mesh->vertexCount, lo, hi);
    const float tolerance =
        1e-6f * std::sqrt((hi[0] - lo[0]) * (hi[0] - lo[0]) + (hi[1] - lo[1]) * (hi[1] - lo[1]) +
                          (hi[2] - lo[2]) * (hi[2] - lo[2]));

    std::set<std::string> usedSuffixes;   // lower-cased: one file per name whatever its case
    int written = 0;
    for (int g = 0; g < mesh->Groups2->GetItemCount(); ++g) {
        TQORGroup2* group = mesh->Groups2->GetItemAs(g);
        if (!group) break;
        std::fill(vertexMap.begin(), vertexMap.end(), -1);
        std::fill(textureMap.begin(), textureMap.end(), -1);

        std::vector<int> members;   // the group's vertices, in file order
        bool changed = false;
        for (int L = 0; L < group->VertexCount; ++L) {
            const int i = group->Vertices[L];
            if (i < 0 || i >= mesh->vertexCount) {
                OS.ErrorMessage("The group \"%s\" contains an invalid vertex index", group->GetName());
                continue;
            }
            vertexMap[size_t(i)] = int(members.size());
            members.push_back(i);
            const float* b = mesh->baseVertices + 3 * size_t(i);
            const float* r = mesh->resolvedVertices + 3 * size_t(i);
            const float dx = r[0] - b[0], dy = r[1] - b[1], dz = r[2] - b[2];
            if (std::sqrt(dx * dx + dy * dy + dz * dz) > tolerance) changed = true;
        }
        if (changedOnly && !changed) continue;

        std::string suffix = KSN_GroupFileSuffix(group->GetName());
        auto lower = [](std::string s) {
            for (char& c : s) c = QOR_tolower(c);
            return s;
        };
        if (usedSuffixes.count(lower(suffix))) {
            std::string candidate;
            for (int k = 2;; ++k) {
                candidate = suffix + "_" + std::to_string(k);
                if (!usedSuffixes.count(lower(candidate))) break;
            }
            suffix = candidate;
        }
        usedSuffixes.insert(lower(suffix));
        const std::string file = base + "_" + suffix + ".OBJ";
        TOS::OS_DeleteFile(file.c_str());
        TOutFile out(file);
        if (!out.File) {
            const std::string message = QORFormat("Error creating the file %s", file.c_str());
            OS.ErrorMessage("%s", message.c_str());
            throw std::runtime_error(message);
        }
        FILE* f = out.File;
        std::fprintf(f, "mtllib %s\n", FileNameOnly(library).c_str());
        std::fprintf(f, "# Vertex Count %d\n", int(members.size()));

        // A polygon goes into the file when all its corners lie in the group's vertices.
        std::vector<int> polygons;
        if (!verticesOnly) {
            for (int p = 0; p < mesh->polygonCount; ++p) {
                mesh->PolygonFlags[p] &= ~uint32_t(QORPoly_Custom);
                const TQORPolygon& polygon = mesh->Polygons[p];
                if (polygon.Count < 3 || !polygon.Points) continue;
                bool inside = true;
                for (int c = 0; c < polygon.Count && inside; ++c) {
                    const int v = polygon.Points[c].V;
                    inside = v >= 0 && v < mesh->vertexCount && vertexMap[size_t(v)] >= 0;
                }
                if (inside) {
                    mesh->PolygonFlags[p] |= QORPoly_Custom;
                    polygons.push_back(p);
                }
            }
        }
        for (int i : members) {
            const float* r = mesh->resolvedVertices + 3 * size_t(i);
            std::fprintf(f, "v %.8f %.8f %.8f\n", r[0], r[1], r[2]);
        }
        if (!verticesOnly) {
            int nextTexture = 0;
            for (int p : polygons) {
                const TQORPolygon& polygon = mesh->Polygons[p];
                for (int c = 0; c < polygon.Count; ++c) {
                    const int t = polygon.Points[c].VT;
                    if (t < 0 || t >= mesh->tVertexCount || textureMap[size_t(t)] >= 0) continue;
                    textureMap[size_t(t)] = nextTexture++;
                    std::fprintf(f, "vt %.8f %.8f\n", mesh->tVertices[2 * t], mesh->tVertices[2 * t + 1]);
                }
            }
            int previousMaterial = -1;
            for (int p : polygons) {
                const TQORPolygon& polygon = mesh->Polygons[p];
                if (polygon.Material != previousMaterial && polygon.Material >= 0) {
                    if (TQORMaterial* material = KSN_MaterialFromThingy(mesh->Materials->GetItem(polygon.Material))) {
                        std::fprintf(f, "usemtl %s\n", material->GetName());
                        previousMaterial = polygon.Material;
                    }
                }
                std::fputs("f ", f);
                for (int c = 0; c < polygon.Count; ++c) {
                    std::fprintf(f, " %d", vertexMap[size_t(polygon.Points[c].V)] + 1);
                    const int t = polygon.Points[c].VT;
                    if (t >= 0 && t < mesh->tVertexCount && textureMap[size_t(t)] >= 0)
                        std::fprintf(f, "/%d", textureMap[size_t(t)] + 1);
                }
                std::fputc('\n', f);
            }
        }
        if (!out.Close()) {
            const std::string message = QORFormat("Error creating the file %s", file.c_str());
            OS.ErrorMessage("%s", message.c_str());
            throw std::runtime_error(message);
        }
        ++written;
    }
    return written;
}
