#include "QtDocumentViewer.h"

#include "Failure.h"
#include "MessageBox.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>

void QtDocumentViewer::Show(const QString &path)
{
    if (!QFileInfo(path).isFile())
        throw FileFailure(QStringLiteral("Cannot open %1: there is no such file").arg(path));
    const QUrl url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    if (QDesktopServices::openUrl(url))
        return;
    auto *browser = new QTextBrowser;
    browser->setAttribute(Qt::WA_DeleteOnClose);
    browser->setObjectName(QStringLiteral("HelpBrowser"));
    browser->setWindowTitle(QStringLiteral("%1 Help").arg(QLatin1String(kAppTitle)));
    browser->setOpenExternalLinks(true);
    browser->setSource(url);
    browser->resize(860, 640);
    browser->show();
}
