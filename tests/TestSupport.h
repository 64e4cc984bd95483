#pragma once

#include <string>
#include <string_view>
#include <vector>

// A fresh folder under the system's temporary folder, removed with its
// contents at the end of the test.
class CTempDir
{
public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_strPath; }
    std::string File(std::string_view name) const { return m_strPath + "/" + std::string(name); }

private:
    std::string m_strPath;
};

// Opens the process log into a temporary file for one test and reads it back.
class CLogCapture
{
public:
    explicit CLogCapture(int nLevel = 5);
    ~CLogCapture();
    CLogCapture(const CLogCapture&) = delete;
    CLogCapture& operator=(const CLogCapture&) = delete;

    std::string Text() const;
    std::vector<std::string> Lines() const;
    // True when some line holds the text.
    bool Contains(std::string_view text) const;

private:
    CTempDir m_dir;
};

std::string ReadFileText(const std::string& strPath);
void WriteFileText(const std::string& strPath, std::string_view text);

// Sets an environment variable for the lifetime of the object.
class CScopedEnv
{
public:
    CScopedEnv(const char* szName, const std::string& strValue);
    ~CScopedEnv();
    CScopedEnv(const CScopedEnv&) = delete;
    CScopedEnv& operator=(const CScopedEnv&) = delete;

private:
    std::string m_strName;
    bool m_bHadValue;
    std::string m_strOldValue;
};

// Runs a program with arguments (no shell) and collects its output.
struct CProcessResult
{
    int m_nExitCode = -1;
    std::string m_strOut;
    std::string m_strErr;
};
CProcessResult RunProcess(const std::vector<std::string>& args);
