#pragma once

#include "ContentPublisher.h"
#include "DocumentSearch.h"
#include "FullTextSearch2.h"
#include "MorphoSearch.h"
#include "SearchPrompt2Manager.h"
#include "SearchRegistry.h"
#include "SynonymsSearch.h"
#include "TestContent.h"
#include "UiTestContext.h"

#include <functional>
#include <string>

// A small library published from its source the way real content is; a
// suite makes it once and its tests only read it.
struct CPublishedLibrary
{
    explicit CPublishedLibrary(const std::function<void(const CTempDir&)>& writeSource)
    {
        writeSource(src);
        CPublishOptions options;
        options.m_strMorphologyFolder = WriteSmallMorphology(src);
        CPublishReport report;
        EXPECT_TRUE(CContentPublisher().Publish(src.Path(), profile.Path(), report, options));
    }
    std::string ContentFolder() const { return profile.File("Content") + "/"; }

    CTempDir src, profile;
};

// That library's sections and search read back as the client reads them, and
// handed to the windows' context.
struct CLoadedSearch
{
    CLoadedSearch(const CPublishedLibrary& library, CTestContext& context)
    {
        const std::string strContent = library.ContentFolder();
        context.m_strContentFolder = strContent;
        EXPECT_TRUE(context.m_encyclopedia.LoadData(strContent + "encyclopedia.dat",
                                                    strContent + "Content/"));
        morpho.SetMorphologyFolder(strContent + "morphology/");
        index.SetIndexFolder(strContent + "fulltextsearch/");
        EXPECT_TRUE(morpho.LoadData() && index.LoadData());
        EXPECT_TRUE(prompts.LoadData(strContent + "search_prompts2.dat"));
        EXPECT_TRUE(registry.LoadData(strContent + "registry2.dat"));
        EXPECT_TRUE(synonyms.LoadData(strContent + "search_synonyms.dat"));
        context.m_pSearch = &search;
        context.m_pRegistry = &registry;
        context.m_pPrompts = &prompts;
        context.m_pSynonyms = &synonyms;
    }
    CLoadedSearch(const CLoadedSearch&) = delete;
    CLoadedSearch& operator=(const CLoadedSearch&) = delete;

    CMorphoSearch morpho;
    CFullTextSearch2 index;
    CSearchPrompt2Manager prompts;
    CSearchRegistry registry{&morpho, &prompts};
    CSynonymsSearch synonyms;
    CDocumentSearch search{index, morpho};
};
