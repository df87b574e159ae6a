#include "shell/NuvaroAppController.h"

#include "shell/AnatomicSearchController.h"
#include "shell/DialogWindow.h"
#include "shell/FileMenu.h"
#include "shell/WindowCommands.h"
#include "shell/NuvaroDoc.h"
#include "shell/NuvaroWindowController.h"
#include "shell/OpenRequest.h"
#include "shell/RecentDocuments.h"
#include "utility/AlertBox.h"

#include <QMenuBar>
#include <QTimer>

#include <algorithm>
#include <iterator>
#include <string>

NuvaroAppController::NuvaroAppController(QObject* parent) : QObject(parent)
{
    // Anatomic searches go to the current document, else to one made as
    // File > New makes it.
    QPointer<NuvaroAppController> self(this);
    AnatomicSearchController::sharedController()->setDocuments(
        [self]() -> AnatomicSearchTarget* { return self ? self->currentDocument() : nullptr; },
        [self]() -> AnatomicSearchTarget* {
            NuvaroDoc* doc = self ? self->makeDocument() : nullptr;
            if (doc)
                doc->window()->show();
            return doc;
        });
}

NuvaroAppController::~NuvaroAppController()
{
    delete m_document.data();
}

NuvaroDoc* NuvaroAppController::makeDocument(int* status)
{
    if (status)
        *status = 0;
    const int startup = NuvaroDoc::runStartupWork();
    if (startup != 0)
    {
        if (status)
            *status = startup;
        return nullptr;
    }
    NuvaroDoc* doc = NuvaroDoc::create();
    if (!doc)
    {
        if (status)
            *status = 1;
        return nullptr;
    }
    m_document = doc;
    connect(doc, &NuvaroDoc::firstFrameDrawn, this, &NuvaroAppController::firstSceneFrameDrawn);
    doc->makeWindowControllers();
    auto* fileMenu = new FileMenu(this, doc->window());
    if (doc->commands())
        doc->commands()->addMenus(fileMenu->menu(), fileMenu->closeWindowAction());
    return doc;
}

int NuvaroAppController::start(const QStringList& files)
{
    int status = 0;
    NuvaroDoc* doc = makeDocument(&status);
    if (!doc)
        return status;
    doc->window()->show();
    // Alerts of the window's making (an unreadable bookmarks file, say) were
    // shown before it: it is now above them.
    QTimer::singleShot(0, doc->window(), [window = doc->window()] { BringOpenDialogsForward(window); });
    openFiles(files);
    return 0;
}

NuvaroDoc* NuvaroAppController::currentDocument() const
{
    NuvaroDoc* key = NuvaroDoc::currentDocument();
    return key ? key : m_document.data();
}

bool NuvaroAppController::openFile(const QString& path)
{
    return openFiles({path}) == 1;
}

void NuvaroAppController::openHandedOverFiles(const QStringList& files)
{
    // The window was closed while another (a search, the preferences)
    // keeps the application: the launch was told its files are taken, so a
    // new window takes them.
    NuvaroDoc* doc = currentDocument();
    if (!doc)
        doc = makeDocument();
    if (doc)
    {
        QWidget* window = doc->window();
        if (window->isMinimized())
            window->showNormal();
        window->show();
        window->raise();
        window->activateWindow();
        BringOpenDialogsForward(window);
    }
    // Each file read keeps the main thread and takes memory: one launch
    // gets only so much of them.
    const qsizetype opened = std::min<qsizetype>(files.size(), OpenRequest::kMaxHandedOverFiles);
    std::vector<OpenFailure> notOpened;
    for (qsizetype i = opened; i < files.size(); ++i)
        notOpened.push_back({files[i].toUtf8().toStdString(),
                             "Not opened: one launch hands over at most " +
                                 std::to_string(OpenRequest::kMaxHandedOverFiles) + " files."});
    openFiles(files.mid(0, opened), std::move(notOpened));
}

int NuvaroAppController::openFiles(const QStringList& files, std::vector<OpenFailure> notOpened)
{
    NuvaroDoc* doc = currentDocument();
    if (!doc)
        return 0;
    int read = 0;
    std::vector<OpenFailure> failures;
    for (const QString& file : files)
    {
        std::string reason;
        if (doc->readFromFile(file, reason))
        {
            ++read;
            RecentDocuments::add(file);
            emit recentDocumentsChanged();
        }
        else
            failures.push_back({file.toUtf8().toStdString(), reason});
    }
    failures.insert(failures.end(), std::make_move_iterator(notOpened.begin()),
                    std::make_move_iterator(notOpened.end()));
    if (!failures.empty())
        ShowAlertBox(OpenFailures::Text(failures));
    return read;
}

NuvaroDoc* NuvaroAppController::openDocumentWithContentsOfFile(const QString& path, bool display)
{
    NuvaroDoc* doc = currentDocument();
    if (!doc)
    {
        doc = makeDocument();
        if (!doc)
            return nullptr;
        if (display)
            doc->window()->show();
    }
    doc->readFromFile(path);
    RecentDocuments::add(path);
    emit recentDocumentsChanged();
    return doc;
}
