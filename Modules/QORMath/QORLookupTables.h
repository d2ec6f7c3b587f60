// Byte lookup tables that replace divisions and colour-space arithmetic per
// pixel in the layer mixer, the paint brushes and the touch-up rasterisers.
//
// The tables are plain global arrays allocated with QORalloc; null until built.
// Start-up builds DivideBy255Table (with UCCharToFloatTable), the lightness
// curve and, through QORMath_InitializeLookupTables, the alpha-and-mask table.
// Saturation_Up_Table is rewritten in place whenever a consumer needs another
// cut-off; nobody may read it while a rebuild runs. Every other table is
// read-only once built, so any thread may read it without a lock.
//
// Index conventions:
//   DivideBy255Table[65025 + v] = v / 255 truncated toward zero, v in -65025..65025,
//     stored as its low eight bits (-1 is 255): a*b/255 for two bytes is
//     DivideBy255Table[65025 + a*b]; read it as signed char where the sign matters.
//   UCCharToFloatTable[b]       = b / 255 (0..1).
//   Adjust_Saturation_Before_Lightness_To_Target_Table[L]: factor (0..255) that the
//     lightness blend multiplies into the saturation at lightness L.
//   Saturation_Up_Table[S]      : saturation S stretched up to the current cut-off.
//   AdjustAlphaConsiderMask_Table[alpha + 256*mask].
#pragma once

inline constexpr int QORDivideBy255TableOffset = 65025;
inline constexpr int QORDivideBy255TableSize = 2 * 65025 + 1;   // 130051 entries

extern unsigned char* DivideBy255Table;
extern float* UCCharToFloatTable;
extern unsigned char* Adjust_Saturation_Before_Lightness_To_Target_Table;
extern unsigned char* Saturation_Up_Table;
extern unsigned char* AdjustAlphaConsiderMask_Table;

// Frees and rebuilds DivideBy255Table and UCCharToFloatTable.
void CreateDivideBy255Table();
// Builds the lightness curve once; later calls do nothing.
void Create_Adjust_Saturation_Before_Lightness_To_Target_Table();
// Allocates the table on the first call and rewrites it on every call. cutoff
// is a fraction of full saturation (0..1): saturations below it are stretched
// linearly toward full, everything from it up becomes 255; 0 makes all 255.
void Create_Saturation_Up_Table(float cutoff);
// Builds the alpha-and-mask table once; later calls do nothing.
void InitializeAdjustAlphaConsiderMaskTable();
// Called once at start-up; raises through QORThrowException on failure.
void QORMath_InitializeLookupTables();
// Frees the lightness curve, DivideBy255Table and UCCharToFloatTable and nulls
// them; the saturation and alpha-and-mask tables live until the process ends.
void CleanMathLookupTables();
