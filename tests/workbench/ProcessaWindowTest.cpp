// The processing window's wiring, offscreen: opening, the index chooser, a refusal, Cancel in
// a dialog, the navigator's delete.
#include "app/Quillora.h"
#include "tables/Regional.h"
#include "toolkit/FileNameEdit.h"
#include "tables/Table.h"
#include "tables/engine/Engine.h"
#include "tables/paradox/ParadoxFormat.h"
#include "tests/run/DbfFixture.h"
#include "tests/toolkit/ModalAnswer.h"
#include "toolkit/NavigatorBar.h"
#include "toolkit/TableGridModel.h"
#include "workbench/ui/ParameterDialogs.h"
#include "workbench/ui/U_Processa.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using namespace quillora;
using namespace quillora::test;
using quillora::workbench::ui::TF_Processa;

class ProcessaWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString keyed;  // Paradox, key ID, three records
    QString dbf;

    void pickColumn(TF_Processa& w, int field)
    {
        w.RxDBGrid1->setCurrentIndex(w.DataSource1->index(w.DataSource1->currentRow(), field));
    }

private slots:
    void initTestCase()
    {
        Regional::setCurrent(QLocale(QLocale::Portuguese, QLocale::Brazil));
        registerBuiltinFormats();
        keyed = dir.path() + "/clientes.db";
        createParadoxTable(keyed, {FieldDef{"ID", ftInteger}, FieldDef{"NOME", ftString, 10}}, ParadoxCreateOptions(7, 1));
        Table t("T");
        t.Bind(keyed);
        t.Open();
        for (int i = 1; i <= 3; ++i) {
            t.Append();
            t.Fields(0)->SetValue(Value::integer(i));
            t.Fields(1)->SetValue(Value::text(QStringLiteral("nome %1").arg(i)));
            t.Post();
        }
        t.Close();
        dbf = dir.path() + "/itens.dbf";
        makeDbf(dbf, {textField("DESCR", 12), FieldDef{"QTD", ftInteger, 5}},
                {{txt("um"), Value::integer(1)}, {txt("dois"), Value::integer(2)}});
    }

    void cleanup() { cancelPendingAnswers(); }

    // Opened over a closed table: bound from the file name, shown, and the table closed after.
    void opensBindsAndClosesTheTable()
    {
        for (const QString& path : {keyed, dbf}) {
            Table table("Table1");
            QString caption, panel0, panel1;
            answerNextBox({}, [&](QWidget* modal) {
                auto* w = qobject_cast<TF_Processa*>(modal);
                QVERIFY(w);
                caption = w->windowTitle();
                panel0 = w->statusPanel(0);
                panel1 = w->statusPanel(1);
                w->SpeedButton5->click();
            });
            TF_Processa::processa(nullptr, &table, path);
            QCOMPARE(caption, QStringLiteral("Processamento de tabela"));
            QCOMPARE(panel0, QStringLiteral("Quantidade de registros: %1").arg(path == keyed ? 3 : 2));
            QCOMPARE(panel1, QStringLiteral("Processamento de tabelas"));
            QVERIFY(!table.Active());
            QCOMPARE(table.FilePath(), path);
        }
        // A missing file: the error escapes and no window opens.
        Table missing("Table1");
        bool failed = false;
        try {
            TF_Processa::processa(nullptr, &missing, dir.path() + "/nada.dbf");
        } catch (const Error&) {
            failed = true;
        }
        QVERIFY(failed);
    }

    // The main window's two buttons open the window over their own table, from its edit.
    void mainWindowButtons()
    {
        app::TF_Principal main;
        main.NTabelaFonte->setText(keyed);
        main.NTabelaDestino->setText(dbf);
        for (auto [button, table] : {std::pair{main.BitBtn7, main.Table1}, std::pair{main.BitBtn8, main.Table2}}) {
            Table* shown = nullptr;
            QString panel0;
            answerNextBox({}, [&](QWidget* modal) {
                auto* w = qobject_cast<TF_Processa*>(modal);
                QVERIFY(w);
                shown = w->table();
                panel0 = w->statusPanel(0);
                w->close();
            });
            button->click();
            QCOMPARE(shown, table);
            QCOMPARE(panel0, QStringLiteral("Quantidade de registros: %1").arg(table == main.Table1 ? 3 : 2));
            QVERIFY(!table->Active());
        }
        QVERIFY(main.findChildren<TF_Processa*>().isEmpty());
    }

    // Each column run opened from the main window ends with the run's summary over the
    // processing window (without "Desfazer": the window's operation is still open); with the
    // source's filter on, the run sees only its records and the count names the filter.
    void columnRunShowsItsSummary()
    {
        const QString path = dir.path() + "/caixa.dbf";
        makeDbf(path, {textField("DESCR", 12)}, {{txt("um")}, {txt("dois")}, {txt("TRES")}});
        app::TF_Principal main;
        main.NTabelaFonte->setText(path);
        main.Table1->SetFilter("DESCR <> 'dois'");
        main.Table1->SetFiltered(true);
        QString summary, panel0;
        bool undoVisible = true;
        answerNextBox({}, [&](QWidget* modal) {
            auto* w = qobject_cast<TF_Processa*>(modal);
            QVERIFY(w);
            pickColumn(*w, 0);
            answerNextBox({}, [](QWidget* question) {
                for (QAbstractButton* b : question->findChildren<QAbstractButton*>())
                    if (b->text() == QStringLiteral("&Sim"))
                        b->click();
                answerNextBox(QStringLiteral("&Ok"));  // "Dados processados com sucesso !"
            });
            w->SpeedButton7->click();
            panel0 = w->findChild<QLabel*>(QStringLiteral("Panel0"))->toolTip();
            auto* dialog = w->findChild<QDialog*>(QStringLiteral("RunSummaryDialog"));
            if (dialog) {
                summary = dialog->findChild<QLabel*>(QStringLiteral("summaryText"))->text();
                undoVisible = !dialog->findChild<QPushButton*>(QStringLiteral("undoRun"))->isHidden();
                // QUILLORA_SCREENSHOTS=folder: the window with the summary beside it.
                const QString shot = qEnvironmentVariable("QUILLORA_SCREENSHOTS");
                if (!shot.isEmpty()) {
                    const QPixmap window = w->grab();
                    const QPixmap box = dialog->grab();
                    QPixmap both(window.width() + box.width() + 8, std::max(window.height(), box.height()));
                    both.fill(Qt::white);
                    QPainter p(&both);
                    p.drawPixmap(0, 0, window);
                    p.drawPixmap(window.width() + 8, 0, box);
                    p.end();
                    QVERIFY(both.save(shot + "/column-run-summary.png"));
                }
            }
            w->close();
        });
        main.BitBtn7->click();
        QVERIFY2(summary.startsWith(QStringLiteral("Registros lidos: 2\nIncluídos: 0\nAlterados: 1\nInalterados: 1\n"
                                                   "Sem correspondência: 0\nCom erro: 0\nTempo: ")),
                 qPrintable(summary));
        QVERIFY(!undoVisible);
        QCOMPARE(panel0, QStringLiteral("Quantidade de registros: 2 — filtro: DESCR <> 'dois'"));
        QCOMPARE(columnOf(path, "DESCR"), QStringList({"UM", "dois", "TRES"}));
    }

    // With a filter on, the record count says so; the caption stays the window's own.
    void recordCountTellsTheFilter()
    {
        Table table("Table1");
        table.Bind(dbf);
        table.SetFilter("DESCR = 'um'");
        table.SetFiltered(true);
        table.Open();
        TF_Processa w(&table, nullptr);
        // Whole in the tip; the panel shows as much as fits.
        const QString whole = QStringLiteral("Quantidade de registros: 1 — filtro: DESCR = 'um'");
        QCOMPARE(w.findChild<QLabel*>(QStringLiteral("Panel0"))->toolTip(), whole);
        const QString shown = w.statusPanel(0);
        QVERIFY2(shown == whole || (shown.endsWith(QChar(0x2026)) && whole.startsWith(shown.chopped(1))), qPrintable(shown));
        QCOMPARE(w.windowTitle(), QStringLiteral("Processamento de tabela"));
        table.Close();
    }

    // The chooser starts blank, the choice orders the table and is shown again next time.
    void indexChoiceStaysOnTheTable()
    {
        Table table("Table1");
        table.Bind(keyed);
        table.Open();
        {
            TF_Processa w(&table, nullptr);
            QCOMPARE(w.DBIndexCombo1->count(), 1);
            QCOMPARE(w.DBIndexCombo1->itemText(0), QStringLiteral("ID"));
            QCOMPARE(w.DBIndexCombo1->currentIndex(), -1);
            emit w.DBIndexCombo1->activated(0);
            QCOMPARE(table.IndexFieldNames(), QStringLiteral("ID"));
        }
        table.Close();
        table.Open();
        TF_Processa again(&table, nullptr);
        QCOMPARE(again.DBIndexCombo1->currentIndex(), 0);
        table.Close();
    }

    void refusalAndCancel()
    {
        Table table("Table1");
        table.Bind(dbf);
        table.Open();
        TF_Processa w(&table, nullptr);
        w.show();
        pickColumn(w, 1);  // QTD, an integer
        auto refusal = answerNextBox(QStringLiteral("&Ok"));
        w.SpeedButton1->click();
        QTRY_COMPARE(refusal->count, 1);
        QCOMPARE(refusal->text, QStringLiteral("Este campo não pode ser processado com zeros a esquerda !"));
        QCOMPARE(w.statusPanel(1), QStringLiteral("Processamento de tabelas"));

        // Fill of the text column, cancelled in its dialog.
        pickColumn(w, 0);
        QString title;
        QPoint where;
        answerNextBox({}, [&](QWidget* modal) {
            title = modal->windowTitle();
            where = modal->pos();
            auto* d = qobject_cast<workbench::ui::TF_PCampos*>(modal);
            QVERIFY(d);
            d->Edit1->setText("mudou");
            d->BitBtn2->click();
        });
        w.SpeedButton2->click();
        QCOMPARE(title, QStringLiteral("Preechimento de campos"));
        QCOMPARE(where, QPoint(223, 224));
        QCOMPARE(table.FieldByName("DESCR")->AsString(), QStringLiteral("um"));

        // And with OK: both records filled, the completion message shown.
        answerNextBox({}, [&](QWidget* modal) {
            auto* d = qobject_cast<workbench::ui::TF_PCampos*>(modal);
            QVERIFY(d);
            d->Edit1->setText("novo");
            d->BitBtn1->click();
            answerNextBox(QStringLiteral("&Ok"));
        });
        w.SpeedButton2->click();
        QCOMPARE(w.statusPanel(1), QStringLiteral("Processamento de tabelas"));
        w.close();
        table.Close();
        QCOMPARE(columnOf(dbf, "DESCR"), QStringList({"novo", "novo"}));
    }

    // A run over more records than the grid shows: the completion message comes with the
    // progress at 100 %, and the grid, back on the table's last record in the column chosen,
    // shows the new values also in the rows it had read before the run.
    void runEndsAtFullProgressWithTheGridReadAgain()
    {
        const QString path = dir.path() + "/longa.dbf";
        QList<QList<Value>> rows;
        for (int i = 1; i <= 500; ++i)
            rows << QList<Value>{Value::integer(i), Value::text(QStringLiteral("x%1").arg(i))};
        makeDbf(path, {FieldDef{"N", ftInteger, 5}, textField("COD", 6)}, rows);
        Table table("Table1");
        table.Bind(path);
        table.Open();
        TF_Processa w(&table, nullptr);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        pickColumn(w, 1);
        QCOMPARE(w.DataSource1->data(w.DataSource1->index(0, 1)).toString(), QStringLiteral("x1"));
        QString panelAtTheEnd;
        answerNextBox({}, [&](QWidget* box) {
            panelAtTheEnd = w.statusPanel(1);
            for (QAbstractButton* b : box->findChildren<QAbstractButton*>())
                if (b->text() == QStringLiteral("&Ok"))
                    b->click();
        });
        w.SpeedButton6->click();  // the record number, with zeros to the left
        QCOMPARE(panelAtTheEnd, QStringLiteral("Percentual processado: 100 %"));
        QCOMPARE(w.RxDBGrid1->currentIndex().row(), 499);
        QCOMPARE(w.RxDBGrid1->currentField(), 1);
        QCOMPARE(w.DataSource1->rowCount(), 500);
        QCOMPARE(w.DataSource1->data(w.DataSource1->index(0, 1)).toString(), QStringLiteral("000001"));
        QCOMPARE(w.DataSource1->data(w.DataSource1->index(499, 1)).toString(), QStringLiteral("000500"));
        w.close();
        table.Close();
        QCOMPARE(columnOf(path, "COD").value(249), QStringLiteral("000250"));
    }

    // A table already open is taken as it is: no binding, shown at its current record.
    void alreadyOpenTableKeepsItsRecord()
    {
        Table table("Table1");
        table.Bind(keyed);
        table.Open();
        QVERIFY(table.MoveToPosition(3));
        int row = -1;
        QString panel0;
        answerNextBox({}, [&](QWidget* modal) {
            auto* w = qobject_cast<TF_Processa*>(modal);
            QVERIFY(w);
            row = w->RxDBGrid1->currentIndex().row();
            panel0 = w->statusPanel(0);
            w->SpeedButton5->click();
        });
        TF_Processa::processa(nullptr, &table, QString());
        QCOMPARE(row, 2);
        QCOMPARE(panel0, QStringLiteral("Quantidade de registros: 3"));
        QVERIFY(!table.Active());
        QCOMPARE(table.FilePath(), keyed);
    }

    // Esc does not close the window; during a run neither does its close button, and the
    // toolbar and grid take no input.
    void closesOnlyByItsButtonsAndNotDuringARun()
    {
        Table table("Table1");
        table.Bind(dbf);
        table.Open();
        TF_Processa w(&table, nullptr);
        w.show();
        QTest::keyClick(w.RxDBGrid1, Qt::Key_Escape);
        QTest::keyClick(w.DBIndexCombo1, Qt::Key_Escape);
        QVERIFY(w.isVisible());

        w.runStarted();
        w.close();
        QVERIFY(w.isVisible());
        QVERIFY(!w.SpeedButton1->isEnabled());
        QVERIFY(!w.SpeedButton5->isEnabled());
        QVERIFY(!w.RxDBGrid1->isEnabled());
        QVERIFY(w.StatusBar1->isEnabled());
        w.runEnded(RecordRunResult());
        QVERIFY(w.SpeedButton1->isEnabled());
        w.SpeedButton5->click();
        QVERIFY(!w.isVisible());
        table.Close();
    }

    // A table error ends the run: by the time its box shows, display updates are back and the
    // record in hand is discarded.
    void tableErrorBoxComesAfterTheRunIsUndone()
    {
        const QString path = dir.path() + "/dup.db";
        createParadoxTable(path, {FieldDef{"COD", ftString, 4}}, ParadoxCreateOptions(7, 1));
        Table table("Table1");
        table.Bind(path);
        table.Open();
        for (const char* k : {"1", "2", "3"}) {
            table.Append();
            table.Fields(0)->SetValue(Value::text(k));
            table.Post();
        }
        table.First();
        TF_Processa w(&table, nullptr);
        w.show();
        bool disabled = true;
        bool inputOn = false;
        Table::State state = Table::State::Edit;
        std::shared_ptr<SeenBox> error;
        answerNextBox({}, [&](QWidget* modal) {
            auto* d = qobject_cast<workbench::ui::TF_PCampos*>(modal);
            QVERIFY(d);
            d->Edit1->setText("X");  // the second record cannot take the key the first now has
            error = answerNextBox({}, [&](QWidget* box) {
                disabled = table.ControlsDisabled();
                state = table.state();
                inputOn = w.SpeedButton1->isEnabled() && w.RxDBGrid1->isEnabled();
                box->close();
            });
            d->BitBtn1->click();
        });
        w.SpeedButton2->click();
        QTRY_VERIFY(error && error->count == 1);
        QCOMPARE(error->title, QStringLiteral("Quillora"));
        QVERIFY(!disabled);
        QCOMPARE(state, Table::State::Browse);
        QVERIFY(inputOn);
        w.close();
        table.Close();
        QCOMPARE(columnOf(path, "COD"), QStringList({"2", "3", "X"}));
    }

    // A spin field left with a number out of range shows the nearest bound.
    void spinFieldsComeBackToTheNearestBound()
    {
        workbench::ui::TF_Apaga d;
        d.show();
        QApplication::setActiveWindow(&d);
        d.RxSpinEdit2->setValue(5);
        d.RxSpinEdit2->setFocus();
        d.RxSpinEdit2->selectAll();
        QTest::keyClicks(d.RxSpinEdit2, "0");
        d.BitBtn2->setFocus();
        QCOMPARE(d.RxSpinEdit2->value(), 1);
        QCOMPARE(d.count(), 1);
    }

    // Every label of the parameter dialogs shows its whole text, clear of the fields beside it
    // and inside the dialog, whatever font stands in for Arial.
    void parameterDialogLabelsFitTheirText()
    {
        workbench::ui::TF_Zeros zeros;
        workbench::ui::TF_PCampos fill;
        workbench::ui::TF_Apaga cut;
        for (QDialog* d : std::initializer_list<QDialog*>{&zeros, &fill, &cut}) {
            d->show();
            QVERIFY(QTest::qWaitForWindowExposed(d));
            const QList<QWidget*> controls = d->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
            for (QLabel* l : d->findChildren<QLabel*>()) {
                const QString what = d->windowTitle() + QStringLiteral(": ") + l->text();
                QVERIFY2(l->width() >= l->sizeHint().width(), qPrintable(what));
                QVERIFY2(l->height() >= l->sizeHint().height(), qPrintable(what));
                QVERIFY2(d->rect().contains(l->geometry()), qPrintable(what));
                for (QWidget* c : controls)
                    if (c != l && !qobject_cast<QLabel*>(c))
                        QVERIFY2(!c->geometry().intersects(l->geometry()), qPrintable(what + " / " + c->objectName()));
            }
            for (QWidget* c : controls)
                QVERIFY2(d->rect().contains(c->geometry()), qPrintable(d->windowTitle() + " / " + c->objectName()));
        }
        QCOMPARE(fill.windowTitle(), QStringLiteral("Preechimento de campos"));
        QCOMPARE(fill.findChild<QLabel*>(QStringLiteral("Label1"))->text(),
                 QStringLiteral("Informe o valor para processamento"));
        QCOMPARE(fill.size(), QSize(482, 83));
        const QString shot = qEnvironmentVariable("QUILLORA_SCREENSHOTS");
        if (!shot.isEmpty()) {
            QVERIFY(zeros.grab().save(shot + QStringLiteral("/zeros.png")));
            QVERIFY(fill.grab().save(shot + QStringLiteral("/preenchimento.png")));
            QVERIFY(cut.grab().save(shot + QStringLiteral("/apaga.png")));
        }
    }

    // The grid's columns take the width of their titles and of the values in view when the
    // window opens.
    void gridColumnsFitTitlesAndValues()
    {
        const QString path = dir.path() + "/largos.dbf";
        QFile::remove(path);
        makeDbf(path, {textField("CODIGO", 4), textField("DESCRICAO", 40), FieldDef{"NASCIMENTO", ftDate}},
                {{txt("0001"), txt("Parafuso sextavado de aço inoxidável 3/8"), Value::date(QDate(1975, 3, 14))},
                 {txt("0002"), txt("Porca"), Value()}});
        Table table("Table1");
        QStringList cut;
        answerNextBox({}, [&](QWidget* modal) {
            auto* w = qobject_cast<TF_Processa*>(modal);
            QVERIFY(w);
            auto* grid = w->RxDBGrid1;
            for (int c = 0; c < w->DataSource1->columnCount(); ++c) {
                const QString title = w->DataSource1->headerData(c, Qt::Horizontal).toString();
                if (grid->columnWidth(c) < grid->horizontalHeader()->sectionSizeHint(c))
                    cut << title;
                for (int r = 0; r < w->DataSource1->rowCount(); ++r) {
                    const QModelIndex i = w->DataSource1->index(r, c);
                    if (grid->columnWidth(c) < grid->sizeHintForIndex(i).width())
                        cut << title + "/" + i.data().toString();
                }
            }
            w->SpeedButton5->click();
        });
        TF_Processa::processa(nullptr, &table, path);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(", ")));
    }

    void navigatorDeleteAsks()
    {
        Table table("Table1");
        table.Bind(keyed);
        table.Open();
        TF_Processa w(&table, nullptr);
        w.show();
        QVERIFY(!w.DBNavigator1->button(toolkit::NavigatorBar::Insert));
        pickColumn(w, 1);
        auto no = answerNextBox(QStringLiteral("&Cancelar"));
        w.DBNavigator1->button(toolkit::NavigatorBar::Delete)->click();
        QCOMPARE(no->text, QStringLiteral("Apagar registro?"));
        QCOMPARE(table.RecordCount(), 3);
        auto yes = answerNextBox(QStringLiteral("&Ok"));
        w.DBNavigator1->button(toolkit::NavigatorBar::Delete)->click();
        QCOMPARE(yes->count, 1);
        QCOMPARE(table.RecordCount(), 2);
        QCOMPARE(w.statusPanel(0), QStringLiteral("Quantidade de registros: 3"));
        QCOMPARE(w.DataSource1->rowCount(), 2);
        QCOMPARE(w.RxDBGrid1->currentField(), 1);  // the grid's column survives the re-read

        const QString shot = qEnvironmentVariable("QUILLORA_SCREENSHOT");
        if (!shot.isEmpty()) {
            w.resize(541, 438);
            w.DBIndexCombo1->setCurrentIndex(0);
            w.setStatusText(QStringLiteral("Percentual processado: 100 %"));
            QVERIFY(w.grab().save(shot));
        }
        w.close();
        table.Close();
    }
};

QTEST_MAIN(ProcessaWindowTest)
#include "ProcessaWindowTest.moc"
