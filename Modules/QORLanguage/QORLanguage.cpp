#include "QORLanguage.h"

const char* const Language_Error_Message = "Error";

// Constant-initialised, so it answers even from other static constructors.
TQORLanguage Lang;

const char* TQORLanguage::GetText(int id) const
{
    // One unsigned compare turns away negative ids as well.
    if (static_cast<unsigned>(id) >= static_cast<unsigned>(KSN_Language_Count))
        return Language_Error_Message;
    return KSN_Language_Data[id];
}

void TQORLanguage::Empty()
{
    ReplacementTexts.clear();
    ReplacementTexts.shrink_to_fit();
}
