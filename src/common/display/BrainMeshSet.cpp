#include "display/BrainMeshSet.h"

#include "display/SceneExport.h"

#include "gl/GLTriangleMesh.h"
#include "model/AnnotationLabel.h"
#include "model/BrainOntology.h"
#include "utility/ResourcePath.h"

#include <algorithm>
#include <locale>
#include <sstream>

namespace
{
// Mesh files are in 25-micrometre atlas voxels, the scene in 100-micrometre
// view voxels.
constexpr float kAtlasToViewScale = 0.25f;
constexpr float kMeshAlpha = 0.25f;
constexpr float kColorDimming = 0.7f;
} // namespace

BrainMeshSet::BrainMeshSet(const ImageGrid::BrainOntology* ontology, const ImageGrid::AnnotationLabel* root,
                           const std::string& meshFolder)
    : m_listBase(0), m_listCount(0), m_meshFolder(meshFolder)
{
    const size_t n = ontology->GetNumStructures();
    m_nodes.reserve(n);
    if (root != nullptr)
        AddNode(root);
    // Every node needs its own list, whatever the ontology counts.
    m_listCount = static_cast<GLsizei>(std::max(n, m_nodes.size()));
    m_generated.assign(static_cast<size_t>(m_listCount), false);
    m_pickCells.resize(static_cast<size_t>(m_listCount));
}

BrainMeshSet::~BrainMeshSet()
{
    // At process exit no context may be current: then the lists go with the
    // context and nothing is called on GL.
    if (m_listBase != 0 && glGetString(GL_VERSION) != nullptr)
        glDeleteLists(m_listBase, m_listCount);
}

void BrainMeshSet::ReleaseGL()
{
    if (m_listBase != 0)
        glDeleteLists(m_listBase, m_listCount);
    m_listBase = 0;
    m_generated.assign(m_generated.size(), false);
}

void BrainMeshSet::AddNode(const ImageGrid::AnnotationLabel* label)
{
    m_nodes.push_back(label);
    for (const ImageGrid::AnnotationLabel* child : label->children)
        AddNode(child);
}

std::string BrainMeshSet::MeshPath(int i) const
{
    const std::string folder = m_meshFolder.empty() ? ResourcePath::GetResourcePath() + "Mesh25/" : m_meshFolder;
    return folder + m_nodes[i]->abbreviation + ".msh";
}

void BrainMeshSet::GenerateDisplayList(int i)
{
    if (m_listBase == 0)
        return;
    try
    {
        GLTriangleMesh mesh;
        mesh.Load(MeshPath(i).c_str());
        mesh.Scale(kAtlasToViewScale);
        glNewList(m_listBase + static_cast<GLuint>(i), GL_COMPILE);
        mesh.Draw();
        glEndList();
        m_pickCells[i] = MeshPickCells(mesh);
        m_generated[i] = true;
    }
    catch (const std::exception&)
    {
        // No mesh for this structure: it draws nothing and is tried again.
    }
}

template <typename F>
void BrainMeshSet::ForEachShownNode(ImageGrid::AnnotationSelector selector, F&& visit)
{
    if (m_listBase == 0 && m_listCount > 0)
        m_listBase = glGenLists(m_listCount);
    if (m_listBase == 0)
        return;
    for (int i = 0; i < GetNumNodes(); ++i)
    {
        if (!selector.Intersects(m_nodes[i]->own))
            continue;
        if (!m_generated[i])
            GenerateDisplayList(i);
        visit(i, m_nodes[i]);
    }
}

void BrainMeshSet::Draw(ImageGrid::AnnotationSelector selector, const ImageGrid::AnnotationLabel* selected,
                        int pickBase)
{
    GLint renderMode = GL_RENDER;
    glGetIntegerv(GL_RENDER_MODE, &renderMode);
    const bool picking = renderMode == GL_SELECT;
    ForEachShownNode(selector, [&](int i, const ImageGrid::AnnotationLabel* label) {
        if (label == selected)
            glColor4f(0.0f, 0.8f, 0.0f, kMeshAlpha);
        else
            glColor4f(label->red / 255.0f * kColorDimming, label->green / 255.0f * kColorDimming,
                      label->blue / 255.0f * kColorDimming, kMeshAlpha);
        if (picking)
        {
            glLoadName(static_cast<GLuint>(label->annotationValue + pickBase));
            m_pickCells[i].DrawTriangles(m_pickCells[i].GetTriangles(), m_pickPositions);
        }
        else
            glCallList(m_listBase + static_cast<GLuint>(i));
    });
}

void BrainMeshSet::DrawForPick(ImageGrid::AnnotationSelector selector, const scene::PickCubeCuller& culler,
                               int pickBase)
{
    ForEachShownNode(selector, [&](int i, const ImageGrid::AnnotationLabel* label) {
        // A node whose triangles all lie outside the pick volume makes no
        // hit, named or not.
        m_pickScratch.clear();
        if (m_pickCells[i].CollectNear(culler, m_pickScratch) == 0)
            return;
        glLoadName(static_cast<GLuint>(label->annotationValue + pickBase));
        m_pickCells[i].DrawTriangles(m_pickScratch, m_pickPositions);
    });
}

std::vector<std::string> BrainMeshSet::ExportNames(ImageGrid::AnnotationSelector selector) const
{
    std::vector<std::string> names;
    for (const ImageGrid::AnnotationLabel* label : m_nodes)
    {
        if (selector.Intersects(label->own))
            names.push_back(SceneExport::PovIdentifier(label->abbreviation));
    }
    return names;
}

void BrainMeshSet::ExportPOVRay(ImageGrid::AnnotationSelector selector, const char* directory, FileReplacement* batch)
{
    const std::string folder = SceneExport::FolderWithSeparator(directory != nullptr ? directory : "");
    std::ostringstream usage;
    usage.imbue(std::locale::classic());
    for (int i = 0; i < GetNumNodes(); ++i)
    {
        const ImageGrid::AnnotationLabel* label = m_nodes[i];
        if (!selector.Intersects(label->own))
            continue;
        GLTriangleMesh mesh;
        try
        {
            mesh.Load(MeshPath(i).c_str());
        }
        catch (const std::exception&)
        {
            continue; // no mesh for this structure: it is left out
        }
        mesh.Scale(kAtlasToViewScale);
        const std::string name = SceneExport::PovIdentifier(label->abbreviation);
        // A file that cannot be written ends the export (it throws).
        mesh.ExportPOVRay(folder.c_str(), name.c_str(), batch);
        usage << "#include \"" << name << ".pov\"\n";
        usage << "object {\n";
        usage << "\t" << name << "\n";
        usage << "\tmake_color(" << label->red / 255.0f << ", " << label->green / 255.0f << ", "
              << label->blue / 255.0f << ")\n";
        usage << "\tfinish { structFinish }\n";
        usage << "}\n";
        usage << "\n";
    }
    // Last, so that it never names a file that is not there.
    if (batch != nullptr)
        SceneExport::CommitWholeFiles(*batch);
    SceneExport::WriteWholeFile(folder + "mesh_usage.pov", usage.str());
}
