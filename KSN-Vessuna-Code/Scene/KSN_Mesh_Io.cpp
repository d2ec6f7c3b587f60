// The "mesh" block of the project file, its nested "material", "channel" and
// "polygroup" blocks, and the compact polygon blob.
//
// Reading is line by line (the generic block reader hands each key here), in
// the order the writer produces: the counts create the mesh, then the arrays
// fill it. Anything that would make a polygon point outside the mesh is
// checked before a single record is rebuilt; a block that fails the check is
// refused as a whole: the mesh is left without geometry rather than half
// built, and the user is told.
#include "KSN_Mesh.h"
#include "KSN_MeshBlock.h"
#include "KSN_Bytes_Internal.h"

#include "OS.h"
#include "QORMaterialMapSource.h"
#include "QORMemory.h"
#include "QORString.h"
#include "QORTextBlock.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

static_assert(std::endian::native == std::endian::little, "the file arrays are stored little-endian as in memory");

TKSN_MeshBlockProjectHooks KSN_MeshBlockProjectHooks;

namespace {

// ---------------------------------------------------------------------------
// Line writing and value parsing
// ---------------------------------------------------------------------------

void WriteLine(FILE* file, const char* key, const std::string& value)
{
    for (int i = 0; i < TextFileIndent; ++i) std::fputc('\t', file);
    std::fprintf(file, "%s\t%s\n", key, value.c_str());
}

void WriteInt(FILE* file, const char* key, long value) { WriteLine(file, key, QORFormat("%ld", value)); }

std::string FloatList(const float* values, int count, bool trailingBlank)
{
    std::string text;
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !trailingBlank) text += ' ';
        text += QORFormat("%.8f", double(values[i]));
        if (trailingBlank) text += ' ';
    }
    return text;
}

// Reads up to count floats in sequence into out; stops at the first field
// that does not parse. Returns the number read.
int ParseFloats(const char* text, float* out, int count)
{
    int read = 0;
    const char* at = text;
    while (read < count) {
        char* end = nullptr;
        errno = 0;
        const float value = std::strtof(at, &end);
        if (end == at) break;
        out[read++] = value;
        at = end;
    }
    return read;
}

int ParseInt(const char* text)
{
    const long value = std::strtol(text, nullptr, 10);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return int(value);
}

bool ParseFlag(const char* text) { return ParseInt(text) != 0; }

// Why the counts of a mesh block cannot be true, or empty when they can. The
// counts come before their arrays, so they are checked against what the rest
// of the file could hold: every vertex takes 12 bytes (16 Base64 characters),
// every texture vertex 8 (more than 10), every polygon at least 6 (8); a
// count in the billions is refused before anything is allocated for it.
std::string ImplausibleCounts(FILE* file, int vertexCount, int tVertexCount, int polygonCount)
{
    if (vertexCount < 0 || tVertexCount < 0 || polygonCount < 0)
        return QORFormat("negative counts: %d vertices, %d texture vertices, %d polygons", vertexCount, tVertexCount,
                         polygonCount);
    const int64_t left = KSN_Bytes::BytesLeftInFile(file);
    if (left < 0) return {};
    const int64_t needed = 16 * int64_t(vertexCount) + 10 * int64_t(tVertexCount) + 8 * int64_t(polygonCount);
    if (needed <= left) return {};
    return QORFormat("%d vertices, %d texture vertices and %d polygons need more data than the %lld bytes left in the file",
                     vertexCount, tVertexCount, polygonCount, static_cast<long long>(left));
}

bool Is(const char* key, const char* name) { return std::strcmp(key, name) == 0; }
bool IsAnyCase(const char* key, const char* name) { return QORstrcmpi(key, name) == 0; }

// A decoded Base64 array of the file, released when it goes out of scope.
class TDecodedArray {
public:
    explicit TDecodedArray(FILE* file) { data = static_cast<unsigned char*>(LoadBinaryDataArrayFromTextFile(file, &bytes)); }
    ~TDecodedArray() { QORfree(data); }
    TDecodedArray(const TDecodedArray&) = delete;
    TDecodedArray& operator=(const TDecodedArray&) = delete;

    unsigned char* data = nullptr;
    int bytes = 0;
};

template <class T>
T ReadAt(const unsigned char* data, size_t offset)
{
    T value;
    std::memcpy(&value, data + offset, sizeof value);
    return value;
}

template <class T>
void WriteAt(unsigned char* data, size_t offset, T value)
{
    std::memcpy(data + offset, &value, sizeof value);
}

size_t PolygonBytes(int corners, bool withLayerMask) { return (withLayerMask ? 10u : 6u) + 8u * size_t(corners); }

// "Diffuse" is the old name of the colour channel.
std::string ChannelNameFromFile(const char* name)
{
    if (IsAnyCase(name, "Diffuse")) return "Color";
    return name ? name : "";
}

// The fixed properties a channel of that name has from the material's own
// construction; the file does not carry them.
void ApplyFixedChannelProperties(TQORMaterialChannel* channel)
{
    const char* name = channel->GetName();
    const bool bumpOrDisplacement = IsAnyCase(name, "Bump") || IsAnyCase(name, "Displacement");
    if (bumpOrDisplacement) channel->MinStrength = -1.0f;
    if (bumpOrDisplacement || IsAnyCase(name, "Transparency")) channel->UseColor = false;
    static const char* const listed[] = {"Color", "Bump", "Transparency", "Displacement", "Ambient", "Specular"};
    bool isListed = false;
    for (const char* n : listed) isListed = isListed || IsAnyCase(name, n);
    if (isListed) {
        channel->Listed = true;
    } else {
        channel->Listed = false;
        if (!IsAnyCase(name, "Glossy")) channel->Unsupported = true;
    }
}

// Position of the channel's map source in the project's map list; −1 when the
// channel has no map, the binding or its source is gone, or the project does
// not list it.
int TextureIndexOf(const TQORMaterialChannel* channel)
{
    const uint32_t mapID = channel->GetMapID();
    if (mapID == 0) return -1;
    auto* binding = dynamic_cast<TQORMaterialMap*>(__GetThingyFromID(mapID));
    if (!binding) return -1;
    TQORMaterialMapSource* source = binding->GetMapSource();
    if (!source || !QORMaterialMapSource_ProjectHooks.GetMapList) return -1;
    std::vector<TQORMaterialMapSource*> maps;
    QORMaterialMapSource_ProjectHooks.GetMapList(maps);
    for (size_t i = 0; i < maps.size(); ++i)
        if (maps[i] == source) return int(i);
    return -1;
}

// The older polygon array "polygons_b": int32 material, group and corner
// count, then the corners; checked like the blob.
// Every corner {vertex, texture vertex} of polygon p, n of them from byte
// at, names an existing vertex and either no texture vertex (-1) or an
// existing one.
bool CheckCorners(const unsigned char* data, size_t at, int n, int p, int vertexCount, int tVertexCount,
                  std::string* why)
{
    for (int c = 0; c < n; ++c, at += 8) {
        const int32_t v = ReadAt<int32_t>(data, at);
        const int32_t vt = ReadAt<int32_t>(data, at + 4);
        if (v < 0 || v >= vertexCount) {
            if (why) *why = QORFormat("polygon %d names vertex %d of %d", p, int(v), vertexCount);
            return false;
        }
        if (vt < -1 || vt >= tVertexCount) {
            if (why) *why = QORFormat("polygon %d names texture vertex %d of %d", p, int(vt), tVertexCount);
            return false;
        }
    }
    return true;
}

bool CheckOldPolygonArray(const unsigned char* data, size_t bytes, int count, int vertexCount, int tVertexCount,
                          std::string* why)
{
    size_t at = 0;
    for (int p = 0; p < count; ++p) {
        if (bytes - at < 12) {
            if (why) *why = QORFormat("the polygon array ends inside polygon %d of %d", p, count);
            return false;
        }
        const int32_t n = ReadAt<int32_t>(data, at + 8);
        if (n < 0 || n > QOR_POLYGON_MAX_CORNERS) {
            if (why) *why = QORFormat("polygon %d has %d corners", p, int(n));
            return false;
        }
        at += 12;
        if ((bytes - at) / 8 < size_t(n)) {
            if (why) *why = QORFormat("the polygon array ends inside polygon %d of %d", p, count);
            return false;
        }
        if (!CheckCorners(data, at, n, p, vertexCount, tVertexCount, why))
            return false;
        at += size_t(n) * 8;
    }
    if (at != bytes) {
        if (why) *why = QORFormat("the polygon array holds %zu bytes more than its %d polygons", bytes - at, count);
        return false;
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// [SECTION] Compact polygon blob
// ---------------------------------------------------------------------------

unsigned char* GetStaticPolyonArray(TQORPolygon* polygons, int count, unsigned long* byteCount, bool withLayerMask)
{
    if (count <= 0 || !polygons) return nullptr;
    // A positive count without a corner array (never made by the mesh) is
    // written as a polygon without corners.
    auto corners = [](const TQORPolygon& polygon) -> int16_t {
        return polygon.Count > 0 && polygon.Points ? polygon.Count : 0;
    };
    size_t total = 0;
    for (int p = 0; p < count; ++p) total += PolygonBytes(corners(polygons[p]), withLayerMask);
    auto* data = static_cast<unsigned char*>(QORalloc(total));
    size_t at = 0;
    for (int p = 0; p < count; ++p) {
        const TQORPolygon& polygon = polygons[p];
        const int16_t n = corners(polygon);
        WriteAt<int16_t>(data, at, polygon.Material);
        WriteAt<int16_t>(data, at + 2, polygon.Group);
        WriteAt<int16_t>(data, at + 4, n);
        at += 6;
        if (withLayerMask) {
            WriteAt<uint32_t>(data, at, polygon.LayerFlags);
            at += 4;
        }
        for (int c = 0; c < n; ++c, at += 8) {
            WriteAt<int32_t>(data, at, polygon.Points[c].V);
            WriteAt<int32_t>(data, at + 4, polygon.Points[c].VT);
        }
    }
    if (byteCount) *byteCount = static_cast<unsigned long>(total);
    return data;
}

bool KSN_CheckPolygonBlob(const unsigned char* data, size_t byteCount, int count, bool withLayerMask, int vertexCount,
                          int tVertexCount, std::string* why)
{
    const size_t header = withLayerMask ? 10 : 6;
    size_t at = 0;
    for (int p = 0; p < count; ++p) {
        if (byteCount - at < header) {
            if (why) *why = QORFormat("the polygon data ends inside polygon %d of %d", p, count);
            return false;
        }
        const int16_t n = ReadAt<int16_t>(data, at + 4);
        if (n < 0) {
            if (why) *why = QORFormat("polygon %d has %d corners", p, int(n));
            return false;
        }
        at += header;
        if ((byteCount - at) / 8 < size_t(n)) {
            if (why) *why = QORFormat("the polygon data ends inside polygon %d of %d", p, count);
            return false;
        }
        if (!CheckCorners(data, at, n, p, vertexCount, tVertexCount, why))
            return false;
        at += size_t(n) * 8;
    }
    if (at != byteCount) {
        if (why) *why = QORFormat("the polygon data holds %zu bytes more than its %d polygons", byteCount - at, count);
        return false;
    }
    return true;
}

bool ConvertArrayToPolygons(TQORPolyMesh* /*mesh*/, TQORPolygon* polygons, int count, unsigned char* data,
                            bool withLayerMask)
{
    if (!polygons || !data) return true;
    size_t at = 0;
    for (int p = 0; p < count; ++p) {
        TQORPolygon& polygon = polygons[p];
        polygon.DestroyPoints();
        polygon.Init();
        polygon.Material = ReadAt<int16_t>(data, at);
        polygon.Group = ReadAt<int16_t>(data, at + 2);
        const int16_t n = ReadAt<int16_t>(data, at + 4);
        at += 6;
        if (withLayerMask) {
            polygon.LayerFlags = ReadAt<uint32_t>(data, at);
            at += 4;
        }
        if (n <= 0) continue;
        polygon.SetCount(unsigned(n));
        for (int c = 0; c < n; ++c, at += 8) {
            polygon.Points[c].V = ReadAt<int32_t>(data, at);
            polygon.Points[c].VT = ReadAt<int32_t>(data, at + 4);
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// [SECTION] Nested blocks
// ---------------------------------------------------------------------------

bool TKSN_Material::SaveToStream_Text(FILE* file, bool enabled)
{
    TStartTextFileBlock block("material", "", file, enabled);
    const bool result = SaveBasicStuff_Text(file);
    for (TQORMaterialChannel* channel : ArbChannels) {
        if (!channel) break;
        TKSN_MaterialChannel temporary;
        temporary.Copy(channel);
        temporary.UseStrength = channel->UseStrength;
        temporary.SaveToStream_Text(file, true);
    }
    return result;
}

bool TKSN_Material::LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value)
{
    if (IsAnyCase(key, "Name")) {
        SetName("%s", value);
        return true;
    }
    if (IsAnyCase(key, "channel")) {
        const std::string name = ChannelNameFromFile(value);
        TQORMaterialChannel* channel = GetChannelFromName(name.c_str());
        if (!channel) {
            channel = new TQORMaterialChannel;
            channel->SetName("%s", name.c_str());
            AddChannel(channel);
        }
        TKSN_MaterialChannel temporary;
        // A block without a "Name" line keeps the name its key line gave.
        temporary.SetName("%s", name.c_str());
        temporary.LoadFromStream_Text(file);
        channel->Copy(&temporary);
        channel->UseStrength = temporary.UseStrength;
        ApplyFixedChannelProperties(channel);
        return true;
    }
    return true;
}

bool TKSN_MaterialChannel::SaveToStream_Text(FILE* file, bool enabled)
{
    TStartTextFileBlock block("channel", GetName(), file, enabled);
    const bool result = SaveBasicStuff_Text(file);
    WriteLine(file, "MapFileName", GetMapFileName());
    WriteLine(file, "Strength", QORFormat("%.8f", double(Strength)));
    WriteLine(file, "Offset", QORFormat("%.8f", double(Offset)));
    WriteLine(file, "Color", FloatList(Color, 3, false));
    WriteInt(file, "TextureIndex", TextureIndexOf(this));
    WriteInt(file, "UseStrength", UseStrength ? 1 : 0);
    WriteInt(file, "UseOffset", UseOffset ? 1 : 0);
    return result;
}

bool TKSN_MaterialChannel::LoadFromStream_Text_ConsiderCommand(FILE* /*file*/, char* key, char* value)
{
    if (IsAnyCase(key, "Name")) {
        SetName("%s", ChannelNameFromFile(value).c_str());
        if (IsAnyCase(value, "Bump") || IsAnyCase(value, "Displacement")) Offset = 0.5f;
    } else if (Is(key, "MapFileName")) {
        SetMapFileName(value);
    } else if (Is(key, "Strength")) {
        ParseFloats(value, &Strength, 1);
    } else if (Is(key, "Offset")) {
        ParseFloats(value, &Offset, 1);
    } else if (Is(key, "Color")) {
        ParseFloats(value, Color, 3);
    } else if (Is(key, "TextureIndex")) {
        TextureIndex = ParseInt(value);
    } else if (Is(key, "UseStrength")) {
        UseStrength = ParseFlag(value);
    } else if (Is(key, "UseOffset")) {
        UseOffset = ParseFlag(value);
    }
    return true;
}

bool TKSN_Group::SaveToStream_Text(FILE* file, bool enabled)
{
    TStartTextFileBlock block("polygroup", "", file, enabled);
    return SaveBasicStuff_Text(file);
}

bool TKSN_Group::LoadFromStream_Text_ConsiderCommand(FILE* /*file*/, char* key, char* value)
{
    if (IsAnyCase(key, "Name")) SetName("%s", value);
    return true;
}

// ---------------------------------------------------------------------------
// [SECTION] Mesh block
// ---------------------------------------------------------------------------

bool TKSN_Mesh::SaveToStream_Text(FILE* file, bool enabled)
{
    TStartTextFileBlock block("mesh", "", file, enabled);
    if (ForceColorTextureDisplay) WriteInt(file, "ForceColorTextureDisplay", 1);
    if (!CanDrawSelection) WriteInt(file, "CanDrawSelection", 0);
    WriteLine(file, "Transform_Pos", FloatList(Transform_Pos, 3, false));
    WriteLine(file, "Transform_Scale", FloatList(Transform_Scale, 3, false));
    WriteLine(file, "Transform_RotationMatrix", FloatList(RotationMatrix, 16, true));
    WriteInt(file, "vcount", vertexCount);
    WriteInt(file, "vtcount", tVertexCount);
    WriteInt(file, "pcount", polygonCount);
    WriteInt(file, "SymmetryAxis", symmetryAxis);
    WriteLine(file, "SymmetryOffset", QORFormat("%.8f", double(symmetryOffset)));
    WriteInt(file, "mcount", Materials ? Materials->GetItemCount() : 0);
    WriteInt(file, "SubDsEnabled", SubDsEnabled ? 1 : 0);
    WriteInt(file, "SubDDynamic", SubDDynamic ? 1 : 0);
    WriteInt(file, "SubDsSmoothed", SubDsSmoothed ? 1 : 0);
    WriteInt(file, "TargetMaxSubDPolygonCount", TargetMaxSubDPolygonCount);
    WriteInt(file, "MapsEdited", MapsEdited ? 1 : 0);
    WriteInt(file, "Welded", Welded ? 1 : 0);

    if (Welded && vertexCount > 0) {
        std::vector<int32_t> weldMap(static_cast<size_t>(vertexCount));
        for (int i = 0; i < vertexCount; ++i) weldMap[size_t(i)] = VertexInfo[i].WeldMaster;
        SaveBinaryDataToTextFile(file, weldMap.data(), vertexCount * 4, "weldmap");
    }
    if (vertexCount > 0) SaveBinaryDataToTextFile(file, baseVertices, vertexCount * 12, "vertices");
    if (tVertexCount > 0) SaveBinaryDataToTextFile(file, tVertices, tVertexCount * 8, "tvertices");
    if (polygonCount > 0) {
        unsigned long bytes = 0;
        unsigned char* blob = GetStaticPolyonArray(Polygons, polygonCount, &bytes, false);
        SaveBinaryDataToTextFile(file, blob, int(bytes), "polygons");
        QORfree(blob);
        std::vector<uint32_t> layers(static_cast<size_t>(polygonCount));
        for (int i = 0; i < polygonCount; ++i) layers[size_t(i)] = GetPolyLayerFlags(i);
        SaveBinaryDataToTextFile(file, layers.data(), polygonCount * 4, "PolygonLayerFlags");
    }

    const int materials = Materials ? Materials->GetItemCount() : 0;
    for (int i = 0; i < materials; ++i) {
        TQORMaterial* material = KSN_MaterialFromThingy(Materials->GetItem(i));
        if (!material) break;
        TKSN_Material temporary;
        temporary.CopyWithChannelFlags(material);
        temporary.SaveToStream_Text(file, true);
    }
    const int groups = Groups2 ? Groups2->GetItemCount() : 0;
    for (int i = 0; i < groups; ++i) {
        TQORGroup2* group = Groups2->GetItemAs(i);
        if (!group) break;
        TKSN_Group temporary;
        temporary.SetName("%s", group->GetName());
        temporary.SaveToStream_Text(file, true);
    }

    // The tree roots open their blocks with their keywords ("morphs",
    // "selections"); their display names stay as the user sees them.
    if (MorphTree) MorphTree->SaveToStream_Text(file, true);
    if (SelectionTree) SelectionTree->SaveToStream_Text(file, true);
    if (KSN_MeshBlockProjectHooks.SaveSculptLayers) KSN_MeshBlockProjectHooks.SaveSculptLayers(this, file);
    return true;
}

bool TKSN_Mesh::LoadFromStream_Text(FILE* file)
{
    MeshBlockRefused = false;
    TKSN_Thingy::LoadFromStream_Text(file);
    return !MeshBlockRefused;
}

namespace {

// Drops every vertex, texture vertex and polygon and tells the user why.
void RefuseMeshBlock(TKSN_Mesh* mesh, const std::string& why)
{
    const char* owner = KSN_MeshApp_GetObjectName(mesh->OwnerObject);
    OS.ErrorMessage("The mesh of the object '%s' in the file is damaged (%s). Its geometry was not loaded.",
                    owner ? owner : "", why.c_str());
    mesh->SetPolygonCount(0);
    mesh->SetVertexCount(0);
    mesh->SetTVertexCount(0);
    mesh->Welded = false;
    mesh->MeshBlockRefused = true;
}

}  // namespace

bool TKSN_Mesh::LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value)
{
    // Nested blocks first: they consume their own lines.
    if (IsAnyCase(key, "sculptLayer")) {
        if (KSN_MeshBlockProjectHooks.LoadSculptLayer) KSN_MeshBlockProjectHooks.LoadSculptLayer(this, file, value);
        return true;
    }
    if (IsAnyCase(key, "morphs")) {
        if (!MorphTree) return true;   // no mesh created yet: the block is skipped
        MorphTree->Empty();
        TempMorph = nullptr;
        BaseVerticesMorph = nullptr;
        SetupSpecialMorphs();
        MorphTree->LoadFromStream_Text(file);
        return true;
    }
    if (IsAnyCase(key, "selections")) {
        if (!SelectionTree) return true;
        SelectionTree->Empty();
        SelectionTree->LoadFromStream_Text(file);
        return true;
    }
    if (IsAnyCase(key, "map")) {
        TQORMaterialMap* binding =
            KSN_MeshBlockProjectHooks.CreateNewMap ? KSN_MeshBlockProjectHooks.CreateNewMap(this) : nullptr;
        TQORMaterialMapSource* source = binding ? binding->GetMapSource() : nullptr;
        if (source) {
            source->LoadFromStream_Text(file);
            MapsBoundOnLoad = true;
        }
        return true;
    }
    if (IsAnyCase(key, "material")) {
        TKSN_Material temporary;
        temporary.LoadFromStream_Text(file);
        TQORMaterial* material = KSN_NewMaterial("");
        material->CopyWithChannelFlags(&temporary);
        material->CacheChannels();
        Materials->AddItem(material);
        return true;
    }
    if (IsAnyCase(key, "polygroup")) {
        TKSN_Group temporary;
        temporary.LoadFromStream_Text(file);
        auto* group = new TQORGroup2;
        group->SetName("%s", temporary.GetName());
        group->Index = Groups2->GetItemCount();
        Groups2->AddItem(group);
        return true;
    }

    // Arrays: each is read whole (and released) whatever happens to it.
    const bool isPolygons = IsAnyCase(key, "polygons");
    const bool isOldPolygons = IsAnyCase(key, "polygons_b");
    const bool isLayers = IsAnyCase(key, "PolygonLayerFlags") || IsAnyCase(key, "PolygonLayerFlagsB");
    if (IsAnyCase(key, "vertices") || IsAnyCase(key, "tvertices") || isPolygons || isOldPolygons || isLayers ||
        IsAnyCase(key, "weldmap")) {
        TDecodedArray array(file);
        if (MeshBlockRefused || !array.data || array.bytes <= 0) return true;
        const size_t bytes = size_t(array.bytes);
        if (IsAnyCase(key, "vertices")) {
            if (bytes == size_t(vertexCount) * 12) SetBaseVertexArray(reinterpret_cast<float*>(array.data), vertexCount);
        } else if (IsAnyCase(key, "tvertices")) {
            if (bytes == size_t(tVertexCount) * 8) SetTVertexArray(reinterpret_cast<float*>(array.data), tVertexCount);
        } else if (isLayers) {
            if (bytes == size_t(polygonCount) * 4)
                for (int i = 0; i < polygonCount; ++i) Polygons[i].LayerFlags = ReadAt<uint32_t>(array.data, 4 * size_t(i));
        } else if (IsAnyCase(key, "weldmap")) {
            if (FileVertexCount < 0 || bytes != size_t(FileVertexCount) * 4) return true;
            const int n = std::min(vertexCount, FileVertexCount);
            std::vector<int32_t> targets(static_cast<size_t>(vertexCount));
            for (int i = 0; i < vertexCount; ++i) targets[size_t(i)] = VertexInfo[i].WeldMaster;
            for (int i = 0; i < n; ++i) {
                const int32_t t = ReadAt<int32_t>(array.data, 4 * size_t(i));
                targets[size_t(i)] = (t < 0 || t >= vertexCount) ? i : t;
            }
            // A master is its own master: a target that is welded on to yet
            // another vertex is not one, and its duplicate is unwelded.
            for (int i = 0; i < vertexCount; ++i) {
                const int m = targets[size_t(i)];
                VertexInfo[i].WeldMaster = targets[size_t(m)] == m ? m : i;
            }
        } else if (isPolygons) {
            std::string why;
            if (!KSN_CheckPolygonBlob(array.data, bytes, polygonCount, false, vertexCount, tVertexCount, &why)) {
                RefuseMeshBlock(this, why);
                return true;
            }
            ConvertArrayToPolygons(this, Polygons, polygonCount, array.data, false);
        } else {
            std::string why;
            if (!CheckOldPolygonArray(array.data, bytes, polygonCount, vertexCount, tVertexCount, &why)) {
                RefuseMeshBlock(this, why);
                return true;
            }
            size_t at = 0;
            for (int p = 0; p < polygonCount; ++p) {
                TQORPolygon& polygon = Polygons[p];
                polygon.DestroyPoints();
                polygon.Init();
                polygon.Material = int16_t(ReadAt<int32_t>(array.data, at) & 0xFFFF);
                polygon.Group = int16_t(ReadAt<int32_t>(array.data, at + 4) & 0xFFFF);
                const int32_t n = ReadAt<int32_t>(array.data, at + 8);
                at += 12;
                if (n > 0) polygon.SetCount(unsigned(n));
                for (int c = 0; c < n; ++c, at += 8) {
                    polygon.Points[c].V = ReadAt<int32_t>(array.data, at);
                    polygon.Points[c].VT = ReadAt<int32_t>(array.data, at + 4);
                }
            }
        }
        return true;
    }

    // Plain lines.
    if (Is(key, "SymmetryOffset")) {
        ParseFloats(value, &symmetryOffset, 1);
    } else if (Is(key, "Transform_Pos")) {
        ParseFloats(value, Transform_Pos, 3);
    } else if (Is(key, "Transform_Scale")) {
        ParseFloats(value, Transform_Scale, 3);
    } else if (Is(key, "Transform_RotationMatrix")) {
        float matrix[16];
        if (ParseFloats(value, matrix, 16) != 16) return false;
        std::memcpy(RotationMatrix, matrix, sizeof matrix);
    } else if (Is(key, "vcount")) {
        if (!MeshBlockRefused) FileVertexCount = ParseInt(value);
    } else if (Is(key, "vtcount")) {
        if (!MeshBlockRefused) FileTVertexCount = ParseInt(value);
    } else if (Is(key, "pcount")) {
        if (!MeshBlockRefused) {
            FilePolygonCount = ParseInt(value);
            const std::string why = ImplausibleCounts(file, FileVertexCount, FileTVertexCount, FilePolygonCount);
            if (why.empty())
                Create(FileVertexCount, FileTVertexCount, FileVertexCount, FilePolygonCount);
            else
                RefuseMeshBlock(this, why);
        }
    } else if (Is(key, "SymmetryAxis")) {
        // Everything indexes a vertex by the axis: an unknown one is taken as x.
        const int axis = ParseInt(value);
        symmetryAxis = (axis >= 0 && axis <= 2) ? axis : 0;
    } else if (Is(key, "ForceColorTextureDisplay")) {
        ForceColorTextureDisplay = ParseFlag(value);
    } else if (Is(key, "SubDsEnabled")) {
        SubDsEnabled = ParseFlag(value);
    } else if (Is(key, "SubDDynamic")) {
        SubDDynamic = ParseFlag(value);
    } else if (Is(key, "SubDsSmoothed")) {
        SubDsSmoothed = ParseFlag(value);
    } else if (Is(key, "Welded")) {
        if (!MeshBlockRefused) Welded = ParseFlag(value);
    } else if (Is(key, "TargetMaxSubDPolygonCount")) {
        TargetMaxSubDPolygonCount = ParseInt(value);
    }
    return true;
}

bool TKSN_Mesh::LoadFromStream(FILE* file)
{
    char name[256] = {};
    uint8_t readOnlyByte = 0;
    uint32_t id = 0;
    if (std::fread(name, 1, sizeof name, file) != sizeof name) return false;
    name[sizeof name - 1] = '\0';
    SetName("%s", name);
    if (std::fread(&readOnlyByte, 1, 1, file) != 1) return false;
    if (std::fread(&id, sizeof id, 1, file) != 1) return false;
    OS.ErrorMessage("TKSN_Mesh::LoadFromStream() no longer supported");
    return false;
}
