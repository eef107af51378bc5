#include "map/MapTypes.h"

namespace lyremap {

const char* penStyleName(PenStyle style) {
    switch (style) {
    case PenStyle::Solid:
        return "solid";
    case PenStyle::Dashed:
        return "dashed";
    case PenStyle::Dotted:
        return "dotted";
    }
    return "solid";
}

} // namespace lyremap
