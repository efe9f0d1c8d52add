#include "TextScreens/TextScreens.h"

#include "TextScreens/ScreenPage.h"
#include "TextScreens/ScreenTexts.h"

#include <QLinearGradient>

#include <stdexcept>

namespace TextScreens {

using namespace detail;

namespace {

constexpr QSize kScreenSize(1920, 1080);

// The desktop: a gradient, the top panel with its clock, and the window frame with its title.
// Returns the window's content area.
QRect drawDesktop(Page &page, const QRect &screen)
{
    const Palette &c = page.colors();
    const Language language = page.spec().language;
    QPainter &p = page.painter();
    QLinearGradient gradient(screen.topLeft(), screen.bottomRight());
    gradient.setColorAt(0, c.desktopTop);
    gradient.setColorAt(1, c.desktopBottom);
    p.fillRect(screen, gradient);

    const QFont panelFont = page.ui(qMin(page.s(), 16));
    const int panelHeight = qMax(28, Page::height(panelFont) + 10);
    const QRect panel(screen.left(), screen.top(), screen.width(), panelHeight);
    p.fillRect(panel, c.panel);
    const int top = (panelHeight - Page::height(panelFont)) / 2;
    const QString activities = Texts::panelActivities().in(language), clock = Texts::panelClock().in(language);
    page.expect({{activities, page.draw(QPoint(14, top), activities, panelFont, c.onPanel)},
                 {clock, page.drawCentered(panel, clock, panelFont, c.onPanel)},
                 {QStringLiteral("100%"), page.drawRight(panel.right() - 14, top, QStringLiteral("100%"), panelFont, c.onPanel)}});

    const QRect window(56, panelHeight + 24, screen.width() - 112, screen.height() - panelHeight - 56);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 70));
    p.drawRoundedRect(window.adjusted(-3, 0, 3, 6), 12, 12);
    p.setBrush(c.window);
    p.drawRoundedRect(window, 10, 10);
    const QFont titleFont = page.ui(page.s(), true);
    const int titleHeight = qMax(34, Page::height(titleFont) + 12);
    const QRect titleBar(window.left(), window.top(), window.width(), titleHeight);
    p.setBrush(c.titleBar);
    p.drawRoundedRect(titleBar, 10, 10);
    p.fillRect(titleBar.adjusted(0, titleHeight / 2, 0, 0), c.titleBar);
    p.fillRect(QRect(titleBar.left(), titleBar.bottom(), titleBar.width(), 1), c.separator);
    const QColor lights[] = {QColor(QRgb(0xFF5F57)), QColor(QRgb(0xFEBC2E)), QColor(QRgb(0x28C840))};
    for (int i = 0; i < 3; ++i) {
        p.setBrush(lights[i]);
        p.drawEllipse(QPoint(titleBar.left() + 20 + i * 22, titleBar.center().y()), 6, 6);
    }
    static const int titleOfScene[] = {0, 5, 1, 2, 3, 4, 6};
    const QString title = Texts::windowTitles()[titleOfScene[int(page.spec().scene)]].in(language);
    page.expect(title, page.drawCentered(titleBar, title, titleFont, c.title));
    return window.adjusted(0, titleHeight, 0, 0);
}

void drawScene(Page &page, const QRect &content)
{
    switch (page.spec().scene) {
    case Scene::menu:
        return drawMenuScene(page, content);
    case Scene::dialog:
        return drawDialogScene(page, content);
    case Scene::settings:
        return drawSettingsScene(page, content);
    case Scene::chat:
        return drawChatScene(page, content);
    case Scene::code:
        return drawCodeScene(page, content);
    case Scene::article:
        return drawArticleScene(page, content);
    case Scene::browser:
        return drawBrowserScene(page, content);
    }
}

// The lines inside `crop`, moved into its coordinates. A line the crop cuts is a fault of the scene.
std::vector<Line> linesInside(const std::vector<Line> &lines, const QRect &crop)
{
    std::vector<Line> inside;
    for (const Line &line : lines) {
        if (crop.contains(line.box))
            inside.push_back({line.text, line.box.translated(-crop.topLeft())});
        else if (crop.intersects(line.box))
            throw std::logic_error("a region capture cuts the line \"" + line.text.toStdString() + "\"");
    }
    return inside;
}

void applyMasks(Screen &screen, QRandomGenerator &random)
{
    QPainter painter(&screen.image);
    for (int i = 0; i < screen.spec.masks && screen.lines.size() > 1; ++i) {
        const auto index = 1 + random.bounded(int(screen.lines.size()) - 1);
        painter.fillRect(screen.lines[index].box.adjusted(-3, -2, 3, 2), Qt::black);
        screen.lines.erase(screen.lines.begin() + index);
    }
}

} // namespace

Screen render(const Spec &spec)
{
    static const QStringList missing = missingFamilies();
    if (!missing.isEmpty())
        throw std::runtime_error("the fonts " + missing.join(QStringLiteral(", ")).toStdString() +
                                 " are not installed (scripts/install-deps installs them)");
    QImage full(kScreenSize, QImage::Format_RGB32);
    Screen screen{spec, {}, {}};
    QRect crop;
    {
        Page page(full, spec);
        const QRect content = drawDesktop(page, full.rect());
        drawScene(page, content);
        if (spec.framing == Framing::fullScreen) {
            crop = full.rect();
        } else {
            const int margin = spec.textSize / 2 + int(page.random().bounded(spec.textSize / 2 + 1));
            crop = page.focus.adjusted(-margin, -margin, margin, margin).intersected(full.rect());
            // The margin stops short of the lines around the element.
            for (const Line &line : page.lines) {
                if (!crop.intersects(line.box) || crop.contains(line.box) || page.focus.intersects(line.box))
                    continue;
                if (line.box.bottom() < page.focus.top())
                    crop.setTop(line.box.bottom() + 1);
                else if (line.box.top() > page.focus.bottom())
                    crop.setBottom(line.box.top() - 1);
                else if (line.box.right() < page.focus.left())
                    crop.setLeft(line.box.right() + 1);
                else
                    crop.setRight(line.box.left() - 1);
            }
        }
        screen.lines = linesInside(page.lines, crop);
    }
    screen.image = crop == full.rect() ? full : full.copy(crop);
    QRandomGenerator random(quint32(spec.textSize * 31 + int(spec.scene)));
    applyMasks(screen, random);
    return screen;
}

std::vector<Spec> corpus()
{
    static const int sizes[] = {12, 14, 16, 18, 20, 24};
    std::vector<Spec> specs;
    for (Framing framing : {Framing::fullScreen, Framing::region}) {
        for (int scene = 0; scene < 6; ++scene) {
            for (int language = 0; language < 4; ++language) {
                for (int theme = 0; theme < 2; ++theme) {
                    const int size = sizes[(scene + 2 * language + 3 * theme + int(framing)) % 6];
                    const Face face = Face((scene + language + 2 * theme + int(framing)) % 3);
                    specs.push_back({Scene(scene), Language(language), Theme(theme), size, framing, 0, face});
                }
            }
        }
    }
    return specs;
}

std::vector<Spec> heldOut(int set)
{
    static const int sizes[5][5] = {{13, 15, 17, 19, 22}, {12, 14, 16, 18, 21}, {15, 17, 19, 21, 23}, {14, 22, 13, 18, 21}, {13, 15, 17, 21, 19}};
    if (set < 0 || set >= 5)
        return {};
    std::vector<Spec> specs;
    for (int scene = 0; scene < 7; ++scene) {
        for (int language = 0; language < 4; ++language) {
            const int i = scene * 4 + language + 3 * set;
            const Theme theme = Theme((scene + language + set) % 4);
            const Framing framing = (i + set) % 3 == 2 ? Framing::region : Framing::fullScreen;
            specs.push_back({Scene(scene), Language(language), theme, sizes[set][i % 5], framing, 0, Face((i + 1 + 2 * set) % 5)});
        }
    }
    // The browser's page again, in the other themes.
    for (int language = 0; language < 4; ++language)
        specs.push_back({Scene::browser, Language(language), Theme((language + 2 + set) % 4), sizes[set][(language + 2) % 5], Framing::fullScreen, 0,
                         Face((language + 3 + set) % 5)});
    return specs;
}

QString Screen::name() const
{
    return QStringLiteral("%1-%2-%3-%4px-%5%6%7")
        .arg(TextScreens::name(spec.scene), TextScreens::name(spec.language), TextScreens::name(spec.theme))
        .arg(spec.textSize)
        .arg(TextScreens::name(spec.framing), spec.face == Face::wenQuanYi ? QString() : QLatin1Char('-') + TextScreens::name(spec.face),
             spec.masks ? QStringLiteral("-masked") : QString());
}

QString Screen::text() const
{
    QStringList texts;
    for (const Line &line : lines)
        texts << line.text;
    return texts.join(QLatin1Char('\n'));
}

QString name(Language language)
{
    switch (language) {
    case Language::simplified:
        return QStringLiteral("zh-Hans");
    case Language::traditional:
        return QStringLiteral("zh-Hant");
    case Language::english:
        return QStringLiteral("en");
    case Language::mixed:
        return QStringLiteral("mixed");
    }
    return {};
}

QString name(Theme theme)
{
    static const char *names[] = {"light", "dark", "dim", "sepia"};
    return QString::fromLatin1(names[int(theme)]);
}

QString name(Scene scene)
{
    static const char *names[] = {"menu", "dialog", "settings", "chat", "code", "article", "browser"};
    return QString::fromLatin1(names[int(scene)]);
}

QString name(Framing framing)
{
    return framing == Framing::fullScreen ? QStringLiteral("screen") : QStringLiteral("region");
}

} // namespace TextScreens
