#pragma once

#include <QString>

#include <stdexcept>

// The one family of errors of this program. A Failure interrupts the step
// that raised it and travels to the handler that the procedure's policy names:
// the record update's error path, a run's skip rule, or the caller.
class Failure : public std::runtime_error
{
public:
    explicit Failure(const QString &message)
        : std::runtime_error(message.toStdString())
    {
    }

    QString message() const { return QString::fromUtf8(what()); }
};

// A file or folder could not be created, opened, read or written.
class FileFailure : public Failure
{
public:
    using Failure::Failure;
};

// The card store refused an operation (bad criteria, unknown field, a value
// the field cannot hold, a locked or unreadable database).
class StoreFailure : public Failure
{
public:
    using Failure::Failure;
};

// A 16-bit counter was stepped beyond -32,768..32,767, or a text that had to
// be a whole number was not one.
class OverflowFailure : public Failure
{
public:
    using Failure::Failure;
};
