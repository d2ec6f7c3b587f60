// The mode-button bar: tool buttons that show which tool is current, and the
// dimming of a GUI image for disabled buttons.
#pragma once

#include "GuiButton.h"

#include <cstdint>

class TKSN_ToolList;
class TQORglutTexture;

// A tool's icon button; it draws pressed exactly while its tool is current,
// and a click never flips that state (the command handler changes the tool).
class TKSN_ToolButton : public TGui_Button {
public:
    TKSN_ToolButton(TGui_Node* parent, int toolID);
    void OnUpdateContents() override;

    uint32_t ToolID = 0;
};

// One tool button per tool of the list, two to a row, starting at (x, y);
// x and y come back as the position after the last button. A null entry
// ends a half-filled row.
void CreateToolListIcons2(TKSN_ToolList* list, TGui_Node* bar, int& x, int& y);

// Keeps only the red channel (and alpha) of a GUI image and drops its GL
// texture so the changed pixels are uploaded again. The flag is not used.
void MakeTextureInactive(TQORglutTexture* texture, bool unused);
