// Helpers the test suites share: a temporary file, dialog providers that
// record what they were asked and answer from a script, a private main folder
// and HOME, and a private temporary folder holding the virtual-memory store.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "OS.h"

#include <unistd.h>

// An anonymous temporary file, optionally holding some text, that reads back whole.
struct TTempFile {
    FILE* f = std::tmpfile();
    explicit TTempFile(const std::string& text = "")
    {
        std::fwrite(text.data(), 1, text.size(), f);
        std::rewind(f);
    }
    ~TTempFile() { std::fclose(f); }
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;
    std::string All()
    {
        std::string out;
        std::rewind(f);
        for (int c; (c = std::fgetc(f)) != EOF;)
            out += char(c);
        return out;
    }
};

// Keeps the text of every box and gives each the same answer; every other
// dialog is refused.
struct TBoxRecorder : TOSDialogProvider {
    explicit TBoxRecorder(TOSBoxAnswer answer = TOSBoxAnswer::Closed) : Answer(answer) {}
    TOSBoxAnswer Answer;
    std::vector<std::string> Boxes;

    TOSBoxAnswer ShowBox(TOSBoxKind, const char*, const char* text, bool) override
    {
        Boxes.push_back(text ? text : "");
        return Answer;
    }
    bool PickColour(unsigned char*) override { return false; }
    bool SelectFile(const TOSFileDialogRequest&, std::string&) override { return false; }
    bool SetClipboardText(const std::string&) override { return false; }
    bool GetClipboardText(std::string&) override { return false; }
};

// A dialog provider that answers from a script and records what it was asked.
struct TScriptedProvider : TOSDialogProvider {
    struct TBox {
        TOSBoxKind Kind;
        std::string Title, Text;
        bool DefaultYes;
        bool InDialog;   // OS.IsInDialog() while the box was up
    };
    std::vector<TBox> Boxes;
    std::deque<TOSBoxAnswer> Answers;   // empty: the box is closed
    std::vector<std::array<unsigned char, 3>> Colours;
    bool ConfirmColour = true;
    std::vector<TOSFileDialogRequest> FileRequests;
    std::deque<std::string> Choices;    // empty string: cancelled
    bool ClipboardOpens = true;
    std::string Clipboard;
    int Calls = 0;

    TOSBoxAnswer ShowBox(TOSBoxKind kind, const char* title, const char* text, bool defaultYes) override
    {
        ++Calls;
        Boxes.push_back({kind, title, text, defaultYes, OS.IsInDialog()});
        if (Answers.empty()) return TOSBoxAnswer::Closed;
        TOSBoxAnswer a = Answers.front();
        Answers.pop_front();
        return a;
    }
    bool PickColour(unsigned char rgb[3]) override
    {
        ++Calls;
        Colours.push_back({rgb[0], rgb[1], rgb[2]});
        return ConfirmColour;
    }
    bool SelectFile(const TOSFileDialogRequest& request, std::string& chosen) override
    {
        ++Calls;
        FileRequests.push_back(request);
        if (Choices.empty()) return false;
        chosen = Choices.front();
        Choices.pop_front();
        return !chosen.empty();
    }
    bool SetClipboardText(const std::string& text) override
    {
        ++Calls;
        if (ClipboardOpens) Clipboard = text;
        return ClipboardOpens;
    }
    bool GetClipboardText(std::string& text) override
    {
        ++Calls;
        text = ClipboardOpens ? Clipboard : std::string();
        return ClipboardOpens;
    }
    // With RecordLaunches set, programs started and web pages opened are
    // recorded and never run; otherwise they run for real.
    bool RecordLaunches = false;
    std::vector<std::pair<std::string, std::vector<std::string>>> Programs;
    std::vector<std::string> Pages;
    bool StartProgram(const std::string& program, const std::vector<std::string>& arguments) override
    {
        if (!RecordLaunches) return TOSDialogProvider::StartProgram(program, arguments);
        Programs.emplace_back(program, arguments);
        return true;
    }
    bool OpenWebPage(const std::string& url) override
    {
        if (!RecordLaunches) return TOSDialogProvider::OpenWebPage(url);
        Pages.push_back(url);
        return true;
    }
};

// A fresh folder "<temp>/<prefix><pid>_<n>" with a main folder ("main",
// holding "Data" and the default brush shape a project loads) and a HOME
// ("home") of its own. Open() points OS.MainPath and HOME there; Close() (or
// the destructor) gives them back and removes the folder with everything in it.
class TTestMainFolder {
public:
    std::filesystem::path Root;

    TTestMainFolder() = default;
    TTestMainFolder(const TTestMainFolder&) = delete;
    TTestMainFolder& operator=(const TTestMainFolder&) = delete;
    ~TTestMainFolder() { Close(); }

    void Open(const std::string& prefix)
    {
        namespace fs = std::filesystem;
        static int counter = 0;
        Root = fs::temp_directory_path() / (prefix + std::to_string(::getpid()) + "_" + std::to_string(++counter));
        fs::remove_all(Root);
        fs::create_directories(Root / "main" / "BrushShapes" / "01-Simple");
        fs::create_directories(Root / "main" / "Data");
        fs::create_directories(Root / "home");
        // The default brush shape: a real 16 x 16 grey PNG, all white, which
        // the project constructor loads; its footprint is the whole brush box.
        static const unsigned char kDefaultShape[] = {
            0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52,
            0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x10, 0x08, 0x00, 0x00, 0x00, 0x00, 0x3a, 0x98, 0xa0,
            0xbd, 0x00, 0x00, 0x00, 0x0f, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0x63, 0xf8, 0x8f, 0x06, 0x18,
            0x46, 0xb6, 0x00, 0x00, 0x80, 0xf9, 0xff, 0x01, 0x91, 0xeb, 0x20, 0x1a, 0x00, 0x00, 0x00, 0x00,
            0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
        std::ofstream(Root / "main" / "BrushShapes" / "01-Simple" / "Simple-0001.png", std::ios::binary)
            .write(reinterpret_cast<const char*>(kDefaultShape), sizeof(kDefaultShape));
        const char* home = std::getenv("HOME");
        SavedHome = home ? home : "";
        ::setenv("HOME", (Root / "home").c_str(), 1);
        SavedMain = OS.MainPath;
        OS.MainPath = (Root / "main").generic_string() + "/";
        Opened = true;
    }

    void Close()
    {
        if (!Opened) return;
        Opened = false;
        OS.MainPath = SavedMain;
        ::setenv("HOME", SavedHome.c_str(), 1);
        std::error_code ignored;
        std::filesystem::remove_all(Root, ignored);
    }

private:
    std::string SavedMain, SavedHome;
    bool Opened = false;
};

#if __has_include("QORVirtualMemory.h")
#include "QORVirtualMemory.h"

#include <unistd.h>

// A private temporary folder that TMPDIR points at while the virtual-memory
// store runs in it, so that tests running side by side never share store
// files. Close() (or the destructor) stops the store, gives TMPDIR back and
// removes the folder.
class TTempStoreFolder {
public:
    std::filesystem::path Folder;

    TTempStoreFolder() = default;
    TTempStoreFolder(const TTempStoreFolder&) = delete;
    TTempStoreFolder& operator=(const TTempStoreFolder&) = delete;
    ~TTempStoreFolder() { Close(); }

    // Makes "<temp>/<prefix>XXXXXX" and starts the store there; false, with
    // nothing changed, when the folder cannot be made.
    [[nodiscard]] bool Open(const std::string& prefix)
    {
        std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
        if (mkdtemp(pattern.data()) == nullptr) return false;
        Folder = pattern;
        const char* old = std::getenv("TMPDIR");
        HadTmp = old != nullptr;
        OldTmp = old ? old : "";
        setenv("TMPDIR", Folder.c_str(), 1);
        IsOpen = true;
        QORVirtualMemory_Initialize();
        StoreRunning = true;
        return true;
    }
    // Stops the store but keeps the folder, so that what it left can be looked at.
    void StopStore()
    {
        if (!StoreRunning) return;
        QORVirtualMemory_Cleanup();
        StoreRunning = false;
    }
    void Close()
    {
        if (!IsOpen) return;
        StopStore();
        if (HadTmp)
            setenv("TMPDIR", OldTmp.c_str(), 1);
        else
            unsetenv("TMPDIR");
        std::error_code ignored;
        std::filesystem::remove_all(Folder, ignored);
        IsOpen = false;
    }

private:
    std::string OldTmp;
    bool HadTmp = false;
    bool IsOpen = false;
    bool StoreRunning = false;
};
#endif
