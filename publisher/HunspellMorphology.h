#pragma once

#include "HunspellDictionary.h"
#include "MorphologyWriter.h"
#include "Progress.h"

#include <string>

// Builds the client's morphology dictionary from a hunspell dictionary: each
// entry becomes a paradigm led by the entry's word (its base form) with every
// form its affixes give. Entries that lower-case to the same word (a proper
// name and a common noun, or one word listed twice with different flags)
// make one paradigm, so that a base form is not reported twice for one word.
struct CHunspellMorphologyReport
{
    CHunspellDictionary::CStatistics m_dictionary;
    CMorphologyWriter::CStatistics m_writer;
    std::uint64_t m_nParadigms = 0; // after merging entries with the same base form
};

// strHunspellBase is the dictionary's path without ".aff"/".dic", for
// example /usr/share/hunspell/ru_RU.
// Progress, when given, counts the dictionary's entries.
bool BuildMorphologyFromHunspell(const std::string& strHunspellBase,
                                 const std::string& strOutFolder, CHunspellMorphologyReport& report,
                                 const ProgressFn& progress = {});
// The same for a dictionary already read.
bool WriteHunspellMorphology(const CHunspellDictionary& dictionary, const std::string& strOutFolder,
                             CHunspellMorphologyReport& report, const ProgressFn& progress = {});
