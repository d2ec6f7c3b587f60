// Drawing helpers shared by the window and menu families of this folder.
#pragma once

class TGui_Node;

// The title-bar strip over the node's rectangle (fire theme up to pixel e,
// or the theme gradient), its raised bevel and its name. GL.
void Gui_DrawTitleStrip(TGui_Node& node, int e);
