#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// Root of the program's exceptions: every failure carries a message meant for the user, and the
// application's error handler shows exactly that message.
class Exception : public std::exception
{
public:
    explicit Exception(QString message) : FMessage(std::move(message)), FUtf8(FMessage.toUtf8()) {}

    const QString &Message() const noexcept { return FMessage; }
    const char *what() const noexcept override { return FUtf8.constData(); }

private:
    QString FMessage;
    QByteArray FUtf8;
};

// A value could not be turned into the type asked for ("'12a' is not a valid integer value").
class EConvertError : public Exception
{
public:
    using Exception::Exception;
};

// An operation on a variant that its type does not allow (comparing unassigned values, reading a
// string as an array).
class EVariantError : public Exception
{
public:
    using Exception::Exception;
};

// The silent exception: it unwinds an operation that the user (or a handler on the user's behalf)
// has already dealt with, and the application's error handler shows nothing for it.
class EAbort : public Exception
{
public:
    EAbort() : Exception(QStringLiteral("Operation aborted")) {}
};
