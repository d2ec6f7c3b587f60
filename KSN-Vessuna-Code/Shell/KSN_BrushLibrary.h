// The brush-shape and brush-image libraries.
//
// Each library mirrors a folder tree beside the data folder: one
// TKSN_BrushImageTreeGroup per folder, one TBrushImageLibraryEntry per image
// file (accepted by its extension alone). The top groups are the application
// object's brushImageLibrary ("Images", main folder + "Images/") and
// brushShapeLibrary ("Shapes", main folder + "BrushShapes/"). A scan replaces
// the whole library; within every group the subgroups and the file entries are
// in name order (ignoring case), after the special entries of the top group.
#pragma once

#include <cstdint>
#include <string>

#include "KSN_Application.h"
#include "QORTree.h"

class TQORImageMap;

// A tree group of the brush libraries; its items are TBrushImageLibraryEntry.
class TKSN_BrushImageTreeGroup : public TKSN_TreeGroup {
public:
    TKSN_BrushImageTreeGroup() = default;
};

// One image file of a library, or a special entry ("___NoTexture",
// "___LoadTexture") with an empty folder, extension and file name. The
// display name is the file's name without extension as SetName stores it
// (':' '%' become '_'), so it may name no file: the file is found through
// GetFilePath, never through the name.
class TBrushImageLibraryEntry : public virtual TKSN_Thingy {
public:
    TBrushImageLibraryEntry() = default;
    ~TBrushImageLibraryEntry() override;
    char folder[KSN_APP_PATH_BUFFER] = {};      // with a trailing "/"
    char extension[KSN_APP_PATH_BUFFER] = {};   // as on disk, without the dot
    std::string fileName;                       // as on disk, with its extension
    // folder + fileName: the image file itself; empty for a special entry.
    std::string GetFilePath() const { return fileName.empty() ? std::string() : folder + fileName; }
    TQORImageMap* thumbnail = nullptr;          // 32 x 32, made by the library panel; owned
};

// Frees a thumbnail; the materials subsystem installs the deleter of its image
// maps at start-up (null: thumbnails are never made, nothing to free).
using TKSN_ThumbnailDeleter = void (*)(TQORImageMap* thumbnail);
extern TKSN_ThumbnailDeleter KSN_DeleteBrushThumbnail;

// The folder-walk callbacks of a scan; `context` is the scan's state, whose
// first member is the current-group pointer.
void UpdateBrushImageLibrary_OnVisitFolder(const char* folder, void* context);
void UpdateBrushImageLibrary_OnExitFolder(const char* folder, void* context);
void UpdateBrushImageLibrary_OnVisitFile(const char* folder, const char* name, void* context);

// Name order ignoring case: true / negative when a comes before b.
bool CompareThingyNames(TQORThingy* a, TQORThingy* b);
int TQORStaticList_CompareThingyNames(TKSN_Thingy*& a, TKSN_Thingy*& b);
