#pragma once

#include <QApplication>

// The program's application object. Every failure has a handler of its own;
// one that escapes all the same must neither pass through Qt, which cannot
// carry it, nor end the program through std::terminate. It is reported (on
// standard error, and in a message box when there is a window) and the
// program ends with status 1, as a run that did not complete.
class GuardedApplication final : public QApplication
{
public:
    GuardedApplication(int &argc, char **argv, bool headless)
        : QApplication(argc, argv), headless_(headless)
    {
        // Desktops match the windows to the installed desktop entry by it.
        setDesktopFileName(QStringLiteral("kvr-bulkrun"));
    }

    bool notify(QObject *receiver, QEvent *event) override;

    // Reports a failure that no handler took; the status to end with.
    static int Unhandled(const char *what, bool window);

private:
    bool headless_;
};
