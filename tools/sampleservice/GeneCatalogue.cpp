#include "GeneCatalogue.h"

#include "ServiceFiles.h"

#include <stdexcept>

namespace sampleservice
{
namespace
{
const char* const kHeader = "NuvaroGeneCatalogue";
const size_t kMaxCatalogueBytes = 64u * 1024u * 1024u;

std::vector<std::string> SplitTabs(const std::string& line)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;)
    {
        const size_t tab = line.find('\t', start);
        if (tab == std::string::npos)
        {
            fields.push_back(line.substr(start));
            return fields;
        }
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
}

// The fields of one catalogue line, read with the line's place for errors.
class CatalogueRecord
{
public:
    CatalogueRecord(const std::string& source, int lineNumber, std::vector<std::string> fields)
        : m_source(source), m_line(lineNumber), m_fields(std::move(fields))
    {
    }

    void Expect(size_t count) const
    {
        if (m_fields.size() != count)
            Fail("a \"" + m_fields[0] + "\" record needs " + std::to_string(count - 1) +
                 " fields but has " + std::to_string(m_fields.size() - 1));
    }
    int Int(size_t index) const
    {
        int value = 0;
        if (!ParseInteger(m_fields[index], value))
            Fail("field " + std::to_string(index) + " (\"" + m_fields[index] + "\") is not an integer");
        return value;
    }
    int PositiveInt(size_t index) const
    {
        const int value = Int(index);
        if (value <= 0)
            Fail("field " + std::to_string(index) + " must be above 0");
        return value;
    }
    float Fraction(size_t index) const
    {
        float value = 0.0f;
        if (!ParseFloat(m_fields[index], value) || !(value >= 0.0f && value <= 1.0f))
            Fail("field " + std::to_string(index) + " (\"" + m_fields[index] +
                 "\") is not a number from 0 to 1");
        return value;
    }
    const std::string& Text(size_t index) const { return m_fields[index]; }
    [[noreturn]] void Fail(const std::string& what) const
    {
        throw std::runtime_error("The gene catalogue " + m_source + " is not valid at line " +
                                 std::to_string(m_line) + ": " + what + ".");
    }

private:
    const std::string& m_source;
    int m_line;
    std::vector<std::string> m_fields;
};

void CheckField(const std::string& field, const char* what)
{
    if (field.find_first_of("\t\r\n") != std::string::npos)
        throw std::invalid_argument(std::string("The catalogue field ") + what +
                                    " holds a tab or line break: \"" + field + "\".");
}

const char* ProbeName(int orientation)
{
    if (orientation == 0)
        return "sense";
    if (orientation == 1)
        return "antisense";
    return "-";
}
} // namespace

const char* PlaneName(int plane)
{
    return plane == 1 ? "sagittal" : "coronal";
}

GeneCatalogue GeneCatalogue::ReadFile(const std::string& path)
{
    std::string text;
    if (!ReadWholeFile(path, text, kMaxCatalogueBytes))
        throw std::runtime_error("The gene catalogue " + path + " could not be opened.");
    return Parse(text, path);
}

GeneCatalogue GeneCatalogue::Parse(const std::string& text, const std::string& source)
{
    GeneCatalogue catalogue;
    std::map<int, size_t> seriesIndex;
    std::map<int, size_t> geneIndex;
    std::map<int, size_t> structureIndex;
    bool sawHeader = false;
    int lineNumber = 0;
    size_t start = 0;
    while (start < text.size())
    {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        CatalogueRecord record(source, lineNumber, SplitTabs(line));
        const std::string kind = record.Text(0);
        if (!sawHeader)
        {
            if (kind != kHeader)
                record.Fail("the first record must be \"NuvaroGeneCatalogue\"");
            record.Expect(2);
            if (record.Int(1) != 1)
                record.Fail("only format version 1 is known");
            sawHeader = true;
        }
        else if (kind == "structure")
        {
            record.Expect(5);
            CatalogueStructure structure;
            structure.id = record.PositiveInt(1);
            structure.parentId = record.Int(2);
            structure.abbreviation = record.Text(3);
            structure.name = record.Text(4);
            if (structure.abbreviation.empty())
                record.Fail("a structure needs an abbreviation");
            if (!structureIndex.emplace(structure.id, catalogue.structures.size()).second)
                record.Fail("structure " + std::to_string(structure.id) + " is listed twice");
            catalogue.structures.push_back(structure);
        }
        else if (kind == "gene")
        {
            record.Expect(4);
            CatalogueGene gene;
            gene.geneId = record.PositiveInt(1);
            gene.symbol = record.Text(2);
            gene.name = record.Text(3);
            if (gene.symbol.empty())
                record.Fail("a gene needs a symbol");
            if (!geneIndex.emplace(gene.geneId, catalogue.genes.size()).second)
                record.Fail("gene " + std::to_string(gene.geneId) + " is listed twice");
            catalogue.genes.push_back(gene);
        }
        else if (kind == "series")
        {
            record.Expect(12);
            ImageSeries series;
            series.imageSeriesId = record.PositiveInt(1);
            series.geneId = record.PositiveInt(2);
            series.experimentId = record.Int(3);
            if (geneIndex.count(series.geneId) == 0)
                record.Fail("series " + std::to_string(series.imageSeriesId) + " names gene " +
                            std::to_string(series.geneId) + ", which is not listed before it");
            const std::string& plane = record.Text(4);
            if (plane == "coronal")
                series.plane = 0;
            else if (plane == "sagittal")
                series.plane = 1;
            else
                record.Fail("the plane must be \"coronal\" or \"sagittal\"");
            const std::string& probe = record.Text(5);
            if (probe == "sense")
                series.probeOrientation = 0;
            else if (probe == "antisense")
                series.probeOrientation = 1;
            else if (probe == "-")
                series.probeOrientation = -1;
            else
                record.Fail("the probe must be \"sense\", \"antisense\" or \"-\"");
            series.status = record.Text(6);
            series.date = record.Text(7);
            series.condition = record.Text(8);
            series.url = record.Text(9);
            series.thumbnailGrid = record.Text(10);
            series.fullGrid = record.Text(11);
            for (const std::string* grid : {&series.thumbnailGrid, &series.fullGrid})
                if (!grid->empty() && !IsSafeRelativePath(*grid))
                    record.Fail("the grid path \"" + *grid + "\" must stay inside the catalogue's folder");
            if (!seriesIndex.emplace(series.imageSeriesId, catalogue.series.size()).second)
                record.Fail("series " + std::to_string(series.imageSeriesId) + " is listed twice");
            catalogue.series.push_back(series);
        }
        else if (kind == "image" || kind == "expression")
        {
            record.Expect(kind == "image" ? 8 : 6);
            const auto found = seriesIndex.find(record.Int(1));
            if (found == seriesIndex.end())
                record.Fail("series " + record.Text(1) + " is not listed before this line");
            ImageSeries& series = catalogue.series[found->second];
            if (kind == "image")
            {
                SectionImage image;
                image.key = record.Int(2);
                image.imageId = record.PositiveInt(3);
                image.width = record.PositiveInt(4);
                image.height = record.PositiveInt(5);
                image.path = record.Text(6);
                image.expressionPath = record.Text(7);
                if (image.width > 1 << 20 || image.height > 1 << 20)
                    record.Fail("an image may be at most 1048576 pixels wide and high");
                if (image.path.empty())
                    record.Fail("an image needs a path");
                series.images.push_back(image);
            }
            else
            {
                StructureExpression expression;
                expression.structureId = record.PositiveInt(2);
                expression.level = record.Fraction(3);
                expression.density = record.Fraction(4);
                expression.pattern = record.Int(5);
                if (expression.pattern < 0 || expression.pattern > 2)
                    record.Fail("the pattern must be 0, 1 or 2");
                series.expression.push_back(expression);
            }
        }
        else
        {
            record.Fail("the record kind \"" + kind + "\" is unknown");
        }
    }
    if (!sawHeader)
        throw std::runtime_error("The gene catalogue " + source + " is empty.");
    catalogue.Index();
    return catalogue;
}

std::string GeneCatalogue::ToText() const
{
    std::string out = std::string(kHeader) + "\t1\n";
    for (const auto& s : structures)
    {
        CheckField(s.abbreviation, "abbreviation");
        CheckField(s.name, "structure name");
        out += "structure\t" + std::to_string(s.id) + "\t" + std::to_string(s.parentId) + "\t" +
               s.abbreviation + "\t" + s.name + "\n";
    }
    std::map<int, bool> known;
    for (const auto& g : genes)
    {
        CheckField(g.symbol, "symbol");
        CheckField(g.name, "gene name");
        out += "gene\t" + std::to_string(g.geneId) + "\t" + g.symbol + "\t" + g.name + "\n";
        known[g.geneId] = true;
    }
    for (const auto& s : series)
    {
        if (known.count(s.geneId) == 0)
            throw std::invalid_argument("The series " + std::to_string(s.imageSeriesId) +
                                        " names the unknown gene " + std::to_string(s.geneId) + ".");
        for (const std::string* field : {&s.status, &s.date, &s.condition, &s.url, &s.thumbnailGrid,
                                         &s.fullGrid})
            CheckField(*field, "of a series");
        out += "series\t" + std::to_string(s.imageSeriesId) + "\t" + std::to_string(s.geneId) + "\t" +
               std::to_string(s.experimentId) + "\t" + PlaneName(s.plane) + "\t" +
               ProbeName(s.probeOrientation) + "\t" + s.status + "\t" + s.date + "\t" + s.condition +
               "\t" + s.url + "\t" + s.thumbnailGrid + "\t" + s.fullGrid + "\n";
        for (const auto& image : s.images)
        {
            CheckField(image.path, "image path");
            CheckField(image.expressionPath, "expression image path");
            out += "image\t" + std::to_string(s.imageSeriesId) + "\t" + std::to_string(image.key) + "\t" +
                   std::to_string(image.imageId) + "\t" + std::to_string(image.width) + "\t" +
                   std::to_string(image.height) + "\t" + image.path + "\t" + image.expressionPath + "\n";
        }
        for (const auto& e : s.expression)
            out += "expression\t" + std::to_string(s.imageSeriesId) + "\t" + std::to_string(e.structureId) +
                   "\t" + FormatFloat(e.level) + "\t" + FormatFloat(e.density) + "\t" +
                   std::to_string(e.pattern) + "\n";
    }
    return out;
}

void GeneCatalogue::WriteFile(const std::string& path) const
{
    const std::string text = ToText();
    const std::string error = OSUtils::ReplaceFileContents(path.c_str(), text.data(), text.size());
    if (!error.empty())
        throw std::runtime_error("The gene catalogue " + path + " could not be written: " + error + ".");
}

void GeneCatalogue::Index()
{
    m_geneIndex.clear();
    m_seriesIndex.clear();
    m_structureIndex.clear();
    m_abbreviationIndex.clear();
    m_seriesOfGene.clear();
    m_imagePaths.clear();
    for (size_t i = 0; i < genes.size(); ++i)
        m_geneIndex.emplace(genes[i].geneId, i);
    for (size_t i = 0; i < structures.size(); ++i)
    {
        m_structureIndex.emplace(structures[i].id, i);
        m_abbreviationIndex.emplace(structures[i].abbreviation, i);
    }
    for (size_t i = 0; i < series.size(); ++i)
    {
        m_seriesIndex.emplace(series[i].imageSeriesId, i);
        m_seriesOfGene[series[i].geneId].push_back(i);
        for (size_t k = 0; k < series[i].images.size(); ++k)
        {
            m_imagePaths.emplace(series[i].images[k].path, std::make_pair(i, k));
            if (!series[i].images[k].expressionPath.empty())
                m_imagePaths.emplace(series[i].images[k].expressionPath, std::make_pair(i, k));
        }
    }
}

const CatalogueGene* GeneCatalogue::FindGene(int geneId) const
{
    const auto found = m_geneIndex.find(geneId);
    return found == m_geneIndex.end() ? nullptr : &genes[found->second];
}

const ImageSeries* GeneCatalogue::FindSeries(int imageSeriesId) const
{
    const auto found = m_seriesIndex.find(imageSeriesId);
    return found == m_seriesIndex.end() ? nullptr : &series[found->second];
}

const ImageSeries* GeneCatalogue::FindSeriesByExperiment(int experimentId) const
{
    if (experimentId == 0)
        return nullptr;
    for (const auto& s : series)
        if (s.experimentId == experimentId)
            return &s;
    return nullptr;
}

const ImageSeries* GeneCatalogue::FindSeriesByUrl(const std::string& url) const
{
    if (url.empty())
        return nullptr;
    for (const auto& s : series)
        if (s.url == url)
            return &s;
    return nullptr;
}

const CatalogueStructure* GeneCatalogue::FindStructure(int id) const
{
    const auto found = m_structureIndex.find(id);
    return found == m_structureIndex.end() ? nullptr : &structures[found->second];
}

const CatalogueStructure* GeneCatalogue::FindStructureByAbbreviation(const std::string& abbreviation) const
{
    const auto found = m_abbreviationIndex.find(abbreviation);
    return found == m_abbreviationIndex.end() ? nullptr : &structures[found->second];
}

const ImageSeries* GeneCatalogue::FirstSeriesOfGene(int geneId) const
{
    const auto found = m_seriesOfGene.find(geneId);
    return found == m_seriesOfGene.end() ? nullptr : &series[found->second.front()];
}

std::vector<const ImageSeries*> GeneCatalogue::SeriesOfGene(int geneId) const
{
    std::vector<const ImageSeries*> result;
    const auto found = m_seriesOfGene.find(geneId);
    if (found != m_seriesOfGene.end())
        for (size_t index : found->second)
            result.push_back(&series[index]);
    return result;
}

const SectionImage* GeneCatalogue::FindImageByPath(const std::string& path, const ImageSeries** owner,
                                                   bool* isOverlay) const
{
    const auto found = m_imagePaths.find(path);
    if (found == m_imagePaths.end())
        return nullptr;
    const ImageSeries& s = series[found->second.first];
    const SectionImage& image = s.images[found->second.second];
    if (owner)
        *owner = &s;
    if (isOverlay)
        *isOverlay = image.path != path;
    return &image;
}

const SectionImage* GeneCatalogue::FindImageById(int imageId, const ImageSeries** owner) const
{
    for (const auto& s : series)
        for (const auto& image : s.images)
            if (image.imageId == imageId)
            {
                if (owner)
                    *owner = &s;
                return &image;
            }
    return nullptr;
}

std::vector<int> GeneCatalogue::Subtree(int structureId) const
{
    std::vector<int> result;
    if (!FindStructure(structureId))
        return result;
    result.push_back(structureId);
    // Breadth-first over the parent links; a cycle in a hand-made file cannot
    // loop because every id is taken once.
    std::map<int, bool> taken{{structureId, true}};
    for (size_t next = 0; next < result.size(); ++next)
        for (const auto& s : structures)
            if (s.parentId == result[next] && !taken[s.id])
            {
                taken[s.id] = true;
                result.push_back(s.id);
            }
    return result;
}
} // namespace sampleservice
