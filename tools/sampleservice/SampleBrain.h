#ifndef NUVARO_SAMPLESERVICE_SAMPLEBRAIN_H
#define NUVARO_SAMPLESERVICE_SAMPLEBRAIN_H

#include "model/Atlas.h"

#include <array>
#include <memory>
#include <string>

class Image3d;
namespace ImageGrid
{
class BrainOntology;
}

namespace sampleservice
{
struct ImageSeries;

// The sample atlas's brain as the service draws it: the 25-micrometre Nissl
// stain ("Atlas25.comp", unpacked in memory), the annotation ("Annotation25")
// and the ontology with its colours, read from the application's data folder.
class SampleBrain
{
public:
    // The atlas grid: x anterior to posterior, y dorsal to ventral, z across.
    static constexpr int kNX = Atlas::kAtlasNX;
    static constexpr int kNY = Atlas::kAtlasNY;
    static constexpr int kNZ = Atlas::kAtlasNZ;
    static constexpr float kVoxelMicrometres = 25.0f;

    // The brain of a data folder, read on the first call for that folder and
    // shared by every later caller (also from other threads). Null when the
    // folder lacks one of the files or they cannot be read; that outcome is
    // remembered too. error receives the reason then.
    static std::shared_ptr<const SampleBrain> ForFolder(const std::string& folder, std::string* error = nullptr);

    ~SampleBrain();
    SampleBrain(const SampleBrain&) = delete;
    SampleBrain& operator=(const SampleBrain&) = delete;

    const unsigned char* Nissl() const;
    const unsigned char* Annotation() const;
    const ImageGrid::BrainOntology& Ontology() const { return *m_ontology; }

    // Display colour of each annotation value, packed 0xRRGGBB.
    const std::array<unsigned int, 256>& Colours() const { return m_colours; }

    // Per annotation value, the series' expression in the structure or the
    // nearest enclosing structure the series lists: level and density (0..1).
    struct ExpressionTable
    {
        std::array<float, 256> level{};
        std::array<float, 256> density{};
    };
    ExpressionTable ExpressionOf(const ImageSeries& series) const;

private:
    explicit SampleBrain(const std::string& folder); // throws std::runtime_error

    std::unique_ptr<Image3d> m_nissl;
    std::unique_ptr<Image3d> m_annotation;
    std::unique_ptr<ImageGrid::BrainOntology> m_ontology;
    std::array<unsigned int, 256> m_colours{};
};
} // namespace sampleservice

#endif
