// The tool-parameter panel's helpers; the panel itself is built by
// TKSN_MainWindow::AddToolParametersToNode (KSN_Gui_ToolPanel.cpp).
#pragma once

class TGui_Node;

// The caption width of a list parameter's drop-down box for a name of that
// width in pixels: at least 60, else the name and 10 pixels of room.
int KSN_ListCaptionWidth(int nameWidth);
