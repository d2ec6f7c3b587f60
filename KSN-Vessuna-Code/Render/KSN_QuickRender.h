// The quick render: the OpenGL preview of view mode 7 that subdivides every
// quad of the base mesh on the fly by its size on screen and the resolution
// of its maps, pushes new vertices out by the displacement map and shades
// each final quad flat from the colour, ambient, specular, bump and
// transparency maps. Transparent quads wait in depth buckets, drawn back to
// front at the end of the frame from pooled fragments.
//
// Main thread only (it is an OpenGL view); the globals are used without locks.
#pragma once

#include <cstdint>

#include "KSN_QuickRenderData.h"
#include "QORNewStaticList.h"

struct TKSN_QuadFragment {
    uint8_t Color[4];         // R, G, B, A
    float Vertices[4][3];     // object space, drawing order
    TKSN_QuadFragment* Next;  // next of the same depth bucket
};

constexpr int KSN_QuadFragmentPoolSize = 10000;
constexpr int KSN_TransparentQuadBuckets = 10000;

extern bool QuickRender_UseLighting;
extern TKSN_QuadFragment* TransparentQuads[KSN_TransparentQuadBuckets];
extern int32_t TransparentQuads_MinIndexUsed;
extern int32_t TransparentQuads_MaxIndexUsed;
extern TQORNewStaticList<TKSN_QuadFragment*> QuadFragmentPools;
extern TKSN_QuadFragment* cQuadFragmentPool;
extern int32_t cQuadFragmentIndex;
extern int32_t cQuadFragmentPoolIndex;
extern uint8_t* ucSpecularTable;   // 256 rows of 256 bytes

void QuickRender_Init();
void QuickRender_PostRender();
void QuickRender_Clean();
void Create_ucSpecularTable();
// The next free fragment of the frame (opens a pool when the current one is used up).
TKSN_QuadFragment* QuickRender_TakeFragment();

// Subdivides and draws one quad (corners 2 and 3 the same point: a triangle)
// at subdivision depth level; view receives the four displaced corners in
// normalised view coordinates. Between glBegin(GL_QUADS) and glEnd.
void DynamicallySubdividedQuad2(TKSN_QuickRenderData& data, float**& positions, float**& deltas, float**& normals,
                                float**& uvs, float**& seams, float** view, int level);
// Shades and emits one final quad.
void RenderSubdividedQuadWithSubDs2(TKSN_QuickRenderData& data, float**& positions, float**& deltas,
                                    float**& normals, float**& uvs, float**& seams, float**& view);

// The project's "RenderMixColors", read by the shading (set per node).
extern bool QuickRender_MixColors;

// (4 / N)² with N = quality × range + 100, range from the larger side m of the
// viewport in pixels: 924 above 1024, m − 100 from 100, 0 below.
float KSN_QuickRenderSplitThreshold(int viewportWidth, int viewportHeight, float quality);
