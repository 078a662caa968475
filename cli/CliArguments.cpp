#include "cli/CliArguments.h"

#include "tables/Error.h"
#include "tables/Regional.h"
#include "tables/Session.h"

#include <QLocale>

namespace quillora::cli {

CliArguments::CliArguments(const QStringList& args, const QStringList& valueOptions, const QStringList& flags)
{
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (optionsEnded || !a.startsWith(QLatin1String("--")) || a == QLatin1String("-")) {
            positional_.append(a);
            continue;
        }
        if (a == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        QString name = a.mid(2);
        QString value;
        bool inlineValue = false;
        const qsizetype eq = name.indexOf(QLatin1Char('='));
        if (eq >= 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
            inlineValue = true;
        }
        if (flags.contains(name)) {
            if (inlineValue)
                throw UsageError{QStringLiteral("a opção --%1 não leva valor").arg(name)};
            values_[name].append(QString());
        } else if (valueOptions.contains(name)) {
            if (!inlineValue) {
                if (i + 1 >= args.size())
                    throw UsageError{QStringLiteral("falta o valor da opção --%1").arg(name)};
                value = args[++i];
            }
            values_[name].append(value);
        } else {
            throw UsageError{QStringLiteral("opção desconhecida: --%1").arg(name)};
        }
    }
}

QString CliArguments::value(const QString& name, const QString& fallback) const
{
    const QStringList v = values_.value(name);
    return v.isEmpty() ? fallback : v.last();
}

void CliArguments::applyCommonOptions() const
{
    if (has(QStringLiteral("locale"))) {
        const QLocale locale(value(QStringLiteral("locale")));
        if (locale.language() == QLocale::C && value(QStringLiteral("locale")) != QLatin1String("C"))
            throw UsageError{QStringLiteral("localidade desconhecida: %1").arg(value(QStringLiteral("locale")))};
        Regional::setCurrent(locale);
    }
    for (const QString& p : values(QStringLiteral("password")))
        Session::addPassword(p);
    // Nobody can be asked: a protected table that none of the passwords given opens fails,
    // saying whether they were wrong or none was given.
    Session::setPasswordPrompt([](const QString& table, bool, QString*) -> bool {
        if (!Session::knownPasswords().isEmpty())
            throw FileError(QStringLiteral("Senha incorreta para a tabela %1").arg(table));
        throw FileError(
            QStringLiteral("A tabela %1 é protegida por senha; informe a senha com --password").arg(table));
    });
}

}  // namespace quillora::cli
