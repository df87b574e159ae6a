#ifndef NUVARO_SAMPLESERVICE_ANATOMICQUERY_H
#define NUVARO_SAMPLESERVICE_ANATOMICQUERY_H

#include "GeneCatalogue.h"

#include <string>
#include <vector>

namespace sampleservice
{
// Filter values: 0 means no filter on that measure.
// Level 1 asks for at least moderate expression (level >= 0.2), level 2 for
// strong expression (level >= 0.5); density 1 for at least sparse coverage
// (density >= 0.1), density 2 for dense coverage (density >= 0.4); pattern 1
// for a full and pattern 2 for a regional pattern. A term without any filter
// asks for any expression (level above 0).
struct AnatomicTerm
{
    std::string abbreviation;
    int level = 0;
    int density = 0;
    int pattern = 0;
};

// An anatomic search: terms joined by "and" and "or", "and" binding tighter.
// Text form: structac=ABBR[xlevel=1;xdensity=2;xpattern=1] and|or structac=...
class AnatomicQuery
{
public:
    // Throws std::runtime_error with a sentence naming the fault.
    static AnatomicQuery Parse(const std::string& text);
    // True when the text asks for an anatomic search at all.
    static bool LooksAnatomic(const std::string& text);

    // Whether the series' expression passes the query. A structure the
    // catalogue does not know never matches.
    bool Matches(const ImageSeries& series, const GeneCatalogue& catalogue) const;
    // The series' expression level in the first term's structure (0 when none),
    // used to list the strongest results first.
    float SortLevel(const ImageSeries& series, const GeneCatalogue& catalogue) const;

    const std::vector<AnatomicTerm>& Terms() const { return m_terms; }
    // Operators between the terms: true for "and", false for "or".
    const std::vector<bool>& Operators() const { return m_and; }

    static constexpr float kModerateLevel = 0.2f;
    static constexpr float kStrongLevel = 0.5f;
    static constexpr float kSparseDensity = 0.1f;
    static constexpr float kDenseDensity = 0.4f;

private:
    bool TermMatches(const AnatomicTerm& term, const ImageSeries& series, const GeneCatalogue& catalogue) const;

    std::vector<AnatomicTerm> m_terms;
    std::vector<bool> m_and;
};
} // namespace sampleservice

#endif
