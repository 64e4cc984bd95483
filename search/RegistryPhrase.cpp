#include "RegistryPhrase.h"

#include "SearchUtils.h"
#include "TextUtils.h"

RegistryPhrase MakeRegistryPhrase(std::string text)
{
    RegistryPhrase phrase;
    phrase.words = SplitSearchString(CTextUtils::ToLower(text));
    phrase.text = std::move(text);
    return phrase;
}
