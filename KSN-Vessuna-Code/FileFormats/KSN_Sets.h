// Morph, selection and layer sets, and the Faceloom tool's automatic
// selection set.
//
// A set file carries one kind of per-object data from one copy of a model to
// another of the same topology. All three kinds are text block files that
// open with "verify_vcount" and "verify_pcount" (the counts of the mesh they
// were written from):
//   morph set      ("MorSet"): the mesh's morph tree as one "morphs" block;
//   selection set  ("SelSet"): the selection tree as one "selections" block;
//   layer set      ("LaySet"): per enabled user layer among slots 0-29 a line
//                  "slot<TAB>n" and its "layer" block, then the Base64 block
//                  "PolygonLayerFlags" of one 32-bit layer word per polygon.
// The slot lines let the layers land in the slots the polygons' bits name;
// readers that predate them skip them, and files without them fill slots 0,
// 1, 2, ... in order. The exporting and importing members belong to
// TKSN_Project (declared in KSN_Project.h, defined in KSN_Sets.cpp).
// Main thread only.
#pragma once

// Finds the selection set that defines the facial parts of the current
// character in "Data/Faceloom_DataBase.txt" (lines of two words: the
// character's OBJ file name and its set's file name in "Selection Sets") and
// imports it, unless the selection tree already has a "Faceloom" group. A
// supported character whose set is missing offers the download page.
void CheckAndAutoLoadFaceloomSelectionSet();
