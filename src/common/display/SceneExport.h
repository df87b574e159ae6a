#ifndef NUVARO_DISPLAY_SCENEEXPORT_H
#define NUVARO_DISPLAY_SCENEEXPORT_H

#include "model/AnnotationSelector.h"

#include <string>
#include <vector>

class BrainMeshSet;
class ExpressionRenderer;
class FileReplacement;

// Names and file writing of the scene's ray-tracer export.
namespace SceneExport
{
// The folder with a final "/".
std::string FolderWithSeparator(const std::string& folder);
// A gene symbol as a file name: "/", "\" and control characters become "_";
// an empty symbol is "gene".
std::string GeneFileStem(const std::string& symbol);
// A structure abbreviation as a scene-language identifier (and file name):
// kept when it is a letter followed by letters, digits and "_" and holds a
// capital letter (the language's keywords are lower case); otherwise "S_"
// followed by it with every other character as "_" ("ISO2-3" is "S_ISO2_3",
// "int" is "S_int").
std::string PovIdentifier(const std::string& abbreviation);
// Writes the number as a default-formatted stream writes it (the %g
// conversion: 6 significant digits), whatever the locale, into a buffer of at
// least kMaxNumberText bytes; returns the end.
constexpr int kMaxNumberText = 32;
char* WriteNumber(char* out, float value);
// Replaces the file's contents with text in one step, so that no partial
// file remains; throws std::runtime_error "File could not be written." when
// it cannot. Given a batch, the file joins it and is replaced at its
// CommitWholeFiles.
void WriteWholeFile(const std::string& path, const std::string& text, FileReplacement* batch = nullptr);
// Replaces every file of the batch; throws as WriteWholeFile.
void CommitWholeFiles(FileReplacement& batch);

// Exports the glyphs of every gene (in the given order) and then the meshes
// of the structures in the selector into folder (a final "/" is added when
// missing). A gene whose file name is taken (by an earlier gene, a structure
// or the usage file) gets "_" + its image series id. The gene and mesh files
// are replaced together, then the usage file. Throws std::runtime_error
// "File could not be written." when a file cannot be written; every file is
// then whole, with its new or its old contents.
void ExportScene(const std::string& folder, const std::vector<ExpressionRenderer*>& genes, BrainMeshSet* meshes,
                 ImageGrid::AnnotationSelector selector);

// Reads the current read framebuffer's width x height pixels as RGBA bytes,
// bottom row first; a multisampled framebuffer is first resolved into a
// single-sample copy (the caller's bindings are put back).
std::vector<unsigned char> ReadFramePixels(int width, int height);
// The file name of frame number n in folder: folder + "/" + n as 5 digits,
// zero-filled, + ".png".
std::string FramePath(const std::string& folder, unsigned long n);
} // namespace SceneExport

#endif
