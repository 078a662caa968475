#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace quillora::cli {

// Thrown for bad usage: the command exits with status 2 after printing the text and a usage line.
struct UsageError {
    QString text;
};

// The arguments of one subcommand: options ("--name value", "--name=value", flags) and the
// positional arguments, checked against the options the subcommand takes.
class CliArguments {
public:
    // valueOptions: options that take a value (repeatable ones keep every value);
    // flags: options without a value.
    CliArguments(const QStringList& args, const QStringList& valueOptions, const QStringList& flags);

    bool has(const QString& name) const { return values_.contains(name); }
    QString value(const QString& name, const QString& fallback = {}) const;
    QStringList values(const QString& name) const { return values_.value(name); }
    const QStringList& positional() const { return positional_; }

    // Applies the common options every subcommand takes: --locale and --password. A protected
    // table none of the passwords opens fails with "Senha incorreta para a tabela ..." when
    // some were given, else with a message that it needs --password.
    void applyCommonOptions() const;

private:
    QHash<QString, QStringList> values_;
    QStringList positional_;
};

}  // namespace quillora::cli
