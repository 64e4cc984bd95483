// Arbitrary dictionary files: the first byte chooses the layout, the rest
// follows the magic. An input shorter than the bucket table gets a table
// whose every bucket points at it, so the fuzzer works on trees.
#include "FuzzSearchSupport.h"
#include "MorphoSearch.h"

#include <cstdint>
#include <cstdlib>

namespace
{
constexpr std::size_t kTableSize = std::size_t{4} * 8192;
constexpr std::uint32_t kTreesStart = 16 + kTableSize;

std::string TableToTheTrees()
{
    std::string table;
    for (std::size_t i = 0; i < 8192; ++i)
        for (int nShift = 24; nShift >= 0; nShift -= 8)
            table += static_cast<char>((kTreesStart >> nShift) & 0xFF);
    return table;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    static CFuzzFolder folder;
    static const std::string emptyTable(kTableSize, '\0');
    static const std::string treesTable = TableToTheTrees();
    // The dictionaries the input does not replace stay loaded.
    static CMorphoSearch morpho(folder.Path());
    static bool bPrepared = false;
    if (!bPrepared)
    {
        folder.MakeFolder("add");
        folder.MakeFolder("common");
        for (const int nIndex : CMorphoSearch::GetDictIndexes())
            folder.Write(CMorphoSearch::GetDictFileName(nIndex), "KALIMOR_WORDS_1 ", emptyTable);
        if (!morpho.LoadData())
            std::abort();
        bPrepared = true;
    }
    if (nSize == 0)
        return 0;
    const std::string_view magic = (pData[0] & 1) ? "KALIMOR_WORDS_2 " : "KALIMOR_WORDS_1 ";
    const std::string_view body(reinterpret_cast<const char*>(pData) + 1, nSize - 1);
    std::string file = std::string(magic);
    if (body.size() < kTableSize)
        file += treesTable;
    file += body;
    // The same file serves the other dictionary and the letters н, с and ё.
    for (const int nIndex : {0, 1085, 1089, 1105})
    {
        folder.Write(CMorphoSearch::GetDictFileName(nIndex), file, {});
        if (!morpho.LoadDict(nIndex))
            std::abort();
    }
    for (const std::string_view word : {"налоги", "налог", "н", "стали", "ёлками", "сзззз"})
    {
        for (const std::string& form : morpho.GetBaseForms(word))
            if (form.empty())
                std::abort();
        for (const std::string& form : morpho.GetAllForms(word))
            if (form.empty())
                std::abort();
    }
    return 0;
}
