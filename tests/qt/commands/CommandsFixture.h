#ifndef NUVARO_TESTS_QT_COMMANDS_COMMANDSFIXTURE_H
#define NUVARO_TESTS_QT_COMMANDS_COMMANDSFIXTURE_H

// The window's commands over a real model of the sample atlas and a fake
// window, with the alerts they show and helpers for the file dialogs.

#include "FakeCommandContext.h"

#include "model/Atlas.h"
#include "shell/ShellCommands.h"
#include "support/FakePlatformServices.h"
#include "support/MemoryPreferenceStore.h"
#include "support/QuietStdout.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace commandstest
{
class CommandsFixture : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(nullptr, Atlas::GetAtlas());
        model = std::make_unique<BrainExpressionModel>();
        context = std::make_unique<FakeCommandContext>(model.get());
        context->window = &window;
        window.resize(400, 300);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        commands = std::make_unique<shell::ShellCommands>(*context);
        context->commands = commands.get();
        QObject::connect(commands.get(), &shell::ShellCommands::alertShown,
                         [this](const QString& text) { alerts.push_back(text.toStdString()); });
    }

    void TearDown() override
    {
        context->commands = nullptr;
        commands.reset();
        context.reset();
        model.reset();
    }

    QAction* Action(shell::CommandId id, int tag = 0) { return commands->action(id, tag); }
    // Validates the actions, as the window does after every change, and
    // triggers the action as a menu click or shortcut would.
    void Trigger(shell::CommandId id, int tag = 0)
    {
        QAction* action = Action(id, tag);
        ASSERT_NE(nullptr, action);
        commands->validateAll();
        action->trigger();
    }

    // Types the path into the open file dialog and presses Return; a
    // question about replacing an existing file is answered yes.
    void AcceptFileDialog(const QString& path)
    {
        QFileDialog* dialog = commands->openFileDialog();
        ASSERT_NE(nullptr, dialog);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
        QTimer::singleShot(0, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                if (QAbstractButton* yes = box->button(QMessageBox::Yes))
                    yes->click();
        });
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(nullptr, name);
        name->setText(path);
        QTest::keyClick(name, Qt::Key_Return);
        EXPECT_TRUE(QTest::qWaitFor([&] { return commands->openFileDialog() == nullptr || !dialog->isVisible(); }, 30000));
    }

    testsupport::ScopedPreferenceStore preferences;
    testsupport::FakePlatformServices services;
    testsupport::QuietStdout quiet;
    QMainWindow window;
    std::unique_ptr<BrainExpressionModel> model;
    std::unique_ptr<FakeCommandContext> context;
    std::unique_ptr<shell::ShellCommands> commands;
    std::vector<std::string> alerts;
};
} // namespace commandstest

#endif
