#pragma once

#include "PublishReport.h"

#include <string>

// Builds an update package from a published content folder: a ZIP of the
// content as the client's installer expects it. Catalogues and pages go in
// readable (".xml" and ".html", which the installer enciphers again), the
// style sheet as "style.css.win" (which it moves into place), the search
// files as they are. With a base content folder the package holds only what
// changed, and "remove.files" lists what the base has and the new content
// has not. Entries are sorted and dated alike, so a package is the same bytes
// every time it is built from the same content.
class CPackageBuilder
{
public:
    bool Build(const std::string& strContent, const std::string& strBaseContent,
               const std::string& strZipPath, CPublishReport& report);
};
