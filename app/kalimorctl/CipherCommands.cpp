#include "Cipher.h"
#include "CtlContext.h"
#include "FileUtils.h"
#include "XMLUtils.h"

#include <array>
#include <iostream>

namespace
{
int RunCipher(CCtlContext& context, const CCtlCommand& command)
{
    if (context.m_args.size() != 2)
        return CtlUsageError(command, "expects an input and an output file");
    const std::string& strInput = context.m_args[0];
    const std::string& strOutput = context.m_args[1];
    CByteArray bytes;
    if (!CFileUtils::LoadAllBinFile(strInput, bytes))
        return CtlFail("cannot read " + strInput);
    CipherBuffer(bytes.data(), bytes.size());
    if (!CFileUtils::SaveFileAtomically(strOutput, bytes))
        return CtlFail("cannot write " + strOutput);
    return CTL_OK;
}

int RunEncrypt(CCtlContext& context);
int RunDecrypt(CCtlContext& context);
int RunXml(CCtlContext& context);

constexpr std::array<CCtlCommand, 3> kCommands{{
    {"encrypt", "IN OUT", "encipher a content file", RunEncrypt},
    {"decrypt", "IN OUT", "decipher a content file", RunDecrypt},
    {"xml", "[--enciphered] FILE", "parse an XML catalogue and print it", RunXml},
}};

int RunEncrypt(CCtlContext& context)
{
    return RunCipher(context, kCommands[0]);
}

int RunDecrypt(CCtlContext& context)
{
    return RunCipher(context, kCommands[1]);
}

int RunXml(CCtlContext& context)
{
    bool bEnciphered = false;
    std::vector<std::string> files;
    for (const std::string& arg : context.m_args)
    {
        if (arg == "--enciphered")
            bEnciphered = true;
        else if (arg.starts_with("--"))
            return CtlUsageError(kCommands[2], "unknown option " + arg);
        else
            files.push_back(arg);
    }
    if (files.size() != 1)
        return CtlUsageError(kCommands[2], "expects one file");
    CXmlDocPtr doc;
    xmlNode* pRoot = nullptr;
    if (!CXMLUtils::LoadXmlDocument(files[0], doc, pRoot, bEnciphered))
        return CtlFail(files[0] + " is not a readable XML document" +
                       (bEnciphered ? "" : " (add --enciphered for a content catalogue)"));
    std::cout << CXMLUtils::SaveXmlToString(doc.get());
    return CTL_OK;
}
} // namespace

std::span<const CCtlCommand> GetCipherCommands()
{
    return kCommands;
}
