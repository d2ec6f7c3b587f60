// The model snapshot of a modelling step: the whole mesh before the
// operation, its big arrays parked in the virtual-memory store at once and
// its polygons as one compact blob on a later idle pass.
#include "KSN_Undo.h"
#include "KSN_Undo_Paging.h"

#include "KSN_Mesh.h"
#include "KSN_MeshBlock.h"
#include "OS.h"
#include "QORMemory.h"
#include "QORVirtualMemory.h"

#include <cstring>
#include <memory>

namespace {

float* CopyFloats(const float* source, int count)
{
    if (count <= 0 || !source) return nullptr;
    auto* copy = static_cast<float*>(QORalloc(uint64_t(count) * sizeof(float)));
    std::memcpy(copy, source, size_t(count) * sizeof(float));
    return copy;
}

} // namespace

// [SECTION] Float array container

TKSN_FloatArrayContainer::~TKSN_FloatArrayContainer()
{
    QORfree(Data);
    QORVirtualMemory_Delete(VirtualMemoryHandle);
}

void TKSN_FloatArrayContainer::Adopt(float* data, int count)
{
    QORfree(Data);
    QORVirtualMemory_Delete(VirtualMemoryHandle);
    VirtualMemoryHandle = 0;
    Data = data;
    Count = data ? count : 0;
}

void TKSN_FloatArrayContainer::PushDataToVirtualMemory()
{
    ksn_undo_paging::PushArray(Data, VirtualMemoryHandle, Count);
}

void TKSN_FloatArrayContainer::PopDataFromVirtualMemory()
{
    ksn_undo_paging::PopArray(Data, VirtualMemoryHandle);
}

bool TKSN_FloatArrayContainer::GetData(float* destination, int count)
{
    if (count > Count || count < 0) return false;
    PopDataFromVirtualMemory();
    if (count > 0) {
        if (!Data || !destination) return false;
        std::memcpy(destination, Data, size_t(count) * sizeof(float));
    }
    return true;
}

float* TKSN_FloatArrayContainer::GetDataArray()
{
    PopDataFromVirtualMemory();
    return Data;
}

// [SECTION] Snapshot

TKSN_Undo_Node_Model::~TKSN_Undo_Node_Model()
{
    delete ParameterDescription;
    QORVirtualMemory_Delete(PolygonsHandle);
    FreePolygons();
    for (auto* node : ChangedSelectionList) delete node;
    for (auto* node : ChangedMorphList) delete node;
}

void TKSN_Undo_Node_Model::FreePolygons()
{
    if (!Polygons) return;
    for (int i = 0; i < PolygonCount; ++i) Polygons[i].DestroyPoints();
    QORfree(Polygons);
    Polygons = nullptr;
}

void TKSN_Undo_Node_Model::GetAllDataFromMesh(TKSN_Mesh* mesh)
{
    if (!mesh) return;
    PolygonCount = mesh->GetPCount();
    VertexCount = mesh->GetVCount();
    TVertexCount = mesh->GetTVCount();
    FreePolygons();
    if (PolygonCount > 0) Polygons = static_cast<TQORPolygon*>(QORalloc(uint64_t(PolygonCount) * sizeof(TQORPolygon)));

    SelectionType = KSN_MeshApp_GetSelectionType();
    if (SelectionType == eSelectionType_Vertex || SelectionType == eSelectionType_Polygon) {
        const bool vertices = SelectionType == eSelectionType_Vertex;
        const int count = vertices ? VertexCount : PolygonCount;
        float* values = count > 0 ? static_cast<float*>(QORalloc(uint64_t(count) * sizeof(float))) : nullptr;
        for (int i = 0; i < count; ++i)
            values[i] = vertices ? mesh->GetResolvedVSelect(i) : mesh->GetResolvedPSelect(i);
        SelectionValues.Adopt(values, count);
        SelectionValues.PushDataToVirtualMemory();
    }

    std::unique_ptr<TQORNewStaticList<TKSN_Selection*>> selections(mesh->GetSelectionList());
    std::unique_ptr<TQORNewStaticList<TKSN_Morph*>> morphs(mesh->GetMorphList());

    for (int i = 0; i < PolygonCount; ++i) {
        new (&Polygons[i]) TQORPolygon();
        Polygons[i].Init();
        Polygons[i].Copy(&mesh->Polygons[i]);
    }

    BaseVertices.Adopt(CopyFloats(mesh->baseVertices, 3 * VertexCount), 3 * VertexCount);
    BaseVertices.PushDataToVirtualMemory();
    if (TVertexCount != 0) {
        TextureVertices.Adopt(CopyFloats(mesh->tVertices, 2 * TVertexCount), 2 * TVertexCount);
        TextureVertices.PushDataToVirtualMemory();
    }

    for (TKSN_Selection* selection : *selections) {
        if (!selection || selection->IsKeptInMemory()) continue;
        mesh->BeginUsingSelection(selection);
        selection->Expand();
        const bool perVertex = selection->GetSelectionType() == eSelectionType_Vertex;
        if (perVertex && selection->GetVCount() != VertexCount) {
            OS.DebugMessage("SelCount and VertexCount are not the same in GetAllDataFromMesh");
        } else if (!perVertex && selection->GetVCount() != PolygonCount) {
            OS.DebugMessage("SelCount and PolygonCount are not the same in GetAllDataFromMesh");
            selection->SetVCount(PolygonCount);
        }
        const int count = selection->GetVCount();
        if (count > 0) {
            auto* node = new TKSN_Undo_Node_Model_SelectionNode;
            node->SelectionType = selection->GetSelectionType();
            node->ID = selection->GetID();
            node->Adopt(CopyFloats(selection->GetPointerToExpandedArray(), count), count);
            node->PushDataToVirtualMemory();
            ChangedSelectionList.Add(node);
        }
        selection->NotInUse("EndUsingSelection");
    }

    for (TKSN_Morph* morph : *morphs) {
        if (!morph || morph->IsKeptInMemory()) continue;
        mesh->BeginUsingMorph(morph);
        const int count = 3 * morph->GetVCount();
        if (count > 0) {
            auto* node = new TKSN_Undo_Node_Model_MorphNode;
            node->ID = morph->GetID();
            node->Adopt(CopyFloats(morph->GetPointerToExpandedArray(), count), count);
            node->PushDataToVirtualMemory();
            ChangedMorphList.Add(node);
        }
        mesh->EndUsingMorph(morph);
    }
}

void TKSN_Undo_Node_Model::PushDataToVirtualMemory()
{
    if (PolygonsHandle != 0) return;
    unsigned long size = 0;
    unsigned char* blob = GetStaticPolyonArray(Polygons, PolygonCount, &size, true);
    if (blob) {
        void* block = blob;
        unsigned int id = 0;
        QORVirtualMemory_Push(&block, size, &id);
        PolygonsHandle = id;
    }
    FreePolygons();
}

void TKSN_Undo_Node_Model::PopDataFromVirtualMemory()
{
    if (PolygonsHandle == 0) return;
    unsigned char* blob = nullptr;
    ksn_undo_paging::PopArray(blob, PolygonsHandle);
    FreePolygons();
    if (PolygonCount > 0) {
        Polygons = static_cast<TQORPolygon*>(QORalloc(uint64_t(PolygonCount) * sizeof(TQORPolygon)));
        for (int i = 0; i < PolygonCount; ++i) {
            new (&Polygons[i]) TQORPolygon();
            Polygons[i].Init();
        }
        ConvertArrayToPolygons(nullptr, Polygons, PolygonCount, blob, true);
    }
    QORfree(blob);
}

// [SECTION] Mesh hook

void KSN_SnapshotMeshForUndo(TKSN_Undo_Node_Model* undo, TKSN_Mesh* mesh, int vertexCount, int tVertexCount,
                             int polygonCount, float symmetryOffset)
{
    if (!undo || !mesh) return;
    undo->VertexCount = vertexCount;
    undo->TVertexCount = tVertexCount;
    undo->PolygonCount = polygonCount;
    undo->SymmetryOffset = symmetryOffset;
    undo->GetAllDataFromMesh(mesh);
}
