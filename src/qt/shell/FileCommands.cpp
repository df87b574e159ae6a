// File and Edit commands: imports, export and the clipboard.
#include "model/BrainExpressionModel.h"
#include "model/GeneExpression.h"
#include "model/PagedGeneList.h"
#include "shell/ShellCommands.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>

namespace shell
{
namespace
{
// A window-modal Qt file dialog that deletes itself when closed.
QFileDialog* MakeFileDialog(QWidget* parent, const QString& title, const QString& filter)
{
    auto* dialog = new QFileDialog(parent, title, QString(), filter);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    return dialog;
}

// The chosen file of a dialog that has just closed; empty when it was cancelled.
QString AcceptedFile(QPointer<QFileDialog>& current, QFileDialog* dialog, int result)
{
    current = nullptr;
    const QStringList files = dialog->selectedFiles();
    return result == QDialog::Accepted && !files.isEmpty() ? files.front() : QString();
}
} // namespace

void ShellCommands::addFileCommands()
{
    add(CommandId::ImportGeneList, tr("Import Gene List…"),
        [this](DocumentCommand&) { importFile(tr("Import Gene List"), &ShellCommands::importGeneList); });
    add(CommandId::ImportGeneRelations, tr("Import Gene Relations…"),
        [this](DocumentCommand&) { importFile(tr("Import Gene Relations"), &ShellCommands::importGeneRelations); })
        ->setAvailability([this] { return m_context.HasGraphView(); });
    add(CommandId::ExportGene, tr("Export Gene…"), [this](DocumentCommand&) { exportGene(); });
}

void ShellCommands::addEditCommands()
{
    QAction* copy = add(CommandId::Copy, tr("Copy"), [this](DocumentCommand&) {
                        std::string label;
                        if (m_context.Focus() == FocusedPanel::OntologyOutline && m_context.SelectedOutlineLabel(label))
                            QApplication::clipboard()->setText(QString::fromStdString(label));
                        else if (m_context.Focus() == FocusedPanel::GeneTable)
                            command(CommandId::CopyGeneInfo)->run();
                    })->action();
    copy->setShortcut(QKeySequence::Copy);
    add(CommandId::CopyImage, tr("Copy Image"), [this](DocumentCommand&) { m_context.CopyFrame(); });
    DocumentCommand* remove = add(CommandId::Delete, tr("Delete"), [this](DocumentCommand&) {
        if (m_context.HasBookmarksPanel())
            m_context.DeleteSelectedBookmarks();
    });
    remove->action()->setShortcut(QKeySequence::Delete);
    remove->setAvailability([this] { return m_context.HasBookmarksPanel(); });
}

void ShellCommands::importFile(const QString& title, void (ShellCommands::*load)(const std::string&))
{
    if (m_fileDialog != nullptr)
        return;
    QFileDialog* dialog = MakeFileDialog(m_context.Window(), title, tr("CSV files (*.csv)"));
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    connect(dialog, &QDialog::finished, this, [this, dialog, load](int result) {
        const QString path = AcceptedFile(m_fileDialog, dialog, result);
        if (path.isEmpty())
            return;
        try
        {
            (this->*load)(path.toStdString());
        }
        catch (const std::exception& e)
        {
            showAlert(QString::fromUtf8(e.what()));
        }
        validateAll();
    });
    m_fileDialog = dialog;
    dialog->open();
}

void ShellCommands::importGeneList(const std::string& path)
{
    const int tabsBefore = m_context.TabCount();
    PagedGeneList* list = m_context.SwitchToListTab();
    if (list == nullptr)
        return;
    try
    {
        list->LoadFile(path.c_str());
    }
    catch (...)
    {
        // A tab opened only for this file goes again: the tabs stay as they were.
        if (m_context.TabCount() > tabsBefore && m_context.ActiveTab() > 0)
            m_context.CloseTab(m_context.ActiveTab());
        throw;
    }
    m_context.UpdateActiveTabName();
}

void ShellCommands::importGeneRelations(const std::string& path)
{
    m_context.LoadDirectedGraphFile(path);
}

void ShellCommands::exportGene()
{
    if (m_fileDialog != nullptr || m_model == nullptr)
        return;
    const std::vector<int> rows = m_context.SelectedGeneRows();
    if (rows.size() != 1)
        return;
    // The gene is fixed now: a download that ends while the dialog is open
    // adds and selects another gene, which must not be written under this
    // gene's name.
    GeneExpression* gene = m_model->GetGene(rows.front());
    m_exportGene = gene;
    QFileDialog* dialog = MakeFileDialog(m_context.Window(), tr("Export Gene"), tr("Grid files (*.xpr)"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("xpr"));
    dialog->selectFile(QString::fromStdString(gene->GetExportedFileName()));
    connect(dialog, &QDialog::finished, this,
            [this, dialog](int result) { finishExport(AcceptedFile(m_fileDialog, dialog, result)); });
    m_fileDialog = dialog;
    dialog->open();
}

void ShellCommands::finishExport(const QString& path)
{
    GeneExpression* gene = m_exportGene;
    m_exportGene = nullptr;
    if (path.isEmpty())
        return;
    if (gene == nullptr)
    {
        showAlert(tr("The gene was closed before it could be exported."));
        return;
    }
    try
    {
        gene->Write(path.toStdString());
    }
    catch (const std::exception& e)
    {
        showAlert(QString::fromUtf8(e.what()));
    }
}
} // namespace shell
