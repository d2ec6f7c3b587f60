// Selections: conversions on small meshes, resizing and paging, copying, the
// "selection" block round trip and damaged blocks.
#include "KSN_Selection.h"

#include "KSN_Mesh.h"

#include "OS.h"
#include "QORPolyMesh.h"
#include "QORTextBlock.h"
#include "QORVirtualMemory.h"
#include "KsnTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace SelectionTest {

using Dialogs = TBoxRecorder;

std::vector<std::string> Warnings;

// The virtual-memory store in a private temporary folder, and the messages.
class SelectionFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        OS.SetDialogProvider(&Boxes);
        Warnings.clear();
        OS.AssignOnWarningMessage([](char* text) { Warnings.push_back(text); });
        ASSERT_TRUE(Store.Open("ksn_selection_"));
    }
    void TearDown() override
    {
        Store.Close();
        OS.AssignOnWarningMessage(nullptr);
        OS.SetDialogProvider(nullptr);
    }

    Dialogs Boxes;
    TTempStoreFolder Store;
};

std::unique_ptr<TQORPolyMesh> MakeMesh(int vertexCount, const std::vector<std::vector<int>>& polygons)
{
    // Selections convert through their owning editable mesh.
    auto mesh = std::make_unique<TKSN_Mesh>(nullptr);
    mesh->Create(vertexCount, 0, vertexCount, int(polygons.size()));
    for (size_t p = 0; p < polygons.size(); ++p) {
        TQORPolygon& poly = mesh->Polygons[p];
        poly.SetCount(unsigned(polygons[p].size()));
        for (size_t k = 0; k < polygons[p].size(); ++k)
            poly.Points[k].V = polygons[p][k];
    }
    return mesh;
}

std::unique_ptr<TKSN_Selection> MakeSelection(const std::vector<float>& weights, eSelectionType type,
                                              unsigned owner)
{
    auto selection = std::make_unique<TKSN_Selection>(int(weights.size()), owner);
    selection->SetSelectionType(type);
    for (size_t i = 0; i < weights.size(); ++i)
        selection->SetVSelect(int(i), weights[i]);
    return selection;
}

std::vector<float> WeightsOf(TKSN_Selection& selection)
{
    std::vector<float> out;
    for (int i = 0; i < selection.GetVCount(); ++i)
        out.push_back(selection.GetVSelect(i));
    return out;
}

std::string ReadAll(FILE* file)
{
    std::string text;
    std::rewind(file);
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    return text;
}

std::string WithoutIdLines(const std::string& text)
{
    std::string out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (line.find_first_not_of('\t') == std::string::npos || line.compare(line.find_first_not_of('\t'), 3, "ID\t") != 0)
            out += line + "\n";
        start = end + 1;
    }
    return out;
}

std::string Save(TKSN_Selection& selection)
{
    FILE* file = std::tmpfile();
    selection.SaveToStream_Text(file, true);
    std::string text = ReadAll(file);
    std::fclose(file);
    return text;
}

// Reads one "selection" block from text into a new selection.
std::unique_ptr<TKSN_Selection> Load(const std::string& text)
{
    FILE* file = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), file);
    std::rewind(file);
    auto selection = std::make_unique<TKSN_Selection>(0, 0);
    try {
        selection->LoadFromStream_Text(file);
    } catch (...) {
        std::fclose(file);
        throw;
    }
    std::fclose(file);
    return selection;
}

// A hand-made block: the header lines as given, then a "data" block of bytes.
std::string Block(const std::string& lines, const void* data, int bytes, bool withData = true)
{
    FILE* file = std::tmpfile();
    std::fputs("selection\tHand Made\n{\n", file);
    std::fputs(lines.c_str(), file);
    if (withData) {
        TextFileIndent = 1;
        SaveBinaryDataToTextFile(file, data, bytes, "data");
        TextFileIndent = 0;
    }
    std::fputs("}\n", file);
    std::string text = ReadAll(file);
    std::fclose(file);
    return text;
}

// [Conversions] ------------------------------------------------------------

TEST_F(SelectionFixture, ConversionsFollowTheMinAndMaxRules)
{
    struct Case {
        const char* name;
        int vertexCount;
        std::vector<std::vector<int>> polygons;
        eSelectionType from;
        std::vector<float> weights;
        std::vector<float> expected;
    };
    const std::vector<Case> cases = {
        {"quad 1,1,1,0 to polygon", 4, {{0, 1, 2, 3}}, eSelectionType_Vertex, {1, 1, 1, 0}, {0}},
        {"triangle 1,1,0.5 to polygon", 3, {{0, 1, 2}}, eSelectionType_Vertex, {1, 1, 0.5f}, {0.5f}},
        {"two triangles to polygons", 4, {{0, 1, 2}, {1, 3, 2}}, eSelectionType_Vertex, {0.2f, 0.9f, 0.6f, 1},
         {0.2f, 0.6f}},
        {"shared vertex takes the larger polygon", 4, {{0, 1, 2}, {1, 3, 2}}, eSelectionType_Polygon, {0.2f, 0.7f},
         {0.2f, 0.7f, 0.7f, 0.7f}},
        {"unused vertex stays 0", 5, {{0, 1, 2}}, eSelectionType_Polygon, {0.4f}, {0.4f, 0.4f, 0.4f, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto mesh = MakeMesh(c.vertexCount, c.polygons);
        auto selection = MakeSelection(c.weights, c.from, mesh->GetID());
        if (c.from == eSelectionType_Vertex)
            selection->ConvertToPolygonSelection();
        else
            selection->ConvertToVertexSelection();
        EXPECT_EQ(selection->GetSelectionType(),
                  c.from == eSelectionType_Vertex ? eSelectionType_Polygon : eSelectionType_Vertex);
        EXPECT_EQ(WeightsOf(*selection), c.expected);
    }
}

TEST_F(SelectionFixture, ConversionsGoThroughWeldMasters)
{
    // Vertex 3 is a duplicate of vertex 0: the second triangle uses it.
    auto mesh = MakeMesh(5, {{0, 1, 2}, {3, 2, 4}});
    mesh->Welded = true;
    for (int v = 0; v < 5; ++v) mesh->VertexInfo[v].WeldMaster = v;
    mesh->VertexInfo[3].WeldMaster = 0;

    auto toPolygons = MakeSelection({1, 1, 1, 0, 1}, eSelectionType_Vertex, mesh->GetID());
    toPolygons->ConvertToPolygonSelection();
    EXPECT_EQ(WeightsOf(*toPolygons), (std::vector<float>{1, 1})) << "the duplicate's own 0 is not consulted";

    auto toVertices = MakeSelection({0.3f, 0.8f}, eSelectionType_Polygon, mesh->GetID());
    toVertices->ConvertToVertexSelection();
    EXPECT_EQ(WeightsOf(*toVertices), (std::vector<float>{0.8f, 0.3f, 0.8f, 0, 0.8f}));
}

TEST_F(SelectionFixture, ConversionsWithoutAMeshOwnerOrOfTheSameTypeChangeNothing)
{
    auto mesh = MakeMesh(4, {{0, 1, 2, 3}});
    TKSN_Selection notAMesh(1, 0);
    struct Case {
        const char* name;
        unsigned owner;
        eSelectionType type;
    };
    const Case cases[] = {
        {"no owner", 0, eSelectionType_Vertex},
        {"owner is not a mesh", notAMesh.GetID(), eSelectionType_Vertex},
        {"owner long gone", 0xFFFFFF0u, eSelectionType_Vertex},
        {"already a polygon selection", mesh->GetID(), eSelectionType_Polygon},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto selection = MakeSelection({1, 0.5f, 1, 0}, c.type, c.owner);
        selection->ConvertToPolygonSelection();
        if (c.type == eSelectionType_Vertex)
            selection->ConvertToVertexSelection();
        EXPECT_EQ(selection->GetSelectionType(), c.type);
        EXPECT_EQ(WeightsOf(*selection), (std::vector<float>{1, 0.5f, 1, 0}));
    }
}

// [Sizes, paging and copying] ---------------------------------------------

TEST_F(SelectionFixture, SetVCountKeepsSurvivorsAndLeavesAPagedOutSelectionOut)
{
    auto selection = MakeSelection({0.1f, 0.2f, 0.3f}, eSelectionType_Vertex, 0);
    selection->NotInUse("test");
    ASSERT_TRUE(selection->IsPagedOut());
    selection->SetVCount(3);
    EXPECT_TRUE(selection->IsPagedOut()) << "the same count changes nothing";

    selection->SetVCount(5);
    EXPECT_TRUE(selection->IsPagedOut());
    EXPECT_EQ(WeightsOf(*selection), (std::vector<float>{0.1f, 0.2f, 0.3f, 0, 0}));

    selection->SetVCount(2);
    EXPECT_EQ(WeightsOf(*selection), (std::vector<float>{0.1f, 0.2f}));

    selection->SetSize(2);
    EXPECT_EQ(WeightsOf(*selection), (std::vector<float>{0, 0})) << "SetSize discards the weights";

    selection->SetKeepInMemory(true);
    selection->NotInUse("test");
    EXPECT_FALSE(selection->IsPagedOut()) << "the lock keeps it in memory";
}

TEST_F(SelectionFixture, EmptySelectionAnswersWithoutTouchingArrays)
{
    TKSN_Selection empty(0, 0);
    EXPECT_EQ(empty.GetVSelect(0), 0.0f);
    EXPECT_EQ(empty.GetPointerToExpandedArray(), nullptr);
    int index = -1;
    float weight = -1;
    EXPECT_FALSE(empty.GetFirstValue(&index, &weight));
    EXPECT_STREQ(empty.GetName(), "New Selection");
}

TEST_F(SelectionFixture, CopyTakesWhatTheSourceHasAndRemembersIt)
{
    auto source = MakeSelection({0.5f, 0.25f}, eSelectionType_Polygon, 0);
    source->NotInUse("test");
    auto target = MakeSelection({1, 1, 1}, eSelectionType_Vertex, 0);
    target->SetName("Target");
    target->Copy(source.get());
    EXPECT_EQ(WeightsOf(*target), (std::vector<float>{0.5f, 0.25f, 1}));
    EXPECT_EQ(target->GetCopiedFromID(), int32_t(source->GetID()));
    EXPECT_EQ(target->GetSelectionType(), eSelectionType_Vertex);
    EXPECT_STREQ(target->GetName(), "Target");

    auto longer = MakeSelection({0.9f, 0.8f, 0.7f, 0.6f}, eSelectionType_Vertex, 0);
    target->Copy(longer.get());
    EXPECT_EQ(WeightsOf(*target), (std::vector<float>{0.9f, 0.8f, 0.7f}));

    EXPECT_THROW(target->Copy(nullptr), std::logic_error);
    ASSERT_EQ(Boxes.Boxes.size(), 1u);
    EXPECT_EQ(Boxes.Boxes[0], "Selection == NULL in TKSN_Selection::Copy()");
}

// [The "selection" block] -------------------------------------------------

TEST_F(SelectionFixture, CompressedBlockExpandsInPlace)
{
    const TKSN_SelectionDelta pairs[] = {{1, 0.75f}, {3, 0.5f}};
    auto selection = Load(Block("\tSelectionType\t0\n\tvcount\t5\n\tDeltaCount\t2\n\tCompressed\t1\n", pairs, 16));
    EXPECT_TRUE(selection->IsCompressed());
    EXPECT_TRUE(selection->IsPagedOut()) << "a loaded selection goes to the store at once";
    EXPECT_EQ(selection->GetVCount(), 5);
    EXPECT_STREQ(selection->GetName(), "New Selection");

    selection->IsInUse("test");
    int index = -1;
    float weight = 0;
    ASSERT_TRUE(selection->GetFirstValue(&index, &weight));
    EXPECT_EQ(index, 1);
    EXPECT_EQ(weight, 0.75f);
    ASSERT_TRUE(selection->GetNextValue(&index, &weight));
    EXPECT_EQ(index, 3);
    EXPECT_FALSE(selection->GetNextValue(&index, &weight)) << "only the pairs are visited";

    EXPECT_EQ(selection->GetVSelect(3), 0.5f);
    EXPECT_FALSE(selection->IsCompressed());
    EXPECT_EQ(WeightsOf(*selection), (std::vector<float>{0, 0.75f, 0, 0.5f, 0}));
    EXPECT_TRUE(Warnings.empty());
}

TEST_F(SelectionFixture, LaterPairForOneIndexWinsOnExpansion)
{
    const TKSN_SelectionDelta pairs[] = {{2, 0.1f}, {2, 0.9f}};
    auto selection = Load(Block("\tvcount\t3\n\tDeltaCount\t2\n\tCompressed\t1\n", pairs, 16));
    int index = -1;
    float weight = 0;
    int visited = 0;
    for (bool more = selection->GetFirstValue(&index, &weight); more; more = selection->GetNextValue(&index, &weight))
        ++visited;
    EXPECT_EQ(visited, 2);
    EXPECT_EQ(selection->GetVSelect(2), 0.9f);
}

TEST_F(SelectionFixture, BlockRoundTripIsIdenticalApartFromId)
{
    auto expanded = MakeSelection({0, 0.25f, 1, 0.5f}, eSelectionType_Polygon, 0);
    expanded->SetName("Front Half");
    expanded->NotInUse("test");

    const TKSN_SelectionDelta pairs[] = {{0, 1.0f}, {4, 0.5f}};
    auto compressed = Load(Block("\tName\tSparse\n\tvcount\t6\n\tDeltaCount\t2\n\tCompressed\t1\n", pairs, 16));

    for (TKSN_Selection* selection : {expanded.get(), compressed.get()}) {
        SCOPED_TRACE(selection->GetName());
        const std::string first = Save(*selection);
        EXPECT_TRUE(selection->IsPagedOut()) << "saving sends a paged-out selection back";
        ASSERT_NE(first.find("\tID\t"), std::string::npos);
        auto reread = Load(first);
        const std::string second = Save(*reread);
        EXPECT_NE(first, second) << "the IDs differ";
        EXPECT_EQ(WithoutIdLines(first), WithoutIdLines(second));
        EXPECT_EQ(WeightsOf(*reread), WeightsOf(*selection));
    }
    EXPECT_EQ(Save(*expanded).rfind("selection\tFront Half\n{\n\tName\tFront Half\n\tReadOnly\t0\n", 0), 0u);
}

TEST_F(SelectionFixture, BodyOnlyWhenTheFlagIsClear)
{
    auto selection = MakeSelection({1}, eSelectionType_Vertex, 0);
    FILE* file = std::tmpfile();
    selection->SaveToStream_Text(file, false);
    const std::string text = ReadAll(file);
    std::fclose(file);
    EXPECT_EQ(text.rfind("Name\tNew Selection\n", 0), 0u);
    EXPECT_NE(text.find("SelectionType\t0\nvcount\t1\nDeltaCount\t0\nCompressed\t0\n"), std::string::npos);
}

TEST_F(SelectionFixture, DamagedBlocksLoadWithoutExiting)
{
    const TKSN_SelectionDelta pairs[] = {{1, 0.75f}, {9, 0.5f}, {-1, 0.25f}, {2, 1.0f}};
    const float dense[] = {1, 1};
    struct Case {
        const char* name;
        std::string block;
        std::vector<float> expected;
        bool warns;
    };
    const std::vector<Case> cases = {
        {"compressed data shorter than its count",
         Block("\tvcount\t3\n\tDeltaCount\t2\n\tCompressed\t1\n", pairs, 12), {0, 0, 0}, true},
        {"compressed without data", Block("\tvcount\t3\n\tDeltaCount\t2\n\tCompressed\t1\n", nullptr, 0, false),
         {0, 0, 0}, true},
        {"negative pair count", Block("\tvcount\t3\n\tDeltaCount\t-2\n\tCompressed\t1\n", nullptr, 0), {0, 0, 0},
         true},
        {"pairs outside the selection", Block("\tvcount\t3\n\tDeltaCount\t4\n\tCompressed\t1\n", pairs, 32),
         {0, 0.75f, 1.0f}, true},
        {"count after the compressed flag", Block("\tCompressed\t1\n\tDeltaCount\t2\n\tvcount\t3\n", pairs, 16),
         {0, 0.75f, 0}, true},
        {"dense data of the wrong length", Block("\tvcount\t3\n\tCompressed\t0\n", dense, 8), {0, 0, 0}, false},
        {"negative count", Block("\tvcount\t-7\n\tCompressed\t0\n", nullptr, 0), {}, false},
        {"missing closing brace", "selection\tCut\n{\n\tvcount\t2\n", {0, 0}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Warnings.clear();
        auto selection = Load(c.block);
        EXPECT_EQ(WeightsOf(*selection), c.expected);
        EXPECT_FALSE(selection->IsCompressed());
        if (c.warns) {
            ASSERT_EQ(Warnings.size(), 1u);
            EXPECT_NE(Warnings[0].find("\"New Selection\""), std::string::npos) << Warnings[0];
        } else {
            EXPECT_TRUE(Warnings.empty());
        }
        // Saving what was accepted gives a block that reads back the same.
        auto reread = Load(Save(*selection));
        EXPECT_EQ(WeightsOf(*reread), c.expected);
    }
}

TEST_F(SelectionFixture, MalformedBase64IsReportedNotFatal)
{
    const std::string block = "selection\tBad\n{\n\tvcount\t2\n\tCompressed\t0\n\tdata\t\n\t{\n\t\tSize\t4\n!!!!\n\t}\n}\n";
    EXPECT_THROW(Load(block), std::logic_error);
    EXPECT_EQ(Boxes.Boxes.size(), 1u);
}

} // namespace SelectionTest
