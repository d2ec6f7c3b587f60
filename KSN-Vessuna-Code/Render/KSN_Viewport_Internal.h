// Helpers shared by the viewport sources of this folder. Includes no
// application header, so the mesh walk can include the mesh headers (which
// declare a selection enum of their own).
#pragma once

#include <cstdint>
#include <vector>

class TKSN_Object;

// Appends the world positions (3 floats each) of the points that framing
// counts: style 0 every shown vertex of object; style 1 the selected shown
// vertices of the objects that may be acted on (a vertex stands for its
// mirror partner while symmetry is on); style 2 every shown vertex of every
// object. False when style 0 has no object, mesh or vertex to frame: framing
// then stops silently.
bool KSN_GatherFramingPoints(TKSN_Object* object, int32_t style, const std::vector<TKSN_Object*>& objects,
                             bool (*canAffect)(TKSN_Object*), std::vector<float>& points);

// Copies text into a channel-name field of size bytes, cutting it to fit.
void KSN_CopyChannelName(char* field, int size, const char* text);
