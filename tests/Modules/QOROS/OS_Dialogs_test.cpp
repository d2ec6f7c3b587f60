#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "OS_TestSupport.h"

namespace fs = std::filesystem;

namespace {

class QOROSDialogsTest : public OSFixture {
protected:
    char Out[TOS_PATH_BUFFER] = "stale";
    char FolderBuf[TOS_PATH_BUFFER] = "/start/";
};

} // namespace

TEST_F(QOROSDialogsTest, SaveDialogProposesAndForcesTheExtension)
{
    struct Case {
        const char* DefaultName;
        const char* Chosen;
        const char* Proposed;
        const char* Result;
    };
    const Case cases[] = {
        {"map.jpg", "/p/q/final.tga", "map.png", "/p/q/final.png"},
        {"map.PNG", "/p/q/final", "map.PNG", "/p/q/final.png"},
        {"noext", "/p/q.d/final", "noext.png", "/p/q.d/final.png"},   // a dot in a folder is not an extension
        {nullptr, "/p/q/a.b.c", "", "/p/q/a.b.png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Chosen);
        Provider.FileRequests.clear();
        Provider.Choices = {c.Chosen};
        std::strcpy(FolderBuf, "/start/");
        EXPECT_TRUE(OS.ExecuteSaveFileDialog(Out, FolderBuf, "PNG Files", "png", c.DefaultName, true));
        ASSERT_EQ(Provider.FileRequests.size(), 1u);
        const TOSFileDialogRequest& r = Provider.FileRequests[0];
        EXPECT_EQ(r.Prompt, "Save");
        EXPECT_TRUE(r.Save);
        EXPECT_EQ(r.Wildcard, "*.png");
        EXPECT_EQ(r.DefaultExtension, "png");
        EXPECT_EQ(r.Folder, "/start/");
        EXPECT_EQ(r.DefaultName, c.Proposed);
        EXPECT_STREQ(Out, c.Result);
        EXPECT_EQ(std::string(FolderBuf), fs::path(c.Chosen).parent_path().string() + "/");
    }
}

TEST_F(QOROSDialogsTest, OpenDialogsFilterRememberAndCancel)
{
    Provider.Choices = {"/p/q/r.obj"};
    EXPECT_TRUE(OS.ExecuteOpenFileDialog(Out, FolderBuf, "", "", "start.obj", false));
    EXPECT_EQ(Provider.FileRequests.back().Wildcard, "*.*");
    EXPECT_EQ(Provider.FileRequests.back().Prompt, "Open");
    EXPECT_FALSE(Provider.FileRequests.back().Save);
    EXPECT_EQ(Provider.FileRequests.back().DefaultName, "start.obj");
    EXPECT_STREQ(Out, "/p/q/r.obj");
    EXPECT_STREQ(FolderBuf, "/start/");   // not remembered

    Provider.Choices = {"/p/q/r.obj"};
    EXPECT_TRUE(OS.ExecuteOpenFileDialog(Out, FolderBuf, "OBJ Files", "obj", nullptr, true));
    EXPECT_EQ(Provider.FileRequests.back().Wildcard, "*.obj");
    EXPECT_STREQ(FolderBuf, "/p/q/");

    // Cancelled: false, empty out, folder kept.
    Provider.Choices.clear();
    EXPECT_FALSE(OS.ExecuteOpenFileDialog(Out, FolderBuf, "", "obj", nullptr, true));
    EXPECT_STREQ(Out, "");
    EXPECT_STREQ(FolderBuf, "/p/q/");

    // The multiple-type dialogs pass the wildcard unchanged and leave the type index alone;
    // the save variant has always been titled "Open".
    const char* wildcard = "OBJ Files|*.obj|All|*.*";
    int32_t typeIndex = 7;
    Provider.Choices = {"/x/m.obj", "/x/n.any"};
    EXPECT_TRUE(OS.ExecuteOpenFileDialogMultipleTypes(Out, FolderBuf, wildcard, "", false, &typeIndex));
    EXPECT_EQ(Provider.FileRequests.back().Wildcard, wildcard);
    EXPECT_TRUE(OS.ExecuteSaveFileDialogMultipleTypes(Out, FolderBuf, wildcard, "", false, &typeIndex));
    EXPECT_EQ(Provider.FileRequests.back().Prompt, "Open");
    EXPECT_TRUE(Provider.FileRequests.back().Save);
    EXPECT_STREQ(Out, "/x/n.any");
    EXPECT_EQ(typeIndex, 7);
}

TEST_F(QOROSDialogsTest, LongChosenPathsAreCutAtTheBuffer)
{
    std::string chosen = "/" + std::string(TOS_PATH_BUFFER + 500, 'd') + "/f.obj";
    Provider.Choices = {chosen};
    EXPECT_TRUE(OS.ExecuteOpenFileDialog(Out, FolderBuf, "", "obj", nullptr, true));
    EXPECT_EQ(std::strlen(Out), size_t(TOS_PATH_BUFFER - 1));
    EXPECT_EQ(std::strlen(FolderBuf), size_t(TOS_PATH_BUFFER - 1));
}

TEST_F(QOROSDialogsTest, LocateFileLooksBesideThenAsks)
{
    fs::path root = fs::temp_directory_path() / ("qoros_locate_" + std::to_string(::getpid()));
    fs::create_directories(root / "new");
    std::ofstream(root / "new/a.obj") << "v 0 0 0\n";
    std::string found = (root / "new/a.obj").string();

    char path[TOS_PATH_BUFFER];
    char folder[TOS_PATH_BUFFER];
    // Beside: found in the folder (given without a trailing slash) without asking.
    std::strcpy(path, "/old/place/a.obj");
    std::strcpy(folder, (root / "new").c_str());
    EXPECT_TRUE(OS.LocateFile(path, folder));
    EXPECT_EQ(std::string(path), found);
    EXPECT_EQ(Provider.Calls, 0);
    EXPECT_TRUE(OS.LocateFile(path, folder));   // now it exists where it says

    // Declined question: false, path unchanged.
    std::strcpy(path, "/old/place/b.obj");
    Provider.Answers = {TOSBoxAnswer::No};
    EXPECT_FALSE(OS.LocateFile(path, folder));
    EXPECT_STREQ(path, "/old/place/b.obj");
    ASSERT_EQ(Provider.Boxes.size(), 1u);
    EXPECT_EQ(Provider.Boxes[0].Text, "The file 'b.obj' cannot be found. Do you want to find it now?");
    EXPECT_FALSE(Provider.Boxes[0].DefaultYes);

    // Yes, then a file chosen in the dialog.
    Provider.Answers = {TOSBoxAnswer::Yes};
    Provider.Choices = {found};
    EXPECT_TRUE(OS.LocateFile(path, folder));
    EXPECT_EQ(std::string(path), found);
    EXPECT_EQ(Provider.FileRequests.back().Wildcard, "*.*");
    EXPECT_EQ(Provider.FileRequests.back().DefaultName, "b.obj");

    // Yes, then cancelled: false, path empty.
    std::strcpy(path, "/old/place/c.obj");
    Provider.Answers = {TOSBoxAnswer::Yes};
    EXPECT_FALSE(OS.LocateFile(path, folder));
    EXPECT_STREQ(path, "");
    EXPECT_FALSE(OS.LocateFile(path, folder));   // an empty path is never found
    fs::remove_all(root);
}

TEST_F(QOROSDialogsTest, ClipboardCutsAtTheCallersSize)
{
    EXPECT_TRUE(OS.SetClipboardText("abcdefg"));
    EXPECT_EQ(Provider.Clipboard, "abcdefg");
    char buffer[5];
    EXPECT_TRUE(OS.GetClipboardText(buffer, 5));
    EXPECT_STREQ(buffer, "abcd");
    Provider.Clipboard.clear();
    EXPECT_FALSE(OS.GetClipboardText(buffer, 5));   // no text: empty answer
    EXPECT_STREQ(buffer, "");

    Provider.ClipboardOpens = false;
    EXPECT_FALSE(OS.SetClipboardText("x"));
    EXPECT_FALSE(OS.GetClipboardText(buffer, 5));
}

TEST_F(QOROSDialogsTest, LaunchingAMissingProgramIsAnErrorNotACrash)
{
    for (const char* program : {"/nonexistent/Kestrune-Launcher", "no-such-program-qoros", ""}) {
        SCOPED_TRACE(program);
        Provider.Boxes.clear();
        EXPECT_FALSE(OS.LaunchApp(program, "--args \"two words\" ; rm -rf /"));
        ASSERT_EQ(Provider.Boxes.size(), 1u);
        EXPECT_EQ(Provider.Boxes[0].Kind, TOSBoxKind::Error);
    }
}

TEST_F(QOROSDialogsTest, LaunchPassesArgumentsAsAVectorWithoutAShell)
{
    fs::path root = fs::temp_directory_path() / ("qoros_launch_" + std::to_string(::getpid()));
    fs::create_directories(root);
    fs::path script = root / "record.sh";
    fs::path outFile = root / "args.txt";
    {
        std::ofstream s(script);
        s << "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]' \"$a\"; done > \"" << outFile.string() << ".part\"\nmv \""
          << outFile.string() << ".part\" \"" << outFile.string() << "\"\n";
    }
    fs::permissions(script, fs::perms::owner_all);
    EXPECT_TRUE(OS.LaunchApp(script.c_str(), "one \"two words\" $HOME;x"));
    // The program runs on its own; wait (bounded) for its record.
    for (int i = 0; i < 500 && !fs::exists(outFile); ++i) ::usleep(10000);
    std::ifstream in(outFile);
    std::string got((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(got, "[one][two words][$HOME;x]");
    EXPECT_TRUE(Provider.Boxes.empty());
    fs::remove_all(root);
}
