// The grid's model over a Table: checked by QAbstractItemModelTester, reading only the rows
// shown, following the table's current record, editing in place.
#include "tables/Regional.h"
#include "tables/Table.h"
#include "tables/dbase/DbaseFormat.h"
#include "tables/engine/Engine.h"
#include "tests/run/DbfFixture.h"
#include "toolkit/NavigatorBar.h"
#include "toolkit/TableGridModel.h"

#include <QAbstractItemModelTester>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using namespace quillora;
using namespace quillora::test;
using quillora::toolkit::TableGrid;
using quillora::toolkit::TableGridModel;

class TableGridModelTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    QString table(int records)
    {
        const QString path = dir.path() + QStringLiteral("/t%1.dbf").arg(records);
        if (QFile::exists(path))
            return path;
        createDbaseTable(path, {textField("NOME", 10), FieldDef{"N", ftInteger, 8}}, DbaseLevel::III);
        Table t("T");
        t.Bind(path);
        t.Open();
        for (int i = 1; i <= records; ++i) {
            t.Append();
            t.Fields(0)->SetValue(Value::text(QStringLiteral("r%1").arg(i)));
            t.Fields(1)->SetValue(Value::integer(i));
            t.Post();
        }
        t.Close();
        return path;
    }

private slots:
    void initTestCase()
    {
        Regional::setCurrent(QLocale(QLocale::Portuguese, QLocale::Brazil));
        registerBuiltinFormats();
    }

    // The tester watches every signal while the table moves, edits, deletes and reorders.
    void modelKeepsItsContract()
    {
        Table t("Table1");
        t.Bind(table(5));
        t.Open();
        TableGridModel model(&t);
        model.setRecordIndicator(true);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), 5);
        QCOMPARE(model.columnCount(), 3);
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("NOME"));
        QCOMPARE(model.data(model.index(0, 0)).toString(), QStringLiteral("\u25B6"));
        t.MoveToPosition(3);
        QCOMPARE(model.currentRow(), 2);
        QCOMPARE(model.data(model.index(2, 0)).toString(), QStringLiteral("\u25B6"));
        QCOMPARE(model.data(model.index(0, 0)).toString(), QString());

        // Edit in place: pending until the move, shown at once, stored by the move.
        QVERIFY(model.setData(model.index(3, 1), QStringLiteral("novo")));
        QCOMPARE(model.currentRow(), 3);
        QCOMPARE(model.data(model.index(3, 0)).toString(), QStringLiteral("E"));
        QCOMPARE(model.data(model.index(3, 1)).toString(), QStringLiteral("novo"));
        QVERIFY(model.moveToRow(0));
        QCOMPARE(model.data(model.index(3, 1)).toString(), QStringLiteral("novo"));
        // A bad number is refused with the engine's text.
        QSignalSpy failed(&model, &TableGridModel::editFailed);
        QVERIFY(!model.setData(model.index(1, 2), QStringLiteral("1a2")));
        QCOMPARE(failed.size(), 1);
        t.Cancel();

        t.Append();
        QCOMPARE(model.rowCount(), 6);
        QCOMPARE(model.data(model.index(5, 0)).toString(), QStringLiteral("I"));
        t.Cancel();
        QCOMPARE(model.rowCount(), 5);
        t.MoveToPosition(2);
        t.Delete();
        QCOMPARE(model.rowCount(), 4);
        QCOMPARE(model.data(model.index(1, 1)).toString(), QStringLiteral("r3"));
        t.Close();
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(columnOf(dir.path() + "/t5.dbf", "NOME"), QStringList({"r1", "r3", "novo", "r5"}));
    }

    // Jumping to the end of a large table reads the rows shown, not the table.
    void readsOnlyTheRowsShown()
    {
        Table t("Table1");
        t.Bind(table(20000));
        t.Open();
        TableGridModel model(&t);
        TableGrid grid;
        grid.setTableModel(&model);
        grid.resize(400, 300);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        t.Last();
        QCOMPARE(model.currentRow(), 19999);
        QCOMPARE(grid.currentIndex().row(), 19999);
        QCoreApplication::processEvents();
        QCOMPARE(model.data(model.index(19999, 0)).toString(), QStringLiteral("r20000"));
        QCOMPARE(model.data(model.index(12345, 1)).toString(), QStringLiteral("12346"));
        QVERIFY2(model.blocksRead() <= 6, qPrintable(QString::number(model.blocksRead())));

        // The grid's cursor moves the table.
        grid.setCurrentIndex(model.index(100, 0));
        QCOMPARE(t.RecNo(), 101);
        QCOMPARE(grid.currentField(), 0);
        t.Close();
    }

    void navigatorShowsTheChosenButtons()
    {
        Table t("Table1");
        t.Bind(table(6));
        t.Open();
        toolkit::NavigatorBar all(&t, toolkit::NavigatorBar::All);
        toolkit::NavigatorBar some(&t, toolkit::NavigatorBar::First | toolkit::NavigatorBar::Next);
        QVERIFY(all.button(toolkit::NavigatorBar::Refresh));
        QVERIFY(!some.button(toolkit::NavigatorBar::Prior));
        QVERIFY(!all.button(toolkit::NavigatorBar::First)->isEnabled());  // at the first record
        QVERIFY(!all.button(toolkit::NavigatorBar::Post)->isEnabled());
        some.button(toolkit::NavigatorBar::Next)->click();
        QCOMPARE(t.RecNo(), 2);
        QVERIFY(all.button(toolkit::NavigatorBar::First)->isEnabled());
        all.press(toolkit::NavigatorBar::Edit);
        QCOMPARE(t.state(), Table::State::Edit);
        QVERIFY(all.button(toolkit::NavigatorBar::Post)->isEnabled());
        all.press(toolkit::NavigatorBar::Cancel);
        all.press(toolkit::NavigatorBar::Last);
        QCOMPARE(t.RecNo(), 6);
        QVERIFY(!all.button(toolkit::NavigatorBar::Next)->isEnabled());
        t.Close();
        QVERIFY(!all.button(toolkit::NavigatorBar::First)->isEnabled());
    }
};

QTEST_MAIN(TableGridModelTest)
#include "TableGridModelTest.moc"
