// The brush library browser on real folders of real images in a temporary
// folder (one file unreadable): folder names, thumbnail rows, the cached
// thumbnails, inverted shapes and the texture options.
#include "KSN_MainWindowTestSupport.h"

#include "GuiButton.h"
#include "GuiText.h"
#include "KSN_BrushLibrary.h"
#include "KSN_Gui_BrushBrowser.h"
#include "KSN_Gui_ManagerLists.h"
#include "QORImage.h"
#include "QORImageMap.h"
#include "QORMemory.h"

#include <fstream>

namespace {

class BrushBrowser : public MainWindowFixture {
protected:
    TKSN_BrushImageTreeGroup* Root = nullptr;
    std::filesystem::path Folder;

    void SetUp() override
    {
        MainWindowFixture::SetUp();
        Folder = Store.Folder / "Images";
        std::filesystem::create_directories(Folder);
        Root = new TKSN_BrushImageTreeGroup();
        Root->SetName("%s", "Images");
        Root->RegisterForLookup();
    }
    void TearDown() override
    {
        delete Root;
        MainWindowFixture::TearDown();
    }
    // A real image file of one grey level, and its library entry.
    TBrushImageLibraryEntry* AddImage(TKSN_TreeGroup* group, const std::string& name, unsigned char grey)
    {
        std::vector<unsigned char> px(8 * 8 * 3, grey);
        EXPECT_TRUE(SaveMapToFile((Folder / (name + ".png")).c_str(), px.data(), 8, 8, false));
        return AddEntry(group, name, "png");
    }
    TBrushImageLibraryEntry* AddEntry(TKSN_TreeGroup* group, const std::string& name, const char* ext)
    {
        auto* e = new TBrushImageLibraryEntry();
        e->SetName("%s", name.c_str());
        std::snprintf(e->folder, sizeof e->folder, "%s/", Folder.c_str());
        std::snprintf(e->extension, sizeof e->extension, "%s", ext);
        e->fileName = name + "." + ext;
        group->AddItem(e);
        return e;
    }
    TKSN_BrushTextureManagerNode* Browser(int width = 300, int height = 350)
    {
        auto* b = new TKSN_BrushTextureManagerNode(&W());
        b->SetSize(width, height);
        b->LibraryID = Root->GetID();
        b->PickCommand = 484;
        b->LoadCommand = 366;
        b->Update();
        return b;
    }
    static std::vector<TKSN_ManagerListItem*> Rows(TKSN_BrushTextureManagerNode* b)
    {
        std::vector<TKSN_ManagerListItem*> out;
        for (TGui_Node* c = b->Tree->List->FirstChild; c; c = c->Next)
            if (auto* r = dynamic_cast<TKSN_ManagerListItem*>(c)) out.push_back(r);
        return out;
    }
    static std::vector<TGui_Node*> Thumbs(TKSN_ManagerListItem* row)
    {
        std::vector<TGui_Node*> out;
        for (TGui_Node* c = row->FirstChild; c; c = c->Next)
            if (c->Width == 32 && c->Height == 32) out.push_back(c);
        return out;
    }
};

} // namespace

TEST_F(BrushBrowser, FolderNamesLoseTheirLeadingNumber)
{
    const std::pair<const char*, const char*> cases[] = {
        {"123", "123"}, {"007-Hair", "Hair"}, {"5_", "5_"}, {"Skin", "Skin"}, {"01_Skin", "Skin"}, {"2.Rock", "Rock"}};
    for (const auto& c : cases) EXPECT_EQ(KSN_BrushFolderDisplayName(c.first), c.second) << c.first;
}

TEST_F(BrushBrowser, NineThumbnailsFitA300WidePanelAndTheTenthWraps)
{
    std::vector<TBrushImageLibraryEntry*> entries;
    const char* names[] = {"b0", "b1", "b2", "b3", "b4", "b5", "b6", "b7", "b8", "b9"};
    for (const char* name : names) entries.push_back(AddImage(Root, name, 40));
    TKSN_BrushTextureManagerNode* b = Browser();
    auto rows = Rows(b);
    ASSERT_EQ(rows.size(), 3u);   // the root, two thumbnail rows
    auto first = Thumbs(rows[1]);
    ASSERT_EQ(first.size(), 9u);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(first[size_t(i)]->X, 12 + 32 * i);
    auto second = Thumbs(rows[2]);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0]->X, 12);
    // A click picks the entry.
    ASSERT_NE(first[3]->ClickEvent, nullptr);
    EXPECT_EQ(first[3]->ClickEvent->GetCommand(), 484);
    EXPECT_EQ(first[3]->ClickEvent->GetOwnerID(), entries[3]->GetID());
    EXPECT_EQ(first[3]->ClickEvent->callback, nullptr);
}

TEST_F(BrushBrowser, ThumbnailsAreCachedWhiteWhenUnreadableAndInvertedForShapes)
{
    TBrushImageLibraryEntry* dark = AddImage(Root, "Dark", 0);
    std::ofstream(Folder / "Broken.png") << "not an image";
    TBrushImageLibraryEntry* broken = AddEntry(Root, "Broken", "png");
    TBrushImageLibraryEntry* load = AddEntry(Root, "___LoadTexture", "");
    load->fileName.clear();
    const int before = KSN_BrushThumbnailFilesRead;
    TKSN_BrushTextureManagerNode* b = Browser();
    EXPECT_EQ(KSN_BrushThumbnailFilesRead, before + 2);
    ASSERT_NE(dark->thumbnail, nullptr);
    ASSERT_NE(broken->thumbnail, nullptr);
    EXPECT_EQ(dark->thumbnail->GetPixels()[0], 0);
    EXPECT_EQ(broken->thumbnail->GetPixels()[0], 255);
    EXPECT_EQ(Thumbs(Rows(b)[1])[2]->ClickEvent->GetCommand(), 366);

    b->Update();
    EXPECT_EQ(KSN_BrushThumbnailFilesRead, before + 2);   // nothing read again

    // The same image in the shape library shows inverted.
    auto* shapes = new TKSN_BrushImageTreeGroup();
    shapes->SetName("%s", "Shapes");
    TKSN_BrushImageTreeGroup* saved = App->brushShapeLibrary;
    App->brushShapeLibrary = shapes;
    TBrushImageLibraryEntry* dab = AddImage(shapes, "Dab", 0);
    shapes->RegisterForLookup();
    auto* sb = new TKSN_BrushTextureManagerNode(&W());
    sb->SetSize(300, 200);
    sb->LibraryID = shapes->GetID();
    sb->Options->Hide();
    sb->Update();
    ASSERT_NE(dab->thumbnail, nullptr);
    EXPECT_EQ(dab->thumbnail->GetPixels()[0], 255);
    EXPECT_EQ(sb->Tree->Height, sb->Frame->Height - 2);
    EXPECT_EQ(sb->Frame->Height, 200 - 2);
    App->brushShapeLibrary = saved;
    delete shapes;
}

TEST_F(BrushBrowser, ACollapsedFolderShowsOnlyItsRowAndTheTextureOptionsNeedABrushImage)
{
    auto* hair = new TKSN_BrushImageTreeGroup();
    hair->SetName("%s", "007-Hair");
    hair->collapsed = true;
    Root->LinkChild(hair);
    AddImage(hair, "Strand", 90);
    TKSN_BrushTextureManagerNode* b = Browser();
    auto rows = Rows(b);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_STREQ(rows[1]->TextNode->GetName(), "Hair");
    ASSERT_NE(rows[1]->CollapseButton, nullptr);
    EXPECT_TRUE(rows[1]->CollapseButton->Collapsed);
    EXPECT_EQ(rows[1]->ClickEvent->GetOwnerID(), hair->GetID());

    int boxes = 0;
    for (TGui_Node* c = b->Options->FirstChild; c; c = c->Next)
        if (auto* box = dynamic_cast<TGui_CheckBox*>(c)) {
            ++boxes;
            EXPECT_FALSE(box->IsEnabled());
            for (TGui_Node* s = box->FirstChild; s; s = s->Next) EXPECT_FALSE(s->IsEnabled());
        }
    EXPECT_EQ(boxes, 4);

    hair->collapsed = false;
    b->Update();
    EXPECT_EQ(Rows(b).size(), 3u);
}
