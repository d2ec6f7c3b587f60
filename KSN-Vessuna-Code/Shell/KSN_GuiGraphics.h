// The GUI graphics: every icon, button face and panel picture of the
// OpenGL-drawn interface, unpacked at start-up from the WAD container
// "Graphics.dat" in the data folder into the named texture list, where
// widgets and tools find them by name (the entry's file name without its
// extension, ignoring case).
//
// Needs the texture list (QORglut_Textures_Init) and the application object;
// the GL context need not be current, because textures upload on first use.
#pragma once

// Unpacks every entry that decodes as an image into the named texture list
// (4 bytes per pixel, blending on), one temporary file at a time, and stores
// "MapDisabled", "NoMapApplied", "NoUVMap" and "Lock" in the application
// object with their adjustments. A container that cannot be opened shows
// "Cannot open the file %s" and ends the program (status 1).
void Kestrune_LoadTextures();

// The start-up check that tells a current container from an outdated one:
// without the texture "BrushTileTool" it shows interface text 953 with the
// main folder and ends the program (status 1).
void Kestrune_CheckGraphicsAreCurrent();
