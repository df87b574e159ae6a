#ifndef NUVARO_GL_TINTSTATE_H
#define NUVARO_GL_TINTSTATE_H

// Click state of the neuron archive link, read by every texture and text box
// for its tint and backing colour. Both fields are 0 in the normal state,
// which draws untinted. Main thread only.
struct TintState
{
    // Grid id of the last pressed voxel (negated when the archive has no
    // neuron for it), 1 after the archive page was opened, 0 for structures.
    int QMB_expressor_clicked = 0;
    // 1 after a lookup found the neuron table, -1 when it has no neuron for
    // the voxel, 0 after a structure pick; doubled by Shift-hover moves.
    int QMB_moused_known = 0;
};

extern TintState gTintState;

#endif
