// Polygon mesh: sizing, accessors, whole-array copies, the raw-build repairs,
// materials, groups and welding.
#include "GeometryTestSupport.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

using GeometryTest::MakeMesh;
using GeometryTest::MessageCapture;

// ---------------------------------------------------------------------------
// Sizing and accessors
// ---------------------------------------------------------------------------

TEST(PolyMeshSizing, NewVerticesAreZeroUnselectedAndTheirOwnMasters)
{
    TQORPolyMesh mesh;
    mesh.SetVertexCount(2);
    mesh.baseVertices[3] = 7.0f;
    mesh.VertexInfo[1].Flags = 0x4;
    mesh.ViewportUVWs[2] = static_cast<float*>(QORalloc(24));
    mesh.SetVertexCount(4);
    EXPECT_EQ(mesh.baseVertices[3], 7.0f);
    EXPECT_EQ(mesh.VertexInfo[1].Flags, 0x4u);
    for (int v = 2; v < 4; ++v) {
        SCOPED_TRACE(v);
        EXPECT_EQ(mesh.baseVertices[3 * v], 0.0f);
        EXPECT_EQ(mesh.VertexInfo[v].Select, 0.0f);
        EXPECT_EQ(mesh.VertexInfo[v].Flags, 0u);
        EXPECT_EQ(mesh.VertexInfo[v].WeldMaster, v);
    }
    for (float* uvw : mesh.ViewportUVWs) EXPECT_EQ(uvw, nullptr);

    // A kept vertex welded to a dropped one becomes its own master.
    mesh.VertexInfo[1].WeldMaster = 3;
    mesh.SetVertexCount(2);
    EXPECT_EQ(mesh.VertexInfo[1].WeldMaster, 1);
}

TEST(PolyMeshSizing, DroppedPolygonsReturnTheirCornersAndNewOnesStartEmpty)
{
    OptimizePolygonMemory();
    {
        TQORPolyMesh mesh;
        mesh.SetPolygonCount(3);
        EXPECT_EQ(mesh.GetMaxOctreeDepth(), 4);
        for (int i = 0; i < 3; ++i) mesh.Polygons[i].SetCount(5);
        TQORQuickMemoryAllocator* pool = PolyPointAllocator[5];
        ASSERT_EQ(pool->GetBlockCount(), 1);
        mesh.SetPolygonCount(1);
        EXPECT_EQ(pool->Current->FreeCount, pool->Current->Capacity - 1);
        mesh.PolygonFlags[0] = 0x5;
        mesh.SetPolygonCount(3);
        EXPECT_EQ(mesh.PolygonFlags[0], 0x5u);
        for (int i = 1; i < 3; ++i) {
            EXPECT_EQ(mesh.Polygons[i].Material, -1);
            EXPECT_EQ(mesh.Polygons[i].Group, -1);
            EXPECT_EQ(mesh.Polygons[i].Count, 0);
            EXPECT_EQ(mesh.Polygons[i].Points, nullptr);
            EXPECT_EQ(mesh.PolygonFlags[i], 0u);
        }
    }
    // The destructor trims the pools it emptied.
    EXPECT_EQ(PolyPointAllocator[5]->GetBlockCount(), 0);
}

TEST(PolyMeshSizing, CreateKeepsSeparateNormalsOnlyForAnotherNormalCount)
{
    MessageCapture messages;
    TQORPolyMesh same;
    same.Create(10, 5, 10, 3);
    EXPECT_EQ(same.SeparateNormals, nullptr);
    EXPECT_TRUE(messages.Boxes.empty());
    EXPECT_EQ(same.tVertexCount, 5);
    EXPECT_EQ(same.tVertices[9], 0.0f);

    TQORPolyMesh other;
    other.Create(10, 5, 12, 3);
    ASSERT_EQ(messages.Boxes.size(), 1u);
    EXPECT_EQ(messages.Boxes[0], "GetVNCount() != GetVCount() in TQORPolyMesh::Create()");
    EXPECT_NE(other.SeparateNormals, nullptr);
    EXPECT_EQ(other.SeparateNormalCount, 12);
    EXPECT_EQ(other.GetVNCount(), 12);
}

TEST(PolyMeshAccessors, FlagWordsAndWeldedCorners)
{
    auto mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 1, 0}}, {{0, 1, 3}});
    const struct {
        uint32_t flags;
        bool hidden, locked, either;
    } words[] = {{0x1, true, false, true}, {0x4, false, true, true}, {0x5, true, true, true}, {0x2, false, false, false}};
    for (const auto& w : words) {
        SCOPED_TRACE(w.flags);
        mesh->PolygonFlags[0] = w.flags;
        EXPECT_EQ(mesh->IsPolyHidden(0), w.hidden);
        EXPECT_EQ(mesh->IsPolyLocked(0), w.locked);
        EXPECT_EQ(mesh->IsPolyLockedOrHidden(0), w.either);
    }
    mesh->PolygonFlags[0] = 0;
    mesh->SetCustomPFlagToTrue(0);
    EXPECT_TRUE(mesh->GetCustomPFlag(0));
    mesh->SetCustomPFlagToFalse(0);
    EXPECT_EQ(mesh->PolygonFlags[0], 0u);

    mesh->VertexInfo[3].WeldMaster = 2;
    EXPECT_EQ(mesh->vGetPolyV(0, 2), 3);
    mesh->Welded = true;
    EXPECT_EQ(mesh->vGetPolyV(0, 2), 2);
    EXPECT_EQ(mesh->vGetPolyVN(0, 2), 3);   // normals never go through the weld map
    mesh->IgnoreWelding = true;
    EXPECT_EQ(mesh->vGetPolyV(0, 2), 3);
}

TEST(PolyMeshAccessors, WholeArrayCopiesRefuseAnotherCount)
{
    auto mesh = MakeMesh({{1, 2, 3}, {4, 5, 6}}, {}, {{0.5f, 0.25f}});
    float out[9] = {-1, -1, -1, -1, -1, -1, -1, -1, -1};
    EXPECT_FALSE(mesh->GetBaseVertexArray(out, 3));
    EXPECT_EQ(out[0], -1.0f);
    EXPECT_TRUE(mesh->GetBaseVertexArray(out, 2));
    EXPECT_EQ(out[5], 6.0f);
    const float moved[6] = {9, 9, 9, 8, 8, 8};
    EXPECT_TRUE(mesh->SetResolvedVertexArray(moved, 2));
    EXPECT_EQ(mesh->resolvedVertices[3], 8.0f);
    mesh->ClearResolvedVertices();
    EXPECT_EQ(mesh->resolvedVertices[3], 4.0f);
    EXPECT_FALSE(mesh->SetTVertexArray(moved, 2));
    EXPECT_TRUE(mesh->GetTVertexArray(out, 1));
    EXPECT_EQ(out[1], 0.25f);
}

// ---------------------------------------------------------------------------
// Raw build
// ---------------------------------------------------------------------------

TEST(PolyMeshRawBuild, IndicesFromOutsideAreMadeSafeBeforeAnythingReadsThem)
{
    MessageCapture messages;
    auto mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {{0, 1, 2}, {1, 3, 2}, {0, 1, 3}});
    // A loader that set a count without corners, and a weld map naming a vertex that is not there.
    mesh->Polygons[2].DestroyPoints();
    mesh->Polygons[2].Count = 3;
    mesh->Welded = true;
    mesh->VertexInfo[3].WeldMaster = 42;
    mesh->AfterRawBuild();
    EXPECT_EQ(mesh->Polygons[2].Count, 0);
    EXPECT_EQ(mesh->VertexInfo[3].WeldMaster, 3);
    EXPECT_EQ(MessageCapture::Panel.size(), 2u);
    // The rebuilt table names vertex 3 from polygon 1 only.
    ASSERT_EQ(mesh->vertexPolygons[3][0], 1);
    EXPECT_EQ(mesh->vertexPolygons[3][1], 1);
    EXPECT_FLOAT_EQ(mesh->boundsDiagonal, std::sqrt(2.0f));
}

// ---------------------------------------------------------------------------
// Materials and groups
// ---------------------------------------------------------------------------

TQORGroup2* AddGroup(TQORPolyMesh& mesh, const char* name)
{
    auto* g = new TQORGroup2();
    g->SetName("%s", name);
    g->Index = mesh.Groups2->GetItemCount();
    mesh.Groups2->AddItem(g);
    return g;
}

std::vector<int> MapOf(const TQORGroup2* g)
{
    return std::vector<int>(g->Vertices, g->Vertices + g->VertexCount);
}

TEST(PolyMeshRebuild, AnEditRebuildsTheDerivedDataAndTheIdlePassDropsTheSpareTables)
{
    auto mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {{0, 1, 2}, {1, 3, 2}},
                         {{0, 0}, {1, 0}, {0, 1}, {1, 1}});
    TQORGroup2* group = AddGroup(*mesh, "Quad");
    mesh->Polygons[1].Group = 0;
    mesh->AfterRawBuild();
    mesh->GetVisiblePolygonCount();
    mesh->baseVertices[3 * 3 + 2] = 4.0f;   // a modelling edit moved a vertex

    mesh->BeginEditGeometry();
    mesh->EndEditGeometry();
    EXPECT_EQ(MapOf(group), (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(mesh->AreVisibleListsValid());
    EXPECT_EQ(mesh->boundsMax[2], 4.0f);
    EXPECT_EQ(mesh->TVertexPolygons.GetRowCount(), 4);

    mesh->BuildPolygonNeighbors();
    mesh->CleanAllSupplementaryStructures();
    EXPECT_EQ(mesh->TVertexPolygons.GetRowCount(), 0);
    EXPECT_EQ(mesh->PolygonNeighbors.GetRowCount(), 0);
}

TEST(PolyMeshGroups, SeveralWordGroupsLendTheirPolygonsToEveryNamedGroup)
{
    auto mesh = MakeMesh(std::vector<std::array<float, 3>>(9, {0, 0, 0}), {{0, 1, 2}, {3, 4, 5}, {5, 6, 7}});
    TQORGroup2* head = AddGroup(*mesh, "Head");
    TQORGroup2* neck = AddGroup(*mesh, "Neck");
    TQORGroup2* both = AddGroup(*mesh, "Head Neck");
    both->CreateVertexMap(1);
    both->Vertices[0] = 2;
    for (int p = 0; p < 3; ++p) mesh->Polygons[p].Group = int16_t(p);

    mesh->ResolveGroupVertexMaps();
    EXPECT_EQ(MapOf(head), (std::vector<int>{0, 1, 2, 5, 6, 7}));
    EXPECT_EQ(MapOf(neck), (std::vector<int>{3, 4, 5, 6, 7}));
    EXPECT_EQ(MapOf(both), (std::vector<int>{2}));   // keeps the map it had
    // Shared: the first group using a vertex has 0, every later one 1.
    for (int e = 0; e < head->VertexCount; ++e) EXPECT_EQ(head->Shared[e], 0);
    EXPECT_EQ(std::vector<int>(neck->Shared, neck->Shared + neck->VertexCount), (std::vector<int>{0, 0, 1, 1, 1}));
    EXPECT_EQ(both->Shared[0], 1);
    EXPECT_EQ(head->Weights[0], 1.0f);
}

TEST(PolyMeshGroups, OnlyWholeWordsInAnyCaseLend)
{
    const struct {
        const char* many;
        const char* one;
        bool lends;
    } cases[] = {
        {"Forehead Neck", "Head", false},
        {"Forehead Neck", "Neck", true},
        {"HEAD neck", "head", true},
        {"Forehead Head", "Head", true},   // the whole word comes after a partial one
        {"Head\tArm", "Arm", true},
        {"Heads Neck", "Head", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.many << " / " << c.one);
        auto mesh = MakeMesh(std::vector<std::array<float, 3>>(4, {0, 0, 0}), {{1, 2, 3}});
        TQORGroup2* one = AddGroup(*mesh, c.one);
        AddGroup(*mesh, c.many);
        mesh->Polygons[0].Group = 1;
        mesh->ResolveGroupVertexMaps();
        EXPECT_EQ(one->VertexCount, c.lends ? 3 : 0);
    }
}

TEST(PolyMeshGroups, FileGroupNamesAreMadeUnique)
{
    const struct {
        std::vector<std::string> before, after;
    } cases[] = {
        {{"Body", "Body", "Body"}, {"Body", "Body (2)", "Body (1)"}},
        {{"a", "A"}, {"a", "A (1)"}},
        {{"Arm", "Leg"}, {"Arm", "Leg"}},
        {{"X", "X (1)", "X"}, {"X", "X (1)", "X (2)"}},
    };
    for (const auto& c : cases) {
        TQORPolyMesh mesh;
        for (const std::string& name : c.before) {
            auto* g = new TQORGroup();
            g->SetName("%s", name.c_str());
            mesh.Groups->Add(g);
        }
        mesh.MakeGroupNamesUnique();
        std::vector<std::string> names;
        for (int i = 0; i < mesh.Groups->Count(); ++i) names.push_back((*mesh.Groups)[i]->GetName());
        EXPECT_EQ(names, c.after);
    }
}

TEST(PolyMeshMaterials, FindByExactNameOrIgnoringCase)
{
    TQORPolyMesh mesh;
    for (const char* name : {"Skin", "Eyes"}) {
        auto* m = new TQORMaterial();
        m->SetName("%s", name);
        m->SecondName = std::string(name) + "2";
        mesh.Materials->AddItem(m);
    }
    EXPECT_EQ(mesh.FindMaterial("skin"), nullptr);
    ASSERT_NE(mesh.FindMaterial("Skin"), nullptr);
    EXPECT_STREQ(mesh.FindMaterial("Eyes")->GetName(), "Eyes");
    EXPECT_EQ(mesh.FindMaterialIndex("skin"), 0);
    EXPECT_EQ(mesh.FindMaterialIndex("EYES"), 1);
    EXPECT_EQ(mesh.FindMaterialIndex("eyes", "EYES2"), 1);
    EXPECT_EQ(mesh.FindMaterialIndex("eyes", "Other"), -1);
    EXPECT_EQ(mesh.FindMaterialIndex("Hair"), -1);
}

// ---------------------------------------------------------------------------
// Welding
// ---------------------------------------------------------------------------

// Two triangles whose shared edge is stored twice: vertices 3 and 4 sit on 1 and 2.
std::unique_ptr<TQORPolyMesh> WeldedPair()
{
    auto mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {{0, 1, 2}, {3, 5, 4}});
    mesh->VertexInfo[3].WeldMaster = 1;
    mesh->VertexInfo[4].WeldMaster = 2;
    mesh->Welded = true;
    return mesh;
}

TEST(PolyMeshWelding, MakingTheWeldPermanentLeavesEveryVertexLookupUnchanged)
{
    auto mesh = WeldedPair();
    std::vector<int> before;
    for (int p = 0; p < 2; ++p)
        for (int k = 0; k < 3; ++k) before.push_back(mesh->vGetPolyV(p, k));
    mesh->MakeWeldingpermanent();
    EXPECT_FALSE(mesh->Welded);
    std::vector<int> after, raw;
    for (int p = 0; p < 2; ++p)
        for (int k = 0; k < 3; ++k) {
            after.push_back(mesh->vGetPolyV(p, k));
            raw.push_back(mesh->Polygons[p].Points[k].V);
        }
    EXPECT_EQ(after, before);
    EXPECT_EQ(raw, before);
    EXPECT_EQ(mesh->VertexInfo[3].WeldMaster, 1);   // inert now, but kept
    EXPECT_EQ(mesh->vertexCount, 6);
}

TEST(PolyMeshWelding, DuplicatesFollowTheirMastersOnlyWhileWelded)
{
    auto mesh = WeldedPair();
    mesh->baseVertices[3 * 1 + 2] = 5.0f;
    mesh->VertexInfo[1].Flags = 0x1;
    mesh->UpdateWeldedVertices();
    EXPECT_EQ(mesh->baseVertices[3 * 3 + 2], 5.0f);
    EXPECT_EQ(mesh->VertexInfo[3].Flags, 0x1u);

    mesh->Welded = false;
    mesh->baseVertices[3 * 2 + 2] = 9.0f;
    mesh->UpdateWeldedVertices();
    EXPECT_EQ(mesh->baseVertices[3 * 4 + 2], 0.0f);
}

TEST(PolyMeshWelding, UnweldMovesDuplicatesToTheirMastersAndFreesThem)
{
    auto mesh = WeldedPair();
    mesh->baseVertices[3 * 2 + 0] = 0.5f;
    mesh->Unweld();
    EXPECT_FALSE(mesh->Welded);
    EXPECT_EQ(mesh->baseVertices[3 * 4 + 0], 0.5f);
    for (int v = 0; v < mesh->vertexCount; ++v) EXPECT_EQ(mesh->VertexInfo[v].WeldMaster, v);
    EXPECT_EQ(mesh->vGetPolyV(1, 0), 3);
    EXPECT_EQ(mesh->vertexPolygons[3][0], 1);
}

}  // namespace
