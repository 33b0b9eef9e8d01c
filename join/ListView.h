#pragma once

#include "join/JoinEngine.h"
#include "join/JoinList.h"

// The list window as the program reaches it: it shows the rows and asks for files and for the
// join's output.
class ListView : public ListHost, public JoinHost {
public:
    // The list's messages and the join's alike.
    void ShowMessage(const QString& text) override = 0;
    // The program shows a join's progress on the main window.
    void ShowProgress(const QString&) final {}
};
