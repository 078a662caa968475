// The password box for protected Paradox tables: its wiring, and a protected table opened
// through it as the program installs it.
#include "tables/Error.h"
#include "tables/Session.h"
#include "tables/Table.h"
#include "tables/engine/Engine.h"
#include "tests/support/TestSupport.h"
#include "tests/toolkit/ModalAnswer.h"
#include "toolkit/PasswordBox.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace quillora;
using namespace quillora::test;
using namespace quillora::toolkit;

namespace {

// What one password box showed, and the answer typed into it (empty `typed` with ok=false
// answers Cancel).
struct SeenPasswordBox {
    QString title, prompt;
    QStringList buttons;
    bool masked = false;
    bool okIsDefault = false;
};

std::shared_ptr<SeenPasswordBox> answerPasswordBox(const QString& typed, bool ok)
{
    auto seen = std::make_shared<SeenPasswordBox>();
    answerNextBox(QString(), [seen, typed, ok](QWidget* modal) {
        auto* box = qobject_cast<PasswordBox*>(modal);
        if (!box) {
            modal->close();
            return;
        }
        seen->title = box->windowTitle();
        seen->prompt = box->prompt()->text();
        seen->buttons = {box->okButton()->text(), box->cancelButton()->text()};
        seen->masked = box->edit()->echoMode() == QLineEdit::Password;
        seen->okIsDefault = box->okButton()->isDefault();
        QTest::keyClicks(box->edit(), typed);
        QTest::keyClick(box->edit(), ok ? Qt::Key_Return : Qt::Key_Escape);
    });
    return seen;
}

}  // namespace

class PasswordBoxTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        Session::clearPasswords();
        Session::setPasswordPrompt(tablePasswordPrompt());
    }
    void cleanup()
    {
        cancelPendingAnswers();
        Session::setPasswordPrompt({});
        Session::clearPasswords();
    }

    void okGivesTheTextCancelFails()
    {
        QString password = QStringLiteral("antes");
        auto seen = answerPasswordBox(QStringLiteral("s3nh@"), true);
        QVERIFY(askPassword(nullptr, QStringLiteral("/dados/clientes.db"), false, &password));
        QCOMPARE(password, QStringLiteral("s3nh@"));
        QCOMPARE(seen->title, QStringLiteral("Senha"));
        QCOMPARE(seen->prompt, QStringLiteral("Informe a senha da tabela /dados/clientes.db:"));
        QCOMPARE(seen->buttons, QStringList({"&Ok", "&Cancelar"}));
        QVERIFY(seen->masked);
        QVERIFY(seen->okIsDefault);

        // Esc, and the Cancel button, answer Cancel and leave the password alone.
        password = QStringLiteral("antes");
        seen = answerPasswordBox(QStringLiteral("digitada"), false);
        QVERIFY(!askPassword(nullptr, QStringLiteral("/dados/clientes.db"), true, &password));
        QCOMPARE(password, QStringLiteral("antes"));
        QCOMPARE(seen->prompt, QStringLiteral("Senha incorreta. Informe a senha da tabela /dados/clientes.db:"));
        answerNextBox(QStringLiteral("&Cancelar"));
        QVERIFY(!askPassword(nullptr, QStringLiteral("x.db"), false, &password));
        QCOMPARE(password, QStringLiteral("antes"));
    }

    // A wrong password asks again saying so; the right one opens the table and is kept for
    // the run; Cancel fails the opening with a message naming the table.
    void protectedTableOpensThroughTheBox()
    {
        if (samplesDir().isEmpty())
            QSKIP("../shared/samples is not beside the project; sample tests skipped");
        QTemporaryDir dir;
        const QString path =
            copyInto(dir.path(), {sample(QStringLiteral("paradox/paradoxdriver/encrypt/encrypted.db"))});

        auto first = answerPasswordBox(QStringLiteral("999"), true);
        auto second = answerPasswordBox(QStringLiteral("123"), true);
        Table t(QStringLiteral("Table1"));
        t.Bind(path);
        t.Open();
        QVERIFY(first->prompt.startsWith(QStringLiteral("Informe a senha da tabela ")));
        QVERIFY(first->prompt.contains(QStringLiteral("encrypted.db")));
        QVERIFY(second->prompt.startsWith(QStringLiteral("Senha incorreta. Informe a senha da tabela ")));
        QCOMPARE(t.RecordCount(), 4);
        QStringList texts;
        for (t.First(); !t.Eof(); t.Next())
            texts << t.FieldByName(QStringLiteral("Text"))->AsString();
        QCOMPARE(texts, QStringList({"Value 1", "Value 2", "Value 3", "Last one"}));
        t.Close();
        QCOMPARE(Session::knownPasswords(), QStringList({"123"}));

        // Kept for the run: opening again asks nothing.
        int asked = 0;
        Session::setPasswordPrompt([&](const QString&, bool, QString*) { return ++asked, false; });
        t.Open();
        QCOMPARE(asked, 0);
        t.Close();

        Session::setPasswordPrompt(tablePasswordPrompt());
        Session::clearPasswords();
        auto cancelled = answerPasswordBox(QString(), false);
        const QString error = errorText([&] { t.Open(); });
        QVERIFY2(error.contains(QStringLiteral("encrypted.db")), qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral("senha")), qPrintable(error));
        QVERIFY(!t.Active());
        QVERIFY(!cancelled->prompt.isEmpty());
    }

    // Cancel says the opening was cancelled, also after a wrong password; a wrong password is
    // "Senha incorreta" only where nobody can be asked again.
    void cancelIsNotAWrongPassword()
    {
        if (samplesDir().isEmpty())
            QSKIP("../shared/samples is not beside the project; sample tests skipped");
        QTemporaryDir dir;
        const QString path =
            copyInto(dir.path(), {sample(QStringLiteral("paradox/paradoxdriver/encrypt/encrypted.db"))});
        Table t(QStringLiteral("Table1"));
        t.Bind(path);

        auto wrong = answerPasswordBox(QStringLiteral("999"), true);
        auto cancelled = answerPasswordBox(QString(), false);
        QString error = errorText([&] { t.Open(); });
        QVERIFY(cancelled->prompt.startsWith(QStringLiteral("Senha incorreta. ")));
        QVERIFY2(error.contains(QStringLiteral("cancelada")) && error.contains(QStringLiteral("senha não informada")),
                 qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral("encrypted.db")), qPrintable(error));
        QVERIFY2(!error.contains(QStringLiteral("incorreta")), qPrintable(error));
        QVERIFY(!t.Active());

        // Nobody to ask: a wrong password given beforehand, or none at all.
        Session::setPasswordPrompt({});
        Session::addPassword(QStringLiteral("999"));
        error = errorText([&] { t.Open(); });
        QVERIFY2(error.startsWith(QStringLiteral("Senha incorreta")), qPrintable(error));
        Session::clearPasswords();
        error = errorText([&] { t.Open(); });
        QVERIFY2(error.contains(QStringLiteral("protegida por senha")), qPrintable(error));
        QVERIFY2(!error.contains(QStringLiteral("incorreta")), qPrintable(error));
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    registerBuiltinFormats();
    PasswordBoxTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "PasswordBoxTest.moc"
