#include "QtFilePicker.h"

#include <QApplication>
#include <QFileDialog>

QString QtFilePicker::GetOpenFileName(const QString &title, const QString &filter)
{
    return QFileDialog::getOpenFileName(QApplication::activeWindow(), title, QString(), filter);
}
