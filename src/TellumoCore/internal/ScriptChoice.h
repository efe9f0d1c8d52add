#pragma once
// Reads each line with the model that fits its script.
//
// The combined model of the engine turns Simplified characters into Traditional ones and
// misreads small English, so every line is first read with the Simplified Chinese model (or the
// screen's model, once the widest lines, read with both Chinese models at once, told it), except
// a line the English model has already read surely (Latin text). A line that comes back
// without Chinese characters is read again with the English model. The Chinese lines of one
// background (a pane, a bubble, a table) are read with the Traditional model too, and the
// background keeps the script whose readings the engine is surer of; but the lines of a
// background that holds several side by side in one row (the tabs of a strip) each keep their
// own, and a line whose own ink tells strongly keeps its script whatever its background's.
// Finally the line's ink mends marks the engines misread (InkMarks.h, and the capital I and the
// dash here). Models whose data is missing are left out.

#include "TellumoCore/internal/OcrEngines.h"
#include "TellumoCore/internal/TextLines.h"

#include <QImage>
#include <QString>

#include <atomic>
#include <vector>

namespace Tellumo::detail {

struct LineReading {
    QString text;
    float confidence = 0; // 0 to 100
    OcrModel model = OcrModel::simplified;
};

// Lines read with less confidence are noise: icons, photographs, patterns.
constexpr float kMinLineConfidence = 10;
constexpr float kMinShortLatinConfidence = 60;

std::vector<LineReading> readInFittingScripts(const std::vector<TextLine> &lines, const std::vector<QImage> &pictures, bool retryInverted,
                                              const std::atomic<bool> *cancel);

bool hasChineseCharacters(const QString &text);

} // namespace Tellumo::detail
