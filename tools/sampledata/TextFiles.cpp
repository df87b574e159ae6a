#include "TextFiles.h"

#include "Structures.h"
#include "utility/OSUtils.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <stdexcept>

namespace sampledata
{
namespace
{
std::string ColormapText(unsigned char (*entry)(int index, int channel))
{
    std::string out;
    for (int i = 0; i < 256; ++i)
    {
        for (int c = 0; c < 3; ++c)
        {
            out += std::to_string(int(entry(i, c)));
            out += c < 2 ? ' ' : '\n';
        }
    }
    return out;
}

unsigned char ToByte(double x) { return static_cast<unsigned char>(std::lround(std::clamp(x, 0.0, 1.0) * 255.0)); }

// Structures offered for anatomic searches, with their indents.
const std::pair<const char*, int> kAnatomicDomains[] = {
    {"root", 0}, {"CH", 1},  {"CTX", 2}, {"Isocortex", 3}, {"OLF", 3}, {"HPF", 2}, {"HIP", 3},
    {"CA1", 4},  {"CA3", 4}, {"DG", 4},  {"RHP", 3},       {"CTXsp", 2}, {"CNU", 2}, {"STR", 3},
    {"CP", 4},   {"ACB", 4}, {"PAL", 3}, {"BS", 1},        {"IB", 2},  {"TH", 3},  {"HY", 3},
    {"MB", 2},   {"HB", 2},  {"P", 3},   {"MY", 3},        {"CB", 1},  {"CBX", 2}, {"CBN", 2},
};

// Correlation domains for similar-gene searches.
const std::pair<const char*, int> kSimilarGeneDomains[] = {
    {"root", 0}, {"CH", 1}, {"Isocortex", 2}, {"OLF", 2}, {"HPF", 2}, {"STR", 2},
    {"TH", 1},   {"HY", 1}, {"MB", 1},        {"HB", 1},  {"CB", 1},
};

int DatabaseIdOf(const char* abbreviation)
{
    for (const Structure& s : Structures())
        if (std::string(s.abbreviation) == abbreviation)
            return s.databaseId;
    throw std::logic_error(std::string("No structure has the abbreviation ") + abbreviation + ".");
}
} // namespace

std::string AnnotationColormap()
{
    return ColormapText([](int i, int c) -> unsigned char {
        int s = StructureIndexOfValue(i);
        if (i == 0 || s < 0)
            return 0;
        const Structure& st = Structures()[s];
        return c == 0 ? st.red : (c == 1 ? st.green : st.blue);
    });
}

std::string ExpressionColormap()
{
    return ColormapText([](int i, int c) -> unsigned char {
        if (i < 10)
            return 0;
        // Dark blue through cyan, green and yellow to red.
        double t = (i - 10) / 245.0;
        static const double stops[5][3] = {{0.0, 0.0, 0.55}, {0.0, 0.7, 1.0}, {0.1, 0.85, 0.2}, {1.0, 0.95, 0.0}, {1.0, 0.1, 0.0}};
        double x = t * 4.0;
        int k = std::min(3, int(x));
        double f = x - k;
        return ToByte(stops[k][c] + f * (stops[k + 1][c] - stops[k][c]));
    });
}

std::string JetColormap()
{
    return ColormapText([](int i, int c) -> unsigned char {
        double t = i / 255.0;
        double centre = c == 0 ? 3.0 : (c == 1 ? 2.0 : 1.0);
        return ToByte(1.5 - std::fabs(4.0 * t - centre));
    });
}

std::string SearchDomainsXml()
{
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SearchDomains version=\"1\">\n";
    out += "  <AnatomicSearch>\n";
    for (const auto& d : kAnatomicDomains)
        out += "    <Domain id=\"" + std::to_string(DatabaseIdOf(d.first)) + "\" indent=\"" + std::to_string(d.second) +
               "\"/>\n";
    out += "  </AnatomicSearch>\n  <Simlara coronal=\"true\" sagittal=\"true\">\n";
    for (const auto& d : kSimilarGeneDomains)
        out += "    <Domain id=\"" + std::to_string(DatabaseIdOf(d.first)) + "\" indent=\"" + std::to_string(d.second) +
               "\"/>\n";
    out += "  </Simlara>\n</SearchDomains>\n";
    return out;
}

std::vector<int> SimilarGeneDomainIds()
{
    std::vector<int> ids;
    for (const auto& d : kSimilarGeneDomains)
        ids.push_back(DatabaseIdOf(d.first));
    return ids;
}

void WriteFile(const std::string& path, const void* data, size_t size)
{
    // Readers of the folder see the old file or the whole new one.
    const std::string error = OSUtils::ReplaceFileContents(path.c_str(), data, size);
    if (!error.empty())
        throw std::runtime_error("Could not write " + path + ": " + error);
}

void ReplaceFile(const std::string& path, const std::function<void(const std::string& temporary)>& write)
{
    const std::string temporary = path + ".part";
    std::error_code error;
    try
    {
        write(temporary);
    }
    catch (...)
    {
        std::filesystem::remove(temporary, error);
        throw;
    }
    std::filesystem::rename(temporary, path, error);
    if (error)
    {
        std::filesystem::remove(temporary, error);
        throw std::runtime_error("Could not write " + path + ": " + error.message());
    }
}
} // namespace sampledata
