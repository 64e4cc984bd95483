#pragma once

#include "Cipher.h"
#include "TestSupport.h"

#include <string>

// Writes a content file the way the publisher stores it: enciphered.
inline void WriteEncipheredFile(const std::string& strPath, std::string text)
{
    CipherBuffer(reinterpret_cast<std::uint8_t*>(text.data()), text.size());
    WriteFileText(strPath, text);
}

#include "MorphologyWriter.h"

// A morphology dictionary of a few paradigms, quick to build for tests that
// publish content.
inline std::string WriteSmallMorphology(const CTempDir& dir)
{
    CMorphologyWriter writer;
    writer.AddParadigm({"налог", "налога", "налоги", "налогов", "налогами"});
    writer.AddParadigm({"ставка", "ставки", "ставку", "ставкой"});
    writer.AddParadigm({"вычет", "вычета", "вычеты", "вычетов"});
    std::string strFolder = dir.File("small-morphology");
    writer.Save(strFolder);
    return strFolder;
}
