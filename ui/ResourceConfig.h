#pragma once

#include <string>
#include <string_view>

// Names every UI file by its path relative to the application folder. A file
// there overrides the copy compiled into the program (see CFileUtils).
class CResourceConfig
{
public:
    // The folder of the running executable.
    CResourceConfig();
    // Another application folder (tests, portable installs).
    explicit CResourceConfig(std::string strAppFolder);

    const std::string& GetAppFolder() const { return m_strAppFolder; }
    // Application folder + "/" + a relative path.
    std::string GetPath(std::string_view relativePath) const;

    static std::string GetExecutableFolder();

    std::string GetTopPanelPath() const { return GetPath("ui/top_panel.htm"); }
    std::string GetSearchPanelPath() const { return GetPath("ui/search_panel.htm"); }
    std::string GetSearchResultWinPath() const { return GetPath("ui/search_result_win.htm"); }
    std::string GetSearchRegistryWinPath() const { return GetPath("ui/search_registry_win.htm"); }
    std::string GetSearchPromptsPath() const { return GetPath("ui/search_prompts.htm"); }
    std::string GetStatusPanelPath() const { return GetPath("ui/status_panel.htm"); }
    std::string GetWelcomeWinPath() const { return GetPath("ui/welcome_win.htm"); }
    std::string GetBookmarkWinPath() const { return GetPath("ui/bookmark_win.htm"); }
    std::string GetHistoryWinPath() const { return GetPath("ui/history_win.htm"); }
    std::string GetBrowserContentToolBarPath() const
    {
        return GetPath("ui/browser_content_tool_bar.htm");
    }
    std::string GetNavigatorPath() const { return GetPath("ui/navigator.htm"); }
    std::string GetSelectSectionPanelPath() const { return GetPath("ui/select_section_panel.htm"); }
    std::string GetNewsPanelWinPath() const { return GetPath("ui/news_panel_win.htm"); }
    std::string GetNewsHeaderPath() const { return GetPath("ui/news_header.htm"); }
    std::string GetNewsCalendarPath() const { return GetPath("ui/news_calendar.htm"); }
    std::string GetTaxCalendarPath() const { return GetPath("ui/tax_calendar.htm"); }
    std::string GetCalendarPath() const { return GetPath("ui/calendar.htm"); }
    std::string GetBlankViewPath() const { return GetPath("ui/blank_view.htm"); }
    std::string GetBlankListPath() const { return GetPath("ui/blank_list.htm"); }
    std::string GetBlankSectionListPath() const { return GetPath("ui/blank_section_list.htm"); }
    std::string GetLoginUserDlgPath() const { return GetPath("ui/login_user_dlg.htm"); }
    std::string GetProxySettingsDlgPath() const { return GetPath("ui/proxy_settings_dlg.htm"); }
    std::string GetRegistrationUserDlgPath() const
    {
        return GetPath("ui/registration_user_dlg.htm");
    }
    std::string GetUpdateDlgPath() const { return GetPath("ui/update_dlg.htm"); }
    std::string GetAboutDlgPath() const { return GetPath("ui/about_dlg.htm"); }
    std::string GetMessageDlgPath() const { return GetPath("ui/message_dlg.htm"); }
    std::string GetSplashDlgPath() const { return GetPath("ui/splash_dlg.htm"); }
    std::string GetImageViewDlgPath() const { return GetPath("ui/image_view_dlg.htm"); }
    std::string GetImageScrollViewDlgPath() const
    {
        return GetPath("ui/image_scroll_view_dlg.htm");
    }
    std::string GetImageVScrollViewDlgPath() const
    {
        return GetPath("ui/image_vscroll_view_dlg.htm");
    }
    std::string GetImageHScrollViewDlgPath() const
    {
        return GetPath("ui/image_hscroll_view_dlg.htm");
    }
    std::string GetSectionLevel2TemplatePath() const
    {
        return GetPath("ui/templates/section_level2.tmpl");
    }
    std::string GetSectionLevel3TemplatePath() const
    {
        return GetPath("ui/templates/section_level3.tmpl");
    }
    std::string GetSectionLevel4TemplatePath() const
    {
        return GetPath("ui/templates/section_level4.tmpl");
    }
    std::string GetHistoryItemTemplatePath() const
    {
        return GetPath("ui/templates/history_item_html.tmpl");
    }
    std::string GetBookmarkItemTemplatePath() const
    {
        return GetPath("ui/templates/bookmark_item_html.tmpl");
    }
    std::string GetSearchResultTemplatePath() const
    {
        return GetPath("ui/templates/search_result_html.tmpl");
    }
    std::string GetNewsItemTemplatePath() const
    {
        return GetPath("ui/templates/news_item_html.tmpl");
    }
    std::string GetBlankNewsItemTemplatePath() const
    {
        return GetPath("ui/templates/blank_news_item_html.tmpl");
    }
    std::string GetTaxItemTemplatePath() const
    {
        return GetPath("ui/templates/tax_item_html.tmpl");
    }
    std::string GetReportItemTemplatePath() const
    {
        return GetPath("ui/templates/report_item_html.tmpl");
    }
    std::string GetBlankSectionTemplatePath() const
    {
        return GetPath("ui/templates/blank_section_html.tmpl");
    }
    std::string GetBlankListItemTemplatePath() const
    {
        return GetPath("ui/templates/blank_list_item_html.tmpl");
    }
    std::string GetAboutMessagePath() const { return GetPath("ui/messages/about.htm"); }
    std::string GetNeedUpdateMessagePath() const { return GetPath("ui/messages/need_update.htm"); }
    std::string GetSearchSamplesMessagePath() const
    {
        return GetPath("ui/messages/search_samples.htm");
    }
    std::string GetImagesFolder() const { return GetPath("ui/images"); }
    std::string GetStylesFolder() const { return GetPath("ui/styles"); }
    std::string GetUIFolder() const { return GetPath("ui"); }

private:
    std::string m_strAppFolder;
};
