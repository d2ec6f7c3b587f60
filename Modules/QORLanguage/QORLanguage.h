// Interface texts by number.
//
// Every word the interface shows that is not a file or user name comes from one
// built-in table, addressed by id. The table never changes while the program
// runs and no entry is null, so a text may be read from any thread and kept by
// pointer for the life of the program. An id outside the table answers
// "Error" instead of failing, which makes a wrong id visible on screen.
//
// Conventions of the texts (the toolkit's widgets and text drawer rely on them):
//   - lines are separated by LF; the first line is the name or label, further
//     lines describe the thing for the hint panel ("- " bullets, or an empty
//     line followed by tab-indented paragraphs);
//   - a thing's name is text n and its hint is text n + 1;
//   - "[b]"..."[/b]" draws bold, "[u]"..."[/u]" underlines (the hot-key letter);
//     the marks are drawn, not printed, and may nest;
//   - leading blanks and tabs belong to the text;
//   - printf-style placeholders are filled by the caller, in order.

#ifndef QORLANGUAGE_H
#define QORLANGUAGE_H

#include <string>
#include <vector>

inline constexpr int KSN_Language_Count = 1703;

// The built-in table, ids 0 to KSN_Language_Count - 1.
extern const char* const KSN_Language_Data[KSN_Language_Count];

// Answer for an id outside the table.
extern const char* const Language_Error_Message;

class TQORLanguage
{
public:
    // Text number id, never null; must not be changed or released.
    // Ids below 0 or above 1702 give "Error".
    const char* GetText(int id) const;

    // Releases the replacement texts, if any (called on the way out of the program).
    void Empty();

private:
    // Room for replacement texts; by design no operation fills it, so the built-in table always answers.
    std::vector<std::string> ReplacementTexts;
};

extern TQORLanguage Lang;

#endif
