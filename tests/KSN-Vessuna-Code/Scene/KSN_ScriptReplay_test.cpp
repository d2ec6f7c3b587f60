#include "KSN_ScriptReplay.h"

#include "KSN_Mesh.h"
#include "KSN_Morph.h"
#include "KSN_Selection.h"
#include "OS.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

std::vector<std::string> ReplayDebug;

class ScriptReplayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ReplayDebug.clear();
        OS.AssignOnDebugMessage([](char* text) { ReplayDebug.push_back(text); });
    }
    void TearDown() override { OS.AssignOnDebugMessage(nullptr); }
};

int32_t Bits(float w) { return std::bit_cast<int32_t>(w); }

using TDelta = std::array<float, 3>;
using TDeltas = std::vector<TDelta>;

// d0 … d10, every component different.
TDeltas StartingDeltas(int count = 11)
{
    TDeltas d(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        d[size_t(i)] = {float(i) + 0.5f, -2.0f * float(i) + 0.25f, 3.0f * float(i) - 1.0f};
    return d;
}

TDeltas DeltasOf(TKSN_Morph& morph)
{
    TDeltas out(size_t(morph.GetVCount()));
    for (int v = 0; v < morph.GetVCount(); ++v) {
        const float* p = morph.GetVertex(v);
        out[size_t(v)] = {p[0], p[1], p[2]};
    }
    return out;
}

TDelta Mix(const TDelta& a, const TDelta& b, float w)
{
    return {a[0] + (b[0] - a[0]) * w, a[1] + (b[1] - a[1]) * w, a[2] + (b[2] - a[2]) * w};
}

// [Morphs] -----------------------------------------------------------------

TEST_F(ScriptReplayTest, MorphReplayFollowsEveryOperation)
{
    const float quarter = 0.25f, half = 0.5f;
    const std::string paramMessage = "ParamCount != 4 in morph Jaw";
    const std::string destMessage = "DestIV is out of range in vertex adjustment script for the morph Jaw";
    const std::string sourceMessage = "SourceIV is out of range in vertex adjustment script for the morph Jaw";
    struct TCase {
        const char* label;
        std::vector<int32_t> stream;
        std::function<void(TDeltas&)> expect;   // from the starting deltas
        std::vector<std::string> messages;      // exact debug lines, unless prefix below
        const char* messagePrefix = nullptr;
    };
    const TCase cases[] = {
        {"1 copy", {1, 2, 5, 3, 8}, [](TDeltas& d) { d[5] = d[3]; }, {}},
        {"2 clear", {2, 1, 7, 8}, [](TDeltas& d) { d[7] = {0, 0, 0}; }, {}},
        {"3 does nothing on a morph", {3, 1, 7, 8}, [](TDeltas&) {}, {}},
        {"4 mirror copy on x", {4, 2, 10, 3, 8}, [](TDeltas& d) { d[10] = {-d[3][0], d[3][1], d[3][2]}; }, {}},
        {"5 average",
         {5, 3, 9, 1, 2, 8},
         [](TDeltas& d) {
             for (int c = 0; c < 3; ++c) d[9][size_t(c)] = (d[1][size_t(c)] + d[2][size_t(c)]) / 2.0f;
         },
         {}},
        {"6 blend to average, w 0.25",
         {6, 4, 9, Bits(quarter), 1, 2, 8},
         [](TDeltas& d) {
             for (size_t c = 0; c < 3; ++c)
                 d[9][c] = 0.25f * ((d[1][c] + d[2][c]) * 0.5f) + 0.75f * d[9][c];
         },
         {}},
        {"7 interpolate, w 0.5", {7, 4, 9, Bits(half), 1, 2, 8}, [](TDeltas& d) { d[9] = Mix(d[1], d[2], 0.5f); }, {}},
        {"7 with three arguments, then a copy",
         {7, 3, 9, Bits(half), 1, 1, 2, 5, 6, 8},
         [](TDeltas& d) { d[5] = d[6]; },
         {paramMessage}},
        {"sources are read live", {1, 2, 4, 2, 1, 2, 5, 4, 8}, [](TDeltas& d) { d[4] = d[2]; d[5] = d[2]; }, {}},
        {"one report per replay, the rest still runs",
         {1, 2, 50, 3, 2, 1, -1, 1, 2, 5, 3, 8},
         [](TDeltas& d) { d[5] = d[3]; },
         {destMessage}},
        {"an average ends at its first bad source and divides by what it summed",
         {5, 4, 9, 1, 99, 2, 8},
         [](TDeltas& d) { d[9] = d[1]; },
         {sourceMessage}},
        {"a copy without its source", {1, 1, 5, 8}, [](TDeltas&) {}, {sourceMessage}},
        {"unknown opcodes are skipped with their arguments", {0, 2, 5, 3, 42, 1, 9, 1, 2, 6, 1, 8},
         [](TDeltas& d) { d[6] = d[1]; }, {}},
        {"no end marker", {1, 2, 5, 3}, [](TDeltas& d) { d[5] = d[3]; }, {}},
        {"starts with the end marker", {8, 1, 2, 5, 3}, [](TDeltas&) {}, {}},
        {"an operation running past the stream stops the replay",
         {2, 1, 0, 1, 2, 5},
         [](TDeltas& d) { d[0] = {0, 0, 0}; },
         {},
         "Operation 1 of the vertex adjustment script Extrude runs past the end"},
        {"a stream ending after an opcode", {2, 1, 0, 1}, [](TDeltas& d) { d[0] = {0, 0, 0}; }, {},
         "Operation 1 of the vertex adjustment script Extrude runs past the end"},
        {"more than 256 arguments stops the replay",
         {1, 300, 5, 3, 2, 1, 0, 8},
         [](TDeltas&) {},
         {},
         "Operation 1 of the vertex adjustment script Extrude has 300 arguments (at most 256)"},
    };
    TKSN_Mesh mesh(nullptr);
    mesh.symmetryAxis = 0;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.label);
        ReplayDebug.clear();
        TKSN_Morph morph(11, 1);
        morph.SetName("Jaw");
        TDeltas expected = StartingDeltas();
        for (int v = 0; v < 11; ++v)
            std::copy(expected[size_t(v)].begin(), expected[size_t(v)].end(), morph.GetVertex(v));
        c.expect(expected);

        TKSN_VertexAdjustmentScript script("Extrude", eVertexAdjustmentScript_Vertex, 11);
        script.CountAfter = 11;
        script.Stream = c.stream;
        script.AdjustMorph(&morph, &mesh);

        EXPECT_EQ(DeltasOf(morph), expected);
        if (c.messagePrefix) {
            ASSERT_EQ(ReplayDebug.size(), 1u);
            EXPECT_EQ(ReplayDebug[0].rfind(c.messagePrefix, 0), 0u) << ReplayDebug[0];
        } else {
            EXPECT_EQ(ReplayDebug, c.messages);
        }
    }
}

TEST_F(ScriptReplayTest, MorphEndsAtTheTargetCount)
{
    TKSN_Mesh mesh(nullptr);
    mesh.symmetryAxis = 2;
    struct TCase {
        int countAfter;
        std::vector<int32_t> stream;
    };
    for (TCase c : {TCase{120, {4, 2, 110, 3, 8}}, TCase{90, {1, 2, 0, 95, 8}}}) {
        SCOPED_TRACE(c.countAfter);
        TKSN_Morph morph(100, 1);
        const TDeltas start = StartingDeltas(100);
        for (int v = 0; v < 100; ++v)
            std::copy(start[size_t(v)].begin(), start[size_t(v)].end(), morph.GetVertex(v));
        TKSN_VertexAdjustmentScript script("Edit", eVertexAdjustmentScript_Vertex, 100);
        script.CountAfter = c.countAfter;
        script.Stream = c.stream;
        script.AdjustMorph(&morph, &mesh);
        ASSERT_EQ(morph.GetVCount(), c.countAfter);
        const TDeltas after = DeltasOf(morph);
        if (c.countAfter > 100) {
            EXPECT_EQ(after[110], (TDelta{start[3][0], start[3][1], -start[3][2]})) << "mirrored on z";
            EXPECT_EQ(after[119], (TDelta{0, 0, 0}));
        } else {
            EXPECT_EQ(after[0], start[95]) << "a delta moved before the cut survives";
            EXPECT_EQ(after[89], start[89]);
        }
        EXPECT_TRUE(ReplayDebug.empty());
    }
}

// [Selections] -------------------------------------------------------------

TEST_F(ScriptReplayTest, SelectionReplayReadsTheOldWeights)
{
    const std::vector<float> start = {0.0f, 0.25f, 0.5f, 0.75f, 1.0f, 0.1f};
    const std::string selMessage = "SourceIV is out of range in vertex adjustment script for the selection Lips";
    struct TCase {
        const char* label;
        std::vector<int32_t> stream;
        int countAfter;
        bool editTime;
        std::vector<std::pair<int, float>> changed;   // index → expected weight; the rest keep theirs
        std::vector<std::string> messages;
    };
    const TCase cases[] = {
        {"sources come from the weights before the replay", {1, 2, 4, 2, 1, 2, 5, 4, 8}, 6, false,
         {{4, 0.5f}, {5, 1.0f}}, {}},
        {"average of 1 and 0.5", {5, 3, 1, 4, 2, 8}, 6, false, {{1, 0.7500173f}}, {}},
        {"average of 1 and 0 keeps the larger", {5, 3, 1, 4, 0, 8}, 6, false, {{1, 1.0f}}, {}},
        {"average of nothing", {5, 1, 3, 8}, 6, false, {{3, 0.0f}}, {}},
        {"average stops at a bad source", {5, 4, 1, 4, 9, 0, 8}, 6, false, {{1, 1.0f}}, {selMessage}},
        {"interpolate", {7, 4, 0, Bits(0.5f), 2, 4, 8}, 6, false, {{0, 0.75f}}, {}},
        {"interpolate needs four arguments", {7, 3, 0, Bits(0.5f), 2, 8}, 6, false, {},
         {"ParamCount != 4 in morph Lips"}},
        {"interpolate into nowhere", {7, 4, 6, Bits(0.5f), 2, 4, 8}, 6, false, {},
         {"DestIV is out of range in vertex adjustment script for the Selection Lips"}},
        {"clear", {2, 1, 4, 8}, 6, false, {{4, 0.0f}}, {}},
        {"clear edit-time on a stored selection", {3, 1, 4, 8}, 6, false, {}, {}},
        {"clear edit-time on an edit-time selection", {3, 1, 4, 8}, 6, true, {{4, 0.0f}}, {}},
        {"blend to average leaves weights alone", {6, 4, 1, Bits(0.5f), 2, 4, 8}, 6, false, {}, {}},
        {"a source the old weights do not reach reads 0", {1, 2, 0, 7, 5, 3, 1, 4, 6, 8}, 8, false,
         {{0, 0.0f}, {1, 1.0f}, {6, 0.0f}, {7, 0.0f}}, {}},
        {"a source beyond the new count", {1, 2, 0, 8, 8}, 8, false, {{6, 0.0f}, {7, 0.0f}}, {selMessage}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.label);
        ReplayDebug.clear();
        TKSN_Selection selection(6, 1);
        selection.SetName("Lips");
        selection.SetEditTimeSelection(c.editTime);
        for (int i = 0; i < 6; ++i)
            selection.SetVSelect(i, start[size_t(i)]);
        std::vector<float> expected = start;
        expected.resize(size_t(c.countAfter), 0.0f);
        for (auto [index, weight] : c.changed)
            expected[size_t(index)] = weight;

        TKSN_VertexAdjustmentScript script("Subdivide", eVertexAdjustmentScript_Vertex, 6);
        script.CountAfter = c.countAfter;
        script.Stream = c.stream;
        script.AdjustSelection(&selection);

        ASSERT_EQ(selection.GetVCount(), c.countAfter);
        for (int i = 0; i < c.countAfter; ++i)
            EXPECT_FLOAT_EQ(selection.GetVSelect(i), expected[size_t(i)]) << "item " << i;
        EXPECT_EQ(ReplayDebug, c.messages);
    }
}

} // namespace
