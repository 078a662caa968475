#include "toolkit/PasswordBox.h"

#include "toolkit/MessageBoxes.h"

#include <QApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace quillora::toolkit {

PasswordBox::PasswordBox(QWidget* parent, const QString& tablePath, bool retry)
    : QDialog(parent)
{
    setObjectName(QLatin1String(passwordBoxObjectName));
    setWindowTitle(QStringLiteral("Senha"));
    setModal(true);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    prompt_ = new QLabel(promptText(tablePath, retry), this);
    prompt_->setObjectName(QStringLiteral("Prompt"));
    prompt_->setTextFormat(Qt::PlainText);
    prompt_->setWordWrap(true);

    edit_ = new QLineEdit(this);
    edit_->setObjectName(QStringLiteral("Senha"));
    edit_->setEchoMode(QLineEdit::Password);
    prompt_->setBuddy(edit_);

    ok_ = new QPushButton(buttonText(Ok), this);
    ok_->setObjectName(QStringLiteral("button%1").arg(int(Ok)));
    ok_->setDefault(true);
    ok_->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    cancel_ = new QPushButton(buttonText(Cancel), this);
    cancel_->setObjectName(QStringLiteral("button%1").arg(int(Cancel)));
    cancel_->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    // QDialog answers Esc and the close box with reject(), which is Cancel.
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt_);
    layout->addWidget(edit_);
    layout->addLayout(buttons);
    setMinimumWidth(360);
    edit_->setFocus();
}

QString PasswordBox::promptText(const QString& tablePath, bool retry)
{
    const QString ask = QStringLiteral("Informe a senha da tabela %1:").arg(QDir::toNativeSeparators(tablePath));
    return retry ? QStringLiteral("Senha incorreta. ") + ask : ask;
}

QString PasswordBox::password() const
{
    return edit_->text();
}

bool askPassword(QWidget* parent, const QString& tablePath, bool retry, QString* password)
{
    PasswordBox box(parent, tablePath, retry);
    if (box.exec() != QDialog::Accepted)
        return false;
    *password = box.password();
    return true;
}

std::function<bool(const QString&, bool, QString*)> tablePasswordPrompt()
{
    return [](const QString& tablePath, bool retry, QString* password) {
        QWidget* parent = QApplication::activeModalWidget();
        if (!parent)
            parent = QApplication::activeWindow();
        return askPassword(parent, tablePath, retry, password);
    };
}

}  // namespace quillora::toolkit
