#pragma once
// A rendered screen read by the recogniser as the application reads it, for the tests that check
// what it makes of whole screens.

#include "TellumoCore/TextRecognizer.h"

#include "Support/TaskTesting.h"
#include "TextScreens/TextScreens.h"

#include <QStringList>

#include <string>

namespace ScreenReading {

struct Read {
    TextScreens::Screen screen;
    QStringList lines; // recognised
};

inline Read read(const TextScreens::Spec &spec)
{
    constexpr int kTaskTimeout = 60000;
    TextScreens::Screen screen = TextScreens::render(spec);
    const QString text = TestSupport::run(Tellumo::TextRecognizer::recognize(screen.image), kTaskTimeout);
    return {std::move(screen), text.split(QLatin1Char('\n'))};
}

// The screen's name, what it shows and what was read, for a failure's message.
inline std::string described(const Read &read)
{
    return read.screen.name().toStdString() + "\n--- expected\n" + read.screen.text().toStdString() + "\n--- recognised\n" +
           read.lines.join(QLatin1Char('\n')).toStdString();
}

} // namespace ScreenReading
