// Pose files of the outside figure application: MAT (the current object's
// materials) and MOR (the current morph as one morph target per body part).
//
// TKSN_Project::ExportMATFile and ExportMORFile (declared in KSN_Project.h,
// defined in KSN_PoseFile.cpp) write the figure application's own brace
// syntax line by line, LF line ends, and copy the stock thumbnail
// "Data/Vexmark.PNG" beside the file as "<name>.rsr" so that the figure
// application's library shows a picture. Main thread only.
#pragma once

#include <string>

// The companion of a MOR pose file, which takes the morph target out of the
// figure again: the name without extension, its final "MOR" (any case)
// replaced by "REM" or "_REM" appended, then the same extension.
// "Smile_MOR.pz2" and "Smile.pz2" both give "Smile_REM.pz2".
std::string KSN_GetMORCompanionPath(const std::string& path);

// Copies the stock thumbnail beside a pose file: path cut at its last dot,
// then ".rsr". A failed copy is not reported (the pose file is complete).
void KSN_CopyPoseThumbnail(const char* path);
