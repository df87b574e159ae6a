#ifndef NUVARO_QT_SHELL_NUVAROAPPCONTROLLER_H
#define NUVARO_QT_SHELL_NUVAROAPPCONTROLLER_H

#include "shell/OpenFailures.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <vector>

class FileMenu;
class NuvaroDoc;

// The application's controller: makes the one document and routes every file
// the user or the desktop asks to open into it, so that the application
// keeps a single document window.
class NuvaroAppController : public QObject
{
    Q_OBJECT
public:
    explicit NuvaroAppController(QObject* parent = nullptr);
    ~NuvaroAppController() override;

    // Makes the document and its window, reads the files into it and shows
    // the window; the files that could not be read are told in one alert on
    // it. 0 to run the event loop, else the status to exit with.
    int start(const QStringList& files);

    // The document whose window is key, else the open one; null when none.
    NuvaroDoc* currentDocument() const;
    // The desktop's request to open a file: read into the current (or else
    // the open) document; noted as recent when read. False when there is no
    // document or the read failed.
    bool openFile(const QString& path);
    // Files a later launch handed over: the window (a new one when it was
    // closed) comes forward and each
    // file is opened as openFile opens it, the first
    // OpenRequest::kMaxHandedOverFiles only; those not opened are told in
    // one alert. A launch without files only brings the window forward.
    void openHandedOverFiles(const QStringList& files);
    // Open and Open Recent: as openFile, but the file is noted as recent
    // whatever the read gives. With no document a new one is made for the
    // file (shown when display is true). Returns the document.
    NuvaroDoc* openDocumentWithContentsOfFile(const QString& path, bool display);
    // Makes a document with its window (not shown); null after a failure
    // (told to the user); status gets the exit status for start-up failures.
    NuvaroDoc* makeDocument(int* status = nullptr);

signals:
    // The recent files changed.
    void recentDocumentsChanged();
    // A document's scene drew its first frame.
    void firstSceneFrameDrawn();

private:
    // Reads the files into the current document, noting each one read as
    // recent; the failures are told in one alert together with those in
    // notOpened. The number of files read (none without a document).
    int openFiles(const QStringList& files, std::vector<OpenFailure> notOpened = {});

    QPointer<NuvaroDoc> m_document;
};

#endif
