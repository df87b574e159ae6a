#include "AnatomicQuery.h"

#include <cctype>
#include <stdexcept>

namespace sampleservice
{
namespace
{
const std::string kPrefix = "structac=";

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

void SkipBlanks(const std::string& text, size_t& pos)
{
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])))
        ++pos;
}

[[noreturn]] void Fail(const std::string& what)
{
    throw std::runtime_error("The anatomic search is not valid: " + what + ".");
}

const StructureExpression* FindExpression(const ImageSeries& series, int structureId)
{
    for (const auto& e : series.expression)
        if (e.structureId == structureId)
            return &e;
    return nullptr;
}
} // namespace

bool AnatomicQuery::LooksAnatomic(const std::string& text)
{
    size_t pos = 0;
    SkipBlanks(text, pos);
    return Lower(text.substr(pos, kPrefix.size())) == kPrefix;
}

AnatomicQuery AnatomicQuery::Parse(const std::string& text)
{
    AnatomicQuery query;
    size_t pos = 0;
    for (;;)
    {
        SkipBlanks(text, pos);
        if (Lower(text.substr(pos, kPrefix.size())) != kPrefix)
            Fail("each term must start with \"structac=\" (at character " + std::to_string(pos + 1) + ")");
        pos += kPrefix.size();
        AnatomicTerm term;
        const size_t nameEnd = text.find_first_of("[ \t", pos);
        term.abbreviation = text.substr(pos, nameEnd == std::string::npos ? std::string::npos : nameEnd - pos);
        if (term.abbreviation.empty())
            Fail("a term names no structure");
        pos = nameEnd == std::string::npos ? text.size() : nameEnd;
        if (pos < text.size() && text[pos] == '[')
        {
            const size_t close = text.find(']', pos);
            if (close == std::string::npos)
                Fail("the filters of " + term.abbreviation + " are not closed with \"]\"");
            const std::string filters = text.substr(pos + 1, close - pos - 1);
            pos = close + 1;
            size_t start = 0;
            while (start <= filters.size() && !filters.empty())
            {
                size_t end = filters.find(';', start);
                if (end == std::string::npos)
                    end = filters.size();
                const std::string filter = filters.substr(start, end - start);
                const size_t equals = filter.find('=');
                const std::string name = Lower(filter.substr(0, equals));
                const std::string value = equals == std::string::npos ? "" : filter.substr(equals + 1);
                if (value != "1" && value != "2")
                    Fail("the filter \"" + filter + "\" needs the value 1 or 2");
                int* slot = name == "xlevel" ? &term.level
                          : name == "xdensity" ? &term.density
                          : name == "xpattern" ? &term.pattern
                          : nullptr;
                if (!slot)
                    Fail("the filter \"" + filter + "\" is unknown");
                if (*slot != 0)
                    Fail("the filter \"" + name + "\" is given twice for " + term.abbreviation);
                *slot = value[0] - '0';
                start = end + 1;
            }
        }
        query.m_terms.push_back(term);
        SkipBlanks(text, pos);
        if (pos >= text.size())
            break;
        const size_t wordEnd = text.find_first_of(" \t", pos);
        const std::string word = Lower(text.substr(pos, wordEnd == std::string::npos ? std::string::npos
                                                                                     : wordEnd - pos));
        if (word != "and" && word != "or")
            Fail("terms must be joined by \"and\" or \"or\", not \"" + word + "\"");
        query.m_and.push_back(word == "and");
        pos += word.size();
    }
    return query;
}

bool AnatomicQuery::TermMatches(const AnatomicTerm& term, const ImageSeries& series,
                                const GeneCatalogue& catalogue) const
{
    const CatalogueStructure* structure = catalogue.FindStructureByAbbreviation(term.abbreviation);
    if (!structure)
        return false;
    const StructureExpression* e = FindExpression(series, structure->id);
    const float level = e ? e->level : 0.0f;
    const float density = e ? e->density : 0.0f;
    const int pattern = e ? e->pattern : 0;
    if (term.level == 0 && term.density == 0 && term.pattern == 0)
        return level > 0.0f;
    if (term.level == 1 && level < kModerateLevel)
        return false;
    if (term.level == 2 && level < kStrongLevel)
        return false;
    if (term.density == 1 && density < kSparseDensity)
        return false;
    if (term.density == 2 && density < kDenseDensity)
        return false;
    if (term.pattern != 0 && pattern != term.pattern)
        return false;
    return true;
}

bool AnatomicQuery::Matches(const ImageSeries& series, const GeneCatalogue& catalogue) const
{
    // "or" of "and"-groups: walk the terms, keeping the value of the current group.
    bool any = false;
    bool group = TermMatches(m_terms[0], series, catalogue);
    for (size_t i = 1; i < m_terms.size(); ++i)
    {
        if (m_and[i - 1])
        {
            group = group && TermMatches(m_terms[i], series, catalogue);
        }
        else
        {
            any = any || group;
            group = TermMatches(m_terms[i], series, catalogue);
        }
    }
    return any || group;
}

float AnatomicQuery::SortLevel(const ImageSeries& series, const GeneCatalogue& catalogue) const
{
    const CatalogueStructure* structure = catalogue.FindStructureByAbbreviation(m_terms[0].abbreviation);
    const StructureExpression* e = structure ? FindExpression(series, structure->id) : nullptr;
    return e ? e->level : 0.0f;
}
} // namespace sampleservice
