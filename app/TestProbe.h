#pragma once

#include <QObject>
#include <memory>

class QLocalServer;
class QLocalSocket;

// Lets the end-to-end tests see where the windows and controls are and what they show, over a
// local socket named by SONVARA_TEST_PROBE. It only reads; without the variable there is none.
//
// Requests are lines of tab-separated fields (titles and texts hold spaces); each gets one line:
//   window <title>                     x y w h visible
//   widget <title> <objectName>        x y w h visible enabled
//   item <title> <objectName> <text>   x y w h   (an item of a list, table or expanded tree)
//   text <title> <objectName>          what the control shows; a slider's or spin box's value
//   count <title>                      how many windows of that title are shown
//   focus                              <title> <objectName> of the widget with the keyboard
// Rectangles are in screen coordinates; whatever is not found answers "none".
class TestProbe : public QObject {
    Q_OBJECT

public:
    // Listening at the path the variable holds, or null when it is unset or cannot be used.
    static std::unique_ptr<TestProbe> StartFromEnvironment();

private:
    TestProbe();
    void Serve(QLocalSocket* socket);

    QLocalServer* server_;
};
