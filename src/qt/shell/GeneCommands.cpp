// The gene table's commands (Gene menu and the table's context menu).
#include "model/BrainExpressionModel.h"
#include "model/GeneExpression.h"
#include "model/UserPreferences.h"
#include "network/GeneQuery.h"
#include "shell/ShellCommands.h"
#include "utility/OSUtils.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QColorDialog>

namespace shell
{
void ShellCommands::addGeneCommands()
{
    add(CommandId::ChooseGeneColor, tr("Choose Color…"), [this](DocumentCommand&) { chooseGeneColor(); });
    add(CommandId::CopyGeneInfo, tr("Copy Gene Info"), [this](DocumentCommand&) {
        const std::string text = GeneInfoText(*m_model, m_context.SelectedGeneRows());
        QApplication::clipboard()->setText(QString::fromUtf8(text.c_str()));
    });
    add(CommandId::ShowGeneInfo, tr("Show Gene Info"), [this](DocumentCommand&) {
        const std::string& base = UserPreferences::GetPreferences()->GetImageSeriesInfoUrl();
        // After a page that could not be opened (and was reported) the
        // others would fail the same way.
        for (int row : m_context.SelectedGeneRows())
            if (!OSUtils::OpenBrowser((base + std::to_string(m_model->GetGene(row)->GetImageSeriesId())).c_str()))
                break;
    });
    add(CommandId::CloseGene, tr("Close Gene"), [this](DocumentCommand&) {
        const std::vector<int> rows = m_context.SelectedGeneRows();
        for (auto row = rows.rbegin(); row != rows.rend(); ++row)
            m_model->RemoveGene(*row);
        m_context.ReloadGeneList();
    });
    add(CommandId::FindSimilarGenes, tr("Find Similar Genes…"), [this](DocumentCommand&) {
        const std::vector<int> rows = m_context.SelectedGeneRows();
        if (rows.empty())
            return;
        const GeneExpression* gene = m_model->GetGene(rows.front());
        if (gene == nullptr)
            return;
        // The menu item is disabled for such a gene; a shortcut or a menu
        // opened before the selection changed still gets here.
        if (!GeneQuery::CanSimlara(gene))
        {
            showAlert(QStringLiteral("Not enough information to find similar genes."));
            return;
        }
        m_context.FindSimilarGenes(gene->GetSymbol(), gene->GetImageSeriesId());
    })->setAvailability([this] { return m_context.HasSimilarGeneChooser(); });
    // Possible with two or more genes; the model's intersection is not
    // offered from the menu, so the item does nothing.
    add(CommandId::ComputeGeneIntersection, tr("Compute Gene Intersection"), [](DocumentCommand&) {});
}

void ShellCommands::chooseGeneColor()
{
    const std::vector<int> rows = m_context.SelectedGeneRows();
    if (rows.empty() || m_model == nullptr)
        return;
    if (m_colorPanel == nullptr)
    {
        m_colorPanel = new QColorDialog(m_context.Window());
        m_colorPanel->setOption(QColorDialog::DontUseNativeDialog);
        m_colorPanel->setWindowModality(Qt::NonModal);
        connect(m_colorPanel, &QColorDialog::colorSelected, this,
                [this](const QColor& color) { runAlerting([&] { changeGeneColor(color); }); });
    }
    float r = 0, g = 0, b = 0;
    m_model->GetGene(rows.front())->GetColor(r, g, b);
    m_colorPanel->setCurrentColor(QColor::fromRgbF(r, g, b, 1.0f));
    m_colorPanel->show();
    m_colorPanel->raise();
}

void ShellCommands::changeGeneColor(const QColor& color)
{
    const std::vector<int> rows = m_context.SelectedGeneRows();
    if (rows.empty() || m_model == nullptr)
        return;
    m_model->SetGeneColor(rows.front(), static_cast<float>(color.redF()), static_cast<float>(color.greenF()),
                          static_cast<float>(color.blueF()));
}
} // namespace shell
