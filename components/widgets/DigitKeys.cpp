#include "components/widgets/DigitKeys.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpressionValidator>

namespace {

class DigitKeyFilter : public QObject {
public:
    explicit DigitKeyFilter(QLineEdit& edit) : QObject(&edit), edit_(edit) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != &edit_ || event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        if (key->key() == Qt::Key_Backspace || text.isEmpty() || !text.at(0).isPrint())
            return false;
        if (text.size() == 1 && text.at(0) >= u'0' && text.at(0) <= u'9')
            return false;
        edit_.backspace();
        return true;
    }

private:
    QLineEdit& edit_;
};

}  // namespace

void TypeDigitsOnly(QLineEdit& edit) {
    edit.installEventFilter(new DigitKeyFilter(edit));
    edit.setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), &edit));
}
