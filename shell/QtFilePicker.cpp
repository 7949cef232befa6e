#include "QtFilePicker.h"

#include <QApplication>
#include <QFileDialog>

QString QtFilePicker::GetOpenFileName(const QString &title, const QString &filter, const QString &at)
{
    return QFileDialog::getOpenFileName(QApplication::activeWindow(), title, at, filter);
}
