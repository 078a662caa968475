// The shared widgets: the four kinds of message box, the error box, the file-name edit.
#include "tests/toolkit/ModalAnswer.h"
#include "toolkit/FileNameEdit.h"
#include "toolkit/MessageBoxes.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using namespace quillora;
using namespace quillora::test;
using namespace quillora::toolkit;

class ToolkitTest : public QObject {
    Q_OBJECT

private slots:
    void titlesAndButtonTexts()
    {
        struct Case {
            MessageKind kind;
            const char* title;
        };
        for (const Case& c : {Case{MessageKind::Warning, "!!! Aviso !!!"}, Case{MessageKind::Error, "*** Erro ***"},
                              Case{MessageKind::Information, "Informação"},
                              Case{MessageKind::Confirmation, "Confirmação"}}) {
            auto seen = answerNextBox(QStringLiteral("&Não"));
            QCOMPARE(messageBox(nullptr, c.kind, QStringLiteral("Pergunta ?"), Yes | No), No);
            QCOMPARE(seen->title, QString::fromUtf8(c.title));
            QCOMPARE(seen->text, QStringLiteral("Pergunta ?"));
            QCOMPARE(seen->buttons, QStringList({"&Sim", "&Não"}));
        }
    }

    void defaultAndEscapeButtons()
    {
        struct Case {
            Buttons buttons;
            const char* def;
            const char* esc;
        };
        for (const Case& c : {Case{Yes | No, "&Sim", "&Não"}, Case{Yes | No | Cancel, "&Sim", "&Cancelar"},
                              Case{Ok | Cancel, "&Ok", "&Cancelar"}, Case{Ok, "&Ok", "&Ok"}}) {
            auto seen = answerNextBox(QString(), [](QWidget* box) { QTest::keyClick(box, Qt::Key_Escape); });
            const Button answer = messageBox(nullptr, MessageKind::Information, QStringLiteral("x"), c.buttons);
            QCOMPARE(seen->defaultButton, QString::fromUtf8(c.def));
            QCOMPARE(seen->escapeButton, QString::fromUtf8(c.esc));
            QCOMPARE(buttonText(answer), QString::fromUtf8(c.esc));
        }
        // Enter takes the default.
        answerNextBox(QString(), [](QWidget* box) { QTest::keyClick(box, Qt::Key_Return); });
        QVERIFY(confirm(nullptr, QStringLiteral("Limpar o conteúdo dos campos ?")));
    }

    void errorBoxAddsAFullStop()
    {
        QCOMPARE(errorBoxText(QStringLiteral("Table1: Campo X não encontrado")),
                 QStringLiteral("Table1: Campo X não encontrado."));
        QCOMPARE(errorBoxText(QStringLiteral("cancelar o processo ?")), QStringLiteral("cancelar o processo ?."));
        QCOMPARE(errorBoxText(QStringLiteral("Arquivo apagado.")), QStringLiteral("Arquivo apagado."));
        QCOMPARE(errorBoxText(QStringLiteral("valor (12)")), QStringLiteral("valor (12)"));  // ")" sorts before "."
        QCOMPARE(errorBoxText(QString()), QString());
        auto seen = answerNextBox(QStringLiteral("OK"));
        showErrorBox(nullptr, QStringLiteral("Falhou"));
        QCOMPARE(seen->title, QStringLiteral("Quillora"));
        QCOMPARE(seen->text, QStringLiteral("Falhou."));
        QCOMPARE(seen->buttons, QStringList({"OK"}));
    }

    // The program names itself without a display name, which Qt would append to every window
    // title ("Senha — Quillora"); plain messages and the error box still carry "Quillora".
    void windowTitlesAreTheWindowsOwnText()
    {
        nameApplication();
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Quillora"));
        // A display name that was never set follows the application name.
        QCoreApplication::setApplicationName(QStringLiteral("sonda"));
        QCOMPARE(QGuiApplication::applicationDisplayName(), QStringLiteral("sonda"));
        nameApplication();
        QCOMPARE(QGuiApplication::applicationDisplayName(), QStringLiteral("Quillora"));

        auto plain = answerNextBox(QStringLiteral("&Ok"));
        plainMessage(nullptr, QStringLiteral("Processo concluído !"));
        QCOMPARE(plain->title, QStringLiteral("Quillora"));
        QCoreApplication::setApplicationName(QStringLiteral("outro"));
        plain = answerNextBox(QStringLiteral("&Ok"));
        plainMessage(nullptr, QStringLiteral("Processo concluído !"));
        QCOMPARE(plain->title, QStringLiteral("Quillora"));
        nameApplication();
    }

    void fileNameEditTextAndFilter()
    {
        FileNameEdit edit;
        edit.setText(QStringLiteral("\"/dados/meus clientes.dbf\""));
        QCOMPARE(edit.fileName(), QStringLiteral("/dados/meus clientes.dbf"));
        edit.setText(QStringLiteral("C:\\DADOS\\CLI.DB"));
        QCOMPARE(edit.fileName(), QStringLiteral("C:\\DADOS\\CLI.DB"));
        QCOMPARE(FileNameEdit::directoryOf(QStringLiteral("C:\\DADOS\\CLI.DB")), QStringLiteral("C:\\DADOS\\"));
        QCOMPARE(FileNameEdit::directoryOf(QStringLiteral("/a/b.dbf")), QStringLiteral("/a/"));
        QCOMPARE(FileNameEdit::directoryOf(QStringLiteral("b.dbf")), QString());
        edit.setFilter(QStringLiteral("Arquivos de Dados (*.db;*.dbf)|*.db;*.dbf"));
        QCOMPARE(edit.qtFilter(), QStringLiteral("Arquivos de Dados (*.db *.dbf)"));
    }

    void f8OpensTheDialogAndAChosenFileBecomesTheText()
    {
        QTemporaryDir dir;
        const QString file = dir.path() + QStringLiteral("/clientes.dbf");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();

        FileNameEdit edit;
        edit.setDialogTitle(QStringLiteral("Abrir Arquivo de Dados"));
        edit.setFilter(QStringLiteral("Arquivos de Dados (*.db;*.dbf)|*.db;*.dbf"));
        edit.setInitialDir(dir.path());
        int before = 0;
        connect(&edit, &FileNameEdit::beforeDialog, [&] { ++before; });
        edit.show();
        QString title;
        QStringList filters;
        QFileDialog::FileMode mode = QFileDialog::AnyFile;
        answerNextBox(QString(), [&](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            QVERIFY(dialog);
            title = dialog->windowTitle();
            filters = dialog->nameFilters();
            mode = dialog->fileMode();
            dialog->selectFile(file);
            static_cast<QDialog*>(dialog)->accept();
        });
        QTest::keyClick(edit.lineEdit(), Qt::Key_F8);
        QCOMPARE(before, 1);
        QCOMPARE(title, QStringLiteral("Abrir Arquivo de Dados"));
        QCOMPARE(filters, QStringList({"Arquivos de Dados (*.db *.dbf)"}));
        QCOMPARE(mode, QFileDialog::ExistingFile);
        QCOMPARE(edit.fileName(), file);
    }

    void droppedFileBecomesTheText()
    {
        FileNameEdit edit;
        edit.show();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/ação.db"))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&edit, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&edit, &drop);
        QCOMPARE(edit.text(), QStringLiteral("/tmp/ação.db"));
    }
};

QTEST_MAIN(ToolkitTest)
#include "ToolkitTest.moc"
