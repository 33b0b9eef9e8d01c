#pragma once

#include <QPoint>

class QDialog;
class QWidget;

// Long-lived dialogs are opened from more than one window. One opened without waiting from a
// modal dialog must belong to that dialog, or the modal one blocks its input; these make the
// opener its owner first.

// Shows dialog at topLeft without waiting, in front if already shown. owner may be null.
void ShowDialogOver(QDialog& dialog, QWidget* owner, QPoint topLeft);
// Shows dialog at topLeft and waits until it closes.
void ExecDialogOver(QDialog& dialog, QWidget* owner, QPoint topLeft);
