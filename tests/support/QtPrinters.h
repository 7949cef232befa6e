#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <ostream>

// Lets GoogleTest print Qt values readably in failure messages.
inline void PrintTo(const QString &value, std::ostream *os)
{
    *os << '"' << value.toStdString() << '"';
}

inline void PrintTo(const QStringList &values, std::ostream *os)
{
    *os << '{';
    for (qsizetype i = 0; i < values.size(); ++i)
        *os << (i ? ", " : "") << '"' << values[i].toStdString() << '"';
    *os << '}';
}

inline void PrintTo(const QByteArray &value, std::ostream *os)
{
    *os << '"' << value.toStdString() << '"';
}
