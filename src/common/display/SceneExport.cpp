#include "display/SceneExport.h"

#include "display/BrainMeshSet.h"
#include "display/ExpressionRenderer.h"
#include "model/GeneExpression.h"
#include "utility/OSUtils.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <set>
#include <stdexcept>

namespace
{
bool IsLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsWordCharacter(char c)
{
    return IsLetter(c) || (c >= '0' && c <= '9') || c == '_';
}
} // namespace

std::string SceneExport::FolderWithSeparator(const std::string& folder)
{
    if (folder.empty() || folder.back() != '/')
        return folder + "/";
    return folder;
}

std::string SceneExport::GeneFileStem(const std::string& symbol)
{
    if (symbol.empty())
        return "gene";
    std::string stem = symbol;
    for (char& c : stem)
    {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || u < 0x20 || u == 0x7F)
            c = '_';
    }
    return stem;
}

std::string SceneExport::PovIdentifier(const std::string& abbreviation)
{
    bool word = !abbreviation.empty() && IsLetter(abbreviation[0]);
    bool capital = false;
    for (char c : abbreviation)
    {
        word = word && IsWordCharacter(c);
        capital = capital || (c >= 'A' && c <= 'Z');
    }
    if (word && capital)
        return abbreviation;
    std::string identifier = "S_";
    for (char c : abbreviation)
        identifier += IsWordCharacter(c) ? c : '_';
    return identifier;
}

char* SceneExport::WriteNumber(char* out, float value)
{
    // Numbers from 0.001 up to a million, the common case, are written here
    // directly: the float times the power of ten that leaves 6 digits is
    // exact in a double, so rounding it half to even is what %g does. Others
    // (and a rounding that carries into another digit) go to to_chars.
    static const double kPowers[10] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
    const double a = std::fabs(static_cast<double>(value));
    if (a >= 1e-3 && a < 1e6)
    {
        int exponent = 5;
        while (a < kPowers[exponent + 3] / 1e3)
            --exponent;
        const double scaled = a * kPowers[5 - exponent];
        double rounded = std::floor(scaled);
        const double fraction = scaled - rounded;
        if (fraction > 0.5 || (fraction == 0.5 && std::fmod(rounded, 2.0) != 0.0))
            rounded += 1.0;
        if (rounded < 1e6)
        {
            char digits[6];
            int rest = static_cast<int>(rounded);
            for (int i = 5; i >= 0; --i, rest /= 10)
                digits[i] = static_cast<char>('0' + rest % 10);
            // The point goes after exponent + 1 digits; trailing zeros of
            // the fraction are dropped.
            int length = 6;
            while (length > exponent + 1 && digits[length - 1] == '0')
                --length;
            if (value < 0.0f)
                *out++ = '-';
            if (exponent >= 0)
            {
                const int whole = std::min(length, exponent + 1);
                out = std::copy(digits, digits + whole, out);
                if (length > whole)
                {
                    *out++ = '.';
                    out = std::copy(digits + whole, digits + length, out);
                }
            }
            else
            {
                *out++ = '0';
                *out++ = '.';
                out = std::fill_n(out, -exponent - 1, '0');
                out = std::copy(digits, digits + length, out);
            }
            return out;
        }
    }
    return std::to_chars(out, out + kMaxNumberText, value, std::chars_format::general, 6).ptr;
}

void SceneExport::WriteWholeFile(const std::string& path, const std::string& text, FileReplacement* batch)
{
    const std::string error = batch != nullptr ? batch->Add(path.c_str(), text.data(), text.size())
                                               : OSUtils::ReplaceFileContents(path.c_str(), text.data(), text.size());
    if (!error.empty())
        throw std::runtime_error("File could not be written.");
}

void SceneExport::CommitWholeFiles(FileReplacement& batch)
{
    if (!batch.Commit().empty())
        throw std::runtime_error("File could not be written.");
}

void SceneExport::ExportScene(const std::string& folder, const std::vector<ExpressionRenderer*>& genes,
                              BrainMeshSet* meshes, ImageGrid::AnnotationSelector selector)
{
    const std::string directory = FolderWithSeparator(folder);
    // The disk writes of all files overlap; an export that stops removes the
    // new files not yet in place.
    FileReplacement batch;
    std::set<std::string> taken{"mesh_usage"};
    if (meshes != nullptr)
    {
        for (const std::string& name : meshes->ExportNames(selector))
            taken.insert(name);
    }
    for (const ExpressionRenderer* renderer : genes)
    {
        const GeneExpression* gene = renderer->GetGene();
        if (gene == nullptr)
            continue;
        // No file is written twice in one export.
        const std::string base = GeneFileStem(gene->GetSymbol());
        std::string stem = base;
        for (int n = 1; taken.count(stem) != 0; ++n)
            stem = base + "_" + std::to_string(gene->GetImageSeriesId()) + (n > 1 ? "_" + std::to_string(n) : "");
        taken.insert(stem);
        renderer->ExportPOVRay(directory.c_str(), stem, &batch);
    }
    if (meshes != nullptr)
        meshes->ExportPOVRay(selector, directory.c_str(), &batch);
    else
        CommitWholeFiles(batch);
}

std::vector<unsigned char> SceneExport::ReadFramePixels(int width, int height)
{
    width = std::max(width, 0);
    height = std::max(height, 0);
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    GLint samples = 0;
    glGetIntegerv(GL_SAMPLES, &samples);
    GLint readBinding = 0, drawBinding = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readBinding);
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawBinding);
    GLuint resolved = 0, color = 0;
    if (samples > 0 && width > 0 && height > 0)
    {
        // Multisampled pixels cannot be read directly.
        glGenFramebuffers(1, &resolved);
        glGenRenderbuffers(1, &color);
        glBindRenderbuffer(GL_RENDERBUFFER, color);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, resolved);
        glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color);
        glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, resolved);
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (!pixels.empty())
        glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    if (resolved != 0)
    {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(readBinding));
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(drawBinding));
        glDeleteRenderbuffers(1, &color);
        glDeleteFramebuffers(1, &resolved);
    }
    return pixels;
}

std::string SceneExport::FramePath(const std::string& folder, unsigned long n)
{
    char number[32];
    std::snprintf(number, sizeof number, "%05lu", n);
    return folder + "/" + number + ".png";
}
