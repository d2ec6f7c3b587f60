// Unique names: the rules over plain lists of names, the C-style entry points
// that later code calls, and the document scopes the generators and testers
// walk.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "KSN_Project.h"
#include "QORLanguage.h"
#include "QORString.h"

namespace {

// ---------------------------------------------------------------------------
// Bracket numbering
// ---------------------------------------------------------------------------

struct BracketCase {
    const char* Why;
    TKSN_NameList Names;
    const char* Wanted;
    const char* Expected;
};

TEST(UniqueNames, BracketNumberingFollowsTheScopeOrder)
{
    const BracketCase cases[] = {
        {"highest number after the plain name", {"Paint", "Paint (3)"}, "Paint", "Paint (4)"},
        {"numbers before the plain name are not read", {"Paint (3)", "Paint"}, "Paint", "Paint (1)"},
        {"free wanted name stays even when numbered forms exist", {"Paint (3)", "Other"}, "Paint", "Paint"},
        {"empty scope", {}, "Paint", "Paint"},
        {"taken without regard to case, numbered on the wanted letters", {"Smile", "SMILE (4)"}, "smile",
         "smile (1)"},
        {"a wanted name with a number is taken whole", {"Arm (2)"}, "Arm (2)", "Arm (2) (1)"},
        {"white space of the pattern takes any run of white space", {"A B", "A  B(5)"}, "A B", "A B (6)"},
        {"a space before the number is skipped, a sign is read", {"X", "X ( +7)", "X (-9)"}, "X", "X (8)"},
        {"text after the number is not looked at", {"X", "X (2"}, "X", "X (3)"},
        {"no digits, no number", {"X", "X ()", "X (a)"}, "X", "X (1)"},
        {"a per-cent sign is a plain character", {"50%grey", "50%grey (2)"}, "50%grey", "50%grey (3)"},
        {"conversions in a name are never run", {"%d%s%n", "%d%s%n (7)", "%s"}, "%d%s%n", "%d%s%n (8)"},
        {"numbers beyond int", {"Paint", "Paint (99999999999)"}, "Paint", "Paint (100000000000)"},
        // The bare rule would give a taken name here; the next free number is given instead.
        {"a number before the plain name is taken", {"Paint (1)", "Paint"}, "Paint", "Paint (2)"},
        {"the numbered form is taken in another case", {"Smile", "SMILE (1)"}, "smile", "smile (2)"},
    };
    for (const BracketCase& c : cases) {
        SCOPED_TRACE(c.Why);
        EXPECT_EQ(KSN_BracketNumberedName(c.Wanted, c.Names), c.Expected);
    }
}

// ---------------------------------------------------------------------------
// Map names
// ---------------------------------------------------------------------------

const TKSN_NameList ExportTypes = {"PNG", "BMP", "JPG", "TGA", "TIF"};

TEST(UniqueNames, MapNamesCollideWithoutTheirExtensions)
{
    const BracketCase cases[] = {
        {"another extension still collides", {"Skin.png"}, "Skin.jpg", "Skin (1).jpg"},
        {"an extension that is no export type becomes the first one", {}, "Skin.xyz", "Skin.PNG"},
        {"no extension gets the first export type", {"Skin.png"}, "Skin", "Skin (1).PNG"},
        {"numbers of the cut names count", {"Skin.png", "Skin (2).bmp"}, "Skin.png", "Skin (3).png"},
        {"the extension is checked without regard to case", {"Face.tga"}, "skin.jpg", "skin.jpg"},
        {"a per-cent sign is a plain character", {"50%grey.png", "50%grey (4).png"}, "50%grey.jpg",
         "50%grey (5).jpg"},
        {"dots before the extension stay", {"a.b.png"}, "a.b.jpg", "a.b (1).jpg"},
    };
    for (const BracketCase& c : cases) {
        SCOPED_TRACE(c.Why);
        EXPECT_EQ(KSN_UniqueMapName(c.Wanted, c.Names, ExportTypes), c.Expected);
    }
    EXPECT_EQ(KSN_UniqueMapName("Skin", {}, {}), "Skin") << "no export types: no bare dot";
}

TEST(UniqueNames, MapTesterExplainsUnsupportedExtensions)
{
    const std::string expectedXyz = QORFormat(Lang.GetText(491), "xyz") + "\nPNG, BMP, JPG, TGA, TIF";
    std::string message;
    EXPECT_FALSE(KSN_IsMapNameFree("Skin.xyz", {}, ExportTypes, &message));
    EXPECT_EQ(message, expectedXyz);

    message.clear();
    EXPECT_FALSE(KSN_IsMapNameFree("Skin", {"Face.png"}, ExportTypes, &message));
    EXPECT_EQ(message, QORFormat(Lang.GetText(491), "") + "\nPNG, BMP, JPG, TGA, TIF");

    message = "untouched";
    EXPECT_FALSE(KSN_IsMapNameFree("skin.JPG", {"Skin.png"}, ExportTypes, &message)) << "same base, other type";
    EXPECT_TRUE(KSN_IsMapNameFree("Skin.jpg", {"Skin (1).png", "Face.png"}, ExportTypes, &message));
    EXPECT_EQ(message, "untouched") << "only an unsupported extension writes a message";
    EXPECT_FALSE(KSN_IsMapNameFree("Skin.xyz", {}, ExportTypes, nullptr));
}

// ---------------------------------------------------------------------------
// Copies
// ---------------------------------------------------------------------------

struct TextCase {
    const char* Input;
    const char* Expected;
};

TEST(UniqueNames, CopyNamesLoseTheirLastBracketAndGainCopy)
{
    const TextCase cases[] = {
        {"A (b) (3)", "A (b) Copy"}, {"Arm (2)", "Arm Copy"},      {"Arm  (2)", "Arm Copy"},
        {"Arm\t(2)", "Arm Copy"},    {"Arm (left)", "Arm Copy"},   {"Arm Copy", "Arm Copy"},
        {"arm COPY", "arm COPY"},    {"Copy", "Copy Copy"},        {" Copy", " Copy Copy"},
        {"(x)", "(x) Copy"},         {"ab(", "ab Copy"},           {"x", "x Copy"},
        {"", " Copy"},               {"Arm (2) Copy", "Arm (2) Copy"}, {"50%grey (2)", "50%grey Copy"},
    };
    char out[KSN_NAME_BUFFER];
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.Input);
        EXPECT_EQ(KSN_CopyOfName(c.Input), c.Expected);
        GetCopyOfName(out, c.Input, nullptr);
        EXPECT_STREQ(out, c.Expected);
    }
}

// A generator over a list the test sets, with the generators' signature.
TKSN_NameList g_GeneratorScope;
void TestGenerator(const char* wanted, char* out)
{
    const std::string name = KSN_BracketNumberedName(wanted, g_GeneratorScope);
    std::snprintf(out, KSN_NAME_BUFFER, "%s", name.c_str());
}

TEST(UniqueNames, CopyNamesGoThroughTheGenerator)
{
    char out[KSN_NAME_BUFFER];
    g_GeneratorScope = {"Arm", "Arm Copy"};
    GetCopyOfName(out, "Arm (2)", TestGenerator);
    EXPECT_STREQ(out, "Arm Copy (1)");
    g_GeneratorScope = {"Arm"};
    GetCopyOfName(out, "Arm (2)", TestGenerator);
    EXPECT_STREQ(out, "Arm Copy");
}

// ---------------------------------------------------------------------------
// Numbered names and list de-duplication
// ---------------------------------------------------------------------------

TEST(UniqueNames, NumberedNamesSplitOffTrailingDigits)
{
    struct Case {
        const char* Name;
        const char* Base;
        int Number;
    };
    const Case cases[] = {
        {"Skin12", "Skin", 12}, {"Skin 3", "Skin ", 3}, {"123", "123", 0},   {"", "", 0},
        {"Skin", "Skin", 0},    {"Skin007", "Skin", 7}, {"a1b", "a1b", 0}, {"Skin99999999999", "Skin", INT_MAX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        char base[64] = "garbage";
        int number = -1;
        GetNumberedName(c.Name, base, &number);
        EXPECT_STREQ(base, c.Base);
        EXPECT_EQ(number, c.Number);
    }
}

TEST(UniqueNames, ListDeduplicationNumbersRepeatsWithoutSpace)
{
    struct Case {
        const char* Why;
        TKSN_NameList In;
        TKSN_NameList Out;
    };
    const Case cases[] = {
        {"three alike", {"Skin", "Skin", "Skin"}, {"Skin", "Skin1", "Skin2"}},
        {"numbered alike", {"Body2", "Body2"}, {"Body2", "Body3"}},
        {"taken without regard to case", {"Arm", "arm"}, {"Arm", "arm1"}},
        {"numbers already there count", {"Skin", "Skin1", "Skin"}, {"Skin", "Skin1", "Skin2"}},
        {"unique lists stay", {"A", "B", "A1"}, {"A", "B", "A1"}},
        {"per-cent signs stay plain", {"50%grey", "50%grey"}, {"50%grey", "50%grey1"}},
        // Digits-only names are their own base; a split that meets another
        // name is stepped on instead of giving a duplicate.
        {"digits only", {"1231", "123", "123"}, {"1231", "123", "1232"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Why);
        TKSN_NameList names = c.In;
        KSN_MakeNamesUnique(names);
        EXPECT_EQ(names, c.Out);
    }
}

TEST(UniqueNames, ListDeduplicationRenamesThingies)
{
    // TQORThingy names are stored as given; TKSN_Thingy names lose ':', '\', '/', '%'.
    std::vector<std::unique_ptr<TQORThingy>> plain;
    TQORNewStaticList<TQORThingy*> plainList;
    for (const char* name : {"50%grey", "50%GREY", "Skin", "50%grey"}) {
        plain.push_back(std::make_unique<TQORThingy>());
        plain.back()->SetName("%s", name);
        plainList.Add(plain.back().get());
    }
    MakeListItemNamesUnique_QORThingy(&plainList);
    EXPECT_STREQ(plain[0]->GetName(), "50%grey");
    EXPECT_STREQ(plain[1]->GetName(), "50%GREY1");
    EXPECT_STREQ(plain[2]->GetName(), "Skin");
    EXPECT_STREQ(plain[3]->GetName(), "50%grey2");

    std::vector<std::unique_ptr<TKSN_Thingy>> document;
    TQORNewStaticList<TKSN_Thingy*> documentList;
    for (const char* name : {"Body", "Body", "Head"}) {
        document.push_back(std::make_unique<TKSN_Thingy>());
        document.back()->SetName("%s", name);
        documentList.Add(document.back().get());
    }
    MakeListItemNamesUnique(&documentList);
    EXPECT_STREQ(document[1]->GetName(), "Body1");
    EXPECT_STREQ(document[2]->GetName(), "Head");

    MakeListItemNamesUnique(nullptr);
    TQORNewStaticList<TKSN_Thingy*> empty;
    MakeListItemNamesUnique(&empty);
}

TEST(UniqueNames, MorphNamesCompareUpToTheFirstColon)
{
    EXPECT_TRUE(Morph_NamesEqual("Smile:1", "SMILE"));
    EXPECT_TRUE(Morph_NamesEqual("a:b", "A:c"));
    EXPECT_TRUE(Morph_NamesEqual(":a", ""));
    EXPECT_FALSE(Morph_NamesEqual("Smile", "Smiles"));
    EXPECT_FALSE(Morph_NamesEqual("Smile:1", "Smile1"));
}

} // namespace
