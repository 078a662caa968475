// "Ver" and "Filtro..." as a user drives them: the viewer's editing rules and the filter
// dialog's buttons, on dBase tables written for each test.
#include "app/Quillora.h"
#include "tables/Error.h"
#include "tables/Regional.h"
#include "tables/Table.h"
#include "tables/engine/Engine.h"
#include "tests/run/DbfFixture.h"
#include "tests/support/TestSupport.h"
#include "tests/toolkit/ModalAnswer.h"
#include "toolkit/NavigatorBar.h"
#include "views/ui/U_Consulta.h"
#include "views/ui/U_Filtro.h"
#include "views/ui/ViewerGrid.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using namespace quillora;
using namespace quillora::test;
using namespace quillora::views;
using Nav = quillora::toolkit::NavigatorBar;

namespace {

// Runs `action` on the next modal window of type W once it is shown; the action closes it.
template <typename W>
std::shared_ptr<SeenBox> onNext(std::function<void(W*)> action)
{
    return answerNextBox(QString(), [action](QWidget* modal) {
        auto* w = qobject_cast<W*>(modal);
        if (!w) {
            modal->close();
            return;
        }
        action(w);
    });
}

QString screenshotDir()
{
    return qEnvironmentVariable("QUILLORA_SCREENSHOTS");
}

}  // namespace

class ViewsTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        path = dir.path() + QStringLiteral("/clientes.dbf");
        QFile::remove(path);
        makeDbf(path, {textField("NOME", 10), textField("CIDADE", 10)},
                {{txt("ANA"), txt("Recife")}, {txt("BETO"), txt("Natal")}, {txt("CARLA"), txt("Recife")}});
    }
    void cleanup() { cancelPendingAnswers(); }

    void verBeforeBindingShowsNothing()
    {
        Table table(QStringLiteral("Table1"));
        auto seen = answerNextBox(QString());
        BVerClick(nullptr, table);
        QTest::qWait(30);
        QCOMPARE(seen->count, 0);
        QVERIFY(!table.Active());
    }

    void typingStartsNoEditAndCloseDiscardsAPendingRecord()
    {
        const QByteArray before = readFile(path);
        Table table(QStringLiteral("Table1"));
        table.Bind(path);
        bool checked = false;
        onNext<TF_Consulta>([&](TF_Consulta* viewer) {
            QCOMPARE(viewer->windowTitle(), QStringLiteral("Consulta de Dados"));
            QCOMPARE(viewer->model()->rowCount(), 3);
            QCOMPARE(viewer->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("NOME"));
            for (int b = Nav::First; b <= Nav::Refresh; b <<= 1)
                QVERIFY(viewer->DBNavigator1->button(Nav::Button(b)));
            const QModelIndex cell = viewer->model()->index(0, viewer->model()->columnOfField(0));
            QVERIFY(!(viewer->model()->flags(cell) & Qt::ItemIsEditable));
            viewer->DBGrid1->setCurrentIndex(cell);
            QTest::keyClicks(viewer->DBGrid1, QStringLiteral("XX"));
            QCOMPARE(table.state(), Table::State::Browse);

            viewer->DBNavigator1->press(Nav::Edit);
            QVERIFY(viewer->model()->flags(cell) & Qt::ItemIsEditable);
            QVERIFY(viewer->model()->setData(cell, QStringLiteral("ZECA")));
            QCOMPARE(table.state(), Table::State::Edit);
            checked = true;
            viewer->close();
        });
        BVerClick(nullptr, table);
        QVERIFY(checked);
        QVERIFY(!table.Active());
        QCOMPARE(readFile(path), before);
    }

    void aMoveStoresTheEditAndDeleteAsksFirst()
    {
        Table table(QStringLiteral("Table1"));
        table.Bind(path);
        table.Open();  // open before: closed afterwards all the same
        onNext<TF_Consulta>([&](TF_Consulta* viewer) {
            const QModelIndex cell = viewer->model()->index(0, viewer->model()->columnOfField(1));
            viewer->DBNavigator1->press(Nav::Edit);
            viewer->model()->setData(cell, QStringLiteral("Olinda"));
            viewer->DBNavigator1->press(Nav::Next);

            auto kept = answerNextBox(QStringLiteral("Cancel"), [](QWidget* box) {
                for (QAbstractButton* b : box->findChildren<QAbstractButton*>())
                    if (b->text().remove(QLatin1Char('&')) == QStringLiteral("Cancelar"))
                        b->click();
            });
            viewer->DBNavigator1->press(Nav::Delete);
            QCOMPARE(kept->text, QStringLiteral("Apagar registro?"));
            QCOMPARE(table.RecordCount(), 3);
            answerNextBox(QString(), [](QWidget* box) {
                for (QAbstractButton* b : box->findChildren<QAbstractButton*>())
                    if (b->text().remove(QLatin1Char('&')) == QStringLiteral("Ok"))
                        b->click();
            });
            QTest::keyClick(viewer->DBGrid1, Qt::Key_Delete, Qt::ControlModifier);  // the grid's own key
            QCOMPARE(table.RecordCount(), 2);
            viewer->close();
        });
        BVerClick(nullptr, table);
        QVERIFY(!table.Active());
        QCOMPARE(rowsOf(path), (QList<QStringList>{{QStringLiteral("ANA"), QStringLiteral("Olinda")},
                                                    {QStringLiteral("CARLA"), QStringLiteral("Recife")}}));
    }

    void insertKeyAndMovingPastTheLastRowAddRecords()
    {
        Table table(QStringLiteral("Table1"));
        table.Bind(path);
        onNext<TF_Consulta>([&](TF_Consulta* viewer) {
            ViewerGrid* grid = viewer->DBGrid1;
            grid->setCurrentIndex(viewer->model()->index(2, 1));
            QTest::keyClick(grid, Qt::Key_Down);
            QCOMPARE(table.state(), Table::State::Insert);
            viewer->model()->setData(viewer->model()->index(3, 1), QStringLiteral("DIEGO"));
            viewer->DBNavigator1->press(Nav::Post);
            QTest::keyClick(grid, Qt::Key_Insert);
            QCOMPARE(table.state(), Table::State::Insert);
            viewer->close();  // the empty new record is discarded
        });
        BVerClick(nullptr, table);
        QCOMPARE(columnOf(path, QStringLiteral("NOME")),
                 (QStringList{QStringLiteral("ANA"), QStringLiteral("BETO"), QStringLiteral("CARLA"),
                              QStringLiteral("DIEGO")}));
    }

    void viewerShowsOnlyFilteredRecords()
    {
        Table table(QStringLiteral("Table1"));
        table.Bind(path);
        table.SetFilter(QStringLiteral("CIDADE = 'Recife'"));
        table.SetFiltered(true);
        int rows = -1;
        QString second;
        onNext<TF_Consulta>([&](TF_Consulta* viewer) {
            rows = viewer->model()->rowCount();
            second = viewer->model()->index(1, viewer->model()->columnOfField(0)).data().toString();
            if (!screenshotDir().isEmpty())
                viewer->grab().save(screenshotDir() + QStringLiteral("/table-viewer.png"));
            viewer->close();
        });
        BVerClick(nullptr, table);
        QCOMPARE(rows, 2);
        QCOMPARE(second, QStringLiteral("CARLA"));
    }

    void filterDialogOkSetsTheConditionAndCancelTurnsItOff()
    {
        Table table(QStringLiteral("Table1"));
        table.Bind(path);
        table.SetFilter(QStringLiteral("CIDADE = 'Natal'"));
        onNext<TF_Filtro>([&](TF_Filtro* d) {
            QCOMPARE(d->windowTitle(), QStringLiteral("Filtragem de Dados"));
            QCOMPARE(d->Edit1->text(), QStringLiteral("CIDADE = 'Natal'"));
            QCOMPARE(d->ComboBox1->count(), 2);
            QCOMPARE(d->ComboBox1->currentIndex(), -1);
            QTest::keyClick(d->Edit1, Qt::Key_Escape);  // neither Esc nor Enter closes it
            QTest::keyClick(d->Edit1, Qt::Key_Return);
            QVERIFY(d->isVisible());
            d->Edit1->setText(QStringLiteral("NOME = 'A*'"));
            d->BitBtn1->click();
        });
        BFiltroClick(nullptr, table);
        QCOMPARE(table.Filter(), QStringLiteral("NOME = 'A*'"));
        QVERIFY(table.Filtered());
        QVERIFY(!table.Active());

        onNext<TF_Filtro>([](TF_Filtro* d) {
            d->Edit1->setText(QStringLiteral("ignorado"));
            d->BitBtn2->click();
        });
        BFiltroClick(nullptr, table);
        QCOMPARE(table.Filter(), QStringLiteral("NOME = 'A*'"));
        QVERIFY(!table.Filtered());

        table.SetFiltered(true);
        onNext<TF_Filtro>([](TF_Filtro* d) { d->close(); });  // the close box is Cancelar
        BFiltroClick(nullptr, table);
        QVERIFY(!table.Filtered());
        QCOMPARE(table.Filter(), QStringLiteral("NOME = 'A*'"));
    }

    void faultyConditionLeavesFilterAsItWas()
    {
        Table table(QStringLiteral("Table1"));
        table.Bind(path);
        table.SetFilter(QStringLiteral("NOME = 'ANA'"));
        onNext<TF_Filtro>([](TF_Filtro* d) {
            d->Edit1->setText(QStringLiteral("CIDADE = 'Recife"));
            d->BitBtn1->click();
        });
        QCOMPARE(errorText([&] { BFiltroClick(nullptr, table); }), QStringLiteral("Constante de string não terminada"));
        QCOMPARE(table.Filter(), QStringLiteral("NOME = 'ANA'"));
        QVERIFY(!table.Filtered());
        QVERIFY(table.Active());  // left open until the next operation
    }

    void insertFieldButtonAppendsTheChosenName()
    {
        Table table(QStringLiteral("Table1"));
        table.Bind(path);
        QString unchanged, appended;
        int caret = -1;
        bool selected = true, focused = false;
        onNext<TF_Filtro>([&](TF_Filtro* d) {
            d->Edit1->setText(QStringLiteral("CIDADE = 'X' AND "));
            d->SpeedButton1->click();
            unchanged = d->Edit1->text();
            d->ComboBox1->setCurrentIndex(0);
            d->Edit1->setSelection(0, 3);
            d->SpeedButton1->click();
            appended = d->Edit1->text();
            caret = d->Edit1->cursorPosition();
            selected = d->Edit1->hasSelectedText();
            focused = QApplication::focusWidget() == d->Edit1;
            QCOMPARE(d->SpeedButton1->focusPolicy(), Qt::NoFocus);
            if (!screenshotDir().isEmpty())
                d->grab().save(screenshotDir() + QStringLiteral("/filter-dialog.png"));
            d->BitBtn2->click();
        });
        BFiltroClick(nullptr, table);
        QCOMPARE(unchanged, QStringLiteral("CIDADE = 'X' AND "));
        QCOMPARE(appended, QStringLiteral("CIDADE = 'X' AND NOME"));
        QCOMPARE(caret, int(appended.size()));
        QVERIFY(!selected);
        QVERIFY(focused);
    }

    void mainWindowButtons()
    {
        app::TF_Principal w;
        w.show();
        auto seen = answerNextBox(QString());
        w.BVer1->click();  // nothing bound yet: nothing at all
        QTest::qWait(30);
        QCOMPARE(seen->count, 0);
        cancelPendingAnswers();

        auto error = answerNextBox(QStringLiteral("OK"));
        w.BFiltro->click();
        QTRY_COMPARE(error->count, 1);
        QCOMPARE(error->text, QStringLiteral("Table1: Propriedade TableName faltando."));

        w.Table1->Bind(path);
        w.Table2->Bind(path);
        int rows = -1;
        onNext<TF_Filtro>([](TF_Filtro* d) {
            d->Edit1->setText(QStringLiteral("NOME = 'BETO'"));
            d->BitBtn1->click();
        });
        w.BFiltro->click();
        onNext<TF_Consulta>([&](TF_Consulta* v) {
            rows = v->model()->rowCount();
            v->close();
        });
        w.BVer1->click();
        QCOMPARE(rows, 1);
        onNext<TF_Consulta>([&](TF_Consulta* v) {
            rows = v->model()->rowCount();
            v->close();
        });
        w.BVer2->click();  // the destination is never filtered
        QCOMPARE(rows, 3);
    }

private:
    QTemporaryDir dir;
    QString path;
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Regional::setCurrent(QLocale(QLocale::Portuguese, QLocale::Brazil));
    registerBuiltinFormats();
    ViewsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ViewsTest.moc"
