// Brush-shape sampling and rotation about a pivot, shared by the tool
// framework, the stroke engine's smart culling and the touch-up pipeline.
//
// Brush bitmaps are one byte per pixel, rows of w bytes. The bitmap is laid
// over the brush so that its longer side spans 2 x size and its proportions
// are kept; its vertical extent is divided by the aspect.
#pragma once

// h / w when w > h, else 1.0.
float SingleClick_GetYAspect(int w, int h);
// w / h when w <= h, else 1.0.
float SingleClick_GetXAspect(int w, int h);

// Samples the shape at (x, y) for a brush centred on (x0, y0), all in
// normalised viewport units. The pixel value v becomes v x (b + 1) / 255,
// at most 1.0, written to amplitude (0 outside the bitmap). The project's
// brush-image flips mirror the pixel read. Answers whether the simplified
// bitmap is set at the same pixel (false outside the bitmap).
bool SingleClick_GetAmplitude_With_Simplified_Shape(float& amplitude, float x0, float y0, float x, float y,
                                                    float size, float aspect, const unsigned char* shape,
                                                    const unsigned char* simplified, int w, int h,
                                                    unsigned char hardness);

// out (16 floats, OpenGL element order) := the rotation by angle degrees
// about axis (normalised here) through pivot: p -> R(p - pivot) + pivot.
// Computed on the CPU, so it runs on any thread and leaves GL state alone.
void GetRotationMatrix(float* out, float angle, const float* axis, const float* pivot);
