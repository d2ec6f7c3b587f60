// Project commands through the dispatcher: open, the start file, save and
// save as with scripted dialogs, real project files in a temp folder, and
// the save reminder.
#include "KSN_CommandTestSupport.h"

#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "QORString.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string WithoutIDs(const std::string& text)
{
    std::istringstream in(text);
    std::string out, line;
    while (std::getline(in, line))
        if (line.find("\tID\t") == std::string::npos && line.rfind("ID\t", 0) != 0) out += line + "\n";
    return out;
}

class ProjectCommands : public CommandFixture {
protected:
    static bool Dispatch(int command, int int0 = 0)
    {
        TQOREvent e(command);
        e.intParameters[0] = int0;
        return KestruneEvents_CommandCB(&e);
    }
    void AddObject(const char* name)
    {
        TKSN_Object* object = Project->CreateNewObject();
        object->SetName("%s", name);
        object->Mesh = std::make_unique<TKSN_Mesh>(object);
    }
    bool Printed(int text, const std::string& argument = "") const
    {
        char expected[2048];
        std::snprintf(expected, sizeof expected, Lang.GetText(text), argument.c_str());
        for (const std::string& line : g_Printed)
            if (line.find(argument.empty() ? std::string(Lang.GetText(text)).substr(0, 12) : expected) !=
                std::string::npos)
                return true;
        return false;
    }
};

TEST_F(ProjectCommands, SaveThenReopenThenSaveAgainWritesTheSameFileWithoutAsking)
{
    AddObject("Body");
    const std::string path = (Store.Folder / "first.Kestrune").string();
    Provider.Choices = {path};
    EXPECT_TRUE(Dispatch(377));
    ASSERT_TRUE(std::filesystem::exists(path));
    EXPECT_TRUE(Printed(1099, path));
    const std::string written = ReadAll(path);

    Provider.Answers = {TOSBoxAnswer::Yes};   // objects present: the question of text 381
    Provider.Choices = {path};
    EXPECT_TRUE(Dispatch(368));
    ASSERT_FALSE(Provider.Boxes.empty());
    EXPECT_EQ(Provider.Boxes.back().Text, Lang.GetText(381));
    EXPECT_EQ(Project->FileName, path);

    EXPECT_NE(written.find("Body"), std::string::npos);

    // Saved again under its own name without a dialog: the same bytes as a
    // save of the same project to a chosen name.
    const size_t requests = Provider.FileRequests.size();
    EXPECT_TRUE(Dispatch(377));
    EXPECT_EQ(Provider.FileRequests.size(), requests) << "no second dialog";
    const std::string other = (Store.Folder / "second.Kestrune").string();
    Provider.Choices = {other};
    EXPECT_TRUE(Dispatch(378));
    EXPECT_EQ(Project->FileName, other);
    // Each save gives the default material fresh IDs; everything else matches.
    EXPECT_EQ(WithoutIDs(ReadAll(path)), WithoutIDs(ReadAll(other)));
}

TEST_F(ProjectCommands, AnAutosaveNameAsksAndCancelRefuses)
{
    for (const char* name : {"autosave.Kestrune", "My_AUTOSAVE_1.Kestrune", "AutoSave.Kestrune"}) {
        const std::string path = (Store.Folder / name).string();
        std::ofstream(path) << "x";
        Project->FileName = path;
        const size_t requests = Provider.FileRequests.size();
        Provider.Choices = {""};
        EXPECT_FALSE(Dispatch(377)) << name;
        EXPECT_EQ(Provider.FileRequests.size(), requests + 1) << name;
        EXPECT_EQ(Project->FileName, path);
    }
    Provider.Choices = {""};
    EXPECT_FALSE(Dispatch(378));
}

TEST_F(ProjectCommands, AFailedSaveSaysSoKeepsTheNameAndTheTimerAndRefuses)
{
    Project->FileName = "";
    App->saveTimer.Stop();
    App->saveTimer.SetTime(500.0);
    const std::string target = (Store.Folder / "missing" / "x.Kestrune").string();
    for (int command : {377, 378}) {
        g_Printed.clear();
        Provider.Choices = {target};
        EXPECT_FALSE(Dispatch(command));
        EXPECT_TRUE(Printed(1100));
        EXPECT_FALSE(Printed(1099, target));
        EXPECT_EQ(Project->FileName, "");
        EXPECT_NEAR(App->saveTimer.Read(), 500.0, 1e-6);
    }
}

TEST_F(ProjectCommands, OpeningAsksBeforeDiscardingAndABadFileKeepsTheProject)
{
    AddObject("Kept");
    Provider.Answers = {TOSBoxAnswer::No};
    const size_t requests = Provider.FileRequests.size();
    EXPECT_FALSE(Dispatch(368));
    EXPECT_EQ(Provider.FileRequests.size(), requests) << "No loads nothing";

    const std::string png = (Store.Folder / "picture.Kestrune").string();
    {
        std::ofstream out(png, std::ios::binary);
        const unsigned char header[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13};
        out.write(reinterpret_cast<const char*>(header), sizeof header);
    }
    TKSN_Project* before = Project;
    for (const std::string& path : {png, (Store.Folder / "gone.Kestrune").string()}) {
        g_Printed.clear();
        Provider.Answers = {TOSBoxAnswer::Yes};
        Provider.Choices = {path};
        EXPECT_TRUE(Dispatch(368));
        EXPECT_EQ(Project, before);
        bool named = false;
        for (const std::string& line : g_Printed) named |= line.find(path) != std::string::npos && line != g_Printed[0];
        EXPECT_TRUE(named) << path;
    }
}

TEST_F(ProjectCommands, TheStartFileOpensOnTheFourthEventAsAnUnnamedProject)
{
    AddObject("Start");
    const std::string path = (Store.Folder / "start.Kestrune").string();
    ASSERT_TRUE(Project->SaveProject_v2(path.c_str(), true));
    std::snprintf(App->startFileName, sizeof App->startFileName, "%s", path.c_str());
    TKSN_Project* before = Project;
    QOREvents_Clean();
    QOREvents_PushEvent(369);
    for (int pass = 0; pass < 3; ++pass) {
        KestruneEvents_ProcessEvents();
        EXPECT_EQ(Project, before) << pass;
        EXPECT_EQ(CountQueued(369), 1);
    }
    KestruneEvents_ProcessEvents();
    EXPECT_NE(Project, before);
    EXPECT_EQ(Project->FileName, "");
    EXPECT_EQ(CountQueued(369), 0) << "nothing defers any more";

    App->loadDefaultProject = false;
    TKSN_Project* loaded = Project;
    EXPECT_TRUE(Dispatch(369, 3));
    EXPECT_EQ(Project, loaded);
}

TEST_F(ProjectCommands, TheReminderCountsMinutesSinceTheLastSave)
{
    struct TCase {
        double Seconds;
        int Text;
    };
    for (const TCase& c : {TCase{600.0, 1055}, TCase{630.0, 1258}}) {
        g_Printed.clear();
        App->saveTimer.Stop();
        App->saveTimer.SetTime(c.Seconds);
        EXPECT_TRUE(Dispatch(402));
        char expected[2048];
        std::snprintf(expected, sizeof expected, Lang.GetText(c.Text), c.Seconds / 60.0);
        ASSERT_FALSE(g_Printed.empty());
        EXPECT_EQ(g_Printed.back(), expected);
        EXPECT_FALSE(App->saveReminderTimer.IsTiming());
        EXPECT_NEAR(App->saveReminderTimer.Read(), 0.0, 1e-3);
    }
}

} // namespace
