// The pop-up browser of a brush library (brush images or brush shapes): the
// library's folders as a tree with rows of 32 x 32 thumbnails, and, for
// brush images, the "Texture Options" section. Thumbnails are made once per
// library entry and kept by the entry, so rebuilding reads no file again.
#pragma once

#include "GuiNode.h"

#include <cstdint>
#include <string>

class TKSN_ManagerNode;
class TKSN_TreeGroup;
class TQORImageMap;

class TKSN_BrushTextureManagerNode : public TGui_Node {
public:
    explicit TKSN_BrushTextureManagerNode(TGui_Node* parent);
    void Update();
    void UpdateBrushLibrary();
    void UpdateBrushLibraryRecurse(TKSN_TreeGroup* group, int level);

    TGui_Node* Frame = nullptr;
    TKSN_ManagerNode* Tree = nullptr;
    TGui_Node* Options = nullptr;
    uint32_t LibraryID = 0;
    int32_t PickCommand = -1;
    int32_t LoadCommand = -1;
    bool Shapes = false;   // the library is the brush shape library
};

// A folder's name as the browser shows it: without its leading digits and one
// '-', '.' or '_' after them, unless that leaves nothing.
std::string KSN_BrushFolderDisplayName(const char* name);

// Files read for thumbnails since start-up (the cache keeps this low).
extern int KSN_BrushThumbnailFilesRead;
