// The small window that edits one material of one object: a row per listed
// channel with its colour, its map and its strength (and offset for bump and
// displacement). All edits go through commands; the window only shows the
// material and raises them. It deletes itself once hidden or orphaned.
#pragma once

#include "KSN_MainWindow_Panels.h"

#include <cstdint>

class TKSN_Object;
class TQORMaterial;

class TKSN_SingleMaterialEditorWindow : public TKSN_SubWindow {
public:
    explicit TKSN_SingleMaterialEditorWindow(TGui_Node* parent);
    // Nothing for a null material; otherwise builds, centres and shows.
    void Execute(TKSN_Object* object, TQORMaterial* material);
    // Rebuilds the rows, or queues 441 and marks itself when the material
    // or the object is gone.
    void Update();
    void Hide() override;
    void OnUpdateContents() override;
    void AddMaterialProperties(TQORMaterial* material, TKSN_Object* object);

    uint32_t MaterialID = 0;
    uint32_t ObjectID = 0;
};

// Finds the live window of the material of ID slot 1 (object in ID slot 0):
// integer slot 0 = 1 raises and flashes it, any other value hides it; without
// one a new window opens at a random offset from the centre. True only when a
// window was opened; false for a missing object or material.
bool OnExpandMaterial(TQOREvent* event);
