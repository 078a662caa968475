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
#include <QLabel>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
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

// Runs `action` on the first modal window of type W to become the active one, passing over
// modal windows of other types (they stay as they are).
template <typename W>
std::shared_ptr<int> whenModal(std::function<void(W*)> action)
{
    auto count = std::make_shared<int>(0);
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, count, action] {
        auto* w = qobject_cast<W*>(QApplication::activeModalWidget());
        if (!w)
            return;
        timer->stop();
        timer->deleteLater();
        ++*count;
        action(w);
    });
    pendingAnswers().append(timer);
    timer->start();
    return count;
}

// Clicks the error box's OK and records its text.
std::shared_ptr<QString> answerErrorBox()
{
    auto text = std::make_shared<QString>();
    whenModal<QMessageBox>([text](QMessageBox* box) {
        *text = box->text();
        box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->buttons().value(0)->click();
    });
    return text;
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

    // Esc in a cell being edited cancels that cell's edit; Esc elsewhere does nothing: the
    // viewer stays open with the record still pending.
    void escapeCancelsTheCellEditAndNeverClosesTheViewer()
    {
        Table table(QStringLiteral("Table1"));
        table.Bind(path);
        bool visibleAfterEsc = false, editorClosed = false;
        QString cellAfterCancelledEdit, cellAfterTypedEdit, pendingAfterEsc;
        Table::State stateAfterEsc = Table::State::Inactive;
        onNext<TF_Consulta>([&](TF_Consulta* v) {
            ViewerGrid* grid = v->DBGrid1;
            const QModelIndex cell = v->model()->index(0, v->model()->columnOfField(1));
            grid->setCurrentIndex(cell);
            v->DBNavigator1->press(Nav::Edit);

            grid->edit(cell);
            QWidget* editor = grid->indexWidget(cell);
            QVERIFY(editor);
            QTest::keyClicks(editor, QStringLiteral("Olinda"));
            QTest::keyClick(editor, Qt::Key_Escape);
            editorClosed = !grid->indexWidget(cell);
            cellAfterCancelledEdit = cell.data().toString();

            grid->edit(cell);
            editor = grid->indexWidget(cell);
            QVERIFY(editor);
            QTest::keyClicks(editor, QStringLiteral("Natal"));
            QTest::keyClick(editor, Qt::Key_Return);
            QTRY_VERIFY(!grid->indexWidget(cell));  // Enter stores the cell once the editor has it
            cellAfterTypedEdit = cell.data().toString();

            QTest::keyClick(grid, Qt::Key_Escape);
            QTest::keyClick(v->DBNavigator1, Qt::Key_Escape);
            QTest::keyClick(v, Qt::Key_Escape);
            visibleAfterEsc = v->isVisible();
            stateAfterEsc = table.state();
            pendingAfterEsc = table.FieldByName(QStringLiteral("CIDADE"))->AsString();
            v->DBNavigator1->press(Nav::Post);
            v->close();
        });
        BVerClick(nullptr, table);
        QVERIFY(editorClosed);
        QCOMPARE(cellAfterCancelledEdit, QStringLiteral("Recife"));
        QCOMPARE(cellAfterTypedEdit, QStringLiteral("Natal"));
        QVERIFY(visibleAfterEsc);
        QCOMPARE(stateAfterEsc, Table::State::Edit);
        QCOMPARE(pendingAfterEsc, QStringLiteral("Natal"));
        QCOMPARE(columnOf(path, QStringLiteral("CIDADE")),
                 (QStringList{QStringLiteral("Natal"), QStringLiteral("Natal"), QStringLiteral("Recife")}));
    }

    // The columns take the width of their titles and of the values in view when the viewer
    // opens; a memo shows its first line. On the project's own sample tables, both formats.
    void columnsFitTitlesAndValuesAndMemosShowTheirFirstLine()
    {
        const QString samples = QStringLiteral(QUILLORA_SOURCE_DIR "/samples/");
        const QList<QStringList> families = {{QStringLiteral("dbase/clientes.dbf"), QStringLiteral("dbase/clientes.dbt")},
                                             {QStringLiteral("paradox/clientes.db"), QStringLiteral("paradox/clientes.mb")}};
        for (const QStringList& family : families) {
            QTemporaryDir copy;
            const QString table = copyInto(copy.path(), {samples + family[0], samples + family[1]});
            Table t(QStringLiteral("Table1"));
            t.Bind(table);
            QStringList cut, titles;
            QString memo, second;
            onNext<TF_Consulta>([&](TF_Consulta* v) {
                ViewerGrid* grid = v->DBGrid1;
                const int memoColumn = v->model()->columnOfField(6);
                memo = v->model()->index(0, memoColumn).data().toString();
                second = v->model()->index(1, memoColumn).data().toString();
                for (int c = 1; c < v->model()->columnCount(); ++c) {
                    const QString title = v->model()->headerData(c, Qt::Horizontal).toString();
                    titles << title;
                    if (grid->columnWidth(c) < grid->horizontalHeader()->sectionSizeHint(c))
                        cut << title;
                    for (int r = 0; r < v->model()->rowCount(); ++r) {
                        const QModelIndex i = v->model()->index(r, c);
                        if (grid->columnWidth(c) < grid->sizeHintForIndex(i).width())
                            cut << title + QLatin1Char('/') + i.data().toString();
                    }
                }
                if (!screenshotDir().isEmpty())
                    v->grab().save(screenshotDir() +
                                   QStringLiteral("/table-viewer-%1.png").arg(family[0].section('/', 0, 0)));
                v->close();
            });
            BVerClick(nullptr, t);
            QCOMPARE(titles.value(3), QStringLiteral("NASCIMENTO"));
            QVERIFY2(cut.isEmpty(), qPrintable(family[0] + QStringLiteral(": ") + cut.join(QStringLiteral(", "))));
            QCOMPARE(memo, QStringLiteral("Cliente desde 1998. Prefere contato por telefone."));
            QCOMPARE(second, QStringLiteral("Pagamento sempre em dia."));
        }
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

    void refreshRereadsTheFile()
    {
        Table table(QStringLiteral("Table1"));
        table.Bind(path);
        int before = -1, after = -1, row = -1;
        QString added, current;
        Table::State state = Table::State::Inactive;
        onNext<TF_Consulta>([&](TF_Consulta* v) {
            before = v->model()->rowCount();
            {
                // Another writer adds a record while the viewer is open.
                Table other(QStringLiteral("Table2"));
                other.Bind(path);
                other.Open();
                other.Append();
                other.FieldByName(QStringLiteral("NOME"))->SetAsString(QStringLiteral("DORA"));
                other.Post();
                other.Close();
            }
            table.MoveToPosition(2);
            table.Edit();
            table.FieldByName(QStringLiteral("NOME"))->SetAsString(QStringLiteral("BRUNO"));
            v->DBNavigator1->button(Nav::Refresh)->click();
            after = v->model()->rowCount();
            current = table.FieldByName(QStringLiteral("NOME"))->AsString();
            row = v->DBGrid1->currentIndex().row();
            state = table.state();
            added = v->model()->index(3, v->model()->columnOfField(0)).data().toString();
            v->close();
        });
        BVerClick(nullptr, table);
        QCOMPARE(before, 3);
        QCOMPARE(after, 4);
        QCOMPARE(added, QStringLiteral("DORA"));
        // The changed pending record was stored first, and the cursor stayed on it.
        QCOMPARE(current, QStringLiteral("BRUNO"));
        QCOMPARE(row, 1);
        QCOMPARE(state, Table::State::Browse);
        QCOMPARE(columnOf(path, QStringLiteral("NOME")),
                 (QStringList{QStringLiteral("ANA"), QStringLiteral("BRUNO"), QStringLiteral("CARLA"), QStringLiteral("DORA")}));
    }

    void viewerShowsOnlyFilteredRecords()
    {
        Table table(QStringLiteral("Table1"));
        table.Bind(path);
        table.SetFilter(QStringLiteral("CIDADE = 'Recife'"));
        table.SetFiltered(true);
        int rows = -1;
        QString second, status, title;
        onNext<TF_Consulta>([&](TF_Consulta* viewer) {
            rows = viewer->model()->rowCount();
            second = viewer->model()->index(1, viewer->model()->columnOfField(0)).data().toString();
            status = viewer->StatusText->text();
            title = viewer->windowTitle();
            if (!screenshotDir().isEmpty())
                viewer->grab().save(screenshotDir() + QStringLiteral("/table-viewer.png"));
            viewer->close();
        });
        BVerClick(nullptr, table);
        QCOMPARE(rows, 2);
        QCOMPARE(second, QStringLiteral("CARLA"));
        // The status line says how many records and why not all; the caption stays.
        QCOMPARE(status, QStringLiteral("2 registros — filtro: CIDADE = 'Recife'"));
        QCOMPARE(title, QStringLiteral("Consulta de Dados"));

        // Without the filter; the count follows a deleted record.
        table.SetFiltered(false);
        QStringList seen;
        onNext<TF_Consulta>([&](TF_Consulta* viewer) {
            seen << viewer->StatusText->text();
            table.Delete();
            seen << viewer->StatusText->text();
            viewer->close();
        });
        BVerClick(nullptr, table);
        QCOMPARE(seen, QStringList({"3 registros", "2 registros"}));
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

    // A faulty condition keeps the dialog open with the text as typed, the message shown and
    // the caret at the fault; Filter and Filtered stay as they were.
    void faultyConditionKeepsTheDialogOpenAtTheFault()
    {
        Table table(QStringLiteral("Table1"));
        table.Bind(path);
        table.SetFilter(QStringLiteral("NOME = 'ANA'"));
        struct Try {
            QString text;
            QString message;
            int caret;
        };
        const QList<Try> tries = {
            {QStringLiteral("CIDADE = 'Recife"), QStringLiteral("Constante de string não terminada."), 9},
            {QStringLiteral("CIDADE = 'Recife' AND UF = 'PE'"), QStringLiteral("Table1: Campo UF não encontrado."),
             22},
            {QStringLiteral("NOME = 'ANA' )"), QStringLiteral("Expressão de filtro incorretamente terminada."), 13},
            {QStringLiteral("NOME = 'ANA' AND"), QStringLiteral("Expressão esperada mas Absolutamente encontrada."),
             16},
            {QStringLiteral("NOME LIKE NULL"), QStringLiteral("NULL somente permitido com '=' e '<>'"), 10},
            {QStringLiteral("NOME = 'A' AND CIDADE"), QStringLiteral("Expressão de filtro formada incorretamente."), 15},
        };
        QList<Try> seen;
        QList<bool> open;
        Table::State state = Table::State::Inactive;
        onNext<TF_Filtro>([&](TF_Filtro* d) {
            for (const Try& t : tries) {
                d->Edit1->setText(t.text);
                d->Edit1->setCursorPosition(0);
                auto message = answerErrorBox();
                d->BitBtn1->click();
                seen << Try{d->Edit1->text(), *message, d->Edit1->cursorPosition()};
                open << d->isVisible();
            }
            state = table.state();
            d->BitBtn2->click();
        });
        BFiltroClick(nullptr, table);
        QCOMPARE(open, QList<bool>(tries.size(), true));
        for (int i = 0; i < tries.size(); ++i) {
            QCOMPARE(seen[i].text, tries[i].text);
            QCOMPARE(seen[i].message, tries[i].message);
            QCOMPARE(seen[i].caret, tries[i].caret);
        }
        QCOMPARE(state, Table::State::Browse);
        QCOMPARE(table.Filter(), QStringLiteral("NOME = 'ANA'"));
        QVERIFY(!table.Filtered());
        QVERIFY(!table.Active());
    }

    // After a filter on a field, binding a table without it bars "Ver" (with the message), but
    // "Filtro..." still opens: it shows the condition and its fault, and lets it be changed.
    void aConditionOnAMissingFieldCanBeChangedInTheDialog()
    {
        Table table(QStringLiteral("Table1"));
        table.Bind(path);
        table.SetFilter(QStringLiteral("CIDADE = 'Recife'"));
        onNext<TF_Filtro>([](TF_Filtro* d) { d->BitBtn2->click(); });  // Cancelar: off, the text stays
        BFiltroClick(nullptr, table);
        QVERIFY(!table.Filtered());

        const QString other = dir.path() + QStringLiteral("/nomes.dbf");
        QFile::remove(other);
        makeDbf(other, {textField("NOME", 10)}, {{txt("DORA")}, {txt("EVA")}});
        table.Bind(other);
        const QString missing = QStringLiteral("Table1: Campo CIDADE não encontrado");
        QCOMPARE(errorText([&] { BVerClick(nullptr, table); }), missing);

        // Opened and left with Cancelar: nothing changes.
        struct Shown {
            QString message, text;
            int caret = -1;
            QStringList fields;
        };
        auto openDialog = [&](std::function<void(TF_Filtro*)> then) {
            auto shown = std::make_shared<Shown>();
            whenModal<QMessageBox>([shown, then](QMessageBox* box) {
                shown->message = box->text();
                box->buttons().value(0)->click();
                whenModal<TF_Filtro>([shown, then](TF_Filtro* d) {
                    shown->text = d->Edit1->text();
                    shown->caret = d->Edit1->cursorPosition();
                    for (int i = 0; i < d->ComboBox1->count(); ++i)
                        shown->fields << d->ComboBox1->itemText(i);
                    then(d);
                });
            });
            BFiltroClick(nullptr, table);
            return shown;
        };
        auto shown = openDialog([](TF_Filtro* d) { d->BitBtn2->click(); });
        QCOMPARE(shown->message, missing + QLatin1Char('.'));
        QCOMPARE(shown->text, QStringLiteral("CIDADE = 'Recife'"));
        QCOMPARE(shown->caret, 0);
        QCOMPARE(shown->fields, QStringList{QStringLiteral("NOME")});
        QCOMPARE(table.Filter(), QStringLiteral("CIDADE = 'Recife'"));
        QVERIFY(!table.Filtered());
        QVERIFY(!table.Active());

        // Changed to a condition the table can take: stored and on, the viewer opens again.
        shown = openDialog([](TF_Filtro* d) {
            d->Edit1->setText(QStringLiteral("NOME = 'EVA'"));
            d->BitBtn1->click();
        });
        QCOMPARE(shown->text, QStringLiteral("CIDADE = 'Recife'"));
        QCOMPARE(table.Filter(), QStringLiteral("NOME = 'EVA'"));
        QVERIFY(table.Filtered());
        QVERIFY(!table.Active());
        int rows = -1;
        onNext<TF_Consulta>([&](TF_Consulta* v) {
            rows = v->model()->rowCount();
            v->close();
        });
        BVerClick(nullptr, table);
        QCOMPARE(rows, 1);

        // Cleared in the dialog: every record.
        table.SetFilter(QStringLiteral("CIDADE = 'Recife'"));
        shown = openDialog([](TF_Filtro* d) {
            d->Edit1->clear();
            d->BitBtn1->click();
        });
        QVERIFY(table.Filter().isEmpty());
        QVERIFY(table.Filtered());
        onNext<TF_Consulta>([&](TF_Consulta* v) {
            rows = v->model()->rowCount();
            v->close();
        });
        BVerClick(nullptr, table);
        QCOMPARE(rows, 2);
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

    void filterDialogLayoutAndKeyboardOrder()
    {
        Table table(QStringLiteral("Table1"));
        table.Bind(path);
        QString focusAtStart;
        QStringList order;
        QRect edit, combo, speed, ok, cancel, client;
        bool sizeable = true;
        onNext<TF_Filtro>([&](TF_Filtro* d) {
            d->activateWindow();
            QTRY_VERIFY(QApplication::focusWidget());
            focusAtStart = QApplication::focusWidget()->objectName();
            for (int i = 0; i < 4; ++i) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                order << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString());
            }
            edit = d->Edit1->geometry();
            combo = d->ComboBox1->geometry();
            speed = d->SpeedButton1->geometry();
            ok = d->BitBtn1->geometry();
            cancel = d->BitBtn2->geometry();
            client = d->rect();
            sizeable = d->minimumSize() != d->maximumSize();
            QVERIFY(!d->ComboBox1->isEditable());
            QCOMPARE(d->Label1->text(), QStringLiteral("Filtro a Executar:"));
            QCOMPARE(d->Label2->text(), QStringLiteral("Campos da Tabela:"));
            QCOMPARE(d->BitBtn1->text(), QStringLiteral("OK"));
            QCOMPARE(d->BitBtn2->text(), QStringLiteral("Cancelar"));
            QVERIFY(d->SpeedButton1->text().isEmpty() || d->SpeedButton1->toolButtonStyle() == Qt::ToolButtonIconOnly);
            d->close();
        });
        BFiltroClick(nullptr, table);
        QCOMPARE(focusAtStart, QStringLiteral("Edit1"));
        QCOMPARE(order, (QStringList{QStringLiteral("BitBtn1"), QStringLiteral("BitBtn2"), QStringLiteral("ComboBox1"),
                                     QStringLiteral("Edit1")}));
        QCOMPARE(client, QRect(0, 0, 536, 91));
        QVERIFY(!sizeable);
        QCOMPARE(edit, QRect(8, 24, 517, 24));
        QCOMPARE(combo, QRect(132, 60, 145, 24));
        QCOMPARE(speed, QRect(280, 60, 23, 25));
        QCOMPARE(ok, QRect(328, 56, 97, 29));
        QCOMPARE(cancel, QRect(428, 56, 97, 29));
    }

    void viewerLayout()
    {
        Table table(QStringLiteral("Table1"));
        table.Bind(path);
        QRect nav, grid;
        int columns = -1;
        QString firstTitle, lastTitle;
        onNext<TF_Consulta>([&](TF_Consulta* v) {
            QCOMPARE(v->objectName(), QStringLiteral("F_Consulta"));
            QVERIFY(v->isSizeGripEnabled() || v->minimumSize() != v->maximumSize());
            nav = v->DBNavigator1->geometry();
            grid = v->DBGrid1->geometry();
            columns = v->model()->columnCount();
            firstTitle = v->model()->headerData(1, Qt::Horizontal).toString();
            lastTitle = v->model()->headerData(columns - 1, Qt::Horizontal).toString();
            v->close();
        });
        BVerClick(nullptr, table);
        QCOMPARE(nav, QRect(0, 0, 594, 25));
        QCOMPARE(grid, QRect(0, 25, 594, 387));
        QCOMPARE(columns, 3);  // the record indicator, then one column per field in table order
        QCOMPARE(firstTitle, QStringLiteral("NOME"));
        QCOMPARE(lastTitle, QStringLiteral("CIDADE"));
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
