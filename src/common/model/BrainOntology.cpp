#include "model/BrainOntology.h"

#include "utility/TextParsing.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace ImageGrid
{
namespace
{
// 255 lines of a few hundred bytes; a file far larger is not an ontology.
const std::size_t kMaxOntologyFileBytes = 4u << 20;
const int kColumnsNeeded = 7;

// Splits a line at ',' with no quoting. Empty fields between commas are kept;
// a final ',' does not start another field.
std::vector<std::string_view> SplitFields(std::string_view line)
{
    std::vector<std::string_view> fields;
    size_t start = 0;
    while (start < line.size())
    {
        const size_t comma = line.find(',', start);
        if (comma == std::string_view::npos)
        {
            fields.push_back(line.substr(start));
            break;
        }
        fields.push_back(line.substr(start, comma - start));
        start = comma + 1;
    }
    return fields;
}

// Reports a line the loader cannot accept.
class LineError
{
public:
    LineError(const std::string& path, int line) : m_path(path), m_line(line) {}

    [[noreturn]] void Throw(const std::string& reason) const
    {
        throw std::runtime_error("Unexpected line while reading ontology file: " + m_path + " (line " +
                                 std::to_string(m_line) + ": " + reason + ").");
    }

    // A whole number from the column in [low, high]; absent columns give
    // absentValue when it is allowed (absentValue >= 0).
    long long Integer(const std::vector<std::string_view>& fields, size_t column, const char* what, long long low,
                      long long high, long long absentValue = -1) const
    {
        const std::string_view text = column < fields.size() ? TrimBlanks(fields[column]) : std::string_view();
        if (text.empty() && absentValue >= 0)
            return absentValue;
        long long value = 0;
        if (!ParseInteger(text, value) || value < low || value > high)
            Throw(std::string("the ") + what + " \"" + Shortened(text) + "\" is not a whole number from " +
                  std::to_string(low) + " to " + std::to_string(high));
        return value;
    }

    // A number from the column; absent or blank columns give 0.
    float Number(const std::vector<std::string_view>& fields, size_t column) const
    {
        const std::string_view text = column < fields.size() ? TrimBlanks(fields[column]) : std::string_view();
        if (text.empty())
            return 0.0f;
        float value = 0.0f;
        if (!ParseFloat(text, value))
            Throw("column " + std::to_string(column + 1) + " \"" + Shortened(text) + "\" is not a number");
        return value;
    }

    int Line() const { return m_line; }

private:
    static std::string Shortened(std::string_view text)
    {
        return text.size() > 40 ? std::string(text.substr(0, 40)) + "..." : std::string(text);
    }

    const std::string& m_path;
    int m_line;
};
} // namespace

bool BrainLabelLess::operator()(unsigned char a, unsigned char b) const
{
    return std::strcmp(m_ontology->GetAnnotationLabel(a)->name.c_str(),
                       m_ontology->GetAnnotationLabel(b)->name.c_str()) < 0;
}

std::ostream& operator<<(std::ostream& out, const AnnotationLabel& label)
{
    out << label.name << ", " << label.abbreviation << ", " << static_cast<const void*>(label.parent) << ", "
        << static_cast<unsigned>(label.red) << "," << static_cast<unsigned>(label.green) << ","
        << static_cast<unsigned>(label.blue);
    return out;
}

BrainOntology::BrainOntology(const char* path)
{
    Reset();
    Load(path);
}

void BrainOntology::Reset()
{
    m_labels.assign(kMaxLabels, AnnotationLabel());
    m_byAbbreviation.clear();
    std::memset(m_indexOfValue, 0, sizeof(m_indexOfValue));
    std::memset(m_valueOfIndex, 0, sizeof(m_valueOfIndex));
    m_alphabetical.clear();
    m_byDatabaseId.clear();
    m_numStructures = 0;
}

void BrainOntology::Load(const char* path)
{
    const std::string name = path != nullptr ? path : "";
    const std::string text = ReadSmallTextFile(path, kMaxOntologyFileBytes, "Error while opening ontology file: ",
                                               "Ontology file is too large to be an ontology: ");

    std::string_view rest = WithoutByteOrderMark(text);
    // An empty file or an empty first line: no structures, and no error.
    if (rest.empty() || rest[0] == '\n' || rest.substr(0, 2) == "\r\n")
    {
        Reset();
        return;
    }

    // Everything is read into these first and taken over only when the whole
    // file is sound, so that a bad file leaves the ontology as it was.
    std::vector<AnnotationLabel> labels(kMaxLabels);
    std::map<std::string, AnnotationLabel*> byAbbreviation;
    std::map<uint16_t, AnnotationLabel*> byDatabaseId;
    std::vector<std::string> parentOf(kMaxLabels);
    int lineOfValue[kMaxLabels] = {};
    unsigned char indexOfValue[kMaxLabels] = {};
    unsigned char valueOfIndex[kMaxLabels] = {};
    std::vector<unsigned char> alphabetical;
    uint32_t index = 1;
    uint32_t numStructures = 1;

    int lineNumber = 0;
    while (!rest.empty())
    {
        const size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);

        const LineError error(name, lineNumber);
        const std::vector<std::string_view> fields = SplitFields(line);
        if (fields.size() < static_cast<size_t>(kColumnsNeeded))
            error.Throw("it has " + std::to_string(fields.size()) + " fields, at least " +
                        std::to_string(kColumnsNeeded) + " are needed");
        if (++numStructures > kMaxLabels)
            throw std::runtime_error("Expected number of structures exceeded while reading ontology file: " + name +
                                     " (line " + std::to_string(lineNumber) + ": at most " +
                                     std::to_string(kMaxLabels - 1) + " structures are allowed).");

        const long long red = error.Integer(fields, 3, "red value", 0, 255);
        const long long green = error.Integer(fields, 4, "green value", 0, 255);
        const long long blue = error.Integer(fields, 5, "blue value", 0, 255);
        const long long value = error.Integer(fields, 6, "annotation value", 1, 255);
        const long long databaseId = error.Integer(fields, 7, "database id", 0, 0xFFFF, 0);
        if (lineOfValue[value] != 0)
            error.Throw("annotation value " + std::to_string(value) + " is already used by line " +
                        std::to_string(lineOfValue[value]));
        lineOfValue[value] = lineNumber;

        AnnotationLabel& label = labels[static_cast<size_t>(value)];
        label.name = std::string(fields[0]);
        label.abbreviation = std::string(fields[1]);
        label.annotationValue = static_cast<unsigned char>(value);
        label.red = static_cast<unsigned char>(red);
        label.green = static_cast<unsigned char>(green);
        label.blue = static_cast<unsigned char>(blue);
        label.databaseId = static_cast<uint16_t>(databaseId);
        label.index = index;
        for (int k = 0; k < 3; ++k)
            label.values[k] = error.Number(fields, static_cast<size_t>(9 + k));

        std::printf("Load BrainOntology: '%s' (max = %3ld) index %3d, nodeId %3d (%6s) .. '%48s'\n", name.c_str(),
                    static_cast<long>(kMaxLabels), static_cast<int>(index), static_cast<int>(value),
                    label.abbreviation.c_str(), label.name.c_str());

        byAbbreviation[label.abbreviation] = &label;
        byDatabaseId[label.databaseId] = &label;
        parentOf[static_cast<size_t>(value)] = std::string(fields[2]);
        valueOfIndex[index] = static_cast<unsigned char>(value);
        indexOfValue[value] = static_cast<unsigned char>(index);
        ++index;
        alphabetical.push_back(static_cast<unsigned char>(value));
    }
    // Label 0 takes the bit after the last structure's (kept in 8 bits).
    indexOfValue[0] = static_cast<unsigned char>(index);

    if (lineOfValue[1] == 0)
        throw std::runtime_error("The ontology file has no root structure (annotation value 1): " + name);
    if (!parentOf[1].empty())
        LineError(name, lineOfValue[1]).Throw("the root structure (annotation value 1) cannot have a parent");

    // Children stand in order of annotation value.
    for (size_t value = 0; value < kMaxLabels; ++value)
    {
        if (parentOf[value].empty())
            continue;
        const auto parent = byAbbreviation.find(parentOf[value]);
        if (parent == byAbbreviation.end())
            LineError(name, lineOfValue[value]).Throw("the parent \"" + parentOf[value] +
                                                      "\" is not a structure of this file");
        labels[value].parent = parent->second;
        parent->second->children.push_back(&labels[value]);
    }
    // A chain of parents longer than the number of structures goes round in a circle.
    for (size_t value = 1; value < kMaxLabels; ++value)
    {
        uint32_t steps = 0;
        for (const AnnotationLabel* up = labels[value].parent; up != nullptr; up = up->parent)
        {
            if (++steps > kMaxLabels)
                LineError(name, lineOfValue[value]).Throw("the structure \"" + labels[value].name +
                                                          "\" is its own ancestor");
        }
    }

    // The file is sound: take it over. Moving the vectors and maps keeps the
    // labels where they are, so the pointers between them stay valid.
    m_labels.swap(labels);
    m_byAbbreviation.swap(byAbbreviation);
    m_byDatabaseId.swap(byDatabaseId);
    std::memcpy(m_indexOfValue, indexOfValue, sizeof(m_indexOfValue));
    std::memcpy(m_valueOfIndex, valueOfIndex, sizeof(m_valueOfIndex));
    m_numStructures = numStructures;

    AnnotationLabel& none = m_labels[0];
    none.own.Set(m_indexOfValue[0], true);
    none.ancestors = none.own;
    none.subtree = none.own;

    std::stable_sort(alphabetical.begin(), alphabetical.end(), BrainLabelLess(*this));
    alphabetical.push_back(0);
    m_alphabetical.swap(alphabetical);

    AnnotationLabel& root = m_labels[1];
    root.subtree = CalculateParentsAndChildren(&root, AnnotationSelector(false));
}

AnnotationSelector BrainOntology::CalculateParentsAndChildren(AnnotationLabel* label, AnnotationSelector ancestors)
{
    label->ancestors = ancestors;
    const unsigned char bit = m_indexOfValue[label->annotationValue];
    AnnotationSelector passDown = ancestors;
    passDown.Set(bit, true);
    for (AnnotationLabel* child : label->children)
    {
        label->subtree.Merge(CalculateParentsAndChildren(child, passDown));
        label->childrenSet.Merge(child->own);
    }
    label->ancestors.Set(bit, true);
    label->subtree.Set(bit, true);
    label->own.Set(bit, true);
    return label->subtree;
}

const AnnotationLabel* BrainOntology::GetAnnotationLabel(const std::string& abbreviation) const
{
    const auto found = m_byAbbreviation.find(abbreviation);
    return found != m_byAbbreviation.end() ? found->second : &m_labels[0];
}

const AnnotationLabel* BrainOntology::GetAnnotationLabelByIndex(unsigned char i) const
{
    return i < m_alphabetical.size() ? &m_labels[m_valueOfIndex[i]] : &m_labels[0];
}

const AnnotationLabel* BrainOntology::GetAnnotationLabelByAlphabeticalIndex(unsigned char i) const
{
    return i < m_alphabetical.size() ? &m_labels[m_alphabetical[i]] : &m_labels[0];
}

const AnnotationLabel* BrainOntology::GetAnnotationLabelByDatabaseId(unsigned short id) const
{
    const auto found = m_byDatabaseId.find(id);
    return found != m_byDatabaseId.end() ? found->second : &m_labels[0];
}

void BrainOntology::SelectorToLabelList(AnnotationSelector s, std::vector<const AnnotationLabel*>& out) const
{
    out.clear();
    for (const AnnotationLabel& label : m_labels)
    {
        if (label.own.Intersects(s))
            out.push_back(&label);
    }
}
} // namespace ImageGrid
