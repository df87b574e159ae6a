#include "shell/ShellCommands.h"

#include "model/BrainExpressionModel.h"
#include "model/GeneExpression.h"
#include "shell/AlertSheet.h"
#include "shell/AtlasPlaneToggleBar.h"
#include "shell/SelectionTools.h"

#include <QAction>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>
#include <QWidget>

#include <exception>

namespace shell
{
ShellCommands::ShellCommands(CommandContext& context, QObject* parent)
    : QObject(parent), m_context(context), m_model(context.Model())
{
    addFileCommands();
    addEditCommands();
    addGeneCommands();
    addSceneCommands();
    addTabCommands();
    addWindowCommands();
    addBookmarkCommands();
    if (m_model != nullptr)
        m_model->AddListener(this);
    validateAll();
}

ShellCommands::~ShellCommands()
{
    if (m_model != nullptr)
        m_model->RemoveListener(this);
}

DocumentCommand* ShellCommands::add(CommandId id, const QString& title, DocumentCommand::Body body, int tag,
                                    bool checkable)
{
    auto* action = new QAction(title, this);
    action->setCheckable(checkable);
    auto* command = new DocumentCommand(id, tag, action, *this, std::move(body));
    m_commands.push_back(command);
    return command;
}

QAction* ShellCommands::action(CommandId id, int tag) const
{
    DocumentCommand* found = command(id, tag);
    return found != nullptr ? found->action() : nullptr;
}

DocumentCommand* ShellCommands::command(CommandId id, int tag) const
{
    for (DocumentCommand* command : m_commands)
        if (command->id() == id && command->tag() == tag)
            return command;
    return nullptr;
}

DocumentState ShellCommands::state() const
{
    DocumentState s = ReadDocumentState(m_context);
    s.hasSnapback = m_snapback != nullptr;
    return s;
}

void ShellCommands::validateAll()
{
    const DocumentState s = state();
    for (DocumentCommand* command : m_commands)
        command->validate(s);
}

void ShellCommands::showAlert(const QString& text)
{
    ShowAlertSheet(m_context.Window(), text, QString(), QMessageBox::Warning);
    emit alertShown(text);
}

bool ShellCommands::runAlerting(const std::function<void()>& work)
{
    try
    {
        work();
        return true;
    }
    catch (const std::exception& e)
    {
        showAlert(QString::fromUtf8(e.what()));
    }
    catch (...)
    {
        showAlert(QStringLiteral("The command failed."));
    }
    return false;
}

void ShellCommands::setAtlasPlaneToggleBar(AtlasPlaneToggleBar* bar)
{
    m_planeToggles = bar;
    if (bar != nullptr)
        connect(bar, &AtlasPlaneToggleBar::planeToggled, this, [this](int plane, bool visible) {
            if (!runAlerting([&] { changeAtlasPlaneFromToggle(plane, visible); }))
                syncPlaneToggles();
        });
    syncPlaneToggles();
}

void ShellCommands::setSelectionTools(SelectionTools* tools)
{
    m_selectionTools = tools;
    if (tools == nullptr)
        return;
    connect(tools, &SelectionTools::toolChosen, this, [this](int mode) {
        if (m_model != nullptr)
            m_model->SetToolMode(static_cast<BrainExpressionModel::ToolMode>(mode));
        validateAll();
    });
    if (m_model != nullptr)
        tools->setTool(m_model->GetToolMode());
}

void ShellCommands::syncPlaneToggles()
{
    if (m_planeToggles != nullptr && m_model != nullptr)
        m_planeToggles->syncFromModel(*m_model);
}

void ShellCommands::searchForGene(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    if (utf8.isEmpty())
        return;
    m_context.SearchForGene(utf8.toStdString());
}

namespace
{
// Changes of the camera and of positions within the scene, sent for every
// frame of a drag or an animation: no rule reads them.
bool ChangesNoRule(int code)
{
    switch (code)
    {
    case BrainExpressionModel::kRotationChanged:
    case BrainExpressionModel::kOriginChanged:
    case BrainExpressionModel::kZoomChanged:
    case BrainExpressionModel::kSliceLocationChanged:
    case BrainExpressionModel::kCuttingPlaneLocationChanged:
    case BrainExpressionModel::kImageAlphaChanged:
        return true;
    default:
        return false;
    }
}
} // namespace

void ShellCommands::ModelChanged(int code, BrainExpressionModel*, int argument)
{
    if (ChangesNoRule(code))
        return;
    if (QThread::currentThread() != thread())
    {
        // A change made on the atlas-loading thread: follow it on the main thread.
        QMetaObject::invokeMethod(
            this,
            [this, code] {
                if (code == BrainExpressionModel::kSlicePlaneVisibilityChanged)
                    syncPlaneToggles();
                validateAll();
            },
            Qt::QueuedConnection);
        return;
    }
    if (code == BrainExpressionModel::kGeneWillBeRemoved && m_exportGene != nullptr && m_model != nullptr &&
        argument >= 0 && argument < m_model->GetNumGenes() && m_model->GetGene(argument) == m_exportGene)
        m_exportGene = nullptr;
    if (code == BrainExpressionModel::kSlicePlaneVisibilityChanged || code == BrainExpressionModel::kViewReset)
        syncPlaneToggles();
    validateAll();
}

std::string GeneInfoText(const BrainExpressionModel& model, const std::vector<int>& rows)
{
    std::string text = "Symbol\tName\tEntrez ID\tImage Series ID\n";
    for (int row : rows)
    {
        if (row < 0 || row >= model.GetNumGenes())
            continue;
        const GeneExpression* gene = model.GetGene(row);
        text += gene->GetSymbol() + "\t" + gene->GetName() + "\t" + std::to_string(gene->GetEntrezGeneId()) + "\t" +
                std::to_string(gene->GetImageSeriesId()) + "\n";
    }
    return text;
}

int CycleTabTarget(int active, int count, int step)
{
    if (count < 2)
        return active;
    return ((active + step) % count + count) % count;
}
} // namespace shell
