// The once-per-process start-up of the first document in a process of its
// own: a data folder without an atlas, then a start that installs the atlas
// and a full-atlas load that fails. The tests run in this order and share the
// folders.

#include "gl/QtIconImages.h"
#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "platform/QtMainThreadDispatcher.h"
#include "shell/CriticalError.h"
#include "shell/NuvaroAppController.h"
#include "shell/NuvaroDoc.h"
#include "shell/NuvaroWindowController.h"
#include "support/FakePlatformServices.h"
#include "support/MemoryPreferenceStore.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "utility/ResourcePath.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace fs = std::filesystem;

namespace
{
struct Folders
{
    testsupport::TempDir data;
    testsupport::TempDir user;
    testsupport::ScopedEnv dataEnv{"NUVARO_DATA_DIR", data.Path().c_str()};
    testsupport::ScopedEnv userEnv{"XDG_DATA_HOME", user.Path().c_str()};
    testsupport::ScopedPreferenceStore prefs;
    testsupport::FakePlatformServices services;
};

Folders& Process()
{
    static Folders* sFolders = [] {
        auto* f = new Folders;
        QApplication::setQuitOnLastWindowClosed(false);
        InstallQtMainThreadDispatcher();
        QtIconImages::Install();
        return f;
    }();
    return *sFolders;
}

// Links every file of the sample data folder into the test's data folder.
void FillDataFolder()
{
    const fs::path from = testsupport::SampleDataDir();
    for (const auto& entry : fs::directory_iterator(from))
    {
        const fs::path to = fs::path(Process().data.Path()) / entry.path().filename();
        if (!fs::exists(fs::symlink_status(to)))
            fs::create_symlink(entry.path(), to);
    }
}

// Presses the one button of the "Critical Error" box when it shows and
// keeps its message. Polls without blocking: the box may come from inside a
// loop that is running the caller's work.
class CriticalErrorAnswer
{
public:
    CriticalErrorAnswer()
    {
        QObject::connect(&m_poll, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible() || box->windowTitle() != "Critical Error")
                return;
            message = box->informativeText();
            if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
                informativeFormat = label->textFormat();
            buttons = box->buttons().size();
            if (buttons > 0)
                buttonText = box->buttons()[0]->text();
            box->buttons()[0]->click();
        });
        m_poll.start(10);
    }
    QString message;
    QString buttonText;
    int buttons = 0;
    Qt::TextFormat informativeFormat = Qt::AutoText;

private:
    QTimer m_poll;
};

TEST(StartupTest, AMissingAtlasIsACriticalErrorAndStatusOne)
{
    Process();
    CriticalErrorAnswer answer;
    NuvaroAppController controller;
    EXPECT_EQ(1, controller.start({}));
    EXPECT_EQ(nullptr, controller.currentDocument());
    EXPECT_EQ(1, answer.buttons);
    EXPECT_EQ(QStringLiteral("Quit"), answer.buttonText);
    const QString message = answer.message;
    EXPECT_TRUE(message.startsWith("Tessary could not launch, most likely because the application file is "
                                   "corrupted. Please try deleting the Tessary application and reinstalling from "))
        << message.toStdString();
}

// The message comes from failures that quote files and server answers: it is
// shown as it is, never read as markup.
TEST(StartupTest, TheCriticalErrorShowsItsMessageAsPlainText)
{
    CriticalErrorAnswer answer;
    ShowCriticalError(QStringLiteral("<b>Bad</b> file <a href=\"http://x\">x</a>"));
    EXPECT_EQ(QStringLiteral("<b>Bad</b> file <a href=\"http://x\">x</a>"), answer.message);
    EXPECT_EQ(Qt::PlainText, answer.informativeFormat);
}

TEST(StartupTest, AFailedBackgroundLoadIsToldAndReenablesTheToggles)
{
    // The first start installs the atlas behind the panel; the full-size
    // annotation volume is cut short: loading it throws.
    FillDataFolder();
    const fs::path annotation = fs::path(Process().data.Path()) / "Annotation25";
    fs::remove(annotation);
    ASSERT_TRUE(testsupport::WriteFileBytes(annotation.string(), std::string(1000, '\0')));
    NuvaroAppController controller;
    ASSERT_EQ(0, controller.start({}));
    NuvaroDoc* doc = controller.currentDocument();
    ASSERT_NE(nullptr, doc);
    QWidget toggles;
    doc->setAtlasPlaneToggleBar(&toggles);
    Process().services.alerts.clear();
    doc->setMPRPlaneVisibility(0, true);
    EXPECT_TRUE(doc->atlasLoading());
    EXPECT_FALSE(toggles.isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !doc->atlasLoading(); }, 20000));
    EXPECT_TRUE(toggles.isEnabled());
    EXPECT_EQ(1u, Process().services.alerts.size());
    EXPECT_FALSE(doc->expressionModel()->GetMPRPlaneVisible(Image3d::MPRPlane(0)));
    EXPECT_TRUE(doc->window()->statusField()->text().isEmpty());
    doc->setAtlasPlaneToggleBar(nullptr);
}
} // namespace
