#include "QORLanguage.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <string_view>

namespace {

struct TextCase {
    int Id;
    const char* Expected;
};

// Whole texts, chosen across the range: ends of the table, ids just outside
// it, markup, leading blanks and tabs, quotes inside a text and placeholders.
const TextCase SpotChecks[] = {
    {0, "Error"},
    {1, "[u]F[/u]ile"},
    {71, "Bulge  Dent Hammer"},
    {7, "Converting to \"Vertex\" selection"},
    {119, "Current Viewport is [b]%s[/b]"},
    {476, "The screen resolution must be at least %dx%d for this application to run properly."},
    {614, "An instance of Kestrune is already running."},
    {650, "\tAuto-Rename Groups"},
    {857, "Pan View"},
    {1071, "AVAIL"},
    {1101, "AVAIL"},
    {1158, "    [u]P[/u]aint"},
    {1325, "New Folder"},
    {1336, "No more layers can be added. The maximum number of layers is %d."},
    {1548, "AVAIL"},
    {1592, "[b][u]SYMMETRIC SIDE[/u][/b]"},
    {1663, "[b][u]LOCKED[/u][/b]"},
    {1702, ""},
    {1703, "Error"},
    {-1, "Error"},
    {INT_MIN, "Error"},
    {INT_MAX, "Error"},
    {1047, "The following file already exists...\n\n%s\n\nWould you like to overwrite it?"},
    {250, "Touch-up Type\n- Determines what kind of touch-up is performed (e.g. Smooth, flatten, etc.)"},
};

TEST(QORLanguage, GetTextAnswersTheTableAndErrorOutsideIt)
{
    for (const TextCase& c : SpotChecks) {
        SCOPED_TRACE(c.Id);
        const char* text = Lang.GetText(c.Id);
        ASSERT_NE(text, nullptr);
        EXPECT_STREQ(text, c.Expected);
    }
}

std::string_view FirstLine(std::string_view text)
{
    return text.substr(0, text.find('\n'));
}

std::string WithoutMarkup(std::string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        bool mark = false;
        for (std::string_view m : {"[b]", "[/b]", "[u]", "[/u]"})
            if (text.substr(i).starts_with(m)) {
                i += m.size() - 1;
                mark = true;
                break;
            }
        if (!mark)
            out += text[i];
    }
    return out;
}

// A thing takes its name from text n and its hint from text n + 1: the hint's
// title is the name without its marks, followed by lines that begin with "- ".
TEST(QORLanguage, NameAndHintPairs)
{
    struct PairCase {
        int NameId;
        const char* Title;
        int DashLines;
    };
    const PairCase pairs[] = {
        {857, "Pan View", 2},
        {1, "File Menu", 1},
        {13, "Edit Menu", 1},
        {71, "Bulge - Dent Hammer", 1},
        {841, "Spacing", 3},
    };
    for (const PairCase& p : pairs) {
        SCOPED_TRACE(p.NameId);
        const std::string_view hint = Lang.GetText(p.NameId + 1);
        EXPECT_EQ(FirstLine(hint), p.Title);
        // The hint's title repeats the name, give or take a word ("File" -> "File Menu").
        const std::string name = WithoutMarkup(Lang.GetText(p.NameId));
        EXPECT_EQ(std::string_view(p.Title).substr(0, 4), std::string_view(name).substr(0, 4));

        int dashLines = 0;
        size_t pos = hint.find('\n');
        while (pos != std::string_view::npos) {
            const size_t next = hint.find('\n', pos + 1);
            const std::string_view line = hint.substr(pos + 1, next == std::string_view::npos ? next : next - pos - 1);
            EXPECT_TRUE(line.starts_with("- ")) << line;
            ++dashLines;
            pos = next;
        }
        EXPECT_EQ(dashLines, p.DashLines);
    }
}

// Guards the table as a whole: a slip in building it (a missing entry, a
// broken escape, an unclosed mark) shows up here rather than on screen.
TEST(QORLanguage, EveryIdHasAWellFormedText)
{
    for (int id = 0; id < KSN_Language_Count; ++id) {
        SCOPED_TRACE(id);
        const char* text = Lang.GetText(id);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text, KSN_Language_Data[id]);
        if (id != 0) {
            EXPECT_STRNE(text, "Error");
        }

        const std::string_view t = text;
        for (char ch : t)
            EXPECT_TRUE((ch >= 32 && ch < 127) || ch == '\n' || ch == '\t') << int(ch);
        auto count = [&](std::string_view m) {
            int n = 0;
            for (size_t p = t.find(m); p != std::string_view::npos; p = t.find(m, p + 1))
                ++n;
            return n;
        };
        EXPECT_EQ(count("[b]"), count("[/b]"));
        EXPECT_EQ(count("[u]"), count("[/u]"));
    }
}

TEST(QORLanguage, EmptyKeepsTheBuiltInTable)
{
    TQORLanguage language;
    language.Empty();
    language.Empty();
    EXPECT_STREQ(language.GetText(1325), "New Folder");
    EXPECT_STREQ(language.GetText(1703), "Error");
}

} // namespace
