#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>

class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace quillora {
class Table;
}

namespace quillora::transfer {

// "Montagem dos Campos": the source and destination field names side by side, and the mapping
// lines being assembled from them ("Relacionados").
class TF_Campos : public QDialog {
    Q_OBJECT

public:
    explicit TF_Campos(QWidget* parent = nullptr);

    QListWidget* ListBox1;  // source field names
    QListWidget* ListBox2;  // destination field names
    QPushButton* BitBtn1;   // "&Ok"
    QPushButton* BitBtn2;   // "Cancelar"
    QListWidget* ListBox3;  // the mapping lines
    QPushButton* BitBtn3;   // add a pair
    QPushButton* BitBtn4;   // remove a line
    QPushButton* BitBtn5;   // add a sequence term
    QPushButton* BitBtn6;   // add a fixed text
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label6;

    QStringList lines() const;

public slots:
    void BitBtn3Click();
    void BitBtn4Click();
    void BitBtn5Click();
    void BitBtn6Click();
};

// "Montar...": opens what is closed (binding it from its path first), shows the dialog with
// the tables' field names and the mapping list's lines, and on OK replaces the list with the
// assembled lines. Whatever the answer, refillKeys gets the source and destination field
// names; then both tables are closed. A table that fails to open ends it before the dialog.
void BMontarClick(QWidget* owner, Table& source, Table& destination, const QString& sourcePath,
                  const QString& destinationPath, QPlainTextEdit* mappingList,
                  const std::function<void(const QStringList&, const QStringList&)>& refillKeys);

}  // namespace quillora::transfer
