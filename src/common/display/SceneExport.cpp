#include "display/SceneExport.h"

#include "display/BrainMeshSet.h"
#include "display/ExpressionRenderer.h"
#include "model/GeneExpression.h"
#include "utility/OSUtils.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
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

void SceneExport::WriteWholeFile(const std::string& path, const std::string& text)
{
    if (!OSUtils::ReplaceFileContents(path.c_str(), text.data(), text.size()).empty())
        throw std::runtime_error("File could not be written.");
}

void SceneExport::ExportScene(const std::string& folder, const std::vector<ExpressionRenderer*>& genes,
                              BrainMeshSet* meshes, ImageGrid::AnnotationSelector selector)
{
    const std::string directory = FolderWithSeparator(folder);
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
        renderer->ExportPOVRay(directory.c_str(), stem);
    }
    if (meshes != nullptr)
        meshes->ExportPOVRay(selector, directory.c_str());
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
