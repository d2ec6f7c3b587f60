// TGui_DropDownBox lets the user choose one entry of a list: a caption, a box
// showing the chosen entry and an arrow button, side by side; box and arrow
// open a pop-up menu whose items are the entries. Each entry carries the
// event choosing it raises, so the box knows nothing of what entries mean:
// its owner fills it with AddItem and empties it with EmptyMenu.
//
// Invariants:
// - The entries live in a menu under the master, held by ID (MenuID) and
//   marked DeletePending with the box; a box made before its tree had a
//   master has no menu and holds no entries. A menu deleted elsewhere simply
//   leaves an empty box.
// - The shown choice is only the box's name; emptying keeps it.
// - The open list is at least as wide as the box.
#pragma once

#include "GuiWidgets.h"

class TGui_Text;
class TGui_DropDownBoxButton;

class TGui_DropDownBox : public TGui_Node {
public:
    explicit TGui_DropDownBox(TGui_Node* parent = nullptr);
    ~TGui_DropDownBox() override;

    // Appends an entry whose choice queues a copy of event (the entry owns
    // it); null when the box has no menu, and the event is deleted then.
    TGui_MenuText* AddItem(const char* text, TQOREvent* event, const char* hint);
    void EmptyMenu();
    TGui_Menu* GetMenu();
    void UpdateSize() override;

    uint32_t MenuID = 0;
    TGui_Text* Caption = nullptr;
    TGui_Button* Box = nullptr;
    TGui_DropDownBoxButton* Arrow = nullptr;
    int32_t BoxWidth = 50;   // pixels
};

class TGui_DropDownBoxButton : public TGui_Button {
public:
    explicit TGui_DropDownBoxButton(TGui_Node* parent = nullptr);
    bool OnClick(int x, int y) override;
    void Draw() override;
};
