// Rewriting figure files with injected morphs (the whole rewrite is
// TKSN_Project::InjectMorphsIntoCR2File).
//
// The source figure is read into the brace tree with merging off, so each
// actor has its two top-level sections as in the file; the user's morphs
// become a full-body "valueParm" dial on BODY and one "targetGeom" per body
// part they move, the figure may be pointed at a newly written OBJ and
// re-rigged, its materials get the current maps, colours and strengths, and
// the tree is printed to the output. The source file is never changed, and
// the output appears whole or not at all.
//
// While a rewrite runs, each polygon group's Pointer is its link to the
// actor entry of the second section that matches it; the links are cleared
// at the start and the end of every rewrite, so none outlives its tree.
//
// Main thread only.
#pragma once

#include "KSN_CR2Tree.h"

#include <string>

class TKSN_Mesh;
class TKSN_TreeGroup;
class TQORMaterial;

// The figure's name and root actor as written into every injected
// "valueOpDeltaAdd" block; both start empty for each rewrite.
extern std::string gFigureName;
extern std::string gBodyName;

// Links the groups to the actors and adds every user morph to the tree.
void InjectMorphsIntoCR2Tree(TKSN_Mesh* mesh, TQORCR2TreeNode* root);
// Visitor over the mesh's morph tree (userData: the root); false stops the traversal.
bool InjectMorphsIntoCR2Tree_OnVisit(TKSN_TreeGroup* group, int depth, void* root);
// Writes one channel of a material into its block; false when the material lacks the channel.
bool ProcessMapForMaterial(TQORMaterial* material, const char* channelName, const char* mapKey,
                           TQORCR2TreeNode* materialEntry);
// Every polygon group's actor link cleared.
void CR2_ClearActorLinks(TKSN_Mesh* mesh);
