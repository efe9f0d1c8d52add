#pragma once
// Whether a line of Chinese is printed in Simplified or Traditional characters, judged from its
// ink.
//
// Either Chinese model reads the other script too, turning each character into its own form
// with about the same confidence, so their confidences cannot tell the scripts apart. The ink
// can: where the two readings differ, they name the two forms of one character, and the
// Traditional form has more strokes (會 and 会, 體 and 体). The ink inside the character's box
// is compared with the ink each form has when drawn, scaled by the ratio of drawn to found ink
// over the characters both readings agree on. The forms are drawn in each of the common Chinese
// faces the machine has, and the face whose ink fits the line best is the reference, so that the
// choice holds whichever of them the screen was drawn in. Forms with about as much ink as each
// other (谢 and 謝) are told by their shapes instead: the character's ink, cut to its bounds,
// against each form drawn in that face. Latin words in the line are stepped
// over: the Chinese runs between them are located by the engine's rough character boxes.

#include "TellumoCore/internal/OcrEngines.h"

#include <QImage>
#include <QStringList>

#include <vector>

namespace Tellumo::detail {

struct ScriptEvidence {
    double traditional = 0; // above zero: the ink favours the Traditional reading
    int positions = 0;      // the characters that told

    ScriptEvidence &operator+=(const ScriptEvidence &other)
    {
        traditional += other.traditional;
        positions += other.positions;
        return *this;
    }
};

// The reference forms are drawn on one thread of their own, which lives while a ReferenceDrawing
// does. A thread that draws text keeps font engines of its own until it ends, each with its font
// file mapped and every glyph it drew cached: drawn on whichever recognition worker compared a
// line, the references kept the Chinese faces mapped and cached on every worker, and more of
// them with every screen (about 60 MB after a few dozen screens). A recognition holds one while
// it compares lines; once none does, the thread ends, and its fonts with it. The forms measured
// stay known (a few bytes each), so a later recognition draws only forms it has not met.
class ReferenceDrawing {
public:
    ReferenceDrawing();
    ~ReferenceDrawing();
    ReferenceDrawing(const ReferenceDrawing &) = delete;
    ReferenceDrawing &operator=(const ReferenceDrawing &) = delete;
};

// `picture` is the Format_Grayscale8 line the readings came from. Needs a QGuiApplication (the
// reference forms are drawn with the Chinese user-interface fonts); without one, no evidence.
ScriptEvidence compareScripts(const QImage &picture, const std::vector<OcrSymbol> &simplified, const std::vector<OcrSymbol> &traditional);

// The share of its box that a character's ink covers when drawn in `face` (empty: the system's
// choice), 0 to 1.
double referenceInk(char32_t character, const QString &face);
// The faces the forms are drawn in: the common Chinese faces installed, or the system's choice.
QStringList referenceFaces();

} // namespace Tellumo::detail
