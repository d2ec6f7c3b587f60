// The nested blocks of the project file's "mesh" block and the compact
// polygon blob.
//
// The mesh's materials, their channels and its polygon groups travel as
// "material", "channel" and "polygroup" blocks. Three thin classes exist only
// to write and read those blocks: the writer fills a temporary instance from
// the mesh's real object and lets it write itself; the reader lets a
// temporary instance read and copies it into a new real object. Cross
// references are saved by position, never by ID: a polygon's material and
// group are indices into the mesh's lists, and a channel's map is the
// position of its map source in the project's map list ("TextureIndex").
//
// The compact polygon blob: the polygons in index order, each packed as
//   int16 material (−1 none), int16 group (−1 none), int16 corner count n,
//   [int32 layer mask — long form only, used by undo snapshots],
//   n × {int32 vertex, int32 texture vertex}
// little-endian, no header, no padding: 6 + 8n bytes a polygon in the short
// form (the mesh block), 10 + 8n in the long form.
#pragma once

#include "QORMaterial.h"
#include "QORPolyMesh.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

class TKSN_Mesh;

// A new QORalloc block holding the blob of count polygons; its length goes to
// *byteCount. With count 0 (or less) null, and *byteCount is left alone
// (callers preset it to 0).
unsigned char* GetStaticPolyonArray(TQORPolygon* polygons, int count, unsigned long* byteCount, bool withLayerMask);

// Rebuilds count polygon records from a blob the program made itself (undo
// snapshots): every record is reset and given its corners from the point
// pools. Blobs from files are checked with KSN_CheckPolygonBlob first. True.
bool ConvertArrayToPolygons(TQORPolyMesh* mesh, TQORPolygon* polygons, int count, unsigned char* data,
                            bool withLayerMask);

// Whether byteCount bytes hold exactly count polygons of the given form whose
// corner counts are not negative, whose vertex indices lie in 0 … vertexCount
// − 1 and whose texture-vertex indices are −1 or lie in 0 … tVertexCount − 1.
// When not, *why (if given) says what is wrong.
bool KSN_CheckPolygonBlob(const unsigned char* data, size_t byteCount, int count, bool withLayerMask,
                          int vertexCount, int tVertexCount, std::string* why);

// "material" block: the basics, then one "channel" block per channel.
class TKSN_Material : public TQORMaterial, public virtual TKSN_Thingy {
public:
    TKSN_Material() = default;
    ~TKSN_Material() override = default;
    bool SaveToStream_Text(FILE* file, bool enabled) override;
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value) override;
};

// "channel" block named after the channel.
class TKSN_MaterialChannel : public TQORMaterialChannel, public virtual TKSN_Thingy {
public:
    TKSN_MaterialChannel() = default;
    ~TKSN_MaterialChannel() override = default;
    bool SaveToStream_Text(FILE* file, bool enabled) override;
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value) override;
};

// "polygroup" block: the basics only.
class TKSN_Group : public TQORGroup2, public virtual TKSN_Thingy {
public:
    TKSN_Group() = default;
    ~TKSN_Group() override = default;
    bool SaveToStream_Text(FILE* file, bool enabled) override;
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value) override;
};

// TODO(stub): stands for what the mesh block needs of the project document
// (TKSN_Project::CreateNewMap, the project's sculpt-layer group) and of the
// sculpt layers' vertex maps, none of which exist yet. The project assigns
// these when it is built; unassigned, "map" and "sculptLayer" blocks are
// skipped whole when read and none are written.
struct TKSN_MeshBlockProjectHooks {
    // A new map binding of the mesh, with a map source of its own that reads
    // the "map" block; null when none could be made.
    TQORMaterialMap* (*CreateNewMap)(TKSN_Mesh* mesh) = nullptr;
    // Writes one "sculptLayer" block per sculpt layer with data on the mesh.
    void (*SaveSculptLayers)(TKSN_Mesh* mesh, FILE* file) = nullptr;
    // Reads the nested block of the sculpt layer of that name (any case) for
    // the mesh; false when the project has no such sculpt layer (the block is
    // then skipped).
    bool (*LoadSculptLayer)(TKSN_Mesh* mesh, FILE* file, const char* name) = nullptr;
};
extern TKSN_MeshBlockProjectHooks KSN_MeshBlockProjectHooks;
