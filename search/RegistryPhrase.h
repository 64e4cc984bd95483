#pragma once

#include <string>
#include <vector>

// One phrase of the search registry or of the prompt list.
struct RegistryPhrase
{
    std::string text;               // as written in the file
    std::vector<std::string> words; // the text lower-cased and split into words
    std::vector<std::string> links; // the documents it points to, in file order
};

// A section of the search registry, filed under the first letter of its name.
struct RegistrySection
{
    std::string name;
    std::vector<RegistrySection> subsections; // in file order
    std::vector<RegistryPhrase> phrases;      // by text, in UTF-16 order
};

// A phrase with its words: its text lower-cased and split.
RegistryPhrase MakeRegistryPhrase(std::string text);
