#include "display/NeuronArchiveLink.h"

#include "model/Expressor.h"
#include "model/UserPreferences.h"
#include "utility/AlertBox.h"
#include "utility/OSUtils.h"
#include "utility/PlatformServices.h"
#include "utility/ResourcePath.h"
#include "utility/StringUtils.h"
#include "utility/TextParsing.h"
#include "utility/XMLUtils.h"

#include <GL/gl.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <stdexcept>

namespace
{
// Set by SetLocations; empty means the default folders.
std::string sTableFile;
std::string sLaunchFolder;

// Grid ids come from files as unsigned numbers; the state keeps them as int
// with a sign, so ids beyond the int range are held at its limit.
int GridIdAsInt(unsigned gridId)
{
    return gridId > static_cast<unsigned>(INT_MAX) ? INT_MAX : static_cast<int>(gridId);
}

int Magnitude(int value)
{
    return value == INT_MIN ? INT_MAX : std::abs(value);
}

bool ParseCoordinate(std::string_view field, int& value)
{
    long long parsed = 0;
    if (!ParseInteger(TrimBlanks(field), parsed) || parsed < INT_MIN || parsed > INT_MAX)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

void ParseTableLine(std::string_view line, NeuronTable& table)
{
    std::array<int, 3> key{};
    for (int& coordinate : key)
    {
        const size_t comma = line.find(',');
        if (comma == std::string_view::npos || !ParseCoordinate(line.substr(0, comma), coordinate))
            return;
        line.remove_prefix(comma + 1);
    }
    NeuronTableEntry entry;
    const size_t comma = line.find(',');
    entry.neuronName = std::string(line.substr(0, comma));
    entry.archiveName = comma == std::string_view::npos ? " " : std::string(line.substr(comma + 1));
    if (entry.neuronName.empty())
        return;
    table.emplace(key, std::move(entry));
}

// The table file's path; empty when there is no data folder.
std::string TablePath()
{
    if (!sTableFile.empty())
        return sTableFile;
    try
    {
        return ResourcePath::GetResourcePath() + NeuronArchive::kTableFileName;
    }
    catch (const std::exception&)
    {
        return std::string();
    }
}

// The folder for the launch file, created when missing. Throws with the reason
// when there is none.
std::string LaunchFolder()
{
    if (sLaunchFolder.empty())
        return ResourcePath::GetCachesPath();
    return sLaunchFolder.back() == '/' ? sLaunchFolder : sLaunchFolder + '/';
}

// Replaces the file whole: the launcher never reads a half-written one.
void WriteTextFile(const std::string& path, const std::string& text)
{
    if (!OSUtils::ReplaceFileContents(path.c_str(), text.data(), text.size()).empty())
        throw std::runtime_error("The file \"" + path + "\" could not be written.");
}

// The index of the remembered voxel in archive_id_list, 0 when it is not
// remembered.
int RememberedIndex(const TintState& state, unsigned gridId)
{
    const auto found = state.archive_index.find(GridIdAsInt(gridId));
    if (found == state.archive_index.end())
        return 0;
    const int i = found->second;
    const bool inside = i >= 1 && i <= state.QMB_expressor_clks &&
                        static_cast<size_t>(i) < state.archive_id_list.size() &&
                        static_cast<size_t>(i) < state.archive_known.size();
    return inside ? i : 0;
}
} // namespace

namespace NeuronArchive
{
NeuronTable ParseTable(std::string_view text)
{
    NeuronTable table;
    // A UTF-8 byte order mark is no part of the first line.
    text = WithoutByteOrderMark(text);
    while (!text.empty())
    {
        const size_t end = text.find_first_of("\r\n");
        ParseTableLine(text.substr(0, end), table);
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return table;
}

std::optional<std::array<int, 3>> TableKey(const Expressor& expressor)
{
    std::array<int, 3> key{};
    const float coordinates[3] = {expressor.gridX, expressor.gridY, expressor.gridZ};
    for (int k = 0; k < 3; ++k)
    {
        const double v = coordinates[k];
        if (!std::isfinite(v) || v <= double(INT_MIN) - 1.0 || v >= double(INT_MAX) + 1.0)
            return std::nullopt;
        key[k] = static_cast<int>(v);
    }
    return key;
}

std::string MakeLaunchFileText(const std::string& neuronName, const std::string& archiveName)
{
    // The archive's pages come from the local sample service.
    const std::string base = UserPreferences::LocalServer();
    const std::string codebase = base + "/Arbolex/cvapp";
    const std::string folder = base + "/Arbolex/dableFiles/" + archiveName;
    const std::string name = XMLUtils::Escaped(neuronName);
    std::string text = "\n";
    text += "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
    text += "<jnlp spec=\"1.0\" codebase=\"" + XMLUtils::Escaped(codebase) + "\" href=\"" + name + ".jnlp\">\n";
    text += "<information>\n";
    text += "<title>Neuron Viewer </title>\n";
    text += "<vendor>" + XMLUtils::Escaped(kVendor) + "</vendor>\n";
    text += "<offline-allowed/>\n";
    text += "</information>\n";
    text += "<resources>\n";
    text += "<jar href=\"cvapp.jar\" main=\"true\"/>\n";
    text += "<j2se version=\"1.5+\" href=\"" + XMLUtils::Escaped(kJavaRuntimeAddress) + "\"/>\n";
    text += "</resources>\n";
    text += "<application-desc main-class=\"cvapp.main\">\n";
    text += "<argument>" + XMLUtils::Escaped(folder) + "/DRX%20version/" + name + ".DRX.swc</argument>\n";
    text += "</application-desc>\n";
    text += "<security>\n";
    text += "<all-permissions/>\n";
    text += "</security>\n";
    text += "</jnlp>\n";
    text += std::string(65, ' ') + "\n";
    return text;
}

std::string NeuronPageAddress(const std::string& neuronName)
{
    return UserPreferences::LocalServer() + "/Arbolex/neuron_info.jsp?neuron_name=" + StringUtils::PercentEncode(neuronName);
}

void SetLocations(const std::string& tableFile, const std::string& launchFolder)
{
    sTableFile = tableFile;
    sLaunchFolder = launchFolder;
}

Color RememberedGlyphColor(const TintState& state, unsigned gridId, const Color& c)
{
    if (state.QMB_dimming == 0 || state.QMB_expressor_clks >= kMaxRemembered)
        return c;
    const int i = RememberedIndex(state, gridId);
    const int entry = i > 0 ? state.archive_id_list[static_cast<size_t>(i)] : 0;
    if (entry == 0)
        return c;
    const int known = state.archive_known[static_cast<size_t>(i)];
    float red = c[0], green = c[1], blue = c[2];
    float redFactor = 1.0f, blueFactor = 1.0f;
    if (known > 0)
    {
        redFactor = 0.75f;
        blueFactor = 1.25f;
        if (red < 0.1f)
            red += 0.1f;
    }
    else if (known < 0)
    {
        redFactor = 1.25f;
        blueFactor = 0.75f;
        if (blue < 0.1f)
            blue += 0.1f;
    }
    if (state.QMB_clicked_prev > 0 && GridIdAsInt(gridId) == state.QMB_clicked_prev)
    {
        // The previously pressed voxel shows inverted and lightened.
        auto lifted = [](float channel) { return channel < 0.1f ? channel + 0.1f : channel; };
        return {1.0f - lifted(red) * 0.5f, 1.0f - lifted(green) * 0.5f, 1.0f - lifted(blue) * 0.5f, c[3]};
    }
    const float dim = entry > 0 ? 0.5f : 0.7f;
    return {red * dim * redFactor, green * dim, blue * dim * blueFactor, c[3]};
}

Color HighlightGlyphColor(TintState& state, unsigned gridId)
{
    const int id = GridIdAsInt(gridId);
    const int clicked = state.QMB_expressor_clicked;
    if (clicked > 0 && id == state.prev_expressor_id)
        return {0.4f, 0.7f, 0.4f, 0.75f};
    if (clicked < 0 && id == state.prev_expressor_id)
        return {0.4f, 0.2f, 0.2f, 0.75f};
    if (clicked < 0)
    {
        state.prev_expressor_id = id;
        return {0.4f, 0.3f, 0.2f, 1.0f};
    }
    if (clicked >= 1)
    {
        state.prev_expressor_id = id;
        return {0.1f, 0.8f, 0.1f, 1.0f};
    }
    if (state.QMB_moused_known >= 0)
        return {0.1f, 0.5f, 0.1f, 0.75f};
    if (id != state.prev_expressor_id)
        return {0.9f, 0.3f, 0.3f, 0.75f};
    return {0.7f, 0.1f, 0.1f, 0.75f};
}

int SaturatedDouble(int value)
{
    if (value > INT_MAX / 2)
        return INT_MAX;
    if (value < INT_MIN / 2)
        return INT_MIN;
    return value * 2;
}

void NoteStructurePicked()
{
    gTintState.QMB_expressor_clicked = 0;
    gTintState.QMB_moused_known = 0;
}

void NoteExpressorPicked(const Expressor* expressor, unsigned gridId, int mode)
{
    TintState& state = gTintState;
    const int id = GridIdAsInt(gridId);
    if (mode != 0)
    {
        state.QMB_expressor_clicked = id;
        state.QMB_clicked_id = MemorizeClicks(expressor);
    }
    else if (Magnitude(state.QMB_expressor_clicked) != id)
    {
        state.QMB_expressor_clicked = 0;
        state.QMB_clicked_id = MemorizeClicks(expressor);
    }
}

void NoteSelectionShown(int mode)
{
    TintState& state = gTintState;
    const int i = state.QMB_clicked_id;
    if (state.QMB_dimming == 0 || i <= 0 || i >= kMaxRemembered || i > state.QMB_expressor_clks ||
        static_cast<size_t>(i) >= state.archive_id_list.size() || static_cast<size_t>(i) >= state.archive_known.size())
        return;
    const int entry = state.archive_id_list[static_cast<size_t>(i)];
    // The sign of the lookup's answer, not a product that could overflow.
    const int known = state.QMB_moused_known;
    state.archive_known[static_cast<size_t>(i)] = known > 0 ? Magnitude(entry) : known < 0 ? -Magnitude(entry) : 0;
    if (mode != 0 && state.QMB_expressor_clicked > 0)
        state.QMB_clicked_prev = entry;
}

void NoteShiftHover()
{
    gTintState.QMB_moused_known = SaturatedDouble(gTintState.QMB_moused_known);
}

std::string SelectionText(const std::string& geneSymbol, const Expressor* expressor)
{
    const std::string cell = FindDrxJNLPInfo(expressor);
    gTintState.archive_cell = cell;
    std::string text = "Neuron Type: " + geneSymbol + "\n";
    if (cell.find("unknown") != std::string::npos)
        text += "Archive, Neuron Name: " + cell + "\n";
    else
        text += "Archive, Neuron Name: " + gTintState.archive_name + ", " + cell + "\n";
    return text;
}
} // namespace NeuronArchive

std::string FindDrxJNLPInfo(const Expressor* expressor)
{
    using namespace NeuronArchive;
    TintState& state = gTintState;
    state.archive_syscmd.clear();
    state.archive_name = " ";
    state.archive_jnlp = "unknown_cell";

    const std::string tablePath = TablePath();
    if (tablePath.empty() || !OSUtils::FileExists(tablePath.c_str()))
        return "DRX_DIR missing";
    if (!state.cell_info_known)
    {
        std::string text;
        try
        {
            text = ReadSmallTextFile(tablePath.c_str(), kMaxTableBytes, "The neuron table could not be read: ",
                                     "The neuron table is too large to be read: ");
        }
        catch (const std::exception& error)
        {
            std::printf("%s\n", error.what());
            return "UNKNOWN";
        }
        // A table this short holds no line; it is read again next time.
        if (text.size() <= 9)
            return "UNKNOWN";
        state.cell_info = ParseTable(text);
        state.cell_info_known = true;
    }

    state.QMB_moused_known = 1;
    if (expressor != nullptr)
    {
        if (const auto key = TableKey(*expressor))
        {
            const auto found = state.cell_info.find(*key);
            if (found != state.cell_info.end())
            {
                state.archive_jnlp = found->second.neuronName;
                state.archive_name = found->second.archiveName;
            }
        }
    }
    if (state.archive_jnlp.find("unknown_cell") != std::string::npos)
    {
        state.QMB_expressor_clicked = -Magnitude(state.QMB_expressor_clicked);
        state.QMB_moused_known = -1;
        return "unknown";
    }

    try
    {
        state.metajnlp_file = LaunchFolder() + kLaunchFileName;
    }
    catch (const std::exception&)
    {
        // Found again, with the reason, when a press needs the file.
        state.metajnlp_file.clear();
    }
    state.archive_metajnlp = MakeLaunchFileText(state.archive_jnlp, state.archive_name);
    state.archive_syscmd = state.metajnlp_file.empty() ? std::string(kLaunchFileName) : state.metajnlp_file;
    return state.archive_jnlp;
}

void UseDrxJNLPInfo(long mode)
{
    using namespace NeuronArchive;
    TintState& state = gTintState;
    if (state.QMB_expressor_clicked <= 0 || state.archive_syscmd.empty())
        return;
    try
    {
        if (state.metajnlp_file.empty())
            state.metajnlp_file = LaunchFolder() + kLaunchFileName;
        WriteTextFile(state.metajnlp_file, state.archive_metajnlp);
    }
    catch (const std::exception& error)
    {
        ShowAlertBox(std::string("The neuron could not be opened because its viewer file could not be written. ") +
                     error.what());
        return;
    }
    if (mode < 0)
    {
        state.archive_syscmd = NeuronPageAddress(state.archive_cell);
        OSUtils::OpenBrowser(state.archive_syscmd.c_str());
        state.QMB_expressor_clicked = 1;
    }
    else
    {
        OpenWithDefaultApplication(state.metajnlp_file);
    }
}

int MemorizeClicks(const Expressor* expressor)
{
    using NeuronArchive::kMaxRemembered;
    TintState& state = gTintState;
    if (expressor == nullptr)
        return 0;
    if (state.QMB_dimming == 0 || state.QMB_expressor_clks >= kMaxRemembered)
        return state.QMB_expressor_clks;
    const int id = GridIdAsInt(expressor->gridId);
    int i = RememberedIndex(state, expressor->gridId);
    if (i == 0)
    {
        i = ++state.QMB_expressor_clks;
        state.archive_id_list.resize(static_cast<size_t>(i) + 1, 0);
        state.archive_known.resize(static_cast<size_t>(i) + 1, 0);
        state.archive_id_list[static_cast<size_t>(i)] = 0;
        state.archive_known[static_cast<size_t>(i)] = 0;
        state.archive_index[id] = i;
    }
    int& entry = state.archive_id_list[static_cast<size_t>(i)];
    if (entry > 0)
        return i;
    entry = state.QMB_expressor_clicked == 0 ? -id : id;
    return i;
}

void ResetHighlitItems()
{
    TintState& state = gTintState;
    state.QMB_expressor_clks = 0;
    state.QMB_clicked_prev = 0;
    state.archive_id_list.assign(1, 0);
    state.archive_known.assign(1, 0);
    state.archive_index.clear();
}

void ModifyAnyExpressorColor(const Expressor* expressor, const float current[4])
{
    TintState& state = gTintState;
    state.glc_modified = false;
    if (state.QMB_dimming == 0 || current == nullptr)
        return;
    state.glc = {current[0], current[1], current[2], current[3]};
    if (expressor == nullptr)
        return;
    const NeuronArchive::Color tinted = NeuronArchive::RememberedGlyphColor(state, expressor->gridId, state.glc);
    if (tinted != state.glc)
    {
        glColor4fv(tinted.data());
        state.glc_modified = true;
    }
}

void RestoreAnyExpressorColor(const Expressor*)
{
    TintState& state = gTintState;
    if (state.QMB_dimming == 1 && state.glc_modified)
        glColor4fv(state.glc.data());
    state.glc_modified = false;
}

void ModifyHilightExpressorColor(const Expressor* expressor)
{
    if (expressor == nullptr)
        return;
    glColor4fv(NeuronArchive::HighlightGlyphColor(gTintState, expressor->gridId).data());
}
