#ifndef NUVARO_QT_SHELL_DOCUMENTCOMMAND_H
#define NUVARO_QT_SHELL_DOCUMENTCOMMAND_H

#include "shell/CommandRules.h"

#include <QObject>

#include <functional>

class QAction;

namespace shell
{
class ShellCommands;

// One command of the window, attached to one QAction: it sets the action's
// enabled and checked state from its row of the rule table, and when the
// action fires it asks the rules again (a shortcut fires without a menu being
// validated) and runs its body only when HandlerGoesOn allows it. Exceptions from
// the body end here and are shown as an alert on the window. Checkable
// actions have toggled themselves before the body runs; bodies read the new
// state from the model, and the check mark is set from the rule afterwards.
class DocumentCommand : public QObject
{
    Q_OBJECT
public:
    using Body = std::function<void(DocumentCommand&)>;

    DocumentCommand(CommandId id, int tag, QAction* action, ShellCommands& commands, Body body);

    CommandId id() const { return m_id; }
    int tag() const { return m_tag; }
    QAction* action() const { return m_action; }

    // A command that needs a panel built elsewhere stays disabled while the
    // predicate answers false.
    void setAvailability(std::function<bool()> available) { m_available = std::move(available); }
    bool isAvailable() const { return !m_available || m_available(); }

    // Applies the rule to the action.
    void validate(const DocumentState& state);
    // Runs the command when the rules let its handler go on now; true when it ran.
    bool run();

private:
    CommandId m_id;
    int m_tag;
    QAction* m_action;
    ShellCommands& m_commands;
    Body m_body;
    std::function<bool()> m_available;
};
} // namespace shell

#endif
