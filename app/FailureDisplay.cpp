#include "app/FailureDisplay.h"

#include "app/ApplicationTitle.h"
#include "base/Exception.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>
#include <exception>

namespace lyremap {

QString failureDisplayText(const QString& message) {
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + u'.';
    return message;
}

void showFailure(const QString& message) {
    // A drag or press in progress would keep the mouse from the box.
    if (QWidget* const grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    QMessageBox box(QMessageBox::Critical, applicationTitle(), failureDisplayText(message),
                    QMessageBox::Ok, QApplication::activeWindow());
    box.setObjectName(QStringLiteral("failureBox"));
    box.setWindowModality(Qt::ApplicationModal);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void runGuarded(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& failure) {
        showFailure(failureMessage(failure));
    } catch (...) {
        showFailure(QStringLiteral("Unbekannter Fehler"));
    }
}

} // namespace lyremap
