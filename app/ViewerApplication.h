// The viewer's application object: carries the application title and sends every failure that
// escapes the handling of an event to the default failure display instead of ending the program.
#pragma once

#include <QApplication>

namespace lyremap {

class ViewerApplication final : public QApplication {
public:
    ViewerApplication(int& argc, char** argv);

    // Delivers EVENT; a failure while handling it is shown, and the loop goes on.
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace lyremap
