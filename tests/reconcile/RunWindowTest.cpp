// What the windows show of a keyed run besides its questions: the warning that keys were cut
// (one information box, after the progress window has gone), and a divergence list in the
// user's folder that cannot be written (refused before anything is asked or changed).
#include "app/Quillora.h"
#include "app/U_Progresso.h"
#include "app/WindowRunHost.h"
#include "reconcile/Atualizar.h"
#include "tables/Regional.h"
#include "tables/Table.h"
#include "tables/engine/Engine.h"
#include "tests/run/DbfFixture.h"
#include "tests/support/TestSupport.h"
#include "tests/toolkit/ModalAnswer.h"
#include "toolkit/FileNameEdit.h"

#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace quillora;
using namespace quillora::test;

class RunWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        registerBuiltinFormats();
        Regional::setCurrent(QLocale(QLocale::Portuguese, QLocale::Brazil));
    }
    void cleanup() { cancelPendingAnswers(); }

    void keysCutAreShownOnceInAnInformationBoxAfterTheRun()
    {
        QTemporaryDir dir;
        const QString src = dir.path() + QStringLiteral("/fonte.dbf");
        const QString dst = dir.path() + QStringLiteral("/destino.dbf");
        makeDbf(src, {textField("COD", 6), textField("NOME", 10)},
                {{txt("100"), txt("Ana")}, {txt("101"), txt("Bia")}, {txt("7"), txt("Caio")}});
        makeDbf(dst, {textField("CODIGO", 2), textField("NOME_CLI", 10)}, {{txt("10"), txt("x")}, {txt("7"), txt("y")}});

        QWidget main;
        app::TF_Progresso progress(&main);
        main.show();
        bool progressShown = true;
        auto box = answerNextBox(QString(), [&](QWidget* modal) {
            progressShown = progress.isVisible();
            for (QAbstractButton* b : modal->findChildren<QAbstractButton*>())
                if (b->text() == QLatin1String("&Ok"))
                    b->click();
        });
        Table t1(QStringLiteral("Table1"));
        Table t2(QStringLiteral("Table2"));
        {
            app::WindowRunHost host(&progress, &main);
            atualizar(t1, t2, host, src, dst, QStringLiteral("NOME_CLI=NOME"), QStringLiteral("COD"),
                      QStringLiteral("CODIGO"));
        }
        QCOMPARE(box->count, 1);
        QCOMPARE(box->title, QStringLiteral("Informação"));
        QCOMPARE(box->text,
                 QStringLiteral("Aviso: chaves maiores que o campo CODIGO do destino foram cortadas para 2 caracteres"));
        QCOMPARE(box->buttons, QStringList({"&Ok"}));
        QVERIFY(!progressShown);
        QCOMPARE(columnOf(dst, QStringLiteral("NOME_CLI")), QStringList({"Bia", "Caio"}));

        // A run without cut keys shows nothing.
        const QString wide = dir.path() + QStringLiteral("/largo.dbf");
        makeDbf(wide, {textField("CODIGO", 6), textField("NOME_CLI", 10)}, {{txt("100"), txt("x")}});
        auto none = answerNextBox(QStringLiteral("&Ok"));
        {
            app::WindowRunHost host(&progress, &main);
            atualizar(t1, t2, host, src, wide, QStringLiteral("NOME_CLI=NOME"), QStringLiteral("COD"),
                      QStringLiteral("CODIGO"));
        }
        QTest::qWait(50);
        QCOMPARE(none->count, 0);
    }

    void compararRefusesAListItCannotWriteBeforeAsking()
    {
        QTemporaryDir dir;
        const QByteArray oldHome = qgetenv("HOME");
        const QString home = dir.path() + QStringLiteral("/nao/existe");
        qputenv("HOME", home.toUtf8());
        const QString src = dir.path() + QStringLiteral("/fonte.dbf");
        const QString dst = dir.path() + QStringLiteral("/destino.dbf");
        makeDbf(src, {textField("COD", 4), textField("NOME", 10)}, {{txt("1"), txt("Ana")}});
        makeDbf(dst, {textField("CODIGO", 4), textField("NOME_CLI", 10)}, {{txt("1"), txt("ana")}});

        app::TF_Principal* w = app::createWindows();
        w->show();
        w->NTabelaFonte->setText(src);
        w->NTabelaDestino->setText(dst);
        w->Memo1->setPlainText(QStringLiteral("NOME_CLI=NOME"));
        w->PreencheChaves({"COD", "NOME"}, {"CODIGO", "NOME_CLI"});
        w->ChaveIndPai->setCurrentIndex(0);
        w->ChaveIndFilho->setCurrentIndex(0);
        // Every box that opens is recorded and answered with its default button (Yes for the
        // verification question, were it asked).
        QStringList texts;
        QTimer answerer;
        answerer.setInterval(5);
        connect(&answerer, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            auto* m = qobject_cast<QMessageBox*>(modal);
            texts << (m ? m->text() : modal->windowTitle());
            if (m && m->defaultButton())
                m->defaultButton()->click();
            else
                modal->close();  // the record options dialog, were it shown: Cancel
        });
        answerer.start();
        w->BitBtn1->click();
        QTest::qWait(50);
        answerer.stop();

        // The only box is the error: no verification question came before it.
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts.value(0).startsWith(QStringLiteral("Não foi possível gravar a lista de divergências ") + home +
                                           QStringLiteral("/LISTADIVERGENCIAS.txt: a pasta ") + home +
                                           QStringLiteral(" não existe")),
                 qPrintable(texts.value(0)));
        QCOMPARE(columnOf(dst, QStringLiteral("NOME_CLI")), QStringList({"ana"}));
        QVERIFY(!w->progressWindow()->isVisible());
        delete w;
        qputenv("HOME", oldHome);
    }
};

QTEST_MAIN(RunWindowTest)
#include "RunWindowTest.moc"
