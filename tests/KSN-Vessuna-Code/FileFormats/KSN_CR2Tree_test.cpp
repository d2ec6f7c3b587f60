// The CR2 brace tree (read, print, search, malformed files), the string
// tables and the Poser path conversions.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "KSN_CR2Import.h"
#include "KSN_CR2StringRes.h"
#include "KSN_CR2Tree.h"
#include "OS.h"

namespace fs = std::filesystem;

namespace {

class CR2TreeTest : public ::testing::Test {
protected:
    fs::path Folder;
    static inline std::vector<std::string> Warnings;

    void SetUp() override
    {
        static int counter = 0;
        Folder = fs::temp_directory_path() /
                 ("ksn_cr2tree_" + std::to_string(::getpid()) + "_" + std::to_string(++counter));
        fs::remove_all(Folder);
        fs::create_directories(Folder);
        Warnings.clear();
        OS.AssignOnWarningMessage([](char* text) { Warnings.push_back(text); });
    }
    void TearDown() override
    {
        OS.AssignOnWarningMessage(nullptr);
        fs::remove_all(Folder);
    }

    std::string Write(const std::string& name, const std::string& text)
    {
        const fs::path path = Folder / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    static std::string Print(TQORCR2TreeNode* root)
    {
        FILE* file = std::tmpfile();
        EXPECT_TRUE(root->PrintTree(file, root->GetChild(), 0));
        std::rewind(file);
        std::string out;
        for (int c; (c = std::fgetc(file)) != EOF;) out += char(c);
        std::fclose(file);
        return out;
    }

    std::string RoundTrip(const std::string& text, bool noMerge = true)
    {
        std::unique_ptr<TQORCR2TreeNode> root(ImportCR2Tree(Write("t.cr2", text).c_str(), noMerge));
        EXPECT_TRUE(root);
        return root ? Print(root.get()) : std::string();
    }
};

// A small figure in the printed form: tabs, one blank between command and
// parameter, LF line ends, two sections of two actors and a figure block.
std::string PrintedFigure()
{
    std::string longParameter(20000, 'q');
    std::string high;
    for (int c = 128; c < 256; ++c) high += char(c);
    return "{\n"
           "\tversion \n"
           "\t{\n"
           "\t\tnumber 4.01\n"
           "\t}\n"
           "\tfigureResFile :Runtime:Geometries:x:x.obj\n"
           "\tactor BODY:1\n"
           "\t{\n"
           "\t\tstorageOffset 0 0 0\n"
           "\t}\n"
           "\tactor hip:1\n"
           "\t{\n"
           "\t\tname " + high + "\n"
           "\t\tlong " + longParameter + "\n"
           "\t\tempty \n"
           "\t\t{\n"
           "\t\t}\n"
           "\t}\n"
           "\tfigure \n"
           "\t{\n"
           "\t\tname Figure 1\n"
           "\t}\n"
           "}\n";
}

TEST_F(CR2TreeTest, PrintedFormReadsAndPrintsByteForByte)
{
    const std::string text = PrintedFigure();
    const std::string printed = RoundTrip(text);
    EXPECT_TRUE(printed == text) << "printed " << printed.size() << " bytes of " << text.size();
}

TEST_F(CR2TreeTest, ReaderNormalisesLayoutAndKeepsStructure)
{
    struct TCase {
        const char* name;
        std::string source;
        std::string printed;
    };
    const std::vector<TCase> cases = {
        {"blanks become one space, CR LF ends", "{\r\n  actor   hip:1  \r\n{\r\nx 1\r\n}\r\n}\r\n",
         "{\n\tactor hip:1\n\t{\n\t\tx 1\n\t}\n}\n"},
        {"brace then close after an entry writes an empty block", "{\na 1\n{\n}\nb 2\n}\n",
         "{\n\ta 1\n\t{\n\t}\n\tb 2\n}\n"},
        {"a word beginning with { opens a block", "{\na\n{x\nb 2\n}\n}\n", "{\n\ta \n\t{\n\t\tb 2\n\t}\n}\n"},
        {"entries before the first brace and after the last are dropped", "early 1\n{\na 1\n}\nlate 2\n",
         "{\n\ta 1\n}\n"},
        {"NUL bytes are dropped, empty lines skipped", std::string("{\n\na\0b 1\n\n}\n", 13),
         "{\n\tab 1\n}\n"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RoundTrip(c.source), c.printed);
    }
}

TEST_F(CR2TreeTest, MergingJoinsRepeatedActorSectionsIgnoringTheSuffix)
{
    const std::string source = "{\nactor hip:1\n{\na 1\n}\nactor BODY\n{\n}\nactor hip:2\n{\nb 2\n}\nnext 3\n}\n";
    EXPECT_EQ(RoundTrip(source, false),
              "{\n\tactor hip:1\n\t{\n\t\ta 1\n\t\tb 2\n\t}\n\tnext 3\n\tactor BODY\n\t{\n\t}\n}\n");
    // Without merging each section stays where it was.
    EXPECT_EQ(RoundTrip(source, true), "{\n\tactor hip:1\n\t{\n\t\ta 1\n\t}\n\tactor BODY\n\t{\n\t}\n"
                                       "\tactor hip:2\n\t{\n\t\tb 2\n\t}\n\tnext 3\n}\n");
}

TEST_F(CR2TreeTest, MalformedFilesGiveAWarningNamingFileLineAndFaultAndNoTree)
{
    struct TCase {
        const char* name;
        const char* text;
        const char* expected;
    };
    const TCase cases[] = {
        {"extra close", "{\na 1\n}\n}\n", "line 4: Error parsing the file (CurrentNode == NULL) (2)"},
        {"close before any open", "}\n{\n}\n", "line 1: Error parsing the file (CurrentNode == NULL) (2)"},
        {"open after the root closed", "{\na 1\n}\n{\nb 2\n}\n",
         "line 4: Error parsing the file (CurrentNode == NULL) (1)"},
        {"cut file", "{\na 1\n{\nb 2\n", "line 4: the file ends inside a block"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        Warnings.clear();
        const std::string path = Write("bad.cr2", c.text);
        EXPECT_EQ(ImportCR2Tree(path.c_str(), true), nullptr);
        ASSERT_EQ(Warnings.size(), 1u);
        EXPECT_NE(Warnings[0].find("\"" + path + "\""), std::string::npos) << Warnings[0];
        EXPECT_NE(Warnings[0].find(c.expected), std::string::npos) << Warnings[0];
    }
    // Nesting beyond any figure is refused instead of overrunning the stack.
    std::string deep;
    for (int i = 0; i <= KSN_CR2_MAX_DEPTH; ++i) deep += "{\n";
    EXPECT_THROW(ImportCR2TreeOrThrow(Write("deep.cr2", deep).c_str(), true), TKSN_CR2Error);
}

TEST_F(CR2TreeTest, MissingFileOrNoBraceGivesNullSilently)
{
    Warnings.clear();
    EXPECT_EQ(ImportCR2Tree((Folder / "none.cr2").c_str(), true), nullptr);
    EXPECT_EQ(ImportCR2Tree(Write("flat.cr2", "a 1\nb 2\n").c_str(), true), nullptr);
    EXPECT_TRUE(Warnings.empty());
}

TEST_F(CR2TreeTest, FindAndFindNextMatchCommandsAndParameters)
{
    std::unique_ptr<TQORCR2TreeNode> root(ImportCR2Tree(
        Write("f.cr2", "{\nactor hip:1\nACTOR chest:1\nprop ball\nactor HIP:2\nactor hipster\n}\n").c_str(), true));
    ASSERT_TRUE(root);
    TQORCR2TreeNode* first = root->Find("actor", nullptr, false);
    ASSERT_TRUE(first);
    EXPECT_STREQ(first->GetParameter(), "hip:1");
    EXPECT_STREQ(root->Find(nullptr, nullptr, false)->GetParameter(), "hip:1");
    EXPECT_STREQ(root->Find(nullptr, "ball", false)->GetCommand(), "prop");
    // Suffix ignored: hip:2 follows hip:1; whole text: it does not.
    EXPECT_STREQ(first->FindNext("actor", "hip:1", true)->GetParameter(), "HIP:2");
    EXPECT_EQ(first->FindNext("actor", "hip:1", false), nullptr);
    std::vector<std::string> actors;
    for (TQORCR2TreeNode* n = first; n; n = n->FindNext("actor", nullptr, false)) actors.push_back(n->GetParameter());
    EXPECT_EQ(actors, (std::vector<std::string>{"hip:1", "chest:1", "HIP:2", "hipster"}));
}

TEST(CR2ParametersEqual, ComparesWholeTextsOfAnyLength)
{
    const std::string a(300, 'a');
    EXPECT_TRUE(CR2_ParametersEqual(a.c_str(), (a).c_str(), false));
    EXPECT_FALSE(CR2_ParametersEqual(a.c_str(), (a + "b").c_str(), false));
    EXPECT_FALSE(CR2_ParametersEqual((a + "b").c_str(), (a + "c").c_str(), false));
    EXPECT_TRUE(CR2_ParametersEqual("hip:1", "HIP:2", true));
    EXPECT_TRUE(CR2_ParametersEqual("hip", "hip:9", true));
    EXPECT_FALSE(CR2_ParametersEqual("hip:1", "hip:2", false));
    EXPECT_FALSE(CR2_ParametersEqual("hip", "hips", true));
}

TEST(CR2StringRes, TablesAnswerTheirRowsAndLeaveOthersEmpty)
{
    struct TCase {
        int table, index;
        const char* text;
    };
    const TCase cases[] = {
        {1052, 24, ":Runtime:Geometries:maleCasLo:maleCasLo.obj"},
        {1052, 23, ""},
        {1024, 0, ""},
        {1024, 1, "Body"},
        {1024, 7, "Left Thigh"},
        {1024, 18, "Right Hand"},
        {1024, 22, "Left Pinky 1"},
        {1024, 36, "Left Thumb 3"},
        {1024, 37, "Right Pinky 1"},
        {1024, 51, "Right Thumb 3"},
        {1024, 58, ""},
        {1024, 69, ""},
        {1024, 70, "Left Toe 1"},
        {1024, 88, "Right Ear 1"},
        {1024, 92, "Right Ear 3"},
        {1024, 96, "Body 1"},
        {1024, 100, "Body 5"},
        {1024, 105, "nullMatSphere"},
        {1024, 106, ""},
        {1025, 18, "Shadow Cam Lite 4"},
        {1025, 19, ""},
        {1026, 10, "UNIVERSE"},
        {1027, 3, "Light 3"},
        {1028, 34, "yTranB"},
        {1028, 35, "yTranB"},
        {1028, 53, "Up-Down"},
        {1029, 8, "male casual texture"},
        {1029, 9, ""},
        {1029, 43, ""},
        {1029, 45, "raptor texture"},
        {1029, 60, "snakelo"},
        {1037, 20, "OK"},
        {1030, 1, ""},
        {-1, -1, ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.table) + "," + std::to_string(c.index));
        EXPECT_EQ(getStringRes(c.table, c.index), c.text);
    }
    EXPECT_EQ(getStringRes1024(51), "Right Thumb 3");
    EXPECT_EQ(getStringRes1037(1), "Relaxed");

    char text[256] = "GetStringRes(1024,106)";
    Mimic_GetStringRes(text, 1024, 106);
    EXPECT_STREQ(text, "GetStringRes(1024,106)");
    Mimic_GetStringRes(text, 1025, 18);
    EXPECT_STREQ(text, "Shadow Cam Lite 4");

    std::string reference = "GetStringRes(1052,23)";
    EXPECT_FALSE(CR2_ResolveStringRes(reference));
    EXPECT_EQ(reference, "GetStringRes(1052,23)");
    reference = "GetStringRes(1052,24)";
    EXPECT_TRUE(CR2_ResolveStringRes(reference));
    EXPECT_EQ(reference, ":Runtime:Geometries:maleCasLo:maleCasLo.obj");
}

TEST(CR2Paths, PoserPathsConvertToDiskAndBack)
{
    struct TCase {
        const char* path;
        const char* folder;
        const char* expected;
    };
    const TCase cases[] = {
        {":Runtime:Geometries:x:x.obj", "/Poser/Runtime/Libraries/Character/", "/Poser/Runtime/Geometries/x/x.obj"},
        {"\":Runtime:Geometries:x:x.obj\"", "/Poser/Runtime/Libraries/Character/",
         "/Poser/Runtime/Geometries/x/x.obj"},
        {":runtime:textures:skin.jpg", "/p/runtime/lib/", "/p/runtime/textures/skin.jpg"},
        {":Runtime:Geometries:x:x.obj", "/figures/", "/figures/x.obj"},
        {"GetStringRes(1052,24)", "/figures/", "/figures/maleCasLo.obj"},
        {"GetStringRes(1052,23)", "/figures/", "GetStringRes(1052,23)"},
        {"no_map", "/figures/", ""},
        {"  plain.obj  ", "/figures/", "plain.obj"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.path);
        std::string path = c.path;
        ConvertPoserPath(path, c.folder);
        EXPECT_EQ(path, c.expected);
    }

    std::string disk = "/Poser/Runtime/Geometries/x/x.obj";
    EXPECT_TRUE(MakeFileNameRuntimeRelative(disk));
    EXPECT_EQ(disk, ":Runtime:Geometries:x:x.obj");
    std::string outside = "/home/me/x.obj";
    EXPECT_FALSE(MakeFileNameRuntimeRelative(outside));
    EXPECT_EQ(outside, "/home/me/x.obj");
}

}  // namespace
