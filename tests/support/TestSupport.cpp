#include "tests/support/TestSupport.h"

#include "tables/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace quillora::test {

QString samplesDir()
{
    const QString dir = QStringLiteral(QUILLORA_SAMPLES_DIR);
    return QFileInfo(dir).isDir() ? dir : QString();
}

QString sample(const QString& relativePath)
{
    return samplesDir() + QLatin1Char('/') + relativePath;
}

QString copyInto(const QString& dir, const QStringList& files)
{
    QString firstCopy;
    for (const QString& f : files) {
        const QString target = dir + QLatin1Char('/') + QFileInfo(f).fileName();
        QFile::remove(target);
        if (!QFile::copy(f, target))
            ADD_FAILURE() << "cannot copy " << f.toStdString();
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        if (firstCopy.isEmpty())
            firstCopy = target;
    }
    return firstCopy;
}

int runProgram(const QString& program, const QStringList& args, QString* out, QString* err,
               const QByteArray& input, int timeoutMs)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return -1;
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    if (out)
        *out = QString::fromUtf8(p.readAllStandardOutput());
    if (err)
        *err = QString::fromUtf8(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool haveProgram(const QString& program)
{
    return !QStandardPaths::findExecutable(program).isEmpty();
}

QString errorText(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Error& e) {
        return e.text();
    }
    return QStringLiteral("<no error>");
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        ADD_FAILURE() << "cannot write " << path.toStdString();
    f.write(bytes);
}

}  // namespace quillora::test
