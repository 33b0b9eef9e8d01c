#pragma once

class QLineEdit;

// Makes edit a numeric field: a typed character other than 0-9 acts as Backspace, deleting the
// character before the caret; keys that type nothing (moves, Tab, Enter) keep their meaning,
// and pasted text keeps to digits.
void TypeDigitsOnly(QLineEdit& edit);
