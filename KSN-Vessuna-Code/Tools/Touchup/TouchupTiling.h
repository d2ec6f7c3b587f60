// The tiling converters of the touch-up pipeline: a point already taken into
// tiling space (q, 3 floats) becomes brush-image coordinates (uv, 3 floats,
// the third always 0) for the fixed-plane, cylindrical and spherical tiling
// styles. Angles wrap: u = 1 is a full turn about the tiling space's y axis,
// so a reference point of the same surface patch keeps the angles of one
// polygon within half a turn of each other instead of splitting at the seam.
//
// The tile settings come in as a small record so that the paint threads and
// the renderer's threads can call these concurrently; they only read it.
#pragma once

struct TKSN_TileParameters {
    float InvTileWidth = 1.0f;    // 1 / tile width in world units, 0 for no width
    float InvTileHeight = 1.0f;   // 1 / tile height, 0 for no height
    float TileHeight = 1.0f;      // world units
    float TileRepeat = 1.0f;      // repeats of the image per tile
};

// u = (q.x InvTileWidth + 0.5) TileRepeat, v = (q.y InvTileHeight + 0.5) TileRepeat.
// reference may be null; it is not needed for a plane.
void ConvertVertexToFixedPlaneCoordinates(float* uv, const float* q, const float* reference,
                                          const TKSN_TileParameters& tile);

// u from the angle about the y axis (a full turn is 1), kept within half a
// turn of the reference's angle; v = (q.y - TileHeight / 2) InvTileHeight
// TileRepeat. A point on the axis gets u = 0. reference may be null (no
// wrapping); radius (may be null) receives the distance from the axis.
void ConvertVertexToCylindricalCoordinates(float* uv, const float* q, const float* reference, float* radius,
                                           const TKSN_TileParameters& tile);

// u = longitude / 2 pi, v = latitude / pi (from the -y pole), each kept
// within pi of the reference's angle and times TileRepeat. The origin has
// both angles 0 and takes no part in the wrapping; reference may be null.
void ConvertVertexToSphericalCoordinates(float* uv, const float* q, const float* reference,
                                         const TKSN_TileParameters& tile);
