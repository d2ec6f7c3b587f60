// Which vertices framing counts, on small meshes built in code. This file
// includes the mesh headers and therefore not the viewport's (the two declare
// selection enums of their own).
#include "KSN_Viewport_Internal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "KSN_Mesh.h"
#include "KSN_Object.h"

namespace {

// Four vertices at x = 0, 1, 2, 3 (y = z = 0), no polygons; flags per vertex.
std::unique_ptr<TKSN_Object> LineObject(const std::vector<uint32_t>& flags, float shiftX = 0.0f)
{
    auto object = std::make_unique<TKSN_Object>();
    object->ObjectToWorld[12] = shiftX;
    object->Mesh = std::make_unique<TKSN_Mesh>(object.get());
    TKSN_Mesh& m = *object->Mesh;
    m.Create(4, 0, 4, 0);
    for (int v = 0; v < 4; ++v) {
        const float p[3] = {float(v), 0, 0};
        std::memcpy(m.baseVertices + 3 * v, p, sizeof p);
        std::memcpy(m.resolvedVertices + 3 * v, p, sizeof p);
        m.VertexInfo[v].Flags = flags[size_t(v)];
    }
    int selected = 0;
    for (uint32_t f : flags) selected += (f & 0x200) ? 1 : 0;
    m.SelectedListsValid = true;   // the selected count below stands as built
    m.SelectedVertexCount = selected;
    return object;
}

std::vector<float> Xs(const std::vector<float>& points)
{
    std::vector<float> xs;
    for (size_t i = 0; i < points.size(); i += 3) xs.push_back(points[i]);
    return xs;
}

TEST(FramingPoints, ObjectSelectionAndAll)
{
    auto a = LineObject({0, 0x1, 0x200, 0x200 | 0x1});        // vertex 1 and 3 hidden
    auto b = LineObject({0x200, 0, 0, 0}, 10.0f);            // placed 10 to the right
    auto locked = LineObject({0x200, 0x200, 0, 0}, 100.0f);
    locked->SetCustomBooleanProperty("COMPLETELY_LOCKED", true);
    auto meshless = std::make_unique<TKSN_Object>();
    std::vector<TKSN_Object*> all = {a.get(), meshless.get(), b.get(), locked.get()};

    std::vector<float> points;
    EXPECT_TRUE(KSN_GatherFramingPoints(a.get(), 0, all, nullptr, points));
    EXPECT_EQ(Xs(points), (std::vector<float>{0, 2}));

    points.clear();
    EXPECT_TRUE(KSN_GatherFramingPoints(nullptr, 1, all, nullptr, points));
    EXPECT_EQ(Xs(points), (std::vector<float>{2, 10}));

    points.clear();
    auto onlyFirst = [](TKSN_Object* o) { return o->Mesh && o->Mesh->vertexCount == 4 && o->ObjectToWorld[12] == 0; };
    EXPECT_TRUE(KSN_GatherFramingPoints(nullptr, 1, all, onlyFirst, points));
    EXPECT_EQ(Xs(points), (std::vector<float>{2}));

    points.clear();
    EXPECT_TRUE(KSN_GatherFramingPoints(nullptr, 2, all, nullptr, points));
    EXPECT_EQ(Xs(points), (std::vector<float>{0, 2, 10, 11, 12, 13, 100, 101, 102, 103}));

    points.clear();
    EXPECT_FALSE(KSN_GatherFramingPoints(meshless.get(), 0, all, nullptr, points));
    EXPECT_FALSE(KSN_GatherFramingPoints(nullptr, 0, all, nullptr, points));
    EXPECT_TRUE(points.empty());
}

TEST(FramingPoints, SymmetryTakesThePartner)
{
    auto a = LineObject({0, 0, 0, 0x200});
    int32_t partners[4] = {3, 2, 1, 0};
    a->Mesh->activeVertexPartnerA = partners;
    a->Mesh->SelectedVertexCount = 1;
    std::vector<float> points;
    KSN_GatherFramingPoints(nullptr, 1, {a.get()}, nullptr, points);
    a->Mesh->activeVertexPartnerA = nullptr;
    EXPECT_EQ(Xs(points), (std::vector<float>{3}));   // vertex 0 stands for its selected partner 3
}

TEST(ChannelName, CopiesCutToTheField)
{
    char field[8];
    KSN_CopyChannelName(field, sizeof field, "Displacement");
    EXPECT_STREQ(field, "Displac");
    KSN_CopyChannelName(field, sizeof field, nullptr);
    EXPECT_STREQ(field, "");
}

} // namespace
