#ifndef NUVARO_MODEL_GENEEXPRESSION_H
#define NUVARO_MODEL_GENEEXPRESSION_H

#include "model/BrainFeature.h"
#include "model/Expressor.h"

#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

class Atlas;
class Image3d;
class IOStream;
class MemoryStream;
namespace ImageGrid
{
class BrainOntology;
}

// One gene's expression data set: the measurements of one image series
// resampled onto the atlas's 100-micrometre view grid. It is both the record
// of a search result (identifiers, names, score, whether a grid file can be
// fetched) and, once a grid file has been read, the loaded data: the
// expressors, the section images they were measured on and one BrainFeature
// per ontology structure.
//
// Grid files (".xpr"), all numbers little-endian:
//  - version 2: u32 2, symbol, u32 record count, records of 17 words;
//  - version 3: u32 3, 21 header words, 5 strings, 4 bytes, image entries,
//    quadrat records of 88 bytes;
//  - version 20000 (the one written): u32 0xEEEEDDDD, u32 20000, one
//    compressed block holding the 16 header words, 5 strings, the image
//    entries and quadrat records of 24 bytes;
//  - thumbnails 30000 and 30001: u32 0xEEEEDDDD, the version, u32 z step,
//    (30001) u32 full file size, u32 expected count, one compressed block
//    holding a byte volume of the view grid (every second plane for z step 1).
class GeneExpression
{
public:
    // Header word 8.
    enum PlaneOfSection : int32_t
    {
        kPlaneNotGiven = -1,
        kCoronal = 0,
        kSagittal = 1 // any non-zero value stands for sagittal
    };

    // One section image of the series. Paths use "/" as separator.
    struct ImageInfo
    {
        uint32_t key = 0;
        uint32_t imageId = 0;
        uint32_t width = 0;
        uint32_t height = 0;
        std::string imagePath;
        std::string expressionPath;
    };

    // The 16 words of the search header.
    static constexpr int kHeaderWords = 16;
    // Header words that grid files use for their counts.
    static constexpr int kImageCountWord = 14;
    static constexpr int kExpressorCountWord = 15;
    // The first word of version 20000 and thumbnail grid files.
    static constexpr uint32_t kGridMagic = 0xEEEEDDDDu;

    // Reads a grid file from the stream (see Read).
    explicit GeneExpression(IOStream& stream);
    // Reads the grid file at path (see Read); throws when it cannot be opened.
    explicit GeneExpression(const char* path);
    // A result of a gene list import or a local correlation search. Not
    // available when no id is given, or when only an experiment id is given
    // and the preferences know no experiment lookup host.
    GeneExpression(const char* name, const char* symbol, int experimentId, int imageSeriesId, int geneId,
                   float score);
    // A result of a service search; available when an image series id, a gene
    // id or a url is given.
    GeneExpression(const char* name, const char* symbol, const char* url, const char* extra, int planeOfSection,
                   int probeOrientation, int imageSeriesId, int geneId, unsigned fileSize, float score,
                   bool processingStatusGood);
    // A named record without data.
    GeneExpression(const char* name, const char* symbol);

    // Copies every member; the copy's features point into its own expressors.
    GeneExpression(const GeneExpression& other);
    GeneExpression& operator=(const GeneExpression& other);
    GeneExpression(GeneExpression&& other) = default;
    GeneExpression& operator=(GeneExpression&& other) = default;
    virtual ~GeneExpression();

    // Reads a grid file of any supported version from the stream's position,
    // replacing the loaded data (expressors, images, features), then derives
    // every expressor's grid position and structure and the brain features
    // from the process-wide atlas. Throws std::runtime_error; on failure the
    // loaded data is empty, the identifiers and names are as before and the
    // data set is no longer available.
    virtual void Read(IOStream& stream);
    // Writes the data set as a version 20000 grid file. The file is replaced
    // atomically: on failure an existing file stays as it was. Throws
    // std::runtime_error naming the file and the cause.
    virtual void Write(const std::string& path);
    // Drops the loaded data to keep a search result small, and clears the
    // loaded flag; returns this. A record without experiment id, image
    // series id, gene id and url could not fetch its data again: it keeps
    // everything and the result is null.
    virtual GeneExpression* SlimDown();
    // Rebuilds the expressors from the gene's count volume, one byte a
    // view-grid voxel (x fastest), gzip-compressed in
    // "$HOME/temp/<symbol>.xprt": every voxel counting more than 5 becomes an
    // expressor of that count, with its structure and features. What the file
    // does not hold counts 0: an unset HOME, a missing or short file, or a
    // symbol that would name a file elsewhere (holding "/" or "..") leaves no
    // expressors; bytes past the volume are not read.
    virtual void CombineGrids(const Atlas* atlas);

    // Lookups.
    // The expressor with exactly that grid id, or null (binary search).
    const Expressor* GetExpressorAtGrid(unsigned gridId) const;
    // The image stored under the key, or null.
    const ImageInfo* GetImageInfo(int key) const;
    // symbol's letters and digits, "_", "sagittal_" or "coronal_", the image
    // series id, ".xpr".
    std::string GetExportedFileName() const;
    // An estimate of the memory the data set takes, in bytes.
    unsigned GetMemoryUsed() const;
    // Rebuilds the brain features from the atlas's ontology after sorting the
    // expressors by grid id.
    void ComputeBrainFeatures(const Atlas* atlas);

    int GetExperimentId() const { return m_header[0]; }
    int GetImageSeriesId() const { return m_header[1]; }
    int GetGeneId() const { return m_header[5]; }
    int GetEntrezGeneId() const { return m_header[6]; }
    PlaneOfSection GetPlaneOfSection() const { return static_cast<PlaneOfSection>(m_header[8]); }
    int GetProbeOrientation() const { return m_header[9]; }
    // The 16 search header words.
    const int32_t* GetSearchHeader() const { return m_header; }

    const std::string& GetName() const { return m_name; }
    const std::string& GetSymbol() const { return m_symbol; }
    // The three descriptive strings that grid files carry after the symbol (0..2).
    const std::string& GetDescription(int i) const { return m_descriptions[i]; }
    const std::string& GetUrl() const { return m_url; }
    // The further string a service search result gives.
    const std::string& GetExtra() const { return m_extra; }
    unsigned GetFileSize() const { return m_fileSize; }

    bool IsDataLoaded() const { return m_dataLoaded; }
    bool IsDataAvailable() const { return m_dataAvailable; }
    void SetDataAvailable(bool available) { m_dataAvailable = available; }
    bool GetProcessingStatusGood() const { return m_processingStatusGood; }

    const std::vector<Expressor>& GetExpressors() const { return m_expressors; }
    // Replaces the expressor list of a data set made in memory (not read from
    // a grid file); call ComputeBrainFeatures afterwards.
    void SetExpressors(std::vector<Expressor> expressors) { m_expressors = std::move(expressors); }
    std::vector<BrainFeature>& GetBrainFeatures() { return m_brainFeatures; }
    const std::vector<BrainFeature>& GetBrainFeatures() const { return m_brainFeatures; }
    const std::map<int, ImageInfo>& GetImages() const { return m_images; }

    void GetColor(float& r, float& g, float& b) const
    {
        r = m_color[0];
        g = m_color[1];
        b = m_color[2];
    }
    void SetColor(float r, float g, float b)
    {
        m_color[0] = r;
        m_color[1] = g;
        m_color[2] = b;
    }
    bool IsVisible() const { return m_visible; }
    void SetVisible(bool visible) { m_visible = visible; }
    float GetPixelSpacing() const { return m_pixelSpacing; }
    float GetScore() const { return m_score; }

    // Section image paths as stored on the server: a path that begins with
    // "\" or "/" gets "/" separators and loses its leading separators and
    // first component (\\srv\data\a.jpg becomes data/a.jpg).
    static std::string TranslatePath(const std::string& path);
    // The expression image path of an image whose file gives none: the image
    // path with its first "/primary/" replaced by "/express/"; empty when the
    // image path holds no "/primary/".
    static void ConvertToExpressionPath(ImageInfo& info);

protected:
    // The version readers; each starts right after the version word.
    virtual void ReadVersion2(IOStream* stream);
    virtual void ReadVersion3(IOStream* stream);
    virtual void ReadVersion20000(IOStream* stream);
    virtual void ReadThumbnail(const Atlas* atlas, IOStream* stream, unsigned version);

private:
    // Header zero except words 8 and 9 (-1), strings empty, file size 0,
    // loaded, available and status good, default colour, visible, no pixel
    // spacing, score -1.
    GeneExpression();
    void ReadFile(const char* path);

    // Drops expressors, features and images.
    void ClearLoadedData();
    // Reads the 5 strings grid files carry, replacing the stored ones.
    void ReadStrings(IOStream& stream);
    // Reads count image entries, one by one.
    void ReadImages(IOStream& stream, uint32_t count);
    // The version 20000 content, already inflated.
    void ReadContent20000(MemoryStream& content, uint32_t maxGridId);
    // Fills every expressor's grid position and structure, then sorts the
    // list and rebuilds the features (ComputeBrainFeatures).
    void DeriveExpressorData(const Atlas* atlas);
    // What placing an expressor needs of the atlas: the view grid's shape and
    // the structure at each voxel centre.
    class VoxelPlacer
    {
    public:
        explicit VoxelPlacer(const Atlas* atlas);
        // Sets e's grid position to (x, y, z), the voxel of its grid id, and
        // its structure.
        void Place(Expressor& e, uint32_t x, uint32_t y, uint32_t z) const;
        // Same, the voxel found from e's grid id.
        void Place(Expressor& e) const;

    private:
        // The annotation value at e's grid position, looked up in micrometres.
        int ValueInMicrometres(const Expressor& e) const;

        uint32_t m_nx;
        uint32_t m_sliceSize;
        float m_resolution;
        const Image3d* m_annotation;
        const ImageGrid::BrainOntology* m_ontology;
        // The annotation volume's voxels when it is the view grid itself (the
        // voxel centre of grid id g is then voxel g - 1), else null.
        const unsigned char* m_sameGridVoxels;
    };
    // Rebuilds the features from the ontology over the expressors as they are.
    void BuildBrainFeatures(const Atlas* atlas);
    // Makes the features point into this object's expressors after copying
    // them from other.
    void RebindBrainFeatures(const GeneExpression& other);
    // The uncompressed version 20000 content, in a buffer sized to hold it.
    void BuildContent20000(MemoryStream& content) const;

    int32_t m_header[kHeaderWords];
    std::string m_name;
    std::string m_symbol;
    std::string m_descriptions[3];
    std::string m_url;
    std::string m_extra;
    uint32_t m_fileSize;
    bool m_dataLoaded;
    bool m_dataAvailable;
    bool m_processingStatusGood;
    std::vector<Expressor> m_expressors;
    std::vector<BrainFeature> m_brainFeatures;
    float m_color[3];
    bool m_visible;
    std::map<int, ImageInfo> m_images;
    float m_pixelSpacing;
    float m_score;
};

// Reads a grid-file string from a file stream: one length byte, then that
// many bytes (a length of 0 gives an empty string). A read that falls short
// throws std::runtime_error("Invalid string in grid file.") and leaves s as it
// was. The grid readers read their strings through IOStream instead.
void ReadString(std::fstream& file, std::string& s);

#endif
