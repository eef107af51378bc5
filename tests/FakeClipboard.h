// A clipboard that records its calls and can be told to fail at one of them.
#pragma once

#include "map/Clipboard.h"

#include <QImage>
#include <QString>
#include <QStringList>

namespace lyremap::test {

class FakeClipboard : public Clipboard {
public:
    // The call that fails ("open", "empty" or "setBitmap"); empty never fails.
    QString failAt;
    // The message the failing call raises (open raises EClipboardException regardless).
    QString failure;
    // The calls so far: "open", "empty", "setBitmap null", "setBitmap 800x600", "close".
    QStringList calls;
    // The last bitmap handed over.
    QImage bitmap;

    void open() override {
        calls << QStringLiteral("open");
        if (failAt == QLatin1String("open"))
            throw EClipboardException();
    }
    void empty() override {
        calls << QStringLiteral("empty");
        failIfAsked(QStringLiteral("empty"));
        bitmap = QImage();
    }
    void setBitmap(const QImage& image) override {
        calls << (image.isNull()
                      ? QStringLiteral("setBitmap null")
                      : QStringLiteral("setBitmap %1x%2").arg(image.width()).arg(image.height()));
        failIfAsked(QStringLiteral("setBitmap"));
        bitmap = image;
    }
    void close() noexcept override { calls << QStringLiteral("close"); }

private:
    void failIfAsked(const QString& call) const {
        if (failAt == call)
            throw Exception(failure);
    }
};

} // namespace lyremap::test
