// Two small document classes that live beside the mesh and serve the painting
// and modelling tools.
//
// TKSN_TextureBrushImage: an image map holding a brush image for painting
// (the project's current brush image and its colourised variants, the
// touch-up brush's three images). It remembers the file it came from and its
// aspect ratio, and may own up to three cached objects derived from it. Only
// its name and file name are written to the project file, never its pixels.
//
// TKSN_ModelerParameterDescription: the base of the records a modelling tool
// attaches to a model undo snapshot so that the command can be redone. It
// keeps the mesh by ID (a mesh that is gone resolves to nothing), never by
// pointer.
//
// Main thread only.
#pragma once

#include "KSN_Thingy.h"
#include "QORImageMap.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

class TKSN_Mesh;
class TQOREvent;

class TKSN_TextureBrushImage : public TQORImageMap, public virtual TKSN_Thingy {
public:
    // Empty image, empty file name, aspect 0, no cached objects.
    TKSN_TextureBrushImage();
    // Destroys the cached objects that are set.
    ~TKSN_TextureBrushImage() override;

    // There is no binary form: both answer false and touch the file not at all.
    bool SaveToStream(FILE* file) override;
    bool LoadFromStream(FILE* file) override;
    // "texture" block named after the image: the basics and the file name.
    bool SaveToStream_Text(FILE* file, bool enabled) override;

    std::unique_ptr<TKSN_Thingy> cachedObjects[3];   // owned; null until set
    std::string fileName;   // empty for brushes made from pixel data
    float aspect = 0.0f;    // width / height, set when made from pixel data
};

// TODO(stub): stands for the project's symmetry settings, which belong to the
// project document; the project assigns these when it is built. Unassigned,
// symmetry counts as off and not flipped.
struct TKSN_ModelerProjectHooks {
    bool (*GetSymmetry)() = nullptr;
    bool (*GetSymmetryFlipped)() = nullptr;
};
extern TKSN_ModelerProjectHooks KSN_ModelerProjectHooks;

class TKSN_ModelerParameterDescription : public virtual TKSN_Thingy {
public:
    using TCommandCB = bool (*)(TQOREvent*);

    // Named "Modeler Parameter Description"; no mesh, parameter −1.
    TKSN_ModelerParameterDescription();
    ~TKSN_ModelerParameterDescription() override = default;

    // Records the application's selection mode, the mesh's ID, the callback,
    // the parameter, the project's symmetry settings and the mesh's symmetry axis.
    void Init(TKSN_Mesh* mesh, TCommandCB commandCB, int parameter);

    uint32_t meshID = 0;
    int32_t selectionMode = 0;
    int32_t parameter = -1;
    TCommandCB commandCB = nullptr;
    bool symmetry = false;
    bool symmetryFlipped = false;
    int32_t symmetryAxis = 0;
};
