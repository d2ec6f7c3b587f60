// Menus and keyboard shortcuts: TGui_Menu (a pop-up list of items living at
// the top level of a master's tree, hidden until popped up), TGui_MenuText
// (one item: a button that acts on the press, may show a check mark, carry a
// hover sub-menu and an underlined hot-key letter), TGui_MenuBar (the strip
// of titles at the top of the canvas) and TGui_HotKeyNode (an invisible
// top-level node binding a key to a prepared event).
//
// Invariants:
// - A menu is created hidden; Popup shows it, keeps it 10 pixels off the
//   right and bottom edges and hides every other top-level menu except its
//   own chain of parent menus (ParentMenuID).
// - A menu holds its opener by ID (Opener is the pointer as it was given,
//   read only through GetOpener) and its parent menu by ID; items hold their
//   sub-menus by ID. Whatever no longer resolves is absent.
// - A menu taller than the canvas is cut to the canvas and scrolls by hovering
//   near its edges; ContentHeight keeps the full height of the items.
#pragma once

#include "GuiButton.h"

class TGui_Text;

class TGui_Menu : public TGui_Node {
public:
    explicit TGui_Menu(TGui_Node* parent = nullptr);
    ~TGui_Menu() override;

    // A new last item; the item owns event. Text "-" makes a separator.
    class TGui_MenuText* AddTextItem(const char* text, TQOREvent* event, const char* hint);
    // Shows the menu at canvas position (x, y), opened by opener (may be null).
    void Popup(TGui_Node* opener, int x, int y);
    // Queues a copy of RefreshEvent (the application may refill the menu).
    virtual void OnPopup();
    // The node that popped the menu up, or null when none or gone.
    TGui_Node* GetOpener();
    // The parent menu (ParentMenuID), or null.
    TGui_Menu* GetParentMenu();

    void UpdateSize() override;
    void OnIdle() override;
    void OnExit(int x, int y, TGui_Node* entered) override;

    float MinMenuWidth = 100.0f;
    float MinMenuHeight = 20.0f;
    uint32_t ParentMenuID = 0;
    int32_t ContentHeight = 0;   // pixels: the items' full height
    TGui_Node* Opener = nullptr;
    uint32_t OpenerID = 0;
    TQOREvent* RefreshEvent = nullptr;   // owned
};

class TGui_MenuText : public TGui_Button {
public:
    explicit TGui_MenuText(TGui_Node* parent = nullptr);

    using TGui_Node::SetName;
    void SetName(const char* name, bool update);
    bool CloseMenusOnClick() override;
    void OnEnter(int x, int y) override;
    void OnExit(int x, int y, TGui_Node* entered) override;
    void OnMouse(int button, int state, int x, int y) override;
    bool OnSpecialKeyPress(int key) override;
    void UpdateSize() override;
    void Hide() override;
    void Draw() override;
    bool IsSeparator() const;

    TGui_Text* Shortcut = nullptr;   // a child; its text is set by the application
    bool Selected = false;
    bool ShowCheckMark = false;
};

class TGui_MenuBar : public TGui_Node {
public:
    explicit TGui_MenuBar(TGui_Node* parent = nullptr);
    void UpdateSize() override;
    void Draw() override;
};

class TGui_HotKeyNode : public TGui_Node {
public:
    // Takes event; modifiers 1 Shift, 2 Ctrl, 4 Alt; specialKey 0 for a character binding.
    TGui_HotKeyNode(TGui_Node* parent, unsigned char key, int specialKey, TQOREvent* event, int modifiers,
                    bool ignoreShift);
    void Draw() override {}
};
