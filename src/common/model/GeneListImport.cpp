// Reading gene list files (CSV) into a PagedGeneList.
//
// Two forms are known, told apart by the header line:
//  - "id,geneName,geneSymbol[,...]": gene id, name and symbol per row;
//  - anything else of two or more fields: the symbol in column 0 and an id in
//    column 1, an experiment id when the header of column 1 is part of the
//    word "experiment" (e.g. "exp", or empty), else an image series id; a
//    later column headed "genename" or "geneid" (any case) gives the name or
//    the gene id.
#include "model/PagedGeneList.h"

#include "model/GeneExpression.h"
#include "utility/AlertBox.h"
#include "utility/LineReader.h"
#include "utility/StringUtils.h"
#include "utility/TextParsing.h"

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{
// Which column holds what; -1 for none.
struct ColumnLayout
{
    int id = -1; // experiment or image series id
    bool experimentIds = false;
    int name = -1;
    int symbol = -1;
    int geneId = -1;
};

// The layout the header gives; false when the header has too few fields.
bool ReadHeader(const std::vector<std::string>& header, ColumnLayout& layout)
{
    if (header.size() < 2)
        return false;
    if (header.size() >= 3 && header[0] == "id" && header[1] == "geneName" && header[2] == "geneSymbol")
    {
        layout.geneId = 0;
        layout.name = 1;
        layout.symbol = 2;
        return true;
    }
    layout.symbol = 0;
    layout.id = 1;
    layout.experimentIds = std::string("experiment").find(header[1]) != std::string::npos;
    for (size_t i = 2; i < header.size(); ++i)
    {
        if (StringUtils::EqualsIgnoringCase(header[i], "genename"))
            layout.name = static_cast<int>(i);
        else if (StringUtils::EqualsIgnoringCase(header[i], "geneid"))
            layout.geneId = static_cast<int>(i);
    }
    return true;
}

// The field at column, or empty when the row is shorter or there is none.
const std::string* Field(const std::vector<std::string>& fields, int column)
{
    if (column < 0 || static_cast<size_t>(column) >= fields.size())
        return nullptr;
    return &fields[static_cast<size_t>(column)];
}

int IntegerField(const std::vector<std::string>& fields, int column)
{
    const std::string* field = Field(fields, column);
    return field != nullptr ? ParseLeadingInt(*field, IntOverflow::Zero) : 0;
}
} // namespace

void PagedGeneList::LoadFile(const char* path)
{
    const std::string filePath = path != nullptr ? path : "";
    // A request still in flight must not add its records to the import.
    StopQuery();
    if (!EmptyForNewContent())
        return;
    const unsigned generation = m_contentGeneration;

    LineReader reader(filePath.c_str());
    if (!reader.IsOpen())
        throw std::runtime_error("Gene list file could not be opened: " + filePath);

    const size_t slash = filePath.rfind('/');
    SetName(slash == std::string::npos ? filePath.c_str() : filePath.c_str() + slash + 1);
    m_canSearchByGeneId = true;
    m_status = "Loading gene list file...";

    try
    {
        ReadGeneListLines(reader, filePath, generation);
    }
    catch (...)
    {
        if (generation == m_contentGeneration)
        {
            m_status.clear();
            m_sized = true;
            Notify(kSized, 0);
        }
        throw;
    }
}

void PagedGeneList::ReadGeneListLines(LineReader& reader, const std::string& path, unsigned generation)
{
    std::string line;
    bool tooLong = false;
    std::vector<std::string> fields;
    ColumnLayout layout;
    bool haveHeader = reader.ReadLine(line, tooLong);
    if (haveHeader)
    {
        line.erase(0, line.size() - WithoutByteOrderMark(line).size());
        StringUtils::SplitLine(line, fields);
        for (const std::string& field : fields)
            std::printf("%s | ", field.c_str());
        std::printf("\n");
        if (tooLong || !ReadHeader(fields, layout))
            throw std::runtime_error("The gene list file is not in the expected format: " + path);
    }

    int imported = 0;
    bool asked = false;
    while (haveHeader && reader.ReadLine(line, tooLong))
    {
        if (tooLong)
            continue;
        StringUtils::SplitLine(line, fields);
        const int id = IntegerField(fields, layout.id);
        const int geneId = IntegerField(fields, layout.geneId);
        if (id == 0 && geneId == 0)
            continue;
        if (imported == kImportConfirmationRows && !asked)
        {
            asked = true;
            if (!ShowConfirmationBox("5000 experiments have been imported so far. Do you want to continue?"))
                break;
        }
        const std::string* name = Field(fields, layout.name);
        const std::string* symbol = Field(fields, layout.symbol);
        const int experimentId = layout.experimentIds ? id : 0;
        const int imageSeriesId = layout.experimentIds ? 0 : id;
        m_genes.push_back(new GeneExpression(name != nullptr ? name->c_str() : nullptr,
                                             symbol != nullptr ? symbol->c_str() : nullptr, experimentId,
                                             imageSeriesId, geneId, -1.0f));
        const int index = imported++;
        if (index < m_pageSize)
        {
            // A listener that starts other content ends the import.
            if (!Notify(kGeneAdded, index) || generation != m_contentGeneration)
                return;
        }
    }

    CalculateNumPages();
    m_status.clear();
    m_sized = true;
    Notify(kSized, 0);
}
