#include "SampleGenes.h"

#include "BrainShape.h"
#include "GridFiles.h"
#include "NeuronClasses.h"
#include "Parallel.h"
#include "Structures.h"
#include "TextFiles.h"

#include "GeneCatalogue.h"
#include "io/SqlDatabase.h"
#include "io/SqlStatement.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace sampledata
{
namespace
{
constexpr uint64_t kGeneSeed = 0x67656e6573ULL;
constexpr int kMembersPerFamily = 16;
constexpr int kImagesPerSeries = 6;
// About this many voxels express in a series, whatever the size of its structures.
constexpr double kTargetVoxels = 4000.0;
// Each experiment keeps this many most correlated partners per domain.
constexpr int kPartnersPerDomain = 40;

// A family of genes expressed in the same structures (annotation values).
struct Family
{
    const char* prefix;
    const char* stem;
    std::vector<int> homes;
};

const std::vector<Family>& Families()
{
    static const std::vector<Family> families = {
        {"Crtx", "cortical layer protein", {11, 12, 13}},
        {"Lmn", "laminar transcription factor", {13, 14, 15}},
        {"Hpcm", "hippocampal membrane protein", {36, 38, 39}},
        {"Dgrf", "dentate granule factor", {39}},
        {"Stnp", "striatal neuron protein", {46, 47}},
        {"Plcs", "pallidal channel subunit", {50, 51}},
        {"Thrf", "thalamic relay factor", {63, 64, 65}},
        {"Hypp", "hypothalamic peptide", {101, 102, 104}},
        {"Olbr", "olfactory bulb receptor", {16, 18}},
        {"Prfs", "piriform surface protein", {19, 20, 40}},
        {"Cbgp", "cerebellar granule protein", {226, 227}},
        {"Cnkn", "cerebellar nuclear kinase", {228}},
        {"Mclp", "collicular neuron protein", {129, 130}},
        {"Dpnf", "dopaminergic neuron factor", {132, 133}},
        {"Pntn", "pontine neuron protein", {166, 167}},
        {"Mdln", "medullary neuron protein", {190, 191, 192}},
        {"Myap", "myelin-associated protein", {241, 242, 243, 244, 245, 246}},
        {"Epcp", "ependymal cilia protein", {251, 252, 253, 254}},
        {"Amgn", "amygdalar neuron protein", {42, 45}},
        {"Ubhk", "ubiquitous housekeeping protein", {}},
    };
    return families;
}

std::vector<int> LeafValues()
{
    std::vector<int> leaves;
    const auto& all = Structures();
    for (size_t i = 0; i < all.size(); ++i)
        if (IsLeaf(int(i)))
            leaves.push_back(all[i].value);
    return leaves;
}

int GeneId(int gene) { return 20000 + 3 * gene; }

std::string GridPath(const SampleSeries& s) { return "grids/" + std::to_string(s.imageSeriesId) + ".xpr"; }
std::string ThumbnailPath(const SampleSeries& s)
{
    return "grids/" + std::to_string(s.imageSeriesId) + "-thumb.xpr";
}

uint32_t ImageId(const SampleSeries& s, int key) { return uint32_t(700000 + 8 * (s.imageSeriesId - 100000) + key); }
std::string ImagePath(const SampleSeries& s, int key, const char* kind)
{
    return "production/" + std::string(kind) + "/" + std::to_string(s.imageSeriesId) + "/" +
           std::to_string(ImageId(s, key)) + ".aff";
}

// Section images and their pixel size: coronal sections cut across x, sagittal ones across z.
constexpr uint32_t kCoronalImage[2] = {11200, 8000};
constexpr uint32_t kSagittalImage[2] = {13600, 8000};
constexpr double kImagePixelMicrometres = 1.05;

// The series' data set: the view voxels that express, each on its nearest section image.
GridData SeriesGrid(const SampleSeries& s, const SampleGeneSet& genes, const Volume& view,
                    const std::array<uint64_t, 256>& counts)
{
    GridData g;
    g.header[0] = s.experimentId;
    g.header[1] = s.imageSeriesId;
    g.header[5] = GeneId(s.gene);
    g.header[6] = 100000 + GeneId(s.gene);
    g.header[8] = s.plane;
    g.header[9] = s.probe;
    g.finePixels = s.plane == 0;
    g.name = genes.names[s.gene];
    g.symbol = genes.symbols[s.gene];
    g.descriptions[0] = s.probe == 1 ? "antisense" : "sense";
    g.descriptions[1] = s.plane == 0 ? "coronal" : "sagittal";
    const uint32_t* size = s.plane == 0 ? kCoronalImage : kSagittalImage;
    for (int key = 1; key <= kImagesPerSeries; ++key)
    {
        GridImage image;
        image.key = uint32_t(key);
        image.imageId = ImageId(s, key);
        image.width = s.imageSizesKnown ? size[0] : 0;
        image.height = s.imageSizesKnown ? size[1] : 0;
        image.imagePath = "/store/" + ImagePath(s, key, "primary");
        g.images.push_back(image);
    }
    double expected = 0;
    for (int v = 1; v < 256; ++v)
        expected += double(counts[v]) * s.level[v];
    const double scale = expected > kTargetVoxels ? kTargetVoxels / expected : 1.0;
    // Sections lie evenly along the cutting axis.
    const int axisLength = s.plane == 0 ? view.nx : view.nz;
    for (int z = 0; z < view.nz; ++z)
        for (int y = 0; y < view.ny; ++y)
            for (int x = 0; x < view.nx; ++x)
            {
                const size_t index = size_t(x) + size_t(view.nx) * (size_t(y) + size_t(view.ny) * z);
                const int value = view.voxels[index];
                if (value == 0 || s.level[value] <= 0)
                    continue;
                if (Uniform(kGeneSeed, uint64_t(s.imageSeriesId), index) >= s.level[value] * scale)
                    continue;
                const double e = s.level[value] * (0.6 + 0.8 * Uniform(kGeneSeed + 1, uint64_t(s.imageSeriesId), index));
                Expressor voxel;
                voxel.gridId = uint32_t(index + 1);
                // Size of the stained area, its density, the level on the
                // colormap's scale and the number of stained cells.
                voxel.a = float(10.0 + 60.0 * e);
                voxel.b = float(std::min(1.0, e));
                voxel.score = float(std::min(255.0, 12.0 + 240.0 * e));
                voxel.count = static_cast<uint16_t>(1 + int(30 * std::min(1.0, e)));
                const int along = s.plane == 0 ? x : z;
                voxel.imageKey = static_cast<uint16_t>(
                    1 + std::clamp(along * kImagesPerSeries / axisLength, 0, kImagesPerSeries - 1));
                const int across = s.plane == 0 ? z : x;
                voxel.x = static_cast<uint16_t>(
                    std::clamp(int((across * 100.0 + 300.0) / kImagePixelMicrometres), 0, int(size[0]) - 1));
                voxel.y = static_cast<uint16_t>(
                    std::clamp(int((y * 100.0 - 200.0) / kImagePixelMicrometres), 0, int(size[1]) - 1));
                g.voxels.push_back(voxel);
            }
    return g;
}

void Execute(SqlDatabase& db, const std::string& sql)
{
    SqlStatement statement(&db, sql);
    statement.ExecuteAll();
}

void CheckSql(SqlDatabase& db, int rc)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE)
        throw std::runtime_error("The correlation database could not be written: " + db.LastErrorMessage());
}

// Pearson correlation of two level vectors.
double Correlation(const std::vector<float>& p, const std::vector<float>& q)
{
    const size_t n = p.size();
    double mp = 0, mq = 0;
    for (size_t i = 0; i < n; ++i)
    {
        mp += p[i];
        mq += q[i];
    }
    mp /= double(n);
    mq /= double(n);
    double spq = 0, spp = 0, sqq = 0;
    for (size_t i = 0; i < n; ++i)
    {
        spq += (p[i] - mp) * (q[i] - mq);
        spp += (p[i] - mp) * (p[i] - mp);
        sqq += (q[i] - mq) * (q[i] - mq);
    }
    return spp > 0 && sqq > 0 ? spq / std::sqrt(spp * sqq) : 0.0;
}
} // namespace

SampleGeneSet MakeSampleGenes()
{
    SampleGeneSet genes;
    const std::vector<int> leaves = LeafValues();
    int seriesCount = 0;
    for (size_t f = 0; f < Families().size(); ++f)
    {
        const Family& family = Families()[f];
        for (int m = 1; m <= kMembersPerFamily; ++m)
        {
            const int gene = int(genes.symbols.size());
            genes.symbols.push_back(family.prefix + std::to_string(m));
            genes.names.push_back(family.stem + std::string(" ") + std::to_string(m));
            // The gene's own levels: its family's structures, perhaps one more, and a low background.
            std::array<float, 256> level{};
            const bool everywhere = family.homes.empty();
            const double background = everywhere ? 0.35 + 0.35 * Uniform(kGeneSeed, gene, 1) : 0.02 + 0.08 * Uniform(kGeneSeed, gene, 1);
            for (int v : leaves)
                level[v] = float(background);
            for (size_t h = 0; h < family.homes.size(); ++h)
                level[family.homes[h]] = float(0.45 + 0.55 * Uniform(kGeneSeed, gene, 2, h));
            if (Uniform(kGeneSeed, gene, 3) < 0.5)
            {
                const int extra = leaves[size_t(Uniform(kGeneSeed, gene, 4) * double(leaves.size()))];
                level[extra] = std::max(level[extra], float(0.3 + 0.3 * Uniform(kGeneSeed, gene, 5)));
            }
            const double r = Uniform(kGeneSeed, gene, 6);
            const int seriesOfGene = r < 0.5 ? 1 : r < 0.85 ? 2 : 3;
            for (int k = 0; k < seriesOfGene; ++k, ++seriesCount)
            {
                SampleSeries s;
                s.imageSeriesId = 100000 + seriesCount;
                s.gene = gene;
                s.experimentId = Uniform(kGeneSeed, seriesCount, 7) < 0.04 ? 0 : 500000 + 7 * seriesCount;
                s.plane = Uniform(kGeneSeed, seriesCount, 8) < (k == 0 ? 0.7 : 0.4) ? 0 : 1;
                // A sense probe is a control: it hardly stains anything.
                s.probe = k > 0 && Uniform(kGeneSeed, seriesCount, 9) < 0.25 ? 0 : 1;
                s.version3 = Uniform(kGeneSeed, seriesCount, 10) < 0.1;
                s.thumbnailWithSize = Uniform(kGeneSeed, seriesCount, 11) >= 0.15;
                s.imageSizesKnown = Uniform(kGeneSeed, seriesCount, 12) >= 0.3;
                for (int v : leaves)
                {
                    const double scatter = 0.85 + 0.3 * Uniform(kGeneSeed + 2, seriesCount, uint64_t(v));
                    s.level[v] = float(std::min(1.0, level[v] * scatter * (s.probe == 0 ? 0.08 : 1.0)));
                }
                genes.series.push_back(s);
            }
        }
    }
    return genes;
}

StructureLevels ComputeStructureLevels(const SampleGeneSet& genes, const Volume& view)
{
    std::array<uint64_t, 256> counts{};
    for (uint8_t v : view.voxels)
        ++counts[v];
    const auto tables = SubtreeValueTables();
    StructureLevels out;
    for (const SampleSeries& s : genes.series)
    {
        std::vector<float> levels, densities;
        for (const auto& members : tables)
        {
            double voxels = 0, level = 0;
            for (int v = 1; v < 256; ++v)
                if (members[v])
                {
                    voxels += double(counts[v]);
                    level += double(counts[v]) * s.level[v];
                }
            levels.push_back(voxels > 0 ? float(level / voxels) : 0.0f);
            // Voxels express with a probability that follows the level.
            densities.push_back(voxels > 0 ? float(std::min(1.0, level / voxels)) : 0.0f);
        }
        out.levels.push_back(std::move(levels));
        out.densities.push_back(std::move(densities));
    }
    return out;
}

void WriteSampleService(const std::string& folder, const SampleGeneSet& genes, const StructureLevels& levels,
                        const Volume& view, const std::string& searchDomainsXml, int threads)
{
    namespace fs = std::filesystem;
    fs::remove_all(fs::path(folder) / "grids");
    fs::create_directories(fs::path(folder) / "grids");
    std::array<uint64_t, 256> counts{};
    for (uint8_t v : view.voxels)
        ++counts[v];

    ParallelFor(int(genes.series.size()), threads, [&](int i) {
        const SampleSeries& s = genes.series[size_t(i)];
        const GridData grid = SeriesGrid(s, genes, view, counts);
        const std::string full = (fs::path(folder) / GridPath(s)).string();
        if (s.version3)
            WriteFile(full, EncodeVersion3(grid));
        else
            WriteGridFile(full, grid);
        const auto fullSize = uint32_t(fs::file_size(full));
        WriteFile((fs::path(folder) / ThumbnailPath(s)).string(),
                  EncodeThumbnail(grid, s.thumbnailWithSize ? 30001 : 30000, fullSize));
    });

    sampleservice::GeneCatalogue catalogue;
    const auto& all = Structures();
    for (const Structure& st : all)
    {
        int parentId = 0;
        for (const Structure& p : all)
            if (std::string(p.abbreviation) == st.parent)
                parentId = p.databaseId;
        catalogue.structures.push_back({st.databaseId, parentId, st.abbreviation, st.name});
    }
    for (size_t g = 0; g < genes.symbols.size(); ++g)
        catalogue.genes.push_back({GeneId(int(g)), genes.symbols[g], genes.names[g]});
    for (size_t i = 0; i < genes.series.size(); ++i)
    {
        const SampleSeries& s = genes.series[i];
        sampleservice::ImageSeries series;
        series.imageSeriesId = s.imageSeriesId;
        series.geneId = GeneId(s.gene);
        series.experimentId = s.experimentId;
        series.plane = s.plane;
        series.probeOrientation = s.probe;
        char date[16];
        std::snprintf(date, sizeof date, "2006-%02d-%02d", int(1 + i % 12), int(1 + i % 28));
        series.date = date;
        series.condition = i % 5 == 0 ? "adult male" : "";
        series.url = GridPath(s);
        series.fullGrid = GridPath(s);
        series.thumbnailGrid = ThumbnailPath(s);
        const uint32_t* size = s.plane == 0 ? kCoronalImage : kSagittalImage;
        for (int key = 1; key <= kImagesPerSeries; ++key)
            series.images.push_back({key, int(ImageId(s, key)), int(size[0]), int(size[1]),
                                     ImagePath(s, key, "primary"), ImagePath(s, key, "express")});
        for (size_t k = 0; k < all.size(); ++k)
        {
            const float level = levels.levels[i][k], density = levels.densities[i][k];
            const int pattern = level < 0.05f ? 0 : density > 0.5f ? 1 : 2;
            series.expression.push_back({all[k].databaseId, level, density, pattern});
        }
        catalogue.series.push_back(std::move(series));
    }
    catalogue.Index();
    catalogue.WriteFile((fs::path(folder) / "catalogue.txt").string());
    WriteFile((fs::path(folder) / "SearchDomains.xml").string(), searchDomainsXml);
}

void WriteCorrelationDatabase(const std::string& path, const SampleGeneSet& genes, const StructureLevels& levels)
{
    std::filesystem::remove(path);
    SqlDatabase db(path);
    Execute(db, "BEGIN;"
                "CREATE TABLE Experiments (name TEXT, symbol TEXT, experimentId INTEGER PRIMARY KEY, "
                "imageSeriesId INTEGER, geneId INTEGER);");
    {
        SqlStatement insert(&db, "INSERT INTO Experiments VALUES (?, ?, ?, ?, ?);");
        insert.PrepareNext();
        for (const SampleSeries& s : genes.series)
        {
            if (s.experimentId == 0)
                continue;
            sqlite3_reset(insert);
            sqlite3_bind_text(insert, 1, genes.names[s.gene].c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 2, genes.symbols[s.gene].c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(insert, 3, s.experimentId);
            sqlite3_bind_int(insert, 4, s.imageSeriesId);
            sqlite3_bind_int(insert, 5, GeneId(s.gene));
            CheckSql(db, sqlite3_step(insert));
        }
    }
    // Per domain: each experiment's level vector over the leaf structures,
    // correlated with every other experiment's.
    const auto& all = Structures();
    const auto tables = SubtreeValueTables();
    for (int domain : SimilarGeneDomainIds())
    {
        int domainIndex = -1;
        for (size_t k = 0; k < all.size(); ++k)
            if (all[k].databaseId == domain)
                domainIndex = int(k);
        if (domainIndex < 0)
            throw std::logic_error("A similar-gene domain is no structure.");
        // Every leaf structure takes part, those of the domain three times
        // over: genes are similar in a domain when they share its structures
        // and differ from the rest of the brain alike.
        std::vector<size_t> parts;
        for (size_t k = 0; k < all.size(); ++k)
            if (IsLeaf(int(k)))
                for (int copies = tables[size_t(domainIndex)][all[k].value] ? 3 : 1; copies > 0; --copies)
                    parts.push_back(k);
        std::vector<size_t> members;
        std::vector<std::vector<float>> vectors;
        for (size_t i = 0; i < genes.series.size(); ++i)
        {
            if (genes.series[i].experimentId == 0)
                continue;
            std::vector<float> v;
            for (size_t k : parts)
                v.push_back(levels.levels[i][k]);
            members.push_back(i);
            vectors.push_back(std::move(v));
        }
        const std::string table = "S" + std::to_string(domain);
        Execute(db, "CREATE TABLE " + table + " (experiment1 INTEGER, experiment2 INTEGER, correlation REAL);");
        SqlStatement insert(&db, "INSERT INTO " + table + " VALUES (?, ?, ?);");
        insert.PrepareNext();
        for (size_t a = 0; a < members.size(); ++a)
        {
            std::vector<std::pair<double, size_t>> partners;
            for (size_t b = 0; b < members.size(); ++b)
                if (b != a)
                    partners.emplace_back(Correlation(vectors[a], vectors[b]), b);
            // The series itself leads its own results, as in the service's.
            partners.emplace_back(1.0, a);
            const size_t keep = std::min<size_t>(kPartnersPerDomain, partners.size());
            std::partial_sort(partners.begin(), partners.begin() + long(keep), partners.end(),
                              [](const auto& p, const auto& q) { return p.first > q.first || (p.first == q.first && p.second < q.second); });
            for (size_t k = 0; k < keep; ++k)
            {
                sqlite3_reset(insert);
                sqlite3_bind_int(insert, 1, genes.series[members[a]].experimentId);
                sqlite3_bind_int(insert, 2, genes.series[members[partners[k].second]].experimentId);
                sqlite3_bind_double(insert, 3, partners[k].first);
                CheckSql(db, sqlite3_step(insert));
            }
        }
        Execute(db, "CREATE INDEX " + table + "_experiment1 ON " + table + " (experiment1);");
    }
    Execute(db, "COMMIT;");
}
} // namespace sampledata
