#ifndef NUVARO_DISPLAY_NEURONARCHIVELINK_H
#define NUVARO_DISPLAY_NEURONARCHIVELINK_H

#include "gl/TintState.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

struct Expressor;

// The link from a voxel of a neuron-class grid to the neuron-morphology
// archive that keeps the reconstructed neuron. A table in the data folder
// ("drxrid.txt", lines "x,y,z,neuron name,archive name") maps grid positions
// to neurons; a press on a known voxel opens the neuron's archive page in the
// browser or writes a launch file for the archive's viewer and opens it with
// the desktop's default application; remembered voxels are tinted while the
// glyphs are drawn. All state lives in gTintState; main thread only.
namespace NeuronArchive
{
constexpr const char* kTableFileName = "drxrid.txt";
constexpr const char* kLaunchFileName = "META_JNLP.jnlp";
// The launch file's publisher and the address that offers the Java runtime.
constexpr const char* kVendor = "Nuvaro";
constexpr const char* kJavaRuntimeAddress = "https://www.java.com/download/";
// At most this many voxels are remembered; tinting applies only below it.
constexpr int kMaxRemembered = 10000;
// A table file longer than this is refused rather than read.
constexpr std::size_t kMaxTableBytes = 64u * 1024u * 1024u;

using Color = std::array<float, 4>;

// Parses the table text: whole lines ended by LF, CRLF or CR, each holding the
// grid x, y and z as integers, the neuron name and the archive name (the rest
// of the line, commas included; " " when the line has no fifth field). Lines
// that do not follow this form, or that name no neuron, are skipped; the first
// line for a position wins. A leading UTF-8 byte order mark is skipped.
NeuronTable ParseTable(std::string_view text);

// The table key of the voxel: the integer parts of its grid coordinates; none
// when a coordinate is not a finite number in the int range.
std::optional<std::array<int, 3>> TableKey(const Expressor& expressor);

// The launch file's text for the neuron, names and addresses XML-escaped.
std::string MakeLaunchFileText(const std::string& neuronName, const std::string& archiveName);

// The archive page of the neuron, its name percent-encoded as a query value.
std::string NeuronPageAddress(const std::string& neuronName);

// Where the table is read from and the launch file written to. Empty strings
// (the start-up setting) mean the data folder's table and the caches folder.
void SetLocations(const std::string& tableFile, const std::string& launchFolder);

// Pure forms of the glyph tints, for the state given.
// The colour of a remembered voxel's glyph drawn in colour c.
Color RememberedGlyphColor(const TintState& state, unsigned gridId, const Color& c);
// The highlight colour of the selected voxel; notes it in prev_expressor_id
// as the table of states asks.
Color HighlightGlyphColor(TintState& state, unsigned gridId);
// value doubled, held at the int limits instead of overflowing.
int SaturatedDouble(int value);

// Pick bookkeeping of the scene, in the order the scene calls it:
// a structure was picked (press or hover).
void NoteStructurePicked();
// An expressor name was picked: mode 1 or -1 a press, 0 hover. expressor is
// null when the gene has no expressor at gridId.
void NoteExpressorPicked(const Expressor* expressor, unsigned gridId, int mode);
// After the selection text was made: records whether the archive knows the
// picked voxel and, on a press, the pressed voxel.
void NoteSelectionShown(int mode);
// The mouse moved with Shift held after a hover pick.
void NoteShiftHover();

// The neuron lines of the selection text ("Neuron Type: " and
// "Archive, Neuron Name: ", each with a line end) for a voxel of the gene
// with that symbol; keeps the lookup's result in archive_cell.
std::string SelectionText(const std::string& geneSymbol, const Expressor* expressor);
} // namespace NeuronArchive

// Looks the voxel up in the table: the neuron name, "unknown" (no neuron
// there), "UNKNOWN" (the table file has 9 bytes or fewer) or
// "DRX_DIR missing" (no table file). Prepares the launch file's text and path.
std::string FindDrxJNLPInfo(const Expressor* expressor);
// Acts on a press on the last looked-up voxel: writes the launch file, then
// opens the neuron's archive page (mode < 0) or the launch file. When the
// file cannot be written the user is told and nothing opens.
void UseDrxJNLPInfo(long mode);
// Remembers the voxel; returns its index in archive_id_list (the count when
// the list is full, 0 for a null expressor).
int MemorizeClicks(const Expressor* expressor);
// Forgets every remembered voxel.
void ResetHighlitItems();
// Wrap the drawing of each glyph: current is the colour the glyph would be
// drawn in; a remembered voxel gets its tint with glColor, and Restore puts
// current back. Both may run between glBegin and glEnd or into a list.
void ModifyAnyExpressorColor(const Expressor* expressor, const float current[4]);
void RestoreAnyExpressorColor(const Expressor* expressor);
// Sets the colour of the selected voxel's highlight glyph.
void ModifyHilightExpressorColor(const Expressor* expressor);

#endif
