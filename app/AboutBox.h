#pragma once

#include <QIcon>

class QWidget;
class QMessageBox;

namespace quillora::app {

// The program's icon at every size it is drawn at (the copy built into the program).
QIcon programIcon();

// "Sobre o Quillora": the program's name, version and licence. Not shown; the caller runs it.
QMessageBox* createAboutBox(QWidget* parent);

}  // namespace quillora::app
