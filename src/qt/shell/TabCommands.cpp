// Tab commands and the window's layout and help commands.
#include "shell/ShellCommands.h"

#include <QAction>
#include <QEvent>
#include <QWidget>

namespace shell
{
void ShellCommands::addTabCommands()
{
    add(CommandId::NewTab, tr("New Tab"), [this](DocumentCommand&) { m_context.CreateNewTab(); })
        ->action()
        ->setShortcut(QKeySequence::AddTab);
    add(CommandId::CloseTab, tr("Close Tab"), [this](DocumentCommand&) {
        const int active = m_context.ActiveTab();
        if (active > 0)
            m_context.CloseTab(active);
    });
    add(CommandId::CycleNextTab, tr("Next Tab"), [this](DocumentCommand&) {
        m_context.SwitchTab(CycleTabTarget(m_context.ActiveTab(), m_context.TabCount(), +1));
    })->action()->setShortcut(QKeySequence::NextChild);
    add(CommandId::CyclePreviousTab, tr("Previous Tab"), [this](DocumentCommand&) {
        m_context.SwitchTab(CycleTabTarget(m_context.ActiveTab(), m_context.TabCount(), -1));
    })->action()->setShortcut(QKeySequence::PreviousChild);
}

void ShellCommands::setCloseWindowAction(QAction* closeWindow)
{
    m_closeWindow = closeWindow;
    if (QWidget* window = m_context.Window())
    {
        window->removeEventFilter(this);
        window->installEventFilter(this);
        updateCloseKeys(!window->isActiveWindow());
    }
}

void ShellCommands::updateCloseKeys(bool single)
{
    QAction* closeTab = action(CommandId::CloseTab);
    const QKeySequence closeKey(Qt::CTRL | Qt::Key_W);
    if (single || m_context.TabCount() <= 1)
    {
        closeTab->setShortcut(QKeySequence());
        if (m_closeWindow != nullptr)
            m_closeWindow->setShortcut(closeKey);
    }
    else
    {
        if (m_closeWindow != nullptr)
            m_closeWindow->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_W));
        closeTab->setShortcut(closeKey);
    }
}

bool ShellCommands::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_context.Window())
    {
        if (event->type() == QEvent::ActivationChange)
        {
            updateCloseKeys(!m_context.Window()->isActiveWindow());
            validateAll();
        }
        else if (event->type() == QEvent::Close)
        {
            updateCloseKeys(true);
        }
    }
    return QObject::eventFilter(watched, event);
}

void ShellCommands::addWindowCommands()
{
    add(CommandId::ToggleExpandedView, tr("Expand View"), [this](DocumentCommand&) { m_context.ToggleExpandedView(); },
        0, true);
    add(CommandId::ShowViewSettings, tr("View Settings"), [this](DocumentCommand&) { m_context.ToggleViewSettings(); },
        0, true);
    add(CommandId::Help, tr("Nuvaro Help"), [this](DocumentCommand&) { m_context.ShowHelp(); })
        ->action()
        ->setShortcut(QKeySequence::HelpContents);
}
} // namespace shell
