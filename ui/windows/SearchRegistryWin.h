#pragma once

#include "Bookmark.h"
#include "HTMLayoutWin.h"
#include "RegistryPhrase.h"
#include "ViewHost.h"

#include <boost/signals2/signal.hpp>

#include <string>
#include <vector>

class CClientContext;
class CSearchRegistry;

// The alphabetical index (view kind 2): the letters that have phrases, the
// sections filed under the chosen letter, and the phrases of the chosen
// section; a phrase opens the documents it points to. The view keeps the
// letter and the section.
class CSearchRegistryWin : public CHTMLayoutWin
{
public:
    CSearchRegistryWin(CClientContext& context, IViewHost* pHost);
    bool Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId) override;
    void ShowBookmark(CBookmark& view);

    void SelectLetter(std::size_t nLetter);
    void SelectSection(std::size_t nSection);
    void OnPhrase(std::size_t nPhrase);

    // The letters of the alphabet that have phrases, in its order.
    static std::u32string LettersWithPhrases(CSearchRegistry& registry);
    std::u32string GetShownLetters() const { return m_letters; }
    char32_t GetLetter() const;
    const std::vector<const RegistrySection*>& GetSections() const { return m_sections; }
    const std::vector<const RegistryPhrase*>& GetPhrases() const { return m_phrases; }
    // The registry is about to be freed: its sections and phrases go.
    void ForgetContent();

    // A phrase chosen: its text and the documents it points to.
    boost::signals2::signal<void(const std::string&, const std::vector<std::string>&)> m_sigPhrase;

protected:
    bool OnHyperlinkClick(CElement he, CDomEvent& event) override;

private:
    void UpdateLetters();
    void UpdateSections();
    void UpdateReferences();
    CSearchRegistry* Registry() const;

    CClientContext& m_context;
    IViewHost* m_pHost;
    CBookmark* m_pView = nullptr;
    std::u32string m_letters; // shown, in order
    std::size_t m_nLetter = 0;
    std::size_t m_nSection = 0;
    std::vector<const RegistrySection*> m_sections;
    std::vector<const RegistryPhrase*> m_phrases;
};
