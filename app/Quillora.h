#pragma once

#include <QWidget>

#include <functional>

#include "run/RecordRun.h"

class QAction;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace quillora {
class Table;
}
namespace quillora::toolkit {
class FileNameEdit;
}

namespace quillora::app {

class CheckTableDialog;
class MappingListActions;
class TF_Progresso;
class WindowRunHost;

// The main window: the two tables, their file edits, the mapping list, the operation list,
// the key-field lists and one button per operation.
class TF_Principal : public QWidget {
    Q_OBJECT

public:
    explicit TF_Principal(QWidget* parent = nullptr);
    ~TF_Principal() override;

    // The progress window the record runs show (created after this window at start-up).
    void setProgressWindow(TF_Progresso* progress) { progress_ = progress; }
    TF_Progresso* progressWindow() const { return progress_; }

    Table* Table1;
    Table* Table2;

    toolkit::FileNameEdit* NTabelaFonte;
    toolkit::FileNameEdit* NTabelaDestino;
    QPlainTextEdit* Memo1;
    QComboBox* ComboBox1;
    QPushButton* BVer1;
    QPushButton* BVer2;
    QPushButton* BLimpar;
    QPushButton* BMontar;
    QPushButton* BProcessar;
    QPushButton* BSair;
    QPushButton* BitBtn7;
    QPushButton* BitBtn8;
    QPushButton* BFiltro;
    QPushButton* BLimparCampos;
    QComboBox* ChaveIndPai;
    QPushButton* BAtualizar;
    QComboBox* ChaveIndFilho;
    QPushButton* BitBtn1;
    QLabel* RxLabel1;
    QLabel* RxLabel2;
    QLabel* RxLabel3;
    QLabel* RxLabel4;
    QLabel* Label1;
    QLabel* Label2;

    // "Salvar lista..." / "Abrir lista..." of the mapping list (Ctrl+S / Ctrl+O).
    MappingListActions* mappingList;
    // "Verificar tabela..." in the context menus of "Tabela Fonte:" and "Tabela Destino:".
    QAction* checkSourceAction;
    QAction* checkDestinationAction;

    // The key-field lists after the field assembly dialog closes (OK or Cancel): both cleared
    // and refilled with the tables' field names in table order, neither with a selection.
    void PreencheChaves(const QStringList& sourceFields, const QStringList& destinationFields);

    // Runs a handler; an error it does not catch is shown in the default error box.
    void guarded(const std::function<void()>& handler);

public slots:
    void BSairClick();
    void NTabelaFonteExit();
    void NTabelaDestinoExit();
    void NTabelaFonteBeforeDialog();
    void NTabelaDestinoBeforeDialog();
    void BLimparClick();
    void BLimparCamposClick();
    void BProcessarClick();
    void BMontarClick();
    void BAtualizarClick();
    void BitBtn1Click();
    void BVer1Click();
    void BVer2Click();
    void BFiltroClick();
    void BitBtn7Click();
    void BitBtn8Click();
    // Ctrl+Z: "Desfazer" the last operation on the destination table (or, when it has none, on
    // the source table), after a confirmation naming the table and the operation.
    void undoLastOperation();
    // "Desfazer" of the last operation on one table, asked first (over `asker`, or this window);
    // false when it has none.
    bool undoOperationOn(const QString& path, QString* why = nullptr, QWidget* asker = nullptr);
    // "Verificar tabela..." of a file box's context menu: the check dialog over the table named
    // there, window-modal; null (after a message) when there is no table to check.
    CheckTableDialog* checkTableOf(const QString& path);
    // A table given at start-up (the desktop's "Abrir com"): into "Tabela Fonte:", bound as
    // leaving the edit binds it.
    void openSourceTable(const QString& path);
    // F1: the "Sobre o Quillora" box.
    void showAbout();
    // The "Filtro..." button's caption and tip tell whether a filter is on, and which.
    void showFilterState();

private:
    // A record run with its summary shown at the end, also when it ends in an error.
    void runWithSummary(const std::function<RecordRunResult(WindowRunHost&)>& run);
    void showRunSummary(const RecordRunResult& result, bool undoOffered = true);
    // What the processing window shows after each column run.
    static std::function<void(QWidget*, const RecordRunResult&)> columnRunSummary();

    TF_Progresso* progress_ = nullptr;
};

// Start-up: the main window first (closing it ends the program), then the progress window,
// hidden. The caller owns the main window; the progress window is its child.
TF_Principal* createWindows();

}  // namespace quillora::app
