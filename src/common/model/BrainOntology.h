#ifndef NUVARO_MODEL_BRAINONTOLOGY_H
#define NUVARO_MODEL_BRAINONTOLOGY_H

#include "model/AnnotationLabel.h"
#include "model/AnnotationSelector.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ImageGrid
{
class BrainOntology;

// Orders annotation values by the byte-wise order (strcmp) of their labels' names.
class BrainLabelLess
{
public:
    explicit BrainLabelLess(const BrainOntology& ontology) : m_ontology(&ontology) {}
    bool operator()(unsigned char a, unsigned char b) const;

private:
    const BrainOntology* m_ontology;
};

// The tree of anatomical structures read from "ontology.csv": 256 label slots
// indexed by annotation value, at most 255 structures from the file besides
// the "No Annotation" label 0. The root is the structure of annotation value 1.
//
// File format: text, one structure per line, fields separated by ',' with no
// quoting and no header line: 0 name, 1 abbreviation, 2 parent's abbreviation
// (empty for none), 3-5 red, green, blue (0..255), 6 annotation value
// (1..255), 7 database id (0..65535), 8 not read, 9-11 three numbers. Lines
// need at least columns 0..6; missing later columns read as 0.
class BrainOntology
{
public:
    // The 256 default labels and no structures, then Load(path).
    explicit BrainOntology(const char* path);
    // An ontology is never copied: labels point at each other.
    BrainOntology(const BrainOntology&) = delete;
    BrainOntology& operator=(const BrainOntology&) = delete;

    // Reads the file, replacing what was loaded before. An empty file, or one
    // whose first line is empty, gives an empty ontology (0 structures). A
    // file that cannot be read, or any line that does not describe a
    // structure of a sound tree, throws std::runtime_error naming the file and
    // the line; the ontology is then left as it was.
    void Load(const char* path);

    // The label in slot value.
    const AnnotationLabel* GetAnnotationLabel(unsigned char value) const { return &m_labels[value]; }
    // The label with that abbreviation; label 0 when none has it.
    const AnnotationLabel* GetAnnotationLabel(const std::string& abbreviation) const;
    // The label at position i of the file (from 1); label 0 for 0 and past the end.
    const AnnotationLabel* GetAnnotationLabelByIndex(unsigned char i) const;
    // Position i in alphabetical order of names; the last position and
    // everything past it give label 0.
    const AnnotationLabel* GetAnnotationLabelByAlphabeticalIndex(unsigned char i) const;
    // The label with that database id; label 0 when none has it.
    const AnnotationLabel* GetAnnotationLabelByDatabaseId(unsigned short id) const;
    // Lines read + 1 (label 0 counts); 0 for an empty ontology.
    uint32_t GetNumStructures() const { return m_numStructures; }
    uint32_t GetMaxLabels() const { return kMaxLabels; }

    // Clears out, then appends in order of annotation value every label whose
    // own bit is in s.
    void SelectorToLabelList(AnnotationSelector s, std::vector<const AnnotationLabel*>& out) const;

    // Fills the ancestors, subtree, own and children sets of label and every
    // label below it; returns the label's subtree set.
    AnnotationSelector CalculateParentsAndChildren(AnnotationLabel* label, AnnotationSelector ancestors);

    static constexpr uint32_t kMaxLabels = 256;

private:
    void Reset();

    std::vector<AnnotationLabel> m_labels; // always kMaxLabels entries
    std::map<std::string, AnnotationLabel*> m_byAbbreviation;
    unsigned char m_indexOfValue[kMaxLabels];
    unsigned char m_valueOfIndex[kMaxLabels];
    std::vector<unsigned char> m_alphabetical; // values by name, then 0
    std::map<uint16_t, AnnotationLabel*> m_byDatabaseId;
    uint32_t m_numStructures;
};
} // namespace ImageGrid

#endif
