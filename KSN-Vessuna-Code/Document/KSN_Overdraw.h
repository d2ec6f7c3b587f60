// The overdraw mask of a paintable map: which texels lie inside the model's
// texture triangles (255), and the two rings around them (127, then 63) into
// which painting and bleeding may still spill. The map side builds one per
// map after every change of texture layout (TKSN_Project::OnMapTopologyChanged).
//
// Triangle corners are (x, y) in pixel units: pixel (i, j) covers
// [i, i + 1) x [j, j + 1), so x = u x width and y = v x height.
#pragma once

// Sets the first byte of every pixel whose centre lies inside the triangle
// a, b, c (barycentric weights within -1e-4 .. 1.0001) to 255; pixels are
// bytesPerPixel apart, rows width pixels long. A triangle with a corner that
// is not a finite number, or without area, draws nothing.
void RasterizeTriangle_OverdrawBuffer(const float* a, const float* b, const float* c, int width, int height,
                                      unsigned char* pixels, int bytesPerPixel);

// Fills a triangle into a one-byte image (the brush-shape loader's outline):
// the same pixels as above within columns 0..width-1 and rows 0..height-1,
// each written as 255 together with the two bytes to its right; bytes past
// rowStride x height are never written.
void RasterizeTriangle_For_Simplified_Brush(unsigned char* pixels, const float* a, const float* b, const float* c,
                                            int width, int rowStride, int height);

// Grows a one-byte mask by two rings: every 0 texel next to (8-neighbourhood)
// a non-zero one becomes 127, then every 0 texel next to a non-zero one 63.
void BlurOverdrawMap(unsigned char* pixels, int width, int height);
