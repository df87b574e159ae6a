#ifndef NUVARO_QT_SHELL_RECENTDOCUMENTS_H
#define NUVARO_QT_SHELL_RECENTDOCUMENTS_H

#include <QStringList>

// The recently opened files, most recent first, kept in the preferences and
// capped by "NSRecentDocumentsLimit" (10 when unset).
namespace RecentDocuments
{
QStringList list();
// Moves the file (made absolute) to the front.
void add(const QString& path);
void clear();
int limit();
} // namespace RecentDocuments

#endif
