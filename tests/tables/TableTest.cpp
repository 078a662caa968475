#include "tables/Error.h"
#include "tables/Regional.h"
#include "tables/Table.h"
#include "tests/tables/MemoryTableFile.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

using namespace quillora;
using quillora::test::errorText;
using quillora::test::MemoryTableData;
using quillora::test::MemoryTableFile;

namespace {

class TableRules : public ::testing::Test {
protected:
    void SetUp() override
    {
        MemoryTableFile::registerMemoryFormat();
        path = dir.path() + QStringLiteral("/clientes.mem");
        data = MemoryTableFile::store(path, {FieldDef{QStringLiteral("NOME"), ftString, 10},
                                             FieldDef{QStringLiteral("IDADE"), ftInteger, 0}});
        table.Bind(path);
    }
    void fill(std::initializer_list<const char*> names)
    {
        for (const char* n : names)
            data->records.emplace_back(QList<Value>{Value::text(QString::fromUtf8(n)), Value()});
    }
    QStringList names()
    {
        QStringList out;
        for (const auto& r : data->records)
            out << (r ? (*r)[0].asText() : QStringLiteral("<apagado>"));
        return out;
    }

    QTemporaryDir dir;
    QString path;
    std::shared_ptr<MemoryTableData> data;
    Table table{QStringLiteral("Table1")};
};

}  // namespace

TEST_F(TableRules, BindingSplitsDirectoryAndNameAndNeedsAClosedTable)
{
    Table t(QStringLiteral("Table2"));
    t.Bind(QStringLiteral("C:\\dados\\clientes.dbf"));
    EXPECT_EQ(t.DatabaseName(), QStringLiteral("C:\\dados\\"));
    EXPECT_EQ(t.TableName(), QStringLiteral("clientes.dbf"));
    t.Bind(QStringLiteral("solto.db"));
    EXPECT_EQ(t.DatabaseName(), QString());
    EXPECT_TRUE(errorText([&] { t.Open(); }).contains(QStringLiteral("solto.db")));
    Table empty(QStringLiteral("Table2"));
    EXPECT_EQ(errorText([&] { empty.Open(); }), QStringLiteral("Table2: Propriedade TableName faltando"));
    table.Open();
    EXPECT_EQ(errorText([&] { table.Bind(path); }),
              QStringLiteral("Table1: Não é possível realizar esta operação em um dataset aberto"));
}

TEST_F(TableRules, WalkSetsEofAfterTheLastRecordAndCountsVisibleOnes)
{
    fill({"Ana", "Bruno", "Carla"});
    data->records[1].reset();
    table.Open();
    table.Open();  // a second Open does nothing
    EXPECT_EQ(table.RecordCount(), 2);
    QStringList seen;
    for (table.First(); !table.Eof(); table.Next())
        seen << table.FieldByName(QStringLiteral("nome"))->AsString();
    EXPECT_EQ(seen, (QStringList{QStringLiteral("Ana"), QStringLiteral("Carla")}));
    EXPECT_EQ(table.FieldByName(QStringLiteral("NOME"))->AsString(), QStringLiteral("Carla"));
    table.Prior();
    EXPECT_EQ(table.FieldByName(QStringLiteral("NOME"))->AsString(), QStringLiteral("Ana"));
    table.Prior();
    EXPECT_TRUE(table.Bof());
    EXPECT_EQ(errorText([&] { table.FieldByName(QStringLiteral("CIDADE")); }),
              QStringLiteral("Table1: Campo CIDADE não encontrado"));
}

TEST_F(TableRules, EmptyTableIsAtBothEnds)
{
    table.Open();
    EXPECT_TRUE(table.Eof());
    EXPECT_TRUE(table.Bof());
    EXPECT_EQ(table.RecordCount(), 0);
    EXPECT_EQ(errorText([&] { table.Delete(); }),
              QStringLiteral("Table1: Não é possível realizar esta operação em um arquivo vazio"));
    EXPECT_TRUE(table.FieldByName(QStringLiteral("NOME"))->Value().isNull());
}

TEST_F(TableRules, MoveStoresAChangedPendingRecordAndDiscardsAnUnchangedOne)
{
    fill({"Ana", "Bruno"});
    table.Open();
    table.Edit();
    table.FieldByName(QStringLiteral("NOME"))->SetAsString(QStringLiteral("Alice"));
    table.Next();
    EXPECT_EQ(names(), (QStringList{QStringLiteral("Alice"), QStringLiteral("Bruno")}));

    table.Append();  // unchanged new record: a move discards it
    table.First();
    EXPECT_EQ(data->records.size(), 2u);

    table.Append();
    table.FieldByName(QStringLiteral("NOME"))->SetValue(Value::text(QStringLiteral("Carla Cristina Souza")));
    table.First();
    EXPECT_EQ(names(), (QStringList{QStringLiteral("Alice"), QStringLiteral("Bruno"), QStringLiteral("Carla Cris")}));
}

// Values assigned as the record already holds them reach no file (a keyed update of a table
// with its own copy rewrites nothing); one value that differs writes the record.
TEST_F(TableRules, PostWritesOnlyWhenAnAssignedValueDiffers)
{
    fill({"Ana", "Bruno"});
    table.Open();
    table.Edit();
    table.FieldByName(QStringLiteral("NOME"))->SetAsString(QStringLiteral("Ana"));
    table.FieldByName(QStringLiteral("IDADE"))->SetValue(Value());
    table.Post();
    EXPECT_EQ(data->updates, 0);
    EXPECT_FALSE(table.LastPostWrote());
    table.Edit();
    table.FieldByName(QStringLiteral("NOME"))->SetAsString(QStringLiteral("Ana"));
    table.FieldByName(QStringLiteral("IDADE"))->SetAsString(QStringLiteral("30"));
    table.Post();
    EXPECT_EQ(data->updates, 1);
    EXPECT_TRUE(table.LastPostWrote());
    EXPECT_EQ(table.FieldByName(QStringLiteral("IDADE"))->Value(), Value::integer(30));
    EXPECT_EQ(names(), (QStringList{QStringLiteral("Ana"), QStringLiteral("Bruno")}));
}

TEST_F(TableRules, EditOnEmptyTableStartsANewRecord)
{
    table.Open();
    table.Edit();
    EXPECT_EQ(table.state(), Table::State::Insert);
    table.FieldByName(QStringLiteral("IDADE"))->SetValue(Value::integer(30));
    table.Post();
    EXPECT_EQ(table.RecordCount(), 1);
    EXPECT_EQ(table.FieldByName(QStringLiteral("IDADE"))->AsString(), QStringLiteral("30"));
}

TEST_F(TableRules, FailedPostKeepsTheRecordPending)
{
    data->fields[0].required = true;
    table.Open();
    table.Append();
    table.FieldByName(QStringLiteral("IDADE"))->SetAsString(QStringLiteral("7"));
    EXPECT_EQ(errorText([&] { table.Post(); }), QStringLiteral("Campo 'NOME' deve ter um valor"));
    EXPECT_EQ(table.state(), Table::State::Insert);
    table.FieldByName(QStringLiteral("NOME"))->SetAsString(QStringLiteral("Davi"));
    table.Post();
    EXPECT_EQ(names(), QStringList{QStringLiteral("Davi")});
}

TEST_F(TableRules, CancelAndCloseDiscard)
{
    fill({"Ana"});
    table.Open();
    table.Edit();
    table.FieldByName(QStringLiteral("NOME"))->SetAsString(QStringLiteral("Zé"));
    table.Cancel();
    EXPECT_EQ(table.FieldByName(QStringLiteral("NOME"))->AsString(), QStringLiteral("Ana"));
    table.Edit();
    table.FieldByName(QStringLiteral("NOME"))->SetAsString(QStringLiteral("Zé"));
    table.Close();
    EXPECT_EQ(names(), QStringList{QStringLiteral("Ana")});
}

TEST_F(TableRules, DeleteMakesTheNextRecordCurrentAndEmptiesToEof)
{
    fill({"Ana", "Bruno", "Carla"});
    table.Open();
    table.Delete();
    EXPECT_EQ(table.FieldByName(QStringLiteral("NOME"))->AsString(), QStringLiteral("Bruno"));
    EXPECT_FALSE(table.Eof());
    for (table.First(); !table.Eof();)
        table.Delete();
    EXPECT_EQ(table.RecordCount(), 0);
    table.Append();
    table.Delete();  // a pending new record is cancelled, not stored
    EXPECT_EQ(table.RecordCount(), 0);
    EXPECT_EQ(table.state(), Table::State::Browse);
}

TEST_F(TableRules, DeleteOfTheLastRecordLeavesTheNewLastCurrentAtEof)
{
    fill({"Ana", "Bruno"});
    table.Open();
    table.Last();
    table.Delete();
    EXPECT_TRUE(table.Eof());
    EXPECT_EQ(table.FieldByName(QStringLiteral("NOME"))->AsString(), QStringLiteral("Ana"));
}

TEST_F(TableRules, ValuesAreNotWrittenOutsideEditing)
{
    fill({"Ana"});
    table.Open();
    EXPECT_EQ(errorText([&] { table.FieldByName(QStringLiteral("NOME"))->SetAsString(QStringLiteral("x")); }),
              QStringLiteral("Table1: Tabela não está em modo de edição ou inserção"));
    table.Edit();
    EXPECT_EQ(errorText([&] { table.FieldByName(QStringLiteral("IDADE"))->SetAsString(QStringLiteral("1x")); }),
              QStringLiteral("'1x' não é um inteiro válido para o campo 'IDADE'"));
}

TEST_F(TableRules, RefusedWriteFailsAtTheFirstChange)
{
    fill({"Ana"});
    data->refuseWrite = QStringLiteral("índice de produção não mantido");
    table.Open();
    EXPECT_EQ(errorText([&] { table.Edit(); }), QStringLiteral("índice de produção não mantido"));
    EXPECT_EQ(table.state(), Table::State::Browse);
}

TEST_F(TableRules, LocateFindsWholeOrPrefixIgnoringCaseAndMovesOnlyOnSuccess)
{
    fill({"0042", "00421", "Ágata"});
    data->records[2]->replace(1, Value::integer(10));
    table.Open();
    table.Last();
    EXPECT_FALSE(table.Locate(QStringLiteral("NOME"), Value::text(QStringLiteral("004")), 0));
    EXPECT_EQ(table.FieldByName(QStringLiteral("NOME"))->AsString(), QStringLiteral("Ágata"));
    EXPECT_TRUE(table.Locate(QStringLiteral("NOME"), Value::text(QStringLiteral("00421")), 0));
    EXPECT_EQ(table.RecNo(), 2);
    EXPECT_TRUE(table.Locate(QStringLiteral("NOME"), Value::text(QStringLiteral("004")), Table::loPartialKey));
    EXPECT_EQ(table.RecNo(), 1);
    EXPECT_TRUE(table.Locate(QStringLiteral("nome"), Value::text(QStringLiteral("ágATA")), Table::loCaseInsensitive));
    EXPECT_FALSE(table.Locate(QStringLiteral("NOME"), Value::text(QStringLiteral("ágata")), 0));
    table.First();
    EXPECT_TRUE(table.Locate(QStringLiteral("IDADE"), Value::text(QStringLiteral("10")), 0));
    EXPECT_EQ(table.RecNo(), 3);
}

TEST_F(TableRules, RepeatedLocatesFollowEveryWrite)
{
    // The first search builds an in-memory index; later writes must keep it exact.
    fill({"Ana", "Bruno", "Carla", "Ana"});
    table.Open();
    auto locate = [&](const char* name) {
        return table.Locate(QStringLiteral("NOME"), Value::text(QString::fromUtf8(name)), Table::loCaseInsensitive)
            ? table.RecNo()
            : -1;
    };
    EXPECT_EQ(locate("bruno"), 2);
    EXPECT_EQ(locate("ana"), 1);  // the first of two in the table's order
    table.Locate(QStringLiteral("NOME"), Value::text(QStringLiteral("Bruno")), 0);
    table.Edit();
    table.FieldByName(QStringLiteral("NOME"))->SetAsString(QStringLiteral("Beto"));
    table.Post();
    EXPECT_EQ(locate("bruno"), -1);
    EXPECT_EQ(locate("BETO"), 2);
    table.Append();
    table.FieldByName(QStringLiteral("NOME"))->SetAsString(QStringLiteral("Bruno"));
    table.Post();
    EXPECT_EQ(locate("bruno"), 5);
    table.First();
    table.Delete();  // the first "Ana"
    EXPECT_EQ(locate("ana"), 4);
    EXPECT_EQ(table.Locate(QStringLiteral("NOME"), Value::text(QStringLiteral("Br")), Table::loPartialKey), true);
    EXPECT_EQ(table.RecNo(), 5);
    data->generation++;  // another record moved: the index is rebuilt, results unchanged
    EXPECT_EQ(locate("carla"), 3);
    table.Delete();
    EXPECT_EQ(locate("carla"), -1);
}

TEST_F(TableRules, LocatesFollowWritesOfOtherFields)
{
    // Writes that leave the searched field alone keep the index, also when the record moves.
    fill({"Ana", "Bruno", "Carla"});
    table.Open();
    auto locate = [&](const char* name) {
        return table.Locate(QStringLiteral("NOME"), Value::text(QString::fromUtf8(name)), 0) ? table.RecNo() : -1;
    };
    ASSERT_EQ(locate("Carla"), 3);
    table.Edit();
    table.FieldByName(QStringLiteral("IDADE"))->SetAsString(QStringLiteral("41"));
    table.Post();
    EXPECT_EQ(locate("Carla"), 3);
    data->updateMovesRecord = true;
    ASSERT_EQ(locate("Ana"), 1);
    table.Edit();
    table.FieldByName(QStringLiteral("IDADE"))->SetAsString(QStringLiteral("7"));
    table.Post();
    EXPECT_EQ(locate("Ana"), 4);  // stored anew at the end
    EXPECT_EQ(table.FieldByName(QStringLiteral("IDADE"))->AsString(), QStringLiteral("7"));
    EXPECT_EQ(locate("Bruno"), 2);
    EXPECT_EQ(locate("Carla"), 3);
    EXPECT_EQ(table.FieldByName(QStringLiteral("IDADE"))->AsString(), QStringLiteral("41"));
}

TEST_F(TableRules, NotificationsReachEveryWayOfListening)
{
    fill({"Ana", "Bruno"});
    table.Open();
    table.Next();  // nobody listens yet
    int moves = 0;
    const auto connection = QObject::connect(&table, &Table::currentChanged, [&] { ++moves; });
    QSignalSpy states(&table, &Table::stateChanged);
    QSignalSpy data(&table, SIGNAL(dataChanged()));
    table.First();
    EXPECT_EQ(moves, 1);
    table.Edit();
    table.FieldByName(QStringLiteral("IDADE"))->SetAsString(QStringLiteral("9"));
    table.Post();
    EXPECT_EQ(states.count(), 2);  // into editing and back
    EXPECT_GE(data.count(), 1);
    QObject::disconnect(connection);
    const int before = moves;
    table.Next();
    EXPECT_EQ(moves, before);
    QSignalSpy later(&table, &Table::currentChanged);
    table.First();
    EXPECT_EQ(later.count(), 1);
}

TEST_F(TableRules, CaseInsensitiveLocateTakesTheLocalesCapitals)
{
    // Plain ASCII keys and accented ones, in a language whose capital of i is I and in one
    // whose capital of i is a dotted I.
    fill({"istanbul", "Ágata"});
    const QLocale before = Regional::current().locale();
    auto locateIn = [&](QLocale::Language language, QLocale::Country country, const char* name) {
        Regional::setCurrent(QLocale(language, country));
        Table t(QStringLiteral("Table2"));
        t.Bind(path);
        t.Open();
        const bool found =
            t.Locate(QStringLiteral("NOME"), Value::text(QString::fromUtf8(name)), Table::loCaseInsensitive);
        return found ? t.RecNo() : -1;
    };
    EXPECT_EQ(locateIn(QLocale::Portuguese, QLocale::Brazil, "ISTANBUL"), 1);
    EXPECT_EQ(locateIn(QLocale::Portuguese, QLocale::Brazil, "ágATA"), 2);
    EXPECT_EQ(locateIn(QLocale::Turkish, QLocale::Turkey, "ISTANBUL"), -1);
    EXPECT_EQ(locateIn(QLocale::Turkish, QLocale::Turkey, "\u0130STANBUL"), 1);
    EXPECT_EQ(locateIn(QLocale::Turkish, QLocale::Turkey, "\u00c1GATA"), 2);
    Regional::setCurrent(before);
}

TEST_F(TableRules, LocateCanIgnoreTrailingBlanksOnBothSides)
{
    fill({"12 ", "abc", "7", "   ", "12", " 7"});
    data->records[2]->replace(1, Value::integer(5));
    table.Open();
    const int trimmed = Table::loCaseInsensitive | Table::loIgnoreTrailingBlanks;
    auto locate = [&](const char* name, int options) {
        return table.Locate(QStringLiteral("NOME"), Value::text(QString::fromUtf8(name)), options) ? table.RecNo() : -1;
    };
    // Without the option trailing blanks count, as they always did.
    EXPECT_EQ(locate("12", Table::loCaseInsensitive), 5);
    EXPECT_EQ(locate("7 ", Table::loCaseInsensitive), -1);
    // With it they are dropped on both sides; the first match in the order wins.
    EXPECT_EQ(locate("12", trimmed), 1);
    EXPECT_EQ(locate("12    ", trimmed), 1);
    EXPECT_EQ(locate("7 ", trimmed), 3);
    EXPECT_EQ(locate("ABC  ", trimmed), 2);
    EXPECT_EQ(locate("ABC", Table::loIgnoreTrailingBlanks), -1);  // letter case only with its own option
    EXPECT_EQ(locate("ab", trimmed), -1);                         // still the whole value
    EXPECT_EQ(locate(" 7  ", trimmed), 6);                        // leading blanks count
    // Blanks only are an empty field, and an empty field finds blanks only.
    EXPECT_EQ(locate(" ", trimmed), 4);
    EXPECT_TRUE(table.Locate(QStringLiteral("NOME"), Value(), trimmed));
    EXPECT_EQ(table.RecNo(), 4);
    EXPECT_FALSE(table.Locate(QStringLiteral("NOME"), Value(), Table::loCaseInsensitive));

    // The in-memory index follows writes.
    ASSERT_EQ(locate("12", trimmed), 1);
    table.Edit();
    table.FieldByName(QStringLiteral("NOME"))->SetValue(Value::text(QStringLiteral("13  ")));
    table.Post();
    EXPECT_EQ(locate("12", trimmed), 5);
    EXPECT_EQ(locate("13", trimmed), 1);

    // The scan (a prefix over two fields) follows the same rule.
    EXPECT_TRUE(table.Locate(QStringLiteral("NOME;IDADE"), {Value::text(QStringLiteral("7   ")), Value::integer(5)},
                             Table::loIgnoreTrailingBlanks | Table::loPartialKey));
    EXPECT_EQ(table.RecNo(), 3);
    EXPECT_FALSE(table.Locate(QStringLiteral("NOME;IDADE"), {Value::text(QStringLiteral("7   ")), Value::integer(5)},
                              Table::loPartialKey));
}

TEST_F(TableRules, SettingsStayAcrossCloseOpenAndRebindingAndAMissingIndexFailsTheOpen)
{
    data->indexes = {IndexDef{QStringLiteral("PorNome"), {QStringLiteral("NOME")}, {}, 0, {}}};
    table.SetFilter(QStringLiteral("NOME = 'Ana'"));
    table.SetFiltered(true);
    table.SetIndexFieldNames(QStringLiteral("nome"));
    table.Open();
    table.Close();
    const QString other = dir.path() + QStringLiteral("/outra.mem");
    MemoryTableFile::store(other, data->fields);  // same fields, no index
    table.Bind(other);
    EXPECT_EQ(table.Filter(), QStringLiteral("NOME = 'Ana'"));
    EXPECT_TRUE(table.Filtered());
    EXPECT_EQ(table.IndexFieldNames(), QStringLiteral("nome"));
    EXPECT_EQ(errorText([&] { table.Open(); }), QStringLiteral("Table1: Nenhum índice para os campos nome"));
    EXPECT_FALSE(table.Active());
    table.Bind(path);
    table.Open();
    EXPECT_TRUE(table.Active());
}

TEST_F(TableRules, IndexOrderIsWalkedAndFollowsWrites)
{
    data->indexes = {IndexDef{QStringLiteral("PorNome"), {QStringLiteral("NOME")}, {}, 0, {}},
                     IndexDef{QStringLiteral("PorIdade"), {QStringLiteral("IDADE")}, {}, ixDescending, {}}};
    fill({"Carla", "Ana", "Bruno", "Ana"});
    for (int i = 0; i < 4; ++i)
        data->records[size_t(i)]->replace(1, Value::integer(10 * (i + 1)));
    auto walk = [&] {
        QStringList seen;
        for (table.First(); !table.Eof(); table.Next())
            seen << table.FieldByName(QStringLiteral("NOME"))->AsString() + QString::number(table.RecNo());
        return seen.join(QLatin1Char(' '));
    };
    table.SetIndexName(QStringLiteral("pornome"));
    table.Open();
    EXPECT_EQ(walk(), QStringLiteral("Ana2 Ana4 Bruno3 Carla1"));  // equal keys in record order

    table.Locate(QStringLiteral("NOME"), Value::text(QStringLiteral("Ana")), 0);
    EXPECT_EQ(table.RecNo(), 2);
    table.Edit();
    table.FieldByName(QStringLiteral("NOME"))->SetAsString(QStringLiteral("Zeca"));
    table.Post();
    EXPECT_EQ(table.Position(), 4);  // the edited record moved to its place and stayed current
    table.Append();
    table.FieldByName(QStringLiteral("NOME"))->SetAsString(QStringLiteral("Beto"));
    table.Post();
    EXPECT_EQ(walk(), QStringLiteral("Ana4 Beto5 Bruno3 Carla1 Zeca2"));

    table.Locate(QStringLiteral("NOME"), Value::text(QStringLiteral("Bruno")), 0);
    table.SetIndexFieldNames(QStringLiteral("IDADE"));  // a descending index; the record stays
    EXPECT_EQ(table.FieldByName(QStringLiteral("NOME"))->AsString(), QStringLiteral("Bruno"));
    EXPECT_EQ(table.Position(), 2);
    EXPECT_EQ(walk(), QStringLiteral("Ana4 Bruno3 Zeca2 Carla1 Beto5"));  // the empty age sorts last
    EXPECT_EQ(errorText([&] { table.SetIndexName(QStringLiteral("PorCidade")); }),
              QStringLiteral("Table1: Índice PorCidade não encontrado"));
    EXPECT_EQ(table.IndexFieldNames(), QStringLiteral("IDADE"));  // the failed choice changed nothing
}

TEST_F(TableRules, DisabledControlsHearOneChangeAtTheEnd)
{
    fill({"Ana", "Bruno", "Carla"});
    table.Open();
    QSignalSpy moved(&table, &Table::currentChanged);
    table.DisableControls();
    for (table.First(); !table.Eof(); table.Next()) {
    }
    EXPECT_EQ(moved.count(), 0);
    table.EnableControls();
    EXPECT_EQ(moved.count(), 1);
}

TEST_F(TableRules, AnExpressionIndexIsRefusedByAFormatThatCannotEvaluateIt)
{
    data->indexes = {IndexDef{QStringLiteral("PorExpr"), {}, QStringLiteral("UPPER(NOME)"), ixExpression, {}}};
    fill({"Ana"});
    table.SetIndexName(QStringLiteral("PorExpr"));
    EXPECT_EQ(errorText([&] { table.Open(); }),
              QStringLiteral("A ordem do índice de expressão PorExpr (UPPER(NOME)) não é suportada em ") + path);
    EXPECT_FALSE(table.Active());
}

// Locate tries the record after the one it found last before its index, where the index says no
// two records share a key: in every sequence of searches and writes it must find what a scan
// of the table finds (the first record, in order, with the key).
TEST_F(TableRules, LocateFindsTheFirstRecordWithTheKeyWhateverOrderTheKeysComeIn)
{
    struct Case {
        const char* name;
        std::initializer_list<const char*> records;
        // "name": search it; "=N:name": record N gets the name; "-N": record N is deleted;
        // "+name": a record is appended.
        std::initializer_list<const char*> steps;
    };
    const Case cases[] = {
        {"in the table's order", {"Ana", "Bruno", "Carla", "Davi"}, {"ana", "bruno", "CARLA ", "davi", "eva", "davi"}},
        {"backwards", {"Ana", "Bruno", "Carla", "Davi"}, {"davi", "carla", "bruno", "ana"}},
        {"keys shared from the start", {"Ana", "Bruno", "Ana", "Bruno"}, {"ana", "bruno", "ana", "bruno"}},
        {"a key shared by a write", {"Ana", "Bruno", "Carla"}, {"ana", "bruno", "=1:Carla", "carla", "carla"}},
        {"a key shared by an append", {"Ana", "Bruno", "Carla"}, {"bruno", "+Bruno", "ana", "bruno"}},
        {"the next record deleted", {"Ana", "Bruno", "Carla"}, {"ana", "-2", "bruno", "carla"}},
        {"the record found deleted", {"Ana", "Bruno", "Carla"}, {"ana", "-1", "bruno", "ana", "carla"}},
    };
    for (const Case& c : cases) {
        data->records.clear();
        fill(c.records);
        table.Close();
        table.Open();
        auto scan = [&](const QString& wanted) -> qint64 {
            for (size_t i = 0; i < data->records.size(); ++i)
                if (data->records[i] && (*data->records[i])[0].asText().trimmed().toUpper() == wanted.trimmed().toUpper())
                    return qint64(i) + 1;
            return -1;
        };
        for (const char* raw : c.steps) {
            const QString step = QString::fromUtf8(raw);
            if (step.startsWith(QLatin1Char('='))) {
                ASSERT_TRUE(table.MoveToPosition(step.mid(1, step.indexOf(QLatin1Char(':')) - 1).toLongLong()));
                table.Edit();
                table.FieldByName(QStringLiteral("NOME"))->SetAsString(step.mid(step.indexOf(QLatin1Char(':')) + 1));
                table.Post();
            } else if (step.startsWith(QLatin1Char('-'))) {
                ASSERT_TRUE(table.MoveToRecordId(step.mid(1).toLongLong()));
                table.Delete();
            } else if (step.startsWith(QLatin1Char('+'))) {
                table.Append();
                table.FieldByName(QStringLiteral("NOME"))->SetAsString(step.mid(1));
                table.Post();
            } else {
                const bool found = table.Locate(QStringLiteral("NOME"), Value::text(step),
                                                Table::loCaseInsensitive | Table::loIgnoreTrailingBlanks);
                EXPECT_EQ(found ? table.RecNo() : -1, scan(step)) << c.name << ", " << raw;
            }
        }
    }
}
