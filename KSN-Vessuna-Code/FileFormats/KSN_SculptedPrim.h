// Sculpted-prim images of the outside virtual-world service: a small RGB
// image whose pixels hold points of a surface, the red, green and blue values
// the point's x, y and z within the prim's box, the pixel's place the point's
// place in the surface's UV square.
//
// The working image is 32 x 32 pixels of 3 bytes, rows from the bottom as in
// every image map; the file is 64 x 64, each pixel repeated in a 2 x 2 block.
// A point p is normalised against the box of the object's current shape
// (resolved and transformed): n = (p - min) / size, size the box's largest
// side, and written as trunc(255 n) per axis. The import inverts that:
// channel c gives min + c / 255 x size per axis, with min and size taken the
// same way from the object at hand, so an unchanged object reads back within
// size / 255 per axis. Main thread only.
#pragma once

class TQOREvent;

// The event callback: command 0 exports the current (or highlighted) objects,
// 1 imports an image into the current object's current morph. True when the
// export or import was done.
bool KSN_SecondLifeEvents(TQOREvent* event);

// Fills the empty pixels of an RGB image (3 bytes a pixel, width x height)
// from their non-empty neighbours, in passes, one ring per pass. keys holds
// one float a pixel, empty below 1e-30; afterwards each is 0 or 1.
void BlurEmptyRegionsInSculpty(unsigned char* rgb, int width, int height, float* keys);

// The column (row) of texture coordinate u (v) in an image of size pixels:
// trunc((1/64 + 31 u / 32) x size), so that 0..1 covers the 32 grid
// points' pixel centres. Not clamped.
int KSN_SculptyPixelOf(float u, int size);
