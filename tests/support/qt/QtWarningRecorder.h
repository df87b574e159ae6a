#ifndef NUVARO_TESTS_SUPPORT_QT_QTWARNINGRECORDER_H
#define NUVARO_TESTS_SUPPORT_QT_QTWARNINGRECORDER_H

// Collects the warnings (and worse) that Qt reports while it lives, so that a
// test can require a quiet run. Every message still reaches the handler that
// was installed before, so the output shows it too. One recorder at a time,
// on the main thread; messages from other threads are collected as well.
#include <QtGlobal>
#include <QString>

#include <cstdio>

#include <mutex>
#include <string>
#include <vector>

namespace testsupport
{
class QtWarningRecorder
{
public:
    QtWarningRecorder()
    {
        s_current = this;
        m_previous = qInstallMessageHandler(&QtWarningRecorder::Handle);
    }
    ~QtWarningRecorder()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    QtWarningRecorder(const QtWarningRecorder&) = delete;
    QtWarningRecorder& operator=(const QtWarningRecorder&) = delete;

    // The messages collected since the last call.
    std::vector<std::string> Take()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<std::string> taken;
        taken.swap(m_messages);
        return taken;
    }

private:
    static void Handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        QtWarningRecorder* self = s_current;
        if (self == nullptr)
            return;
        if (type != QtDebugMsg && type != QtInfoMsg)
        {
            std::lock_guard<std::mutex> lock(self->m_mutex);
            self->m_messages.push_back(message.toStdString());
        }
        if (self->m_previous != nullptr)
            self->m_previous(type, context, message);
        else
            std::fprintf(stderr, "%s\n", qPrintable(message));
    }

    static inline QtWarningRecorder* s_current = nullptr;
    QtMessageHandler m_previous = nullptr;
    std::mutex m_mutex;
    std::vector<std::string> m_messages;
};
} // namespace testsupport

#endif
