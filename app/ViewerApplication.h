// The viewer's application object. It carries the application title, takes no command line and
// keeps no settings, and sends every failure that escapes the handling of an event to the
// default failure display instead of ending the program.
#pragma once

#include <QApplication>

namespace lyremap {

// The program name alone, as the toolkit is handed it: kept apart from the command line, which
// the toolkit would otherwise read its own options from (-style, -reverse, -qwindowtitle, ...).
class ProgramNameOnly {
protected:
    explicit ProgramNameOnly(char* programName) : argv_{programName, nullptr} {}

    int argc_ = 1;
    char* argv_[2];
};

class ViewerApplication final : private ProgramNameOnly, public QApplication {
public:
    // ARGV[0] names the program; every other argument is ignored.
    ViewerApplication(int argc, char** argv);

    // Delivers EVENT; a failure while handling it is shown, and the loop goes on.
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace lyremap
