// Shared fixture of the application-object tests: a temporary main folder and
// HOME (so the user data folder and its settings file are the test's own), a
// dialog provider that records every box and answers from a script, hooks that
// record panel texts, and an empty event queue.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "KSN_Application.h"
#include "OS.h"
#include "QOREvents.h"

namespace fs = std::filesystem;

struct TShellTestProvider : TOSDialogProvider {
    std::vector<std::string> Boxes;
    std::deque<TOSBoxAnswer> Answers;    // empty: the box is closed
    std::deque<std::string> Choices;     // files the "user" picks
    TOSBoxAnswer ShowBox(TOSBoxKind, const char*, const char* text, bool) override
    {
        Boxes.push_back(text);
        if (Answers.empty()) return TOSBoxAnswer::Closed;
        TOSBoxAnswer a = Answers.front();
        Answers.pop_front();
        return a;
    }
    bool PickColour(unsigned char*) override { return false; }
    bool SelectFile(const TOSFileDialogRequest&, std::string& chosen) override
    {
        if (Choices.empty()) return false;
        chosen = Choices.front();
        Choices.pop_front();
        return true;
    }
    bool SetClipboardText(const std::string&) override { return false; }
    bool GetClipboardText(std::string&) override { return false; }
};

inline std::vector<std::string> g_PanelTexts;

class ShellFixture : public ::testing::Test {
protected:
    fs::path Root, Main, Home;
    TShellTestProvider Provider;
    std::string SavedHome, SavedMain;

    void SetUp() override
    {
        static int counter = 0;
        Root = fs::temp_directory_path() / ("ksn_shell_" + std::to_string(::getpid()) + "_" + std::to_string(++counter));
        fs::remove_all(Root);
        Main = Root / "main";
        Home = Root / "home";
        fs::create_directories(Main / "Data");
        fs::create_directories(Main / "Objects");
        fs::create_directories(Home);
        const char* home = std::getenv("HOME");
        SavedHome = home ? home : "";
        ::setenv("HOME", Home.c_str(), 1);
        SavedMain = OS.MainPath;
        OS.MainPath = Main.generic_string() + "/";
        OS.SetDialogProvider(&Provider);
        g_PanelTexts.clear();
        auto record = [](char* text) { g_PanelTexts.push_back(text); };
        OS.AssignOnWarningMessage(record);
        OS.AssignOnPrintMessage(record);
        OS.AssignOnWarningMessageNoRepeatFailed(nullptr);
        OS.AssignOnPrintMessageNoRepeatFailed(nullptr);
        OS.LastMessageText.clear();
        QOREvents_Clean();
    }

    void TearDown() override
    {
        delete App;   // also clears App
        QOREvents_Clean();
        OS.SetDialogProvider(nullptr);
        OS.AssignOnWarningMessage(nullptr);
        OS.AssignOnPrintMessage(nullptr);
        OS.MainPath = SavedMain;
        ::setenv("HOME", SavedHome.c_str(), 1);
        std::error_code ec;
        fs::remove_all(Root, ec);
    }

    std::string MainPath() const { return Main.generic_string() + "/"; }

public:
    static std::string ReadFile(const fs::path& p)
    {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static void WriteFile(const fs::path& p, const std::string& text)
    {
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << text;
    }
    static std::vector<std::string> Lines(const std::string& text)
    {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
protected:
    // The settings file of a run, found before any application object exists.
    fs::path SettingsFile() const
    {
        std::string folder;
        TOS::CreateApplicationDataFolder(folder);
        return fs::path(folder) / "Kestrune_Vessuna_v4.ini";
    }
};
