#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// A folder for the files a fuzz target writes for each input, removed with
// them when the target ends.
class CFuzzFolder
{
public:
    CFuzzFolder()
    {
        // Memory-backed when the machine has it: every input writes files.
        std::string strTemplate = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm/kalimor-fuzz-XXXXXX"
                                                                  : "/tmp/kalimor-fuzz-XXXXXX";
        if (::mkdtemp(strTemplate.data()))
            m_strPath = strTemplate;
    }
    ~CFuzzFolder()
    {
        for (const std::string& file : m_files)
            ::unlink(file.c_str());
        for (auto it = m_folders.rbegin(); it != m_folders.rend(); ++it)
            ::rmdir(it->c_str());
        ::rmdir(m_strPath.c_str());
    }
    CFuzzFolder(const CFuzzFolder&) = delete;
    CFuzzFolder& operator=(const CFuzzFolder&) = delete;

    const std::string& Path() const { return m_strPath; }

    void MakeFolder(const std::string& strName)
    {
        const std::string strPath = m_strPath + "/" + strName;
        if (::mkdir(strPath.c_str(), 0700) == 0)
            m_folders.push_back(strPath);
    }

    // Writes head followed by body into a new file of the folder. The old
    // file is unlinked first, so a reader that still maps it keeps its bytes.
    void Write(const std::string& strName, std::string_view head, std::string_view body)
    {
        const std::string strPath = m_strPath + "/" + strName;
        ::unlink(strPath.c_str());
        if (std::FILE* pFile = std::fopen(strPath.c_str(), "wb"))
        {
            std::fwrite(head.data(), 1, head.size(), pFile);
            std::fwrite(body.data(), 1, body.size(), pFile);
            std::fclose(pFile);
        }
        if (std::find(m_files.begin(), m_files.end(), strPath) == m_files.end())
            m_files.push_back(strPath);
    }

private:
    std::string m_strPath;
    std::vector<std::string> m_files;
    std::vector<std::string> m_folders;
};
