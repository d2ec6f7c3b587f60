// Document object base: name cleaning, custom properties, the basics of the
// text form, the generic block reader and the legacy chunk.
#include "KSN_Thingy.h"

#include "QORMemory.h"
#include "QORTextBlock.h"
#include "KsnTempFolder.h"
#include "KsnTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// A stream over fixed text (or an empty one to write into), closed on scope exit.
// Records every key its own handler is offered.
class TRecordingThingy : public TKSN_Thingy {
public:
    bool LoadFromStream_Text_ConsiderCommand(FILE*, char* key, char* value) override
    {
        seen.push_back(std::string(key) + "=" + value);
        return true;
    }
    std::vector<std::string> seen;
};

// Reads every "nest" key as a child block of its own class, recursing as the
// tree groups and meshes do.
class TNestingThingy : public TKSN_Thingy {
public:
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char*) override
    {
        if (std::strcmp(key, "nest") != 0) return false;
        TNestingThingy child;
        child.LoadFromStream_Text(file);
        return true;
    }
};

void WriteKeyLineForTest(FILE* file, const char* key, const char* value)
{
    for (int i = 0; i < TextFileIndent; ++i) std::fputc('\t', file);
    std::fprintf(file, "%s\t%s\n", key, value);
}

} // namespace

TEST(QORThingyDocumentNames, UnsafeCharactersBecomeUnderscores)
{
    struct Case { const char* given; const char* stored; };
    const Case cases[] = {
        {"Head:Left/Eye 50%", "Head_Left_Eye 50_"},
        {"C:\\maps\\skin.png", "C__maps_skin.png"},
        {"plain name", "plain name"},
        {"50%d", "50_d"},   // a percent sign never survives to act as a format later
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.given);
        TKSN_Thingy direct;
        direct.SetName("%s", c.given);
        EXPECT_STREQ(direct.GetName(), c.stored);

        // The same cleaning applies to a name read from a file.
        TTempFile file(std::string("{\n\tname\t") + c.given + "\n}\n");
        TKSN_Thingy read;
        read.LoadFromStream_Text(file.f);
        EXPECT_STREQ(read.GetName(), c.stored);
    }
    TKSN_Thingy formatted;
    formatted.SetName("%s_%d%%", "Morph", 3);
    EXPECT_STREQ(formatted.GetName(), "Morph_3_");
}

TEST(QORThingyCustomProperties, KeysHoldIndependentMembers)
{
    TKSN_Thingy t;
    int count = -1;
    EXPECT_FALSE(t.GetCustomBooleanProperty("COMPLETELY_LOCKED"));
    EXPECT_EQ(t.GetCustomPointerProperty("SUBD_LEVEL_0"), nullptr);
    EXPECT_EQ(t.GetCustomFloatArrayProperty("DEFORMER_InitNormals", count), nullptr);
    EXPECT_EQ(count, 0);

    int marker = 0;
    t.SetCustomPointerProperty("SUBD_LEVEL_0", &marker);
    EXPECT_FALSE(t.GetCustomBooleanProperty("SUBD_LEVEL_0"));
    t.SetCustomBooleanProperty("SUBD_LEVEL_0", true);
    EXPECT_TRUE(t.GetCustomBooleanProperty("SUBD_LEVEL_0"));
    EXPECT_EQ(t.GetCustomPointerProperty("SUBD_LEVEL_0"), &marker);
    // Keys are exact: a prefix or another case is a different key.
    EXPECT_EQ(t.GetCustomPointerProperty("SUBD_LEVEL_"), nullptr);
    EXPECT_EQ(t.GetCustomPointerProperty("subd_level_0"), nullptr);

    // The thingy releases the stored array when it goes (checked by leak tools).
    auto* normals = static_cast<float*>(QORalloc(12 * 3 * sizeof(float)));
    t.SetCustomFloatArrayProperty("DEFORMER_InitNormals", normals, 12);
    EXPECT_EQ(t.GetCustomFloatArrayProperty("DEFORMER_InitNormals", count), normals);
    EXPECT_EQ(count, 12);

    // Clearing a key: the caller releases the array and stores null with count 0.
    float* old = t.GetCustomFloatArrayProperty("DEFORMER_InitNormals", count);
    QORfree(old);
    t.SetCustomFloatArrayProperty("DEFORMER_InitNormals", nullptr, 0);
    EXPECT_EQ(t.GetCustomFloatArrayProperty("DEFORMER_InitNormals", count), nullptr);
    EXPECT_EQ(count, 0);

    auto* kept = static_cast<float*>(QORalloc(3 * sizeof(float)));
    t.SetCustomFloatArrayProperty("ARTIFACTS_OrigNormals", kept, 1);
}

TEST(QORThingyDocumentText, BasicsAreWrittenAtTheCurrentDepth)
{
    TKSN_Thingy t;
    t.SetName("Head");
    TTempFile file;
    {
        TStartTextFileBlock block("object", t.GetName(), file.f, true);
        t.SaveToStream_Text(file.f, true);
        t.current = true;
        t.SetReadOnly(true);
        t.collapsed = false;
        t.SaveBasicStuff_Text(file.f);
    }
    EXPECT_EQ(TextFileIndent, 0);
    const std::string id = std::to_string(t.GetID());
    EXPECT_EQ(file.All(), "object\tHead\n{\n"
                          "\tName\tHead\n\tReadOnly\t0\n\tCollapsed\t1\n\tID\t" + id + "\n"
                          "\tName\tHead\n\tReadOnly\t1\n\tCollapsed\t0\n\tID\t" + id + "\n\tCurrent\t1\n"
                          "}\n");
}

TEST(QORThingyDocumentText, ReaderSkipsUnknownNestedBlocksAndStopsAtItsEnd)
{
    TTempFile file("object\tX\n"
                   "{\n"
                   "\tName\tFirst\n"
                   "\tfuture\tblock\n"
                   "\t{\n"
                   "\t\tName\tWrong\n"
                   "\t\tinner\t\n"
                   "\t\t{\n"
                   "\t\t\tName\tWrong too\n"
                   "\t\t}\n"
                   "\t\tReadOnly\t1\n"
                   "\t}\n"
                   "\t NAME \t Second name \r\n"
                   "\treadonly\t1\n"
                   "\tCurrent\t1\n"
                   "\tWeight\t7\n"
                   "}\n"
                   "after\tblock\n");
    TRecordingThingy t;
    EXPECT_TRUE(t.LoadFromStream_Text(file.f));
    EXPECT_STREQ(t.GetName(), "Second name");
    EXPECT_FALSE(t.readOnly) << "lower-case readonly and the skipped block's ReadOnly must be ignored";
    EXPECT_TRUE(t.current);
    const std::vector<std::string> expected = {"Name=First", "future=block", "NAME=Second name",
                                               "readonly=1", "Current=1", "Weight=7"};
    EXPECT_EQ(t.seen, expected);

    char rest[64] = {};
    ASSERT_NE(std::fgets(rest, sizeof rest, file.f), nullptr);
    EXPECT_STREQ(rest, "after\tblock\n");
}

TEST(QORThingyDocumentText, ReaderSurvivesTruncatedFiles)
{
    const char* texts[] = {"", "object\tX\n", "{\n\tName\tA", "{\n\tfuture\t\n\t{\n\t\tkey\tv\n"};
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        TTempFile file(text);
        TKSN_Thingy t;
        EXPECT_TRUE(t.LoadFromStream_Text(file.f));
    }
}

TEST(QORThingyLegacyChunk, BaseChunkRoundTrip)
{
    TKSN_Thingy t;
    t.chunkType = 77;
    t.SetReadOnly(true);
    const std::string longName(300, 'n');
    t.SetName("%s", longName.c_str());
    TTempFile file;
    ASSERT_TRUE(t.SaveToStream_Bin(file.f));
    const std::string bytes = file.All();
    ASSERT_EQ(bytes.size(), 279u);
    EXPECT_EQ(std::memcmp(bytes.data(), "TRVNCHUNK", 10), 0);
    int32_t type = 0, length = 0;
    uint32_t id = 0;
    std::memcpy(&type, bytes.data() + 10, 4);
    std::memcpy(&length, bytes.data() + 14, 4);
    std::memcpy(&id, bytes.data() + 275, 4);
    EXPECT_EQ(type, 77);
    EXPECT_EQ(length, 261);
    EXPECT_EQ(id, t.GetID());
    EXPECT_EQ(bytes[18 + 255], '\0') << "the name field keeps a terminator";

    TKSN_Thingy back;
    std::fseek(file.f, 18, SEEK_SET);
    EXPECT_TRUE(back.LoadFromStream(file.f));
    EXPECT_EQ(std::string(back.GetName()), longName.substr(0, 255));
    EXPECT_TRUE(back.IsReadOnly());
    EXPECT_NE(back.GetID(), t.GetID());

    TKSN_Thingy truncated;
    TTempFile shortFile(bytes.substr(18, 100));
    EXPECT_FALSE(truncated.LoadFromStream(shortFile.f));
}

TEST(QORThingyDocumentNames, NamesRoundTripExactlyThroughRealFiles)
{
    TTempFolder folder("ksn_names_");
    ASSERT_TRUE(folder.IsOpen());
    const std::string longName(999, 'n');
    // 997 ASCII bytes then a 3-byte character: the limit of 999 falls inside it.
    const std::string cutInside = std::string(997, 'a') + "\xe2\x82\xac" + "tail";
    struct Case { const char* label; std::string given; std::string stored; };
    const Case cases[] = {
        {"longest name, tail a brace", longName.substr(0, 998) + "}", longName.substr(0, 998) + "}"},
        {"over the limit", longName + "xyz", longName},
        {"cut inside a UTF-8 character", cutInside, std::string(997, 'a')},
        {"newline would inject a key", "Eyes\n\tReadOnly\t1", "Eyes\tReadOnly\t1"},
        {"control characters and DEL", "A\rB\x01" "C\x7f" "D", "ABCD"},
        {"surrounding blanks the reader trims", " \t Smile\t ", "Smile"},
        {"a tab inside survives", "Head\tArm", "Head\tArm"},
        {"UTF-8 kept", "L\xc3\xa4" "cheln", "L\xc3\xa4" "cheln"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TKSN_Thingy original;
        original.SetName("%s", c.given.c_str());
        EXPECT_EQ(std::string(original.GetName()), c.stored);
        EXPECT_EQ(KSN_StoredName(c.given), c.stored);
        {
            TOpenFile out(folder.Path("name.txt"), "wb");
            ASSERT_NE(out.f, nullptr);
            TStartTextFileBlock block("object", original.GetName(), out.f, true);
            original.SaveToStream_Text(out.f, true);
            WriteKeyLineForTest(out.f, "Weight", "7");
        }
        TOpenFile in(folder.Path("name.txt"), "rb");
        ASSERT_NE(in.f, nullptr);
        TRecordingThingy back;
        back.LoadFromStream_Text(in.f);
        EXPECT_EQ(std::string(back.GetName()), c.stored);
        EXPECT_FALSE(back.readOnly);
        ASSERT_FALSE(back.seen.empty());
        EXPECT_EQ(back.seen.back(), "Weight=7") << "the block must not close early";
    }
}

TEST(QORThingyDocumentText, DeepNestingIsRefusedWithoutExhaustingTheStack)
{
    TBoxRecorder boxes(TOSBoxAnswer::Ok);
    OS.SetDialogProvider(&boxes);
    TTempFolder folder("ksn_depth_");
    ASSERT_TRUE(folder.IsOpen());
    struct Case { int levels; bool accepted; };
    const Case cases[] = {{50, true}, {QORMaxTextBlockDepth, true}, {QORMaxTextBlockDepth + 1, false}, {20000, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.levels);
        // Nested blocks that every level's reader handles itself, as a tree's groups do.
        std::string text;
        for (int i = 0; i < c.levels; ++i) text += "nest\t\n{\n";
        for (int i = 0; i < c.levels; ++i) text += "}\n";
        TOpenFile in(folder.Write("deep.txt", text), "rb");
        ASSERT_NE(in.f, nullptr);
        std::string keyLine;
        ASSERT_TRUE(QORReadTextLine(in.f, keyLine));
        TNestingThingy top;
        boxes.Boxes.clear();
        if (c.accepted) {
            EXPECT_NO_THROW(top.LoadFromStream_Text(in.f));
            EXPECT_TRUE(boxes.Boxes.empty());
        } else {
            EXPECT_THROW(top.LoadFromStream_Text(in.f), std::logic_error);
            ASSERT_EQ(boxes.Boxes.size(), 1u);
            EXPECT_EQ(boxes.Boxes[0], "Invalid data in file");
        }
    }
    // The refusal leaves the depth count balanced: a shallow file reads again.
    TOpenFile in(folder.Write("flat.txt", "{\n\tName\tFlat\n}\n"), "rb");
    TKSN_Thingy flat;
    EXPECT_NO_THROW(flat.LoadFromStream_Text(in.f));
    EXPECT_STREQ(flat.GetName(), "Flat");
    OS.SetDialogProvider(nullptr);
}

TEST(QORThingyLegacyChunk, LongNamesAreCutOnACharacterBoundary)
{
    // 254 ASCII bytes and a 2-byte character: the 255 bytes the field keeps end inside it.
    const std::string name = std::string(254, 'a') + "\xc3\xa9" + "z";
    TKSN_Thingy original;
    original.SetName("%s", name.c_str());
    TTempFile file;
    ASSERT_TRUE(original.SaveBasicStuff(file.f));
    std::rewind(file.f);
    TKSN_Thingy back;
    ASSERT_TRUE(back.LoadFromStream(file.f));
    EXPECT_EQ(std::string(back.GetName()), std::string(254, 'a'));
}
