#pragma once

#include <QAbstractButton>
#include <QWidget>

#include <gtest/gtest.h>

// A window's control by its name; the test fails when there is none.
template <typename W = QWidget>
W *Control(const QWidget *window, const char *name)
{
    W *widget = window->findChild<W *>(QLatin1String(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

inline void Click(const QWidget *window, const char *button)
{
    Control<QAbstractButton>(window, button)->click();
}
