// Which package files may go to the desktop's own programs, and the copy
// they get instead of the package's file.
#include "FormFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(FormFile, OnlyDocumentsOfTheirOwnTypeAreCopiedOutForTheDesktop)
{
    CTempDir dir;
    const std::string strContent = dir.File("Content/files");
    const std::string strCopies = dir.File("documents/forms");
    std::filesystem::create_directories(strContent);
    struct CCase
    {
        const char* szName;
        std::string data;
        bool bOpened;
    };
    const std::string ole("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1 compound", 17);
    for (const CCase& c : std::initializer_list<CCase>{
             {"form.pdf", "%PDF-1.4 form", true},
             {"Бланк.RTF", "{\\rtf1 бланк}", true},
             {"form.doc", ole, true},
             {"form.xls", ole, true},
             {"form.docx", "PK\x03\x04 zip", true},
             {"form.xlsx", "PK\x03\x04 zip", true},
             {"form.odt", "PK\x03\x04 zip", true},
             {"form.ods", "PK\x03\x04 zip", true},
             {"readme.txt", "Текст формы", true},
             // launchers, programs, scripts and pages, whatever their name
             {"evil.desktop", "[Desktop Entry]\nExec=sh -c 'touch /tmp/x'\n", false},
             {"evil.htm", "<html><script>x()</script></html>", false},
             {"evil.html", "<p>x</p>", false},
             {"evil.svg", "<svg onload=x()>", false},
             {"evil.sh", "#!/bin/sh\nrm -rf ~\n", false},
             {"evil",
              "\x7F"
              "ELF\x02\x01",
              false},
             {"evil.exe", "MZ\x90", false},
             {"evil.jar", "PK\x03\x04", false},
             {"evil.py", "import os", false},
             {"evil.pdf.desktop", "[Desktop Entry]", false},
             {"fake.pdf",
              "\x7F"
              "ELF\x02\x01",
              false},
             {"fake.rtf", "#!/bin/sh\n", false},
             {"fake.docx", "[Desktop Entry]\nExec=x", false},
             {"launcher.txt", "[Desktop Entry]\nExec=x\n", false},
             {"script.txt", "#!/bin/sh\nx\n", false},
             {"page.txt", "<!DOCTYPE html><script>x()</script>", false},
             {"binary.txt", std::string("a\0b", 3), false}})
    {
        const std::string strSource = strContent + "/" + c.szName;
        WriteFileText(strSource, c.data);
        std::filesystem::permissions(strSource, std::filesystem::perms::owner_exec,
                                     std::filesystem::perm_options::add);
        const std::string strCopy = CFormFile::CopyForDesktop(strSource, strCopies);
        EXPECT_EQ(!strCopy.empty(), c.bOpened) << c.szName;
        if (strCopy.empty())
            continue;
        EXPECT_EQ(strCopy, strCopies + "/" + c.szName);
        EXPECT_EQ(ReadFileText(strCopy), c.data) << c.szName;
        EXPECT_EQ(std::filesystem::status(strCopy).permissions() &
                      std::filesystem::perms::owner_exec,
                  std::filesystem::perms::none)
            << c.szName << " copied without the execute bit";
    }
    EXPECT_FALSE(std::filesystem::exists(strCopies + "/evil.desktop"));
    EXPECT_EQ(CFormFile::CopyForDesktop(strContent + "/missing.pdf", strCopies), "");

    // The same form again opens the same copy; a copy the user changed is
    // kept and the form gets a new name beside it.
    const std::string strForm = strContent + "/form.pdf";
    EXPECT_EQ(CFormFile::CopyForDesktop(strForm, strCopies), strCopies + "/form.pdf");
    WriteFileText(strCopies + "/form.pdf", "%PDF-1.4 filled in by the user");
    EXPECT_EQ(CFormFile::CopyForDesktop(strForm, strCopies), strCopies + "/form (2).pdf");
    EXPECT_EQ(ReadFileText(strCopies + "/form.pdf"), "%PDF-1.4 filled in by the user");
}
