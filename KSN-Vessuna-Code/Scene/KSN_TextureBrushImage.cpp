// Texture brush images and modeller parameter descriptions.
#include "KSN_TextureBrushImage.h"

#include "KSN_Mesh.h"
#include "QORTextBlock.h"

TKSN_ModelerProjectHooks KSN_ModelerProjectHooks;

namespace {
constexpr int32_t TextureBrushImageChunkType = 76;
}

TKSN_TextureBrushImage::TKSN_TextureBrushImage()
{
    chunkType = TextureBrushImageChunkType;
}

TKSN_TextureBrushImage::~TKSN_TextureBrushImage() = default;

bool TKSN_TextureBrushImage::SaveToStream(FILE* /*file*/) { return false; }

bool TKSN_TextureBrushImage::LoadFromStream(FILE* /*file*/) { return false; }

bool TKSN_TextureBrushImage::SaveToStream_Text(FILE* file, bool enabled)
{
    TStartTextFileBlock block("texture", GetName(), file, enabled);
    const bool result = SaveBasicStuff_Text(file);
    for (int i = 0; i < TextFileIndent; ++i) std::fputc('\t', file);
    std::fprintf(file, "%s\t%s\n", "FileName.c_str()", fileName.c_str());
    return result;
}

TKSN_ModelerParameterDescription::TKSN_ModelerParameterDescription()
{
    SetName("%s", "Modeler Parameter Description");
}

void TKSN_ModelerParameterDescription::Init(TKSN_Mesh* mesh, TCommandCB callback, int value)
{
    selectionMode = KSN_MeshApp_GetSelectionType();
    meshID = mesh ? mesh->GetID() : 0;
    commandCB = callback;
    parameter = value;
    symmetry = KSN_ModelerProjectHooks.GetSymmetry ? KSN_ModelerProjectHooks.GetSymmetry() : false;
    symmetryFlipped = KSN_ModelerProjectHooks.GetSymmetryFlipped ? KSN_ModelerProjectHooks.GetSymmetryFlipped() : false;
    symmetryAxis = mesh ? mesh->symmetryAxis : 0;
}
