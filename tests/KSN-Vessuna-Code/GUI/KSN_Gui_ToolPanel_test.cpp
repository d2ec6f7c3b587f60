// The tool-parameter panel and the mode-button bar in the main window: the
// widgets built from a tool's parameter records, the events they carry, the
// tool buttons built from the application's tool lists, and the callbacks
// that choose a tool by list index.
#include "KSN_MainWindowTestSupport.h"

#include "GuiButton.h"
#include "GuiDropDown.h"
#include "GuiGauge.h"
#include "GuiText.h"
#include "KSN_Gui_ModeBar.h"
#include "KSN_Gui_ToolPanel.h"
#include "KSN_Parameter.h"
#include "KSN_Tool.h"
#include "KSN_ToolList.h"
#include "QORMemory.h"

#include <cstring>
#include <functional>
#include <memory>

namespace {

// A tool whose parameters a test describes.
struct TPanelTool : TKSN_Tool {
    std::function<void(TPanelTool*)> Build;
    void UpdateParameters() override
    {
        if (Build) Build(this);
    }
};

TQORglutTexture* TestIcon(int width = 20, int height = 20)
{
    const std::string name = "TestIcon" + std::to_string(width) + "x" + std::to_string(height);
    if (TQORglutTexture* t = QORglut_Textures_GetTextureFromList(name.c_str())) return t;
    auto* pixels = static_cast<unsigned char*>(QORalloc(size_t(width) * height * 4));
    std::memset(pixels, 255, size_t(width) * height * 4);
    QORglut_Textures_AddToList(name.c_str(), pixels, width, height, true);
    return QORglut_Textures_GetTextureFromList(name.c_str());
}

// A tool of the list (the application deletes it), with an icon.
TPanelTool* AddTool(TKSN_ToolList* list, const char* name, TQORglutTexture* icon = TestIcon())
{
    auto* t = new TPanelTool;
    t->SetName("%s", name);
    t->SetHint("%s hint", name);
    t->Icon = icon;
    list->Add(t);
    return t;
}

template <class T>
std::vector<T*> ChildrenOf(TGui_Node* node)
{
    std::vector<T*> out;
    for (TGui_Node* c = node->FirstChild; c; c = c->Next)
        if (auto* t = dynamic_cast<T*>(c)) out.push_back(t);
    return out;
}

struct TListAnswers {
    int Count = 3, Current = 2;
    bool AnswersCurrent = true;
};
TListAnswers g_List;

bool ListCB(TQOREvent* e)
{
    static const char* names[] = {"Flat", "Round", "Spiky"};
    switch (e->GetCommand()) {
    case KSN_LIST_COUNT: e->intParameters[0] = g_List.Count; return true;
    case KSN_LIST_CURRENT:
        e->intParameters[0] = g_List.Current;
        return g_List.AnswersCurrent;
    case KSN_LIST_ITEM_NAME: e->AssignStringParameter(names[e->GetIndex() % 3], 0); return true;
    case KSN_LIST_ITEM_HINT:
        e->AssignStringParameter((std::string(names[e->GetIndex() % 3]) + " tip").c_str(), 0);
        return true;
    default: return false;
    }
}

struct TValueCall {
    int Command;
    uint32_t Owner;
    float Value;
    int Int1;
};
std::vector<TValueCall> g_ValueCalls;

void RecordValueCall(TQOREvent* e)
{
    KSN_RecordCommand(e);
    if (e->GetCommand() >= 68 && e->GetCommand() <= 70 && e->operationMode == 1)
        g_ValueCalls.push_back({e->GetCommand(), e->GetOwnerID(), e->floatParameters[0], e->intParameters[1]});
}

class ToolPanel : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        g_List = {};
        g_ValueCalls.clear();
        KestruneEvents_CommandListener = RecordValueCall;
    }
    void TearDown() override
    {
        App->currentTool = nullptr;
        MainWindowFixture::TearDown();
    }
    // Makes the tool current and builds the panel for it.
    TGui_Node* Build(TPanelTool* tool)
    {
        App->currentTool = tool;
        W().AddToolParametersToNode(W().ToolWindow, false);
        return W().ToolWindow;
    }
    static bool Pressed(TGui_Node* bar, TKSN_Tool* tool)
    {
        for (TKSN_ToolButton* b : ChildrenOf<TKSN_ToolButton>(bar))
            if (b->ToolID == tool->GetID()) return b->Pressed;
        return false;
    }
    static TKSN_ToolButton* ButtonOf(TGui_Node* bar, TKSN_Tool* tool)
    {
        for (TKSN_ToolButton* b : ChildrenOf<TKSN_ToolButton>(bar))
            if (b->ToolID == tool->GetID()) return b;
        return nullptr;
    }
    static std::unique_ptr<TQOREvent> Owned(int command)
    {
        auto e = std::make_unique<TQOREvent>(nullptr, 0, command);
        e->SetOwner(MainWindow);
        return e;
    }
};

} // namespace

// [SECTION] Tool-parameter panel

TEST_F(ToolPanel, TheSelectionBoxShowsTheListHoldingTheToolAndIsHiddenForAToolInNoList)
{
    AddTool(App->sculptTools, "Clay");
    TPanelTool* inflate = AddTool(App->sculptTools, "Inflate");
    App->sculptTools->reservedValue = 7;   // not a valid index: the first entry is shown

    TGui_Node* panel = Build(inflate);
    auto boxes = ChildrenOf<TGui_DropDownBox>(panel);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0]->Shown);
    EXPECT_STREQ(boxes[0]->GetName(), "Tool");
    EXPECT_STREQ(boxes[0]->Box->GetName(), "Clay");
    EXPECT_EQ(App->sculptTools->reservedValue, -1);
    EXPECT_EQ(boxes[0]->BoxWidth, 210 - boxes[0]->Arrow->Width);
    EXPECT_EQ(ChildrenOf<TGui_Separator>(panel).size(), 1u);
    ASSERT_NE(boxes[0]->GetMenu(), nullptr);
    EXPECT_EQ(RealItems(boxes[0]->GetMenu()).size(), 2u);

    TPanelTool loose;
    panel = Build(&loose);
    boxes = ChildrenOf<TGui_DropDownBox>(panel);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_FALSE(boxes[0]->Shown);
    EXPECT_TRUE(ChildrenOf<TGui_Separator>(panel).empty());
}

TEST_F(ToolPanel, ButtonRowsShareTheirWidthByNameAndMemberCount)
{
    TPanelTool tool;
    tool.Build = [](TPanelTool* t) {
        t->AddButtonParameterTriplet("", "", "A", "a", ListCB, 1, "B", "b", ListCB, 2, nullptr, nullptr, nullptr, -1);
        t->AddButtonParameterTriplet("Row", "row", "A", "a", ListCB, 1, "B", "b", ListCB, 2, "C", "c", ListCB, 3);
    };
    TGui_Node* panel = Build(&tool);
    auto rows = ChildrenOf<TGui_Node>(panel);
    std::vector<TGui_Node*> buttonRows;
    for (TGui_Node* r : rows)
        if (!ChildrenOf<TGui_Button>(r).empty() && !dynamic_cast<TGui_DropDownBox*>(r)) buttonRows.push_back(r);
    ASSERT_EQ(buttonRows.size(), 2u);
    Layout();

    struct TCase {
        int Row, X0, W, Visible;
    } const cases[] = {{0, 0, 105, 2}, {1, 75, 45, 3}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Row);
        auto buttons = ChildrenOf<TGui_Button>(buttonRows[size_t(c.Row)]);
        ASSERT_EQ(buttons.size(), 3u);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(buttons[size_t(i)]->Shown, i < c.Visible);
            if (i >= c.Visible) continue;
            EXPECT_EQ(buttons[size_t(i)]->X, c.X0 + i * c.W);
            EXPECT_EQ(buttons[size_t(i)]->Width, c.W);
        }
    }
    // The click event carries the member's command, callback and tool.
    TGui_Button* b = ChildrenOf<TGui_Button>(buttonRows[1])[2];
    ASSERT_NE(b->ClickEvent, nullptr);
    EXPECT_EQ(b->ClickEvent->GetCommand(), 3);
    EXPECT_EQ(b->ClickEvent->callback, &ListCB);
    EXPECT_EQ(b->ClickEvent->idParameters[0], tool.GetID());
    auto* member = dynamic_cast<TKSN_Parameter*>(__GetThingyFromID(b->ClickEvent->GetOwnerID()));
    ASSERT_NE(member, nullptr);
    EXPECT_STREQ(member->GetName(), "C");
}

TEST_F(ToolPanel, ASwitchRowWithoutAThirdValueGivesHalfWidthBoxes)
{
    bool a = true, b = false;
    TPanelTool tool;
    tool.Build = [&](TPanelTool* t) {
        t->AddBoolParameterTriplet("", "", "A", "a", &a, "B", "b", &b, "C", "c", nullptr);
    };
    TGui_Node* panel = Build(&tool);
    TGui_Node* row = nullptr;
    for (TGui_Node* r : ChildrenOf<TGui_Node>(panel))
        if (ChildrenOf<TGui_CheckBox>(r).size() == 3) row = r;
    ASSERT_NE(row, nullptr);
    auto boxes = ChildrenOf<TGui_CheckBox>(row);
    const int half = (panel->Width - 10) / 2;
    EXPECT_EQ(boxes[0]->Width, half);
    EXPECT_EQ(boxes[1]->X, half);
    EXPECT_TRUE(boxes[0]->Pressed);
    EXPECT_FALSE(boxes[1]->Pressed);
    EXPECT_FALSE(boxes[2]->Shown);
}

TEST_F(ToolPanel, ListCaptionsAreAtLeastSixtyPixels)
{
    struct TCase {
        int Name, Caption;
    } const cases[] = {{0, 60}, {49, 60}, {50, 60}, {51, 61}, {120, 130}};
    for (const TCase& c : cases) EXPECT_EQ(KSN_ListCaptionWidth(c.Name), c.Caption) << c.Name;
}

TEST_F(ToolPanel, AListShowsTheCurrentItemAndIsLeftOutWithoutItems)
{
    TPanelTool tool;
    tool.Build = [](TPanelTool* t) {
        auto* p = new TKSN_Parameter(t, "Shape", KSN_PARAM_LIST, reinterpret_cast<void*>(&ListCB), -1);
        p->SetHint("%s", "shape hint");
        t->Parameters->Add(p);
    };
    TGui_Node* panel = Build(&tool);
    auto boxes = ChildrenOf<TGui_DropDownBox>(panel);
    ASSERT_EQ(boxes.size(), 2u);   // the tool box (hidden) and the list
    TGui_DropDownBox* list = boxes[1];
    EXPECT_STREQ(list->Box->GetName(), "Spiky");
    EXPECT_STREQ(list->Box->GetHint(), "Spiky tip");
    EXPECT_EQ(list->Width, 210);
    EXPECT_EQ(list->BoxWidth, 210 - 60 - 16);
    auto items = RealItems(list->GetMenu());
    ASSERT_EQ(items.size(), 3u);
    ASSERT_NE(items[1]->ClickEvent, nullptr);
    EXPECT_EQ(items[1]->ClickEvent->GetCommand(), KSN_LIST_CHOOSE);
    EXPECT_EQ(items[1]->ClickEvent->GetIndex(), 1);
    EXPECT_EQ(items[1]->ClickEvent->callback, &ListCB);

    g_List.AnswersCurrent = false;
    panel = Build(&tool);
    EXPECT_STREQ(ChildrenOf<TGui_DropDownBox>(panel)[1]->Box->GetName(), "");

    g_List.Count = 0;
    panel = Build(&tool);
    EXPECT_EQ(ChildrenOf<TGui_DropDownBox>(panel).size(), 1u);
}

TEST_F(ToolPanel, GaugesCarryTheValueEventsWithTheParameterID)
{
    float strength = 0.5f;
    int steps = 3;
    TKSN_Parameter* percent = nullptr;
    TKSN_Parameter* count = nullptr;
    TPanelTool tool;
    tool.Build = [&](TPanelTool* t) {
        percent = t->AddPercentParameter("Strength", "how hard", &strength, 0.0f, 1.0f);
        percent->InvalidateOverlayOnChange = true;
        count = t->AddIntParameter("Steps", "how many", &steps, 1, 10);
    };
    TGui_Node* panel = Build(&tool);
    auto gauges = ChildrenOf<TGui_TextAndGauge>(panel);
    ASSERT_EQ(gauges.size(), 2u);
    EXPECT_EQ(gauges[0]->Width, 210);
    EXPECT_EQ(gauges[0]->CaptionWidth, 120);
    EXPECT_EQ(gauges[1]->CaptionWidth, 100);
    EXPECT_FLOAT_EQ(gauges[0]->Gauge->Value, 50.0f);
    EXPECT_FLOAT_EQ(gauges[0]->Gauge->Maximum, 100.0f);
    EXPECT_EQ(gauges[0]->Gauge->Decimals, 4);
    EXPECT_EQ(gauges[1]->Gauge->Decimals, 0);
    EXPECT_TRUE(g_ValueCalls.empty());   // building raises no value event

    gauges[0]->Gauge->SetValue(25.0f, true);
    gauges[1]->Gauge->SetValue(7.0f, true);
    ASSERT_EQ(g_ValueCalls.size(), 2u);
    EXPECT_EQ(g_ValueCalls[0].Command, 68);
    EXPECT_EQ(g_ValueCalls[0].Owner, percent->GetID());
    EXPECT_FLOAT_EQ(g_ValueCalls[0].Value, 25.0f);
    EXPECT_EQ(g_ValueCalls[0].Int1, 1);
    EXPECT_EQ(g_ValueCalls[1].Command, 69);
    EXPECT_EQ(g_ValueCalls[1].Owner, count->GetID());
    EXPECT_EQ(g_ValueCalls[1].Int1, 0);
}

TEST_F(ToolPanel, TheTabButtonsMarkTheCurrentTabAndTheToolTabShowsTheIcon)
{
    TPanelTool* tool = AddTool(App->paintTools, "Airbrush", TestIcon(24, 24));
    App->currentTool = tool;
    const float barColour[3] = {0.1f, 0.2f, 0.3f};
    std::copy(barColour, barColour + 3, W().ToolBar->BackgroundColor);
    for (int tab : {3, 1, 4}) {
        SCOPED_TRACE(tab);
        App->toolTypeTab = tab;
        W().UpdateTool();
        auto buttons = ChildrenOf<TGui_Button>(W().ToolBar);
        ASSERT_EQ(buttons.size(), 3u);
        EXPECT_EQ(buttons[0]->X, 1);
        EXPECT_EQ(buttons[1]->X, 1 + buttons[0]->Width);
        EXPECT_EQ(buttons[0]->Height, W().ToolBar->Height + 4);
        const int tabs[] = {3, 1, 4};
        for (int i = 0; i < 3; ++i) {
            const bool merged = std::equal(buttons[size_t(i)]->BackgroundColor, buttons[size_t(i)]->BackgroundColor + 3,
                                           W().ToolBar->BackgroundColor);
            EXPECT_EQ(merged, tabs[i] == tab) << i;
        }
        EXPECT_EQ(buttons[0]->ClickEvent->GetCommand(), 416);
        EXPECT_EQ(buttons[0]->ClickEvent->intParameters[0], 3);
        EXPECT_EQ(buttons[2]->ClickEvent->GetCommand(), 419);
        // Each tab button holds its picture as a 20 x 20 child.
        for (TGui_Button* b : buttons) {
            ASSERT_NE(b->FirstChild, nullptr);
            EXPECT_NE(b->FirstChild->GetGraphic(), nullptr);
        }
    }
    EXPECT_EQ(W().ToolTabButton->GetGraphic(), tool->Icon);
    EXPECT_FALSE(ChildrenOf<TGui_DropDownBox>(W().ToolWindow).empty());
}

// [SECTION] Mode bar

TEST_F(ToolPanel, TheModeBarShowsTheListsOfTheToolTypeTab)
{
    TPanelTool* select = AddTool(App->selectionTools, "Lasso");
    TPanelTool* paint = AddTool(App->paintTools, "Pen");
    TPanelTool* deform = AddTool(App->deformationTools, "Move");
    TPanelTool* model = AddTool(App->modelingTools, "Extrude");
    struct TCase {
        int Tab;
        bool Paint, Deform, Model;
    } const cases[] = {{0, false, false, false}, {1, false, true, false}, {3, true, false, false},
                       {4, false, true, true}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Tab);
        App->toolTypeTab = c.Tab;
        W().UpdateModeButtons();
        TGui_Node* bar = W().ModeButtonBar;
        ASSERT_NE(ButtonOf(bar, select), nullptr);
        EXPECT_EQ(ButtonOf(bar, paint) != nullptr, c.Paint);
        EXPECT_EQ(ButtonOf(bar, deform) != nullptr, c.Deform);
        EXPECT_EQ(ButtonOf(bar, model) != nullptr, c.Model);
        if (c.Paint) {
            EXPECT_GT(ButtonOf(bar, paint)->Y, ButtonOf(bar, select)->Y);
        }
        EXPECT_NE(W().BrushShapeButton, nullptr);
        EXPECT_NE(W().BrushImageButton, nullptr);
        EXPECT_NE(W().ColorSwatch, nullptr);
        // The logo shows its own picture at the picture's size.
        TGui_Node* logo = bar->FirstChild;
        ASSERT_NE(logo, nullptr);
        EXPECT_STREQ(logo->GetName(), "Updates...");
        ASSERT_NE(logo->GetGraphic(), nullptr);
        EXPECT_EQ(logo->Width, logo->GetGraphic()->GetWidth());
        EXPECT_EQ(logo->X, 6);
    }
}

TEST_F(ToolPanel, ANullEntryAfterAnOddCountStartsANewRow)
{
    TKSN_ToolList list;
    TPanelTool a, b, c, d;
    for (TPanelTool* t : {&a, &b, &c, &d}) t->Icon = TestIcon();
    struct TCase {
        std::vector<TPanelTool*> Entries;
        int LastX, LastY;   // the last button's corner (x includes the 6-pixel inset)
    } const cases[] = {
        {{&a, nullptr, &b}, 6, 22},         // new row after one tool
        {{&a, &b, nullptr, &c}, 6, 22},     // after two the row had already ended
        {{&a, &b, &c, nullptr, &d}, 6, 42},
    };
    for (const TCase& k : cases) {
        list.Clear();
        for (TPanelTool* t : k.Entries) list.Add(t);
        TGui_Node bar;
        bar.SetSize(52, 400);
        int x = 0, y = 2;
        CreateToolListIcons2(&list, &bar, x, y);
        auto buttons = ChildrenOf<TKSN_ToolButton>(&bar);
        ASSERT_FALSE(buttons.empty());
        EXPECT_EQ(buttons.back()->X, k.LastX);
        EXPECT_EQ(buttons.back()->Y, k.LastY);
        EXPECT_EQ(buttons.back()->ClickEvent->GetCommand(), 152);
        EXPECT_EQ(buttons.back()->ButtonMode, 2);
    }
    list.Clear();
}

TEST_F(ToolPanel, ExactlyTheCurrentToolsButtonIsPressedAfterAChoice)
{
    TPanelTool* lasso = AddTool(App->selectionTools, "Lasso");
    TPanelTool* box = AddTool(App->selectionTools, "Box");
    App->toolTypeTab = 0;
    W().UpdateModeButtons();
    for (int index : {1, 0, 1}) {
        auto e = Owned(index);
        EXPECT_TRUE(TKSN_MainWindow::SelectBrushCB(e.get()));
        Layout();
        EXPECT_EQ(Pressed(W().ModeButtonBar, lasso), index == 0);
        EXPECT_EQ(Pressed(W().ModeButtonBar, box), index == 1);
        int pressed = 0;
        for (TKSN_ToolButton* b : ChildrenOf<TKSN_ToolButton>(W().ModeButtonBar)) pressed += b->Pressed;
        EXPECT_EQ(pressed, 1);
    }
    EXPECT_GE(CountQueued(431), 3);
}

TEST_F(ToolPanel, ToolCallbacksRejectAStrangeOwnerAndChangeNothingOutsideTheList)
{
    TPanelTool* lasso = AddTool(App->selectionTools, "Lasso");
    App->selectionTools->Add(nullptr);
    auto first = Owned(0);
    ASSERT_TRUE(TKSN_MainWindow::SelectBrushCB(first.get()));
    ASSERT_EQ(App->currentTool, lasso);
    QOREvents_Clean();

    for (int index : {-1, 1, 2, 99}) {
        SCOPED_TRACE(index);
        auto e = Owned(index);
        EXPECT_FALSE(TKSN_MainWindow::SelectBrushCB(e.get()));
        EXPECT_EQ(App->currentTool, lasso);
        EXPECT_EQ(App->selectionTools->reservedValue, 0);
        EXPECT_EQ(QOREvents_GetEventCount(), 0);
    }

    TQOREvent stranger(nullptr, 0, 0);
    stranger.SetOwner(lasso);
    try {
        TKSN_MainWindow::SelectSculptCB(&stranger);
        ADD_FAILURE() << "no exception";
    } catch (const std::exception& x) {
        EXPECT_NE(std::string(x.what()).find("This == NULL in callback, Type = TKSN_MainWindow"), std::string::npos);
    }
}

TEST_F(ToolPanel, ChoosingTheCurrentNavigationToolAgainGoesBack)
{
    AddTool(App->navigationTools, "Move view");
    auto e = Owned(0);
    ASSERT_TRUE(TKSN_MainWindow::SelectNavigationToolsCB(e.get()));
    EXPECT_EQ(CountQueued(151), 1);
    EXPECT_EQ(QOREvents_PeekEvent(QOREvents_GetEventCount() - 1)->intParameters[0], 6);
    QOREvents_Clean();
    ASSERT_TRUE(TKSN_MainWindow::SelectNavigationToolsCB(e.get()));
    EXPECT_EQ(CountQueued(154), 1);
    EXPECT_EQ(CountQueued(151), 0);
}

TEST_F(ToolPanel, AnInactiveTextureKeepsRedAndAlpha)
{
    for (bool alpha : {true, false}) {
        const int depth = alpha ? 4 : 3;
        auto* pixels = static_cast<unsigned char*>(QORalloc(size_t(depth) * 4));
        for (int i = 0; i < 4; ++i) {
            unsigned char px[4] = {200, 100, 50, 255};
            std::memcpy(pixels + i * depth, px, size_t(depth));
        }
        TQORglutTexture t(pixels, 2, 2, alpha);
        MakeTextureInactive(&t, true);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(pixels[i * depth + 0], 200);
            EXPECT_EQ(pixels[i * depth + 1], 0);
            EXPECT_EQ(pixels[i * depth + 2], 0);
            if (alpha) {
                EXPECT_EQ(pixels[i * depth + 3], 255);
            }
        }
    }
    MakeTextureInactive(nullptr, false);
}
