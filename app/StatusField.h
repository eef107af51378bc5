// The status bar's one text field. It shows the outcome text on one line in the width it has:
// when the whole does not fit, the folder part of the file name gives way to "…", so the file's
// own name and the end of the text (" loaded.", or the failure's reason) stay visible. Its
// tooltip holds the whole text, line breaks kept, wrapped to the field's width so that it stays
// on screen, and shown literally.
#pragma once

#include <QLabel>
#include <QString>

namespace lyremap {

class StatusField final : public QLabel {
    Q_OBJECT
public:
    explicit StatusField(QWidget* parent);

    // Shows TEXT, which starts with FILE_NAME, a path whose folder part may be shortened.
    void setOutcome(const QString& text, const QString& fileName);
    // The whole text, line breaks included.
    const QString& outcome() const { return outcome_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fit();

    QString outcome_;
    QString line_;            // the outcome on one line
    qsizetype folderEnd_ = 0; // where the folder part of the line ends
};

} // namespace lyremap
