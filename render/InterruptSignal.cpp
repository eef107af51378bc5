#include "render/InterruptSignal.h"

#include "base/Exception.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace lyremap {

namespace {

// The pipe the handler wakes the event loop through; a handler may only write to a descriptor.
int wakePipe[2] = {-1, -1};

void onSignal(int) {
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakePipe[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

InterruptSignal::InterruptSignal(std::function<void()> onInterrupt) {
    if (::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw Exception(QStringLiteral("cannot watch for interrupts: %1")
                            .arg(QString::fromLocal8Bit(std::strerror(errno))));
    notifier_ = std::make_unique<QSocketNotifier>(wakePipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [onInterrupt] {
        char bytes[16];
        while (::read(wakePipe[0], bytes, sizeof bytes) > 0) {
        }
        onInterrupt();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &previousInt_);
    ::sigaction(SIGTERM, &action, &previousTerm_);
}

InterruptSignal::~InterruptSignal() {
    ::sigaction(SIGINT, &previousInt_, nullptr);
    ::sigaction(SIGTERM, &previousTerm_, nullptr);
    notifier_.reset();
    ::close(wakePipe[0]);
    ::close(wakePipe[1]);
    wakePipe[0] = wakePipe[1] = -1;
}

} // namespace lyremap
