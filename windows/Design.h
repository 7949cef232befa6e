#pragma once

#include <QFont>
#include <QString>
#include <QWidget>

#include <algorithm>

// How the auxiliary windows turn their design into widgets: places and sizes
// are designed in twips (15 twips are one pixel at 96 dpi), the windows use
// the narrow 8.25 point face the main window uses, and no caption is clipped.
namespace Design {

constexpr int Px(int twips)
{
    return (twips + 7) / 15;
}

// A child widget called name at a designed place (left, top, width, height).
template <typename W>
W *Place(QWidget *parent, const char *name, int left, int top, int width, int height)
{
    auto *widget = new W(parent);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(Px(left), Px(top), Px(width), Px(height));
    return widget;
}

// The window's font: the semi-condensed face of the platform's font at 8.25
// points comes closest to the widths the windows were designed for.
inline void UseDesignFont(QWidget *window)
{
    QFont font = window->font();
    font.setPointSizeF(8.25);
    font.setStretch(QFont::SemiCondensed);
    window->setFont(font);
}

// A fixed-size window with the designed client area, a title and a close box.
inline void FixClientArea(QWidget *window, int widthTwips, int heightTwips)
{
    window->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    window->setFixedSize(Px(widthTwips), Px(heightTwips));
}

// A caption (label, option or check box) is never clipped: one whose text
// needs more than its designed width grows to the right, as far as its parent
// allows, and goes back to the designed width when the text is short again.
inline void FitCaption(QWidget *widget, int designedWidth)
{
    const int room = widget->parentWidget()->width() - widget->x() - 1;
    const int width = std::max(designedWidth, std::min(widget->sizeHint().width(), room));
    if (width != widget->width())
        widget->resize(width, widget->height());
}

} // namespace Design
