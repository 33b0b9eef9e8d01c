#include "components/widgets/DialogPlacement.h"

#include <QDialog>
#include <QWindow>

namespace {

// The owner becomes the dialog's transient parent only: it must not take the dialog's
// lifetime, since the program and its windows own every dialog for the whole run.
void Adopt(QDialog& dialog, QWidget* owner) {
    dialog.createWinId();
    QWindow* ownerWindow = nullptr;
    if (owner) {
        owner->window()->createWinId();
        ownerWindow = owner->window()->windowHandle();
    }
    dialog.windowHandle()->setTransientParent(ownerWindow);
}

}  // namespace

void ShowDialogOver(QDialog& dialog, QWidget* owner, QPoint topLeft) {
    Adopt(dialog, owner);
    dialog.move(topLeft);
    dialog.show();
    dialog.raise();
    dialog.activateWindow();
}

void ExecDialogOver(QDialog& dialog, QWidget* owner, QPoint topLeft) {
    Adopt(dialog, owner);
    dialog.move(topLeft);
    dialog.exec();
}
