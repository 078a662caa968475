// The field assembly dialog's buttons, and "Montar..." from the main window: OK and Cancel,
// the mapping list replaced, the key-field lists refilled without a selection.
#include "app/Quillora.h"
#include "tables/Regional.h"
#include "tables/Table.h"
#include "tables/engine/Engine.h"
#include "tests/run/DbfFixture.h"
#include "tests/toolkit/ModalAnswer.h"
#include "toolkit/FileNameEdit.h"
#include "toolkit/InputBox.h"
#include "transfer/ui/U_Campos.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace quillora;
using namespace quillora::test;
using quillora::transfer::TF_Campos;

namespace {

QStringList itemsOf(const QListWidget* l)
{
    QStringList out;
    for (int i = 0; i < l->count(); ++i)
        out << l->item(i)->text();
    return out;
}

QStringList itemsOf(const QComboBox* c)
{
    QStringList out;
    for (int i = 0; i < c->count(); ++i)
        out << c->itemText(i);
    return out;
}

void select(QListWidget* l, int row)
{
    l->clearSelection();
    if (row >= 0)
        l->item(row)->setSelected(true);
}

// Answers the next input box: types `text` and presses Enter, or presses Esc when text is null.
std::shared_ptr<SeenBox> answerInput(const QString& text, QString* prompt = nullptr)
{
    return answerNextBox(QString(), [text, prompt](QWidget* modal) {
        auto* box = qobject_cast<toolkit::InputBox*>(modal);
        if (!box) {
            modal->close();
            return;
        }
        if (prompt)
            *prompt = box->windowTitle() + QLatin1Char('|') + box->prompt()->text() + QLatin1Char('|') + box->edit()->text();
        if (text.isNull()) {
            QTest::keyClick(box->edit(), Qt::Key_Escape);
            return;
        }
        QTest::keyClicks(box->edit(), text);
        QTest::keyClick(box->edit(), Qt::Key_Return);
    });
}

}  // namespace

class FieldAssemblyTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString src, dst;

private slots:
    void initTestCase()
    {
        registerBuiltinFormats();
        Regional::setCurrent(QLocale(QLocale::Portuguese, QLocale::Brazil));
        src = dir.path() + QStringLiteral("/fonte.dbf");
        dst = dir.path() + QStringLiteral("/destino.dbf");
        makeDbf(src, {textField("COD", 6), textField("NOME", 12)});
        makeDbf(dst, {textField("CODIGO", 6), textField("NOME_CLI", 12), textField("OBS", 8)});
    }
    void cleanup() { cancelPendingAnswers(); }

    void buttonsWithAndWithoutSelections()
    {
        TF_Campos d;
        d.ListBox1->addItems({"COD", "NOME"});
        d.ListBox2->addItems({"CODIGO", "NOME_CLI", "OBS"});

        // Nothing selected: no button adds, removes or asks anything.
        auto asked = answerInput(QStringLiteral("9"));
        for (QPushButton* b : {d.BitBtn3, d.BitBtn4, d.BitBtn5, d.BitBtn6})
            b->click();
        QTest::qWait(30);
        QCOMPARE(asked->count, 0);
        QVERIFY(itemsOf(d.ListBox3).isEmpty());
        cancelPendingAnswers();

        select(d.ListBox1, 1);  // a source field alone makes no pair
        d.BitBtn3->click();
        QVERIFY(itemsOf(d.ListBox3).isEmpty());
        select(d.ListBox2, 1);
        d.BitBtn3->click();
        d.BitBtn3->click();  // the same pair twice is allowed

        select(d.ListBox1, -1);  // the sequence and the text need only a destination field
        select(d.ListBox2, 0);
        QString seen;
        answerInput(QString(), &seen);  // Esc: the default "1", and the line is still added
        d.BitBtn5->click();
        QCOMPARE(seen, QStringLiteral("Sequencia|Número Inicial da sequencia|1"));
        answerInput(QStringLiteral("0010"));
        d.BitBtn5->click();
        select(d.ListBox2, 2);
        answerInput(QString(), &seen);
        d.BitBtn6->click();
        QCOMPARE(seen, QStringLiteral("Texto|Informe o texto fixo para o campo|"));
        answerInput(QStringLiteral("A=B"));
        d.BitBtn6->click();
        QCOMPARE(itemsOf(d.ListBox3), QStringList({"NOME_CLI=NOME", "NOME_CLI=NOME", "CODIGO=@1", "CODIGO=@0010",
                                                   "OBS=#", "OBS=#A=B"}));

        select(d.ListBox3, 1);
        d.BitBtn4->click();
        QCOMPARE(itemsOf(d.ListBox3), QStringList({"NOME_CLI=NOME", "CODIGO=@1", "CODIGO=@0010", "OBS=#", "OBS=#A=B"}));
        QVERIFY(d.ListBox3->selectedItems().isEmpty());
        d.BitBtn4->click();  // nothing selected after a removal: nothing more goes
        QCOMPARE(d.ListBox3->count(), 5);
    }

    void looksAsItShould()
    {
        TF_Campos d;
        QCOMPARE(d.windowTitle(), QStringLiteral("Montagem dos Campos"));
        QCOMPARE(d.size(), QSize(559, 387));
        QCOMPARE(QStringList({d.Label2->text(), d.Label3->text(), d.Label6->text()}),
                 QStringList({"Campo Fonte:", "Campo Destino:", "Relacionados"}));
        QCOMPARE(d.BitBtn1->text(), QStringLiteral("&Ok"));
        QVERIFY(d.BitBtn1->isDefault());
        QCOMPARE(d.BitBtn2->text(), QStringLiteral("Cancelar"));

        d.show();
        QVERIFY(QTest::qWaitForWindowActive(&d));
        d.ListBox1->setFocus();
        QStringList chain;
        for (int i = 0; i < 9; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            chain << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(chain, QStringList({"ListBox2", "BitBtn1", "BitBtn2", "ListBox3", "BitBtn3", "BitBtn4", "BitBtn5",
                                     "BitBtn6", "ListBox1"}));

        // Esc answers Cancel.
        QTest::keyClick(d.ListBox1, Qt::Key_Escape);
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QVERIFY(!d.isVisible());
    }

    void montarOkAndCancelFromTheMainWindow()
    {
        app::TF_Principal w;
        w.show();
        w.NTabelaFonte->setText(src);
        w.NTabelaDestino->setText(dst);
        w.Memo1->setPlainText(QStringLiteral("OBS=#velho\n"));
        w.ChaveIndPai->addItem(QStringLiteral("antigo"));
        w.ChaveIndPai->setCurrentIndex(0);

        struct Shown {
            QStringList source, destination, lines;
            QString title;
        };
        auto answerDialog = [](bool ok, Shown* shown) {
            answerNextBox(QString(), [ok, shown](QWidget* modal) {
                auto* d = qobject_cast<TF_Campos*>(modal);
                if (!d) {
                    shown->title = QString::fromLatin1(modal->metaObject()->className()) + QLatin1Char(' ') +
                                   modal->windowTitle();
                    for (QLabel* l : modal->findChildren<QLabel*>())
                        shown->title += QLatin1Char(' ') + l->text();
                    modal->close();
                    return;
                }
                *shown = {itemsOf(d->ListBox1), itemsOf(d->ListBox2), itemsOf(d->ListBox3), d->windowTitle()};
                select(d->ListBox1, 0);
                select(d->ListBox2, 0);
                d->BitBtn3->click();
                (ok ? d->BitBtn1 : d->BitBtn2)->click();
            });
        };

        Shown shown;
        answerDialog(false, &shown);
        w.BMontar->click();
        QCOMPARE(shown.title, QStringLiteral("Montagem dos Campos"));
        QCOMPARE(shown.source, QStringList({"COD", "NOME"}));
        QCOMPARE(shown.destination, QStringList({"CODIGO", "NOME_CLI", "OBS"}));
        QCOMPARE(shown.lines, QStringList({"OBS=#velho"}));
        QCOMPARE(w.Memo1->toPlainText(), QStringLiteral("OBS=#velho\n"));  // Cancel keeps the list
        for (QComboBox* c : {w.ChaveIndPai, w.ChaveIndFilho})
            QCOMPARE(c->currentIndex(), -1);
        QCOMPARE(itemsOf(w.ChaveIndPai), QStringList({"COD", "NOME"}));
        QCOMPARE(itemsOf(w.ChaveIndFilho), QStringList({"CODIGO", "NOME_CLI", "OBS"}));
        QVERIFY(!w.Table1->Active() && !w.Table2->Active());

        w.ChaveIndFilho->setCurrentIndex(1);
        answerDialog(true, &shown);
        w.BMontar->click();
        QCOMPARE(w.Memo1->toPlainText(), QStringLiteral("OBS=#velho\nCODIGO=COD"));
        QCOMPARE(w.ChaveIndFilho->currentIndex(), -1);
        QCOMPARE(itemsOf(w.ChaveIndFilho), QStringList({"CODIGO", "NOME_CLI", "OBS"}));

        // Opened again after OK, the dialog shows the lines assembled before.
        answerDialog(false, &shown);
        w.BMontar->click();
        QCOMPARE(shown.lines, QStringList({"OBS=#velho", "CODIGO=COD"}));
    }

    // QUILLORA_SCREENSHOT_DIR=docs: the picture of the dialog for the documentation.
    void screenshot()
    {
        const QString out = qEnvironmentVariable("QUILLORA_SCREENSHOT_DIR");
        if (out.isEmpty())
            QSKIP("QUILLORA_SCREENSHOT_DIR not set");
        TF_Campos d;
        d.ListBox1->addItems({"COD", "NOME", "CIDADE", "VALOR", "NASC"});
        d.ListBox2->addItems({"CODIGO", "NOME_CLI", "MUNICIPIO", "SALDO", "DATA_NASC", "OBS"});
        d.ListBox3->addItems({"CODIGO=@0001", "NOME_CLI=NOME", "MUNICIPIO=CIDADE", "SALDO=VALOR", "OBS=#importado"});
        select(d.ListBox1, 4);
        select(d.ListBox2, 4);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QVERIFY(d.grab().save(out + QStringLiteral("/field-assembly.png")));
    }

    void aTableThatFailsToOpenShowsNoDialog()
    {
        app::TF_Principal w;
        w.NTabelaFonte->setText(src);
        w.NTabelaDestino->setText(dir.path() + QStringLiteral("/nao_ha.dbf"));
        w.Memo1->setPlainText(QStringLiteral("A=B"));
        auto box = answerNextBox(QStringLiteral("OK"));
        w.BMontar->click();
        QCOMPARE(box->count, 1);
        QCOMPARE(box->title, QStringLiteral("Quillora"));  // the default error box, not the dialog
        QVERIFY2(box->text.contains(QStringLiteral("nao_ha.dbf")), qPrintable(box->text));
        QCOMPARE(w.Memo1->toPlainText(), QStringLiteral("A=B"));
        QCOMPARE(w.ChaveIndPai->count(), 0);
    }
};

QTEST_MAIN(FieldAssemblyTest)
#include "FieldAssemblyTest.moc"
