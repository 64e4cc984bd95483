#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// File type codes set by the header check of a binary search file.
enum ESearchFileType : std::uint32_t
{
    SEARCH_FILE_UNKNOWN = 0,
    SEARCH_FILE_WORDS_1 = 1,  // morphology, stem and endings
    SEARCH_FILE_WORDS_2 = 2,  // morphology, whole words
    SEARCH_FILE_INDEX_1 = 3,  // full-text word index, first generation
    SEARCH_FILE_FNAMES_1 = 4, // "numbers.dat"
    SEARCH_FILE_INDEX_2 = 5,  // phrase (position) index
    SEARCH_FILE_FNAMES_2 = 6, // "phrase_numbers.dat"
};

// The 16-byte magics at offset 0 of the search files (no terminating zero).
inline constexpr std::size_t kSearchMagicSize = 16;
inline constexpr std::string_view kMagicWords1 = "KALIMOR_WORDS_1 ";
inline constexpr std::string_view kMagicWords2 = "KALIMOR_WORDS_2 ";
inline constexpr std::string_view kMagicIndex1 = "KALIMOR_INDEX_1 ";
inline constexpr std::string_view kMagicIndex2 = "KALIMOR_INDEX_2 ";
inline constexpr std::string_view kMagicFNames1 = "KALIMOR_FNAMES_1";
inline constexpr std::string_view kMagicFNames2 = "KALIMOR_FNAMES_2";

// Index ids: the code point of a word's lower-case Cyrillic first letter
// (а..я, ё), or 0 for words that begin with anything else.
inline constexpr int kIndexIdOther = 0;
inline constexpr int kIndexIdFirst = 0x0430;
inline constexpr int kIndexIdLast = 0x044F;
inline constexpr int kIndexIdYo = 0x0451;
// The ids of the files split by first letter, in load order: 0, а..я, ё.
std::vector<int> GetSearchIndexIds();

// One search file, mapped whole and read-only. While it is loaded the file
// holds a shared flock, so a writer that locks it exclusively before
// replacing it (as the publisher and the update do) is refused.
struct MFile
{
    MFile() = default;
    ~MFile();
    MFile(const MFile&) = delete;
    MFile& operator=(const MFile&) = delete;

    int fileHandle = -1;
    std::uint32_t size = 0xFFFFFFFFu;
    const std::uint8_t* view = nullptr;
    std::uint32_t type = SEARCH_FILE_UNKNOWN;
};
using MFilePtr = std::unique_ptr<MFile>;

class CSearchUtils
{
public:
    // Opens, locks, maps and checks the header; null on failure (logged).
    static MFilePtr MFileLoad(const std::string& strPath);
    // Releases the file; always returns null, for "p = MFileClose(std::move(p))".
    static MFilePtr MFileClose(MFilePtr pFile);
    static std::uint32_t MFileGetSize(const MFile* pFile);
    // Copies nLength bytes at nOffset; returns nLength, or 0 when the range
    // does not lie inside the file.
    static std::uint32_t MFileRead(const MFile* pFile, std::uint32_t nOffset, std::uint32_t nLength,
                                   void* pBuffer);
    // Big-endian readers; the fallback is returned when the read fails.
    static std::uint8_t MFileReadUChar(const MFile* pFile, std::uint32_t nOffset,
                                       std::uint8_t nFallback);
    static std::uint16_t MFileReadUShort(const MFile* pFile, std::uint32_t nOffset,
                                         std::uint16_t nFallback);
    static std::uint32_t MFileReadULong(const MFile* pFile, std::uint32_t nOffset,
                                        std::uint32_t nFallback);
    static bool MFileCheckHeader(MFile* pFile);

    // Bucket hash of the morphology dictionary, 0..8191. The stored files were
    // built with this exact variant of MurmurHash2 (signed tail bytes taken
    // from the end of the string), so it must not be "corrected".
    static int GetHash(std::string_view bytes, int nSeed = 0);

    // Index id of a lower-case word, or -1 when its first letter is not а..я, ё.
    static int GetIndexForWord(std::string_view word);

    // UTF-8 to Windows-1251; false when some character has no Windows-1251 form.
    static bool TCharToWin1251(std::string_view word, std::string& bytes);
    // Windows-1251 bytes (up to the first zero) to UTF-8; empty when some
    // byte is not a character of the code page.
    static std::string Win1251ToTChar(std::string_view bytes);
    // The same into a string whose memory is used again.
    static void Win1251ToTChar(std::string_view bytes, std::string& text);
    // When the bytes up to the first zero are ASCII, which Windows-1251 and
    // UTF-8 write alike, they are their own conversion: sets text to them.
    static bool Win1251IsAscii(std::string_view bytes, std::string_view& text);
};

// What a word is wherever words are found, shown or marked: a run of letters
// (Unicode category L), decimal digits (Nd) and '-'. "счет-фактура" is one
// word; ";", "?", "«", "»" and blanks end one.
bool IsWordCharacter(char32_t ch);
// The same class written for a regular expression in Unicode mode, sent to
// the page so that it marks in a document the words the search found.
inline constexpr std::string_view kWordCharacterClass = "\\p{L}\\p{Nd}\\-";

// Splits a text into words: every character that is not a word character
// separates words. Case is kept; empty pieces are dropped.
std::vector<std::string> SplitSearchString(std::string_view text);
// The same words as pieces of the text, appended to the list.
void SplitSearchWords(std::string_view text, std::vector<std::string_view>& words);
// The words joined by single blanks.
std::string JoinSearchWords(const std::vector<std::string>& words);

// "Ё" and "Е" are one letter to the search: fold(s) is s (UTF-8) with every
// "ё" replaced by "е" and every "Ё" by "Е"; no other character changes. Both
// letters take two bytes, so a text keeps its length and folds in place.
// True when the text holds "ё" or "Ё".
bool HasYo(std::string_view text);
// Folds the text in place; true when it changed.
bool FoldYoInPlace(std::string& text);
std::string FoldYo(std::string_view text);
// The same for one character.
constexpr char32_t FoldYo(char32_t ch)
{
    return ch == U'\u0451' ? U'\u0435' : (ch == U'\u0401' ? U'\u0415' : ch);
}
