// Tool parameter records: the builders, display ranges, deletion by bound
// pointer and the change message.
#include "KSN_Parameter.h"
#include "KSN_Tool.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

bool Pressed(TQOREvent*) { return true; }

class TBareTool : public TKSN_Tool {};

TEST(ToolParameters, BuildersMakeRecordsOfTheirKind)
{
    TBareTool tool;
    float f = 0.25f;
    int i = 3;
    bool b = true;
    TKSN_Parameter* percent = tool.AddPercentParameter("Size", "How big", &f, 0.01f, 1.0f);
    EXPECT_EQ(percent->Type, KSN_PARAM_FLOAT);
    EXPECT_TRUE(percent->Percent);
    EXPECT_FLOAT_EQ(percent->GetFloatMinDisplay(), 1.0f);
    EXPECT_FLOAT_EQ(percent->GetFloatMaxDisplay(), 100.0f);
    EXPECT_FLOAT_EQ(percent->GetFloatMin(), 0.01f) << "stored as fractions";
    EXPECT_STREQ(percent->GetHint(), "How big");
    EXPECT_EQ(percent->Command, -1);
    EXPECT_EQ(percent->Tool, &tool);

    TKSN_Parameter* plain = tool.AddFloatParameter("Float", nullptr, &f, -2.0f, 2.0f);
    EXPECT_FALSE(plain->Percent);
    EXPECT_FLOAT_EQ(plain->GetFloatMinDisplay(), -2.0f);
    TKSN_Parameter* integer = tool.AddIntParameter("Int", "", &i, 1, 9);
    EXPECT_EQ(integer->GetIntMax(), 9);
    EXPECT_EQ(tool.AddBoolParameter("Bool", "", &b)->Type, KSN_PARAM_BOOL);
    TKSN_Parameter* button = tool.AddButtonParameter("Go", "", Pressed, 77);
    EXPECT_EQ(button->Command, 77);
    EXPECT_EQ(button->RightClickCommand, -1);
    EXPECT_EQ(button->Data, reinterpret_cast<void*>(Pressed));
    TKSN_Parameter* separator = tool.AddParameterSeparator(nullptr, nullptr);
    EXPECT_STREQ(separator->GetName(), "") << "a null caption leaves the name empty";
    EXPECT_EQ(separator->Type, KSN_PARAM_SEPARATOR);
    EXPECT_EQ(tool.AddLabelParameter("Text", "100% sure")->Type, KSN_PARAM_LABEL);
    EXPECT_STREQ((*tool.Parameters)[6]->GetHint(), "100% sure") << "hints are taken literally";
    EXPECT_EQ(tool.Parameters->Count(), 7);
    EXPECT_EQ(tool.GetParameterFromPtr(&i), integer);
    EXPECT_EQ(tool.GetParameterFromPtr(&f), percent) << "the first bound record";
}

TEST(ToolParameters, TripletsAndPairsOwnTheirMembers)
{
    TBareTool tool;
    TKSN_Parameter* buttons = tool.AddButtonParameterTriplet("Row", "Hint", "One", "", Pressed, 1, "Two", "", nullptr,
                                                             2, "Three", "", Pressed, 3);
    EXPECT_EQ(buttons->Type, KSN_PARAM_BUTTON_TRIPLET);
    EXPECT_EQ(buttons->Command, 0);
    ASSERT_NE(buttons->First, nullptr);
    EXPECT_EQ(buttons->Second, nullptr) << "no callback, no button";
    ASSERT_NE(buttons->Third, nullptr);
    EXPECT_EQ(buttons->Third->Command, 3);
    EXPECT_STREQ(buttons->Third->GetName(), "Three");

    TKSN_Parameter* first = tool.AddButtonParameterTriplet("Row", "", "One", "", nullptr, 1, "Two", "", nullptr, 2,
                                                           "Three", "", nullptr, 3);
    EXPECT_NE(first->First, nullptr) << "the first button always exists";

    bool a = false, b = false, c = false;
    TKSN_Parameter* switches = tool.AddBoolParameterTriplet("Dir", "", "H", "", &a, "V", "", &b, "D", "", &c);
    EXPECT_EQ(switches->Second->Data, &b);
    EXPECT_EQ(switches->Third->Type, KSN_PARAM_BOOL_TRIPLET);
    int x = 0, y = 0;
    TKSN_Parameter* pair = tool.AddIntParameterPair("Pair", "", "X", "", &x, 0, 10, "Y", "", &y, -5, 5);
    EXPECT_EQ(pair->Second->GetIntMin(), -5);
    EXPECT_EQ(pair->Third, nullptr);
    EXPECT_EQ(tool.Parameters->Count(), 4) << "members are not in the list";
    EXPECT_EQ(tool.GetParameterFromPtr(&b), nullptr) << "members are not searched";
}

// Counts the records alive through their destructors.
int Alive = 0;
class TCountedTool : public TKSN_Tool {
public:
    TKSN_Parameter* Add(const char* name, void* data)
    {
        auto* p = new TCounted(this, name, data);
        Parameters->Add(p);
        return p;
    }
    struct TCounted : TKSN_Parameter {
        TCounted(TKSN_Tool* tool, const char* name, void* data) : TKSN_Parameter(tool, name, KSN_PARAM_BOOL, data, -1)
        {
            ++Alive;
        }
        ~TCounted() override { --Alive; }
    };
};

TEST(ToolParameters, DeletingByPointerRemovesTheFirstBoundRecordOnly)
{
    Alive = 0;
    {
        TCountedTool tool;
        bool shared = false, other = false;
        tool.Add("A", &shared);
        tool.Add("B", &other);
        tool.Add("C", &shared);
        tool.DeleteParameter(&shared);
        ASSERT_EQ(tool.Parameters->Count(), 2);
        EXPECT_STREQ((*tool.Parameters)[0]->GetName(), "B");
        EXPECT_STREQ((*tool.Parameters)[1]->GetName(), "C");
        EXPECT_EQ(Alive, 2);
        int unbound = 0;
        tool.DeleteParameter(&unbound);
        EXPECT_EQ(tool.Parameters->Count(), 2) << "no record bound: nothing changes";

        // A triplet head takes its three members with it.
        TKSN_Parameter* head = tool.Add("Head", nullptr);
        head->First = new TCountedTool::TCounted(&tool, "1", &other);
        head->Second = new TCountedTool::TCounted(&tool, "2", &other);
        head->Third = new TCountedTool::TCounted(&tool, "3", &other);
        EXPECT_EQ(Alive, 6);
        tool.DeleteParameter(nullptr);
        EXPECT_EQ(Alive, 2);

        const int capacity = tool.Parameters->Capacity();
        tool.ClearParameters();
        EXPECT_EQ(tool.Parameters->Count(), 0);
        EXPECT_EQ(Alive, 0);
        EXPECT_EQ(tool.Parameters->Capacity(), capacity) << "storage stays allocated";
        tool.Add("Kept", &other);
    }
    EXPECT_EQ(Alive, 0) << "the tool deletes its records";
}

TEST(ToolParameters, ChangeMessagesShowValuesAndNamesLiterally)
{
    TBareTool tool;
    tool.SetName("%s", "Brush");
    float f = 0.254f;
    int i = -7;
    bool on = true;
    struct Case {
        TKSN_Parameter* parameter;
        std::string text;
    } cases[] = {
        {tool.AddFloatParameter("Float", "", &f, 0, 1), "Brush - Float - 0.25"},
        {tool.AddPercentParameter("Size", "", &f, 0, 1), "Brush - Size - 25"},
        {tool.AddIntParameter("Int", "", &i, -9, 9), "Brush - Int - -7"},
        {tool.AddBoolParameter("Bool", "", &on), "Brush - Bool - ON"},
    };
    for (const Case& c : cases) EXPECT_EQ(KSN_ParameterChangeMessage(c.parameter), c.text);
    on = false;
    EXPECT_EQ(KSN_ParameterChangeMessage(cases[3].parameter), "Brush - Bool - OFF");

    tool.SetName("%s", std::string(1200, 'n').c_str());
    const std::string longText = KSN_ParameterChangeMessage(cases[0].parameter);
    EXPECT_EQ(longText.size(), 999u) << "cut at 999 bytes, no buffer overrun";
}

} // namespace

namespace {

// A tool with a list of three kinds, the second disabled, served through the list protocol.
class TListTool : public TKSN_Tool {
public:
    int Kind = 1;
    static bool ListCB(TQOREvent* event)
    {
        TListTool* tool = KSN_GetListParameterTool<TListTool>(event);
        if (!tool) return false;
        static const char* const names[3] = {"Round", "Square", "Star"};
        switch (event->GetCommand()) {
        case KSN_LIST_ITEM_NAME:
            event->AssignStringParameter(names[event->GetIndex()], 0);
            event->intParameters[0] = event->GetIndex() == 1 ? 1 : 0;
            return true;
        case KSN_LIST_ITEM_HINT: event->AssignStringParameter("a kind", 0); return true;
        case KSN_LIST_CURRENT: event->SetIndex(tool->Kind); return true;
        case KSN_LIST_CHOOSE: tool->Kind = event->GetIndex(); return true;
        case KSN_LIST_COUNT: event->intParameters[0] = 3; return true;
        default: return false;
        }
    }
    void UpdateParameters() override
    {
        auto* list = new TKSN_Parameter(this, "Kind", KSN_PARAM_LIST, reinterpret_cast<void*>(ListCB), -1);
        list->SetHint("%s", "Which kind");
        Parameters->Add(list);
    }
};

TEST(ToolParameters, ListCallbacksFindTheirToolThroughTheParameterID)
{
    TListTool tool;
    TBareTool other;
    tool.UpdateAllParameters();
    TKSN_Parameter* list = (*tool.Parameters)[0];
    auto ask = [&](uint32_t owner, int command, int index = 0) {
        auto event = std::make_unique<TQOREvent>(nullptr, owner, command);
        event->SetIndex(index);
        const bool answered = TListTool::ListCB(event.get());
        return std::make_pair(answered, std::move(event));
    };
    auto [counted, count] = ask(list->GetID(), KSN_LIST_COUNT);
    ASSERT_TRUE(counted);
    EXPECT_EQ(count->intParameters[0], 3);
    auto [named, name] = ask(list->GetID(), KSN_LIST_ITEM_NAME, 1);
    EXPECT_TRUE(named);
    EXPECT_STREQ(name->GetStringParameter(0), "Square");
    EXPECT_EQ(name->intParameters[0], 1) << "disabled";
    EXPECT_TRUE(ask(list->GetID(), KSN_LIST_CHOOSE, 2).first);
    EXPECT_EQ(tool.Kind, 2);
    EXPECT_EQ(ask(list->GetID(), KSN_LIST_CURRENT).second->GetIndex(), 2);

    TKSN_Parameter* foreign = other.AddBoolParameter("B", "", nullptr);
    EXPECT_FALSE(ask(foreign->GetID(), KSN_LIST_COUNT).first) << "a parameter of another kind of tool";
    EXPECT_FALSE(ask(tool.GetID(), KSN_LIST_COUNT).first) << "the owner is not a parameter";
    const uint32_t gone = list->GetID();
    tool.ClearParameters();
    EXPECT_FALSE(ask(gone, KSN_LIST_COUNT).first) << "a deleted parameter";
}

} // namespace
