#include "StructureMeshes.h"

#include "MeshChecks.h"
#include "MeshSimplify.h"

#include <algorithm>

namespace sampledata
{
namespace
{
constexpr int kPad = 2;

// Smooths the field along one axis with the kernel (1, 6, 1) / 8.
void SmoothAxis(ScalarField& f, int axis)
{
    const int n[3] = {f.nx, f.ny, f.nz};
    const size_t stride[3] = {1, size_t(f.nx), size_t(f.nx) * f.ny};
    std::vector<float> line(n[axis]);
    const int u = (axis + 1) % 3, w = (axis + 2) % 3;
    for (int b = 0; b < n[w]; ++b)
        for (int a = 0; a < n[u]; ++a)
        {
            size_t base = a * stride[u] + b * stride[w];
            for (int i = 0; i < n[axis]; ++i)
                line[i] = f.values[base + i * stride[axis]];
            for (int i = 0; i < n[axis]; ++i)
            {
                float left = i > 0 ? line[i - 1] : 0.0f;
                float right = i + 1 < n[axis] ? line[i + 1] : 0.0f;
                f.values[base + i * stride[axis]] = (left + 6.0f * line[i] + right) * 0.125f;
            }
        }
}
} // namespace

TriangleMesh StructureSurface(const Volume& atlas, const std::array<bool, 256>& members,
                              const std::array<int, 3>& min, const std::array<int, 3>& max, int step)
{
    ScalarField f;
    int blocks[3];
    for (int a = 0; a < 3; ++a)
        blocks[a] = (max[a] - min[a] + step) / step;
    f.nx = blocks[0] + 2 * kPad;
    f.ny = blocks[1] + 2 * kPad;
    f.nz = blocks[2] + 2 * kPad;
    f.spacing = float(step);
    for (int a = 0; a < 3; ++a)
        f.origin[a] = float(min[a] - kPad * step) + 0.5f * float(step - 1);
    f.values.assign(size_t(f.nx) * f.ny * f.nz, 0.0f);
    const float weight = 1.0f / float(step * step * step);
    for (int z = min[2]; z <= max[2]; ++z)
    {
        const int k = (z - min[2]) / step + kPad;
        for (int y = min[1]; y <= max[1]; ++y)
        {
            const int j = (y - min[1]) / step + kPad;
            const uint8_t* row = atlas.voxels.data() + size_t(atlas.nx) * (y + size_t(atlas.ny) * z);
            float* out = f.values.data() + size_t(f.nx) * (j + size_t(f.ny) * k) + kPad;
            for (int x = min[0]; x <= max[0]; ++x)
                if (members[row[x]])
                    out[(x - min[0]) / step] += weight;
        }
    }
    for (int axis = 0; axis < 3; ++axis)
        SmoothAxis(f, axis);
    // Coarser blocks are thresholded lower so that sheets thinner than a
    // block (cortical layers) stay whole.
    return ExtractSurface(f, step == 1 ? 0.5f : (step == 2 ? 0.3f : 0.25f));
}

double EnclosedVolume(const TriangleMesh& mesh)
{
    return check::EnclosedVolume(mesh.positions.data(), 3, mesh.indices);
}

TriangleMesh StructureMesh(const Volume& atlas, const std::array<bool, 256>& members,
                           const std::array<int, 3>& min, const std::array<int, 3>& max, int* step)
{
    return SimplifySurface(MarchingCubesMesh(atlas, members, min, max, step));
}

TriangleMesh MarchingCubesMesh(const Volume& atlas, const std::array<bool, 256>& members,
                               const std::array<int, 3>& min, const std::array<int, 3>& max, int* step)
{
    int used = 2;
    if (step == nullptr)
        step = &used;
    *step = 2;
    TriangleMesh mesh = StructureSurface(atlas, members, min, max, 2);
    // Halving the step makes about four times as many triangles.
    if (mesh.TriangleCount() * 4 <= kFineBudget)
    {
        *step = 1;
        return StructureSurface(atlas, members, min, max, 1);
    }
    if (mesh.TriangleCount() > kCoarseBudget)
    {
        // Large structures at 100 micrometres, else at 75, unless that loses
        // thin parts.
        uint64_t voxels = 0;
        for (int z = min[2]; z <= max[2]; ++z)
            for (int y = min[1]; y <= max[1]; ++y)
            {
                const uint8_t* row = atlas.voxels.data() + size_t(atlas.nx) * (y + size_t(atlas.ny) * z);
                for (int x = min[0]; x <= max[0]; ++x)
                    voxels += members[row[x]];
            }
        for (int coarser : {4, 3})
        {
            TriangleMesh coarse = StructureSurface(atlas, members, min, max, coarser);
            double volume = EnclosedVolume(coarse);
            if (volume > 0.85 * double(voxels) && volume < 1.5 * double(voxels))
            {
                *step = coarser;
                return coarse;
            }
        }
    }
    return mesh;
}
} // namespace sampledata
