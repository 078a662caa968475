#include "toolkit/InputBox.h"

#include "toolkit/MessageBoxes.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace quillora::toolkit {

InputBox::InputBox(QWidget* parent, const QString& caption, const QString& prompt, const QString& defaultText)
    : QDialog(parent)
{
    setObjectName(QLatin1String(inputBoxObjectName));
    setWindowTitle(caption);
    setModal(true);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    prompt_ = new QLabel(prompt, this);
    prompt_->setObjectName(QStringLiteral("Prompt"));
    prompt_->setTextFormat(Qt::PlainText);

    edit_ = new QLineEdit(this);
    edit_->setObjectName(QStringLiteral("Edit"));
    edit_->setMaxLength(255);
    edit_->setText(defaultText);
    edit_->selectAll();
    prompt_->setBuddy(edit_);

    ok_ = new QPushButton(buttonText(Ok), this);
    ok_->setObjectName(QStringLiteral("button%1").arg(int(Ok)));
    ok_->setDefault(true);
    cancel_ = new QPushButton(buttonText(Cancel), this);
    cancel_->setObjectName(QStringLiteral("button%1").arg(int(Cancel)));
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt_);
    layout->addWidget(edit_);
    layout->addLayout(buttons);
    setMinimumWidth(300);
    edit_->setFocus();

    adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

QString inputBox(QWidget* parent, const QString& caption, const QString& prompt, const QString& defaultText)
{
    InputBox box(parent, caption, prompt, defaultText);
    if (box.exec() != QDialog::Accepted)
        return defaultText;
    return box.edit()->text();
}

}  // namespace quillora::toolkit
