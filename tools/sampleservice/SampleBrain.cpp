#include "SampleBrain.h"

#include "GeneCatalogue.h"
#include "ServiceFiles.h"

#include "io/Image3d.h"
#include "model/BrainOntology.h"

#include <map>
#include <mutex>
#include <stdexcept>

namespace sampleservice
{
SampleBrain::SampleBrain(const std::string& folder)
    : m_nissl(std::make_unique<Image3d>()), m_annotation(std::make_unique<Image3d>())
{
    const std::string ontology = JoinPath(folder, "ontology.csv");
    const std::string nissl = JoinPath(folder, "Atlas25.comp");
    const std::string annotation = JoinPath(folder, "Annotation25");
    m_ontology = std::make_unique<ImageGrid::BrainOntology>(ontology.c_str());
    if (m_ontology->GetNumStructures() == 0)
        throw std::runtime_error("The ontology " + ontology + " names no structure.");
    if (!m_nissl->ImportSlices(nissl.c_str(), kNX, kNY, kNZ, kVoxelMicrometres, nullptr, nullptr, nullptr))
        throw std::runtime_error("The Nissl stain " + nissl + " could not be unpacked.");
    if (!m_annotation->Load(annotation.c_str(), kNX, kNY, kNZ, kVoxelMicrometres, nullptr, nullptr, nullptr))
        throw std::runtime_error("The annotation " + annotation + " could not be read.");
    for (int value = 0; value < 256; ++value)
    {
        const ImageGrid::AnnotationLabel* label = m_ontology->GetAnnotationLabel(static_cast<unsigned char>(value));
        m_colours[static_cast<size_t>(value)] =
            static_cast<unsigned int>(label->red) << 16 | static_cast<unsigned int>(label->green) << 8 | label->blue;
    }
}

SampleBrain::~SampleBrain() = default;

std::shared_ptr<const SampleBrain> SampleBrain::ForFolder(const std::string& folder, std::string* error)
{
    struct Entry
    {
        std::shared_ptr<const SampleBrain> brain;
        std::string error;
    };
    static std::mutex mutex;
    static std::map<std::string, Entry> brains;
    // Loading takes a while; holding the lock then makes concurrent first
    // callers wait for the one load rather than each reading the files.
    std::lock_guard<std::mutex> lock(mutex);
    auto found = brains.find(folder);
    if (found == brains.end())
    {
        Entry entry;
        try
        {
            entry.brain.reset(new SampleBrain(folder));
        }
        catch (const std::exception& e)
        {
            entry.error = e.what();
        }
        found = brains.emplace(folder, std::move(entry)).first;
    }
    if (error)
        *error = found->second.error;
    return found->second.brain;
}

const unsigned char* SampleBrain::Nissl() const
{
    return m_nissl->GetBuffer();
}

const unsigned char* SampleBrain::Annotation() const
{
    return m_annotation->GetBuffer();
}

SampleBrain::ExpressionTable SampleBrain::ExpressionOf(const ImageSeries& series) const
{
    std::map<int, const StructureExpression*> byStructure;
    for (const StructureExpression& e : series.expression)
        byStructure[e.structureId] = &e;
    ExpressionTable table;
    for (int value = 1; value < 256; ++value)
    {
        for (const ImageGrid::AnnotationLabel* label = m_ontology->GetAnnotationLabel(static_cast<unsigned char>(value));
             label != nullptr; label = label->parent)
        {
            const auto found = byStructure.find(label->databaseId);
            if (found != byStructure.end())
            {
                table.level[static_cast<size_t>(value)] = found->second->level;
                table.density[static_cast<size_t>(value)] = found->second->density;
                break;
            }
        }
    }
    return table;
}
} // namespace sampleservice
