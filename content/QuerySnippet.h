#pragma once

#include <string>
#include <vector>

// A window of about 300 characters of a page's text around the closest
// cluster of the query's words, with every bounded occurrence of a word form
// in bold. The query is a list of groups, each the forms of one query word
// (lower case). Forms match whichever way the page or the form spells "ё"
// or "е". The text is escaped; only the bold tags are markup.
std::string BuildQuerySnippet(const std::string& strText,
                              const std::vector<std::vector<std::string>>& query);
