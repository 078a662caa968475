// Writes the sample tables of samples/ with Quillora's own writer:
//   make_samples OUTPUT_DIR
// For each format, a customer table (clientes) with a few records and an empty destination
// (cadastro) whose fields carry other names, plus the mapping list that pairs them. Running it
// again gives the same bytes, so the files in the repository can be checked against it.
#include "tables/Error.h"
#include "tables/Table.h"
#include "tables/Value.h"
#include "tables/dbase/DbaseFormat.h"
#include "tables/engine/Engine.h"
#include "tables/paradox/ParadoxFormat.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QTextStream>

#include <cstdio>

using namespace quillora;

namespace {

struct Customer {
    const char* code;
    const char* name;
    const char* city;
    QDate birth;
    qint64 cents;  // balance in cents: exact in both formats
    bool active;
    const char* note;  // memo; empty for none
};

// Accented names on purpose: they must survive the code page of each format.
const Customer customers[] = {
    {"0001", "João da Silva", "São Paulo", QDate(1975, 3, 14), 125050, true,
     "Cliente desde 1998. Prefere contato por telefone."},
    {"0002", "Maria da Conceição", "Belém", QDate(1982, 11, 2), 8990, true,
     "Pagamento sempre em dia.\r\nEndereço novo: Av. Nazaré, 120."},
    {"0003", "José Antônio Araújo", "Goiânia", QDate(1960, 7, 30), 0, false, ""},
    {"0004", "Ana Lúcia Gonçalves", "Florianópolis", QDate(1991, 1, 9), 45000, true,
     "Pediu orçamento em março; retornar à ligação."},
    {"0005", "Sebastião Magalhães", "Maceió", QDate(1948, 12, 25), -1520, true, "Saldo devedor: não conceder crédito."},
    {"0006", "Inês Câmara Brandão", "Ribeirão Preto", QDate(2001, 5, 17), 300000, false,
     "Ex-cliente; cadastro mantido para histórico."},
    {"0042", "Luís Gustavo Simões", "Curitiba", QDate(1988, 8, 8), 9999, true, "Código 0042 (não confundir com 00421)."},
};

FieldDef field(const char* name, FieldType type, int size = 0, int decimals = 0)
{
    FieldDef f;
    f.name = QString::fromLatin1(name);
    f.type = type;
    f.size = size;
    f.decimals = decimals;
    return f;
}

// The source: code, name, city, birth date, balance, active, notes.
QList<FieldDef> sourceFields(bool paradox)
{
    return {field("CODIGO", ftString, 4),
            field("NOME", ftString, 40),
            field("CIDADE", ftString, 30),
            field("NASCIMENTO", ftDate),
            paradox ? field("SALDO", ftCurrency) : field("SALDO", ftFloat, 12, 2),
            field("ATIVO", ftBoolean),
            paradox ? field("OBS", ftMemo, 10) : field("OBS", ftMemo)};
}

// The destination: the same data under other names and in another order, a sequence number
// and a fixed-text field.
QList<FieldDef> destinationFields(bool paradox)
{
    return {field("COD_CLI", ftString, 4),
            field("SEQ", ftString, 4),
            field("NOME_CLI", ftString, 40),
            field("MUNICIPIO", ftString, 30),
            field("DT_NASC", ftDate),
            paradox ? field("VALOR", ftCurrency) : field("VALOR", ftFloat, 12, 2),
            field("SITUACAO", ftBoolean),
            paradox ? field("HISTORICO", ftMemo, 10) : field("HISTORICO", ftMemo),
            field("ORIGEM", ftString, 10)};
}

void fill(const QString& path)
{
    Table t(QStringLiteral("Table1"));
    t.Bind(path);
    t.Open();
    for (const Customer& c : customers) {
        t.Append();
        t.FieldByName(QStringLiteral("CODIGO"))->SetValue(Value::text(QString::fromUtf8(c.code)));
        t.FieldByName(QStringLiteral("NOME"))->SetValue(Value::text(QString::fromUtf8(c.name)));
        t.FieldByName(QStringLiteral("CIDADE"))->SetValue(Value::text(QString::fromUtf8(c.city)));
        t.FieldByName(QStringLiteral("NASCIMENTO"))->SetValue(Value::date(c.birth));
        t.FieldByName(QStringLiteral("SALDO"))->SetValue(Value::floating(double(c.cents) / 100.0));
        t.FieldByName(QStringLiteral("ATIVO"))->SetValue(Value::boolean(c.active));
        if (*c.note)
            t.FieldByName(QStringLiteral("OBS"))->SetValue(Value::text(QString::fromUtf8(c.note)));
        t.Post();
    }
    t.Close();
}

// Headers carry the time of the last change; a fixed one keeps the files reproducible.
void overwrite(const QString& path, qint64 offset, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite) || !f.seek(offset) || f.write(bytes) != bytes.size())
        throw Error(QStringLiteral("Não foi possível gravar %1").arg(path));
}
// dBase: the day of the last change, YY MM DD.
void fixDbaseDate(const QString& path)
{
    overwrite(path, 1, QByteArray("\x7e\x01\x0f", 3));  // 2026-01-15
}
// Paradox: the time of the last change in seconds since 1970, little-endian.
void fixParadoxTime(const QString& path)
{
    const quint32 t = 1768435200;  // 2026-01-15 00:00 UTC
    const char bytes[4] = {char(t & 0xFF), char((t >> 8) & 0xFF), char((t >> 16) & 0xFF), char(t >> 24)};
    overwrite(path, 0x60, QByteArray(bytes, 4));
}

void writeMap(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw Error(QStringLiteral("Não foi possível gravar %1").arg(path));
    // The first line's field is the one "Adicionar/Atualizar" and "Copiar" match on.
    f.write("COD_CLI=CODIGO\n"
            "SEQ=@0001\n"
            "NOME_CLI=NOME\n"
            "MUNICIPIO=CIDADE\n"
            "DT_NASC=NASCIMENTO\n"
            "VALOR=SALDO\n"
            "SITUACAO=ATIVO\n"
            "HISTORICO=OBS\n"
            "ORIGEM=#AMOSTRA\n");
}

void removeOld(QDir dir, const QStringList& names)
{
    for (const QString& n : names)
        dir.remove(n);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "uso: make_samples PASTA\n");
        return 2;
    }
    registerBuiltinFormats();
    try {
        QDir out(QString::fromLocal8Bit(argv[1]));
        if (!out.mkpath(QStringLiteral("dbase")) || !out.mkpath(QStringLiteral("paradox")))
            throw Error(QStringLiteral("Não foi possível criar as pastas em %1").arg(out.path()));

        QDir dbase(out.filePath(QStringLiteral("dbase")));
        removeOld(dbase, {QStringLiteral("clientes.dbf"), QStringLiteral("clientes.dbt"), QStringLiteral("cadastro.dbf"),
                          QStringLiteral("cadastro.dbt")});
        // Windows ANSI (1252): the code page dBase programs on Windows wrote by default.
        createDbaseTable(dbase.filePath(QStringLiteral("clientes.dbf")), sourceFields(false), DbaseLevel::III,
                         QStringLiteral("windows-1252"));
        fill(dbase.filePath(QStringLiteral("clientes.dbf")));
        createDbaseTable(dbase.filePath(QStringLiteral("cadastro.dbf")), destinationFields(false), DbaseLevel::III,
                         QStringLiteral("windows-1252"));
        fixDbaseDate(dbase.filePath(QStringLiteral("clientes.dbf")));
        fixDbaseDate(dbase.filePath(QStringLiteral("cadastro.dbf")));
        writeMap(out.filePath(QStringLiteral("dbase.map")));

        QDir paradox(out.filePath(QStringLiteral("paradox")));
        removeOld(paradox, {QStringLiteral("clientes.db"), QStringLiteral("clientes.mb"), QStringLiteral("cadastro.db"),
                            QStringLiteral("cadastro.mb")});
        // Paradox 7 with the Windows ANSI sort order, as Paradox for Windows made them.
        const ParadoxCreateOptions options(7, 0, QStringLiteral("ANSIINTL"));
        createParadoxTable(paradox.filePath(QStringLiteral("clientes.db")), sourceFields(true), options);
        fill(paradox.filePath(QStringLiteral("clientes.db")));
        createParadoxTable(paradox.filePath(QStringLiteral("cadastro.db")), destinationFields(true), options);
        fixParadoxTime(paradox.filePath(QStringLiteral("clientes.db")));
        fixParadoxTime(paradox.filePath(QStringLiteral("cadastro.db")));
        writeMap(out.filePath(QStringLiteral("paradox.map")));
    } catch (const Error& e) {
        std::fprintf(stderr, "make_samples: %s\n", e.text().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
