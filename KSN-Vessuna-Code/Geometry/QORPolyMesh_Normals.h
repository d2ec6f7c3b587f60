// Pool jobs and the scaling helper of the polygon mesh's normal passes.
//
// The jobs take a TThreadCruncher_ArrayChunk (as the untyped argument) whose
// User is the TQORPolyMesh and whose FillInt is the visible-only flag; with the
// flag set, chunk index i stands for entry i of the visible-polygon (or
// visible-vertex) list. Each call writes only the normal of its own element.
#pragma once

// Bit-level reciprocal square root with one Newton step, in single precision:
// within 0.2% of 1/sqrt(squaredLength); finite (large) for 0.
float QORPolyMesh_FastInverseSqrt(float squaredLength);

void* Calculate_Poly_Normals_ThreadFunc(void* chunk);
void* Calculate_Vertex_Normals_ThreadFunc(void* chunk);
