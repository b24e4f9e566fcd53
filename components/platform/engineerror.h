#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// An error of the engine: a failing XML or table operation, or a text that is not a number.
// It carries a message in Spanish that a person can act on; the caller decides how to show it.
class EngineError : public std::exception {
public:
    explicit EngineError(QString message)
        : m_message(std::move(message)), m_utf8(m_message.toUtf8())
    {
    }

    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};
