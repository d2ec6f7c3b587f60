#include "KSN_Morph.h"

#include "OS.h"
#include "QOREvents.h"
#include "QORMemory.h"
#include "QORTextBlock.h"
#include "QORVirtualMemory.h"
#include "KsnTestSupport.h"
#include "KsnTestWx.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The toolkit's base answers the temporary folder of the virtual-memory store.
[[maybe_unused]] const auto* const RegisteredMorphWx = KsnRegisterWxBase();

struct TMorphDialogs : TBoxRecorder {
    TMorphDialogs() : TBoxRecorder(TOSBoxAnswer::Ok) {}
};

std::vector<std::string> MorphDebug, MorphWarnings, MorphPrinted;
std::vector<int> MorphEvents;

// Every test gets recording hooks and a private store in a folder of its own.
class MorphTest : public ::testing::Test {
protected:
    TMorphDialogs Dialogs;
    TTempStoreFolder Store;

    void SetUp() override
    {
        MorphDebug.clear();
        MorphWarnings.clear();
        MorphPrinted.clear();
        MorphEvents.clear();
        OS.SetDialogProvider(&Dialogs);
        OS.AssignOnDebugMessage([](char* text) { MorphDebug.push_back(text); });
        OS.AssignOnWarningMessage([](char* text) { MorphWarnings.push_back(text); });
        OS.AssignOnPrintMessage([](char* text) { MorphPrinted.push_back(text); });
        QOREvents_AssignOnPushEvent([](TQOREvent* event) {
            MorphEvents.push_back(event->GetCommand());
            return true;
        });
        ASSERT_TRUE(Store.Open("ksn_morph_"));
    }
    void TearDown() override
    {
        Store.Close();
        QOREvents_Clean();
        QOREvents_AssignOnPushEvent(nullptr);
        OS.AssignOnDebugMessage(nullptr);
        OS.AssignOnWarningMessage(nullptr);
        OS.AssignOnPrintMessage(nullptr);
        OS.SetDialogProvider(nullptr);
    }
};

std::string ReadAll(FILE* f)
{
    std::rewind(f);
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
    return text;
}

std::string SaveText(TKSN_Morph& morph, bool flag = true)
{
    FILE* f = std::tmpfile();
    morph.SaveToStream_Text(f, flag);
    std::string text = ReadAll(f);
    std::fclose(f);
    return text;
}

// Builds a file with `head` (the body lines up to "data"), an optional data
// block of `data`, and the closing brace, then reads it as the tree reader does.
std::unique_ptr<TKSN_Morph> LoadBlock(const std::string& head, const std::vector<unsigned char>* data = nullptr)
{
    FILE* f = std::tmpfile();
    std::fputs("morph\tLoaded\n{\nName\tLoaded\n", f);
    std::fputs(head.c_str(), f);
    if (data)
        SaveBinaryDataToTextFile(f, data->data(), int(data->size()), "data");
    std::fputs("}\n", f);
    std::rewind(f);
    auto morph = std::make_unique<TKSN_Morph>(0, 0);
    morph->LoadFromStream_Text(f);
    std::fclose(f);
    return morph;
}

std::unique_ptr<TKSN_Morph> LoadText(const std::string& text)
{
    FILE* f = std::tmpfile();
    std::fputs(text.c_str(), f);
    std::rewind(f);
    auto morph = std::make_unique<TKSN_Morph>(0, 0);
    morph->LoadFromStream_Text(f);
    std::fclose(f);
    return morph;
}

std::string WithoutIdLines(const std::string& text)
{
    std::istringstream in(text);
    std::string line, out;
    while (std::getline(in, line))
        if (line.find("ID\t") == std::string::npos)
            out += line + "\n";
    return out;
}

std::vector<unsigned char> RecordBytes(const std::vector<TKSN_MorphDelta>& records)
{
    std::vector<unsigned char> bytes(records.size() * sizeof(TKSN_MorphDelta));
    if (!records.empty())
        std::memcpy(bytes.data(), records.data(), bytes.size());
    return bytes;
}

std::vector<float> DeltasOf(TKSN_Morph& morph)
{
    std::vector<float> out;
    for (int v = 0; v < morph.GetVCount(); ++v) {
        const float* d = morph.GetVertex(v);
        out.insert(out.end(), d, d + 3);
    }
    return out;
}

void SetDelta(TKSN_Morph& morph, int v, float x, float y, float z)
{
    float* d = morph.GetVertex(v);
    d[0] = x;
    d[1] = y;
    d[2] = z;
}

// [The "morph" block] ------------------------------------------------------

TEST_F(MorphTest, BlockRoundTripsAndWritesEightDecimals)
{
    struct TCase {
        const char* label;
        bool compressed;
    };
    for (TCase c : {TCase{"expanded", false}, TCase{"compressed", true}}) {
        SCOPED_TRACE(c.label);
        TKSN_Morph morph(4, 7);
        morph.SetName("Smile Wide");
        morph.Strength = 0.25f;
        morph.MinStrength = -1.0f;
        morph.MaxStrength = 2.5f;
        if (c.compressed) {
            morph.InitializeCompressed(2);
            *morph.GetDelta(0) = {3, {0.5f, -1.25f, 2.0f}};
            *morph.GetDelta(1) = {1, {1e-7f, 0.0f, -3.0f}};
        } else {
            SetDelta(morph, 1, 0.5f, -1.25f, 2.0f);
            SetDelta(morph, 3, 1e-7f, 0.0f, -3.0f);
        }
        const std::string first = SaveText(morph);
        EXPECT_NE(first.find("morph\tSmile Wide\n{\n"), std::string::npos);
        EXPECT_NE(first.find("\tStrength\t0.25000000\n"), std::string::npos);
        EXPECT_NE(first.find("\tMinStrength\t-1.00000000\n"), std::string::npos);
        EXPECT_NE(first.find(c.compressed ? "\tDeltaCount\t2\n" : "\tDeltaCount\t0\n"), std::string::npos);
        EXPECT_NE(first.find(c.compressed ? "\tCompressed\t1\n" : "\tCompressed\t0\n"), std::string::npos);

        auto loaded = LoadText(first);
        EXPECT_TRUE(loaded->IsPagedOut()) << "a freshly loaded morph goes straight to virtual memory";
        EXPECT_EQ(loaded->IsCompressed(), c.compressed);
        const std::string second = SaveText(*loaded);
        EXPECT_EQ(WithoutIdLines(second), WithoutIdLines(first));
        EXPECT_NE(second.find("ID\t"), std::string::npos);
        EXPECT_FLOAT_EQ(loaded->Strength, 0.25f);
        EXPECT_EQ(DeltasOf(*loaded), DeltasOf(morph));
    }
}

TEST_F(MorphTest, CompressedBlockExpandsOnFirstGetVertex)
{
    const std::vector<TKSN_MorphDelta> records = {
        {4, {1.0f, 2.0f, 3.0f}}, {0, {-1.0f, 0.5f, 0.25f}}, {2, {7.0f, 8.0f, 9.0f}}};
    const auto data = RecordBytes(records);
    ASSERT_EQ(data.size(), 48u);
    auto morph = LoadBlock("vcount\t6\nDeltaCount\t3\nCompressed\t1\n", &data);
    EXPECT_TRUE(morph->IsCompressed());
    EXPECT_EQ(morph->GetApproximateSize(), 48u);

    const float* v4 = morph->GetVertex(4);
    EXPECT_EQ(v4[0], 1.0f);
    EXPECT_FALSE(morph->IsCompressed());
    EXPECT_EQ(morph->GetVCount(), 6);
    EXPECT_EQ(morph->GetApproximateSize(), 6u * 12u);
    const std::vector<float> expected = {-1, 0.5f, 0.25f, 0, 0, 0, 7, 8, 9, 0, 0, 0, 1, 2, 3, 0, 0, 0};
    EXPECT_EQ(DeltasOf(*morph), expected);
    EXPECT_TRUE(MorphWarnings.empty());
}

TEST_F(MorphTest, DamagedBlocksLoadWithoutEndingTheProgram)
{
    const std::vector<unsigned char> short32(32, 0);
    const auto outside = RecordBytes({{9, {1, 1, 1}}, {1, {2, 3, 4}}});
    const auto atCount = RecordBytes({{4, {1, 1, 1}}, {1, {2, 3, 4}}});   // one past the last vertex
    const auto negative = RecordBytes({{-1, {1, 1, 1}}, {1, {2, 3, 4}}});
    const std::vector<unsigned char> twelve(12, 0x40);
    struct TCase {
        const char* label;
        std::string head;
        const std::vector<unsigned char>* data;
        bool warns;
        std::vector<float> deltas;   // after the first GetVertex
    };
    const std::vector<float> zeros4(12, 0.0f);
    const TCase cases[] = {
        {"compressed, data shorter than its count", "vcount\t4\nDeltaCount\t3\nCompressed\t1\n", &short32, true,
         zeros4},
        {"compressed, no data at all", "vcount\t4\nDeltaCount\t3\nCompressed\t1\n", nullptr, true, zeros4},
        {"compressed, negative count", "vcount\t4\nDeltaCount\t-2\nCompressed\t1\n", &short32, true, zeros4},
        {"expanded, data of the wrong length", "vcount\t4\nDeltaCount\t0\nCompressed\t0\n", &twelve, false, zeros4},
        {"compressed, a record outside the vertices", "vcount\t4\nDeltaCount\t2\nCompressed\t1\n", &outside, true,
         {0, 0, 0, 2, 3, 4, 0, 0, 0, 0, 0, 0}},
        {"compressed, a record at the vertex count", "vcount\t4\nDeltaCount\t2\nCompressed\t1\n", &atCount, true,
         {0, 0, 0, 2, 3, 4, 0, 0, 0, 0, 0, 0}},
        {"compressed, a record at vertex -1", "vcount\t4\nDeltaCount\t2\nCompressed\t1\n", &negative, true,
         {0, 0, 0, 2, 3, 4, 0, 0, 0, 0, 0, 0}},
        {"negative vertex count", "vcount\t-5\nDeltaCount\t0\nCompressed\t0\n", &twelve, false, {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.label);
        MorphWarnings.clear();
        auto morph = LoadBlock(c.head, c.data);
        const std::vector<float> deltas = morph->GetVCount() > 0 ? DeltasOf(*morph) : std::vector<float>{};
        EXPECT_EQ(deltas, c.deltas);
        EXPECT_FALSE(morph->IsCompressed());
        ASSERT_EQ(MorphWarnings.size(), c.warns ? 1u : 0u);
        if (c.warns) {
            EXPECT_NE(MorphWarnings[0].find("Loaded"), std::string::npos) << "the warning names the morph";
        }
        const std::string again = SaveText(*morph);
        EXPECT_NE(again.find("\tCompressed\t0\n"), std::string::npos);
    }

    // Broken Base64 is reported by throwing; the morph the tree keeps stays usable.
    auto morph = std::make_unique<TKSN_Morph>(0, 0);
    FILE* f = std::tmpfile();
    std::fputs("morph\tBad\n{\nvcount\t2\nDeltaCount\t1\nCompressed\t1\ndata\t\n{\nSize\t4\n!!!!\n}\n}\n", f);
    std::rewind(f);
    EXPECT_THROW(morph->LoadFromStream_Text(f), std::logic_error);
    std::fclose(f);
    EXPECT_EQ(DeltasOf(*morph), std::vector<float>(6, 0.0f));
}

// [Paging] -----------------------------------------------------------------

TEST_F(MorphTest, PagingKeepsValuesAndRespectsTheLock)
{
    TKSN_Morph morph(3, 1);
    morph.SetName("Brow");
    SetDelta(morph, 2, 4.0f, 5.0f, 6.0f);
    const std::vector<float> before = DeltasOf(morph);

    morph.NotInUse("EndUsingMorph");
    EXPECT_TRUE(morph.IsPagedOut());
    ASSERT_FALSE(MorphDebug.empty());
    EXPECT_EQ(MorphDebug.back(), "Storing the morph Brow in VM at location EndUsingMorph");
    EXPECT_THROW(morph.GetPointerToExpandedArray(), std::logic_error) << "callers bring the morph into use first";
    EXPECT_EQ(DeltasOf(morph), before) << "any access fetches the morph back";
    EXPECT_FALSE(morph.IsPagedOut());

    // Saving a paged-out morph sends it back afterwards.
    morph.NotInUse("EndUsingMorph");
    const std::string text = SaveText(morph);
    EXPECT_TRUE(morph.IsPagedOut());
    morph.IsInUse("BeginUsingMorph");
    EXPECT_FALSE(morph.IsPagedOut());
    EXPECT_EQ(DeltasOf(morph), before);
    EXPECT_EQ(WithoutIdLines(SaveText(morph)), WithoutIdLines(text));

    TKSN_Morph locked(3, 1);
    locked.SetKeepInMemory(true);
    locked.NotInUse("EndUsingMorph");
    EXPECT_FALSE(locked.IsPagedOut()) << "a locked morph never leaves memory through NotInUse";
    locked.StoreInVirtualMemory("explicit");
    SaveText(locked);
    EXPECT_FALSE(locked.IsPagedOut()) << "saving a locked morph leaves it in memory";
}

// [Editing] ----------------------------------------------------------------

TEST_F(MorphTest, ResizingCopyingAndAddingKeepTheRightDeltas)
{
    TKSN_Morph sparse(3, 1);
    sparse.InitializeCompressed(2);
    *sparse.GetDelta(0) = {1, {1, 2, 3}};
    *sparse.GetDelta(1) = {1, {4, 5, 6}};   // a later record for the same vertex
    int vertex = -1;
    float* delta = nullptr;
    std::vector<int> visited;
    for (bool more = sparse.GetFirstDelta(&vertex, &delta); more; more = sparse.GetNextDelta(&vertex, &delta))
        visited.push_back(vertex);
    EXPECT_EQ(visited, (std::vector<int>{1, 1})) << "iteration visits the records without expanding";
    EXPECT_TRUE(sparse.IsCompressed());

    TKSN_Morph sum(3, 1);
    SetDelta(sum, 1, 1, 1, 1);
    sum.Add(&sparse);
    EXPECT_EQ(DeltasOf(sum), (std::vector<float>{0, 0, 0, 6, 8, 10, 0, 0, 0}));
    EXPECT_TRUE(sparse.IsCompressed()) << "the other morph keeps its form";

    sparse.SetVCount(3);
    EXPECT_TRUE(sparse.IsCompressed()) << "the same count changes nothing";
    sparse.SetVCount(4);
    EXPECT_FALSE(sparse.IsCompressed());
    EXPECT_EQ(DeltasOf(sparse), (std::vector<float>{0, 0, 0, 4, 5, 6, 0, 0, 0, 0, 0, 0})) << "the later record wins";

    TKSN_Morph small(2, 1);
    SetDelta(small, 0, 9, 9, 9);
    sum.Add(&small);
    EXPECT_EQ(MorphDebug.back(), "vcount != m->vcount in  TKSN_Morph::Add() (3, 2)");
    EXPECT_EQ(DeltasOf(sum)[3], 6.0f);

    TKSN_Morph target(2, 1);
    target.SetName("Target");
    target.Strength = 0.5f;
    target.Copy(&sparse);
    EXPECT_EQ(target.GetVCount(), 4);
    EXPECT_EQ(DeltasOf(target), DeltasOf(sparse));
    EXPECT_STREQ(target.GetName(), "Target");
    EXPECT_EQ(target.Strength, 0.5f);
    EXPECT_EQ(target.GetCopiedFromID(), int32_t(sparse.GetID()));

    target.Clear();
    EXPECT_EQ(DeltasOf(target), std::vector<float>(12, 0.0f));

    TKSN_Morph empty(0, 1);
    EXPECT_EQ(empty.GetPointerToExpandedArray(), nullptr);
    EXPECT_FALSE(empty.GetFirstDelta(&vertex, &delta));
    empty.Add(&sparse);
    empty.Clear();
    EXPECT_EQ(empty.GetVCount(), 0);

    TKSN_Morph truncated(5, 1);
    truncated.InitializeCompressed(3);
    for (int i = 0; i < 3; ++i)
        *truncated.GetDelta(i) = {i, {float(i + 1), 0, 0}};
    truncated.TruncateDeltaCount(5);
    EXPECT_EQ(truncated.GetDeltaCount(), 3);
    truncated.TruncateDeltaCount(1);
    EXPECT_EQ(truncated.GetDeltaCount(), 1);
    EXPECT_EQ(DeltasOf(truncated), (std::vector<float>{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

// [Key frames] -------------------------------------------------------------

TEST_F(MorphTest, KeyFramesAreInsertedInOrderAndFreedWithTheHead)
{
    auto head = std::make_unique<TKSN_Morph>(2, 5);
    head->SetScriptStamp(3);
    SetDelta(*head, 0, 1, 2, 3);

    EXPECT_EQ(head->GetCurrentFrameForDeforming(0, false), head.get());
    EXPECT_EQ(head->GetCurrentFrameForDeforming(10, false), nullptr);
    EXPECT_EQ(head->GetCurrentFrameForDeforming(-4, true), nullptr) << "nothing goes before the head";
    EXPECT_TRUE(MorphPrinted.empty());

    TKSN_Morph* f10 = head->GetCurrentFrameForDeforming(10, true);
    ASSERT_NE(f10, nullptr);
    EXPECT_EQ(MorphPrinted, (std::vector<std::string>{"Created a new key frame at time 10"}));
    EXPECT_EQ(MorphEvents, (std::vector<int>{439}));
    SetDelta(*f10, 1, 7, 7, 7);

    TKSN_Morph* f5 = head->GetCurrentFrameForDeforming(5, true);
    EXPECT_EQ(head->GetCurrentFrameForDeforming(10, true), f10) << "an existing frame is found, not made";
    EXPECT_EQ(MorphPrinted.size(), 2u);
    TKSN_Morph* f20 = head->GetCurrentFrameForDeforming(20, true);

    std::vector<int> times;
    for (TKSN_Morph* f = head.get(); f; f = f->GetNextKeyFrame())
        times.push_back(f->GetKeyFrameTime());
    EXPECT_EQ(times, (std::vector<int>{0, 5, 10, 20}));
    EXPECT_EQ(DeltasOf(*f5), DeltasOf(*head)) << "a frame copies the one before it";
    EXPECT_EQ(DeltasOf(*f20), DeltasOf(*f10));
    EXPECT_EQ(f20->GetOwnerID(), 5u);
    EXPECT_EQ(f20->GetScriptStamp(), 3u);

    const uint32_t ids[] = {f5->GetID(), f10->GetID(), f20->GetID()};
    head.reset();
    for (uint32_t id : ids)
        EXPECT_EQ(__GetThingyFromID(id), nullptr);
}

} // namespace
