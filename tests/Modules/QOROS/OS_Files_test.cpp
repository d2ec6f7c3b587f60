#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "OS_TestSupport.h"

namespace fs = std::filesystem;

namespace {

// A fresh folder per test, removed afterwards; the working folder is restored.
class QOROSFilesTest : public OSFixture {
protected:
    fs::path Root;
    fs::path SavedCwd;

    void SetUp() override
    {
        OSFixture::SetUp();
        SavedCwd = fs::current_path();
        Root = fs::canonical(fs::temp_directory_path()) /
               ("qoros_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Root);
        fs::create_directories(Root);
    }
    void TearDown() override
    {
        fs::current_path(SavedCwd);
        fs::remove_all(Root);
        OSFixture::TearDown();
    }
    static void Touch(const fs::path& p, const std::string& content = "x")
    {
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << content;
    }
    static std::string Folder(const fs::path& p) { return p.generic_string() + "/"; }
    static std::string Read(const fs::path& p)
    {
        std::ifstream f(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }
};

std::vector<std::string> Lines(const std::string& bytes, int size)
{
    FILE* f = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    std::vector<std::string> lines;
    std::vector<char> buffer(size_t(size) + 8, '#');
    for (int guard = 0; guard < 100 && !std::feof(f); ++guard) lines.push_back(TOS::fgets(buffer.data(), size, f));
    // Past the end every call gives an empty text.
    EXPECT_STREQ(TOS::fgets(buffer.data(), size, f), "");
    std::fclose(f);
    return lines;
}

} // namespace

TEST_F(QOROSFilesTest, MainFolderIsFoundByWalkingUpToTheAnchor)
{
    Touch(Root / "a/Data/anchor.dat");
    fs::create_directories(Root / "a/b/c");
    fs::current_path(Root / "a/b/c");
    EXPECT_EQ(TOS::GetMainPathOnStartup(), Folder(Root / "a"));

    fs::current_path(Root / "a");
    EXPECT_EQ(TOS::GetMainPathOnStartup(), Folder(Root / "a"));

    // Without a marker anywhere up to the root the working folder is the main folder.
    fs::create_directories(Root / "lost/deeper");
    fs::current_path(Root / "lost/deeper");
    EXPECT_EQ(TOS::GetMainPathOnStartup(), Folder(Root / "lost/deeper"));

    // A caller buffer too small for the path gets a safe cut, never an overrun.
    char small[8 + 4];
    std::fill(small, small + sizeof small, '#');
    TOS::GetMainPathOnStartup(small, 8);
    EXPECT_EQ(std::string(small), Folder(Root / "lost/deeper").substr(0, 7));
    EXPECT_EQ(small[8], '#');
}

TEST_F(QOROSFilesTest, BothSpellingsOfTheDataFolderLeadToTheOneThatExists)
{
    struct Case { const char* Existing; };
    for (Case c : {Case{"Data"}, Case{"data"}}) {
        SCOPED_TRACE(c.Existing);
        fs::remove_all(Root / "m");
        Touch(Root / "m" / c.Existing / "anchor.dat");
        Touch(Root / "m" / c.Existing / "Graphics.dat");
        fs::create_directories(Root / "m/Projects");
        fs::current_path(Root / "m/Projects");
        std::string found = TOS::GetMainPathOnStartup();
        EXPECT_EQ(found, Folder(Root / "m"));
        OS.MainPath = found;
        EXPECT_EQ(OS.GetDataFolder(), found + c.Existing + "/");
        EXPECT_TRUE(TOS::FileExists(OS.GetDataPath("Graphics.dat").c_str()));
    }
    OS.MainPath.clear();
}

TEST_F(QOROSFilesTest, StartupKeepsMainPathWholeAndCopiesTheArguments)
{
    std::string longPath = "/" + std::string(12000, 'p') + "/";
    OS.OnApplicationStartup(longPath.c_str());
    EXPECT_EQ(std::string(OS.GetMainPath()), longPath);
    ASSERT_EQ(OS.ArgumentCount, 3);
    EXPECT_STREQ(OS.Arguments[0], "QOROS_tests");
    EXPECT_STREQ(OS.Arguments[1], "--scene");
    EXPECT_STREQ(OS.Arguments[2], "caf\xc3\xa9 file.txt");
    OS.CleanArguments();
    EXPECT_EQ(OS.Arguments, nullptr);
    EXPECT_EQ(OS.ArgumentCount, 0);
    OS.MainPath.clear();
}

TEST(QOROSLineReader, LineEndingsBytesAndPieces)
{
    struct Case {
        const char* Name;
        std::string Bytes;
        int Size;
        std::vector<std::string> Expected;
    };
    const Case cases[] = {
        {"CR LF, LF, LF CR", std::string("x\r\ny\n\rz"), 100, {"x", "y", "z"}},
        {"CR CR is an empty line", std::string("a\r\rb\n"), 100, {"a", "", "b"}},
        {"NUL dropped", std::string("a\0b\n", 4), 100, {"ab"}},
        {"UTF-8 kept", std::string("Name\tcaf\xc3\xa9\n"), 100, {"Name\tcaf\xc3\xa9"}},
        {"pieces of size - 1", std::string("abcdef"), 4, {"abc", "def", ""}},
        {"empty file", std::string(), 100, {""}},
        {"no final line break", std::string("last"), 100, {"last"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(Lines(c.Bytes, c.Size), c.Expected);
    }
}

TEST(QOROSWildcards, MatchesTheWholeText)
{
    struct Case { const char* Pattern; const char* Text; int CaseSensitive; bool Match; };
    const Case cases[] = {
        {"a*", "abc", 1, true},          {"*.png", "x.png", 1, true},     {"*.png", "x.png.bak", 1, false},
        {"?", "", 1, false},             {"", "", 1, true},               {"", "a", 1, false},
        {"*.PNG", "image.png", 0, true}, {"*.PNG", "image.png", 1, false}, {"a?c", "abc", 1, true},
        {"a?c", "ac", 1, false},         {"**", "", 1, true},             {"*b*b*", "abxxbz", 1, true},
        {"*b*b*", "abxxz", 1, false},    {"\xc3\xa9*", "\xc3\x89x", 0, false},
        {"*a*a*a*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Pattern) + " ~ " + c.Text);
        EXPECT_EQ(TOS::IsWildcardMatch(c.Pattern, c.Text, c.CaseSensitive), c.Match);
    }
}

namespace {

std::vector<std::string> WalkLog;
void OnVisitFolder(const char* f, void*) { WalkLog.push_back("visit " + std::string(f)); }
void OnExitFolder(const char* f, void*) { WalkLog.push_back("exit " + std::string(f)); }
void OnVisitFile(const char* f, const char* n, void* data)
{
    WalkLog.push_back("file " + std::string(f) + " " + n);
    ++*static_cast<int*>(data);
}

} // namespace

TEST_F(QOROSFilesTest, FolderWalkVisitsSubfoldersFirstAndExitsEachFolderOnce)
{
    Touch(Root / "r1.png");
    Touch(Root / "A/a1.txt");
    Touch(Root / "A/A1/a11.txt");
    Touch(Root / "B/b1.txt");
    WalkLog.clear();
    int files = 0;
    std::string r = Folder(Root);
    TOS::RecurseFolders("*.png", r.c_str(), false, OnVisitFolder, OnExitFolder, OnVisitFile, &files);
    EXPECT_EQ(files, 4);   // every file, whatever the pattern and the recurse flag

    auto expected = [&](const std::string& first) {
        std::vector<std::string> log = {"visit " + r + first + "/"};
        if (first == "A") {
            log.insert(log.end(), {"exit " + r + "A/", "visit " + r + "A/A1/", "file " + r + "A/A1/ a11.txt",
                                   "file " + r + "A/ a1.txt", "exit " + r + "A/A1/", "visit " + r + "B/",
                                   "file " + r + "B/ b1.txt", "file " + r + " r1.png", "exit " + r + "B/"});
        } else {
            log.insert(log.end(), {"file " + r + "B/ b1.txt", "exit " + r + "B/", "visit " + r + "A/",
                                   "exit " + r + "A/", "visit " + r + "A/A1/", "file " + r + "A/A1/ a11.txt",
                                   "file " + r + "A/ a1.txt", "file " + r + " r1.png", "exit " + r + "A/A1/"});
        }
        return log;
    };
    // The listing order of A and B is the platform's.
    if (WalkLog != expected("A")) {
        EXPECT_EQ(WalkLog, expected("B"));
    }

    // A folder without subfolders only reports its files; a missing one nothing.
    WalkLog.clear();
    std::string b = Folder(Root / "B");
    TOS::RecurseFolders("*.*", b.c_str(), true, OnVisitFolder, OnExitFolder, OnVisitFile, &files);
    EXPECT_EQ(WalkLog, std::vector<std::string>{"file " + b + " b1.txt"});
    WalkLog.clear();
    TOS::RecurseFolders("*.*", (r + "missing/").c_str(), true, OnVisitFolder, OnExitFolder, OnVisitFile, &files);
    EXPECT_TRUE(WalkLog.empty());
}

TEST_F(QOROSFilesTest, FindFileSearchesSubfoldersBeforeTheFolderItself)
{
    Touch(Root / "top.TXT");
    Touch(Root / "sub/x.txt");
    Touch(Root / "sub/deep/y.txt");
    fs::create_symlink(Root, Root / "sub/loop");   // a link back up must not loop forever
    std::string r = Folder(Root);
    struct Case { const char* Name; bool Recurse; std::string Expected; };
    const Case cases[] = {
        {"*.txt", false, r + "top.TXT"},
        {"x.txt", false, ""},
        {"x.txt", true, r + "sub/x.txt"},
        {"Y.TXT", true, r + "sub/deep/y.txt"},
        {"*.txt", true, ""},   // some file inside sub/, not top.TXT
        {"none.txt", true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Name) + (c.Recurse ? " recursive" : ""));
        std::string found;
        bool ok = TOS::FindFile(c.Name, r.c_str(), found, c.Recurse);
        if (std::string(c.Name) == "*.txt" && c.Recurse) {
            EXPECT_TRUE(ok);
            EXPECT_EQ(found.rfind(r + "sub/", 0), 0u) << found;
        } else {
            EXPECT_EQ(ok, !c.Expected.empty());
            EXPECT_EQ(found, c.Expected);
        }
    }
    char out[TOS_PATH_BUFFER] = "stale";
    EXPECT_FALSE(TOS::FindFile("none", (r + "missing/").c_str(), out, true));
    EXPECT_STREQ(out, "");
}

TEST_F(QOROSFilesTest, FileOperationsReportFailureAsFailure)
{
    std::string src = (Root / "src.bin").string(), dst = (Root / "dst.bin").string();
    Touch(src, "payload");
    Touch(dst, "old contents that are longer");
    EXPECT_TRUE(TOS::OS_CopyFile(dst.c_str(), src.c_str()));   // destination first, overwriting
    EXPECT_EQ(Read(dst), "payload");
    EXPECT_FALSE(TOS::OS_CopyFile(dst.c_str(), (Root / "missing").c_str()));
    EXPECT_FALSE(TOS::OS_CopyFile((Root / "no/such/folder/f").c_str(), src.c_str()));
    EXPECT_EQ(Read(dst), "payload");

    std::string folder = Folder(Root / "made");
    EXPECT_TRUE(TOS::MakeFolder(folder.c_str()));
    EXPECT_TRUE(TOS::DirectoryExists(folder.c_str()));
    EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_FALSE(TOS::MakeFolder(folder.c_str()));                            // exists already
    EXPECT_FALSE(TOS::MakeFolder((Root / "x/y/z").c_str()));                // one level only

    EXPECT_TRUE(TOS::FileExists(src.c_str()));
    EXPECT_FALSE(TOS::FileExists(folder.c_str()));
    EXPECT_TRUE(TOS::OS_DeleteFile(src.c_str()));
    EXPECT_FALSE(TOS::FileExists(src.c_str()));
    EXPECT_FALSE(TOS::OS_DeleteFile(src.c_str()));
}

TEST_F(QOROSFilesTest, StandardFoldersEndWithASlashAndTemporaryNamesAreFree)
{
    std::string temp, docs;
    EXPECT_TRUE(TOS::GetTemporaryPath(temp));
    EXPECT_TRUE(TOS::GetDocumentsPath(docs));
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), '/');
    EXPECT_TRUE(TOS::DirectoryExists(temp.c_str()));
    if (!docs.empty()) {
        EXPECT_EQ(docs.back(), '/');
    }

    for (int i = 0; i < 20; ++i) {
        std::string name;
        ASSERT_TRUE(TOS::GetTemporaryFileNameInSystemTemp(name, "tmp"));
        ASSERT_EQ(name.size(), temp.size() + 14);
        EXPECT_EQ(name.substr(0, temp.size()), temp);
        EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
        for (size_t k = temp.size(); k < temp.size() + 10; ++k) EXPECT_TRUE(name[k] >= 'A' && name[k] <= 'Z');
        EXPECT_FALSE(TOS::FileExists(name.c_str()));
    }
}

TEST_F(QOROSFilesTest, ApplicationDataFolderIsCreated)
{
    const char* savedHome = std::getenv("HOME");
    std::string saved = savedHome ? savedHome : "";
    ::setenv("HOME", Root.c_str(), 1);
    char buffer[TOS_PATH_BUFFER];
    EXPECT_TRUE(TOS::CreateApplicationDataFolder(buffer));
    if (savedHome) ::setenv("HOME", saved.c_str(), 1);
    std::string folder = buffer;
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_EQ(folder.rfind(Root.string(), 0), 0u) << folder;
    EXPECT_TRUE(TOS::DirectoryExists(folder.c_str()));
}
