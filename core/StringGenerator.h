#pragma once

#include <map>
#include <string>
#include <string_view>

// Fills an HTML template: every "$(NAME)" (NAME of upper-case letters, digits
// and "_") that has a value is replaced by the value escaped for XML; other
// text, and placeholders without a value, stay as written.
class StringGenerator
{
public:
    StringGenerator() = default;
    explicit StringGenerator(std::string strTemplate) : m_strTemplate(std::move(strTemplate)) {}

    // Reads the template from a file, or from the embedded resource of the
    // same name when there is no such file.
    bool LoadStrTemplateFromFile(const std::string& strPath);
    const std::string& GetTemplate() const { return m_strTemplate; }

    // Placeholders are found in the template only, never in the values put in
    // their place, so a value that itself reads "$(X)" stays as it is.
    std::string Generate(const std::map<std::string, std::string>& values) const;

private:
    std::string m_strTemplate;
};
