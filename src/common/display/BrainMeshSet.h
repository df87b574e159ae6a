#ifndef NUVARO_DISPLAY_BRAINMESHSET_H
#define NUVARO_DISPLAY_BRAINMESHSET_H

#include "display/MeshPickCells.h"
#include "model/AnnotationSelector.h"

#include <GL/gl.h>

#include <string>
#include <vector>

namespace ImageGrid
{
class AnnotationLabel;
class BrainOntology;
} // namespace ImageGrid

class FileReplacement;

namespace scene
{
class PickCubeCuller;
}

// The surface meshes of the ontology's structures as OpenGL display lists,
// drawn translucent in their structure colours with the selected structure in
// green. A structure's mesh file ("<abbreviation>.msh" in the mesh folder, in
// 25-micrometre atlas voxels) is read and compiled, scaled to 100-micrometre
// view voxels, the first time the structure is drawn. The lists live in the
// process's shared GL context, so every view can draw them.
//
// Making the set touches no GL state; Draw and ReleaseGL need a context
// current. The destructor frees lists still held only when a context is
// current, and otherwise leaves them to the context.
class BrainMeshSet
{
public:
    // The root and its descendants in depth-first pre-order. meshFolder (ending
    // in "/") holds the mesh files; empty means "Mesh25/" in the data folder.
    BrainMeshSet(const ImageGrid::BrainOntology* ontology, const ImageGrid::AnnotationLabel* root,
                 const std::string& meshFolder = std::string());
    virtual ~BrainMeshSet();

    BrainMeshSet(const BrainMeshSet&) = delete;
    BrainMeshSet& operator=(const BrainMeshSet&) = delete;

    // Draws every node whose structure is in the selector, with the pick name
    // annotation value + pickBase (in selection mode). A structure whose mesh
    // cannot be read draws nothing and is tried again at the next draw.
    // In selection mode every triangle goes singly, as DrawForPick sends
    // them, not through the display list: Mesa joins the strips of a list
    // into one strip with zero-area triangles between them, and selection
    // mode counts those as hits (at other depths, and where no surface is).
    void Draw(ImageGrid::AnnotationSelector selector, const ImageGrid::AnnotationLabel* selected, int pickBase);

    // The selection-mode counterpart of Draw: names every node in the
    // selector whose mesh can reach the pick volume of the culler (the
    // current pick matrices) with annotation value + pickBase, and sends only
    // the triangles of its cells that can reach it. Makes the same hits as
    // Draw in selection mode.
    void DrawForPick(ImageGrid::AnnotationSelector selector, const scene::PickCubeCuller& culler, int pickBase);

    // Compiles node i's list from its mesh file, and sorts its triangles into
    // pick cells; failures are swallowed and leave the node not generated.
    void GenerateDisplayList(int i);

    // Frees the lists (a context must be current); the next draw makes and
    // compiles them again.
    void ReleaseGL();
    bool HoldsLists() const { return m_listBase != 0; }

    // For each node in the selector: the mesh object file "<name>.pov" and a
    // block of "mesh_usage.pov" (made anew, written last) in directory, where
    // name is the abbreviation as a scene-language identifier
    // (SceneExport::PovIdentifier). Structures whose mesh cannot be read are
    // left out; a file that cannot be written throws std::runtime_error
    // "File could not be written.".
    // Given a batch, the mesh files join it and it is committed (with what
    // the caller added before) ahead of the usage file.
    void ExportPOVRay(ImageGrid::AnnotationSelector selector, const char* directory, FileReplacement* batch = nullptr);
    // The names of the files ExportPOVRay writes for the selector (without
    // ".pov" and the usage file).
    std::vector<std::string> ExportNames(ImageGrid::AnnotationSelector selector) const;

    int GetNumNodes() const { return static_cast<int>(m_nodes.size()); }
    const ImageGrid::AnnotationLabel* GetNode(int i) const { return m_nodes[i]; }
    bool IsGenerated(int i) const { return m_generated[i]; }

private:
    // Appends the label, then each child's subtree in order.
    void AddNode(const ImageGrid::AnnotationLabel* label);
    std::string MeshPath(int i) const;
    // Makes the list block if needed, then calls visit(i, label) for every
    // node in the selector, generating it first when it is not yet.
    template <typename F>
    void ForEachShownNode(ImageGrid::AnnotationSelector selector, F&& visit);

    std::vector<const ImageGrid::AnnotationLabel*> m_nodes;
    std::vector<bool> m_generated;
    std::vector<MeshPickCells> m_pickCells;
    // The index and position lists of the last pick draw, kept for their memory.
    std::vector<uint32_t> m_pickScratch;
    std::vector<float> m_pickPositions;
    GLuint m_listBase;
    // The size of the block of lists, fixed at construction; the block is
    // made at the first draw.
    GLsizei m_listCount;
    std::string m_meshFolder;
};

#endif
