// The material editor window on a real material of a real object: channel
// rows, the offset gauge of bump channels, unavailable channels, the map box
// events, the literal title and the window's end with its object.
#include "KSN_MainWindowTestSupport.h"

#include "GuiButton.h"
#include "GuiDropDown.h"
#include "GuiGauge.h"
#include "GuiText.h"
#include "KSN_Gui_MaterialEditor.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"
#include "QORTree.h"

namespace {

class MaterialEditor : public MainWindowFixture {
protected:
    TKSN_Object* Object = nullptr;
    TQORMaterial* Material = nullptr;
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        Object = new TKSN_Object();
        Object->SetName("%s", "Head 100%");
        Object->Mesh.reset(new TKSN_Mesh(Object));
        Object->Mesh->Create(3, 3, 3, 1);
        Project->Objects->AddItem(Object);
        Material = KSN_NewMaterial("Skin %d");
        Object->Mesh->Materials->AddItem(Material);
    }
    TQORMaterialChannel* Channel(const char* name, bool listed = true)
    {
        auto* ch = new TQORMaterialChannel();
        ch->SetName("%s", name);
        ch->Listed = listed;
        Material->ArbChannels.Add(ch);
        return ch;
    }
    template <class T>
    static std::vector<T*> In(TGui_Node* n)
    {
        std::vector<T*> out;
        for (TGui_Node* c = n->FirstChild; c; c = c->Next)
            if (auto* t = dynamic_cast<T*>(c)) out.push_back(t);
        return out;
    }
    // The row whose first text is the channel's name.
    static TGui_Node* RowOf(TGui_Node* window, const char* name)
    {
        for (TGui_Node* r = window->FirstChild; r; r = r->Next) {
            auto texts = In<TGui_Text>(r);
            if (!texts.empty() && std::string(texts[0]->GetName()) == name) return r;
        }
        return nullptr;
    }
};

} // namespace

TEST_F(MaterialEditor, BumpInAnyCaseGetsAnOffsetGaugeAndUnavailableChannelsAreDisabled)
{
    Material->ArbChannels.Clear();
    TQORMaterialChannel* bump = Channel("bUMP");
    bump->UseStrength = false;
    TQORMaterialChannel* gloss = Channel("Gloss");
    gloss->Unsupported = true;
    Channel("Hidden", false);
    auto* w = new TKSN_SingleMaterialEditorWindow(&W());
    w->Execute(Object, Material);
    // Document names store '%' as '_'; the title takes the names as they are.
    EXPECT_EQ(std::string(w->GetName()), std::string(Material->GetName()) + " (" + Object->GetName() + ")");

    TGui_Node* row = RowOf(w, "bUMP");
    ASSERT_NE(row, nullptr);
    auto gauges = In<TGui_Gauge>(row);
    ASSERT_EQ(gauges.size(), 1u);
    EXPECT_EQ(gauges[0]->X, w->MarginX + 95 + 125 + 2 + 4);
    EXPECT_EQ(gauges[0]->ChangeEvent->GetCommand(), 171);
    EXPECT_TRUE(bump->UseOffset);

    TGui_Node* na = RowOf(w, "Gloss");
    ASSERT_NE(na, nullptr);
    EXPECT_FALSE(na->IsEnabled());
    EXPECT_STREQ(In<TGui_Text>(na)[0]->GetHint(), Lang.GetText(1178));
    EXPECT_EQ(RowOf(w, "Hidden"), nullptr);
}

TEST_F(MaterialEditor, TheMapBoxRaisesNoneAndDropsWithTheChannelsIDs)
{
    Material->ArbChannels.Clear();
    TQORMaterialChannel* color = Channel("Color");
    auto* map = new TQORMaterialMapSource();
    map->SetName("%s", "Skin map");
    Project->Maps->AddItem(map);
    auto* w = new TKSN_SingleMaterialEditorWindow(&W());
    w->Execute(Object, Material);
    TGui_Node* row = RowOf(w, "Color");
    ASSERT_NE(row, nullptr);
    auto boxes = In<TGui_DropDownBox>(row);
    ASSERT_EQ(boxes.size(), 1u);
    TGui_DropDownBox* box = boxes[0];
    EXPECT_STREQ(box->Box->GetName(), Lang.GetText(611));
    auto items = RealItems(box->GetMenu());
    ASSERT_EQ(items.size(), 2u);
    TQOREvent* none = items[0]->ClickEvent;
    EXPECT_EQ(none->GetCommand(), 468);
    EXPECT_EQ(none->idParameters[3], 0u);
    EXPECT_EQ(none->idParameters[0], color->GetID());
    EXPECT_EQ(none->idParameters[2], Material->GetID());
    EXPECT_EQ(items[1]->ClickEvent->idParameters[3], map->GetID());
    EXPECT_TRUE(items[1]->Draggable);

    QOREvents_Clean();
    const std::string payload = "Map " + std::to_string(map->GetID());
    box->Box->DragDropReceive(payload.c_str(), 5, 5);
    ASSERT_EQ(QOREvents_GetEventCount(), 1);
    TQOREvent* drop = QOREvents_PeekEvent(0);
    EXPECT_EQ(drop->GetCommand(), 375);
    EXPECT_STREQ(drop->GetStringParameter(0), payload.c_str());
    EXPECT_STREQ(drop->GetStringParameter(1), "Color");
    EXPECT_EQ(drop->idParameters[0], color->GetID());
    EXPECT_EQ(drop->idParameters[1], Object->Mesh->GetID());
    EXPECT_EQ(drop->idParameters[2], Material->GetID());
}

TEST_F(MaterialEditor, DeletingTheObjectRemovesTheWindowAtTheNextRefresh)
{
    auto* w = new TKSN_SingleMaterialEditorWindow(&W());
    w->Execute(Object, Material);
    ASSERT_FALSE(w->DeletePending);
    Project->Objects->items->Remove(Object);
    delete Object;
    Object = nullptr;
    QOREvents_Clean();
    w->Update();
    EXPECT_TRUE(w->DeletePending);
    EXPECT_EQ(CountQueued(441), 1);
    EXPECT_EQ(w->FirstChild, nullptr);
    Layout();   // the toolkit deletes it
    bool found = false;
    for (TGui_Node* c = W().FirstChild; c; c = c->Next) found = found || c == w;
    EXPECT_FALSE(found);
}
