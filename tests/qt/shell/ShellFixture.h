#ifndef NUVARO_TESTS_QT_SHELL_SHELLFIXTURE_H
#define NUVARO_TESTS_QT_SHELL_SHELLFIXTURE_H

// The application as main sets it up, in the test process: preferences in
// memory, alerts, questions and URLs recorded, the Qt main-thread
// dispatcher, icons, and a document window made through the application
// controller over the sample atlas.

#include "gl/QtIconImages.h"
#include "model/BrainExpressionModel.h"
#include "platform/QtMainThreadDispatcher.h"
#include "shell/GLView.h"
#include "shell/NuvaroAppController.h"
#include "shell/NuvaroDoc.h"
#include "shell/NuvaroWindowController.h"
#include "support/FakePlatformServices.h"
#include "support/MemoryPreferenceStore.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/qt/Screenshot.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace shelltest
{
struct ProcessServices
{
    // A user folder of this process's own: the first start installs the
    // atlas there, which suites running side by side must not share.
    testsupport::TempDir userData;
    testsupport::ScopedEnv userDataEnv{"XDG_DATA_HOME", userData.Path().c_str()};
    testsupport::ScopedPreferenceStore prefs;
    testsupport::FakePlatformServices services;
    // Whether a document window was shown when the start-up opened the help
    // page (a page that cannot be opened is reported on that window).
    bool windowShownForHelp = false;
    // A "Critical Error" panel no test expects would block the suite for
    // good: the watchdog fails the test and answers the panel.
    QTimer watchdog;
};

// Made on the first call and kept to the end of the process: the
// preferences and the start-up work are once per process as in the program.
inline ProcessServices& Process()
{
    static ProcessServices* sProcess = [] {
        auto* p = new ProcessServices;
        p->watchdog.setInterval(50);
        QObject::connect(&p->watchdog, &QTimer::timeout, [] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible() || box->windowTitle() != QLatin1String("Critical Error"))
                return;
            ADD_FAILURE() << "Critical Error: " << box->informativeText().toStdString();
            if (!box->buttons().isEmpty())
                box->buttons().first()->click();
        });
        p->watchdog.start();
        p->services.onOpen = [p](const std::string& target) {
            if (target.find("Help/index.html") == std::string::npos)
                return;
            p->windowShownForHelp = false;
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (qobject_cast<NuvaroWindowController*>(widget) != nullptr && widget->isVisible())
                    p->windowShownForHelp = true;
        };
        QApplication::setQuitOnLastWindowClosed(false);
        InstallQtMainThreadDispatcher();
        QtIconImages::Install();
        return p;
    }();
    return *sProcess;
}

inline std::string ShippedFile(const char* name)
{
    return testsupport::SampleDataDir() + "xprs/" + name;
}

// Waits for a modal widget of the type; null after ms.
template <class D>
D* WaitForModal(int ms = 30000)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
    {
        if (auto* d = qobject_cast<D*>(QApplication::activeModalWidget()); d && d->isVisible())
            return d;
        QTest::qWait(10);
    }
    return nullptr;
}

using testsupport::SaveScreenshot;

class ShellFixture : public testing::Test
{
protected:
    void SetUp() override
    {
        Process();
        Process().services.alerts.clear();
        controller = std::make_unique<NuvaroAppController>();
    }

    void TearDown() override
    {
        if (doc)
            CloseWindow();
        controller.reset();
    }

    // Makes the document and shows its window with the files opened.
    void Launch(const QStringList& files = {})
    {
        ASSERT_EQ(0, controller->start(files));
        doc = controller->currentDocument();
        ASSERT_NE(nullptr, doc);
        window = doc->window();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        view = window->sceneView();
    }

    // Closes the window as the user does; the document goes away.
    void CloseWindow()
    {
        QPointer<NuvaroDoc> watched(doc.data());
        window->close();
        EXPECT_TRUE(QTest::qWaitFor([&] { return watched.isNull(); }, 30000));
        doc = nullptr;
        window = nullptr;
        view = nullptr;
    }

    BrainExpressionModel* Model() { return doc->expressionModel(); }

    std::unique_ptr<NuvaroAppController> controller;
    QPointer<NuvaroDoc> doc;
    NuvaroWindowController* window = nullptr;
    GLView* view = nullptr;
};
} // namespace shelltest

#endif
