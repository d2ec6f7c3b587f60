// Importing figure files (CR2) with their morph targets and materials.
//
// The import streams the figure file twice through TKSN_CR2Parser, which
// tracks the brace depth and whether an actor, the figure block or a material
// block is open. The first pass finds the linked geometry ("figureResFile")
// and checks the braces; the second pass reads every actor's "targetGeom"
// blocks into read-only morphs (one read-only morph group per actor, all
// inside one group named after the file) and applies the figure's material
// entries. Partial morphs that one BODY dial drives are collected per dial and
// joined into one full-body morph at the end (JoinFullBodyMorphs).
//
// The project members that run it (TKSN_Project::ImportCR2File,
// LoadCR2File, AutoRigCR2File, InjectMorphsIntoCR2File) are declared with
// the project and defined in this library (KSN_CR2Import.cpp,
// KSN_CR2Rig.cpp, KSN_CR2Inject.cpp), so the document never includes a
// header of the file interchange.
//
// Also here: the two conversions between Poser's colon paths and paths on
// disk that import and export share.
//
// Main thread only.
#pragma once

#include "KSN_CR2Tree.h"
#include "KSN_Thingy.h"
#include "QORNewStaticList.h"

#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>

class TKSN_Mesh;
class TKSN_Morph;
class TKSN_TreeGroup;

// One partial morph that a full-body dial drives, with its "deltaAddDelta" weight.
struct TJoinFullBodyMorphs_MorphNode {
    float weight = 1.0f;
    TKSN_Morph* morph = nullptr;   // belongs to the mesh
};

// One full-body dial: its name and the partial morphs it drives.
class TJoinFullBodyMorphsNode : public virtual TKSN_Thingy {
public:
    TJoinFullBodyMorphsNode();
    // Deletes the morph nodes, not the morphs they name.
    ~TJoinFullBodyMorphsNode() override;

    TQORNewStaticList<TJoinFullBodyMorphs_MorphNode*>* list;
};

class TKSN_CR2Parser {
public:
    // path only names the file in error texts.
    explicit TKSN_CR2Parser(const char* path = "");

    // Takes one line with its blanks trimmed and updates the state.
    // Throws TKSN_CR2Error for a "}" that closes more blocks than were opened.
    void ConsiderLine(const char* line);
    // Back to the start of the file (the figureResFile found stays).
    void Rewind();

    std::string path;
    long lineNumber = 0;            // of the last line considered
    int depth = 0;
    std::string actorName;
    int actorDepth = 0;
    bool inActor = false;
    int figureDepth = 0;
    bool inFigure = false;
    std::string figureResFile;
    std::string materialName;
    int materialDepth = 0;
    bool inMaterial = false;
    TKSN_Mesh* mesh = nullptr;
    // Keyed by the dial name as read, so a dial whose stored name was cleaned
    // (':' and the like become '_') is still found; byte-wise order.
    std::map<std::string, std::unique_ptr<TJoinFullBodyMorphsNode>> fullBodyMorphs;
    TKSN_TreeGroup* bodyGroup = nullptr;
    TKSN_TreeGroup* importGroup = nullptr;
};

// Joins the partial morphs of every dial that drives more than one into one
// full-body morph over the whole mesh, on a temporarily welded mesh, and
// deletes the partials. The morphs go to the parser's body group when there
// is one, else to the top of the morph tree.
void JoinFullBodyMorphs(TKSN_CR2Parser* parser, TKSN_Mesh* mesh);

// A Poser path read from a figure file, in place, into a path on disk:
// quotes and blanks go, a "GetStringRes(t,i)" reference is resolved,
// ":Runtime:..." is placed under the Runtime folder that holds cr2Folder (or
// beside the figure when cr2Folder lies in none), "NO_MAP" becomes empty.
// cr2Folder ends with '/'.
void ConvertPoserPath(std::string& path, const std::string& cr2Folder);
// The buffer form: path is zero-terminated and at least TOS_PATH_BUFFER bytes;
// a result that would not fit leaves path unchanged and answers false.
bool ConvertPoserPath(char* path, char* cr2Folder);
// A path on disk into Poser's form: from "/Runtime/" (any case) on, with every
// '/' turned into ':'. False, path unchanged, outside a Runtime folder.
bool MakeFileNameRuntimeRelative(std::string& path);
bool MakeFileNameRuntimeRelative(char* path);
