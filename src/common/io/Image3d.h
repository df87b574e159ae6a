#ifndef NUVARO_IO_IMAGE3D_H
#define NUVARO_IO_IMAGE3D_H

#include "utility/ProgressCallback.h"

#include <cstdint>
#include <memory>

// An 8-bit volume: voxel (x, y, z) is at x + nx*y + nx*ny*z.
//
// On disk a volume is either raw (nx*ny*nz bytes in voxel order, no header)
// or a packed slice stack: nx little-endian u32 absolute offsets, then one
// greyscale JPEG per x plane, ny pixels wide and nz high (pixel (i, j) is
// voxel (x, i, j)).
//
// Load, Save and ImportSlices report progress at most every 0.1 s and poll
// the cancel flag (may be null) before each chunk or plane. A volume that
// failed to load or was cancelled is closed and empty.
class Image3d
{
public:
    // The three slice planes, by the axis they cut.
    enum MPRPlane
    {
        kCoronal = 0,    // view x
        kHorizontal = 1, // view y
        kSagittal = 2    // view z
    };

    Image3d();
    // A zero-filled open volume; throws std::runtime_error for a bad size.
    Image3d(int nx, int ny, int nz, float voxelSize);
    virtual ~Image3d();
    Image3d(const Image3d&) = delete;
    Image3d& operator=(const Image3d&) = delete;

    bool IsOpen() const { return m_open; }
    const unsigned char* GetBuffer() const { return m_voxels.get(); }
    int GetNX() const { return m_nx; }
    int GetNY() const { return m_ny; }
    int GetNZ() const { return m_nz; }
    int GetSliceSize() const { return m_sliceSize; }
    float GetVoxelSize() const { return m_voxelSize; }
    int64_t GetVoxelCount() const { return static_cast<int64_t>(m_sliceSize) * m_nz; }

    // The voxel at (x, y, z); 0 when the volume is not open or the point lies outside.
    int GetValue(int x, int y, int z) const;
    // The voxel at a point in micrometres: the whole linear index
    // (x + nx*y + nx*ny*z, each divided by the voxel size) is rounded.
    // 0 when the volume is not open or the index lies outside.
    int GetValue(float x, float y, float z) const;

    // Reads a raw volume. Reports every failure (missing or short file, bad
    // size) and a cancel by false, never by an exception.
    bool Load(const char* path, int nx, int ny, int nz, float voxelSize, ProgressCallback progress, void* context,
              bool* cancel);
    // Writes the raw volume. Throws std::runtime_error when the file cannot be
    // created or written; false when cancelled. Failure and cancel leave no file.
    bool Save(const char* path, ProgressCallback progress, void* context, bool* cancel) const;
    // Reads a packed slice stack. Throws std::runtime_error for a missing or
    // damaged file; false when cancelled.
    bool ImportSlices(const char* path, int nx, int ny, int nz, float voxelSize, ProgressCallback progress,
                      void* context, bool* cancel);
    // Writes a packed slice stack; false when the file cannot be created or
    // the volume is not open. Throws std::runtime_error when writing fails.
    bool ExportSlices(const char* path) const;

    // True for dimensions a volume may have: each positive, at most one
    // gigavoxel in all.
    static bool IsValidSize(int nx, int ny, int nz);
    static constexpr int64_t kMaxVoxels = int64_t(1) << 30;

private:
    // Stores the size and allocates the voxels (not cleared); false when out of range or memory.
    bool Allocate(int nx, int ny, int nz, float voxelSize);
    // Back to the empty, closed state.
    void Clear();

    std::unique_ptr<unsigned char[]> m_voxels;
    bool m_open;
    int m_nx, m_ny, m_nz;
    int m_sliceSize;
    float m_voxelSize;
};

#endif
