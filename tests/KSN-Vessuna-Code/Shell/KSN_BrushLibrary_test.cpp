// The brush libraries, built from small folder trees made in the test.
#include "KSN_ShellTestSupport.h"

#include "KSN_BrushLibrary.h"

namespace {

class BrushLibraryTest : public ShellFixture {
protected:
    void SetUp() override
    {
        ShellFixture::SetUp();
        App = new TKSN_Application("Kestrune");
        App->InitializeTools();
    }
    void Touch(const std::string& relative) { WriteFile(Main / relative, "x"); }

    // "group[item item]{child...}" of a whole library, for one comparison.
    static std::string Describe(TKSN_TreeGroup* group)
    {
        std::string s = group->GetName();
        s.append("[");
        for (int i = 0; i < group->items->Count(); ++i) {
            if (i) s.append(" ");
            s.append((*group->items)[i]->GetName());
        }
        s.append("]");
        for (TKSN_TreeGroup* c = group->GetChild(); c; c = c->GetNext()) {
            s.append("{");
            s.append(Describe(c));
            s.append("}");
        }
        return s;
    }
};

TEST_F(BrushLibraryTest, ImageLibraryMirrorsItsFolderInNameOrder)
{
    Touch("Images/set/b.png");
    Touch("Images/set/A.jpg");
    Touch("Images/set/c.txt");
    Touch("Images/zeta/z.bmp");
    Touch("Images/Alpha/x.TIFF");
    Touch("Images/Alpha/x2.gif");
    Touch("Images/Alpha/deeper/d.tga");
    Touch("Images/top.png");
    App->UpdateBrushImageLibraryFromDisc();
    EXPECT_EQ(Describe(App->brushImageLibrary),
              "Images[___NoTexture ___LoadTexture top]{Alpha[x]{deeper[d]}}{set[A b]}{zeta[z]}");

    auto* entry = dynamic_cast<TBrushImageLibraryEntry*>((*App->brushImageLibrary->GetChild()->items)[0]);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(std::string(entry->folder), MainPath() + "Images/Alpha/");
    EXPECT_STREQ(entry->extension, "TIFF");
    auto* special = dynamic_cast<TBrushImageLibraryEntry*>((*App->brushImageLibrary->items)[0]);
    EXPECT_STREQ(special->folder, "");

    // Rebuilding after files went away drops their entries.
    fs::remove_all(Main / "Images" / "set");
    App->UpdateBrushImageLibraryFromDisc();
    EXPECT_EQ(Describe(App->brushImageLibrary),
              "Images[___NoTexture ___LoadTexture top]{Alpha[x]{deeper[d]}}{zeta[z]}");
}

TEST_F(BrushLibraryTest, ShapeLibraryNamesFoldersWithoutExtension)
{
    Touch("BrushShapes/01-Simple/Simple-0001.png");
    Touch("BrushShapes/01-Soft.set/s.png");
    App->UpdateBrushShapesFromDisc();
    EXPECT_EQ(Describe(App->brushShapeLibrary), "Shapes[___LoadTexture]{01-Simple[Simple-0001]}{01-Soft[s]}");
    EXPECT_FALSE(App->brushShapeLibrary->IsEnabled());
}

TEST_F(BrushLibraryTest, EntriesWithOddNamesKeepThePathOfTheirFile)
{
    struct Case {
        const char* file;      // below BrushShapes/odd/
        const char* display;   // the name the library shows
    };
    const Case cases[] = {
        {"soft 50%.png", "soft 50_"},
        {"a:b.png", "a_b"},
        {"line\nbreak.png", "linebreak"},
        {" spaced .png", "spaced"},
        {"plain.png", "plain"},
    };
    for (const Case& c : cases) Touch(std::string("BrushShapes/odd/") + c.file);
    App->UpdateBrushShapesFromDisc();
    TKSN_TreeGroup* odd = App->brushShapeLibrary->GetChild();
    ASSERT_NE(odd, nullptr);
    ASSERT_EQ(odd->items->Count(), int(std::size(cases)));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TBrushImageLibraryEntry* found = nullptr;
        for (TKSN_Thingy* item : *odd->items)
            if (std::string(item->GetName()) == c.display) found = dynamic_cast<TBrushImageLibraryEntry*>(item);
        ASSERT_NE(found, nullptr) << "no entry named " << c.display;
        EXPECT_EQ(found->GetFilePath(), MainPath() + "BrushShapes/odd/" + c.file);
        EXPECT_TRUE(fs::exists(found->GetFilePath()));
    }
    auto* special = dynamic_cast<TBrushImageLibraryEntry*>((*App->brushShapeLibrary->items)[0]);
    ASSERT_NE(special, nullptr);
    EXPECT_EQ(special->GetFilePath(), "");
}

TEST_F(BrushLibraryTest, MissingFoldersLeaveOnlyTheSpecialEntries)
{
    App->UpdateBrushImageLibraryFromDisc();
    App->UpdateBrushShapesFromDisc();
    EXPECT_EQ(Describe(App->brushImageLibrary), "Images[___NoTexture ___LoadTexture]");
    EXPECT_EQ(Describe(App->brushShapeLibrary), "Shapes[___LoadTexture]");
}

using BrushLibraryCallbacks = ShellFixture;

TEST_F(BrushLibraryCallbacks, NoCurrentGroupRaises)
{
    TKSN_BrushImageTreeGroup* current = nullptr;
    EXPECT_THROW(UpdateBrushImageLibrary_OnVisitFolder("/a/", &current), std::logic_error);
    EXPECT_THROW(UpdateBrushImageLibrary_OnVisitFile("/a/", "b.png", &current), std::logic_error);
    UpdateBrushImageLibrary_OnExitFolder("/a/", &current);   // nothing to do
}

} // namespace
