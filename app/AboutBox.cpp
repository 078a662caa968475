#include "app/AboutBox.h"

#include <QIcon>
#include <QMessageBox>
#include <QPushButton>

namespace quillora::app {

QIcon programIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/quillora-%1.png").arg(size), QSize(size, size));
    return icon;
}

QMessageBox* createAboutBox(QWidget* parent)
{
    auto* box = new QMessageBox(parent);
    box->setObjectName(QStringLiteral("SobreQuillora"));
    box->setWindowTitle(QStringLiteral("Sobre o Quillora"));
    box->setIconPixmap(programIcon().pixmap(64, 64));
    box->setTextFormat(Qt::PlainText);
    box->setText(QStringLiteral("Quillora %1").arg(QStringLiteral(QUILLORA_VERSION)));
    box->setInformativeText(QStringLiteral(
        "Move, atualiza, compara e edita registros de tabelas Paradox (.db) e dBase (.dbf).\n"
        "\n"
        "Copyright (c) 2026 os autores do Quillora.\n"
        "Distribuído sob a licença MIT: pode ser usado, copiado, modificado e distribuído livremente, "
        "sem garantia de qualquer tipo. O texto completo da licença acompanha o programa "
        "(arquivo LICENSE)."));
    box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    return box;
}

}  // namespace quillora::app
