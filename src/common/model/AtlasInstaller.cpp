// First-run installation of the atlas: the packed Nissl volume and sagittal
// map of the data folder are unpacked into the user atlas folder.
//
// Every output is written under a temporary name in the atlas folder, flushed
// to the disk and renamed into place when complete, and "Version" comes last,
// after the folder itself is flushed, so that a crash, a power loss, a full
// disk or a cancel never leaves an installation that counts as complete but
// is truncated.

#include "model/Atlas.h"

#include "io/BufferCompression.h"
#include "io/FileStream.h"
#include "io/MemoryStream.h"
#include "utility/OSUtils.h"
#include "utility/TextParsing.h"

#include <cstdio>
#include <future>
#include <stdexcept>
#include <vector>

namespace
{
const char* const kNisslFile = "Atlas25";
const char* const kMapFile = "SagittalAtlasMap";
const char* const kVersionFile = "Version";
const char* const kPartialSuffix = ".installing";
const char* const kSaveFailure = "Unable to save unpacked atlas at ";

// Removes a temporary file unless released (after its rename).
class PartialFile
{
public:
    explicit PartialFile(std::string path) : m_path(std::move(path)) {}
    ~PartialFile()
    {
        if (!m_path.empty())
            OSUtils::DeleteFile(m_path.c_str());
    }
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    const std::string& Path() const { return m_path; }
    // Flushes the file to the disk; throws failure + target when that fails.
    void Flush(const std::string& target, const std::string& failure) const
    {
        if (!OSUtils::FlushToDisk(m_path.c_str()).empty())
            throw std::runtime_error(failure + target);
    }
    // Renames the flushed file to target; throws failure + target when that fails.
    void Rename(const std::string& target, const std::string& failure)
    {
        if (!OSUtils::MoveFile(m_path.c_str(), target.c_str()))
            throw std::runtime_error(failure + target);
        m_path.clear();
    }
    void Commit(const std::string& target, const std::string& failure)
    {
        Flush(target, failure);
        Rename(target, failure);
    }

private:
    std::string m_path;
};

// The integer at the start of a "Version" file; false when the file cannot be
// read or does not start with one.
bool ReadVersion(const std::string& path, long long& version)
{
    std::string text;
    try
    {
        text = ReadSmallTextFile(path.c_str(), 4096, "", "");
    }
    catch (const std::exception&)
    {
        return false;
    }
    std::string_view token = TrimBlanks(text);
    token = token.substr(0, token.find_first_of(" \t\r\n"));
    return ParseInteger(token, version);
}

// Runs f, turning what it throws into the sagittal map's messages.
template <typename F>
void WithMapMessages(F f)
{
    try
    {
        f();
    }
    catch (const std::exception& e)
    {
        throw std::runtime_error(
            std::string(
                "Could not load sagittal reference atlas mapping. Your installation of Nuvaro may be damaged.\n\n") +
            e.what());
    }
    catch (...)
    {
        throw std::runtime_error(
            "Could not load sagittal reference atlas. Your installation of Nuvaro may be damaged.");
    }
}

// Writes the unpacked map records, all in one write; a failed write, also
// one of the final flush, names the file.
void WriteMapRecords(const std::string& path, const std::vector<unsigned char>& records)
{
    try
    {
        FileStream out(path.c_str(), std::ios::out | std::ios::binary | std::ios::trunc);
        out.Write(records.data(), static_cast<unsigned int>(records.size()));
        out.Close();
    }
    catch (const std::runtime_error&)
    {
        throw std::runtime_error(kSaveFailure + path);
    }
}

// Flushes the atlas folder, so that the renames and removals before are on
// the disk before anything that relies on them.
void FlushFolder(const std::string& folder)
{
    if (!OSUtils::FlushToDisk(folder.c_str()).empty())
        throw std::runtime_error(kSaveFailure + folder);
}

// Writes "Version" at path; messages name the file as shown.
void WriteVersion(const std::string& path, const std::string& shown)
{
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr)
        throw std::runtime_error(kSaveFailure + shown);
    const bool written = std::fprintf(file, "%d\n", Atlas::kInstalledAtlasVersion) > 0;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed)
        throw std::runtime_error("Unable to save unpacked atlas " + shown);
}
} // namespace

bool Atlas::AtlasIsInstalled() const
{
    const bool dataNissl = OSUtils::FileExists((m_dataPath + kNisslFile).c_str());
    const bool dataMap = OSUtils::FileExists((m_dataPath + kMapFile).c_str());
    if (dataNissl && dataMap)
        return true;

    long long version = 0;
    if (!ReadVersion(m_userAtlasPath + kVersionFile, version))
        return false;
    if (version != kInstalledAtlasVersion)
    {
        for (const char* name : {kNisslFile, kMapFile, kVersionFile})
            OSUtils::DeleteFile((m_userAtlasPath + name).c_str());
        return false;
    }
    return (dataNissl || OSUtils::FileExists((m_userAtlasPath + kNisslFile).c_str())) &&
           (dataMap || OSUtils::FileExists((m_userAtlasPath + kMapFile).c_str()));
}

bool Atlas::InstallAtlas(ProgressCallback progress, void* context, bool* cancel)
{
    IntermediateCallback steps(progress, context);
    steps.range = 1.0f / 2.0f;

    // The map is unpacked, written under its temporary name and flushed to
    // the disk on a second thread while the slices are decoded (the slices
    // then take that thread's core too); nothing takes the place of an
    // earlier file before both are done. (The future, made after the
    // temporary file, waits for that thread on every way out, before the
    // file is removed.)
    const std::string mapPath = m_userAtlasPath + kMapFile;
    PartialFile partialMap(mapPath + kPartialSuffix);
    std::future<void> mapWritten = std::async(std::launch::async, [this, &partialMap, &mapPath] {
        const std::vector<unsigned char> records = UnpackSagittalAtlasMap();
        WithMapMessages([&] { WriteMapRecords(partialMap.Path(), records); });
        partialMap.Flush(mapPath, kSaveFailure);
    });

    // The slices go into a volume of their own: a Nissl volume already in use
    // is never replaced under its readers.
    std::unique_ptr<Image3d> nissl(new Image3d());
    try
    {
        if (!nissl->ImportSlices((m_dataPath + "Atlas25.comp").c_str(), m_atlasDimensions[0], m_atlasDimensions[1],
                                 m_atlasDimensions[2], m_atlasResolution, IntermediateCallback::Progress, &steps,
                                 cancel))
            return false;
    }
    catch (const std::exception& e)
    {
        throw std::runtime_error(
            std::string("Could not load 3D Nissl image. Your installation of Nuvaro may be damaged.\n\n") + e.what());
    }
    catch (...)
    {
        throw std::runtime_error("Could not load 3D Nissl image. Your installation of Nuvaro may be corrupted.");
    }
    steps.start += steps.range;
    mapWritten.get();

    // From here on the folder holds no complete installation until the new
    // "Version" is in place.
    const std::string versionPath = m_userAtlasPath + kVersionFile;
    // (A first installation has no "Version" to remove, nor a removal to flush.)
    if (OSUtils::DeleteFile(versionPath.c_str()))
        FlushFolder(m_userAtlasPath);

    const std::string nisslPath = m_userAtlasPath + kNisslFile;
    PartialFile partialNissl(nisslPath + kPartialSuffix);
    if (!nissl->Save(partialNissl.Path().c_str(), IntermediateCallback::Progress, &steps, cancel))
        return false;
    partialNissl.Commit(nisslPath, kSaveFailure);
    partialMap.Rename(mapPath, kSaveFailure);
    FlushFolder(m_userAtlasPath);

    PartialFile partialVersion(versionPath + kPartialSuffix);
    WriteVersion(partialVersion.Path(), versionPath);
    partialVersion.Commit(versionPath, kSaveFailure);
    FlushFolder(m_userAtlasPath);

    {
        std::lock_guard<std::mutex> lock(m_loadMutex);
        if (!m_nisslLoaded.load(std::memory_order_acquire))
        {
            m_nissl = std::move(nissl);
            m_nisslLoaded.store(true, std::memory_order_release);
        }
    }
    return true;
}

void Atlas::InstallSagittalAtlasMap(ProgressCallback /*progress*/, void* /*context*/, bool* /*cancel*/)
{
    const std::vector<unsigned char> records = UnpackSagittalAtlasMap();
    const std::string mapPath = m_userAtlasPath + kMapFile;
    PartialFile partial(mapPath + kPartialSuffix);
    WithMapMessages([&] {
        WriteMapRecords(partial.Path(), records);
        partial.Commit(mapPath, kSaveFailure);
        FlushFolder(m_userAtlasPath);
    });
}

std::vector<unsigned char> Atlas::UnpackSagittalAtlasMap() const
{
    std::vector<unsigned char> records;
    WithMapMessages([&] {
        const unsigned int n =
            static_cast<unsigned int>(m_viewDimensions[0]) * m_viewDimensions[1] * m_viewDimensions[2];
        MemoryStream plates(0), xs(0), ys(0);
        {
            FileStream in((m_dataPath + "SagittalAtlasMap.comp").c_str(), std::ios::in | std::ios::binary);
            // No block may be larger than the largest one expected.
            ReadCompressedBuffer(in, plates, 2 * n);
            ReadCompressedBuffer(in, xs, 2 * n);
            ReadCompressedBuffer(in, ys, 2 * n);
        }
        if (plates.GetBufferSize() != n || xs.GetBufferSize() != 2 * n || ys.GetBufferSize() != 2 * n)
            throw std::runtime_error("Unexpected file format.");

        // Records of voxels on no plate keep x = 0, y = 0, plate 255; every
        // field is little-endian (as in the blocks), the pad byte zero.
        const unsigned char* plate = plates.GetBuffer();
        const unsigned char* x = xs.GetBuffer();
        const unsigned char* y = ys.GetBuffer();
        records.assign(static_cast<size_t>(n) * kGridMappingRecordSize, 0);
        for (unsigned int k = 0; k < n; ++k)
        {
            unsigned char* record = &records[static_cast<size_t>(k) * kGridMappingRecordSize];
            if (plate[k] == kNoPlate)
            {
                record[4] = GridMapping().plate;
                continue;
            }
            record[0] = x[2 * k];
            record[1] = x[2 * k + 1];
            record[2] = y[2 * k];
            record[3] = y[2 * k + 1];
            record[4] = plate[k];
        }
    });
    return records;
}
