// What the selection tools and stored selections work on. Shared by the
// application's settings and the selections themselves, so it lives below both.
#pragma once

#include <cstdint>

enum eSelectionType : int32_t {
    eSelectionType_Vertex = 0,
    eSelectionType_Polygon = 1,
};
