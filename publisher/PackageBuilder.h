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

    // Debian's minizip writes the zip64 end records only for an archive past
    // 4 GiB: an archive of 65 535 entries or more then says 65 535 (0xFFFF,
    // "see the zip64 record") with no such record, and readers - the client's
    // unpacker among them - stop at the 65 535th entry. Adds the records
    // after the central directory of a closed archive that needs them, from
    // what its end record says; true when the archive is whole.
    static bool AddZip64EndRecords(const std::string& strPath);
};
