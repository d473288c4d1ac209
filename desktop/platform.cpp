#include "desktop/platform.h"

#include <QUrl>

namespace kvillo {

void Platform::openLink(const QString &url)
{
    if (!openUrl(url))
        showError(linkFailure(url));
}

// A mail link names its address; a web link is shown whole.
QString Platform::linkFailure(const QString &url)
{
    const QString mailto = QStringLiteral("mailto:");
    if (url.startsWith(mailto, Qt::CaseInsensitive))
        return QStringLiteral("Не удалось создать письмо на адрес «%1»: не найдена почтовая программа.")
            .arg(QUrl::fromPercentEncoding(url.mid(mailto.size()).toUtf8()));
    return QStringLiteral("Не удалось открыть ссылку «%1»: не найдена программа для просмотра веб-страниц.").arg(url);
}

} // namespace kvillo
