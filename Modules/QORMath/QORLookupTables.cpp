#include "QORLookupTables.h"

#include "QORMemory.h"

#include <cmath>

unsigned char* DivideBy255Table = nullptr;
float* UCCharToFloatTable = nullptr;
unsigned char* Adjust_Saturation_Before_Lightness_To_Target_Table = nullptr;
unsigned char* Saturation_Up_Table = nullptr;
unsigned char* AdjustAlphaConsiderMask_Table = nullptr;

namespace {

template <class T>
T* AllocateTable(int count)
{
    return static_cast<T*>(QORalloc(sizeof(T) * size_t(count), false));
}

template <class T>
void FreeTable(T*& table)
{
    QORfree(table, 0);
    table = nullptr;
}

} // namespace

void CreateDivideBy255Table()
{
    FreeTable(DivideBy255Table);
    FreeTable(UCCharToFloatTable);

    DivideBy255Table = AllocateTable<unsigned char>(QORDivideBy255TableSize);
    for (int i = 0; i < QORDivideBy255TableSize; ++i)
        // Integer division truncates toward zero; the cast keeps the low byte,
        // which is what the signed blends read back as a signed char.
        DivideBy255Table[i] = static_cast<unsigned char>((i - QORDivideBy255TableOffset) / 255);

    UCCharToFloatTable = AllocateTable<float>(256);
    for (int i = 0; i < 256; ++i) UCCharToFloatTable[i] = float(i) / 255.0f;
}

void Create_Adjust_Saturation_Before_Lightness_To_Target_Table()
{
    if (Adjust_Saturation_Before_Lightness_To_Target_Table) return;

    int curve[256];
    curve[0] = 0;
    for (int i = 1; i < 50; ++i) curve[i] = i * 255 / 50;
    for (int i = 50; i <= 200; ++i) curve[i] = 255;
    for (int i = 1; i <= 55; ++i) curve[200 + i] = int((1.0f - float(i) / 55.0f) * 255.0f);

    // Two running-average passes round off the corners of the ramp; each entry
    // sees its left neighbour already smoothed in the same pass.
    for (int pass = 0; pass < 2; ++pass)
        for (int k = 1; k <= 253; ++k) curve[k] = (curve[k - 1] + curve[k] + curve[k + 1]) / 3;

    unsigned char* table = AllocateTable<unsigned char>(256);
    for (int i = 0; i < 256; ++i) table[i] = static_cast<unsigned char>(curve[i]);
    Adjust_Saturation_Before_Lightness_To_Target_Table = table;
}

void Create_Saturation_Up_Table(float cutoff)
{
    if (!Saturation_Up_Table) Saturation_Up_Table = AllocateTable<unsigned char>(256);

    const int first = cutoff > 0.0001f ? 1 : 0;
    // Clamp in float before converting so that a huge or NaN cut-off cannot
    // reach an undefined float-to-int conversion.
    const float end = float(first) + 254.0f * cutoff;
    int b = 0;
    if (end >= 255.0f)
        b = 255;
    else if (end > 0.0f)
        b = int(end);

    if (first == 1) Saturation_Up_Table[0] = 0;
    for (int i = first; i < b; ++i) Saturation_Up_Table[i] = static_cast<unsigned char>((i - first) * 255 / (b - first));
    for (int i = b; i < 256; ++i) Saturation_Up_Table[i] = 255;
}

void InitializeAdjustAlphaConsiderMaskTable()
{
    if (AdjustAlphaConsiderMask_Table) return;

    unsigned char* table = AllocateTable<unsigned char>(65536);
    for (int mask = 0; mask < 256; ++mask) {
        const float maskRatio = float(mask) / 255.0f;
        const double exponent = std::sqrt(double(maskRatio));
        for (int alpha = 0; alpha < 256; ++alpha) {
            const float alphaRatio = float(alpha) / 255.0f;
            const float v = float(std::pow(double(alphaRatio), exponent) * 255.0);
            int value = int(v);
            if (value < 0) value = 0;
            if (value > 255) value = 255;
            table[alpha + 256 * mask] = static_cast<unsigned char>(value);
        }
    }
    AdjustAlphaConsiderMask_Table = table;
}

void QORMath_InitializeLookupTables()
{
    InitializeAdjustAlphaConsiderMaskTable();
}

void CleanMathLookupTables()
{
    FreeTable(Adjust_Saturation_Before_Lightness_To_Target_Table);
    FreeTable(DivideBy255Table);
    FreeTable(UCCharToFloatTable);
}
