// The sample tables in samples/: what a new user sees in them, that the generator writes the
// same bytes again, and that each mapping list carries the customers into the destination.
#include "tables/Table.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

using namespace quillora;
using namespace quillora::test;

namespace {

const QString samplesRoot = QStringLiteral(QUILLORA_SOURCE_DIR "/samples");

struct Pair {
    const char* format;       // folder under samples/
    const char* source;       // source table file
    const char* destination;  // destination table file
    const char* map;          // mapping list
};
const Pair pairs[] = {
    {"dbase", "clientes.dbf", "cadastro.dbf", "dbase.map"},
    {"paradox", "clientes.db", "cadastro.db", "paradox.map"},
};

QList<QStringList> rows(const QString& path)
{
    Table t(QStringLiteral("Table1"));
    t.Bind(path);
    t.Open();
    QList<QStringList> out;
    for (t.First(); !t.Eof(); t.Next()) {
        QStringList row;
        for (int i = 0; i < t.FieldCount(); ++i)
            row << t.Fields(i)->AsString();
        out << row;
    }
    t.Close();
    return out;
}

QStringList fieldNames(const QString& path)
{
    Table t(QStringLiteral("Table2"));
    t.Bind(path);
    t.Open();
    QStringList names;
    for (int i = 0; i < t.FieldCount(); ++i)
        names << t.Fields(i)->FieldName();
    t.Close();
    return names;
}

// Every file of samples/ but the generator's own sources.
QStringList sampleFiles(const QString& root)
{
    QStringList files;
    for (const QString& sub : {QStringLiteral("."), QStringLiteral("dbase"), QStringLiteral("paradox")}) {
        QDir d(root + QLatin1Char('/') + sub);
        for (const QFileInfo& fi : d.entryInfoList(QDir::Files, QDir::Name)) {
            if (fi.suffix() == QLatin1String("cpp") || fi.fileName() == QLatin1String("CMakeLists.txt"))
                continue;
            files << QDir(root).relativeFilePath(fi.filePath());
        }
    }
    return files;
}

const QList<QStringList> customers = {
    {"0001", "João da Silva", "São Paulo", "14/03/1975", "1250,5", "Verdadeiro",
     "Cliente desde 1998. Prefere contato por telefone."},
    {"0002", "Maria da Conceição", "Belém", "02/11/1982", "89,9", "Verdadeiro",
     "Pagamento sempre em dia.\r\nEndereço novo: Av. Nazaré, 120."},
    {"0003", "José Antônio Araújo", "Goiânia", "30/07/1960", "0", "Falso", ""},
    {"0004", "Ana Lúcia Gonçalves", "Florianópolis", "09/01/1991", "450", "Verdadeiro",
     "Pediu orçamento em março; retornar à ligação."},
    {"0005", "Sebastião Magalhães", "Maceió", "25/12/1948", "-15,2", "Verdadeiro",
     "Saldo devedor: não conceder crédito."},
    {"0006", "Inês Câmara Brandão", "Ribeirão Preto", "17/05/2001", "3000", "Falso",
     "Ex-cliente; cadastro mantido para histórico."},
    {"0042", "Luís Gustavo Simões", "Curitiba", "08/08/1988", "99,99", "Verdadeiro",
     "Código 0042 (não confundir com 00421)."},
};

}  // namespace

TEST(Samples, SourcesHoldTheCustomersAndDestinationsAreEmpty)
{
    for (const Pair& p : pairs) {
        SCOPED_TRACE(p.format);
        const QString dir = samplesRoot + QLatin1Char('/') + QLatin1String(p.format) + QLatin1Char('/');
        EXPECT_EQ(fieldNames(dir + QLatin1String(p.source)),
                  QStringList({"CODIGO", "NOME", "CIDADE", "NASCIMENTO", "SALDO", "ATIVO", "OBS"}));
        EXPECT_EQ(rows(dir + QLatin1String(p.source)), customers);
        EXPECT_EQ(fieldNames(dir + QLatin1String(p.destination)),
                  QStringList({"COD_CLI", "SEQ", "NOME_CLI", "MUNICIPIO", "DT_NASC", "VALOR", "SITUACAO",
                               "HISTORICO", "ORIGEM"}));
        EXPECT_TRUE(rows(dir + QLatin1String(p.destination)).isEmpty());
    }
}

TEST(Samples, GeneratorWritesTheSameBytes)
{
    QTemporaryDir out;
    QString err;
    ASSERT_EQ(runProgram(QStringLiteral(QUILLORA_BINARY_DIR "/bin/quillora-samples"), {out.path()}, nullptr, &err), 0)
        << err.toStdString();
    const QStringList committed = sampleFiles(samplesRoot);
    ASSERT_EQ(committed, sampleFiles(out.path()));
    ASSERT_FALSE(committed.isEmpty());
    for (const QString& f : committed) {
        SCOPED_TRACE(f.toStdString());
        EXPECT_EQ(readFile(out.path() + QLatin1Char('/') + f), readFile(samplesRoot + QLatin1Char('/') + f))
            << "samples/ is not what the generator writes: run `cmake --build BUILD --target make_samples`";
    }
}

// What the README's first steps promise: the mapping list of each pair moves every customer,
// and "Adicionar/Atualizar" afterwards finds them by the first line's field instead of adding
// them again.
TEST(Samples, MappingListsCarryTheCustomersThroughTheCli)
{
    for (const Pair& p : pairs) {
        SCOPED_TRACE(p.format);
        QTemporaryDir dir;
        const QString from = samplesRoot + QLatin1Char('/') + QLatin1String(p.format) + QLatin1Char('/');
        QStringList files;
        for (const QFileInfo& fi : QDir(from).entryInfoList(QDir::Files))
            files << fi.filePath();
        copyInto(dir.path(), files);
        const QString dest = dir.path() + QLatin1Char('/') + QLatin1String(p.destination);
        for (const char* operation : {"Adicionar", "Adicionar/Atualizar"}) {
            QString err;
            const int status = runProgram(
                QStringLiteral(QUILLORA_BINARY_DIR "/bin/quillora-cli"),
                {"process", "--source", dir.path() + QLatin1Char('/') + QLatin1String(p.source), "--dest", dest,
                 "--map", samplesRoot + QLatin1Char('/') + QLatin1String(p.map), "--operation",
                 QString::fromLatin1(operation), "--locale", "pt_BR"},
                nullptr, &err);
            ASSERT_EQ(status, 0) << operation << ": " << err.toStdString();
        }
        QList<QStringList> expected;
        int seq = 1;
        for (const QStringList& c : customers)
            expected << QStringList{c[0], QStringLiteral("%1").arg(seq++, 4, 10, QLatin1Char('0')), c[1], c[2], c[3],
                                    c[4], c[5], c[6], "AMOSTRA"};
        EXPECT_EQ(rows(dest), expected);
    }
}
