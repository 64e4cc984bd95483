// Arbitrary bytes after the magics of a phrase index and of its document
// list: every lookup must end, stay inside the file and keep its promises.
#include "FullTextSearch2.h"
#include "FuzzSearchSupport.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    static CFuzzFolder folder;
    const std::string_view body(reinterpret_cast<const char*>(pData), nSize);
    folder.Write("phrase_index.1085", "KALIMOR_INDEX_2 ", body);
    folder.Write("phrase_index.0", "KALIMOR_INDEX_2 ", body);
    folder.Write("phrase_numbers.dat", "KALIMOR_FNAMES_2", body);

    CFullTextSearch2 index(folder.Path());
    if (!index.LoadIndex(1085) || !index.LoadIndex(0) || !index.LoadNumbers())
        std::abort();
    for (const std::string_view word : {"налог", "на", "н", "нзз", "ня", "2010", "a"})
    {
        std::vector<WordPosition> positions;
        index.GetWordPositions(word, positions);
        // Each position takes two bytes of the file.
        if (positions.size() > nSize / 2)
            std::abort();
        for (const std::string& found : index.GetStartWords(word))
            if (!found.starts_with(word))
                std::abort();
    }
    const std::uint32_t nDocs = index.GetDocCount();
    SearchResultSet results;
    for (std::uint32_t n = 0; n <= 3 && n <= nDocs + 1; ++n)
    {
        index.GetWordsCountInDoc(n);
        results.insert({n, "", 0, 0, 0.0, n});
    }
    results.insert({0xFFFFFFFFu, "", 0, 0, 0.0, 0xFFFFFFFFu});
    index.FillDocumentPathByNumber(results);
    return 0;
}
