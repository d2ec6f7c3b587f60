// The nested text block format of every document file, and its Base64 arrays.
//
// A file is lines of a key, a tab and a value, each line ending in one LF.
// A block is a key line (keyword, name), a line "{", its lines one tab deeper,
// and a line "}" back at the outer depth. Every line a writer emits begins
// with TextFileIndent tabs, except the Base64 text lines, which carry none.
//
// A binary array travels as a Base64 block (RFC 4648 alphabet, "=" padding):
//     <indent>key<TAB>
//     <indent>{
//     <indent><TAB>Size<TAB><number of Base64 characters, not bytes>
//     <Base64 text, 80 characters a line, no indentation; one empty line for no data>
//     <indent>}
//
// Invariants: TextFileIndent is 0 whenever no file is being written; every
// block opened through TStartTextFileBlock is closed by its destructor, also
// when an exception leaves the writer. Only one file is written at a time, on
// the main thread.
//
// Numbers are written and read in the "C" notation whatever the locale.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Nesting depth of the file being written (tabs in front of every line).
extern int32_t TextFileIndent;

// Opens a block on construction and closes it on destruction. With enabled
// false both do nothing, so a class can write its lines into its parent's block.
// Write errors are not thrown: they stay in the stream's error state, which the
// writer of the whole file checks (ferror / fclose).
class TStartTextFileBlock {
public:
    // Writes "keyword<TAB>value" and "{" at the current depth, then goes one level deeper.
    // A null value writes an empty one.
    TStartTextFileBlock(const char* keyword, const char* value, FILE* file, bool enabled);
    // Goes back one level and writes "}" there.
    virtual ~TStartTextFileBlock();

    TStartTextFileBlock(const TStartTextFileBlock&) = delete;
    TStartTextFileBlock& operator=(const TStartTextFileBlock&) = delete;

private:
    FILE* file;
    bool enabled;
};

// [Line input]

// Reads one whole line, whatever its length, into line (replacing what it
// held): CR, LF, CR LF and LF CR end a line and are not stored, NUL bytes are
// dropped, bytes 128..255 are kept so that UTF-8 names survive. False when the
// file had ended (or failed) before anything, not even a line end, was read;
// test feof(file) for the end as with TOS::fgets.
bool QORReadTextLine(FILE* file, std::string& line);

// Nested blocks the document readers accept, far above any real tree. Deeper
// input is refused as damaged, so a crafted file cannot exhaust the stack.
inline constexpr int QORMaxTextBlockDepth = 1000;

// [Base64]
// The returned blocks come from QORalloc; release them with QORBase64_Dispose.

// Exactly 4 * ceil(byteCount / 3) characters, no terminating zero; their number
// goes to *charCount. A byteCount of 0 or less gives null and 0.
char* QORBase64_Encode(const void* data, int byteCount, int* charCount);

// Decodes the groups of four characters in order into a block of
// 3 * ceil(charCount / 4) bytes and stores the number decoded in *byteCount.
// Decoding stops at the first "=" in the third or fourth place of a group; a
// final group of 2 or 3 characters gives 1 or 2 bytes. A character outside the
// alphabet decodes as 61: text from a file is checked first (see
// QORBase64_VerifyEncodedData). Nothing decoded gives null and 0.
char* QORBase64_Decode(const void* text, int charCount, int* byteCount);

// True when each of the charCount characters is A-Z, a-z, 0-9, "+", "/" or "="
// (true for a count of 0 or less). Neither the length nor the place of "=" is checked.
bool QORBase64_VerifyEncodedData(const char* text, int charCount);

// Releases a block of the two above; null is allowed.
void QORBase64_Dispose(void* block);

// [Binary arrays in text files]

// Writes a Base64 block of byteCount bytes under key at the current depth,
// ticking TOS::DoProgress every 10,000 characters. The depth is restored and the
// closing line written even if an exception passes through. Returns false when
// the stream reports a write error (the stream is flushed to find out).
bool SaveBinaryDataToTextFile(FILE* file, const void* data, int byteCount, const char* key);

// Reads the Base64 block whose key line the caller has already read, up to and
// including its "}" line. Returns the decoded bytes (QORalloc; release with
// QORfree) and their number through byteCount; null and 0 for an empty array.
// Lines may carry indentation and any line ending.
// Throws (QORThrowException, "Invalid data in file") and returns nothing when
// the block is malformed: no "{" or "Size" line, a Size that is not a number or
// that differs from the number of characters that follow, a character outside
// the alphabet, "=" anywhere but as the final padding, or a file that ends
// before the closing "}". *byteCount is then 0.
void* LoadBinaryDataArrayFromTextFile(FILE* file, int* byteCount);
