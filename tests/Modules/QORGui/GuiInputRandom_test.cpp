// A seeded random run of input over a tree of windows, menus and buttons:
// presses, releases, motion, keys, wheel, idle ticks, window and menu
// operations, deletions between events and reshapes down to 0 x 0. Run under
// AddressSanitizer it shows that no tracked node is touched after deletion.
#include "GuiFont.h"
#include "GuiHint.h"
#include "GuiMaster.h"
#include "GuiText.h"
#include "GuiWidgets.h"
#include "QOREvents.h"
#include "QORglut.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

namespace {

// Nodes the application may delete: not the master's own parts (hint node,
// menu bar, title bars, close buttons, shortcut texts), which their owners hold.
bool Deletable(TGui_Master& m, TGui_Node* n)
{
    for (TGui_Node* a = n; a; a = a->Parent) {
        if (a == m.HintNode || a == m.MenuBar || a->IsControl) return false;
        if (dynamic_cast<TGui_CloseButton*>(a)) return false;
        if (auto* item = dynamic_cast<TGui_MenuText*>(a->Parent); item && item->Shortcut == a) return false;
    }
    return n != &m;
}

void Collect(TGui_Node* first, std::vector<TGui_Node*>& out)
{
    for (TGui_Node* n = first; n; n = n->Next) {
        out.push_back(n);
        Collect(n->FirstChild, out);
        Collect(n->FirstControl, out);
    }
}

void Populate(TGui_Master& m, std::mt19937& rng)
{
    std::uniform_int_distribution<int> pos(-50, 700), size(0, 300);
    auto* w = new TGui_Window(&m);
    w->SetPosition(pos(rng), pos(rng));
    w->SetSize(size(rng), size(rng));
    TGui_Button* b = w->AddButton("[u]O[/u]K", 10, 10, "Closes the dialog");
    b->ClickEvent = new TQOREvent(900);
    w->AddCheckBox("Wire", 10, 40, nullptr)->ClickEvent = new TQOREvent(901);
    auto* field = new TGui_EditField(w);
    field->NoFocus = false;
    TGui_Menu* menu = m.AddMenu();
    for (const char* t : {"[u]N[/u]ew", "-", "[u]S[/u]ave", "Close"})
        menu->AddTextItem(t, new TQOREvent(902), "An item");
    TGui_Menu* sub = m.AddMenu();
    sub->ParentMenuID = menu->GetID();
    sub->AddTextItem("[u]D[/u]eeper", new TQOREvent(903), nullptr);
    TGui_MenuText* more = menu->AddTextItem("More", nullptr, nullptr);
    more->SetPopupMenu(sub);
    more->PopupOnHover = rng() % 2;
    TGui_Button* opener = m.AddMenuButton(menu, "Menu", pos(rng), pos(rng), nullptr);
    opener->PopupPlacement = int(rng() % 8);
    opener->Draggable = true;
    opener->Movable = rng() % 2;
    if (TGui_MenuBar* bar = m.MenuBar) bar->AddMenuButton(menu, "[u]F[/u]ile", 0, 0, nullptr);
    auto* list = new TGui_ListBox(w);
    list->SetPosition(120, 10);
    list->SetSize(100, 80);
    list->ItemsDraggable = true;
    list->DragDropEvent = new TQOREvent(904);
    for (const char* t : {"a", "b", "c"}) list->AddItem(t, 0);
    new TGui_HotKeyNode(&m, 'h', 0, new TQOREvent(905), 0, false);
    new TGui_HotKeyNode(&m, 0, QORGLUT_KEY_F1, new TQOREvent(906), 0, false);
}

TEST(GuiInputRandom, TenThousandSeededEventsOverWindowsMenusAndButtons)
{
    QORglutWigits_SetFontToArial();
    QOREvents_Clean();
    std::mt19937 rng(20261211);
    auto master = std::make_unique<TGui_Master>();
    TGui_Master& m = *master;
    m.Reshape(800, 600);
    m.Clock.Stop();
    double now = 10.0;
    m.Clock.SetTime(now);
    m.AddMenuBar();
    for (int i = 0; i < 3; ++i) Populate(m, rng);

    std::uniform_int_distribution<int> kind(0, 99), x(-40, 840), y(-40, 640);
    const unsigned char keys[] = {'o', 'O', 'n', 's', 'd', 'f', 'h', 'x', 8, 13, 27, 127, ' '};
    const int specials[] = {QORGLUT_KEY_UP, QORGLUT_KEY_DOWN, QORGLUT_KEY_LEFT, QORGLUT_KEY_HOME, QORGLUT_KEY_F1};
    auto pick = [&](auto pred) -> TGui_Node* {
        std::vector<TGui_Node*> all, fit;
        Collect(m.FirstChild, all);
        for (TGui_Node* n : all)
            if (pred(n)) fit.push_back(n);
        return fit.empty() ? nullptr : fit[rng() % fit.size()];
    };
    for (int step = 0; step < 10000; ++step) {
        now += (rng() % 4) * 0.05;
        m.Clock.SetTime(now);
        int k = kind(rng);
        if (k < 15) {
            m.ProcessMouseButton(int(rng() % 3), 0, x(rng), y(rng), int(rng() % 8));
        } else if (k < 28) {
            m.ProcessMouseButton(int(rng() % 3), 1, x(rng), y(rng), int(rng() % 8));
        } else if (k < 40) {
            if (m.CanConsiderMouseMovement()) m.ProcessMouseMotion(x(rng), y(rng));
        } else if (k < 55) {
            m.ProcessPassiveMouseMotion(x(rng), y(rng));
        } else if (k < 63) {
            m.ProcessKey(keys[rng() % sizeof keys], 0, 0, int(rng() % 8));
        } else if (k < 67) {
            m.ProcessSpecialKey(specials[rng() % 5], 0, 0, int(rng() % 4));
        } else if (k < 69) {
            m.ProcessMouseWheel(rng() % 2 ? 1 : -1);
        } else if (k < 70) {
            m.ProcessDoubleClick(x(rng), y(rng), 0);
        } else if (k < 73) {
            m.ProcessIdle();
        } else if (k < 80) {
            m.LayoutTree();
        } else if (k < 84) {
            if (TGui_Node* n = pick([&](TGui_Node* c) { return Deletable(m, c); })) n->DeletePending = true;
            if (rng() % 2) m.LayoutTree();
        } else if (k < 86) {
            const int sizes[][2] = {{0, 0}, {1, 1}, {800, 600}, {300, 150}, {1, 600}};
            const int* s = sizes[rng() % 5];
            m.Reshape(s[0], s[1]);
        } else if (k < 93) {
            auto* w = static_cast<TGui_Window*>(pick([](TGui_Node* c) { return dynamic_cast<TGui_Window*>(c); }));
            if (w) {
                switch (rng() % 4) {
                case 0: w->Show(); break;
                case 1: w->ShowModal(); break;
                case 2: w->Execute(); break;
                default: w->Hide(); break;
                }
            }
        } else if (k < 97) {
            auto* menu = static_cast<TGui_Menu*>(pick([](TGui_Node* c) { return dynamic_cast<TGui_Menu*>(c); }));
            TGui_Node* opener = pick([](TGui_Node*) { return true; });
            if (menu) menu->Popup(rng() % 2 ? opener : nullptr, x(rng), y(rng));
        } else if (k < 99) {
            if (TGui_Node* n = pick([](TGui_Node*) { return true; })) n->SetEnabled(rng() % 4 != 0);
        } else {
            Populate(m, rng);
        }
        if (QOREvents_GetEventCount() > 1000) QOREvents_Clean();

        // What the master tracks resolves or is cleared; sizes never go negative.
        if (m.ActiveWindowID) {
            ASSERT_NE(dynamic_cast<TGui_Window*>(__GetThingyFromID(m.ActiveWindowID)), nullptr);
        }
        for (int i = 0; i < m.ModalWindows.Count(); ++i) ASSERT_NE(m.GetModalWindow(i), nullptr);
        std::vector<TGui_Node*> all;
        Collect(m.FirstChild, all);
        for (TGui_Node* n : all) {
            ASSERT_GE(n->Width, 0) << step;
            ASSERT_GE(n->Height, 0) << step;
        }
    }
    m.Reshape(800, 600);
    m.LayoutTree();
    std::vector<TGui_Node*> all;
    Collect(m.FirstChild, all);
    for (TGui_Node* n : all)
        if (auto* w = dynamic_cast<TGui_Window*>(n); w && w->Parent == &m) {
            EXPECT_LE(w->X, 800 - 20);
            EXPECT_LE(w->Y, 600 - 20);
            EXPECT_GE(w->X + w->Width, 20);
            EXPECT_GE(w->Y + w->Height, 20);
        }
    master.reset();
    QOREvents_Clean();
}

} // namespace
