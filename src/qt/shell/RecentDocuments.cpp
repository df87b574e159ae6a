#include "shell/RecentDocuments.h"

#include "model/UserPreferences.h"

#include <QFileInfo>

namespace
{
constexpr const char* kListKey = "RecentDocuments";
constexpr const char* kLimitKey = "NSRecentDocumentsLimit";
constexpr int kDefaultLimit = 10;

UserDefaults& Defaults()
{
    return UserPreferences::GetPreferences()->GetDefaults();
}

void Store(const QStringList& files)
{
    Defaults().SetString(kListKey, files.join(QLatin1Char('\n')).toStdString());
}
} // namespace

namespace RecentDocuments
{
int limit()
{
    if (!Defaults().HasValue(kLimitKey))
        return kDefaultLimit;
    const int n = Defaults().GetInt(kLimitKey);
    return n < 0 ? 0 : n;
}

QStringList list()
{
    QStringList files =
        QString::fromStdString(Defaults().GetString(kListKey)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    while (files.size() > limit())
        files.removeLast();
    return files;
}

void add(const QString& path)
{
    const QString file = QFileInfo(path).absoluteFilePath();
    QStringList files = list();
    files.removeAll(file);
    files.prepend(file);
    while (files.size() > limit())
        files.removeLast();
    Store(files);
}

void clear()
{
    Store({});
}
} // namespace RecentDocuments
