#include "shell/DocumentCommand.h"

#include "shell/ShellCommands.h"

#include <QAction>

namespace shell
{
DocumentCommand::DocumentCommand(CommandId id, int tag, QAction* action, ShellCommands& commands, Body body)
    : QObject(action), m_id(id), m_tag(tag), m_action(action), m_commands(commands), m_body(std::move(body))
{
    m_action->setData(m_tag);
    connect(m_action, &QAction::triggered, this, [this] { run(); });
}

void DocumentCommand::validate(const DocumentState& state)
{
    const CommandStatus status = ValidateCommand(m_id, m_tag, state);
    m_action->setEnabled(status.enabled && isAvailable());
    if (m_action->isCheckable())
        m_action->setChecked(status.checked);
}

bool DocumentCommand::run()
{
    bool ran = false;
    if (HandlerGoesOn(m_id, m_tag, m_commands.state()) && isAvailable() && m_body)
    {
        ran = true;
        m_commands.runAlerting([this] { m_body(*this); });
    }
    m_commands.validateAll();
    return ran;
}
} // namespace shell
