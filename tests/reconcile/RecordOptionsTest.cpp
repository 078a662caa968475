// The record options dialog, and "Comparar" from the main window: the verification question,
// the dialog for each difference, the divergence list in the home directory.
#include "app/Quillora.h"
#include "app/U_Progresso.h"
#include "reconcile/ui/U_OpcoesAcao.h"
#include "tables/Regional.h"
#include "tables/engine/Engine.h"
#include "tests/run/DbfFixture.h"
#include "tests/support/TestSupport.h"
#include "tests/toolkit/ModalAnswer.h"
#include "toolkit/FileNameEdit.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

using namespace quillora;
using namespace quillora::test;
using quillora::reconcile::TF_OpcoesAcao;

namespace {

// Answers the next record options dialog: picks `item` (unless -1), then OK, or Esc when ok is
// false; records the item selected and the text shown when it opened.
void answerOptions(int item, bool ok, int* shownItem, QString* shownText)
{
    answerNextBox(QString(), [=](QWidget* modal) {
        auto* d = qobject_cast<TF_OpcoesAcao*>(modal);
        if (!d) {
            modal->close();
            return;
        }
        *shownItem = d->ItemIndex();
        *shownText = d->Memo1->toPlainText();
        if (item >= 0)
            d->items[item]->click();
        if (ok)
            d->BitBtn1->click();
        else
            QTest::keyClick(d, Qt::Key_Escape);
    });
}

}  // namespace

class RecordOptionsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        registerBuiltinFormats();
        Regional::setCurrent(QLocale(QLocale::Portuguese, QLocale::Brazil));
    }
    void cleanup() { cancelPendingAnswers(); }

    void looksAsItShould()
    {
        TF_OpcoesAcao d;
        QCOMPARE(d.windowTitle(), QStringLiteral("Opções do Registro"));
        QVERIFY(d.windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!(d.windowFlags() & Qt::WindowCloseButtonHint));
        QCOMPARE(d.size(), QSize(442, 236));
        QCOMPARE(d.RadioGroup1->title(), QStringLiteral(" O Que Fazer ? "));
        QCOMPARE(QStringList({d.items[0]->text(), d.items[1]->text(), d.items[2]->text()}),
                 QStringList({"Alterar o Registro de Fonte para Destino", "Alterar o Registro de Destino para Fonte",
                              "Não Alterar o Registro Corrente"}));
        QCOMPARE(d.BitBtn1->text(), QStringLiteral("&Ok"));
        QVERIFY(d.BitBtn1->isDefault());
        QCOMPARE(d.BitBtn3->text(), QStringLiteral("&Cancelar"));
        QCOMPARE(d.ItemIndex(), 2);

        // Tab goes from the choice to OK, Cancel and the text, and back to the choice.
        d.show();
        QVERIFY(QTest::qWaitForWindowActive(&d));
        d.items[2]->setFocus();
        QStringList chain;
        for (int i = 0; i < 4; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            chain << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(chain, QStringList({"BitBtn1", "BitBtn3", "Memo1", "Item2"}));
    }

    // QUILLORA_SCREENSHOT_DIR=docs: the picture of the dialog for the documentation.
    void screenshot()
    {
        const QString out = qEnvironmentVariable("QUILLORA_SCREENSHOT_DIR");
        if (out.isEmpty())
            QSKIP("QUILLORA_SCREENSHOT_DIR not set");
        TF_OpcoesAcao d;
        d.Memo1->setPlainText(
            QStringLiteral("Chave: 0042\r>>> Destino: NOME_CLI= Joao da Silva <>  Fonte: NOME= João da Silva"));
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QVERIFY(d.grab().save(out + QStringLiteral("/record-options.png")));
    }

    void everyShowingStartsAtItemTwo()
    {
        TF_OpcoesAcao d;
        struct Step {
            int pick;
            bool ok;
            int result;
        };
        for (const Step& s : {Step{0, true, 0}, Step{1, true, 1}, Step{-1, true, 2}, Step{0, false, -1}}) {
            int shown = -9;
            QString text;
            answerOptions(s.pick, s.ok, &shown, &text);
            QCOMPARE(d.choose(QStringLiteral("Chave: 1\r>>> Destino: A= x <>  Fonte: B= y")), s.result);
            QCOMPARE(shown, 2);
            QVERIFY2(text.startsWith(QStringLiteral("Chave: 1")) && text.endsWith(QStringLiteral("Fonte: B= y")),
                     qPrintable(text));
        }
    }

    void compararFromTheMainWindow()
    {
        QTemporaryDir home;
        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", home.path().toUtf8());
        const QString src = home.path() + QStringLiteral("/fonte.dbf");
        const QString dst = home.path() + QStringLiteral("/destino.dbf");
        makeDbf(src, {textField("COD", 4), textField("NOME", 10)}, {{txt("1"), txt("Ana")}, {txt("2"), txt("Bia")}});
        makeDbf(dst, {textField("CODIGO", 4), textField("NOME_CLI", 10)}, {{txt("1"), txt("ana")}, {txt("2"), txt("bia")}});

        app::TF_Principal* w = app::createWindows();
        w->show();
        w->NTabelaFonte->setText(src);
        w->NTabelaDestino->setText(dst);
        w->Memo1->setPlainText(QStringLiteral("NOME_CLI=NOME"));
        w->PreencheChaves({"COD", "NOME"}, {"CODIGO", "NOME_CLI"});
        w->ChaveIndPai->setCurrentIndex(0);
        w->ChaveIndFilho->setCurrentIndex(0);

        int shown1 = -9, shown2 = -9;
        QString text1, text2;
        auto question = answerNextBox(QString(), [&](QWidget* modal) {
            answerOptions(0, true, &shown1, &text1);  // the first difference: source to destination
            for (QAbstractButton* b : modal->findChildren<QAbstractButton*>()) {
                if (b->text() == QLatin1String("&Sim")) {
                    b->click();
                    return;
                }
            }
        });
        // The second dialog is answered once the first has closed.
        QTimer chain;
        chain.setInterval(5);
        connect(&chain, &QTimer::timeout, [&] {
            if (shown1 != -9) {
                chain.stop();
                answerOptions(-1, false, &shown2, &text2);
            }
        });
        chain.start();
        w->BitBtn1->click();

        QCOMPARE(question->title, QStringLiteral("Confirmação"));
        QCOMPARE(question->text, QStringLiteral("Processar as atualizações junto com a verificação ?"));
        QStringList buttons = question->buttons;
        buttons.sort();
        QCOMPARE(buttons, QStringList({"&Cancelar", "&Não", "&Sim"}));
        QCOMPARE(question->defaultButton, QStringLiteral("&Sim"));
        QCOMPARE(question->escapeButton, QStringLiteral("&Cancelar"));
        QCOMPARE(shown2, 2);
        QVERIFY2(text2.startsWith(QStringLiteral("Chave: 2")), qPrintable(text2));
        QCOMPARE(columnOf(dst, QStringLiteral("NOME_CLI")), QStringList({"Ana", "bia"}));
        QCOMPARE(readFile(home.path() + QStringLiteral("/LISTADIVERGENCIAS.txt")),
                 "Destino: " + dst.toUtf8() + "\r\nFonte..: " + src.toUtf8() + "\r\n" + QByteArray(94, '-') +
                     "\r\nChave: 1 >>> Destino: NOME_CLI=ana  <>   Fonte: NOME=Ana\r\n"
                     "Chave: 2 >>> Destino: NOME_CLI=bia  <>   Fonte: NOME=Bia\r\n");
        QVERIFY(!w->progressWindow()->isVisible());
        delete w;
        qputenv("HOME", oldHome);
    }
};

QTEST_MAIN(RecordOptionsTest)
#include "RecordOptionsTest.moc"
