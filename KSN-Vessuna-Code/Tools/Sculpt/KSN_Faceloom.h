// The head-morphing tool and its template.
//
// A template ("fs01.dat" in the data folder) is a tree of categories (parts
// of the head), sections (named preset selections of the mesh) and
// transforms (move, bulge, scale, rotate, smooth, artifact removal, flatten
// with a range per axis). Each transform carries random factors; applying the
// template writes into the current object's current morph target through the
// move, bulge and scale deformers' vertex rules, a rotation of its own and
// the smoothing routine. The random state is saved as a settings text into a
// tool undo node, so undo brings the head back exactly.
//
// What the tool needs of the project comes through TKSN_FaceloomProjectHooks.
// Main thread only.
#include "KSN_Deformer.h"

#ifndef KSN_FACELOOM_H
#define KSN_FACELOOM_H

#include <string>

#include "QORNewStaticList.h"

class TKSN_Selection;
class TKSN_FaceloomTemplate;
class TKSN_FaceloomCategory;
class TKSN_FaceloomSection;

// A named list of owned text lines; a document object so that an undo node can carry it.
class TKSN_StringList : public virtual TKSN_Thingy {
public:
    TKSN_StringList() : Lines(8) {}
    void Add(const std::string& line) { Lines.Add(line); }
    int Count() const { return Lines.Count(); }
    const std::string& operator[](int i) const { return Lines[i]; }
    TQORNewStaticList<std::string> Lines;
};

enum : int {
    KSN_FACELOOM_TRANSLATE = 1,
    KSN_FACELOOM_BULGE = 2,
    KSN_FACELOOM_SCALE = 3,
    KSN_FACELOOM_ROTATE = 4,
    KSN_FACELOOM_SMOOTH = 5,
    KSN_FACELOOM_ARTIFACT_REMOVAL = 6,
    KSN_FACELOOM_FLATTEN = 7,
};

class TKSN_FaceloomTransform : public virtual TKSN_Thingy {
public:
    TKSN_FaceloomTransform(int kind, TKSN_FaceloomSection* owner);
    // Applies the current values to the selection's vertices, adding to morph
    // and to the resolved positions.
    void Process(TKSN_Mesh* mesh, TKSN_Morph* morph, TKSN_Selection* selection, const float* centre,
                 const float* mirroredCentre);

    int Kind;
    TKSN_FaceloomSection* Owner;
    float Random[3] = {0, 0, 0};
    bool RandomFlag = false;
    float Low[3], High[3], Base[3], Current[3];
    int MirrorAxis = -1;
    float Exponent = 1.0f;
};

class TKSN_FaceloomSection : public virtual TKSN_Thingy {
public:
    explicit TKSN_FaceloomSection(TKSN_FaceloomCategory* owner) : Owner(owner), Transforms(4) {}
    ~TKSN_FaceloomSection() override;
    TKSN_Selection* FindSelection(TKSN_Mesh* mesh);
    void Process(TKSN_Mesh* mesh, TKSN_Morph* morph);
    void GenerateSelections(TKSN_Mesh* mesh);

    TKSN_FaceloomCategory* Owner;
    TQORNewStaticList<TKSN_FaceloomTransform*> Transforms;
    bool Optional = false;
};

class TKSN_FaceloomCategory : public virtual TKSN_Thingy {
public:
    explicit TKSN_FaceloomCategory(TKSN_FaceloomTemplate* owner) : Owner(owner), Sections(4) {}
    ~TKSN_FaceloomCategory() override;
    void GenerateRandomValues();
    void UpdateValues();

    TKSN_FaceloomTemplate* Owner;
    TQORNewStaticList<TKSN_FaceloomSection*> Sections;
    bool Hidden = false;
};

class TKSN_FaceloomTemplate : public virtual TKSN_Thingy {
public:
    TKSN_FaceloomTemplate() : Categories(8) {}
    ~TKSN_FaceloomTemplate() override;
    // Replaces the categories by the file's; a file that cannot be opened keeps them.
    void LoadTemplate(const char* path);
    void ResetValues();
    void GetSettings(TKSN_StringList* list);
    void SetSettings(TKSN_StringList* list);
    void Process(TKSN_Mesh* mesh);
    bool InitializeMorph(TKSN_Mesh* mesh);
    void ProcessCategory(TKSN_Mesh* mesh, TKSN_FaceloomCategory* category);
    void GenerateSelections(TKSN_Mesh* mesh);

    TQORNewStaticList<TKSN_FaceloomCategory*> Categories;
    float Symmetry = 0.5f;
    float Strength = 1.0f;
    float SliderMaximum = 2.0f;
    float Touchup = 1.0f;
    TKSN_Morph* Morph = nullptr;   // not owned
    bool Incomplete = false;
};

// The rotation of one vertex by weight x angles (degrees, x then y then z)
// about origin; mirrored across mirrorAxis for vertices on its negative side.
void RotatePoint(const float* base, const float* resolved, const float* normal, float* out, const float* angles,
                 float weight, const float* origin, int mirrorAxis);

// What the head-morphing tool needs of the project.
struct TKSN_FaceloomProjectHooks {
    TKSN_Object* (*GetCurrentObject)() = nullptr;
    void (*CreateCurrentMorphForMeshIfNecessary)(TKSN_Mesh* mesh) = nullptr;
    // Opens an undo step (the morph undo) named name.
    void (*BeforeDeform)(const char* name, bool currentObjectOnly) = nullptr;
    // Records a tool node (kind 1010) carrying payload; false (payload not
    // taken) when undo is off.
    bool (*AddToolUndoNode)(TKSN_Tool* tool, TKSN_Thingy* payload) = nullptr;
    void (*OnShapeChanged)(TKSN_Object* object) = nullptr;
    // The application's deformer list, for the transforms' vertex rules.
    TKSN_Tool* (*FindDeformer)(bool (*test)(TKSN_Tool*)) = nullptr;
};
void KSN_SetFaceloomProjectHooks(const TKSN_FaceloomProjectHooks& hooks);
const TKSN_FaceloomProjectHooks& KSN_GetFaceloomProjectHooks();
// The selection-set services of the file interchange (which sits above the
// project): importing a set for the current object, and giving the current
// object its preset selections from the data base when it lacks them.
void KSN_SetFaceloomSelectionSetHooks(void (*importSet)(const char* path), void (*autoLoad)());

class TKSN_Faceloom : public virtual TKSN_Deformer {
public:
    TKSN_Faceloom();
    ~TKSN_Faceloom() override;
    bool DirectionIsEnabled() override { return false; }
    bool IsDirectionEverUsed() override { return false; }
    void UpdateParameters() override;
    void OnDeactivate(TKSN_Mesh* mesh) override;
    // The undo of a tool node: restores the saved settings (a TKSN_StringList)
    // and returns a new list with the settings they replaced, for the inverse
    // node; null (nothing changed) for any other payload or without a template.
    TKSN_StringList* SwapSettings(TKSN_Thingy* saved);
    static bool CommandCB(TQOREvent* event);
    // The command's work for the current object (the panel's buttons).
    bool RunCommand(int command);

    std::unique_ptr<TKSN_FaceloomTemplate> Template;
    float Symmetry = 0.5f;

private:
    void RecordUndo(const char* name, bool currentObjectOnly);
    void PrepareMorph(TKSN_Object* object, TKSN_Mesh* mesh);
};

#endif // KSN_FACELOOM_H
