#include "app/TestProbe.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSpinBox>
#include <QTreeView>
#include <cstdio>

#include "components/Skin.h"

namespace {

const QString kNone = QStringLiteral("none");
const QString kSkinSurface = QStringLiteral("skinSurface");
// Far more than any request of the tests: a peer that sends more without a line break is cut
// off instead of filling the memory.
constexpr qint64 kMaxRequestBytes = 64 * 1024;

QString Flag(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

QString Geometry(QPoint topLeft, QSize size) {
    return QStringLiteral("%1 %2 %3 %4")
        .arg(topLeft.x())
        .arg(topLeft.y())
        .arg(size.width())
        .arg(size.height());
}

// Dialogs live for the whole run, so several windows may share a title over time; the one
// the user sees wins.
QWidget* Window(const QString& title) {
    QWidget* hidden = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->windowTitle() != title)
            continue;
        if (window->isVisible())
            return window;
        hidden = hidden ? hidden : window;
    }
    return hidden;
}

// Message boxes share the main window's title: the child is looked for in every window of
// that title, shown ones first.
QWidget* Child(const QString& title, const QString& name) {
    QWidget* hidden = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        QWidget* child =
            window->windowTitle() == title ? window->findChild<QWidget*>(name) : nullptr;
        if (child && window->isVisible())
            return child;
        hidden = hidden ? hidden : child;
    }
    return hidden;
}

int CountShown(const QString& title) {
    int count = 0;
    for (QWidget* window : QApplication::topLevelWidgets())
        count += window->isVisible() && window->windowTitle() == title;
    return count;
}

// Only what the view shows: the top level of a list or table, the expanded parts of a tree.
QModelIndex Shown(const QAbstractItemView& view, const QModelIndex& parent, const QString& text) {
    const QAbstractItemModel* model = view.model();
    const auto* tree = qobject_cast<const QTreeView*>(&view);
    for (int row = 0; row < model->rowCount(parent); ++row) {
        for (int column = 0; column < model->columnCount(parent); ++column) {
            const QModelIndex index = model->index(row, column, parent);
            if (index.data().toString() == text)
                return index;
        }
        const QModelIndex first = model->index(row, 0, parent);
        if (tree && tree->isExpanded(first)) {
            const QModelIndex found = Shown(view, first, text);
            if (found.isValid())
                return found;
        }
    }
    return {};
}

QString ItemAnswer(const QString& title, const QString& name, const QString& text) {
    auto* view = qobject_cast<QAbstractItemView*>(Child(title, name));
    if (!view || !view->model())
        return kNone;
    const QModelIndex index = Shown(*view, {}, text);
    if (!index.isValid())
        return kNone;
    const QRect rect = view->visualRect(index);
    return Geometry(view->viewport()->mapToGlobal(rect.topLeft()), rect.size());
}

QString TextAnswer(const QWidget* widget) {
    if (const auto* label = qobject_cast<const QLabel*>(widget))
        return label->text();
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget))
        return edit->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->text();
    if (const auto* combo = qobject_cast<const QComboBox*>(widget))
        return combo->currentText();
    if (const auto* slider = qobject_cast<const QAbstractSlider*>(widget))
        return QString::number(slider->value());
    if (const auto* spin = qobject_cast<const QSpinBox*>(widget))
        return QString::number(spin->value());
    return kNone;
}

// The skin draws its texts itself; they are read from the window's skin surface.
QString SkinTextAnswer(const QString& title, const QString& name) {
    const QWidget* window = Window(title);
    auto* form =
        window ? dynamic_cast<SkinForm*>(window->findChild<QWidget*>(kSkinSurface)) : nullptr;
    SkinObject* element = form ? form->FindObject(name) : nullptr;
    const SkinText* text = element ? element->Text() : nullptr;
    return text ? text->CurrentText() : kNone;
}

QString Answer(const QStringList& request) {
    const QString verb = request.value(0);
    if (verb == u"window" && request.size() == 2) {
        const QWidget* window = Window(request[1]);
        return window ? Geometry(window->geometry().topLeft(), window->size()) + u' ' +
                            Flag(window->isVisible()) + u' ' + Flag(window->isEnabled()) + u' ' +
                            Flag(window->isMinimized())
                      : kNone;
    }
    if (verb == u"widget" && request.size() == 3) {
        const QWidget* widget = Child(request[1], request[2]);
        return widget ? Geometry(widget->mapToGlobal(QPoint(0, 0)), widget->size()) + u' ' +
                            Flag(widget->isVisible()) + u' ' + Flag(widget->isEnabled())
                      : kNone;
    }
    if (verb == u"item" && request.size() == 4)
        return ItemAnswer(request[1], request[2], request[3]);
    if (verb == u"text" && request.size() == 3) {
        const QWidget* widget = Child(request[1], request[2]);
        return widget ? TextAnswer(widget) : SkinTextAnswer(request[1], request[2]);
    }
    if (verb == u"count" && request.size() == 2)
        return QString::number(CountShown(request[1]));
    if (verb == u"focus" && request.size() == 1) {
        const QWidget* focus = QApplication::focusWidget();
        return focus ? focus->window()->windowTitle() + u'\t' + focus->objectName() : kNone;
    }
    return QStringLiteral("error: unknown request");
}

}  // namespace

std::unique_ptr<TestProbe> TestProbe::StartFromEnvironment() {
    const QString path = qEnvironmentVariable("SONVARA_TEST_PROBE");
    if (path.isEmpty())
        return nullptr;
    std::unique_ptr<TestProbe> probe(new TestProbe);
    // A socket left at the path is not removed: it may be another copy's. What the probe
    // tells is the user's own, whatever the umask lets others do.
    probe->server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!probe->server_->listen(path)) {
        std::fprintf(stderr, "Test probe: cannot listen at %s: %s\n", qPrintable(path),
                     qPrintable(probe->server_->errorString()));
        return nullptr;
    }
    return probe;
}

TestProbe::TestProbe() : server_(new QLocalServer(this)) {
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection())
            Serve(socket);
    });
}

void TestProbe::Serve(QLocalSocket* socket) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, socket, [socket] {
        while (socket->canReadLine()) {
            const QString line = QString::fromUtf8(socket->readLine()).chopped(1);
            // One line per answer: a message box's text may hold line breaks.
            QString answer = Answer(line.split(u'\t'));
            answer.replace(u'\\', QStringLiteral("\\\\")).replace(u'\n', QStringLiteral("\\n"));
            socket->write(answer.toUtf8() + '\n');
        }
        if (socket->bytesAvailable() > kMaxRequestBytes) {
            socket->abort();
            socket->deleteLater();
        }
    });
}
