#include "transfer/ui/U_Campos.h"

#include "tables/Table.h"
#include "toolkit/InputBox.h"
#include "toolkit/PixelFont.h"
#include "transfer/MappingList.h"

#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

namespace quillora::transfer {

namespace {

using toolkit::pixelFont;

// The plus sign and the letter A are drawn here: icon themes do not have them everywhere.
QIcon drawnIcon(const std::function<void(QPainter&)>& draw)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    return QIcon(pixmap);
}

QIcon plusIcon()
{
    return drawnIcon([](QPainter& p) {
        p.setPen(QPen(QColor(0, 128, 0), 3));
        p.drawLine(8, 2, 8, 14);
        p.drawLine(2, 8, 14, 8);
    });
}

QIcon letterAIcon()
{
    return drawnIcon([](QPainter& p) {
        QFont f(QStringLiteral("Times New Roman"));
        f.setPixelSize(15);
        f.setBold(true);
        p.setFont(f);
        p.setPen(QColor(0, 0, 128));
        p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("A"));
    });
}

QListWidget* listBox(QWidget* parent, const char* name, QRect g)
{
    auto* l = new QListWidget(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(g);
    l->setSelectionMode(QAbstractItemView::SingleSelection);
    return l;
}

QString selectedText(const QListWidget* l)
{
    const QList<QListWidgetItem*> selected = l->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

}  // namespace

TF_Campos::TF_Campos(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("F_Campos"));
    setWindowTitle(QStringLiteral("Montagem dos Campos"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);
    setFont(pixelFont("MS Sans Serif", 13));
    setFixedSize(559, 387);

    auto label = [this](const char* name, const char* text, QRect g) {
        auto* l = new QLabel(QString::fromUtf8(text), this);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(g);
        // Sized to the text, so that a wider fallback font never clips it.
        l->adjustSize();
        return l;
    };
    Label2 = label("Label2", "Campo Fonte:", {10, 11, 84, 16});
    Label3 = label("Label3", "Campo Destino:", {158, 11, 96, 16});
    Label6 = label("Label6", "Relacionados", {323, 10, 85, 16});

    ListBox1 = listBox(this, "ListBox1", {8, 28, 141, 323});
    ListBox2 = listBox(this, "ListBox2", {156, 28, 141, 323});

    BitBtn1 = new QPushButton(QStringLiteral("&Ok"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(456, 356, 93, 25);
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QStringLiteral("Cancelar"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(360, 356, 93, 25);
    BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));

    ListBox3 = listBox(this, "ListBox3", {324, 28, 227, 323});

    auto pictureButton = [this](const char* name, QRect g, const QIcon& icon) {
        auto* b = new QPushButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(g);
        b->setIcon(icon);
        b->setAutoDefault(false);
        return b;
    };
    BitBtn3 = pictureButton("BitBtn3", {297, 29, 28, 28}, style()->standardIcon(QStyle::SP_ArrowRight));
    BitBtn4 = pictureButton("BitBtn4", {297, 57, 28, 28}, style()->standardIcon(QStyle::SP_ArrowLeft));
    BitBtn5 = pictureButton("BitBtn5", {296, 92, 29, 25}, plusIcon());
    BitBtn6 = pictureButton("BitBtn6", {296, 116, 29, 25}, letterAIcon());

    const QList<QWidget*> order = {ListBox1, ListBox2, BitBtn1, BitBtn2, ListBox3, BitBtn3, BitBtn4, BitBtn5, BitBtn6};
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);

    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    // Esc and the close box answer reject(), the same as this button.
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    connect(BitBtn3, &QPushButton::clicked, this, &TF_Campos::BitBtn3Click);
    connect(BitBtn4, &QPushButton::clicked, this, &TF_Campos::BitBtn4Click);
    connect(BitBtn5, &QPushButton::clicked, this, &TF_Campos::BitBtn5Click);
    connect(BitBtn6, &QPushButton::clicked, this, &TF_Campos::BitBtn6Click);

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

QStringList TF_Campos::lines() const
{
    QStringList out;
    for (int i = 0; i < ListBox3->count(); ++i)
        out << ListBox3->item(i)->text();
    return out;
}

void TF_Campos::BitBtn3Click()
{
    if (ListBox1->selectedItems().isEmpty() || ListBox2->selectedItems().isEmpty())
        return;
    ListBox3->addItem(selectedText(ListBox2) + QLatin1Char('=') + selectedText(ListBox1));
}

void TF_Campos::BitBtn4Click()
{
    const QList<QListWidgetItem*> selected = ListBox3->selectedItems();
    if (selected.isEmpty())
        return;
    delete ListBox3->takeItem(ListBox3->row(selected.first()));
    ListBox3->clearSelection();
    ListBox3->setCurrentRow(-1);
}

void TF_Campos::BitBtn5Click()
{
    if (ListBox2->selectedItems().isEmpty())
        return;
    const QString start = toolkit::inputBox(this, QStringLiteral("Sequencia"),
                                            QStringLiteral("Número Inicial da sequencia"), QStringLiteral("1"));
    ListBox3->addItem(selectedText(ListBox2) + QStringLiteral("=@") + start);
}

void TF_Campos::BitBtn6Click()
{
    if (ListBox2->selectedItems().isEmpty())
        return;
    const QString text = toolkit::inputBox(this, QStringLiteral("Texto"),
                                           QStringLiteral("Informe o texto fixo para o campo"), QString());
    ListBox3->addItem(selectedText(ListBox2) + QStringLiteral("=#") + text);
}

void BMontarClick(QWidget* owner, Table& source, Table& destination, const QString& sourcePath,
                  const QString& destinationPath, QPlainTextEdit* mappingList,
                  const std::function<void(const QStringList&, const QStringList&)>& refillKeys)
{
    TF_Campos dialog(owner);
    dialog.ListBox1->clear();
    dialog.ListBox2->clear();
    if (!source.Active()) {
        source.Bind(sourcePath);
        source.Open();
    }
    dialog.ListBox3->addItems(mappingLines(mappingList->toPlainText()));
    QStringList sourceFields;
    for (const FieldDef& f : source.FieldDefs())
        sourceFields << f.name;
    dialog.ListBox1->addItems(sourceFields);
    if (!destination.Active()) {
        destination.Bind(destinationPath);
        destination.Open();
    }
    QStringList destinationFields;
    for (const FieldDef& f : destination.FieldDefs())
        destinationFields << f.name;
    dialog.ListBox2->addItems(destinationFields);

    if (dialog.exec() == QDialog::Accepted)
        mappingList->setPlainText(dialog.lines().join(QLatin1Char('\n')));
    refillKeys(sourceFields, destinationFields);
    destination.Close();
    source.Close();
}

}  // namespace quillora::transfer
