#pragma once

#include "SearchUtils.h"

#include <string>

// Loading shared by the two generations of the full-text index.
namespace SearchIndexFiles
{
// The folder with a trailing "/", or empty when the folder is not known.
std::string FolderPath(const std::string& strFolder);
// Loads one index file and checks its type; null on failure (logged).
MFilePtr Load(const std::string& strPath, std::uint32_t nExpectedType);
bool IsIndexId(int nId);
} // namespace SearchIndexFiles
