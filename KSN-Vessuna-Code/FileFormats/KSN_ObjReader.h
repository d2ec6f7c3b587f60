// The Wavefront OBJ reader: the one way geometry files enter a polygon mesh.
//
// LoadObjData reads an OBJ file into a freshly made, empty mesh: base
// vertices, texture vertices, polygons with their corners, polygon groups
// (TQORGroup2) and materials (TQORMaterial); then the mesh's material library
// (LoadMTLFile) and the mesh's own set-up (AfterRawBuild).
//
// The dialect. A line is a keyword (its first word) and a trimmed parameter.
// "v" x y z, "vt" u v, "f"/"fo" corners, "g" name, "usemtl" name, a line
// starting with "mtllib", "l" (counted only) and comments; everything else
// ("vn", "o", "s", "vp" ...) is passed over. Corners take the forms v/t/n,
// v//n, v/t and v; numbers count from 1, negative ones back from the items
// read so far; a 0 ends the corners. With InternalName comments honoured,
// "# InternalName: name" names the current group and "g" lines are ignored
// from then on.
//
// The file is read once into memory and parsed in two passes over that
// buffer: one counts, so the mesh's arrays are sized once, one fills them.
// Both passes run on the worker pool (ThreadCruncher) over stretches of
// whole lines when it is free; the result does not depend on the split.
// Lines are taken whole, whatever their length; CR, LF and CR LF end a line.
//
// Refusals. A corner naming a vertex or texture vertex the file does not
// define, an index beyond int, a coordinate that is not a finite number, or
// more than 32,767 groups or materials (the polygons' 16-bit numbers) refuse
// the whole file: LoadObjData reports the TKSN_FileFormatError's text (file,
// line, what was expected) and returns false with the mesh left empty.
//
// Main thread only.
#pragma once

#include "QORPolyMesh.h"
#include "QORString.h"

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

// Bad input in an exchange file: the text names the file, the line and what
// was expected.
class TKSN_FileFormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "Cannot read "Head.obj", line 12: <what>" (file name without folder).
std::string KSN_FileErrorText(const char* path, long line, const std::string& what);

// The most corners a polygon keeps; further corners on its line are ignored.
constexpr int KSN_OBJ_MAX_CORNERS = 1000;
// The most groups or materials a file may name: polygons number them in 16 bits.
constexpr int KSN_OBJ_MAX_NAMED = 32767;

// Reads the OBJ file at path into mesh (fresh and empty). honourInternalNames:
// "InternalName:" comments name polygon groups. True when the mesh was built;
// false when the file cannot be opened (no message), has no vertex (warning
// text 1069) or is refused (the error's text as a warning; mesh left empty).
bool LoadObjData(const char* path, TQORPolyMesh* mesh, bool honourInternalNames);

// As LoadObjData, but a refused file throws TKSN_FileFormatError (the mesh is
// emptied first). Returns false without a message when the file cannot be
// opened, and false after warning 1069 when it has no vertex.
bool ReadObjData(const char* path, TQORPolyMesh* mesh, bool honourInternalNames);

// The least stretch (bytes) the passes give one worker; 0 restores the
// default (1 MB). Tests lower it so that small files are split too.
void KSN_SetObjReaderChunkBytes(size_t bytes);

// Counts a corner's numbers are checked against: the file's totals.
struct TKSN_ObjCornerLimits {
    int VertexTotal = 0;
    int TextureVertexTotal = 0;
};

// Parses one polygon line's corner text (after the keyword and one
// character) into polygon. Fewer than three corners, or a corner of no known
// form, leave the polygon as it was. Throws std::out_of_range with a
// description ("face refers to vertex 9, but the file defines 8 vertices")
// when a corner names an item the limits (null: the items read so far) do not
// hold. Returns the corners kept.
int LoadObjPolygon(const char* text, int material, int group, TQORPolygon* polygon, int verticesSoFar,
                   int textureVerticesSoFar, const TKSN_ObjCornerLimits* limits = nullptr);
// The same over the characters [text, end).
int LoadObjPolygon(const char* text, const char* end, int material, int group, TQORPolygon* polygon,
                   int verticesSoFar, int textureVerticesSoFar, const TKSN_ObjCornerLimits* limits);

// Names to objects for one read: 100 buckets, picked through a permutation of
// 0..99 by the sum of the name's lower-cased character codes. Names match without regard
// to case.
template <class T>
class THashTable {
public:
    struct THashTableNode {
        std::string Name;
        T Value;
    };

    THashTable()
    {
        for (int i = 0; i < BucketCount; ++i) Permutation[i] = i;
        for (int i = 0; i < BucketCount; ++i) std::swap(Permutation[i], Permutation[QORrandom(BucketCount)]);
    }

    // False, and nothing added, when the name is there already (any case).
    bool AddItem(const char* name, T value)
    {
        if (Find(name)) return false;
        Buckets[BucketOf(name)].push_back({name, value});
        ++ItemCount;
        return true;
    }
    // The node of name (any case), or null.
    const THashTableNode* Find(const char* name) const
    {
        for (const THashTableNode& node : Buckets[BucketOf(name)])
            if (QORstrcmpi(node.Name.c_str(), name) == 0) return &node;
        return nullptr;
    }
    int GetItemCount() const { return ItemCount; }

    static constexpr int BucketCount = 100;

private:
    int BucketOf(const char* name) const
    {
        unsigned sum = 0;
        // Lower-cased, so that names equal without regard to case meet in one bucket.
        for (const char* c = name; *c; ++c) sum += static_cast<unsigned char>(QOR_tolower(*c));
        return Permutation[sum % BucketCount];
    }

    std::vector<THashTableNode> Buckets[BucketCount];
    int Permutation[BucketCount];
    int ItemCount = 0;
};
