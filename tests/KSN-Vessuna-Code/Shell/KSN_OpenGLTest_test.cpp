// The OpenGL driver test against a table written here: which row a driver
// matches, what the user is asked, and what each answer does.
#include "KSN_OpenGLTest.h"

#include "KSN_ShellTestSupport.h"
#include "QORGL.h"

#include <cstdio>

namespace {

const char* const Table =
    "too few fields a b c d e f g h i j k l\n"
    "Id Vendor Renderer Version OS Tested R1 R2 R3 Status WebPage Flag1 Flag2 AllowMinimize R4 Comment\n"
    "1 ACME \"Card A\" 1.0 x x x x x 3 - 1 1 0 x \"plain card\"\r\n"
    "2 ACME \"Card B\" old x x x x x 1 http://b.example 1 1 1 x \"issues of B\"\r"
    "3 ACME \"Card B\" 2.0 x x x x x 0 - 1 1 0 x \"exact B\"\n\r"
    "short line\n"
    "4 \"Zeta Corp\" \"Renderer Z\" x x x x x x 2 http://z.example 0 0 1 x \"first z\" extra fields\n"
    "5 \"Zeta Corp\" \"Renderer Z\" y x x x x x 0 - 0 0 1 x \"second z\"\n"
    "6 \"Quoted, Inc.\" \"GPU with spaces\" 1 x x x x x -1 - 0 0 0 x \"odd status\"\n";

struct TStderrProvider : TShellTestProvider {
    TOSBoxAnswer ShowBox(TOSBoxKind kind, const char* title, const char* text, bool yes) override
    {
        std::fprintf(stderr, "BOX: %s\n", text);
        return TShellTestProvider::ShowBox(kind, title, text, yes);
    }
};

class OpenGLDriverTest : public ShellFixture {
protected:
    void SetUp() override
    {
        ShellFixture::SetUp();
        WriteFile(Main / "Data" / "OpenGL_Database.csv", Table);
        new TKSN_Application("Kestrune");
        Provider.Boxes.clear();
    }
};

TEST_F(OpenGLDriverTest, TheTableIsReadLikeACommandLine)
{
    TKSN_VideoCard_DataBase db;
    db.LoadFromFile((Main / "Data" / "OpenGL_Database.csv").c_str());
    ASSERT_EQ(db.List.size(), 6u);
    const TKSN_VideoCard_DataBaseNode& b = *db.List[1];
    EXPECT_EQ(b.renderer, "Card B");
    EXPECT_EQ(b.version, "old");
    EXPECT_EQ(b.status, 1);
    EXPECT_EQ(b.webPage, "http://b.example");
    EXPECT_EQ(b.comment, "issues of B");
    EXPECT_TRUE(b.allowMinimize);
    EXPECT_EQ(db.List[2]->version, "2.0") << "CR, CR LF and LF CR all end a line";
    EXPECT_EQ(db.List[5]->vendor, "Quoted, Inc.");
    EXPECT_EQ(db.List[5]->status, -1);

    // A table whose only long line is its header has no rows.
    WriteFile(Root / "header.csv", "a b c d e f g h i j k l m n o p\nshort row\n");
    TKSN_VideoCard_DataBase empty;
    empty.LoadFromFile((Root / "header.csv").c_str());
    EXPECT_TRUE(empty.List.empty());
}

TEST_F(OpenGLDriverTest, TheDriverIsMatchedAndTheUserAskedByStatus)
{
    struct Case {
        const char* name;
        const char* vendor;
        const char* renderer;
        const char* version;
        std::vector<TOSBoxAnswer> answers;
        std::string question;   // "" when nothing may be asked
        bool allowMinimize;
    };
    const Case cases[] = {
        {"compatible, vendor in another letter case", "acme", "CARD A", "9.9", {}, "", false},
        {"exact version wins over an earlier row", "ACME", "Card B", "2.0", {TOSBoxAnswer::Yes},
         "The video card drivers on this computer (ACME, Card B) is not compatible with Kestrune.\n\n"
         "Comment: exact B\n\nWould you like to try to run it anyway?",
         false},
        {"without an exact version the first row of the card", "ACME", "Card B", "3.0", {TOSBoxAnswer::No},
         "The video card drivers on this computer (ACME, Card B) may have some issues with Kestrune.\n\n"
         "Comment: issues of B\n\nWould you like to visit the web site and read about it?",
         true},
        {"no version reported", "Zeta Corp", "Renderer Z", nullptr, {TOSBoxAnswer::No},
         "The video card drivers on this computer (Zeta Corp, Renderer Z) may have some issues with Kestrune.\n\n"
         "Comment: first z\n\nWould you like to visit the web site and read about it?",
         true},
        {"an odd status matches silently", "Quoted, Inc.", "GPU with spaces", "1", {}, "", false},
        {"an unknown card", "Nobody", "Nothing", "1", {}, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        App->allowMinimize = true;
        Provider.Boxes.clear();
        Provider.Answers.assign(c.answers.begin(), c.answers.end());
        TestOpenGLDriver(c.vendor, c.renderer, c.version, "GL_EXT_something");
        if (c.question.empty()) {
            EXPECT_TRUE(Provider.Boxes.empty());
        } else {
            ASSERT_EQ(Provider.Boxes.size(), 1u);
            EXPECT_EQ(Provider.Boxes[0], c.question);
        }
        EXPECT_EQ(App->allowMinimize, c.allowMinimize);
    }
}

TEST_F(OpenGLDriverTest, NoContextMeansNoTest)
{
    QORglut_TextureCompressionSupported = false;
    TestOpenGLDriver("ACME", "Card B", "2.0", nullptr);
    EXPECT_TRUE(Provider.Boxes.empty());
    TestOpenGLDriver("Nobody", "Nothing", "1", "GL_ARB_multitexture GL_ARB_texture_compression GL_EXT_x");
    EXPECT_TRUE(QORglut_TextureCompressionSupported);
}

TEST_F(OpenGLDriverTest, AMissingTableIsReportedAndStartUpGoesOn)
{
    fs::remove(Main / "Data" / "OpenGL_Database.csv");
    TestOpenGLDriver("ACME", "Card B", "2.0", "");
    ASSERT_EQ(Provider.Boxes.size(), 1u);
    EXPECT_EQ(Provider.Boxes[0], "Cannot open the file " + MainPath() + "Data/OpenGL_Database.csv");
}

TEST_F(OpenGLDriverTest, DecliningAnIncompatibleDriverEndsTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    static TStderrProvider stderrProvider;
    stderrProvider.Answers.assign({TOSBoxAnswer::No});
    OS.SetDialogProvider(&stderrProvider);
    EXPECT_EXIT(TestOpenGLDriver("ACME", "Card B", "2.0", ""), ::testing::ExitedWithCode(1),
                "BOX: The video card drivers on this computer \\(ACME, Card B\\) is not compatible");
}

} // namespace
