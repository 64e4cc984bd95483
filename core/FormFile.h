#pragma once

#include <string>
#include <string_view>

// A form file of the library handed to the desktop's own program (a word
// processor, a spreadsheet, a PDF reader). Packages are not trusted, so only
// document types that open in such programs go, and only when the file's
// first bytes are those of its type: a launcher, a program, a script or a
// page named like a form never reaches the desktop. The desktop gets a copy
// outside the content, in a folder of the user's, never the package's file.
class CFormFile
{
public:
    // The type is one the desktop may open (pdf, rtf, doc, docx, xls, xlsx,
    // odt, ods, txt), by the file's name.
    static bool IsDocumentType(std::string_view name);
    // The bytes fit the name's type (a PDF starts as a PDF, an Office file
    // is a ZIP or a compound file, a text is no program or launcher).
    static bool ContentFitsType(std::string_view name, std::string_view head);
    // Copies a form file into strFolder under its own name (numbered when a
    // different file has that name: the user may have filled it in) and
    // returns the copy's path; empty, and logged, when the file is refused
    // or cannot be copied.
    static std::string CopyForDesktop(const std::string& strSource, const std::string& strFolder);
    // The folder of the user's copies of forms (in the documents folder).
    static std::string GetCopiesFolder();
};
