#include "TabKeys.h"

#include <QKeyEvent>
#include <QPlainTextEdit>

void TabKeys::Pass(QPlainTextEdit *box)
{
    box->setTabChangesFocus(true);
    box->installEventFilter(new TabKeys(box));
}

// Qt types no character for a key pressed with Ctrl, so the tab is put in here.
bool TabKeys::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    auto *box = static_cast<QPlainTextEdit *>(watched);
    if (key->key() != Qt::Key_Tab || key->modifiers() != Qt::ControlModifier || box->isReadOnly())
        return false;
    box->insertPlainText(QStringLiteral("\t"));
    return true;
}
