#include "XapianEngine.h"

#include "FileUtils.h"
#include "XMLUtils.h"

#include <filesystem>
#include <iostream>

bool CXapianEngine::Index(const std::vector<BenchCorpus::CPage>& pages,
                          const std::string& strFolder)
{
    try
    {
        std::filesystem::remove_all(strFolder);
        Xapian::WritableDatabase database(strFolder, Xapian::DB_CREATE_OR_OVERWRITE);
        Xapian::TermGenerator generator;
        generator.set_stemmer(Xapian::Stem("russian"));
        for (const BenchCorpus::CPage& page : pages)
        {
            CByteArray bytes;
            CXmlDocPtr doc;
            if (!CFileUtils::LoadAllBinFile(page.m_strFile, bytes) ||
                !CXMLUtils::LoadHTMLDocumentContent(
                    std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                    doc))
            {
                std::cerr << "xapian: cannot read " << page.m_strFile << "\n";
                return false;
            }
            Xapian::Document document;
            document.set_data(page.m_strPath);
            generator.set_document(document);
            generator.index_text(CXMLUtils::GetHtmlBodyText(doc.get()));
            database.add_document(document);
        }
        database.commit();
        return true;
    }
    catch (const Xapian::Error& error)
    {
        std::cerr << "xapian: " << error.get_description() << "\n";
        return false;
    }
}

bool CXapianEngine::Compact(const std::string& strFolder, const std::string& strTarget)
{
    try
    {
        std::filesystem::remove_all(strTarget);
        Xapian::Database(strFolder).compact(strTarget);
        return true;
    }
    catch (const Xapian::Error& error)
    {
        std::cerr << "xapian-compact: " << error.get_description() << "\n";
        return false;
    }
}

bool CXapianEngine::Open(const std::string& strFolder)
{
    try
    {
        m_pDatabase = std::make_unique<Xapian::Database>(strFolder);
        return true;
    }
    catch (const Xapian::Error& error)
    {
        std::cerr << "xapian: " << error.get_description() << "\n";
        return false;
    }
}

std::size_t CXapianEngine::Search(const std::string& strQuery, bool bPrefix, std::size_t nTop,
                                  std::vector<std::string>& paths)
{
    Xapian::QueryParser parser;
    parser.set_stemmer(Xapian::Stem("russian"));
    parser.set_stemming_strategy(Xapian::QueryParser::STEM_SOME);
    parser.set_default_op(Xapian::Query::OP_AND);
    parser.set_database(*m_pDatabase);
    const Xapian::Query query =
        bPrefix ? parser.parse_query(strQuery + "*", Xapian::QueryParser::FLAG_WILDCARD)
                : parser.parse_query(strQuery);
    Xapian::Enquire enquire(*m_pDatabase);
    enquire.set_query(query);
    const Xapian::MSet matches = enquire.get_mset(0, static_cast<Xapian::doccount>(nTop));
    for (auto it = matches.begin(); it != matches.end(); ++it)
        paths.push_back(it.get_document().get_data());
    return matches.get_matches_estimated();
}
