// What --check finds in one open: the values the walk had to replace by defaults, borders that
// say neither yes nor no, attribute names that are right but for their letter case, frames the
// walk never reaches, frames that draw nothing on the map, and why an open failed. Attach it to
// the open as its walk listener, then call finish().
#pragma once

#include "layout/OpenLayout.h"
#include "layout/UnreachedFrames.h"
#include "layout/WalkListener.h"

#include <QString>
#include <array>
#include <string_view>
#include <vector>

namespace lyremap {

// One finding, placed where an editor should put the cursor.
struct Diagnostic {
    enum class Severity { Warning, Error };
    Severity severity = Severity::Warning;
    QString name;            // value, range, border, attribute-name, unreached, off-map, empty
    SourcePosition position; // line 0 for a problem with the file itself
    QString message;         // one line
};

class LayoutChecks final : public WalkListener {
public:
    // Forgets the last open's findings.
    void clear();
    // Adds what only the whole open shows, after OpenLayout returned OUTCOME on DOCUMENT: the
    // unreached frames of a layout that loaded, or the failure of one that did not. The
    // warnings are then in the order of their places in the file.
    void finish(const OpenOutcome& outcome, const XmlDocument& document);

    // The warnings, in the order of their places once finish() ran.
    const std::vector<Diagnostic>& warnings() const { return warnings_; }
    // Why the open failed, if it did.
    const std::optional<Diagnostic>& error() const { return error_; }

    void rootFound(const Node& root) override;
    void widgetEntered(const Node& widget, int ordinal) override;
    void widgetLeft() override {}
    void frameDrawn(const Node& frame, int ordinal, const FrameOutcome& outcome) override;
    void passedOver(const Node& child, const Node& parent) override;
    void walkUndone() override { clear(); }

private:
    void warn(QString name, SourcePosition position, QString message);
    // Warns of values that took their defaults, a border neither yes nor no, and attribute
    // names that are right but for their letter case.
    void checkAttributes(const Node& frame, const FrameOutcome& outcome);
    // What an attribute name is to a frame: one of x, y, width, height and border (0 to 4),
    // one of them but for its letter case (kMisspelt + 0 to 4), or neither (-1).
    int attributeVerdict(const char* name);
    static constexpr int kMisspelt = 5;

    Node root_;
    std::vector<UnreachedElement> unreached_;
    // Some attribute name of the document is one of the frame's but for its letter case: only
    // then are the names of each frame's attributes looked at.
    bool misspeltNames_ = false;
    std::uint32_t namesSeen_ = 0;       // the document's attribute names looked at so far
    std::vector<const char*> newNames_; // scratch
    std::vector<Diagnostic> warnings_;
    std::optional<Diagnostic> error_;
    std::vector<std::pair<const char*, std::string_view>> attributes_; // one frame's, scratch
    struct NameVerdict {
        const char* name = nullptr;
        int verdict = -1;
    };
    std::array<NameVerdict, 64> verdicts_{};
};

// Appends to LINES, in UTF-8, the line an editor or CI reads: "PATH:LINE:COLUMN: warning: TEXT
// [NAME]", or for an error "PATH:LINE:COLUMN: error: TEXT", without LINE and COLUMN when the
// diagnostic has no place. PATH is given in UTF-8.
void appendDiagnosticLine(QByteArray& lines, const QByteArray& path, const Diagnostic& diagnostic);

} // namespace lyremap
