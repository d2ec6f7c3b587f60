// Re-rigging figure files (the project member is TKSN_Project::AutoRigCR2File).
//
// Matrices are 16 floats, row-major, applied to row vectors (x, y, z, 1) as
// p·M with the translation in elements 12 to 14. Angles are radians, used
// directly as the arguments of cosine and sine.
#pragma once

#include "KSN_CR2Tree.h"

class TKSN_Mesh;
class TQORGroup2;
class TQORStringParser;

// R = Rx(x)·Ry(y)·Rz(z), or with inverse set R' = Rz(-z)·Ry(-y)·Rx(-x), its exact inverse.
void GetRotationMatrix(float* m, float x, float y, float z, bool inverse);

// The entry's point (its first three words) scaled about oldCentre and moved
// to newCentre, written "%.6f %.6f %.6f". Fewer than three words, or a word
// that is no finite number, leave the entry as it is.
void AdjustRigVector(TKSN_Mesh* mesh, TQORGroup2* group, TQORCR2TreeNode* entry, TQORStringParser* words,
                     const float* oldCentre, const float* scale, const float* newCentre);
// One channel of an actor's "channels" block: offsets, twist end points,
// sphere matrices and centres. offset (new centre minus old) is carried for
// the callers; no rule uses it.
void AdjustChannel(TKSN_Mesh* mesh, TQORGroup2* group, TQORCR2TreeNode* channel, const float* newCentre,
                   const float* oldCentre, const float* offset, const float* scale, const float* R, const float* Rinv);
// One coordinate (the entry's parameter) on axis 0..2, written "%.8f"; null does nothing.
void AdjustSinglePoint(TQORCR2TreeNode* entry, const float* newCentre, const float* oldCentre, const float* offset,
                       const float* scale, int axis);
void AdjustSinglePointThatDependsOnOrientation(TQORCR2TreeNode* entry, const float* newCentre,
                                               const float* oldCentre, const float* offset, const float* scale,
                                               const float* R, const float* Rinv, int axis);
