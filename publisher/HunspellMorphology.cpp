#include "HunspellMorphology.h"

#include "Logger.h"
#include "TextUtils.h"

#include <unordered_map>

bool BuildMorphologyFromHunspell(const std::string& strHunspellBase,
                                 const std::string& strOutFolder, CHunspellMorphologyReport& report,
                                 const ProgressFn& progress)
{
    KTRACE("BuildMorphologyFromHunspell", strHunspellBase, strOutFolder);
    CHunspellDictionary dictionary;
    if (!dictionary.Load(strHunspellBase + ".aff", strHunspellBase + ".dic"))
    {
        KLOG_ERR << "BuildMorphologyFromHunspell: can't read " << strHunspellBase << ".aff/.dic";
        return false;
    }
    return WriteHunspellMorphology(dictionary, strOutFolder, report, progress);
}

bool WriteHunspellMorphology(const CHunspellDictionary& dictionary, const std::string& strOutFolder,
                             CHunspellMorphologyReport& report, const ProgressFn& progress)
{
    // Paradigms in the order their base forms first appear.
    std::vector<std::vector<std::string>> paradigms;
    std::unordered_map<std::string, std::size_t> byBase;
    for (std::size_t i = 0; i < dictionary.EntryCount(); ++i)
    {
        // Reported every 1024 entries: the dictionary has about 150 000.
        if (progress && (i % 1024 == 0 || i + 1 == dictionary.EntryCount()))
            progress(CProgress{"morphology", "entries", i + 1, dictionary.EntryCount()});
        std::vector<std::string> forms = dictionary.ExpandEntry(i);
        for (std::string& form : forms)
            form = CTextUtils::ToLower(form);
        const auto [it, bNew] = byBase.emplace(forms[0], paradigms.size());
        if (bNew)
            paradigms.push_back(std::move(forms));
        else
        {
            auto& paradigm = paradigms[it->second];
            paradigm.insert(paradigm.end(), forms.begin() + 1, forms.end());
        }
    }
    CMorphologyWriter writer;
    for (const auto& paradigm : paradigms)
        writer.AddParadigm(paradigm);
    report.m_dictionary = dictionary.Statistics();
    report.m_writer = writer.Statistics();
    report.m_nParadigms = paradigms.size();
    return writer.Save(strOutFolder);
}
