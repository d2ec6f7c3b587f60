// Helpers shared by the application object's sources; no other folder includes this.
#pragma once

#include <cstddef>

// Copies `src` (null: empty) into `dst` of `size` bytes, always NUL-terminated;
// false when the text had to be cut.
bool KSN_CopyText(char* dst, size_t size, const char* src);

// Settings file name inside the user data folder.
inline constexpr const char* KSN_SETTINGS_FILE_NAME = "Kestrune_Vessuna_v4.ini";
