#pragma once
// Screenshots with known text, rendered on the spot for the recognition tests and the
// recognition benchmark: menus, dialogs, settings tables, chats, code and articles, in
// Simplified Chinese, Traditional Chinese, English or a mix, at 12 to 24 pixels, light or dark,
// as a whole 1920 × 1080 screen (top panel, desktop and window) or as a region capture of the
// scene's main element. Text is drawn in named faces, grey-scale antialiased: DejaVu Sans or
// Liberation Sans for Latin text with one of the Chinese faces for Chinese (WenQuanYi Micro Hei,
// Noto Sans CJK SC or Noto Sans CJK TC), and the monospaced faces for code.
//
// Linking this library makes the process see only the faces scripts/install-deps installs,
// through a fontconfig configuration of its own (fonts.conf here) put in place before main():
// fonts the machine has besides, and its or the user's font settings, cannot change a screen
// or what is read from it.
//
// Beyond the corpus, the browser scene (a tab strip with an active tab, an address bar and a
// release-notes page of bulleted items with issue numbers, version numbers and sizes), the serif
// Chinese faces (with serif Latin and another monospaced face) and two more themes serve as
// screens the recogniser was not tuned on.
//
// Every screen comes with its expected text: one entry per visual line, in the order a reader
// takes them (top panel, title, side bars and then the main column, table rows left to right,
// chat messages top to bottom). Deterministic for a given spec. Needs a QGuiApplication.

#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>

#include <vector>

namespace TextScreens {

enum class Language { simplified, traditional, english, mixed };
enum class Theme { light, dark, dim, sepia };
enum class Scene { menu, dialog, settings, chat, code, article, browser };
enum class Framing { fullScreen, region };
// The Chinese face; Latin text keeps its own (a serif one beside the serif faces).
enum class Face { wenQuanYi, notoSansSC, notoSansTC, notoSerifSC, notoSerifTC };

struct Spec {
    Scene scene = Scene::dialog;
    Language language = Language::simplified;
    Theme theme = Theme::light;
    int textSize = 16; // body text, in pixels; titles are larger, nothing is smaller than 12
    Framing framing = Framing::region;
    // Privacy masks: this many lines blacked out as the editor renders masks for recognition,
    // and left out of the expected text.
    int masks = 0;
    Face face = Face::wenQuanYi;
};

struct Line {
    QString text;
    QRect box; // where it was drawn, in the image's pixels
};

struct Screen {
    Spec spec;
    QImage image; // Format_RGB32
    std::vector<Line> lines;

    QString name() const;
    // The expected lines joined by line feeds.
    QString text() const;
};

Screen render(const Spec &spec);

// The benchmark's set: every scene in every language and theme, once as a full screen and
// once as a region, the sizes 12, 14, 16, 18, 20 and 24 and the three Chinese faces spread
// evenly over them.
std::vector<Spec> corpus();

// Screens the corpus does not hold, for measuring on screens nobody tuned the recogniser on, in
// five sets (0 to 4) that share no screen: every scene (the browser too) in every language, in
// all four themes and all five faces, at sizes between the corpus's, as whole screens and as
// regions. Sets 0 to 3 serve the memory benchmark and development; set 4 only measurement.
std::vector<Spec> heldOut(int set = 0); // empty for a set that does not exist

QString name(Language language);
QString name(Theme theme);
QString name(Scene scene);
QString name(Framing framing);
QString name(Face face);
// The family names of the face: its proportional and its monospaced family.
QString family(Face face);
QString monospacedFamily(Face face);

// The fontconfig configuration the process renders with, and the families it offers that the
// screens name but the machine lacks (empty when everything is installed).
QString fontConfiguration();
QStringList missingFamilies();

} // namespace TextScreens
