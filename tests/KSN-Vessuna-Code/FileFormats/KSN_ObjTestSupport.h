// Shared by the OBJ/MTL tests: a private temporary folder with text files,
// recorded panel messages and boxes, and a project with the interchange hooks.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "KSN_Mesh.h"
#include "KSN_ObjProjectHooks.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "KsnTestSupport.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORVirtualMemory.h"

namespace ksn_obj_test {

namespace fs = std::filesystem;

// A folder of its own for every test (tests run in parallel), removed afterwards.
class TTempFolder {
public:
    TTempFolder()
    {
        static int counter = 0;
        std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : test)
            if (c == '/') c = '_';
        Path = fs::temp_directory_path() /
               ("ksn_obj_" + std::to_string(::getpid()) + "_" + std::to_string(++counter) + "_" + test);
        fs::remove_all(Path);
        fs::create_directories(Path);
    }
    ~TTempFolder() { fs::remove_all(Path); }
    std::string PathText() const { return Path.generic_string(); }
    // Writes text (bytes as given) to name in the folder; returns the full path.
    std::string Write(const std::string& name, const std::string& text) const
    {
        const fs::path file = Path / name;
        std::ofstream(file, std::ios::binary) << text;
        return file.generic_string();
    }
    std::string File(const std::string& name) const { return (Path / name).generic_string(); }
    fs::path Path;
};

inline std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::stringstream s(text);
    for (std::string line; std::getline(s, line);) lines.push_back(line);
    return lines;
}

// Panel messages (print and warning) of the running test.
inline std::vector<std::string>& Panel()
{
    static std::vector<std::string> messages;
    return messages;
}

// Records messages and boxes; every test starts with none.
class TMessagesFixture : public ::testing::Test {
protected:
    TBoxRecorder Boxes{TOSBoxAnswer::Yes};
    void SetUp() override
    {
        Panel().clear();
        OS.AssignOnWarningMessage([](char* text) { Panel().push_back(text); });
        OS.AssignOnPrintMessage([](char* text) { Panel().push_back(text); });
        OS.SetDialogProvider(&Boxes);
    }
    void TearDown() override
    {
        OS.AssignOnWarningMessage(nullptr);
        OS.AssignOnPrintMessage(nullptr);
        OS.SetDialogProvider(nullptr);
    }
    static std::string AllPanel()
    {
        std::string all;
        for (const std::string& m : Panel()) all += m + "\n";
        return all;
    }
};

// A new project as `Project` in a main folder and HOME of its own, with the
// interchange hooks registered.
class TProjectFixture : public TMessagesFixture {
protected:
    void SetUp() override
    {
        TMessagesFixture::SetUp();
        Main.Open("ksn_obj_main_");
        KSN_FileFormats_RegisterHooks();
        QOREvents_Clean();
        QORVirtualMemory_Initialize();
        Project = new TKSN_Project();
    }
    void TearDown() override
    {
        delete Project;
        Project = nullptr;
        QORVirtualMemory_Cleanup();
        QOREvents_Clean();
        Main.Close();
        TMessagesFixture::TearDown();
    }
    TTestMainFolder Main;
    TTempFolder Folder;
};

} // namespace ksn_obj_test
