// TODO(stub): stands for the main window TKSN_MainWindow until the main window,
// its panels and dialogs exist. It holds the message panel (a real GUI node
// whose lines are text children, not yet drawn) and the pending list that the
// shell's message hooks write to, shows them through the declared interface
// TKSN_MessageTarget, and draws an empty grey frame.
#pragma once

#include "GuiNode.h"
#include "KSN_MessageHooks.h"

#include <memory>

class TKSN_MainWindow : public TKSN_MessageTarget {
public:
    // Builds the message panel, registers the display callback with the
    // GLUT-like layer and itself as the hooks' message target.
    TKSN_MainWindow(int window, void* nativeHandle);
    ~TKSN_MainWindow() override;
    TKSN_MainWindow(const TKSN_MainWindow&) = delete;
    TKSN_MainWindow& operator=(const TKSN_MainWindow&) = delete;

    // TODO(stub): builds the splash window; nothing to build yet.
    void SetupSplashScreen() {}
    // The progress hook; TODO(stub): shows no progress yet.
    static void DoProgress() {}
    // Brackets the frame with the OS layer's drawing flag, clears it to the
    // interface grey, swaps, then shows the texts queued during the frame.
    static void DisplayCB();

    // `marked` puts "[b]>[/b] " before the text; `clearFirst` empties the
    // panel first. TODO(stub): no word wrap and no repeat-line replacement.
    static void DoPrintMessage(TGui_Node* panel, const char* text, bool marked, bool clearFirst, bool red,
                               int command);
    virtual void PrintHint(TGui_Node* node, const char* text);

    // TKSN_MessageTarget
    bool HasMessagePanel() const override { return messagePanel != nullptr; }
    void PrintToPanel(const char* text, bool red, int32_t command) override;
    void PrintHintToPanel(const char* text) override { PrintHint(messagePanel.get(), text); }
    void FlashPanel(bool style) override { messagePanel->Flash(style); }
    void EmptyPanel() override { messagePanel->Empty(); }
    void PrintDebugLine(const char* text) override;
    TKSN_PendingMessageList& PendingMessages() override { return pendingMessages; }

    std::unique_ptr<TGui_Node> messagePanel;
    TKSN_PendingMessageList pendingMessages;
    std::string lastHint;
};

extern TKSN_MainWindow* MainWindow;
// The debug window and its list box: null unless the debug window is open.
extern TGui_Node* DebugWindow;
extern TGui_Node* DebugWindowListBox;
// When true, DoPrintMessage flashes the panel when it replaces a repeated line.
extern bool DoFlashOnRepeatMessage;
