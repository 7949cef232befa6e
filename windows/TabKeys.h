#pragma once

#include <QObject>

class QPlainTextEdit;

// The Tab keys of a multi-line box that sits in a window's tab order: Tab and
// Shift+Tab move the focus on to the next or the previous control, as they
// do from every other control, and Ctrl+Tab types the tab character.
class TabKeys final : public QObject
{
public:
    // Gives box these keys for its whole life.
    static void Pass(QPlainTextEdit *box);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using QObject::QObject;
};
