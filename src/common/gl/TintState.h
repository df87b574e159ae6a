#ifndef NUVARO_GL_TINTSTATE_H
#define NUVARO_GL_TINTSTATE_H

#include <array>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

// One line of the neuron table: the neuron kept at a grid position and the
// name of the archive collection that holds it.
struct NeuronTableEntry
{
    std::string neuronName;
    std::string archiveName;
};

// The neuron table by grid x, y and z.
using NeuronTable = std::map<std::array<int, 3>, NeuronTableEntry>;

// Click state of the neuron archive link, read by every texture and text box
// for its tint and backing colour. Both fields are 0 in the normal state,
// which draws untinted. Main thread only.
struct TintState
{
    // Grid id of the last pressed voxel (negated when the archive has no
    // neuron for it), 1 after the archive page was opened, 0 for structures.
    int QMB_expressor_clicked = 0;
    // 1 after a lookup found the neuron table, -1 when it has no neuron for
    // the voxel, 0 after a structure pick; doubled by Shift-hover moves
    // (saturating at the int limits).
    int QMB_moused_known = 0;

    // ---- The rest of the neuron archive link's state, written only by
    // ---- display/NeuronArchiveLink.cpp.

    // The neuron table, read once from the data folder.
    NeuronTable cell_info;
    // The table has been read (a file of 9 bytes or fewer does not count).
    bool cell_info_known = false;
    // The neuron name found by the last lookup; "unknown_cell" when none.
    std::string archive_jnlp;
    // The archive name of that neuron; " " when none.
    std::string archive_name;
    // The result of the last lookup shown in the selection text.
    std::string archive_cell;
    // What a press opens: the launch file's path, or the archive page's
    // address once a page press used it; empty when a press opens nothing.
    std::string archive_syscmd;
    // The launch file's text for the last neuron found.
    std::string archive_metajnlp;
    // The launch file's path (in the caches folder); empty while unknown.
    std::string metajnlp_file;
    // Remembered voxels, index 1..QMB_expressor_clks (index 0 is unused):
    // the grid id, positive once pressed, negative while only hovered.
    std::vector<int> archive_id_list = std::vector<int>(1, 0);
    // Per remembered voxel (same index): its grid id with the sign of
    // QMB_moused_known at its last pick, 0 when that was 0.
    std::vector<int> archive_known = std::vector<int>(1, 0);
    // Grid id -> index in archive_id_list, so that tinting a glyph needs no
    // search through the list.
    std::unordered_map<int, int> archive_index;
    // Index in archive_id_list of the last picked voxel.
    int QMB_clicked_id = 0;
    // Grid id of the previously pressed voxel.
    int QMB_clicked_prev = 0;
    // Number of remembered voxels, 0..10000.
    int QMB_expressor_clks = 0;
    // Tinting of remembered voxels is on.
    int QMB_dimming = 1;
    // The glyph colour before the last remembered-voxel tint.
    std::array<float, 4> glc{};
    // The last remembered-voxel tint changed the colour, so it needs restoring.
    bool glc_modified = false;
    // Grid id of the last highlighted selected voxel.
    int prev_expressor_id = 0;
};

extern TintState gTintState;

#endif
