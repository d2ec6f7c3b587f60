// TKSN_Object: one model of the scene, and the object tree that holds them.
//
// An object owns one editable mesh (made with the object as its owner),
// remembers the files the model came from, carries per-object display and
// symmetry settings, and keeps an object transform (position, pivot, look-at
// point, roll, scale) from which it derives four matrices. The object
// transform is apart from the mesh's own placement (the mesh's total matrix,
// which the move, rotate and scale tools change); the project leaves it at
// the identity for every object it makes, cameras included.
//
// Matrices are 16 floats used with row vectors: p' = p · M, translation in
// m12..m14, and in a product A·B the left factor acts first.
//
// The object tree (TKSN_ObjectTreeGroup) reads "object" and "camera" blocks
// into objects and nested "group" blocks into sub-folders; an entry whose
// block held no mesh is dropped, so every object in a tree has a mesh.
//
// Invariants:
// - The four matrices are valid only after ResolveTransforms (directly or
//   through ResolveVertices); changing a transform field alone changes none.
// - The mesh lives and dies with its object.
//
// Index of the sources:
//   KSN_Object.cpp     construction, naming, rotation and transforms, resolving
//   KSN_Object_Io.cpp  the "object" and "camera" blocks, the object tree reader
//
// Main thread only; nothing here locks.
#pragma once

#include "KSN_Thingy.h"
#include "QORTree.h"

#include <cstdio>
#include <memory>
#include <string>

class TKSN_Mesh;

class TKSN_Object : public virtual TKSN_Thingy {
public:
    // "New Object", collapsed, identity transform, no mesh.
    TKSN_Object();
    ~TKSN_Object() override;

    // Scene objects are never read-only.
    bool IsReadOnly() const override { return false; }

    // Names the object and its mesh alike (cleaned as every document name
    // is). printf-style as for every document object: pass a stored name as
    // SetName("%s", name), so that it is used literally.
    __attribute__((format(printf, 2, 3))) void SetName(const char* format, ...) override;

    // Position = p and LookAt = p + (0, 0, 1).
    void SetInitialPos(const float* p);
    // The rotation that makes the object face LookAt, rolled about the facing
    // axis: local −Z toward LookAt with faceWithMinusZ set, local +Z otherwise.
    virtual void GetRotationMatrix(float* out, bool faceWithMinusZ);
    // Rebuilds RotationMatrix, InverseRotationMatrix, ObjectToWorld and WorldToObject.
    void ResolveTransforms();
    // ResolveTransforms, then the mesh's resolved vertices and its bounds
    // (measured over the visible vertices' resolved positions; 0 without any).
    void ResolveVertices(bool applyTotalMatrix);
    // p = p · WorldToObject (call ResolveTransforms first).
    void TransformPositionIntoObjectSpace(float* p);

    // The legacy binary chunk is not written or read for objects.
    bool SaveToStream(FILE* file) override;
    bool SaveToStream_Bin(FILE* file) override;
    bool LoadFromStream(FILE* file) override;
    // The "object" block; with withHeader clear only its lines (a camera
    // writes them inside its own block). Always true.
    bool SaveToStream_Text(FILE* file, bool withHeader) override;
    // "mesh" (any case) makes and reads the mesh; "FileName", "OBJFileName"
    // (folders before the last backslash dropped), "CanCastShadows",
    // "WireFrameColor", "SolidColor", "RenderDoubleSided", "SymmetryEnabled".
    // True for a key it takes, false otherwise.
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value) override;

    // ---- data (colours are red, green, blue in 0..1; angles in degrees) ----

    float WireFrameColor[3] = {0.0f, 0.0f, 0.0f};
    float SolidColor[3] = {0.7f, 0.7f, 0.7f};
    std::string FileName;      // the file the object was imported from
    std::string OBJFileName;   // the OBJ file that goes with the object (figure imports)
    float Position[3] = {0.0f, 0.0f, 0.0f};   // where the pivot lands in the world
    float Pivot[3] = {0.0f, 0.0f, 0.0f};      // the model point placed at Position
    bool RenderDoubleSided = false;
    bool SymmetryEnabled = true;
    float LookAt[3] = {0.0f, 0.0f, 1.0f};
    float Roll = 0.0f;
    float Scale[3] = {1.0f, 1.0f, 1.0f};
    bool CanCastShadows = true;
    float RotationMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float InverseRotationMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float ObjectToWorld[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float WorldToObject[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::unique_ptr<TKSN_Mesh> Mesh;   // made with this object as its owner; none until given or read
};

// A camera object: the object's fields and four projection values, saved as
// the "camera" block. A viewport may name a camera by its object ID.
class TKSN_Camera : public TKSN_Object {
public:
    TKSN_Camera() = default;
    ~TKSN_Camera() override = default;

    // The "camera" block: basics, the object's lines, "FOV", "Aspect",
    // "HorizScale", "VertScale". False when a line could not be written; the
    // block is closed either way.
    bool SaveToStream_Text(FILE* file, bool withHeader) override;
    // The object's keys first, then the four projection values.
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value) override;

    float FOV = 30.0f;          // degrees
    float Aspect = 1.5f;
    float HorizScale = 1.0f;
    float VertScale = 1.0f;
};

class TKSN_ObjectTreeGroup : public TKSN_TopTreeGroup {
public:
    TKSN_ObjectTreeGroup() = default;
    ~TKSN_ObjectTreeGroup() override = default;

    // A new TKSN_ObjectTreeGroup named by value, appended as last child, reads its block.
    bool LoadSubGroup(FILE* file, char* key, char* value) override;
    // "Hidden" and "group" as any tree group; "object" and "camera" (any case)
    // read a new object or camera, kept only when its block held a mesh.
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value) override;
};
