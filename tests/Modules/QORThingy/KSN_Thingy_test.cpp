// Document object base: name cleaning, custom properties, the basics of the
// text form, the generic block reader and the legacy chunk.
#include "KSN_Thingy.h"

#include "QORMemory.h"
#include "QORTextBlock.h"
#include "KsnTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
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
