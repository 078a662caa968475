#pragma once

#include <QString>
#include <QTemporaryDir>

#include <functional>

#include <gtest/gtest.h>

namespace quillora::test {

// The folder of real table files made by other programs, beside the project; empty when absent.
QString samplesDir();
// Skips the current test with a message when the sample folder is absent.
#define QUILLORA_REQUIRE_SAMPLES()                                                                 \
    do {                                                                                           \
        if (::quillora::test::samplesDir().isEmpty())                                              \
            GTEST_SKIP() << "../shared/samples is not beside the project; sample tests skipped";   \
    } while (0)

QString sample(const QString& relativePath);  // samplesDir() + "/" + relativePath

// Copies files into dir (keeping their names); returns the copy of the first.
QString copyInto(const QString& dir, const QStringList& files);

// Runs a program, returns its exit code (-1 when it cannot start); output collected.
int runProgram(const QString& program, const QStringList& args, QString* out = nullptr,
               QString* err = nullptr, const QByteArray& input = {}, int timeoutMs = 120000);
// True when a program is found on PATH.
bool haveProgram(const QString& program);

// The text of the quillora::Error that f throws, or "<no error>".
QString errorText(const std::function<void()>& f);

QByteArray readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& bytes);

}  // namespace quillora::test

// Readable QString values in assertion messages.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}
