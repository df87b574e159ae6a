#ifndef NUVARO_DISPLAY_COLORMAP_H
#define NUVARO_DISPLAY_COLORMAP_H

// A table of 256 RGB colours indexed by an 8-bit value, read from a ".map"
// text file: 256 triples of decimal integers (red, green, blue) separated by
// any white space, entry 0 first; each integer keeps its low 8 bits and
// anything after the 256th triple is ignored.
class Colormap
{
public:
    // All black; minimum non-zero index 0.
    Colormap();
    // Loads the file; throws std::runtime_error as Load does.
    explicit Colormap(const char* path);

    // Replaces the table with the file's. Throws std::runtime_error when the
    // file cannot be opened (the table is then left as it was), or ends before
    // 256 triples ("Unexpected end of colormap file: " + path) or holds text
    // that is not a number: the entries read before that stay in the table.
    void Load(const char* path);

    // 768 bytes: entry i at 3i (red), 3i + 1 (green), 3i + 2 (blue).
    const unsigned char* GetMap() const { return m_map; }
    // The first entry that is not black; 0 when entry 0 is not black or every
    // entry is black.
    int GetMinNonZeroIndex() const { return m_minNonZeroIndex; }

private:
    unsigned char m_map[768];
    int m_minNonZeroIndex;
};

#endif
