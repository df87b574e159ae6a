#ifndef NUVARO_TESTS_QT_THUMBS_THUMBNAILTESTDATA_H
#define NUVARO_TESTS_QT_THUMBS_THUMBNAILTESTDATA_H

// Grid files and a gene catalogue for the thumbnail list tests, made from the
// atlas in use so that every expressing voxel lies in a structure.

#include "io/Image3d.h"
#include "model/Atlas.h"

#include "gl/GLRenderer.h"
#include "gl/TextureTextBox.h"

#include "support/GridFileBuilder.h"
#include "support/qt/HeadlessGLDisplay.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace thumbtest
{
// The text of a box made by the headless display.
inline std::string TextOf(const GLTextBox* box)
{
    const auto* text = dynamic_cast<const TextureTextBox*>(box);
    return text != nullptr ? text->GetText() : "<no text box>";
}

// Makes the renderer the display's renderer and input listener (null: none).
inline void ShowRenderer(HeadlessGLDisplay& display, GLInteractiveRenderer* renderer)
{
    display.SetRenderer(renderer);
    display.SetMouseListener(renderer);
    display.SetKeyListener(renderer);
}

// The view voxels of the atlas that lie in a structure, every stride-th one.
inline std::vector<uint32_t> StructureVoxels(const Atlas& atlas, size_t count)
{
    const Image3d* annotation = atlas.GetAnnotationImage();
    const unsigned char* voxels = annotation->GetBuffer();
    const int64_t total = annotation->GetVoxelCount();
    int64_t inside = 0;
    for (int64_t i = 0; i < total; ++i)
        inside += voxels[i] != 0;
    if (inside == 0 || count == 0)
        throw std::runtime_error("The atlas has no structure voxels.");
    const int64_t stride = inside / static_cast<int64_t>(count) > 0 ? inside / static_cast<int64_t>(count) : 1;
    std::vector<uint32_t> offsets;
    int64_t seen = 0;
    for (int64_t i = 0; i < total && offsets.size() < count; ++i)
    {
        if (voxels[i] != 0 && seen++ % stride == 0)
            offsets.push_back(static_cast<uint32_t>(i));
    }
    return offsets;
}

// A level-0 thumbnail grid (byte volume of the whole view grid) with count
// expressing objects at each of the given voxels (offsets from 0).
inline std::string ThumbnailGrid(const Atlas& atlas, const std::vector<uint32_t>& offsets, unsigned char count,
                                 uint32_t fullFileSize)
{
    const size_t size = static_cast<size_t>(atlas.GetViewDimension(0)) * atlas.GetViewDimension(1) *
                        atlas.GetViewDimension(2);
    std::string volume(size, '\0');
    for (uint32_t offset : offsets)
        volume[offset] = static_cast<char>(count);
    return testsupport::ThumbnailFile(30001, 0, fullFileSize, static_cast<uint32_t>(offsets.size()), volume);
}

// A full grid file (version 20000) of one image series.
inline std::string FullGrid(const std::vector<uint32_t>& offsets, int imageSeriesId, int geneId,
                            const std::string& symbol, const std::string& name)
{
    testsupport::Grid20000 grid;
    grid.header[1] = imageSeriesId;
    grid.header[5] = geneId;
    grid.header[8] = 1;
    grid.header[9] = 1;
    grid.strings[0] = name;
    grid.strings[1] = symbol;
    for (uint32_t offset : offsets)
        grid.quadrats.push_back({offset + 1, 1.0f, 1.0f, 0.5f, 0, 0, 0, 30});
    grid.CountsFromLists();
    return grid.File();
}
} // namespace thumbtest

#endif
