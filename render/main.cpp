// lyremap-render: the viewer's open and drawing without a window.
#include "render/RenderCommand.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    const QCoreApplication app(argc, argv);
    // A large buffer: a trace of a big layout is millions of short lines.
    static char buffer[1 << 16];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    const int status =
        lyremap::runRenderCommand(QCoreApplication::arguments().mid(1), stdout, stderr);
    std::fflush(stdout);
    return status;
}
