#ifndef NUVARO_DISPLAY_EXPRESSIONRENDERER_H
#define NUVARO_DISPLAY_EXPRESSIONRENDERER_H

#include <GL/gl.h>

#include <memory>
#include <string>
#include <vector>

class BrainExpressionModel;
class FileReplacement;
class GlyphPickCells;
class BrainScene;
class GeneExpression;
struct Expressor;
namespace scene
{
class PickCubeCuller;
}

// Draws one gene's expressors in the 3D scene as small solids: one glyph per
// voxel, sized by its count of expressing objects and coloured by the model's
// gene colour mode (0 gene colour, 1 structure colour, 2 expression colormap,
// 3 jet colormap). The model's expression structure selector, score and count
// thresholds and cutting box decide which voxels show (ExpressorVisible).
//
// The glyphs of each structure are compiled into a display list of their own,
// so that showing or hiding structures only changes which lists are called;
// the lists are rebuilt after a threshold change and after colour mode changes
// that need other colours in them. While the model is live-updating (a
// control being dragged) the glyphs are drawn directly, as cheaper octahedra.
//
// Voxels the neuron archive link remembers are tinted: the lists stay
// untinted, and after them the remembered voxels of the gene are drawn again
// in their tinted colour (same solid and size, depth test GL_LEQUAL), so that
// remembering a voxel never rebuilds the lists.
//
// GL work (Display, Draw, HighlightExpressor, the destructor) needs a context
// of the process's share group current.
class ExpressionRenderer
{
public:
    // The tints of the neuron archive link. modify sets the colour of a
    // remembered voxel's glyph, given the colour it is drawn in (with glColor,
    // only when the voxel is tinted); restore undoes it; highlight sets the
    // colour of the selected voxel's highlight glyph. Null hooks do nothing.
    struct TintHooks
    {
        void (*modify)(const Expressor* expressor, const float current[4]) = nullptr;
        void (*restore)(const Expressor* expressor) = nullptr;
        void (*highlight)(const Expressor* expressor) = nullptr;
    };

    // The gene is not owned and must outlive the renderer.
    ExpressionRenderer(BrainScene* scene, const GeneExpression* gene);
    virtual ~ExpressionRenderer();

    ExpressionRenderer(const ExpressionRenderer&) = delete;
    ExpressionRenderer& operator=(const ExpressionRenderer&) = delete;

    // Draws the gene's glyphs (pick false), compiling the lists first when
    // they are out of date; or, for picking, a cube named gridId + pickBase
    // per visible voxel. A hidden gene draws nothing.
    void Display(bool pick, unsigned int pickBase);
    // The pick pass alone: a cube named gridId + pickBase per visible voxel of
    // a shown gene; with a culler, only the cubes that may reach the pick
    // pixel, found through the gene's glyph cells (built when missing).
    void DrawPickCubes(unsigned int pickBase, const scene::PickCubeCuller* culler) const;
    // Compiles every structure's list (compile true), or draws the glyphs of
    // the shown structures directly.
    void Draw(bool compile);
    // Marks the lists out of date when the model's colour mode needs other
    // colours in them than they were compiled with (always with force).
    void ColorModeChanged(bool force);
    // Marks the lists out of date.
    void ThresholdChanged();
    // Draws the larger highlight glyph of the selected voxel; null does nothing.
    void HighlightExpressor(const Expressor* expressor);

    const GeneExpression* GetGene() const { return m_gene; }
    bool IsDirty() const { return m_dirty; }
    // Times the lists were compiled.
    int GetCompileCount() const { return m_compileCount; }

    // True when the voxel shows under the model's current filters: its
    // structure is in the expression selector, its score and count lie in the
    // thresholds, it lies in the cutting box and, in colour modes 2 and 3,
    // its colormap entry is not black.
    static bool ExpressorVisible(const BrainExpressionModel* model, const Expressor* expressor);
    // count / 20 for counts up to 20, else 1.
    static float GetExpressorSize(const Expressor& expressor);
    // The score truncated to an integer and held in 0..255.
    static int GetExpressorLevel(const Expressor& expressor);

    // The gene's glyphs as scene-language macro calls, one line per voxel
    // shown under the model's filters: DrawExpressor(x,y,z,size,r,g,b) with
    // the glyph colour in 0..1 (gene colour x 0.7; in mode 1 the structure's
    // colour x 0.7, the gene's for voxels of no structure; in modes 2 and 3
    // the colormap entry).
    std::string ComposePOVRay() const;
    // Writes that text to folder + fileStem + ".pov"; an empty stem is the
    // gene symbol as a file name (SceneExport::GeneFileStem). Throws
    // std::runtime_error "File could not be written." when it cannot.
    // Given a batch, the file joins it (SceneExport::WriteWholeFile).
    void ExportPOVRay(const char* folder, const std::string& fileStem = std::string(),
                      FileReplacement* batch = nullptr) const;

    // Installs the tints of the neuron archive link for every renderer.
    static void SetTintHooks(const TintHooks& hooks);

private:
    struct Filter;

    BrainExpressionModel* Model() const;
    // Draws the remembered voxels of the gene again in their tinted colours.
    void DrawRememberedVoxels(const Filter& filter, bool faster);
    // The glyph cells of the gene's data as it is now.
    const GlyphPickCells& PickCells() const;

    GLuint m_listBase;
    int m_listCount;
    bool m_dirty;
    BrainScene* m_scene;
    const GeneExpression* m_gene;
    int m_compiledColorMode;
    int m_compileCount;
    mutable std::unique_ptr<GlyphPickCells> m_pickCells;
    mutable std::vector<uint32_t> m_pickCandidates;
};

#endif
