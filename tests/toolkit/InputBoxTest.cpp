// The input box: what it shows, and what OK, Cancel and Esc give.
#include "tests/toolkit/ModalAnswer.h"
#include "toolkit/InputBox.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace quillora::test;
using namespace quillora::toolkit;

class InputBoxTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { cancelPendingAnswers(); }

    void showsCaptionPromptAndTheDefaultSelected()
    {
        InputBox box(nullptr, QStringLiteral("Sequencia"), QStringLiteral("Número Inicial da sequencia"),
                     QStringLiteral("1"));
        QCOMPARE(box.windowTitle(), QStringLiteral("Sequencia"));
        QCOMPARE(box.prompt()->text(), QStringLiteral("Número Inicial da sequencia"));
        QCOMPARE(box.edit()->text(), QStringLiteral("1"));
        QCOMPARE(box.edit()->selectedText(), QStringLiteral("1"));
        QCOMPARE(box.edit()->maxLength(), 255);
        QCOMPARE(box.okButton()->text(), QStringLiteral("&Ok"));
        QVERIFY(box.okButton()->isDefault());
        QCOMPARE(box.cancelButton()->text(), QStringLiteral("&Cancelar"));
    }

    void answers_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("result");
        QTest::newRow("enter") << "25" << int(Qt::Key_Return) << "25";
        QTest::newRow("esc gives the default") << "25" << int(Qt::Key_Escape) << "7";
        QTest::newRow("at most 255 characters") << QString(300, QLatin1Char('x')) << int(Qt::Key_Return)
                                                << QString(255, QLatin1Char('x'));
    }
    void answers()
    {
        QFETCH(QString, typed);
        QFETCH(int, key);
        QFETCH(QString, result);
        answerNextBox(QString(), [typed, key](QWidget* modal) {
            auto* box = qobject_cast<InputBox*>(modal);
            QTest::keyClicks(box->edit(), typed);  // replaces the selected default
            QTest::keyClick(box->edit(), Qt::Key(key));
        });
        QCOMPARE(inputBox(nullptr, QStringLiteral("Texto"), QStringLiteral("?"), QStringLiteral("7")), result);
    }

    void cancelButtonGivesTheDefault()
    {
        answerNextBox(QStringLiteral("&Cancelar"));
        QCOMPARE(inputBox(nullptr, QStringLiteral("Texto"), QStringLiteral("?"), QString()), QString());
    }
};

QTEST_MAIN(InputBoxTest)
#include "InputBoxTest.moc"
