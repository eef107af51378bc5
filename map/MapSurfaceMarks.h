// Black outline pixels gathered as bits before they reach the raster: horizontal runs in a mask
// kept by rows, vertical runs in one kept by columns, so that either kind of run costs a few
// word operations instead of a pixel write per point (and a cache line per point of a column).
//
// Gathering is exact while nothing but black is drawn: turning pixels black does not depend on
// the order, so the marks can be applied to the raster whenever it is next read.
#pragma once

#include <QImage>
#include <QtGlobal>
#include <cstdint>
#include <vector>

namespace lyremap {

// A pen pattern as 64-bit words: bit j of words[p] is set when the pattern is on at phase p + j.
struct PatternBits {
    static constexpr int kMaxPeriod = 32;
    int period = 1;
    int wordStep = 0;              // how far the phase moves over a whole word: 64 modulo period
    std::uint8_t advance[65] = {}; // how far the phase moves over N pixels: N modulo period
    quint64 words[kMaxPeriod] = {};

    // The pattern whose first ON pixels of every PERIOD are drawn (PERIOD at most kMaxPeriod).
    PatternBits(int on, int period);
    // OFFSET (at least 0) modulo period; the common offsets need no division.
    qint64 phaseAt(qint64 offset) const {
        return offset < period ? offset : period == 1 ? 0 : offset % period;
    }
};

class MapSurfaceMarks {
public:
    // Marks for a raster of WIDTH by HEIGHT pixels, all clear.
    void resize(int width, int height);
    // Marks COUNT pixels of row Y from column X on, the pattern starting at PHASE. The run must
    // lie on the raster.
    void markRow(qint64 y, qint64 x, qint64 count, qint64 phase, const PatternBits& pattern);
    // Marks COUNT pixels of column X from row Y on, the pattern starting at PHASE.
    void markColumn(qint64 x, qint64 y, qint64 count, qint64 phase, const PatternBits& pattern);
    // Turns every marked pixel of RASTER (RGB32, of the marks' size) black and clears the marks.
    void applyTo(QImage& raster);
    // Forgets every mark.
    void clear();
    bool empty() const { return empty_; }

private:
    int width_ = 0;
    int height_ = 0;
    qsizetype rowWords_ = 0;    // words per row of the row mask
    qsizetype columnWords_ = 0; // words per column of the column mask
    std::vector<quint64> rows_;
    std::vector<quint64> columns_;
    bool empty_ = true;
};

} // namespace lyremap
