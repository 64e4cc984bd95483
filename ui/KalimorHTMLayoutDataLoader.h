#pragma once

#include "FileUtils.h"
#include "ResourceConfig.h"

#include <string>
#include <string_view>

// What the HTML engine asks for while it loads a page: included pages, style
// sheets, images, cursors and scripts, by the URL the page names.
class CAbstractHTMLayoutDataLoader
{
public:
    virtual ~CAbstractHTMLayoutDataLoader() = default;
    virtual bool LoadHtml(std::string_view url, CByteArray& data) = 0;
    virtual bool LoadStyle(std::string_view url, CByteArray& data) = 0;
    virtual bool LoadImage(std::string_view url, CByteArray& data) = 0;
    virtual bool LoadCursor(std::string_view url, CByteArray& data) = 0;
    virtual bool LoadScript(std::string_view url, CByteArray& data) = 0;
};

// Answers from the ui folder beside the executable, or else from the copies
// compiled into the program. Pages come from ui/, style sheets from
// ui/styles/, images from ui/images/ (or from an absolute file URL); cursors
// and scripts are never supplied.
class CKalimorHTMLayoutDataLoader final : public CAbstractHTMLayoutDataLoader
{
public:
    explicit CKalimorHTMLayoutDataLoader(const CResourceConfig& config) : m_config(config) {}

    bool LoadHtml(std::string_view url, CByteArray& data) override;
    bool LoadStyle(std::string_view url, CByteArray& data) override;
    bool LoadImage(std::string_view url, CByteArray& data) override;
    bool LoadCursor(std::string_view url, CByteArray& data) override;
    bool LoadScript(std::string_view url, CByteArray& data) override;

    // Reads folder + "/" + the URL's path by the file-or-resource rule. A path
    // that would lead out of the folder is refused.
    bool LoadData(std::string_view url, const std::string& strFolder, CByteArray& data);

    // An absolute local file URL ("file:///..."), which names its own file.
    static bool IsAbsoluteFileUrl(std::string_view url);
    // folder + "/" + relative when that stays inside the folder, also once
    // symbolic links are followed; false for an absolute path, "..", a zero
    // byte or a link that leads out.
    static bool ResolveInside(const std::string& strFolder, std::string_view relative,
                              std::string& strPath);

private:
    const CResourceConfig& m_config;
};
